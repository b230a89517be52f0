// Both sides of knsim-emu through the programs: what knsimtool-cli sets on
// the configuration port, a scan tool reads on the diagnostic port, and what
// the scan tool clears, the tool then reports.

#include "PtyClient.h"
#include "SpawnChild.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <sstream>
#include <thread>

#ifndef KNSIM_EMU_PATH
#error "KNSIM_EMU_PATH must name the program under test"
#endif
#ifndef KNSIM_CLI_PATH
#error "KNSIM_CLI_PATH must name the command line"
#endif

namespace {

// Waits for the child to end, killing it after timeoutMs; its exit status,
// or -1 when it was killed or crashed.
int WaitForExit(pid_t pid, int timeoutMs) {
    int status = 0;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; waited += 10) {
        if (waited >= timeoutMs) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Cli {
    int Status;
    std::string Out;
};

Cli RunCli(const TempFolder& dir, const std::vector<std::string>& args) {
    // The port list is replaced, so that nothing can reach the machine's own ports.
    const pid_t pid = SpawnChild(KNSIM_CLI_PATH, args, {{"KNSIM_CLI_PORTS", "/nonexistent/knsim-test-port"}},
                                 dir / "cli.out", dir / "cli.err");
    const int status = WaitForExit(pid, 30000);
    return {status, ReadFile(dir / "cli.out") + ReadFile(dir / "cli.err")};
}

// A scan tool's exchange: the command, then everything up to the prompt.
std::string Ask(PtyClient& obd, const std::string& command) {
    obd.Write(command + "\r");
    std::string text;
    while (auto b = obd.ReadByte(2000)) {
        if (*b == '>') return text;
        text += static_cast<char>(*b);
    }
    return text + "(no prompt)";
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(EmuObdProgram, ScanToolReadsAndClearsWhatTheToolSet) {
    TempFolder dir("knsim-obd");
    const std::string link = dir / "obd";
    const pid_t emu = SpawnChild(KNSIM_EMU_PATH, {"--obd-link", link, "--ecu-delay", "5"}, {}, dir / "emu.out");
    std::vector<std::string> lines;
    for (int i = 0; i < 500 && lines.size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::istringstream out(ReadFile(dir / "emu.out"));
        lines.clear();
        for (std::string l; std::getline(out, l);) lines.push_back(l);
    }
    ASSERT_EQ(lines.size(), 2u) << "the configuration port and the diagnostic port";
    const std::string config = lines[0];

    auto set = RunCli(dir, {"--port", config, "set-codes", "--ecu1", "P0301,P0420,P0171", "--mil", "on"});
    ASSERT_EQ(set.Status, 0) << set.Out;

    PtyClient obd(link);
    ASSERT_TRUE(obd.IsOpen());
    EXPECT_TRUE(Has(Ask(obd, "ATZ"), "ELM327 v1.5"));
    EXPECT_TRUE(Has(Ask(obd, "ATE0"), "OK"));
    EXPECT_EQ(Ask(obd, "ATSP0"), "OK\r\r");
    EXPECT_EQ(Ask(obd, "03"), "SEARCHING...\r008\r0: 43 03 03 01 04 20\r1: 01 71 00 00 00 00 00\r\r");
    EXPECT_EQ(Ask(obd, "0101"), "41 01 83 07 65 00\r\r") << "MIL on, three codes";

    // The tool changes the protocol: the scan tool's next request finds it.
    ASSERT_EQ(RunCli(dir, {"--port", config, "set-protocol", "3"}).Status, 0);
    EXPECT_EQ(Ask(obd, "03"), "SEARCHING...\r43 03 01 04 20 01 71\r\r");

    EXPECT_EQ(Ask(obd, "04"), "44\r\r");
    EXPECT_EQ(Ask(obd, "0101"), "41 01 00 07 65 00\r\r") << "MIL off, no codes";
    const auto status = RunCli(dir, {"--port", config, "status"});
    EXPECT_EQ(status.Status, 0) << status.Out;
    EXPECT_TRUE(Has(status.Out, "MIL:             off\n")) << status.Out;
    EXPECT_TRUE(Has(status.Out, "Codes:           0 (ECU1 0, ECU2 0)\n")) << status.Out;

    ::kill(emu, SIGTERM);
    EXPECT_EQ(WaitForExit(emu, 5000), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "link left behind";
}

}  // namespace
