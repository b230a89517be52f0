// The adapter's interpreter as a scan tool sees it: dialogues of command and
// exact output, for each protocol family, with headers on and off, one and
// two ECUs, and long answers.

#include "emu/ElmAdapter.h"
#include "emu/EmulatedSimulator.h"

#include <gtest/gtest.h>

namespace {

struct Exchange {
    const char* Command;
    const char* Output;  // what the tool reads: echo, progress lines, reply, prompt
};

struct AdapterCase {
    const char* Name;
    int Protocol;
    bool TwoEcus;
    std::vector<std::uint16_t> Codes1;
    std::vector<std::uint16_t> Codes2;
    std::vector<Exchange> Dialogue;
};

const std::vector<std::uint16_t> kThreeCodes = {0x0301, 0x0420, 0x0171};  // P0301 P0420 P0171

TEST(ElmAdapter, DialoguesPerProtocolFamily) {
    const AdapterCase cases[] = {
        {"CAN 11/500: adapter commands, automatic search, spaces off, line feeds",
         6, false, {0x0301, 0x0420}, {},
         {{"ATZ", "ATZ\r\rELM327 v1.5\r\r>"},
          {"ATE0", "ATE0\rOK\r\r>"},
          {"atdpn", "A0\r\r>"},
          {"0101", "SEARCHING...\r41 01 82 07 65 00\r\r>"},
          {"AT DPN", "A6\r\r>"},
          {"ATDP", "AUTO, ISO 15765-4 (CAN 11/500)\r\r>"},
          {"03", "43 02 03 01 04 20\r\r>"},
          {"07", "47 00\r\r>"},
          {"0a", "4A 00\r\r>"},
          {"ATS0", "OK\r\r>"},
          {"01 00", "4100881A8013\r\r>"},
          {"", "4100881A8013\r\r>"},
          {"010C0D", "410C0C800D00\r\r>"},
          {"0902", "014\r0:490201574B4E\r1:30454D55303030\r2:30303030303031\r\r>"},
          {"22F190", "NO DATA\r\r>"},
          {"01G0", "?\r\r>"},
          {"ATMA", "?\r\r>"},
          {"ATSH7DF", "OK\r\r>"},
          {"ATI", "ELM327 v1.5\r\r>"},
          {"ATRV", "14.2V\r\r>"},
          {"ATL1", "OK\r\n\r\n>"},
          {"ATE1", "OK\r\n\r\n>"},
          {"ATL0", "ATL0\r\nOK\r\r>"}}},
        {"CAN 11/250, two ECUs, headers on and off, more than two codes",
         8, true, kThreeCodes, {0xC100},
         {{"ATE0", "ATE0\rOK\r\r>"},
          {"ATH1", "OK\r\r>"},
          {"ATSP8", "OK\r\r>"},
          {"03", "7E8 10 08 43 03 03 01 04 20\r7E8 21 01 71 00 00 00 00 00\r7E9 04 43 01 C1 00\r\r>"},
          {"0101", "7E8 06 41 01 83 07 65 00\r7E9 06 41 01 81 07 65 00\r\r>"},
          {"ATH0", "OK\r\r>"},
          {"03", "008\r0: 43 03 03 01 04 20\r1: 01 71 00 00 00 00 00\r43 01 C1 00\r\r>"},
          {"0120", "41 20 00 00 00 01\r\r>"},
          {"01001", "41 00 88 1A 80 13\r\r>"},
          {"04", "44\r44\r\r>"},
          {"", ">"},
          {"0101", "41 01 00 07 65 00\r41 01 00 07 65 00\r\r>"},
          {"03", "43 00\r43 00\r\r>"},
          // A stray carriage return never clears again: codes set since must stay.
          {"041", "44\r\r>"}, {"", ">"},
          {"04 1 ", "44\r\r>"}, {"", ">"}}},
        {"CAN 29/500, headers on, raw frames",
         7, true, {}, {},
         {{"ATE0", "ATE0\rOK\r\r>"},
          {"ATH1", "OK\r\r>"},
          {"0100", "SEARCHING...\r18 DA F1 10 06 41 00 88 1A 80 13\r18 DA F1 18 06 41 00 80 08 00 10\r\r>"},
          {"0902",
           "18 DA F1 10 10 14 49 02 01 57 4B 4E\r18 DA F1 10 21 30 45 4D 55 30 30 30\r"
           "18 DA F1 10 22 30 30 30 30 30 30 31\r\r>"},
          {"ATH0", "OK\r\r>"},
          {"ATCAF0", "OK\r\r>"},
          {"010D", "03 41 0D 00 00 00 00 00\r03 41 0D 00 00 00 00 00\r\r>"}}},
        {"J1850 PWM, two ECUs, headers with CRC, three codes per message",
         1, true, {0x0301, 0x0420, 0x0171, 0x0172}, {},
         {{"ATE0", "ATE0\rOK\r\r>"},
          {"ATH1", "OK\r\r>"},
          {"0100", "SEARCHING...\r41 6B 10 41 00 88 1A 80 13 01\r41 6B 18 41 00 80 08 00 10 BA\r\r>"},
          {"03",
           "41 6B 10 43 03 01 04 20 01 71 20\r41 6B 10 43 01 72 00 00 00 00 D4\r"
           "41 6B 18 43 00 00 00 00 00 00 34\r\r>"},
          {"ATDPN", "A1\r\r>"}}},
        {"J1850 VPW, headers off, VIN in five messages",
         2, false, kThreeCodes, {},
         {{"ATE0", "ATE0\rOK\r\r>"},
          {"ATSP2", "OK\r\r>"},
          {"03", "43 03 01 04 20 01 71\r\r>"},
          {"0902",
           "49 02 01 00 00 00 57\r49 02 02 4B 4E 30 45\r49 02 03 4D 55 30 30\r49 02 04 30 30 30 30\r"
           "49 02 05 30 30 30 31\r\r>"},
          {"ATDPN", "2\r\r>"}}},
        {"ISO 9141-2, headers with checksum; a request for another bus",
         3, false, {}, {},
         {{"ATE0", "ATE0\rOK\r\r>"},
          {"ATSP6", "OK\r\r>"},
          {"0100", "UNABLE TO CONNECT\r\r>"},
          {"ATSPA6", "OK\r\r>"},
          {"ATH1", "OK\r\r>"},
          {"0100", "SEARCHING...\r48 6B 10 41 00 88 1A 80 13 39\r\r>"},
          {"ATDP", "AUTO, ISO 9141-2\r\r>"}}},
        {"KWP2000 fast, headers with format byte and checksum",
         5, false, {0x0133}, {},
         {{"ATE0", "ATE0\rOK\r\r>"},
          {"ATH1", "OK\r\r>"},
          {"010D", "SEARCHING...\r83 F1 10 41 0D 00 D2\r\r>"},
          {"03", "87 F1 10 43 01 33 00 00 00 00 FF\r\r>"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EmulatorOptions o;
        o.Protocol = c.Protocol;
        o.TwoEcus = c.TwoEcus;
        o.Codes1 = c.Codes1;
        o.Codes2 = c.Codes2;
        o.Mil = !c.Codes1.empty() || !c.Codes2.empty();
        DeviceState state = EmulatedSimulator::InitialState(o);
        ElmAdapter adapter;
        const BusConditions bus;  // engine idling, just started
        for (const auto& e : c.Dialogue) {
            const AdapterReply r = adapter.Execute(e.Command, state, bus);
            EXPECT_EQ(r.Now + r.Later, e.Output) << "after \"" << e.Command << "\"";
        }
    }
}

// What the configuration says, the ECUs say at once; and a simulator in its
// boot loader leaves the bus silent.
TEST(ElmAdapter, FollowsTheConfigurationAtOnce) {
    EmulatorOptions o;
    o.Codes1 = {0x0301};
    o.Mil = true;
    DeviceState state = EmulatedSimulator::InitialState(o);
    ElmAdapter adapter;
    BusConditions bus;
    auto ask = [&](const char* command) {
        const AdapterReply r = adapter.Execute(command, state, bus);
        return r.Now + r.Later;
    };
    ask("ATE0");
    EXPECT_EQ(ask("0101"), "SEARCHING...\r41 01 81 07 65 00\r\r>");
    state.Protocol = 3;  // the tool changed the protocol and added ECU 2
    state.SecondEcu = true;
    EXPECT_EQ(ask("0101"), "SEARCHING...\r41 01 81 07 65 00\r41 01 80 07 65 00\r\r>");
    EXPECT_EQ(ask("ATDPN"), "A3\r\r>");
    bus.EcusRunning = false;
    EXPECT_EQ(ask("0101"), "NO DATA\r\r>");
    EXPECT_EQ(ask("ATZ"), "\rELM327 v1.5\r\r>");
    EXPECT_EQ(ask("0101"), "0101\rSEARCHING...\rUNABLE TO CONNECT\r\r>");
}

}  // namespace
