// info, status, show, ports, --serial, watch and the failure paths, end to
// end: knsimtool-cli and knsim-emu as child processes.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

namespace {

using Commands = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

Commands WithClose(Commands c) {
    c.push_back("!K0");
    return c;
}

TEST(CliRead, InfoAsTextAndJson) {
    Emulator emu({"--serial", "SN-4711"});
    const auto text = RunCli({"--port", emu.Port(), "info"});
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_EQ(text.Out,
              "Serial:          SN-4711\n"
              "Bios version:    v1.2.0\n"
              "Carried version: v1.2.0\n"
              "Update due:      no\n");
    // Connected as the window connects, and left as it leaves.
    EXPECT_EQ(emu.Commands(), WithClose(ConnectCommands()));

    const auto json = RunCli({"--port", emu.Port(), "--json", "info"});
    ASSERT_EQ(json.Status, 0) << json.Err;
    EXPECT_EQ(json.Out, "{\"port\":\"" + emu.Port() +
                            "\",\"serial\":\"SN-4711\",\"installed_version\":\"v1.2.0\","
                            "\"carried_version\":\"v1.2.0\",\"update_due\":false}\n");
}

TEST(CliRead, InfoReportsAnUpdateDueWithoutFlashing) {
    Emulator emu({"--version", "1.1.0"});
    const auto r = RunCli({"--port", emu.Port(), "--json", "info"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "\"installed_version\":\"v1.1.0\""));
    EXPECT_TRUE(Contains(r.Out, "\"update_due\":true"));
    // Status and configuration are read all the same; no "!@".
    EXPECT_EQ(emu.Commands(), WithClose(ConnectCommands()));
}

TEST(CliRead, StatusAndShow) {
    Emulator emu({"--protocol", "8", "--ecus", "2", "--codes1", "P0301,P0420", "--codes2", "U0100", "--mil"});
    const auto status = RunCli({"--port", emu.Port(), "status"});
    ASSERT_EQ(status.Status, 0) << status.Err;
    EXPECT_EQ(status.Out,
              "Protocol:        8 - CAN 11/250\n"
              "ECU count:       2\n"
              "MIL:             on\n"
              "Codes:           3 (ECU1 2, ECU2 1)\n");

    const auto json = RunCli({"--port", emu.Port(), "status", "--json"});
    EXPECT_EQ(json.Out, "{\"port\":\"" + emu.Port() +
                            "\",\"protocol\":8,\"protocol_name\":\"8 - CAN 11/250\",\"ecu_count\":2,"
                            "\"mil\":true,\"code_count_ecu1\":2,\"code_count_ecu2\":1,\"code_total\":3}\n");

    const auto show = RunCli({"--port", emu.Port(), "show"});
    ASSERT_EQ(show.Status, 0) << show.Err;
    for (const char* line : {"Serial:          KNEMU0001\n", "Fehlercodes ECU1 ($7E8): 2 active\n", "   1: P0301 *\n",
                             "   2: P0420 *\n", "   3: P0000\n", "Fehlercodes ECU2 ($7E9): 1 active\n",
                             "   1: U0100 *\n", "  10: P0000\n"}) {
        EXPECT_TRUE(Contains(show.Out, line)) << line << "\n" << show.Out;
    }

    const auto showJson = RunCli({"--port", emu.Port(), "show", "--json"});
    for (const char* part : {"\"identifier\":\"7E8\"", "\"title\":\"Fehlercodes ECU2 ($7E9)\"",
                             "{\"slot\":2,\"code\":\"P0420\",\"active\":true}",
                             "{\"slot\":3,\"code\":\"P0000\",\"active\":false}",
                             "{\"slot\":1,\"code\":\"U0100\",\"active\":true}"}) {
        EXPECT_TRUE(Contains(showJson.Out, part)) << part << "\n" << showJson.Out;
    }
}

TEST(CliRead, IdentifiersFollowTheProtocol) {
    // Bus addresses for protocols other than the 11-bit CAN ones.
    Emulator emu({"--protocol", "4", "--ecus", "2"});
    const auto show = RunCli({"--port", emu.Port(), "show"});
    ASSERT_EQ(show.Status, 0) << show.Err;
    EXPECT_TRUE(Contains(show.Out, "Protocol:        4 - KWP2000 5bd\n"));
    EXPECT_TRUE(Contains(show.Out, "Fehlercodes ECU1 ($10): 0 active\n")) << show.Out;
    EXPECT_TRUE(Contains(show.Out, "Fehlercodes ECU2 ($18): 0 active\n")) << show.Out;
}

TEST(CliRead, JsonStaysValidForOddSerialNumbers) {
    Emulator emu({"--serial", "A\"B\\C"});
    const auto r = RunCli({"--port", emu.Port(), "info", "--json"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, "\"serial\":\"A\\\"B\\\\C\"")) << r.Out;
}

TEST(CliRead, FailingPortGivesTheLinksTextAndNoOutput) {
    const std::string missing = "/nonexistent/knsim/tty";
    for (const char* command : {"info", "status", "show", "set-protocol", "watch"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {"--port", missing, command};
        if (std::string(command) == "set-protocol") args.push_back("3");
        const auto r = RunCli(args);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(r.Err, "Unable to open com port (win error code: 2)\n");
    }
}

TEST(CliRead, SilentSimulatorIsAskedTwiceThenFails) {
    Emulator emu({"--silent"});
    const auto start = std::chrono::steady_clock::now();
    const auto r = RunCli({"--port", emu.Port(), "--json", "status"});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, "No KARNOL simulator found\n");
    EXPECT_EQ(emu.Commands(), (Commands{"!I", "!I"}));
    // Two 150 ms waits with the 100 ms pause between them.
    EXPECT_GE(took, std::chrono::milliseconds(350));
}

TEST(CliRead, StatusReadFailureIsReported) {
    Emulator emu({"--missing-tag", "T"});
    const auto r = RunCli({"--port", emu.Port(), "status"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(r.Err, "Can't read simulator status\n");
}

TEST(CliRead, PortsInNaturalOrder) {
    const auto r = RunCli({"ports"}, "ttyUSB10,ttyUSB9,ttyACM0,ttyUSB1");
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "ttyACM0\nttyUSB1\nttyUSB9\nttyUSB10\n");
    const auto json = RunCli({"ports", "--json"}, "ttyUSB10,ttyUSB9");
    EXPECT_EQ(json.Out, "{\"ports\":[{\"name\":\"ttyUSB9\"},{\"name\":\"ttyUSB10\"}]}\n");
}

TEST(CliRead, PortsProbeShowsWhoAnswers) {
    Emulator a({"--serial", "AAA"});
    Emulator silent({"--silent"});
    const std::string missing = "/nonexistent/knsim/tty";
    const auto r = RunCli({"ports", "--probe"}, a.Port() + "," + silent.Port() + "," + missing);
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(Contains(r.Out, a.Port() + "\tAAA\tv1.2.0\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, silent.Port() + "\t-\t-\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, missing + "\t-\t-\n")) << r.Out;
    // Only asked, never put into remote mode.
    EXPECT_EQ(a.Commands(), (Commands{"!I", "!B"}));

    const auto json = RunCli({"ports", "--probe", "--json"}, a.Port() + "," + missing);
    EXPECT_TRUE(Contains(json.Out, "{\"name\":\"" + a.Port() + "\",\"serial\":\"AAA\",\"version\":\"v1.2.0\"}"));
    EXPECT_TRUE(Contains(json.Out, "{\"name\":\"" + missing + "\",\"serial\":null,\"version\":null}"));
}

TEST(CliRead, SerialPicksTheRightSimulator) {
    Emulator first({"--serial", "FIRST", "--protocol", "3"});
    Emulator second({"--serial", "SECOND", "--protocol", "7"});
    const std::string ports = first.Port() + "," + second.Port();
    for (const auto& [serial, protocol] : {std::pair{"SECOND", "7"}, std::pair{"FIRST", "3"}}) {
        SCOPED_TRACE(serial);
        first.ClearLog();
        second.ClearLog();
        const auto r = RunCli({"--serial", serial, "status", "--json"}, ports);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_TRUE(Contains(r.Out, std::string("\"protocol\":") + protocol)) << r.Out;
        const Emulator& chosen = std::string(serial) == "FIRST" ? first : second;
        // The chosen one is connected once, without asking it twice.
        EXPECT_EQ(chosen.Commands(), WithClose(ConnectCommands()));
    }
    const auto none = RunCli({"--serial", "THIRD", "info"}, ports);
    EXPECT_EQ(none.Status, 1);
    EXPECT_EQ(none.Out, "");
    EXPECT_EQ(none.Err, "No KARNOL simulator with serial number THIRD found\n");
}

TEST(CliRead, WatchPollsUntilTerminatedThenLeavesRemoteMode) {
    Emulator emu({"--protocol", "5"});
    ChildProcess watch(KNS_CLI_PATH, {"--port", emu.Port(), "watch"}, {{"KNSIM_CLI_PORTS", "/nonexistent"}});
    const std::string first = watch.ReadOutputLine(10000);
    EXPECT_TRUE(Contains(first, "Protocol 5 - KWP2000 fast, ECU count 1, MIL off, codes 0 (ECU1 0, ECU2 0)")) << first;
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    watch.Signal(SIGTERM);
    const auto r = watch.Wait(10000);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "");  // nothing changed after the first line

    const auto commands = emu.Commands();
    ASSERT_GE(commands.size(), 7u);  // at least one poll
    EXPECT_EQ(Commands(commands.begin(), commands.begin() + 5), ConnectCommands());
    EXPECT_EQ(commands.back(), "!K0");
    for (std::size_t i = 5; i + 1 < commands.size(); ++i) EXPECT_EQ(commands[i], "!S");
}

}  // namespace
