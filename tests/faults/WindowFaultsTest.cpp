// The window under the offscreen platform against a knsim-emu child that
// misbehaves: it vanishes while polled or in the middle of a firmware
// transfer, its port is held by another program, the line is noisy, a
// reply never ends, replies come late. Nothing may crash or hang, and each
// failure must reach the user.

#include "FaultSupport.h"
#include "Controls.h"

#include "link/FirmwareUpdate.h"
#include "QtWait.h"

#include "app/ErrorBox.h"
#include "app/Forms.h"
#include "app/MainPictures.h"
#include "app/uMain.h"
#include "app/uMessageBox.h"
#include "link/uComIo.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QToolButton>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <memory>
#include <thread>

namespace {

const QStringList ProgressTexts = {QString(), QStringLiteral("Searching for KARNOL simulator"),
                                   QStringLiteral("Reading configuration")};

// The program's windows on one port (the only one the port list offers),
// its settings in a temporary folder, error boxes recorded, and the
// program's own message box answered with its first button.
class Window {
public:
    explicit Window(const std::string& port) {
        TCustomComPort::SetPortListSource([port] { return std::vector<std::string>{port}; });
        SetErrorBoxPresenter([this](const QString&, const QString& text) { ErrorBoxes << text; });
        TStartOptions options;
        options.Port = port;
        options.SettingsFile = QString::fromStdString(folder_ / "KNSimTool.ini");
        options.DevelopmentWindowPresent = [] { return false; };
        forms_ = std::make_unique<TForms>(options);
        QObject::connect(&forms_->Main(), &TMain::StatusTextChanged, [this](const QString& t) { StatusTexts << t; });
        QObject::connect(&answer_, &QTimer::timeout, [this] { AnswerMessageBox(); });
        answer_.start(20);
        forms_->Main().show();
    }
    ~Window() {
        answer_.stop();
        forms_.reset();
        TCustomComPort::SetPortListSource({});
        SetErrorBoxPresenter({});
    }

    TMain& Main() { return forms_->Main(); }
    TForms& Forms() { return *forms_; }
    bool Polling() { return Main().State() == SchedulerState::Polling; }
    // Status texts other than the progress texts and the cleared text.
    QStringList Failures() const {
        QStringList failures;
        for (const QString& t : StatusTexts)
            if (!ProgressTexts.contains(t)) failures << t;
        return failures;
    }

    QStringList StatusTexts;
    QStringList ErrorBoxes;
    QStringList MessageBoxes;

private:
    void AnswerMessageBox() {
        auto* box = qobject_cast<TMsgBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        MessageBoxes << box->InfoLabel()->text();
        if (auto* button = box->findChild<QPushButton*>(QStringLiteral("But1"))) button->click();
    }

    TempFolder folder_;
    std::unique_ptr<TForms> forms_;
    QTimer answer_;
};

}  // namespace

TEST(WindowFaults, SimulatorVanishingWhilePollingIsShownAndFoundAgainByReloadData) {
    const TempFolder folder;
    const std::string link = folder / "ttyKARNOL";
    // Connecting takes five commands; the second poll finds the port gone.
    EmulatorChild emulator(
        {"--link", link, "--serial", "KN-BACK", "--vanish-after", "6", "--return-after", "1500"});
    Window window(link);
    ASSERT_TRUE(WaitWithEvents([&] { return window.Polling(); }, 8000));
    EXPECT_EQ(Control<QLabel>(window.Main(), "LabSerial")->text(), QStringLiteral("KN-BACK"));

    ASSERT_TRUE(WaitWithEvents([&] { return emulator.Count("vanish") > 0; }, 8000));
    ASSERT_TRUE(WaitWithEvents([&] { return !window.Failures().isEmpty(); }, 5000)) << "the failure never reached the user";
    // The line has gone: the port is closed and the Reload-data button says
    // so. A poll that ran into its time-out before the far end had quite
    // gone may report that first; the next one finds the line gone.
    ASSERT_TRUE(WaitWithEvents([&] { return !window.Forms().ComIo().PortOpen(); }, 5000)) << "the port stayed open";
    // Remote mode went with the line: a search that meets a silent port
    // later must not begin by leaving it.
    EXPECT_FALSE(window.Forms().ComIo().RemoteModeOn());
    const auto failuresAtClose = window.Failures().size();
    EXPECT_LE(failuresAtClose, 2) << window.Failures().join('|').toStdString();
    // The failure stays on the status bar across the following polls, not a
    // flicker, and polling leaves the line alone instead of failing anew.
    const QLabel* panel = window.Main().findChild<QLabel*>(QStringLiteral("sBarPanel0"));
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(WaitWithEvents([&] { return panel->text().isEmpty(); }, 2500)) << "the failure text was cleared";
    EXPECT_TRUE(window.Main().isVisible());
    EXPECT_TRUE(window.ErrorBoxes.isEmpty()) << window.ErrorBoxes.join('|').toStdString();
    EXPECT_EQ(Control<QToolButton>(window.Main(), "ButPort")->icon().pixmap(16, 16).toImage(),
              MainPicture(PicturePortClosed).pixmap(16, 16).toImage());
    EXPECT_EQ(window.Failures().size(), failuresAtClose) << window.Failures().join('|').toStdString();
    EXPECT_EQ(window.Main().State(), SchedulerState::Polling);

    ASSERT_TRUE(WaitWithEvents([&] { return emulator.HasLogPrefix("return "); }, 5000));
    window.StatusTexts.clear();
    Control<QAction>(window.Main(), "MnuReload")->trigger();
    ASSERT_TRUE(WaitWithEvents([&] { return window.Polling() && emulator.Count("!K1") >= 2; }, 8000))
        << window.StatusTexts.join('|').toStdString();
    EXPECT_EQ(Control<QLabel>(window.Main(), "LabSerial")->text(), QStringLiteral("KN-BACK"));
    EXPECT_TRUE(window.Failures().isEmpty()) << window.Failures().join('|').toStdString();
    EXPECT_EQ(Control<QToolButton>(window.Main(), "ButPort")->icon().pixmap(16, 16).toImage(),
              MainPicture(PicturePortOpen).pixmap(16, 16).toImage());
}

TEST(WindowFaults, SimulatorVanishingInTheMiddleOfTheTransferEndsInUpdateFailed) {
    // Another installed version: the update starts at once. Slow
    // acknowledgements leave time to pull the plug in the transfer's middle.
    EmulatorChild emulator({"--version", "1.0.0", "--ack-delay", "10"});
    std::thread unplug([&] {
        if (emulator.WaitForLog("frame 03", 20000, 3)) emulator.Kill();
    });
    Window window(emulator.Port());
    const bool ended = WaitWithEvents([&] { return !window.MessageBoxes.isEmpty() && !window.Main().isVisible(); }, 30000);
    unplug.join();
    ASSERT_TRUE(ended) << window.StatusTexts.join('|').toStdString();

    EXPECT_EQ(window.Main().State(), SchedulerState::UpdateFailed);
    ASSERT_EQ(window.MessageBoxes.size(), 1);
    EXPECT_TRUE(window.MessageBoxes[0].startsWith(QStringLiteral("Update Fehler!"))) << window.MessageBoxes[0].toStdString();
    EXPECT_FALSE(window.Forms().Firmware().FailureText().empty());
    EXPECT_EQ(emulator.Count("frame 02"), 0u) << "the transfer claims to have ended";
}

TEST(WindowFaults, PortHeldByAnotherProgramStopsTheSearchWithTheLayersText) {
    EmulatorChild emulator;
    Child holder(KNS_CLI_PATH, {"--port", emulator.Port(), "watch"}, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}});
    ASSERT_TRUE(emulator.WaitForLog("!K1", 10000)) << holder.Err();

    Window window(emulator.Port());
    ASSERT_TRUE(WaitWithEvents([&] { return Control<QAction>(window.Main(), "MnuForceUpdate")->isEnabled() && !window.Main().Timer1().isActive(); },
                          5000));
    ASSERT_FALSE(window.Failures().isEmpty());
    EXPECT_TRUE(window.Failures().last().startsWith(QStringLiteral("Unable to open com port")))
        << window.Failures().last().toStdString();
    EXPECT_TRUE(holder.Running());
    EXPECT_EQ(emulator.Count("!K0"), 0u) << "the other program's session was ended";

    holder.Signal(SIGTERM);
    EXPECT_EQ(holder.Wait(10000).Status, 0);
    Control<QAction>(window.Main(), "MnuReload")->trigger();
    EXPECT_TRUE(WaitWithEvents([&] { return window.Polling(); }, 8000)) << window.StatusTexts.join('|').toStdString();
}

TEST(WindowFaults, NoiseBetweenRepliesChangesNothing) {
    EmulatorChild emulator({"--serial", "KN-NOISE", "--protocol", "3", "--codes1", "P0301,B2222", "--mil"});
    LineFaults faults;
    faults.NoiseAfterReplies = true;
    FaultyLine line(emulator.Port(), faults);
    Window window(line.Port());

    ASSERT_TRUE(WaitWithEvents([&] { return window.Polling() && line.Count("!S") >= 3; }, 8000))
        << window.StatusTexts.join('|').toStdString();
    TMain& main = window.Main();
    EXPECT_EQ(Control<QLabel>(main, "LabSerial")->text(), QStringLiteral("KN-NOISE"));
    EXPECT_EQ(Control<QComboBox>(main, "cbActProto")->currentIndex(), 2);
    EXPECT_EQ(Control<QComboBox>(main, "cbDtc1")->currentIndex(), 2);
    EXPECT_TRUE(window.Failures().isEmpty()) << window.Failures().join('|').toStdString();
    EXPECT_GT(line.NoiseBytes(), 0u);
}

TEST(WindowFaults, ReplyOf3000CharactersWithoutCarriageReturnFailsOnePollOnly) {
    EmulatorChild emulator;
    LineFaults faults;
    faults.LongReplyTo = "!S";
    faults.LongReplyAt = 2;  // the first poll
    FaultyLine line(emulator.Port(), faults);
    Window window(line.Port());

    ASSERT_TRUE(WaitWithEvents([&] { return line.Count("!S") >= 4; }, 8000)) << window.StatusTexts.join('|').toStdString();
    EXPECT_TRUE(window.Polling());
    // The rest of the endless reply was discarded before the next poll.
    EXPECT_EQ(window.Failures(), QStringList{QStringLiteral("Can't read simulator status")});
    EXPECT_TRUE(Control<QLabel>(window.Main(), "sBarPanel0")->text().isEmpty());
}

class WindowLateness : public ::testing::TestWithParam<LatenessRow> {};

TEST_P(WindowLateness, StatusReplyJustInsideOrOutsideTheCharacterTimeOut) {
    const LatenessRow& row = GetParam();
    EmulatorChild emulator;
    FaultyLine line(emulator.Port(), LateStatusReplies(row));
    Window window(line.Port());

    if (row.Answered) {
        EXPECT_TRUE(WaitWithEvents([&] { return window.Polling(); }, 8000)) << window.StatusTexts.join('|').toStdString();
        EXPECT_TRUE(window.Failures().isEmpty()) << window.Failures().join('|').toStdString();
    } else {
        // The scheduler stays in ReadConfiguration with its timer off.
        ASSERT_TRUE(WaitWithEvents([&] { return !window.Failures().isEmpty() && !window.Main().Timer1().isActive(); }, 8000));
        EXPECT_EQ(window.Failures(), QStringList{QStringLiteral("Can't read simulator status")});
        EXPECT_EQ(window.Main().State(), SchedulerState::ReadConfiguration);
        EXPECT_EQ(line.Count("!C"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, WindowLateness,
                         ::testing::ValuesIn(LatenessRows()),
                         [](const auto& info) { return std::string(info.param.Name); });
