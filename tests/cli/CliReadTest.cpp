// info, status, show, ports, --serial, watch and the failure paths, end to
// end: knsimtool-cli and knsim-emu as child processes.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace {

TEST(CliRead, Info) {
    EmulatorChild emu({"--serial", "A\"B\\C"});
    const auto text = RunCli({"--port", emu.Port(), "info"});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_EQ(text.Out,
              "Serial:          A\"B\\C\n"
              "Bios version:    v1.2.0\n"
              "Carried version: v1.2.0\n"
              "Update due:      no\n");
    // Connected as the window connects, and left as it leaves.
    EXPECT_EQ(emu.Commands(), Session({}, false));

    // Quotes and backslashes of the serial number keep the JSON valid.
    const auto json = RunCli({"--port", emu.Port(), "--json", "info"});
    EXPECT_EQ(json.Out, "{\"port\":\"" + emu.Port() +
                            "\",\"serial\":\"A\\\"B\\\\C\",\"installed_version\":\"v1.2.0\","
                            "\"carried_version\":\"v1.2.0\",\"update_due\":false}\n");

    // Another firmware: reported as due, read all the same, never flashed.
    EmulatorChild old({"--version", "1.1.0"});
    const auto due = RunCli({"--port", old.Port(), "--json", "info"});
    ASSERT_EQ(due.Status, 0) << due.Err;
    EXPECT_TRUE(Contains(due.Out, "\"installed_version\":\"v1.1.0\",\"carried_version\":\"v1.2.0\",\"update_due\":true"));
    EXPECT_EQ(old.Commands(), Session({}, false));
}

TEST(CliRead, StatusAndShow) {
    EmulatorChild emu({"--protocol", "8", "--ecus", "2", "--codes1", "P0301,P0420", "--codes2", "U0100", "--mil"});
    const auto status = RunCli({"--port", emu.Port(), "status"});
    ASSERT_EQ(status.Status, 0) << status.Err;
    EXPECT_EQ(status.Out,
              "Protocol:        8 - CAN 11/250\n"
              "ECU count:       2\n"
              "MIL:             on\n"
              "Codes:           3 (ECU1 2, ECU2 1)\n");
    EXPECT_EQ(RunCli({"--port", emu.Port(), "status", "--json"}).Out,
              "{\"port\":\"" + emu.Port() +
                  "\",\"protocol\":8,\"protocol_name\":\"8 - CAN 11/250\",\"ecu_count\":2,"
                  "\"mil\":true,\"code_count_ecu1\":2,\"code_count_ecu2\":1,\"code_total\":3}\n");

    const auto show = RunCli({"--port", emu.Port(), "show"});
    ASSERT_EQ(show.Status, 0) << show.Err;
    for (const char* line : {"Serial:          KNEMU0001\n", "Fehlercodes ECU1 ($7E8): 2 active\n", "   1: P0301 *\n",
                             "   2: P0420 *\n", "   3: P0000\n", "Fehlercodes ECU2 ($7E9): 1 active\n",
                             "   1: U0100 *\n", "  10: P0000\n"}) {
        EXPECT_TRUE(Contains(show.Out, line)) << line << "\n" << show.Out;
    }
    const auto json = RunCli({"--port", emu.Port(), "show", "--json"}).Out;
    for (const char* part : {"\"identifier\":\"7E8\"", "\"title\":\"Fehlercodes ECU2 ($7E9)\"",
                             "{\"slot\":2,\"code\":\"P0420\",\"active\":true}",
                             "{\"slot\":3,\"code\":\"P0000\",\"active\":false}",
                             "{\"slot\":1,\"code\":\"U0100\",\"active\":true}"}) {
        EXPECT_TRUE(Contains(json, part)) << part << "\n" << json;
    }

    // Bus addresses instead of CAN identifiers for the other protocols.
    EmulatorChild kwp({"--protocol", "4", "--ecus", "2"});
    const auto other = RunCli({"--port", kwp.Port(), "show"}).Out;
    EXPECT_TRUE(Contains(other, "Protocol:        4 - KWP2000 5bd\n")) << other;
    EXPECT_TRUE(Contains(other, "Fehlercodes ECU1 ($10): 0 active\n")) << other;
    EXPECT_TRUE(Contains(other, "Fehlercodes ECU2 ($18): 0 active\n")) << other;
}

TEST(CliRead, FailuresGiveTheLinksTextAndNoOutput) {
    EmulatorChild silent({"--silent"});
    EmulatorChild noTag({"--missing-tag", "T"});
    const std::string missing = "/nonexistent/knsim/tty";
    struct Row {
        std::vector<std::string> Args;
        const char* Err;
    };
    const Row rows[] = {
        {{"--port", missing, "info"}, "Unable to open com port (win error code: 2)\n"},
        {{"--port", missing, "--json", "show"}, "Unable to open com port (win error code: 2)\n"},
        {{"--port", missing, "set-protocol", "3"}, "Unable to open com port (win error code: 2)\n"},
        {{"--port", missing, "watch"}, "Unable to open com port (win error code: 2)\n"},
        {{"--port", silent.Port(), "status"}, "No KARNOL simulator found\n"},
        {{"--port", noTag.Port(), "--json", "status"}, "Can't read simulator status\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Args[1] + " " + row.Args.back());
        const auto r = RunCli(row.Args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(r.Err, row.Err);
    }
    // The silent one was asked twice, as the scheduler asks.
    EXPECT_EQ(silent.Commands(), (Commands{"!I", "!I"}));
}

TEST(CliRead, PortsInNaturalOrderAndProbed) {
    const auto r = RunCli({"ports"}, "ttyUSB10,ttyUSB9,ttyACM0,ttyUSB1");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "ttyACM0\nttyUSB1\nttyUSB9\nttyUSB10\n");
    EXPECT_EQ(RunCli({"ports", "--json"}, "ttyUSB10,ttyUSB9").Out,
              "{\"ports\":[{\"name\":\"ttyUSB9\"},{\"name\":\"ttyUSB10\"}]}\n");

    EmulatorChild a({"--serial", "AAA"});
    EmulatorChild silent({"--silent"});
    const std::string missing = "/nonexistent/knsim/tty";
    const auto probe = RunCli({"ports", "--probe"}, a.Port() + "," + silent.Port() + "," + missing);
    ASSERT_EQ(probe.Status, 0) << probe.Err;
    EXPECT_TRUE(Contains(probe.Out, a.Port() + "\tAAA\tv1.2.0\n")) << probe.Out;
    EXPECT_TRUE(Contains(probe.Out, silent.Port() + "\t-\t-\n")) << probe.Out;
    EXPECT_TRUE(Contains(probe.Out, missing + "\t-\t-\n")) << probe.Out;
    EXPECT_EQ(a.Commands(), (Commands{"!I", "!B"}));  // only asked, never put into remote mode

    const auto json = RunCli({"ports", "--probe", "--json"}, a.Port() + "," + missing);
    EXPECT_TRUE(Contains(json.Out, "{\"name\":\"" + a.Port() + "\",\"serial\":\"AAA\",\"version\":\"v1.2.0\"}"));
    EXPECT_TRUE(Contains(json.Out, "{\"name\":\"" + missing + "\",\"serial\":null,\"version\":null}"));
}

TEST(CliRead, SerialPicksTheRightSimulator) {
    EmulatorChild first({"--serial", "FIRST", "--protocol", "3"});
    EmulatorChild second({"--serial", "SECOND", "--protocol", "7"});
    const std::string ports = first.Port() + "," + second.Port();
    for (const auto& [serial, protocol] : {std::pair{"SECOND", "7"}, std::pair{"FIRST", "3"}}) {
        SCOPED_TRACE(serial);
        first.ClearLog();
        second.ClearLog();
        const auto r = RunCli({"--serial", serial, "status", "--json"}, ports);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(Contains(r.Out, std::string("\"protocol\":") + protocol)) << r.Out;
        // The chosen one is connected once, without being asked twice.
        const EmulatorChild& chosen = std::string(serial) == "FIRST" ? first : second;
        EXPECT_EQ(chosen.Commands(), Session({}, false));
    }
    const auto none = RunCli({"--serial", "THIRD", "info"}, ports);
    EXPECT_EQ(none.Status, 1);
    EXPECT_EQ(none.Out, "");
    EXPECT_EQ(none.Err, "No KARNOL simulator with serial number THIRD found\n");
}

TEST(CliRead, WatchPollsUntilStoppedThenLeavesRemoteMode) {
    // Ctrl-C at a terminal and a script's kill alike.
    for (const int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig == SIGINT ? "SIGINT" : "SIGTERM");
        EmulatorChild emu({"--protocol", "5"});
        Child watch(KNS_CLI_PATH, {"--port", emu.Port(), "watch"}, {{"KNSIM_CLI_PORTS", "/nonexistent"}});
        const std::string first = watch.ReadOutputLine(10000);
        EXPECT_TRUE(Contains(first, "Protocol 5 - KWP2000 fast, ECU count 1, MIL off, codes 0 (ECU1 0, ECU2 0)"))
            << first;
        ASSERT_TRUE(WaitUntil([&] { return emu.Commands().size() >= 6; }, 10000));  // a poll
        watch.Signal(sig);
        const auto r = watch.Wait(10000);
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Out, "");  // nothing changed after the first line

        const auto commands = emu.Commands();
        ASSERT_GE(commands.size(), 7u) << ::testing::PrintToString(commands);  // at least one poll
        EXPECT_EQ(Commands(commands.begin(), commands.begin() + 5), ConnectCommands());
        EXPECT_EQ(commands.back(), "!K0");
        for (std::size_t i = 5; i + 1 < commands.size(); ++i) EXPECT_EQ(commands[i], "!S");
    }
}

}  // namespace
