// Where the window stands on a real desktop: moved and restarted, it comes
// back exactly where it was left (frame included, however thick the window
// manager draws it); maximised it comes back maximised without losing its
// normal place; a saved place where the frame would not be wholly on the
// screen gives way to the centre.

#include "Child.h"
#include "TestFiles.h"
#include "VirtualDesktop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string Describe(const std::optional<OuterRect>& r) {
    if (!r) return "(not framed)";
    std::ostringstream out;
    out << r->X << "," << r->Y << " " << r->Width << "x" << r->Height;
    return out.str();
}

// The value of key in the settings file's text ("" when absent).
std::string Value(const std::string& ini, const std::string& key) {
    const std::string line = "\r\n" + key + "=";
    const std::size_t at = ini.find(line);
    if (at == std::string::npos) return {};
    const std::size_t start = at + line.size();
    return ini.substr(start, ini.find('\r', start) - start);
}

class DesktopPlacement : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateMountNamespaceAllowed())
            GTEST_SKIP() << "no private mount namespace may be made here, so the console port cannot be covered";
        desktop_ = std::make_unique<VirtualDesktop>();
        ASSERT_EQ(desktop_->Error(), "");
        // The settings file lives beside the program: run a copy of it.
        fs::copy_file(KNS_TOOL_PATH, folder_ / "knsimtool");
        WriteFile(folder_ / "empty", "");
        emulator_ = std::make_unique<EmulatorChild>();
    }

    void WriteSettings(const std::string& text) { WriteFile(folder_ / "KNSimTool.ini", text); }
    std::string Settings() const { return ReadFile(folder_ / "KNSimTool.ini"); }

    // Starts the program and waits until its window is framed and at rest.
    std::uint32_t Start() {
        tool_ = std::make_unique<Child>(
            "/usr/bin/unshare",
            InPrivateMountNamespace(folder_ / "empty", folder_ / "knsimtool", {"--port", emulator_->Port()}),
            std::map<std::string, std::string>{{"DISPLAY", desktop_->Display()}, {"QT_QPA_PLATFORM", "xcb"}});
        std::uint32_t window = 0;
        EXPECT_TRUE(WaitOnDesktop([&] { return (window = desktop_->WindowOf(tool_->Pid())) != 0; }, 15000))
            << tool_->Out() << tool_->Err();
        EXPECT_TRUE(WaitOnDesktop([&] { return desktop_->Frame(window).has_value(); }, 5000));
        return window;
    }

    // Waits until the frame's top left corner is at expected.
    void ExpectFrameAt(std::uint32_t window, int x, int y) {
        std::optional<OuterRect> frame;
        EXPECT_TRUE(WaitOnDesktop(
            [&] {
                frame = desktop_->Frame(window);
                return frame && frame->X == x && frame->Y == y;
            },
            5000))
            << "the frame stands at " << Describe(frame) << ", not at " << x << "," << y;
    }

    // Waits until the frame is centred on the screen, to the pixel that
    // halving leaves; where that is.
    std::pair<int, int> ExpectCentred(std::uint32_t window) {
        OuterRect frame{};
        WaitOnDesktop([&] { return (frame = desktop_->Frame(window).value_or(OuterRect{})).Width > 0; }, 5000);
        const int x = (VirtualDesktop::ScreenWidth - frame.Width) / 2;
        const int y = (VirtualDesktop::ScreenHeight - frame.Height) / 2;
        ExpectFrameAt(window, x, y);
        return {x, y};
    }

    // Closes the program as the system does at shutdown, and waits for its end.
    void Stop() {
        ASSERT_TRUE(tool_);
        tool_->Signal(SIGTERM);
        const Child::Result ended = tool_->Wait(15000);
        tool_.reset();
        ASSERT_FALSE(ended.TimedOut) << "the program did not end on SIGTERM";
        EXPECT_EQ(ended.Status, 0) << ended.Out << ended.Err;
    }

    std::string NormPos() const { return Value(Settings(), "NormPos"); }

    TempFolder folder_{"kns-desktop-test"};
    std::unique_ptr<VirtualDesktop> desktop_;
    std::unique_ptr<EmulatorChild> emulator_;
    std::unique_ptr<Child> tool_;
};

}  // namespace

TEST_F(DesktopPlacement, MovedWindowComesBackExactlyWhereItWasLeft) {
    std::uint32_t window = Start();
    ExpectCentred(window);  // the first start
    desktop_->MoveFrame(window, 300, 240);
    ExpectFrameAt(window, 300, 240);
    const OuterRect frame = desktop_->Frame(window).value_or(OuterRect{});
    Stop();
    EXPECT_EQ(NormPos(), "300,240," + std::to_string(300 + frame.Width) + "," + std::to_string(240 + frame.Height));

    window = Start();
    ExpectFrameAt(window, 300, 240);
    Stop();
}

TEST_F(DesktopPlacement, FiveRestartsWithoutDrift) {
    WriteSettings("[Main]\r\nShowCmd=1\r\nNormPos=210,170,844,560\r\n");
    for (int run = 1; run <= 5; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::uint32_t window = Start();
        ExpectFrameAt(window, 210, 170);
        Stop();
        EXPECT_EQ(NormPos().substr(0, 8), "210,170,");
    }
}

TEST_F(DesktopPlacement, MaximisedWindowComesBackMaximisedAndKeepsItsNormalPlace) {
    WriteSettings("[Main]\r\nShowCmd=3\r\nNormPos=220,180,854,570\r\n");
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        const std::uint32_t window = Start();
        EXPECT_TRUE(WaitOnDesktop([&] { return desktop_->Maximised(window); }, 5000));
        Stop();
        EXPECT_EQ(Value(Settings(), "ShowCmd"), "3");
        EXPECT_EQ(NormPos().substr(0, 8), "220,180,");
    }
}

TEST_F(DesktopPlacement, FrameNotWhollyOnTheScreenIsCentred) {
    struct Row {
        const char* Name;
        int X, Y;
    };
    const Row rows[] = {
        {"above the screen", 200, -60},
        {"left of the screen", -900, 150},
        {"right of the screen", 1500, 150},
        {"partly left", -300, 150},
        {"bottom edge below the screen", 200, VirtualDesktop::ScreenHeight - 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteSettings("[Main]\r\nShowCmd=1\r\nNormPos=" + std::to_string(row.X) + "," + std::to_string(row.Y) +
                      ",0,0\r\n");
        const auto [x, y] = ExpectCentred(Start());
        Stop();
        EXPECT_EQ(NormPos().substr(0, std::to_string(x).size() + std::to_string(y).size() + 2),
                  std::to_string(x) + "," + std::to_string(y) + ",");
    }
}
