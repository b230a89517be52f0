// set-codes and set-protocol end to end: the exact commands the simulator
// sees, and what is shown afterwards.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

namespace {

struct SetCodesCase {
    const char* Name;
    std::vector<std::string> Emu;
    std::vector<std::string> Args;
    Commands Sent;
};

TEST(CliChange, SetCodesSendsAsSendDoes) {
    const SetCodesCase cases[] = {
        {"named ECU replaced, other kept, MIL by the editor's rule",
         {"--ecus", "2", "--codes1", "P0171,P0172,P0173", "--codes2", "U0100"},
         {"--ecu1", "P0301,c0420"},
         {"!X0142" "0301" "4420" + Zeros(8), "!X0156" "C100" + Zeros(9), "!F1281"}},
        {"empty list clears, MIL given",
         {"--codes1", "P0171,P0172"},
         {"--ecu2", "", "--mil", "on"},
         {"!X0142" "0171" "0172" + Zeros(8), "!X0156" + Zeros(10), "!F0281"}},
        {"all counts zero switch the MIL off", {"--codes1", "P0171", "--mil"}, {"--ecu1", ""},
         {"!X0142" + Zeros(10), "!X0156" + Zeros(10), "!F0080"}},
        {"MIL alone keeps every code", {"--codes1", "B3FFF"}, {"--mil", "off"},
         {"!X0142" "BFFF" + Zeros(9), "!X0156" + Zeros(10), "!F0180"}},
        {"ten codes with mixed separators", {},
         {"--ecu1", "P0001 P0002;P0003,P0004 , P0005;P0006 P0007 P0008 P0009 P000A"},
         {"!X0142" "000100020003000400050006000700080009000A", "!X0156" + Zeros(10), "!F0A81"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        EmulatorChild emu(c.Emu);
        std::vector<std::string> args = {"--port", emu.Port(), "set-codes"};
        args.insert(args.end(), c.Args.begin(), c.Args.end());
        const auto r = RunCli(args);
        ASSERT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(emu.Commands(), Session(c.Sent));
    }
}

TEST(CliChange, SetCodesShowsWhatWasReadBack) {
    EmulatorChild emu({"--ecus", "2"});
    const auto r = RunCli({"--port", emu.Port(), "set-codes", "--ecu1", "p0301,c0420", "--ecu2", "U0100"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    for (const char* line : {"MIL:             on\n", "Codes:           3 (ECU1 2, ECU2 1)\n", "   1: P0301 *\n",
                             "   2: C0420 *\n", "   3: P0000\n", "Fehlercodes ECU2 ($7E9): 1 active\n",
                             "   1: U0100 *\n"}) {
        EXPECT_TRUE(Contains(r.Out, line)) << line << "\n" << r.Out;
    }
    // The simulator holds it: a second run shows the same.
    EXPECT_EQ(RunCli({"--port", emu.Port(), "show"}).Out, r.Out);
}

TEST(CliChange, SetCodesRefusesBeforeSendingAnything) {
    EmulatorChild emu;
    const std::vector<std::vector<std::string>> rows = {
        {"--ecu1", "P0301,P4000"},
        {"--ecu2", "P0301,Q0301"},
        {"--ecu1", "P0000,P0001,P0002,P0003,P0004,P0005,P0006,P0007,P0008,P0009,P000A"},
        {},
    };
    for (const auto& row : rows) {
        std::vector<std::string> args = {"--port", emu.Port(), "set-codes"};
        args.insert(args.end(), row.begin(), row.end());
        const auto r = RunCli(args);
        EXPECT_EQ(r.Status, 2);
        EXPECT_EQ(r.Out, "");
        EXPECT_NE(r.Err, "");
    }
    EXPECT_TRUE(Contains(RunCli({"--port", emu.Port(), "set-codes", "--ecu2", "Q0301"}).Err, "'Q0301'"));
    EXPECT_EQ(emu.Commands(), Commands{});
}

TEST(CliChange, SetProtocolAsTheSelectorsDo) {
    EmulatorChild emu;  // protocol 6, one ECU
    auto r = RunCli({"--port", emu.Port(), "set-protocol", "6", "--ecus", "1"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(emu.Commands(), Session({}, false));  // the same choice as reported: nothing sent
    EXPECT_TRUE(Contains(r.Out, "Protocol:        6 - CAN 11/500\n"));

    emu.ClearLog();
    r = RunCli({"--port", emu.Port(), "set-protocol", "3", "--ecus", "2"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(emu.Commands(), Session({"!P83"}));
    EXPECT_TRUE(Contains(r.Out, "Protocol:        3 - ISO9141\nECU count:       2\n")) << r.Out;

    // Without --ecus the simulator's ECU count stays.
    emu.ClearLog();
    r = RunCli({"--port", emu.Port(), "set-protocol", "8"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(emu.Commands(), Session({"!P88"}));
}

}  // namespace
