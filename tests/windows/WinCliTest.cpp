// knsimtool-cli.exe end to end on Windows: run as a user runs it, against the
// emulator behind a wine-mapped COM port.

#include "WinTestSupport.h"

#include "RunProgramWin32.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

// Standard output is in text mode on Windows: "\r\n" line ends, read here as "\n".
ProgramRun Cli(const std::vector<std::string>& args) {
    ProgramRun run = RunProgram(ProgramFolder() + "knsimtool-cli.exe", args);
    for (std::string* text : {&run.Out, &run.Err}) std::erase(*text, '\r');
    return run;
}

}  // namespace

TEST(WinCli, InfoAsJsonShowsTheSimulatorsSerialNumber) {
    KNS_REQUIRE_PORT("CLI");
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "info", "--json"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"serial\":\"KNWIN0012\""), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"port\":\"COM12\""), std::string::npos) << run.Out;
}

TEST(WinCli, InfoThroughASerialDeviceServer) {
    // ser2net on the host's loopback interface, reached through wine's Winsock.
    KNS_REQUIRE_PORT("NETWORK");
    const EmulatorLog log("NETWORK");
    const ProgramRun run = Cli({"--port", PortFor("NETWORK"), "info"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("KNWIN0013"), std::string::npos) << run.Out;
    const auto sent = log.NewCommands();
    ASSERT_GE(sent.size(), 2u) << testing::PrintToString(sent);
    EXPECT_EQ(sent[0], "!I");
    EXPECT_EQ(sent[1], "!B");
    EXPECT_EQ(sent.back(), "!K0");
}

TEST(WinCli, SetCodesSendsTheEditorsLinesAndReadsBack) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "set-codes", "--ecu1", "P0301,C1234", "--ecu2", "U0001"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const auto sent = log.NewCommands();
    const std::string zeros(4 * 8, '0');
    const std::vector<std::string> expected{"!X014203015234" + zeros, "!X0156C001" + zeros + "0000", "!F1281"};
    ASSERT_TRUE(std::search(sent.begin(), sent.end(), expected.begin(), expected.end()) != sent.end())
        << testing::PrintToString(sent);
    EXPECT_NE(run.Out.find("P0301"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("U0001"), std::string::npos) << run.Out;
}

TEST(WinCli, UpdateFirmwareTransfersEveryFrame) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "update-firmware", "--always"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(log.NewFrames(), 218);
    EXPECT_NE(run.Out.find("KNWIN0012"), std::string::npos) << run.Out;
}

TEST(WinCli, FailuresEndWithTheirExitStatus) {
    KNS_REQUIRE_PORT("MISSING");
    const ProgramRun missing = Cli({"--port", PortFor("MISSING"), "info"});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_NE(missing.Err.find("Unable to open com port (win error code: 2)"), std::string::npos) << missing.Err;
    EXPECT_EQ(missing.Out, "");

    const ProgramRun usage = Cli({"--port", PortFor("MISSING"), "set-codes", "--ecu1", "X9999"});
    EXPECT_EQ(usage.ExitCode, 2) << usage.Err;

    const ProgramRun file = Cli({"--port", PortFor("MISSING"), "apply", "Z:\\no\\such\\folder\\setup.xml"});
    EXPECT_EQ(file.ExitCode, 3) << file.Err;
}

TEST(WinCli, PortsAreListedInNaturalOrder) {
    KNS_REQUIRE_PORT("CLI");
    const ProgramRun run = Cli({"ports"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::size_t com2 = run.Out.find("COM2\n"), com3 = run.Out.find("COM3\n");
    const std::size_t com10 = run.Out.find("COM10\n"), com12 = run.Out.find("COM12\n");
    ASSERT_NE(com2, std::string::npos) << run.Out;
    ASSERT_NE(com12, std::string::npos) << run.Out;
    EXPECT_LT(com2, com3);
    EXPECT_LT(com3, com10);
    EXPECT_LT(com10, com12);
}

TEST(WinCli, SettingsFileLiesBesideTheProgram) {
    const ProgramRun run = Cli({"--version"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("settings file: " + ProgramFolder() + "KNSimTool.ini\n"), std::string::npos) << run.Out;
}

TEST(WinCli, AOneStepPlanRunsItsCommandThroughCmdAndWritesJUnit) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    char folder[MAX_PATH + 1];
    GetTempPathA(sizeof folder, folder);
    const std::string plan = std::string(folder) + "knsim-plan.toml";
    const std::string junit = std::string(folder) + "knsim-plan.xml";
    {
        std::ofstream file(plan, std::ios::binary);
        file << "name = \"windows\"\n[env]\nGREETING = \"hello\"\n"
                "[[step]]\nname = \"codes\"\nprotocol = 4\necu1 = [\"P0301\"]\necu2 = []\n"
                "run = 'echo %GREETING% %KNSIM_SERIAL% %KNSIM_ECU1_CODES%& exit 0'\n"
                "[step.expect]\ncodes = 1\n";
    }
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "run", plan, "--junit", junit});
    ASSERT_EQ(run.ExitCode, 0) << run.Err << run.Out;
    const auto sent = log.NewCommands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "!P04"), sent.end()) << testing::PrintToString(sent);
    std::ifstream in(junit, std::ios::binary);
    const std::string xml{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(xml.find("<testsuite name=\"KNWIN0012\" tests=\"1\" failures=\"0\" errors=\"0\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<system-out>hello KNWIN0012 P0301"), std::string::npos) << xml;
}
