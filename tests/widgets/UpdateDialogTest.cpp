#include "app/uUpdate.h"
#include "link/FirmwareUpdate.h"
#include "link/uComIo.h"

#include "Pty.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

namespace {

// Lets a scheduled click reach the dialog while the link polls.
struct DialogHost : QuietHost {
    std::string port;
    void ProcessMessages() override { QCoreApplication::processEvents(); }
};

struct Fixture {
    DialogHost host;
    SimulatorState state;
    FirmwareImage image;
    TComIo link{host, state, image};
    FirmwareUpdate update{link, image};
    TUpdateDialog dialog{update};

    Fixture() {
        std::vector<std::uint8_t> bytes(FirmwareHeaderSize + 16, 0x5A);
        bytes[HeaderVersionOffset] = 1;
        bytes[HeaderVersionOffset + 1] = 2;
        bytes[HeaderVersionOffset + 2] = 0;
        image.Load(bytes);
    }
};

bool Shown(const QWidget* w, const QWidget* window) { return w->isVisibleTo(window); }

}  // namespace

TEST(UpdateDialog, LayoutForAutomaticForcedAndTransfer) {
    struct Case {
        const char* name;
        UpdateLayout layout;
        int height;
        bool prompt, installed;
    };
    const Case cases[] = {
        {"automatic", {false, true, "v1.1.0", "v1.2.0"}, 100, false, true},
        {"forced, waiting", {true, false, "", "v1.2.0"}, 150, true, false},
        {"forced, transferring", {false, false, "", "v1.2.0"}, 100, false, false},
    };
    Fixture f;
    TUpdateDialog& d = f.dialog;
    for (const Case& c : cases) {
        d.ShowLayout(c.layout);
        EXPECT_EQ(d.size(), QSize(301, c.height)) << c.name;
        EXPECT_EQ(Shown(d.LabReset(), &d), c.prompt) << c.name;
        EXPECT_EQ(Shown(d.ButAbort(), &d), c.prompt) << c.name;
        EXPECT_EQ(Shown(d.LabInstalled(), &d), c.installed) << c.name;
        EXPECT_EQ(Shown(d.LabUpFrom(), &d), c.installed) << c.name;
        EXPECT_EQ(d.LabUpTo()->text(), QStringLiteral("v1.2.0")) << c.name;
        EXPECT_TRUE(!c.prompt || d.rect().contains(d.ButAbort()->geometry())) << c.name;
    }
    EXPECT_EQ(d.LabUpFrom()->text(), QStringLiteral("v1.1.0"));
    d.SetProgress(TransferAreaSize, TransferAreaSize);
    EXPECT_EQ(d.UpBar()->maximum(), TransferAreaSize);
    EXPECT_EQ(d.UpBar()->value(), TransferAreaSize);
    // A coarse timer may run a poll before the boot loader's 100 ms are over.
    const auto* timer = d.findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
}

TEST(UpdateDialog, CancelWhileWaitingStopsAndNothingElseClosesIt) {
    // A pseudo-terminal whose far end never answers: a simulator not reset.
    const Pty silent;
    Fixture f;
    f.host.port = silent.Path();
    TUpdateDialog& d = f.dialog;

    bool promptShown = false, openAfterEscape = false, openAfterClose = false;
    QTimer::singleShot(350, &d, [&] {
        promptShown = d.isVisible() && Shown(d.LabReset(), &d) && Shown(d.ButAbort(), &d);
        QTest::keyClick(&d, Qt::Key_Escape);
        openAfterEscape = d.isVisible();
        d.close();
        openAfterClose = d.isVisible();
        QTest::mouseClick(d.ButAbort(), Qt::LeftButton);
    });
    EXPECT_EQ(d.Run(SchedulerState::ForcedUpdate, f.host.port), SchedulerState::Stopped);
    EXPECT_TRUE(promptShown);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(openAfterClose);
    EXPECT_FALSE(d.isVisible());
}

TEST(UpdateDialog, FailureOfTheLinkClosesWithUpdateFailed) {
    Fixture f;
    f.host.port = "/nonexistent/kns-no-such-port";  // the open fails at the first step
    EXPECT_EQ(f.dialog.Run(SchedulerState::AutoUpdate, f.host.port), SchedulerState::UpdateFailed);
    EXPECT_FALSE(f.dialog.isVisible());
}
