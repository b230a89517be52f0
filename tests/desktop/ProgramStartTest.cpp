// --help and --version answer in a terminal without any display: they are
// handled before anything of the window exists.
#include "SpawnChild.h"
#include "TestFiles.h"
#include "VirtualDesktop.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

TEST(ProgramStart, HelpAndVersionNeedNoDisplay) {
    struct Row {
        const char* Argument;
        std::vector<std::string> Expected;
    };
    const Row rows[] = {
        {"--help", {"Usage: knsimtool", "--port NAME", "ACCESS-CODE", "--version"}},
        {"-h", {"Usage: knsimtool"}},
        {"--version", {"KARNOL-Simulator Tool v1.200\n"}},
    };
    const TempFolder folder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Argument);
        // The window system would be asked for a display that is not there.
        const pid_t pid = SpawnChild(KNS_TOOL_PATH, {row.Argument},
                                     {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}},
                                     folder / "out", folder / "err");
        int status = -1;
        ASSERT_TRUE(VirtualDesktop::WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 10000));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << ReadFile(folder / "err");
        const std::string out = ReadFile(folder / "out");
        for (const std::string& part : row.Expected) EXPECT_NE(out.find(part), std::string::npos) << out;
        EXPECT_EQ(ReadFile(folder / "err"), "");
    }
}
