// Test plans end to end: knsimtool-cli run against knsim-emu children, a
// stand-in scan tool on their adapter ports, and the JUnit file read back by
// Python's own XML parser.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>

namespace {

// The set-up lines among what a box received: what set-protocol, set-codes
// and apply decide; the reads around them belong to the connection.
Commands SetUpLines(const EmulatorChild& emu) {
    Commands lines;
    for (const auto& c : emu.Commands())
        if (c.rfind("!P", 0) == 0 || c.rfind("!X", 0) == 0 || c.rfind("!F", 0) == 0) lines.push_back(c);
    return lines;
}

// Each suite of a JUnit file as Python's XML parser reads it:
// "NAME tests=T failures=F errors=E skipped=S" per line in sorted order, or
// its complaint.
std::string Suites(const std::string& junit) {
    Child python("/usr/bin/python3",
                 {"-c", "import sys, xml.etree.ElementTree as E\n"
                        "for s in sorted(' '.join([s.get('name')] + [k + '=' + s.get(k) for k in\n"
                        "        ('tests', 'failures', 'errors', 'skipped')]) for s in E.parse(sys.argv[1]).iter('testsuite')):\n"
                        "    print(s)\n",
                  junit});
    const auto r = python.Wait();
    return r.Out + r.Err;
}

// The text with every run of blanks made one blank.
std::string Squeezed(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

bool Alive(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

Child::Result RunPlan(const std::vector<std::string>& boxArgs, const std::string& plan, const std::string& ports) {
    std::vector<std::string> args = boxArgs;
    args.insert(args.end(), {"run", plan});
    return RunCli(args, ports, 60000);
}

}  // namespace

TEST(CliPlan, ThreeProtocolsOnTwoBoxesWithAScanToolThatClearsTheCodes) {
    const TempFolder folder;
    EmulatorChild a({"--serial", "KN-A", "--obd-link", folder / "obd-a"});
    EmulatorChild b({"--serial", "KN-B", "--protocol", "2", "--codes1", "B0001", "--obd-link", folder / "obd-b"});
    const std::string read = "test \"$($SCAN read)\" = \"$KNSIM_ECU1_CODES\" && echo \"$WHO $KNSIM_SERIAL $KNSIM_PROTOCOL_NAME\"";
    WriteFile(folder / "plan.toml",
              "name = \"scan tool\"\n[env]\nSCAN = \"" KNS_SCAN_TOOL_PATH "\"\nWHO = \"nobody\"\n"
              "[box.\"KN-A\".env]\nKNSIM_OBD_PORT = \"" + folder / "obd-a" + "\"\nWHO = \"A\"\n"
              "[box.\"" + b.Port() + "\".env]\nKNSIM_OBD_PORT = \"" + folder / "obd-b" + "\"\nWHO = \"B\"\n"
              "[[step]]\nname = \"read on ISO 9141\"\nprotocol = 3\necu1 = [\"P0301\", \"P0420\"]\nrun = '" + read + "'\n"
              "[[step]]\nname = \"read on CAN\"\nprotocol = 6\necus = 2\necu1 = \"C1234\"\nmil = true\nrun = '" + read + "'\n"
              "[[step]]\nname = \"clear\"\nprotocol = 9\nrun = '$SCAN clear'\n[step.expect]\ncodes = 0\nmil = false\n");
    const auto r = RunPlan({"--all", "--junit", folder / "report.xml"}, folder / "plan.toml", a.Port() + "," + b.Port());
    ASSERT_EQ(r.Status, 0) << r.Out << r.Err;

    // What set-protocol and set-codes send to a box in the same state.
    EmulatorChild reference({"--serial", "KN-A"});
    for (const auto& args : std::vector<std::vector<std::string>>{{"set-protocol", "3"},
                                                                   {"set-codes", "--ecu1", "P0301,P0420"},
                                                                   {"set-protocol", "6", "--ecus", "2"},
                                                                   {"set-codes", "--ecu1", "C1234", "--mil", "on"}}) {
        std::vector<std::string> line = {"--port", reference.Port()};
        line.insert(line.end(), args.begin(), args.end());
        ASSERT_EQ(RunCli(line).Status, 0);
    }
    Commands expected = SetUpLines(reference);
    const Commands sent = SetUpLines(a);
    ASSERT_EQ(sent.size(), expected.size() + 1) << testing::PrintToString(sent);
    EXPECT_EQ(Commands(sent.begin(), sent.end() - 1), expected);
    EXPECT_EQ(sent.back().substr(0, 3), "!P8");  // the third step's protocol 9, codes left alone
    EXPECT_EQ(a.Commands().back(), "!K0");

    const std::string junit = ReadFile(folder / "report.xml");
    EXPECT_EQ(Suites(folder / "report.xml"), "KN-A tests=3 failures=0 errors=0 skipped=0\n"
                                             "KN-B tests=3 failures=0 errors=0 skipped=0\n") << junit;
    // Each box's command saw its own variables only.
    EXPECT_TRUE(Contains(junit, "<system-out>A KN-A 3 - ISO9141\n")) << junit;
    EXPECT_TRUE(Contains(junit, "<system-out>B KN-B 6 - CAN 11/500\n")) << junit;
    EXPECT_FALSE(Contains(junit, "nobody")) << junit;
    EXPECT_TRUE(Contains(r.Out, "2 boxes, 6 steps: 6 passed, 0 failed, 0 error, 0 skipped")) << r.Out;
}

TEST(CliPlan, FailuresTimeOutsAndABoxThatFailsAreReportedAndLeaveNothingRunning) {
    const TempFolder folder;
    EmulatorChild box({"--serial", "KN-F"});
    EmulatorChild silent({"--silent"});
    WriteFile(folder / "plan.toml",
              "timeout = 30\n"
              "[[step]]\nname = \"exits 3\"\nrun = 'printf \"oops\\001\\033[31m\\377 <&>\\n\"; exit 3'\n"
              "[[step]]\nname = \"unmet\"\necu1 = [\"P0301\"]\n[step.expect]\ncodes = 2\necu1 = []\nmil = true\n"
              "[[step]]\nname = \"hangs\"\ntimeout = 0.5\nrun = 'sleep 60 & echo $! > " + folder / "pid" + "; wait'\n");
    const auto r = RunPlan({"--port", box.Port() + "," + silent.Port(), "--junit", folder / "report.xml"},
                           folder / "plan.toml", "");
    EXPECT_EQ(r.Status, 1) << r.Out << r.Err;
    EXPECT_EQ(Suites(folder / "report.xml"), silent.Port() + " tests=3 failures=0 errors=1 skipped=2\n"
                                             "KN-F tests=3 failures=3 errors=0 skipped=0\n");
    const std::string junit = ReadFile(folder / "report.xml");
    for (const char* part : {"type=\"exit-status\">the command exited with status 3", "<system-out>oops\\x01\\x1B[31m\xC3\xBF &lt;&amp;&gt;",
                             "message=\"codes: expected 2, seen 1\"", "ecu1: expected none, seen P0301\n",
                             "type=\"timeout\">timed out after 0.5 s", "<skipped message=\"the box failed in step "})
        EXPECT_TRUE(Contains(junit, part)) << part << "\n" << junit;
    const pid_t sleeper = std::atoi(ReadFile(folder / "pid").c_str());
    ASSERT_GT(sleeper, 0);
    EXPECT_FALSE(Alive(sleeper));
    EXPECT_EQ(box.Commands().back(), "!K0");
}

TEST(CliPlan, AMisspeltKeyIsNamedWithItsPlaceAndNoBoxIsTouched) {
    const TempFolder folder;
    EmulatorChild box;
    WriteFile(folder / "plan.toml", "name = \"x\"\n\n[[step]]\nname = \"one\"\nprotocl = 3\n");
    const auto r = RunPlan({"--port", box.Port()}, folder / "plan.toml", "");
    EXPECT_EQ(r.Status, 2);
    EXPECT_EQ(r.Err, folder / "plan.toml:5:1: unknown key 'protocl' in [[step]] (did you mean 'protocol'?)\n");
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(box.Log().empty());
}

TEST(CliPlan, InterruptEndsTheRunningCommandAndMarksTheStepsNotRun) {
    const TempFolder folder;
    EmulatorChild box;
    WriteFile(folder / "plan.toml", "[[step]]\nname = \"long\"\nrun = 'echo $$ > " + folder / "pid" +
                                        "; sleep 60'\n[[step]]\nname = \"after\"\nrun = 'true'\n");
    Child cli(KNS_CLI_PATH, {"--port", box.Port(), "run", folder / "plan.toml", "--junit", folder / "report.xml"},
              {{"KNSIM_CLI_PORTS", "/nonexistent/knsim-test-port"}});
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(folder / "pid").empty(); }, 20000)) << cli.Err();
    cli.Signal(SIGINT);
    const auto r = cli.Wait(30000);
    EXPECT_EQ(r.Status, 128 + SIGINT) << r.Err;
    EXPECT_FALSE(Alive(std::atoi(ReadFile(folder / "pid").c_str())));
    EXPECT_TRUE(Contains(Squeezed(r.Out), " long error ")) << r.Out;
    EXPECT_TRUE(Contains(Squeezed(r.Out), " after skipped - interrupted before it began\n")) << r.Out;
    EXPECT_EQ(Suites(folder / "report.xml"), "KNEMU0001 tests=2 failures=0 errors=1 skipped=1\n");
    EXPECT_EQ(box.Commands().back(), "!K0");
}
