// The real program's bench on a real desktop: Enter on a box's row starts
// the main window as a program of its own, which keeps the box when the
// bench ends, polls it on, and leaves remote mode when it is closed itself.

#include "TestFiles.h"
#include "VirtualDesktop.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

// The processes whose parent is pid.
std::vector<pid_t> ChildrenOf(pid_t pid) {
    std::vector<pid_t> children;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        std::ifstream in(task.path() / "children");
        pid_t child;
        while (in >> child) children.push_back(child);
    }
    return children;
}

bool Alive(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto state = line.find(") ");
    return state != std::string::npos && line[state + 2] != 'Z';
}

}  // namespace

TEST(BenchLaunch, MainWindowOpenedFromTheBenchOutlivesIt) {
    if (!PrivateMountNamespaceAllowed())
        GTEST_SKIP() << "no private mount namespace may be made here, so the console port cannot be covered";
    VirtualDesktop desktop;
    ASSERT_EQ(desktop.Error(), "");
    const TempFolder folder;
    // The settings file lives beside the program: run a copy of it.
    std::filesystem::copy_file(KNS_TOOL_PATH, folder / "knsimtool");
    WriteFile(folder / "empty", "");
    EmulatorChild box({"--serial", "KNL1"});
    const std::map<std::string, std::string> env{{"DISPLAY", desktop.Display()}, {"QT_QPA_PLATFORM", "xcb"}};
    Child bench("/usr/bin/unshare",
                InPrivateMountNamespace(folder / "empty", folder / "knsimtool", {"--bench", "--port", box.Port()}), env);
    std::uint32_t window = 0;
    ASSERT_TRUE(WaitOnDesktop([&] { return (window = desktop.WindowOf(bench.Pid())) != 0; }, 15000)) << bench.Err();
    ASSERT_TRUE(box.WaitForLog("!S", 15000, 2));

    // The row made current, then Enter, as a keyboard user does.
    const auto keys = Child("/usr/bin/xdotool",
                            {"windowactivate", "--sync", std::to_string(window), "key", "--delay", "100", "Down", "Return"},
                            env)
                          .Wait(15000);
    ASSERT_EQ(keys.Status, 0) << keys.Err;
    pid_t main = 0;
    ASSERT_TRUE(WaitOnDesktop([&] {
        const auto children = ChildrenOf(bench.Pid());
        if (children.empty()) return false;
        main = children.front();
        return true;
    }, 15000));
    ASSERT_TRUE(WaitOnDesktop([&] { return desktop.WindowOf(main) != 0; }, 15000));

    // The bench ends (as the system's end-task ends it); the main window runs on.
    bench.Signal(SIGTERM);
    const auto ended = bench.Wait(15000);
    ASSERT_FALSE(ended.TimedOut);
    EXPECT_EQ(ended.Status, 0) << ended.Err;
    ASSERT_TRUE(Alive(main));
    box.ClearLog();
    EXPECT_TRUE(box.WaitForLog("!S", 15000, 2));  // still polled, by the main window

    // Closed itself, it leaves remote mode.
    ::kill(main, SIGTERM);
    ASSERT_TRUE(WaitOnDesktop([&] { return !Alive(main); }, 15000));
    const auto commands = box.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "!K0");
}
