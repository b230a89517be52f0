#include "app/uUpdate.h"
#include "link/uComIo.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

class QuietHost : public ILinkHost {
public:
    std::string port;
    void PanelInfo(const std::string&) override {}
    void ProcessMessages() override { QCoreApplication::processEvents(); }
    void ShowStatus() override {}
    void ShowConfiguration() override {}
    std::string PortName() override { return port; }
    void SetSerialText(const std::string&) override {}
    void SetVersionText(const std::string&) override {}
    void SetPortPicture(int) override {}
    bool RemoteModeFlag() const override { return false; }
    void SetRemoteModeFlag(bool) override {}
};

// A pseudo-terminal whose far end never answers: a simulator that is not reset.
class SilentPty {
public:
    SilentPty() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0) name_ = ptsname(master_);
    }
    ~SilentPty() {
        if (master_ >= 0) close(master_);
    }
    const std::string& Name() const { return name_; }

private:
    int master_ = -1;
    std::string name_;
};

struct Fixture {
    QuietHost host;
    SimulatorState state;
    FirmwareImage image;
    TComIo link{host, state, image};
    TUpdateDialog dialog{link};

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

TEST(UpdateDialog, ControlsAndTexts) {
    Fixture f;
    TUpdateDialog& d = f.dialog;
    EXPECT_EQ(d.windowTitle(), QStringLiteral("BIOS UPDATE"));
    EXPECT_EQ(d.width(), 301);
    EXPECT_EQ(d.LabInstalled()->text(), QStringLiteral("Installed version:"));
    EXPECT_EQ(d.LabUpdate()->text(), QStringLiteral("Update to version:"));
    EXPECT_EQ(d.LabReset()->text(), QStringLiteral("Please press the simulators reset button"));
    EXPECT_EQ(d.ButAbort()->text(), QStringLiteral("CANCEL"));
    EXPECT_EQ(d.UpBar()->minimum(), 0);
    EXPECT_EQ(d.UpBar()->maximum(), 100);
    EXPECT_FALSE(d.UpBar()->isTextVisible());
    EXPECT_FALSE(d.windowFlags() & Qt::WindowCloseButtonHint);
}

TEST(UpdateDialog, LayoutForAutomaticForcedAndTransfer) {
    struct Case {
        const char* name;
        UpdateLayout layout;
        int height;
        bool prompt;
        bool installed;
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
        EXPECT_TRUE(Shown(d.LabUpTo(), &d)) << c.name;
        EXPECT_EQ(d.LabUpTo()->text(), QStringLiteral("v1.2.0")) << c.name;
        if (c.installed) {
            EXPECT_EQ(d.LabUpFrom()->text(), QStringLiteral("v1.1.0"));
        }
        // Everything shown lies inside the window.
        for (QWidget* w : {static_cast<QWidget*>(d.LabReset()), static_cast<QWidget*>(d.ButAbort()),
                           static_cast<QWidget*>(d.UpBar()), static_cast<QWidget*>(d.LabUpTo())})
            if (Shown(w, &d)) {
                EXPECT_TRUE(d.rect().contains(w->geometry())) << c.name << " " << w->objectName().toStdString();
            }
    }
    d.SetProgress(TransferAreaSize, TransferAreaSize);
    EXPECT_EQ(d.UpBar()->maximum(), TransferAreaSize);
    EXPECT_EQ(d.UpBar()->value(), TransferAreaSize);
}

TEST(UpdateDialog, CancelWhileWaitingStopsAndNothingElseClosesIt) {
    SilentPty pty;
    ASSERT_FALSE(pty.Name().empty());
    Fixture f;
    f.host.port = pty.Name();
    TUpdateDialog& d = f.dialog;

    bool promptShown = false;
    bool openAfterEscape = false;
    bool openAfterClose = false;
    QTimer::singleShot(350, &d, [&] {
        promptShown = d.isVisible() && Shown(d.LabReset(), &d) && Shown(d.ButAbort(), &d);
        QTest::keyClick(&d, Qt::Key_Escape);
        openAfterEscape = d.isVisible();
        d.close();
        openAfterClose = d.isVisible();
        QTest::mouseClick(d.ButAbort(), Qt::LeftButton);
    });
    EXPECT_EQ(d.Run(SchedulerState::ForcedUpdate), SchedulerState::Stopped);
    EXPECT_TRUE(promptShown);
    EXPECT_TRUE(openAfterEscape);
    EXPECT_TRUE(openAfterClose);
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.Running());
}

TEST(UpdateDialog, FailureOfTheLinkClosesWithUpdateFailed) {
    Fixture f;
    f.host.port = "/nonexistent/kns-no-such-port";  // the open fails at the first step
    EXPECT_EQ(f.dialog.Run(SchedulerState::AutoUpdate), SchedulerState::UpdateFailed);
    EXPECT_FALSE(f.dialog.isVisible());
}
