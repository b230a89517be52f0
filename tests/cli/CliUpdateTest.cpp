// update-firmware against the emulator's boot loader, and the exit statuses
// of help and wrong usage, end to end.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

using Commands = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

int CountOf(const std::vector<std::string>& log, const std::string& entry) {
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
}

const char* const UpdatedInfo =
    "Serial:          KNEMU0001\n"
    "Bios version:    v1.2.0\n"
    "Carried version: v1.2.0\n"
    "Update due:      no\n";

TEST(CliUpdate, AutomaticUpdateWhenTheIdentitiesDiffer) {
    Emulator emu({"--version", "1.1.0", "--restart-ms", "300"});
    const auto r = RunCli({"--port", emu.Port(), "update-firmware"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, UpdatedInfo);
    // Plain progress lines, since standard error is a pipe here.
    EXPECT_TRUE(Contains(r.Err, "Installed version: v1.1.0\nUpdate to version: v1.2.0\n")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, "Transfer 100% (28672 of 28672 bytes)\n")) << r.Err;

    const auto log = emu.Log();
    const Commands before = {log.begin(), log.begin() + 3};
    EXPECT_EQ(before, (Commands{"!I", "!B", "!@"}));  // no status read before flashing
    EXPECT_EQ(CountOf(log, "restart"), 1);
    // After the restart: found again, read, and left.
    const auto commands = emu.Commands();
    ASSERT_GE(commands.size(), 5u);
    EXPECT_EQ(Commands(commands.end() - 5, commands.end()), (Commands{"!B", "!S", "!C", "!K1", "!K0"}));
}

TEST(CliUpdate, IfNeededLeavesACurrentSimulatorAlone) {
    Emulator emu;
    for (const std::vector<std::string>& mode : {std::vector<std::string>{}, {"--if-needed"}}) {
        emu.ClearLog();
        std::vector<std::string> args = {"--port", emu.Port(), "update-firmware"};
        args.insert(args.end(), mode.begin(), mode.end());
        const auto r = RunCli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Out, UpdatedInfo);
        Commands expected = ConnectCommands();
        expected.push_back("!K0");
        EXPECT_EQ(emu.Commands(), expected);  // no "!@"
    }
}

TEST(CliUpdate, AlwaysFlashesAlsoTheSameFirmware) {
    Emulator emu({"--restart-ms", "300"});
    const auto r = RunCli({"--port", emu.Port(), "update-firmware", "--always"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, UpdatedInfo);
    const auto log = emu.Log();
    EXPECT_EQ(Commands(log.begin(), log.begin() + 3), (Commands{"!I", "!B", "!@"}));
    EXPECT_EQ(CountOf(log, "restart"), 1);
}

TEST(CliUpdate, ResetButtonWaitsForTheBootLoader) {
    Emulator emu({"--version", "0.9.9", "--restart-ms", "300"});
    ChildProcess cli(KNS_CLI_PATH, {"--port", emu.Port(), "update-firmware", "--reset-button"},
                     {{"KNSIM_CLI_PORTS", "/nonexistent"}});
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
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

TEST(CliUpdate, ResetButtonNotPressedFails) {
    Emulator emu;
    const auto start = std::chrono::steady_clock::now();
    const auto r = RunCli({"--port", emu.Port(), "update-firmware", "--reset-button"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(Contains(r.Err, "Update Fehler!")) << r.Err;
    // Twenty polls, each the 100 ms pause plus up to 150 ms of waiting.
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(CliUpdate, TransferFailureIsReported) {
    Emulator emu({"--version", "1.1.0", "--no-ack", "5"});
    const auto r = RunCli({"--port", emu.Port(), "update-firmware"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(Contains(r.Err, "Update Fehler!")) << r.Err;
}

TEST(CliUsage, HelpAndWrongUsage) {
    auto r = RunCli({"--help"});
    EXPECT_EQ(r.Status, 0);
    for (const char* part : {"update-firmware", "KNSIM_CLI_PORTS", "Exit status"}) EXPECT_TRUE(Contains(r.Out, part));
    r = RunCli({"help", "show"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(Contains(r.Out, "\"code_count\""));
    r = RunCli({"diff", "--help"});
    EXPECT_EQ(r.Status, 0);
    EXPECT_TRUE(Contains(r.Out, "\"differences\""));

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"show"}, {"--port", "x", "bogus"}, {"--port", "x", "status", "--probe"},
          {"--port", "x", "set-protocol", "12"}}) {
        r = RunCli(args);
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Out, "");
        EXPECT_TRUE(Contains(r.Err, "--help")) << r.Err;
    }
}

}  // namespace
