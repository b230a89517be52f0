// save, apply and diff end to end: the saved bytes, the traffic of apply, the
// listed differences, and files that cannot be read or written.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Commands = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Zeros(int words) { return std::string(static_cast<std::size_t>(words) * 4, '0'); }

// A configuration file in the saved layout, lines joined with CR LF.
std::string Crlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

std::vector<std::string> EcuLines(int count, const std::vector<std::pair<int, const char*>>& codes) {
    std::vector<std::string> lines = {"    <Count>" + std::to_string(count) + "</Count>"};
    for (int n = 1; n <= 10; ++n) {
        char p[8], d[8];
        std::snprintf(p, sizeof p, "P%02d", n);
        std::snprintf(d, sizeof d, "D%02d", n);
        const auto& code = n <= static_cast<int>(codes.size()) ? codes[static_cast<std::size_t>(n - 1)]
                                                               : std::pair<int, const char*>{0, "0000"};
        lines.push_back(std::string("    <") + p + ">" + std::to_string(code.first) + "</" + p + ">");
        lines.push_back(std::string("    <") + d + ">" + code.second + "</" + d + ">");
    }
    return lines;
}

// The whole file as the window saves protocol 6, two ECUs, MIL on, P0301 and
// P0420 on ECU 1 and U0100 on ECU 2 with the carried image v1.2.0.
std::string ExampleFile() {
    std::vector<std::string> lines = {"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>",
                                      "<CONFIG>",
                                      "  <Version>120</Version>",
                                      "  <Global>",
                                      "    <Protocol>6</Protocol>",
                                      "    <EcuCount>2</EcuCount>",
                                      "  </Global>",
                                      "  <Dtc>",
                                      "    <MilOn>TRUE</MilOn>",
                                      "    <Ecu1>"};
    for (auto& l : EcuLines(2, {{0, "0301"}, {0, "0420"}})) lines.push_back("  " + l);
    lines.push_back("    </Ecu1>");
    lines.push_back("    <Ecu2>");
    for (auto& l : EcuLines(1, {{3, "0100"}})) lines.push_back("  " + l);
    lines.push_back("    </Ecu2>");
    lines.push_back("  </Dtc>");
    lines.push_back("</CONFIG>");
    return Crlf(lines);
}

const std::vector<std::string> ExampleEmu = {"--protocol", "6", "--ecus", "2", "--codes1", "P0301,P0420",
                                             "--codes2", "U0100", "--mil"};

class CliFile : public ::testing::Test {
protected:
    std::string dir = MakeTempDir();
    std::string Path(const std::string& name) const { return dir + "/" + name; }
};

TEST_F(CliFile, SaveWritesTheWindowsBytes) {
    Emulator emu(ExampleEmu);
    const auto r = RunCli({"--port", emu.Port(), "save", Path("a.kns")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_EQ(ReadFile(Path("a.kns")), ExampleFile());
}

TEST_F(CliFile, SaveOverAFileKeepsItsOtherContent) {
    Emulator emu(ExampleEmu);
    WriteFile(Path("b.kns"), Crlf({"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>", "<!-- bench 3 -->", "<CONFIG>",
                                   "  <Note>left here</Note>", "  <Global>", "    <Protocol>2</Protocol>",
                                   "  </Global>", "</CONFIG>"}));
    const auto r = RunCli({"--port", emu.Port(), "save", Path("b.kns")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    const std::string saved = ReadFile(Path("b.kns"));
    EXPECT_EQ(saved.rfind("<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<!-- bench 3 -->\r\n<CONFIG>\r\n"
                          "  <Note>left here</Note>\r\n  <Global>\r\n    <Protocol>6</Protocol>\r\n",
                          0),
              0u)
        << saved;
    EXPECT_TRUE(Contains(saved, "<D02>0420</D02>"));
}

TEST_F(CliFile, ApplySendsWhatOpenConfigurationSends) {
    // The simulator: protocol 6, one ECU, two codes on ECU 1.
    Emulator emu({"--codes1", "P0301,P0420", "--codes2", "U0100"});
    // The file: protocol 3 with two ECUs, MIL off, slot 1 of ECU 1 changed,
    // slot 2 without a P value (kept), slot 3 with an unknown category (sent
    // as P), ECU 2 without slots (kept).
    WriteFile(Path("c.kns"), Crlf({"<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>", "<CONFIG>", "<Global>",
                                   "<Protocol>3</Protocol>", "<EcuCount>2</EcuCount>", "</Global>", "<Dtc>",
                                   "<MilOn>no</MilOn>", "<Ecu1>", "<Count>3</Count>", "<P01>2</P01>",
                                   "<D01>0123</D01>", "<D02>0777</D02>", "<P03>7</P03>", "<D03>1abc</D03>",
                                   "</Ecu1>", "<Ecu2><Count>1</Count></Ecu2>", "</Dtc>", "</CONFIG>"}));
    const auto r = RunCli({"--port", emu.Port(), "apply", Path("c.kns")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Commands expected = ConnectCommands();
    for (const std::string& c : Commands
         {"!P83", "!S", "!C", "!K1", "!X0142" "8123" "0420" "1ABC" + Zeros(7), "!X0156" "C100" + Zeros(9), "!F1380",
          "!S", "!C", "!K1", "!K0"}) {
        expected.push_back(c);
    }
    EXPECT_EQ(emu.Commands(), expected);
    EXPECT_TRUE(Contains(r.Out, "Protocol:        3 - ISO9141\nECU count:       2\nMIL:             off\n")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "   1: B0123 *\n   2: P0420 *\n   3: P1ABC *\n")) << r.Out;
}

TEST_F(CliFile, SaveThenApplyChangesNothingButResends) {
    Emulator emu(ExampleEmu);
    ASSERT_EQ(RunCli({"--port", emu.Port(), "save", Path("d.kns")}).Status, 0);
    emu.ClearLog();
    const auto r = RunCli({"--port", emu.Port(), "apply", Path("d.kns")});
    ASSERT_EQ(r.Status, 0) << r.Err;
    Commands expected = ConnectCommands();
    for (const std::string& c : Commands{"!X0142" "0301" "0420" + Zeros(8), "!X0156" "C100" + Zeros(9), "!F1281", "!S", "!C",
                                "!K1", "!K0"}) {
        expected.push_back(c);
    }
    EXPECT_EQ(emu.Commands(), expected);  // no "!P": the protocol is already so
}

TEST_F(CliFile, DiffListsWhatApplyWouldChange) {
    Emulator emu(ExampleEmu);
    ASSERT_EQ(RunCli({"--port", emu.Port(), "save", Path("e.kns")}).Status, 0);

    auto same = RunCli({"--port", emu.Port(), "diff", Path("e.kns")});
    EXPECT_EQ(same.Status, 0) << same.Err;
    EXPECT_EQ(same.Out, "");
    same = RunCli({"--port", emu.Port(), "diff", Path("e.kns"), "--json"});
    EXPECT_EQ(same.Status, 0);
    EXPECT_EQ(same.Out, "{\"differ\":false,\"differences\":[]}\n");

    std::string text = ReadFile(Path("e.kns"));
    auto replace = [&text](const std::string& from, const std::string& to) {
        const auto at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    };
    replace("<Protocol>6</Protocol>", "<Protocol>9</Protocol>");
    replace("<MilOn>TRUE</MilOn>", "<MilOn>FALSE</MilOn>");
    replace("<D02>0420</D02>", "<D02>0421</D02>");
    replace("<Count>1</Count>", "<Count>0</Count>");
    WriteFile(Path("e.kns"), text);

    const auto differ = RunCli({"--port", emu.Port(), "diff", Path("e.kns")});
    EXPECT_EQ(differ.Status, 1);
    EXPECT_EQ(differ.Out,
              "protocol: simulator 6 - CAN 11/500, file 9 - CAN 29/250\n"
              "mil: simulator on, file off\n"
              "ecu2.count: simulator 1, file 0\n"
              "ecu1.slot02: simulator P0420, file P0421\n");
    const auto json = RunCli({"--port", emu.Port(), "--json", "diff", Path("e.kns")});
    EXPECT_EQ(json.Status, 1);
    EXPECT_TRUE(Contains(json.Out, "{\"differ\":true,\"differences\":[{\"field\":\"protocol\",\"simulator\":"
                                   "\"6 - CAN 11/500\",\"file\":\"9 - CAN 29/250\"}"))
        << json.Out;
    EXPECT_TRUE(Contains(json.Out, "{\"field\":\"ecu1.slot02\",\"simulator\":\"P0420\",\"file\":\"P0421\"}]}"));
    // diff only reads: no "!P", "!X" or "!F" went out.
    for (const auto& c : emu.Commands()) EXPECT_TRUE(c != "!P89" && c.rfind("!X", 0) != 0 && c.rfind("!F", 0) != 0) << c;
}

TEST_F(CliFile, FilesThatCannotBeUsedGiveStatus3AndTouchNothing) {
    Emulator emu;
    WriteFile(Path("broken.kns"), "<CONFIG><Global></CONFIG>\r\n");
    mkdir(Path("folder.kns").c_str(), 0700);
    struct Row {
        std::vector<std::string> Args;
        const char* ErrPart;
    };
    const Row rows[] = {
        {{"apply", Path("missing.kns")}, "missing.kns"},
        {{"diff", Path("missing.kns")}, "missing.kns"},
        {{"apply", Path("broken.kns")}, "Invalid XML Element"},
        {{"diff", Path("broken.kns")}, "Invalid XML Element"},
        {{"apply", Path("folder.kns")}, "folder.kns"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Args[0] + " " + row.Args[1]);
        std::vector<std::string> args = {"--port", emu.Port()};
        args.insert(args.end(), row.Args.begin(), row.Args.end());
        const auto r = RunCli(args);
        EXPECT_EQ(r.Status, 3);
        EXPECT_EQ(r.Out, "");
        EXPECT_TRUE(Contains(r.Err, row.ErrPart)) << r.Err;
    }
    // A bad file is found before the simulator is asked anything.
    EXPECT_EQ(emu.Commands(), Commands{});

    // A save that cannot be written still leaves remote mode.
    const auto save = RunCli({"--port", emu.Port(), "save", Path("folder.kns")});
    EXPECT_EQ(save.Status, 3);
    EXPECT_EQ(save.Out, "");
    EXPECT_TRUE(Contains(save.Err, "folder.kns")) << save.Err;
    EXPECT_EQ(emu.Commands().back(), "!K0");
}

}  // namespace
