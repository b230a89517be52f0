// --help and --version answer in a terminal without any display: they are
// handled before anything of the window exists.
#include "Child.h"

#include <gtest/gtest.h>

#include <csignal>

TEST(ProgramStart, HelpAndVersionNeedNoDisplay) {
    struct Row {
        const char* Argument;
        std::vector<std::string> Expected;
    };
    const Row rows[] = {
        {"--help",
         {"Usage: knsimtool", "--port NAME", "--bench", "rfc2217://HOST:PORT", "tcp://HOST:PORT", "ACCESS-CODE", "--version"}},
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

// The bench as a program: each named box found and polled, and SIGTERM ends
// it with remote mode left on every box.
TEST(ProgramStart, BenchEndsOnSigtermWithRemoteModeLeftOnEveryBox) {
    EmulatorChild a({"--serial", "KNA1"});
    EmulatorChild b({"--serial", "KNB2", "--protocol", "3"});
    Child bench(KNS_TOOL_PATH, {"--bench", "--port", a.Port() + "," + b.Port()}, {{"QT_QPA_PLATFORM", "offscreen"}});
    for (const EmulatorChild* box : {&a, &b}) ASSERT_TRUE(box->WaitForLog("!S", 15000, 3)) << box->Port();
    bench.Signal(SIGTERM);
    const auto r = bench.Wait(15000);
    ASSERT_FALSE(r.TimedOut);
    EXPECT_EQ(r.Status, 0) << r.Err;
    for (const EmulatorChild* box : {&a, &b}) EXPECT_EQ(box->Commands().back(), "!K0") << box->Port();
}
