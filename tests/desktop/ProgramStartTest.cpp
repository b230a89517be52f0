// --help and --version answer in a terminal without any display: they are
// handled before anything of the window exists.
#include "Child.h"

#include <gtest/gtest.h>

TEST(ProgramStart, HelpAndVersionNeedNoDisplay) {
    struct Row {
        const char* Argument;
        std::vector<std::string> Expected;
    };
    const Row rows[] = {
        {"--help",
         {"Usage: knsimtool", "--port NAME", "rfc2217://HOST:PORT", "tcp://HOST:PORT", "ACCESS-CODE", "--version"}},
        {"-h", {"Usage: knsimtool"}},
        {"--version", {"KARNOL-Simulator Tool v1.200\n"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Argument);
        // The window system would be asked for a display that is not there.
        const auto r = Child(KNS_TOOL_PATH, {row.Argument},
                             {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}})
                           .Wait(10000);
        ASSERT_FALSE(r.TimedOut);
        EXPECT_EQ(r.Status, 0) << r.Err;
        for (const std::string& part : row.Expected) EXPECT_NE(r.Out.find(part), std::string::npos) << r.Out;
        EXPECT_EQ(r.Err, "");
    }
}
