// The command line against a simulator that misbehaves: it vanishes, the
// port is taken, the line is noisy, a reply never ends, replies come late.
// Each run is a child process; a hang is killed and fails the test.

#include "FaultSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// watch starts each line with the time of day.
std::vector<std::string> Untimed(const std::vector<std::string>& lines) {
    std::vector<std::string> untimed;
    for (const std::string& line : lines) untimed.push_back(line.substr(line.find(' ') + 1));
    return untimed;
}

}  // namespace

TEST(CliFaults, SimulatorVanishingWhileWatchedIsReportedAndFoundAgainWhenBack) {
    const TempFolder folder;
    const std::string link = folder / "ttyKARNOL";
    // Connecting takes five commands; the second status poll finds no simulator.
    EmulatorChild emulator({"--link", link, "--vanish-after", "6", "--return-after", "1000"});
    Child watch(KNS_CLI_PATH, {"--port", link, "watch"}, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}});

    ASSERT_TRUE(emulator.WaitForLog("vanish", 10000)) << watch.Err();
    ASSERT_TRUE(WaitUntil([&] { return !watch.Err().empty(); }, 5000)) << "the failure was not reported";
    EXPECT_TRUE(watch.Running()) << "watch must keep going while the simulator is away";

    ASSERT_TRUE(WaitUntil([&] { return emulator.HasLogPrefix("return "); }, 5000));
    watch.Signal(SIGTERM);
    const Child::Result ended = watch.Wait(10000);
    EXPECT_FALSE(ended.TimedOut);
    EXPECT_EQ(ended.Status, 0) << ended.Err;
    EXPECT_FALSE(Lines(ended.Out).empty());

    // The simulator is back under the same name: a new run finds it.
    const Child::Result again = RunCli({"--port", link, "status"});
    EXPECT_EQ(again.Status, 0) << again.Err;
    EXPECT_TRUE(Contains(again.Out, "Protocol:")) << again.Out;
}

TEST(CliFaults, SimulatorVanishingInTheMiddleOfTheTransferFailsTheUpdate) {
    // Another installed version: the update is due. Slow acknowledgements
    // keep the transfer going long enough to pull the plug in its middle.
    EmulatorChild emulator({"--version", "1.0.0", "--ack-delay", "10"});
    Child update(KNS_CLI_PATH, {"--port", emulator.Port(), "update-firmware"},
                 {{"KNSIM_CLI_PORTS", "kns-no-such-port"}});
    ASSERT_TRUE(emulator.WaitForLog("frame 03", 20000, 3)) << update.Err();
    emulator.Kill();

    const Child::Result result = update.Wait(30000);
    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.Status, 1);
    EXPECT_TRUE(Contains(result.Err, "Update Fehler!")) << result.Err;
    EXPECT_FALSE(Contains(result.Err, "Update done")) << result.Err;
}

TEST(CliFaults, PortHeldByAnotherProgramIsReportedAndLeftAlone) {
    EmulatorChild emulator;
    Child holder(KNS_CLI_PATH, {"--port", emulator.Port(), "watch"}, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}});
    ASSERT_TRUE(emulator.WaitForLog("!K1", 10000)) << holder.Err();

    const Child::Result refused = RunCli({"--port", emulator.Port(), "status"});
    EXPECT_EQ(refused.Status, 1);
    EXPECT_TRUE(Contains(refused.Err, "Unable to open com port")) << refused.Err;
    EXPECT_TRUE(refused.Out.empty());

    // The program holding the port goes on undisturbed.
    const std::size_t polls = emulator.Count("!S");
    EXPECT_TRUE(emulator.WaitForLog("!S", 5000, polls + 1));
    EXPECT_TRUE(holder.Running());
    EXPECT_EQ(emulator.Count("!K0"), 0u) << "someone else's session was ended";

    holder.Signal(SIGTERM);
    EXPECT_EQ(holder.Wait(10000).Status, 0);
    const Child::Result free = RunCli({"--port", emulator.Port(), "status"});
    EXPECT_EQ(free.Status, 0) << free.Err;
}

TEST(CliFaults, NoiseBetweenRepliesIsDiscardedBeforeEachCommand) {
    EmulatorChild emulator({"--serial", "KN-NOISE", "--codes1", "P0301,C1234", "--mil"});
    const Child::Result clean = RunCli({"--port", emulator.Port(), "show"});
    ASSERT_EQ(clean.Status, 0) << clean.Err;

    LineFaults faults;
    faults.NoiseAfterReplies = true;
    FaultyLine line(emulator.Port(), faults);
    const Child::Result noisy = RunCli({"--port", line.Port(), "show"});
    EXPECT_EQ(noisy.Status, 0) << noisy.Err;
    EXPECT_EQ(noisy.Out, clean.Out);
    EXPECT_GT(line.NoiseBytes(), 0u);
    EXPECT_GE(line.Count("!C"), 1u);
}

TEST(CliFaults, ReplyOf3000CharactersWithoutCarriageReturnIsNoReply) {
    EmulatorChild emulator;
    LineFaults faults;
    faults.LongReplyTo = "!S";
    faults.LongReplyAt = 2;  // the first poll; connecting read the status once already
    FaultyLine line(emulator.Port(), faults);
    Child watch(KNS_CLI_PATH, {"--port", line.Port(), "watch"}, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}});

    // The poll after the endless reply reads a clean status again: what was
    // left of the 3000 characters did not reach it.
    ASSERT_TRUE(WaitUntil([&] { return line.Count("!S") >= 3; }, 8000)) << watch.Err();
    ASSERT_TRUE(WaitUntil([&] { return Lines(watch.Out()).size() >= 2; }, 3000)) << watch.Out() << watch.Err();
    watch.Signal(SIGTERM);
    const Child::Result result = watch.Wait(10000);
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(Untimed(Lines(result.Err)), std::vector<std::string>{"Can't read simulator status"});
    const auto shown = Untimed(Lines(result.Out));
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], shown[1]) << "the status after the failure differs from the one before";
}

TEST(CliFaults, SignalWhileAReplyTricklesInEndsTheRunPromptly) {
    // Every reply byte 120 ms apart: each in time, the identity alone takes seconds.
    EmulatorChild emulator({"--byte-delay", "120"});
    Child cli(KNS_CLI_PATH, {"--port", emulator.Port(), "info"}, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}});
    ASSERT_TRUE(emulator.WaitForLog("!I", 10000)) << cli.Err();
    cli.Signal(SIGTERM);
    const Child::Result result = cli.Wait(3000);
    EXPECT_FALSE(result.TimedOut) << "still running 3 s after the signal";
    EXPECT_EQ(result.Status, 128 + SIGTERM) << result.Err;
}

class CliLateness : public ::testing::TestWithParam<LatenessRow> {};

TEST_P(CliLateness, StatusReplyJustInsideOrOutsideTheCharacterTimeOut) {
    const LatenessRow& row = GetParam();
    EmulatorChild emulator;
    FaultyLine line(emulator.Port(), LateStatusReplies(row));

    const Child::Result result = RunCli({"--port", line.Port(), "status"});
    if (row.Answered) {
        EXPECT_EQ(result.Status, 0) << result.Err;
        EXPECT_TRUE(Contains(result.Out, "Protocol:")) << result.Out;
    } else {
        EXPECT_EQ(result.Status, 1);
        EXPECT_EQ(Lines(result.Err), std::vector<std::string>{"Can't read simulator status"}) << result.Err;
        EXPECT_EQ(line.Count("!C"), 0u) << "the configuration was read after a failed status read";
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, CliLateness,
                         ::testing::ValuesIn(LatenessRows()),
                         [](const auto& info) { return std::string(info.param.Name); });
