// update-firmware against the emulator's boot loader, and the exit statuses
// of help and wrong usage, end to end.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <thread>

namespace {

int CountOf(const std::vector<std::string>& log, const std::string& entry) {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

const char* const UpdatedInfo =
    "Serial:          KNEMU0001\n"
    "Bios version:    v1.2.0\n"
    "Carried version: v1.2.0\n"
    "Update due:      no\n";

TEST(CliUpdate, AutomaticUpdate) {
    // Identities differ: the default mode flashes; equal ones: only --always.
    for (const auto& [emuArgs, mode] : {std::pair<std::vector<std::string>, const char*>{{"--version", "1.1.0"}, ""},
                                        {{}, "--always"}}) {
        SCOPED_TRACE(mode);
        std::vector<std::string> emuAll = {"--restart-ms", "300"};
        emuAll.insert(emuAll.end(), emuArgs.begin(), emuArgs.end());
        EmulatorChild emu(emuAll);
        std::vector<std::string> args = {"--port", emu.Port(), "update-firmware"};
        if (*mode) args.push_back(mode);
        const auto r = RunCli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Out, UpdatedInfo);
        // Plain progress lines, since standard error is a pipe here.
        EXPECT_TRUE(Contains(r.Err, "Update to version: v1.2.0\n")) << r.Err;
        EXPECT_TRUE(Contains(r.Err, "Transfer 100% (28672 of 28672 bytes)\n")) << r.Err;

        const auto log = emu.Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_EQ(Commands(log.begin(), log.begin() + 3), (Commands{"!I", "!B", "!@"}));  // no reads before
        EXPECT_EQ(CountOf(log, "restart"), 1);
        const auto commands = emu.Commands();  // found again after the restart, read, left
        EXPECT_EQ(Commands(commands.end() - 5, commands.end()), (Commands{"!B", "!S", "!C", "!K1", "!K0"}));
    }
}

TEST(CliUpdate, IfNeededLeavesACurrentSimulatorAlone) {
    EmulatorChild emu;
    for (const char* mode : {"", "--if-needed"}) {
        emu.ClearLog();
        std::vector<std::string> args = {"--port", emu.Port(), "update-firmware"};
        if (*mode) args.push_back(mode);
        const auto r = RunCli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Out, UpdatedInfo);
        EXPECT_EQ(emu.Commands(), Session({}, false));  // no "!@"
    }
}

TEST(CliUpdate, ResetButtonWaitsForTheBootLoader) {
    EmulatorChild emu({"--version", "0.9.9", "--restart-ms", "300"});
    Child cli(KNS_CLI_PATH, {"--port", emu.Port(), "update-firmware", "--reset-button"},
                     {{"KNSIM_CLI_PORTS", "/nonexistent"}});
    ASSERT_TRUE(WaitUntil([&] { return Contains(cli.Err(), "reset button"); }, 10000)) << cli.Err();
    emu.PressReset();
    const auto r = cli.Wait();
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, UpdatedInfo);
    EXPECT_EQ(r.Err.rfind("Please press the simulators reset button\n", 0), 0u) << r.Err;
    // Nothing was asked of the firmware before the update.
    const auto log = emu.Log();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.front().rfind("!", 0), 0u) << log.front();
    EXPECT_EQ(CountOf(log, "!@"), 0);
}

TEST(CliUpdate, InterruptWhileWaitingForTheBootLoaderCancels) {
    EmulatorChild emu;
    Child cli(KNS_CLI_PATH, {"--port", emu.Port(), "update-firmware", "--reset-button"},
                     {{"KNSIM_CLI_PORTS", "/nonexistent"}});
    ASSERT_TRUE(WaitUntil([&] { return Contains(cli.Err(), "reset button"); }, 10000)) << cli.Err();
    cli.Signal(SIGINT);
    const auto r = cli.Wait(10000);
    EXPECT_EQ(r.Status, 128 + SIGINT);
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(Contains(r.Err, "Interrupted\n")) << r.Err;
    EXPECT_FALSE(Contains(r.Err, "Update Fehler")) << r.Err;
    EXPECT_EQ(emu.Commands(), Commands{});  // the firmware was never asked anything
}

// Once "!@" has gone out the firmware has handed over; leaving would strand
// the simulator in its boot loader, so the automatic update goes on.
TEST(CliUpdate, InterruptAfterTheBootLoaderWasStartedDoesNotStrandIt) {
    EmulatorChild emu({"--version", "1.1.0", "--no-poll-answer"});
    Child cli(KNS_CLI_PATH, {"--port", emu.Port(), "update-firmware"}, {{"KNSIM_CLI_PORTS", "/nonexistent"}});
    ASSERT_TRUE(emu.WaitForLog("boot loader", 5000));
    cli.Signal(SIGINT);
    const auto r = cli.Wait(20000);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(Contains(r.Err, "Update Fehler!")) << r.Err;
    EXPECT_EQ(CountOf(emu.Log(), "poll"), 20);  // every poll, none cut short
}

TEST(CliUpdate, FailedUpdatesAreReported) {
    EmulatorChild noReset;                                    // reset button never pressed
    EmulatorChild noAck({"--version", "1.1.0", "--no-ack", "5"});  // a page not acknowledged
    const std::pair<const EmulatorChild*, std::vector<std::string>> rows[] = {
        {&noReset, {"--reset-button"}},
        {&noAck, {}},
    };
    for (const auto& [emu, mode] : rows) {
        std::vector<std::string> args = {"--port", emu->Port(), "update-firmware"};
        args.insert(args.end(), mode.begin(), mode.end());
        const auto start = std::chrono::steady_clock::now();
        const auto r = RunCli(args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Out, "");
        EXPECT_TRUE(Contains(r.Err, "Update Fehler!")) << r.Err;
        // Twenty polls of 100 ms plus up to 150 ms; an acknowledgement may take 3 s.
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    }
}

TEST(CliUsage, HelpAndWrongUsage) {
    auto r = RunCli({"--help"});
    EXPECT_EQ(r.Status, 0);
    for (const char* part :
         {"update-firmware", "rfc2217://HOST:PORT", "tcp://HOST:PORT", "KNSIM_CLI_PORTS", "Exit status"})
        EXPECT_TRUE(Contains(r.Out, part)) << part;
    r = RunCli({"help", "show"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(Contains(r.Out, "\"code_count\""));
    r = RunCli({"diff", "--help"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(Contains(r.Out, "\"differences\""));

    for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"show"}, {"--port", "x", "bogus"}}) {
        r = RunCli(args);
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Out, "");
        EXPECT_TRUE(Contains(r.Err, "--help")) << r.Err;
    }
}

}  // namespace
