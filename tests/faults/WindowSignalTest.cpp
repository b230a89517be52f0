// SIGINT and SIGTERM end the window program in every state as "Exit" does:
// whatever window is open, the process is gone within 3 seconds, the
// simulator is left in local mode where it was connected, and the port is
// written to the settings file.

#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>

namespace {

struct SignalRow {
    const char* Name;
    const char* State;  // as the driver names it
    std::vector<std::string> Emulator;
    bool Connected;  // remote mode on when the signal comes
};

void PrintTo(const SignalRow& row, std::ostream* os) { *os << row.Name; }

class WindowSignal : public ::testing::TestWithParam<SignalRow> {};

TEST_P(WindowSignal, EndsTheProgramWithin3Seconds) {
    const SignalRow& row = GetParam();
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig == SIGINT ? "SIGINT" : "SIGTERM");
        EmulatorChild emulator(row.Emulator);
        const TempFolder folder;
        const std::string settings = folder / "KNSimTool.ini";
        Child window(KNS_WINDOW_SIGNAL_DRIVER, {row.State, emulator.Port(), settings}, {{"QT_QPA_PLATFORM", "offscreen"}});
        ASSERT_TRUE(WaitUntil([&] { return window.Out() == "ready\n"; }, 20000)) << window.Err();

        window.Signal(sig);
        const Child::Result result = window.Wait(3000);
        EXPECT_FALSE(result.TimedOut) << "still running 3 s after the signal";
        EXPECT_EQ(result.Status, 0) << result.Err;
        if (row.Connected) {
            EXPECT_EQ(emulator.Count("!K0"), 1u);
        }
        EXPECT_NE(ReadFile(settings).find("ComPort=" + emulator.Port()), std::string::npos) << ReadFile(settings);
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, WindowSignal,
                         ::testing::Values(
                             SignalRow{"polling", "polling", {}, true},
                             SignalRow{"searching", "searching", {"--silent"}, false},
                             // Every reply byte 120 ms apart: in time, but the identity alone takes seconds.
                             SignalRow{"slow_reply", "searching", {"--byte-delay", "120"}, false},
                             SignalRow{"about", "about", {}, true},
                             SignalRow{"open_dialog", "open_dialog", {}, true},
                             SignalRow{"message_box", "message_box", {}, true},
                             SignalRow{"error_box", "error_box", {}, true},
                             SignalRow{"debug_log", "debug_log", {}, true},
                             SignalRow{"reset_prompt", "reset_prompt", {}, false},
                             SignalRow{"update_failed", "update_failed", {"--version", "1.0.0", "--bad-ack", "5"}, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
