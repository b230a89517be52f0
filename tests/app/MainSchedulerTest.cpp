// The main window's scheduler against the emulated simulator: start to
// polling, reload, port change, failures, the port list and closing.

#include "AppTestSupport.h"
#include "Controls.h"

#include "app/ErrorBox.h"
#include "app/PortComboBox.h"
#include "app/SignalCloser.h"
#include "app/uDebug.h"
#include "app/uMessageBox.h"
#include "app/uUpdate.h"
#include "link/uComIo.h"
#include "serial/EComPort.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>

namespace {

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

std::vector<std::string> Take(const std::vector<std::string>& commands, std::size_t n) {
    return {commands.begin(), commands.begin() + static_cast<std::ptrdiff_t>(std::min(n, commands.size()))};
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(MainScheduler, StartsAndPollsAConnectedSimulator) {
    EmulatorOptions options;
    options.Serial = "KN-4711";
    AppHarness app(options);
    app.Start();
    TMain& main = app.Main();

    EXPECT_EQ(main.windowTitle(), QStringLiteral("KARNOL-Simulator Tool v1.200"));
    EXPECT_EQ(ProgramTitle(), main.windowTitle());
    // A coarse timer may start a step before its interval is over.
    EXPECT_EQ(main.Timer1().timerType(), Qt::PreciseTimer);
    // Before the first step the forced update is on offer and the tab is hidden.
    EXPECT_TRUE(Control<QAction>(main, "MnuForceUpdate")->isEnabled());
    EXPECT_FALSE(Control<QFrame>(main, "MainPanel")->isVisibleTo(&main));
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->currentText().toStdString(), app.Port());

    ASSERT_TRUE(WaitWithEvents([&] { return main.State() == SchedulerState::Polling; }));
    EXPECT_EQ(Control<QLabel>(main, "LabSerial")->text(), QStringLiteral("KN-4711"));
    EXPECT_EQ(Control<QLabel>(main, "LabSimVersion")->text(), QStringLiteral("v1.2.0"));
    EXPECT_TRUE(Control<QFrame>(main, "MainPanel")->isVisibleTo(&main));
    EXPECT_TRUE(Control<QComboBox>(main, "cbActProto")->isEnabled());
    EXPECT_TRUE(Control<QAction>(main, "MnuSaveCfg")->isEnabled());
    EXPECT_FALSE(Control<QAction>(main, "MnuForceUpdate")->isEnabled());
    EXPECT_TRUE(main.RemoteModeFlag());
    EXPECT_TRUE(app.StatusTexts.contains(QStringLiteral("Searching for KARNOL simulator")));
    EXPECT_TRUE(app.StatusTexts.contains(QStringLiteral("Reading configuration")));
    EXPECT_TRUE(Control<QLabel>(main, "sBarPanel0")->text().isEmpty());
    EXPECT_TRUE(main.Timer1().isActive());
    EXPECT_EQ(main.Timer1().interval(), 1000);

    // Then one status read a second, and nothing else.
    ASSERT_TRUE(WaitWithEvents([&] { return app.Commands().size() >= 7; }, 5000));
    const Lines commands = app.Commands();
    EXPECT_EQ(Take(commands, 7), (Lines{"!I", "!B", "!S", "!C", "!K1", "!S", "!S"}));
}

TEST(MainScheduler, ReloadDataLeavesRemoteModeAndSearchesAgain) {
    AppHarness app;
    app.StartConnected();
    TMain& main = app.Main();
    ASSERT_EQ(main.State(), SchedulerState::Polling);
    app.Emulator().ClearLog();

    Control<QAction>(main, "MnuReload")->trigger();
    ASSERT_TRUE(WaitWithEvents([&] { return main.State() == SchedulerState::Polling && app.Commands().size() >= 6; }));
    EXPECT_EQ(Take(app.Commands(), 6), (Lines{"!K0", "!I", "!B", "!S", "!C", "!K1"}));
}

TEST(MainScheduler, PickingAnotherPortSearchesThere) {
    EmulatorOptions secondOptions;
    secondOptions.Serial = "SECOND";
    EmulatedSimulator second(secondOptions);
    second.Start();
    AppHarness app;
    app.SetPorts({app.Port(), second.PortPath()});
    TStartOptions options;
    options.Port = app.Port();  // start on the first, whatever the order of the list
    app.StartConnected(options);
    TMain& main = app.Main();
    ASSERT_EQ(main.State(), SchedulerState::Polling);
    ASSERT_EQ(Control<QComboBox>(main, "cbPorts")->count(), 2);

    const int index = Control<QComboBox>(main, "cbPorts")->findText(QString::fromStdString(second.PortPath()));
    ASSERT_GE(index, 0);
    Control<QComboBox>(main, "cbPorts")->setCurrentIndex(index);
    emit Control<QComboBox>(main, "cbPorts")->activated(index);  // the user's pick
    ASSERT_TRUE(WaitWithEvents([&] { return main.State() == SchedulerState::Polling && Control<QLabel>(main, "LabSerial")->text() == "SECOND"; }));
    EXPECT_TRUE(app.WaitForCommand("!K0"));  // the first simulator was left properly
    const Lines log = second.Log();
    EXPECT_EQ(Take(log, 2), (Lines{"!I", "!B"}));
    second.Stop();
}

TEST(MainScheduler, FailedStatusReadStopsInReadConfiguration) {
    EmulatorOptions options;
    options.Faults.MissingTag = 'T';
    AppHarness app(options);
    app.Start();
    TMain& main = app.Main();
    ASSERT_TRUE(WaitWithEvents([&] { return Control<QLabel>(main, "sBarPanel0")->text() == QStringLiteral("Can't read simulator status"); }));
    EXPECT_EQ(main.State(), SchedulerState::ReadConfiguration);
    EXPECT_FALSE(main.Timer1().isActive());
    EXPECT_FALSE(Control<QFrame>(main, "MainPanel")->isVisibleTo(&main));
    // The scheduler waits for the user: no further traffic.
    const std::size_t before = app.Commands().size();
    Pump(1500);
    EXPECT_EQ(app.Commands().size(), before);
}

TEST(MainScheduler, SilentSimulatorIsAskedTwiceThenStops) {
    EmulatorOptions options;
    options.Faults.Silent = true;
    AppHarness app(options);
    app.Start();
    TMain& main = app.Main();
    ASSERT_TRUE(WaitWithEvents([&] { return Control<QAction>(main, "MnuForceUpdate")->isEnabled() && !main.Timer1().isActive(); }));
    EXPECT_EQ(main.State(), SchedulerState::Search);
    EXPECT_EQ(Control<QLabel>(main, "sBarPanel0")->text(), QStringLiteral("No KARNOL simulator found"));
    Pump(1000);  // stopped means stopped
    EXPECT_EQ(app.Commands(), (Lines{"!I", "!I"}));

    // "Force bios update" leaves the stop for the update window; "Reload
    // data" searches again with two fresh attempts.
    app.Emulator().ClearLog();
    Control<QAction>(main, "MnuReload")->trigger();
    ASSERT_TRUE(WaitWithEvents([&] { return !main.Timer1().isActive() && app.Commands().size() >= 2; }));
    Pump(500);
    EXPECT_EQ(app.Commands(), (Lines{"!I", "!I"}));
}

TEST(MainScheduler, NoPortListedSelectsNothingAndStops) {
    AppHarness app;
    app.SetPorts({});
    app.Start();
    TMain& main = app.Main();
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->count(), 0);
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->currentIndex(), -1);
    ASSERT_TRUE(WaitWithEvents([&] { return Control<QAction>(main, "MnuForceUpdate")->isEnabled() && !main.Timer1().isActive(); }));
    EXPECT_TRUE(Control<QLabel>(main, "sBarPanel0")->text().startsWith(QStringLiteral("Unable to open com port")));
    EXPECT_TRUE(app.Log().empty());
}

TEST(MainScheduler, PortListFailureIsReportedAndTheStartGoesOn) {
    AppHarness app;
    TCustomComPort::SetPortListSource([]() -> std::vector<std::string> { throw EComPort(CError_RegError, 13); });
    app.Start();
    TMain& main = app.Main();
    ASSERT_EQ(app.ErrorBoxes.size(), 1);
    EXPECT_EQ(app.ErrorBoxes.front(), QStringLiteral("Registry error (win error code: 13)"));
    EXPECT_EQ(app.ErrorCaptions.front(), QStringLiteral("KARNOL-Simulator Tool v1.200"));
    // The scheduler still starts, and the search reports the missing port.
    EXPECT_TRUE(main.Timer1().isActive());
    EXPECT_EQ(main.Image().TransferArea()[TransferHeaderOffset], 'E');  // the header's magic "ER90"
    ASSERT_TRUE(WaitWithEvents([&] { return Control<QAction>(main, "MnuForceUpdate")->isEnabled() && !main.Timer1().isActive(); }));
}

TEST(MainScheduler, StartSelectsTheSavedPortIgnoringCase) {
    struct Case {
        std::string saved;
        QString selected;
    };
    // Names of ports that do not exist: the search fails at once, without
    // ever touching a real device.
    const Case cases[] = {
        {"[CONFIG]\r\nComPort=knsnone3\r\n", "KNSNONE3"},
        {"[CONFIG]\r\nComPort=knsnone7\r\n", "knsnone2"},   // no longer present: the first
        {"", "knsnone2"},                                   // no settings file at all
        {"[CONFIG]\r\nComPort = KNSNONE3\r\n", "knsnone2"}, // blanks around "=": no key
    };
    for (const Case& c : cases) {
        AppHarness app;
        app.SetPorts({"knsnone10", "KNSNONE3", "knsnone2"});
        app.WriteSettings(c.saved);
        app.Start();
        EXPECT_EQ(Items(Control<QComboBox>(app.Main(), "cbPorts")), (QStringList{"knsnone2", "KNSNONE3", "knsnone10"}));
        EXPECT_EQ(Control<QComboBox>(app.Main(), "cbPorts")->currentText(), c.selected) << c.saved;
    }
}

TEST(MainScheduler, PortOptionIsOfferedAndChosenOverTheSavedPort) {
    AppHarness app;
    app.SetPorts({"knsnone1"});
    app.WriteSettings("[CONFIG]\r\nComPort=knsnone1\r\n");
    TStartOptions options;
    options.Port = app.Port();
    app.StartConnected(options);
    EXPECT_EQ(Control<QComboBox>(app.Main(), "cbPorts")->currentText().toStdString(), app.Port());
    EXPECT_EQ(app.Main().State(), SchedulerState::Polling);
    // The selector is narrower than a pseudo-terminal's path: the whole
    // name on hover, the width as designed.
    EXPECT_EQ(Control<QComboBox>(app.Main(), "cbPorts")->toolTip().toStdString(), app.Port());
    EXPECT_EQ(Control<QComboBox>(app.Main(), "cbPorts")->width(), 81);
    // Still offered after the list is filled again.
    app.Main().cbPortsDropDown();
    EXPECT_TRUE(Items(Control<QComboBox>(app.Main(), "cbPorts")).contains(QString::fromStdString(app.Port())));
}

TEST(MainScheduler, SavedPortPathIsOfferedWhileItsDeviceExists) {
    {
        AppHarness app;
        app.SetPorts({"knsnone1"});
        app.WriteSettings("[CONFIG]\r\nComPort=" + app.Port() + "\r\n");
        app.StartConnected();
        EXPECT_EQ(Control<QComboBox>(app.Main(), "cbPorts")->currentText().toStdString(), app.Port());
    }
    AppHarness gone;
    gone.SetPorts({"knsnone1"});
    gone.WriteSettings("[CONFIG]\r\nComPort=/dev/kns-no-such-device\r\n");
    gone.Start();
    EXPECT_EQ(Items(Control<QComboBox>(gone.Main(), "cbPorts")), QStringList{"knsnone1"});
}

TEST(MainScheduler, PermissionDeniedKeepsItsTextWithTheAdviceAsTooltip) {
    AppHarness app;
    app.SetPorts({"knsnone1"});
    app.Start();
    TMain& main = app.Main();
    QLabel* panel = Control<QLabel>(main, "sBarPanel0");
    const EComPort denied(CError_OpenFailed, EACCES);
    main.ShowFailure(denied.Message(), denied.Kind());
    EXPECT_EQ(panel->text().toStdString(), denied.Message());
    EXPECT_TRUE(panel->toolTip().contains(QStringLiteral("/dev/knsnone1"))) << panel->toolTip().toStdString();
    main.PanelInfo("Searching for KARNOL simulator");
    EXPECT_TRUE(panel->toolTip().isEmpty());
}

TEST(MainScheduler, DropDownKeepsThePositionNotTheName) {
    AppHarness app;
    app.SetPorts({"knsnone1", "knsnone5"});
    app.Start();
    TMain& main = app.Main();
    Control<QComboBox>(main, "cbPorts")->setCurrentIndex(1);
    ASSERT_EQ(Control<QComboBox>(main, "cbPorts")->currentText(), QStringLiteral("knsnone5"));

    app.SetPorts({"knsnone5", "knsnone1", "knsnone0"});  // a port plugged in that sorts first
    main.cbPortsDropDown();
    EXPECT_EQ(Items(Control<QComboBox>(main, "cbPorts")), (QStringList{"knsnone0", "knsnone1", "knsnone5"}));
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->currentIndex(), 1);
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->currentText(), QStringLiteral("knsnone1"));
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->toolTip(), QStringLiteral("knsnone1"));

    app.SetPorts({"knsnone9"});  // the position is gone: nothing selected
    main.cbPortsDropDown();
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->currentIndex(), -1);

    // A failing list keeps the entries and the selection.
    Control<QComboBox>(main, "cbPorts")->setCurrentIndex(0);
    TCustomComPort::SetPortListSource([]() -> std::vector<std::string> { throw EComPort(CError_RegError, 2); });
    main.cbPortsDropDown();
    EXPECT_EQ(Items(Control<QComboBox>(main, "cbPorts")), QStringList{"knsnone9"});
    EXPECT_EQ(Control<QComboBox>(main, "cbPorts")->currentIndex(), 0);
    EXPECT_EQ(app.ErrorBoxes.size(), 1);
}

TEST(MainScheduler, TerminationSignalClosesLikeExit) {
    AppHarness app;
    app.StartConnected();
    TMain& main = app.Main();
    ASSERT_TRUE(main.RemoteModeFlag());
    bool closed = false;
    QObject::connect(&main, &TMain::Closed, [&] { closed = true; });
    {
        TSignalCloser closer(main);
        std::raise(SIGTERM);
        ASSERT_TRUE(WaitWithEvents([&] { return closed; }));
    }
    EXPECT_TRUE(app.WaitForCommand("!K0"));
    EXPECT_FALSE(app.Forms().ComIo().Port().Connected());
    const std::string settings = app.SettingsText();
    EXPECT_NE(settings.find("[CONFIG]\r\nComPort=" + app.Port() + "\r\n"), std::string::npos) << settings;
    // The placement is written before the port.
    EXPECT_LT(settings.find("[Main]"), settings.find("[CONFIG]"));
    // Nothing is sent after the close.
    const std::size_t after = app.Commands().size();
    Pump(1200);
    EXPECT_EQ(app.Commands().size(), after);
}

TEST(MainScheduler, CloseDuringAnExchangeWaitsForItsEnd) {
    AppHarness app;
    app.StartConnected();
    TMain& main = app.Main();
    bool closed = false;
    QObject::connect(&main, &TMain::Closed, [&] { closed = true; });
    app.Emulator().ClearLog();
    // The close request arrives while the search processes messages.
    QMetaObject::invokeMethod(&main, [&] { main.close(); }, Qt::QueuedConnection);
    main.RestartPortClick();
    EXPECT_FALSE(closed);  // the search ran to its end first
    EXPECT_EQ(main.State(), SchedulerState::ReadConfiguration);
    ASSERT_TRUE(WaitWithEvents([&] { return closed; }));
    EXPECT_EQ(app.Commands(), (Lines{"!K0", "!I", "!B"}));
    EXPECT_FALSE(app.Forms().ComIo().Port().Connected());
}

TEST(MainScheduler, DifferentFirmwareIsUpdatedAndTheRestartedSimulatorRead) {
    EmulatorOptions options;
    options.Version = std::array<std::uint8_t, 3>{1, 1, 0};
    // A box restarting with its new firmware stays silent longer than an
    // ordinary search's attempts last; the window must find it again by
    // itself, without Reload data.
    options.RestartSilenceMs = 800;
    AppHarness app(options);
    app.Start();
    TMain& main = app.Main();
    ASSERT_TRUE(app.WaitForCommand("!@"));
    ASSERT_TRUE(WaitWithEvents([&] { return main.State() == SchedulerState::Polling; }, 20000))
        << app.StatusTexts.join('|').toStdString();

    // The window showed both versions; the simulator now runs the carried one.
    TUpdateDialog& update = app.Forms().Update();
    EXPECT_EQ(update.LabUpFrom()->text(), QStringLiteral("v1.1.0"));
    EXPECT_EQ(update.LabUpTo()->text(), QStringLiteral("v1.2.0"));
    EXPECT_FALSE(update.isVisible());
    EXPECT_EQ(Control<QLabel>(main, "LabSimVersion")->text(), QStringLiteral("v1.2.0"));
    EXPECT_TRUE(Control<QFrame>(main, "MainPanel")->isVisibleTo(&main));
    EXPECT_FALSE(Control<QAction>(main, "MnuForceUpdate")->isEnabled());
    const Lines log = app.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "frame 02"), log.end());
}

TEST(MainScheduler, ForcedUpdateCancelledWhileWaitingStopsAndOffersItAgain) {
    EmulatorOptions options;
    options.Faults.Silent = true;  // the search stops; nobody presses reset
    AppHarness app(options);
    app.Start();
    TMain& main = app.Main();
    ASSERT_TRUE(WaitWithEvents([&] { return Control<QAction>(main, "MnuForceUpdate")->isEnabled() && !main.Timer1().isActive(); }));

    TUpdateDialog& update = app.Forms().Update();
    bool prompted = false;
    QTimer::singleShot(400, &update, [&] {
        prompted = update.isVisible() && update.LabReset()->isVisibleTo(&update) &&
                   !update.LabInstalled()->isVisibleTo(&update) && !Control<QAction>(main, "MnuForceUpdate")->isEnabled();
        update.ButAbort()->click();
    });
    Control<QAction>(main, "MnuForceUpdate")->trigger();
    EXPECT_TRUE(prompted);
    EXPECT_FALSE(update.isVisible());

    // The next step halts the scheduler and offers the forced update again.
    ASSERT_TRUE(WaitWithEvents([&] { return Control<QAction>(main, "MnuForceUpdate")->isEnabled(); }));
    EXPECT_FALSE(main.Timer1().isActive());
    EXPECT_EQ(main.State(), SchedulerState::Search);
    EXPECT_TRUE(main.isVisible());
    app.Emulator().ClearLog();
    Pump(500);
    EXPECT_TRUE(app.Log().empty());
}

TEST(MainScheduler, FailedUpdateIsReportedInTheMessageBoxAndEndsTheProgram) {
    EmulatorOptions options;
    options.Version = std::array<std::uint8_t, 3>{1, 1, 0};
    options.Boot.BadAckChecksumFrame = 1;  // the header frame
    AppHarness app(options);
    bool closed = false;
    QString text, caption;
    QStringList buttons;
    // Answers the program's own message box with its first button.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        TMsgBox& box = app.Forms().MsgBox();
        if (!box.isVisible() || !text.isEmpty()) return;
        text = box.InfoLabel()->text();
        caption = box.windowTitle();
        for (const QPushButton* b : box.findChildren<QPushButton*>()) buttons << b->text();
        box.findChild<QPushButton*>(QStringLiteral("But1"))->click();
    });
    answer.start(20);
    app.Start();
    QObject::connect(&app.Main(), &TMain::Closed, [&] { closed = true; });
    ASSERT_TRUE(WaitWithEvents([&] { return closed; }, 15000)) << app.StatusTexts.join('|').toStdString();

    EXPECT_EQ(text, QStringLiteral("Update Fehler!\r\n\nPlease try again,\r\nor contact the KARNOL support"));
    EXPECT_EQ(caption, QStringLiteral("Error"));
    EXPECT_EQ(buttons, QStringList{QString::fromUtf8("Schließen")});
    EXPECT_FALSE(app.Main().isVisible());
    EXPECT_NE(app.SettingsText().find("ComPort="), std::string::npos);  // closed as by "Exit"
}

TEST(MainScheduler, DeveloperModeShowsTheDebugLogAndCopiesTheProgram) {
    for (const bool windowPresent : {true, false}) {
        AppHarness app;
        app.SetPorts({});
        const TempFolder folder;
        ASSERT_TRUE(std::filesystem::create_directory(folder / "dist"));
        WriteFile(folder / "knsimtool", "program");
        const QString program = QString::fromStdString(folder / "knsimtool");
        TStartOptions options;
        options.Arguments = QStringList{QStringLiteral("5306142")};
        options.ProgramFile = program;
        options.DevelopmentWindowPresent = [windowPresent] { return windowPresent; };
        app.Start(options);
        EXPECT_EQ(app.Forms().Debug().isVisible(), windowPresent);
        EXPECT_EQ(std::filesystem::exists(folder / "dist/knsimtool1200"), windowPresent);
        app.Forms().Debug().hide();
    }
}
