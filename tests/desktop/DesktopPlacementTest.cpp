// Where the window stands on a real desktop: moved and restarted, it comes
// back exactly where it was left (frame included, however thick the window
// manager draws it); maximised it comes back maximised without losing its
// normal place; a saved place whose title bar would be off the screen is
// brought back just far enough to grab it.

#include "SpawnChild.h"
#include "TestFiles.h"
#include "VirtualDesktop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>
#include <sys/wait.h>

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
        emulator_ = SpawnChild(KNS_EMU_PATH, {}, {}, folder_ / "emu.out");
        ASSERT_TRUE(VirtualDesktop::WaitFor([&] { return ReadFile(folder_ / "emu.out").find('\n') != std::string::npos; }, 10000));
        port_ = ReadFile(folder_ / "emu.out");
        port_.resize(port_.find('\n'));
    }

    void TearDown() override {
        if (tool_ > 0) {
            kill(tool_, SIGKILL);
            waitpid(tool_, nullptr, 0);
        }
        if (emulator_ > 0) {
            kill(emulator_, SIGTERM);
            waitpid(emulator_, nullptr, 0);
        }
    }

    void WriteSettings(const std::string& text) { WriteFile(folder_ / "KNSimTool.ini", text); }
    std::string Settings() const { return ReadFile(folder_ / "KNSimTool.ini"); }

    // Starts the program and waits until its window is framed and at rest.
    std::uint32_t Start() {
        tool_ = SpawnChild("/usr/bin/unshare",
                           InPrivateMountNamespace(folder_ / "empty", folder_ / "knsimtool", {"--port", port_}),
                           {{"DISPLAY", desktop_->Display()}, {"QT_QPA_PLATFORM", "xcb"}}, folder_ / "tool.out");
        std::uint32_t window = 0;
        EXPECT_TRUE(VirtualDesktop::WaitFor([&] { return (window = desktop_->WindowOf(tool_)) != 0; }, 15000))
            << ReadFile(folder_ / "tool.out");
        EXPECT_TRUE(VirtualDesktop::WaitFor([&] { return desktop_->Frame(window).has_value(); }, 5000));
        return window;
    }

    // Waits until the frame's top left corner is at expected.
    void ExpectFrameAt(std::uint32_t window, int x, int y) {
        std::optional<OuterRect> frame;
        EXPECT_TRUE(VirtualDesktop::WaitFor(
            [&] {
                frame = desktop_->Frame(window);
                return frame && frame->X == x && frame->Y == y;
            },
            5000))
            << "the frame stands at " << Describe(frame) << ", not at " << x << "," << y;
    }

    // Closes the program as the system does at shutdown, and waits for its end.
    void Stop() {
        ASSERT_GT(tool_, 0);
        kill(tool_, SIGTERM);
        int status = -1;
        const bool ended = VirtualDesktop::WaitFor([&] { return waitpid(tool_, &status, WNOHANG) == tool_; }, 15000);
        if (!ended) {
            kill(tool_, SIGKILL);
            waitpid(tool_, nullptr, 0);
        }
        tool_ = -1;
        ASSERT_TRUE(ended) << "the program did not end on SIGTERM";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(folder_ / "tool.out");
    }

    std::string NormPos() const { return Value(Settings(), "NormPos"); }

    TempFolder folder_{"kns-desktop-test"};
    std::unique_ptr<VirtualDesktop> desktop_;
    pid_t emulator_ = -1;
    pid_t tool_ = -1;
    std::string port_;
};

}  // namespace

TEST_F(DesktopPlacement, MovedWindowComesBackExactlyWhereItWasLeft) {
    std::uint32_t window = Start();
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
        EXPECT_TRUE(VirtualDesktop::WaitFor([&] { return desktop_->Maximised(window); }, 5000));
        Stop();
        EXPECT_EQ(Value(Settings(), "ShowCmd"), "3");
        EXPECT_EQ(NormPos().substr(0, 8), "220,180,");
    }
}

TEST_F(DesktopPlacement, TitleBarOffTheScreenIsBroughtBackJustFarEnoughToGrabIt) {
    struct Row {
        const char* Name;
        int X, Y;
        // Where the frame must come: from its outer width.
        std::function<std::pair<int, int>(int width)> Expected;
    };
    const Row rows[] = {
        {"above the screen", 200, -60, [](int) { return std::pair{200, 0}; }},
        // 100 pixels of the title bar stay on the screen.
        {"left of the screen", -900, 150, [](int width) { return std::pair{100 - width, 150}; }},
        {"right of the screen", 1500, 150, [](int) { return std::pair{VirtualDesktop::ScreenWidth - 100, 150}; }},
        {"partly left, still grabbable", -300, 150, [](int) { return std::pair{-300, 150}; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteSettings("[Main]\r\nShowCmd=1\r\nNormPos=" + std::to_string(row.X) + "," + std::to_string(row.Y) +
                      ",0,0\r\n");
        const std::uint32_t window = Start();
        int width = 0;
        VirtualDesktop::WaitFor([&] { return (width = desktop_->Frame(window).value_or(OuterRect{}).Width) > 0; }, 5000);
        const auto [x, y] = row.Expected(width);
        ExpectFrameAt(window, x, y);
        Stop();
        EXPECT_EQ(NormPos().substr(0, std::to_string(x).size() + std::to_string(y).size() + 2),
                  std::to_string(x) + "," + std::to_string(y) + ",");
    }
}
