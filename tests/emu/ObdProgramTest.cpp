// Both sides of knsim-emu through the programs: what knsimtool-cli sets on
// the configuration port, a scan tool reads on the diagnostic port, and what
// the scan tool clears, the tool then reports.

#include "Child.h"
#include "PtyClient.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#ifndef KNSIM_EMU_PATH
#error "KNSIM_EMU_PATH must name the program under test"
#endif

namespace {

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
    Child emu(KNSIM_EMU_PATH, {"--obd-link", link, "--ecu-delay", "5"});
    const std::string config = emu.ReadOutputLine(5000);
    ASSERT_NE(emu.ReadOutputLine(5000), "") << "the configuration port and the diagnostic port";

    auto set = RunCli({"--port", config, "set-codes", "--ecu1", "P0301,P0420,P0171", "--mil", "on"});
    ASSERT_EQ(set.Status, 0) << set.Err;

    PtyClient obd(link);
    ASSERT_TRUE(obd.IsOpen());
    EXPECT_TRUE(Has(Ask(obd, "ATZ"), "ELM327 v1.5"));
    EXPECT_TRUE(Has(Ask(obd, "ATE0"), "OK"));
    EXPECT_EQ(Ask(obd, "ATSP0"), "OK\r\r");
    EXPECT_EQ(Ask(obd, "03"), "SEARCHING...\r008\r0: 43 03 03 01 04 20\r1: 01 71 00 00 00 00 00\r\r");
    EXPECT_EQ(Ask(obd, "0101"), "41 01 83 07 65 00\r\r") << "MIL on, three codes";

    // The tool changes the protocol: the scan tool's next request finds it.
    ASSERT_EQ(RunCli({"--port", config, "set-protocol", "3"}).Status, 0);
    EXPECT_EQ(Ask(obd, "03"), "SEARCHING...\r43 03 01 04 20 01 71\r\r");

    EXPECT_EQ(Ask(obd, "04"), "44\r\r");
    EXPECT_EQ(Ask(obd, "0101"), "41 01 00 07 65 00\r\r") << "MIL off, no codes";
    const auto status = RunCli({"--port", config, "status"});
    EXPECT_EQ(status.Status, 0) << status.Err;
    EXPECT_TRUE(Has(status.Out, "MIL:             off\n")) << status.Out;
    EXPECT_TRUE(Has(status.Out, "Codes:           0 (ECU1 0, ECU2 0)\n")) << status.Out;

    emu.Signal(SIGTERM);
    EXPECT_EQ(emu.Wait(5000).Status, 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "link left behind";
}

}  // namespace
