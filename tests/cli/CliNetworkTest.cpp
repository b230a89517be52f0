// The command line through a serial device server: ser2net in front of the
// emulator's pseudo-terminal, reached as rfc2217:// and as tcp://, on the
// loopback interface only.
#include "CliTestSupport.h"
#include "Ser2net.h"

#include "serial/ComPort.h"

#include <gtest/gtest.h>

namespace {

TEST(CliNetwork, SameLinesOnTheWireAsOnALocalPort) {
    EmulatorChild emu({"--serial", "KN-NET-1", "--codes1", "P0171"});
    Ser2net server(emu.Port());
    for (const std::string& port : {server.RfcName(), server.TcpName()}) {
        SCOPED_TRACE(port);
        emu.ClearLog();
        const auto info = RunCli({"--port", port, "info"});
        ASSERT_EQ(info.Status, 0) << info.Err;
        EXPECT_TRUE(Contains(info.Out, "Serial:          KN-NET-1\n")) << info.Out;
        EXPECT_EQ(emu.Commands(), Session({}, false));

        emu.ClearLog();
        const auto set = RunCli({"--port", port, "set-codes", "--ecu1", "P0301,c0420", "--mil", "on"});
        ASSERT_EQ(set.Status, 0) << set.Err;
        EXPECT_EQ(emu.Commands(), Session({"!X0142" "0301" "4420" + Zeros(8), "!X0156" + Zeros(10), "!F0281"}));
    }
}

TEST(CliNetwork, ServersThatCannotServeGiveTheTextsOfLocalPorts) {
    SilentListener silent;
    const ComPortServer unanswering(ComPortServer::Settings::NeverAnswered);
    EmulatorChild emu;
    Ser2net server(emu.Port());
    // A second client while the first holds the line: the server refuses it.
    TComPort first;
    first.SetBaudRate(br115200);
    first.SetPort(server.RfcName());
    first.Open();
    const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    struct Row {
        std::string Port;
        const char* Err;
    };
    const Row rows[] = {
        {nobody, "Unable to open com port (win error code: 2)\n"},
        {"rfc2217://127.0.0.1:" + std::to_string(silent.Port()), "Unable to open com port (win error code: 2)\n"},
        {unanswering.Name(), "Unable to open com port (win error code: 2)\n"},  // negotiates, then silence
        {"rfc2217://127.0.0.1", "Unable to open com port (win error code: 2)\n"},
        {server.RfcName(), "Unable to open com port (win error code: 16)\n"},
        {server.TcpName(), "Unable to open com port (win error code: 16)\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Port);
        const auto r = RunCli({"--port", row.Port, "info"});
        EXPECT_EQ(r.Status, 1);
        EXPECT_TRUE(Contains(r.Err, row.Err)) << r.Err;
    }
    EXPECT_TRUE(first.Connected());
}

}  // namespace
