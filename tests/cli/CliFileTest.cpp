// save, apply and diff end to end: the saved bytes, the traffic of apply, the
// listed differences, and files that cannot be read or written.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class CliFile : public ::testing::Test {
protected:
    TempFolder folder;
    std::string Path(const std::string& name) const { return folder / name; }
};

TEST_F(CliFile, SaveWritesTheWindowsBytes) {
    EmulatorChild emu(ExampleEmulatorArgs());
    const auto r = RunCli({"--port", emu.Port(), "save", Path("a.kns")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(ReadFile(Path("a.kns")), ReadFile(ExampleFile()));

    // Saving over a file keeps its comment and unknown elements in place.
    WriteFile(Path("b.kns"), ReadFile(DataFile("with-note.kns")));
    ASSERT_EQ(RunCli({"--port", emu.Port(), "save", Path("b.kns")}).Status, 0);
    const std::string saved = ReadFile(Path("b.kns"));
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!-- bench 3 -->\r\n<CONFIG>\r\n"
                          "  <Note>left here</Note>\r\n  <Global>\r\n    <Protocol>6</Protocol>\r\n",
                          0),
              0u)
        << saved;
    EXPECT_TRUE(Contains(saved, "<D02>0420</D02>"));

    // Ten codes (0xA in the count nibble) are a count like any other: the
    // next apply sends them again.
    EmulatorChild ten({"--codes1", "P0001,P0002,P0003,P0004,P0005,P0006,P0007,P0008,P0009,P0010"});
    ASSERT_EQ(RunCli({"--port", ten.Port(), "save", Path("ten.kns")}).Status, 0);
    EXPECT_TRUE(Contains(ReadFile(Path("ten.kns")), "<Ecu1>\r\n      <Count>10</Count>"));
}

TEST_F(CliFile, ApplySendsWhatOpenConfigurationSends) {
    EmulatorChild emu({"--codes1", "P0301,P0420", "--codes2", "U0100"});  // protocol 6, one ECU
    const auto r = RunCli({"--port", emu.Port(), "apply", DataFile("apply.kns")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(emu.Commands(), Session({"!P83", "!S", "!C", "!K1", "!X0142" "8123" "0420" "1ABC" + Zeros(7),
                                       "!X0156" "C100" + Zeros(9), "!F1380"}));
    EXPECT_TRUE(Contains(r.Out, "Protocol:        3 - ISO9141\nECU count:       2\nMIL:             off\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "   1: B0123 *\n   2: P0420 *\n   3: P1ABC *\n")) << r.Out;

    // The window's own file sends no "!P" when the protocol is already so.
    EmulatorChild same(ExampleEmulatorArgs());
    ASSERT_EQ(RunCli({"--port", same.Port(), "apply", ExampleFile()}).Status, 0);
    EXPECT_EQ(same.Commands(),
              Session({"!X0142" "0301" "0420" + Zeros(8), "!X0156" "C100" + Zeros(9), "!F1281"}));
}

TEST_F(CliFile, DiffListsWhatApplyWouldChange) {
    EmulatorChild emu(ExampleEmulatorArgs());
    auto same = RunCli({"--port", emu.Port(), "diff", ExampleFile()});
    EXPECT_EQ(same.Status, 0) << same.Err;
    EXPECT_EQ(same.Out, "");
    same = RunCli({"--port", emu.Port(), "diff", ExampleFile(), "--json"});
    EXPECT_EQ(same.Out, "{\"differ\":false,\"differences\":[]}\n");

    std::string text = ReadFile(ExampleFile());
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"<Protocol>6<", "<Protocol>9<"}, {"TRUE", "FALSE"}, {"<D02>0420<", "<D02>0421<"},
             {"<Count>1<", "<Count>0<"}}) {
        text.replace(text.find(from), from.size(), to);
    }
    WriteFile(Path("e.kns"), text);
    emu.ClearLog();
    const auto differ = RunCli({"--port", emu.Port(), "diff", Path("e.kns")});
    EXPECT_EQ(differ.Status, 1);
    EXPECT_EQ(differ.Out,
              "protocol: simulator 6 - CAN 11/500, file 9 - CAN 29/250\n"
              "mil: simulator on, file off\n"
              "ecu2.count: simulator 1, file 0\n"
              "ecu1.slot02: simulator P0420, file P0421\n");
    EXPECT_EQ(emu.Commands(), Session({}, false));  // diff only reads

    const auto json = RunCli({"--port", emu.Port(), "--json", "diff", Path("e.kns")});
    EXPECT_EQ(json.Status, 1);
    EXPECT_TRUE(Contains(json.Out, "{\"differ\":true,\"differences\":[{\"field\":\"protocol\",\"simulator\":"
                                   "\"6 - CAN 11/500\",\"file\":\"9 - CAN 29/250\"}"))
        << json.Out;
    EXPECT_TRUE(Contains(json.Out, "{\"field\":\"ecu1.slot02\",\"simulator\":\"P0420\",\"file\":\"P0421\"}]}"));
}

TEST_F(CliFile, FilesThatCannotBeUsedGiveStatus3AndTouchNothing) {
    EmulatorChild emu;
    mkdir(Path("folder.kns").c_str(), 0700);
    const std::pair<std::vector<std::string>, const char*> rows[] = {
        {{"apply", Path("missing.kns")}, "missing.kns"},
        {{"diff", Path("missing.kns")}, "missing.kns"},
        {{"apply", DataFile("broken.kns")}, "Invalid XML Element"},
        {{"diff", DataFile("broken.kns")}, "Invalid XML Element"},
        {{"apply", Path("folder.kns")}, "folder.kns"},
    };
    for (const auto& [command, errPart] : rows) {
        SCOPED_TRACE(command[0] + " " + command[1]);
        std::vector<std::string> args = {"--port", emu.Port()};
        args.insert(args.end(), command.begin(), command.end());
        const auto r = RunCli(args);
        EXPECT_EQ(r.Status, 3);
        EXPECT_EQ(r.Out, "");
        EXPECT_TRUE(Contains(r.Err, errPart)) << r.Err;
    }
    // A bad file is found before the simulator is asked anything.
    EXPECT_EQ(emu.Commands(), Commands{});

    // A save that cannot be written still leaves remote mode.
    const auto save = RunCli({"--port", emu.Port(), "save", Path("folder.kns")});
    EXPECT_EQ(save.Status, 3);
    EXPECT_EQ(save.Out, "");
    EXPECT_TRUE(Contains(save.Err, "folder.kns")) << save.Err;
    EXPECT_EQ(emu.Commands(), Session({}, false));
}

}  // namespace
