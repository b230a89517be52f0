// Test plans end to end: knsimtool-cli run against knsim-emu children, a
// stand-in scan tool on their adapter ports, and the JUnit file read back by
// Python's own XML parser.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The set-up lines among what a box received: what set-protocol, set-codes
// and apply decide; the reads around them belong to the connection.
Commands SetUpLines(const EmulatorChild& emu) {
    Commands lines;
    for (const auto& c : emu.Commands())
        if (c.rfind("!P", 0) == 0 || c.rfind("!X", 0) == 0 || c.rfind("!F", 0) == 0) lines.push_back(c);
    return lines;
}

// A JUnit file as Python's XML parser reads it: the totals of <testsuites>
// ("ALL tests=T failures=F errors=E skipped=S"), then each suite's in sorted
// order with its name, or the parser's complaint.
std::string Suites(const std::string& junit) {
    Child python("/usr/bin/python3",
                 {"-c", "import sys, xml.etree.ElementTree as E\n"
                        "def line(name, s): return ' '.join([name] + [k + '=' + s.get(k) for k in\n"
                        "        ('tests', 'failures', 'errors', 'skipped')])\n"
                        "root = E.parse(sys.argv[1]).getroot()\n"
                        "print(line('ALL', root))\n"
                        "for s in sorted(line(s.get('name'), s) for s in root.iter('testsuite')):\n"
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

// Each box as the JUnit file and the JSON document tell it: the suite's
// name, whether it has a timestamp, each case's outcome (and type); then
// each box's result in the JSON.
std::string Outcomes(const std::string& junit, const std::string& json) {
    Child python("/usr/bin/python3",
                 {"-c", "import sys, json, xml.etree.ElementTree as E\n"
                        "for s in E.parse(sys.argv[1]).getroot().iter('testsuite'):\n"
                        "    print(s.get('name'), 'at' if s.get('timestamp') else 'no timestamp')\n"
                        "    for c in s.iter('testcase'):\n"
                        "        r = [x for x in c if x.tag in ('failure', 'error', 'skipped')]\n"
                        "        print(' ', c.get('name'), (r[0].tag + ' ' + (r[0].get('type') or '')).strip() if r else 'passed')\n"
                        "for b in json.load(open(sys.argv[2])):\n"
                        "    print(b['serial'], b['result'])\n",
                  junit, json});
    const auto r = python.Wait();
    return r.Out + r.Err;
}

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
              "[box.\"KN-A\".env]\nOBD_PORT = \"" + folder / "obd-a" + "\"\nWHO = \"A\"\n"
              "[box.\"" + b.Port() + "\".env]\nOBD_PORT = \"" + folder / "obd-b" + "\"\nWHO = \"B\"\n"
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
    EXPECT_EQ(Suites(folder / "report.xml"), "ALL tests=6 failures=0 errors=0 skipped=0\n"
                                             "KN-A tests=3 failures=0 errors=0 skipped=0\n"
                                             "KN-B tests=3 failures=0 errors=0 skipped=0\n") << junit;
    // CI servers keep one history per box and step.
    EXPECT_TRUE(Contains(junit, "classname=\"scan tool.KN-A\" name=\"clear\"")) << junit;
    EXPECT_TRUE(Contains(junit, "classname=\"scan tool.KN-B\" name=\"clear\"")) << junit;
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
              "[[step]]\nname = \"hangs\"\ntimeout = 2\n"
              // Its own session, and coreutils' timeout in a group of its own.
              "run = 'setsid sleep 60 & echo $! > pid; timeout 120 sh -c \"echo \\$\\$ > pid2; exec sleep 600\"'\n");
    const auto r = RunPlan({"--port", box.Port() + "," + silent.Port(), "--junit", folder / "report.xml"},
                           folder / "plan.toml", "");
    EXPECT_EQ(r.Status, 1) << r.Out << r.Err;
    EXPECT_EQ(Suites(folder / "report.xml"), "ALL tests=6 failures=3 errors=1 skipped=2\n" + silent.Port() +
                                                 " tests=3 failures=0 errors=1 skipped=2\n"
                                                 "KN-F tests=3 failures=3 errors=0 skipped=0\n");
    const std::string junit = ReadFile(folder / "report.xml");
    for (const char* part : {"type=\"exit-status\">the command exited with status 3", "<system-out>oops\\x01\\x1B[31m\xC3\xBF &lt;&amp;&gt;",
                             "message=\"codes: expected 2, seen 1\"", "ecu1: expected none, seen P0301\n",
                             "type=\"timeout\">timed out after 2 s", "<skipped message=\"the box failed in step "})
        EXPECT_TRUE(Contains(junit, part)) << part << "\n" << junit;
    for (const char* file : {"pid", "pid2"}) {
        const pid_t sleeper = std::atoi(ReadFile(folder / file).c_str());
        ASSERT_GT(sleeper, 0) << file;
        EXPECT_FALSE(Alive(sleeper)) << file;
    }
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
    // Every process of the tree is asked (SIGTERM) before anything is
    // killed: the shell, which lives on after its trap, and a grandchild in
    // a session of its own below it, which shows it was asked too. One
    // below coreutils' timeout (a group of its own) must end as well. The
    // grandchild writes its pid only once its trap is set, so the interrupt
    // cannot come before it.
    WriteFile(folder / "plan.toml",
              "[[step]]\nname = \"long\"\nrun = '''trap \"echo asked > asked\" TERM; "
              "setsid sh -c \"trap 'echo asked > asked2; exit 0' TERM; echo \\$\\$ > pid2; sleep 60 & wait\" & "
              "timeout 120 sh -c \"echo \\$\\$ > pid3; exec sleep 600\" & echo $$ > pid; wait; wait'''\n"
              "[[step]]\nname = \"after\"\nrun = 'true'\n");
    Child cli(KNS_CLI_PATH, {"--port", box.Port(), "run", folder / "plan.toml", "--junit", folder / "report.xml"},
              {{"KNSIM_CLI_PORTS", "/nonexistent/knsim-test-port"}});
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(folder / "pid").empty() && !ReadFile(folder / "pid2").empty() &&
                                 !ReadFile(folder / "pid3").empty(); }, 20000))
        << cli.Err();
    cli.Signal(SIGINT);
    const auto r = cli.Wait(30000);
    EXPECT_EQ(r.Status, 128 + SIGINT) << r.Err;
    for (const char* file : {"pid", "pid2", "pid3"}) EXPECT_FALSE(Alive(std::atoi(ReadFile(folder / file).c_str()))) << file;
    EXPECT_EQ(ReadFile(folder / "asked"), "asked\n");
    EXPECT_EQ(ReadFile(folder / "asked2"), "asked\n");
    EXPECT_TRUE(Contains(Squeezed(r.Out), " long error ")) << r.Out;
    EXPECT_TRUE(Contains(Squeezed(r.Out), " after skipped - interrupted before it began\n")) << r.Out;
    EXPECT_EQ(Suites(folder / "report.xml"), "ALL tests=2 failures=0 errors=1 skipped=1\n"
                                             "KNEMU0001 tests=2 failures=0 errors=1 skipped=1\n");
    EXPECT_EQ(box.Commands().back(), "!K0");
}

// One ECU on: ECU 2's stored codes are none of a scan tool's business. A
// command runs in the plan's folder, and its leftover is ended with its
// step, not at the time-out. A box that vanishes during a step: that step an
// error, the rest skipped, the other box goes on, exit 1.
TEST(CliPlan, ABoxThatVanishesFailsAloneAndNothingOfAStepOutlivesIt) {
    const TempFolder folder;
    EmulatorChild a({"--serial", "KN-A", "--codes2", "U0100,B0001", "--obd-link", folder / "obd-a"});
    EmulatorChild b({"--serial", "KN-B", "--codes2", "U0100,B0001", "--obd-link", folder / "obd-b"});
    WriteFile(folder / "plan.toml",
              "[env]\nSCAN = \"" KNS_SCAN_TOOL_PATH "\"\n"
              "[box.\"KN-A\".env]\nOBD_PORT = \"" + folder / "obd-a" + "\"\n"
              "[box.\"KN-B\".env]\nOBD_PORT = \"" + folder / "obd-b" + "\"\nVANISH = \"" + std::to_string(b.Process().Pid()) + "\"\n"
              "[[step]]\nname = \"ten on one ECU\"\nprotocol = 6\necus = 1\n"
              "ecu1 = \"P0001,P0002,P0003,P0004,P0005,P0006,P0007,P0008,P0009,P0010\"\ntimeout = 600\n"
              "run = 'test \"$($SCAN read)\" = \"$KNSIM_ECU1_CODES\" && test -z \"$KNSIM_ECU2_CODES\" && "
              "test \"$(pwd)\" = \"$KNSIM_PLAN_DIR\" && "
              "{ sleep 300 & echo $! > left-$KNSIM_SERIAL; }'\n"
              "[step.expect]\ncodes = 10\necu2 = []\n"
              "[[step]]\nname = \"leftover gone\"\n"
              "run = '! kill -0 $(cat left-$KNSIM_SERIAL) && if [ -n \"$VANISH\" ]; then kill -KILL $VANISH; fi'\n"
              "[step.expect]\ncodes = 10\n"
              "[[step]]\nname = \"after\"\nrun = 'true'\n");
    const auto r = RunPlan({"--port", a.Port() + "," + b.Port(), "--junit", folder / "report.xml"}, folder / "plan.toml", "");
    EXPECT_EQ(r.Status, 1) << r.Out << r.Err;
    EXPECT_EQ(Suites(folder / "report.xml"), "ALL tests=6 failures=0 errors=1 skipped=1\n"
                                             "KN-A tests=3 failures=0 errors=0 skipped=0\n"
                                             "KN-B tests=3 failures=0 errors=1 skipped=1\n")
        << ReadFile(folder / "report.xml");
    EXPECT_TRUE(Contains(Squeezed(r.Out), " KN-B ten on one ECU passed ")) << r.Out;
    const Commands sent = a.Commands();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "!K0");
}

// The JUnit file a CI server reads is never empty, half written or an
// older run's: a run killed hard leaves one that says it did not finish, a
// plan error or a search that found nothing one that says why.
TEST(CliPlan, TheReportAlwaysSaysWhatBecameOfTheRun) {
    const TempFolder folder;
    const std::string report = folder / "report.xml";
    const std::string green = "<testsuites tests=\"1\" failures=\"0\" errors=\"0\" skipped=\"0\"/>\n";
    auto errorOfReport = [&] {
        Child python("/usr/bin/python3", {"-c", "import sys, xml.etree.ElementTree as E\n"
                                                "e = E.parse(sys.argv[1]).find('.//error')\n"
                                                "print(e.get('type') + ': ' + e.get('message'))\n",
                                          report});
        const auto r = python.Wait();
        return r.Out + r.Err;
    };

    WriteFile(folder / "plan.toml", "[[step]]\nname = \"one\"\nprotocl = 3\n");
    WriteFile(report, green);
    EXPECT_EQ(RunPlan({"--all", "--junit", report}, folder / "plan.toml", "").Status, 2);
    EXPECT_EQ(errorOfReport(), "plan: " + folder / "plan.toml:3:1: unknown key 'protocl' in [[step]] (did you mean 'protocol'?)\n");

    WriteFile(folder / "plan.toml", "[[step]]\nname = \"one\"\nrun = 'echo $$ > pid; sleep 60'\n");
    WriteFile(report, green);
    EXPECT_EQ(RunPlan({"--all", "--junit", report}, folder / "plan.toml", "").Status, 1);
    EXPECT_EQ(errorOfReport(), "no-box: No KARNOL simulator answered on any of the 1 ports\n");

    // A path that cannot be written costs nothing.
    EmulatorChild box;
    WriteFile(folder / "file", "");
    const auto unwritable = RunPlan({"--port", box.Port(), "--junit", folder / "file/report.xml"}, folder / "plan.toml", "");
    EXPECT_EQ(unwritable.Status, 3) << unwritable.Err;
    EXPECT_TRUE(box.Log().empty());

    // The report is replaced, never written in place: a reader that has
    // the old one open keeps reading it whole.
    WriteFile(report, green);
    const int held = open(report.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    Child cli(KNS_CLI_PATH, {"--port", box.Port(), "run", folder / "plan.toml", "--junit", report},
              {{"KNSIM_CLI_PORTS", "/nonexistent/knsim-test-port"}});
    ASSERT_TRUE(WaitUntil([&] { return !ReadFile(folder / "pid").empty(); }, 20000)) << cli.Err();
    cli.Signal(SIGKILL);
    (void)cli.Wait();
    EXPECT_EQ(errorOfReport(), "unfinished: the run has not finished: it was stopped before it wrote its report, or still runs\n");
    EXPECT_EQ(Suites(report), "ALL tests=1 failures=0 errors=1 skipped=0\nknsimtool-cli run tests=1 failures=0 errors=1 skipped=0\n");
    EXPECT_EQ(ReadFile("/proc/self/fd/" + std::to_string(held)), green);
    close(held);
    // Nor does its command live on.
    const pid_t command = std::atoi(ReadFile(folder / "pid").c_str());
    EXPECT_TRUE(WaitUntil([&] { return !Alive(command); }, 10000));
}

// However a run is stopped, a box that had not finished is an error in
// every report, never only skipped steps (which CI servers show green):
// here the first step's command stops the run and ends at once, and a box
// asked for by its serial number was never found; then a search that is
// interrupted says so rather than that no box answered.
TEST(CliPlan, AnInterruptedRunNeverLeavesABoxGreen) {
    const TempFolder folder;
    EmulatorChild box({"--serial", "KN-I"});
    WriteFile(folder / "plan.toml",
              "[[step]]\nname = \"stops\"\nrun = 'kill -INT $(cut -d\" \" -f4 /proc/$PPID/stat); exit 0'\n"
              "[[step]]\nname = \"after\"\nrun = 'sleep 30'\n");
    const auto r = RunPlan({"--serial", "KN-I,KN-GONE", "--json", "--junit", folder / "report.xml"}, folder / "plan.toml",
                           box.Port());
    EXPECT_EQ(r.Status, 128 + SIGINT) << r.Err;
    WriteFile(folder / "out.json", r.Out);
    // The signal reaches the run while the first step ends or soon after,
    // in the second: that step is the interrupt's error.
    const std::string seen = Outcomes(folder / "report.xml", folder / "out.json");
    const std::string rest = "KN-GONE at\n  stops error interrupted\n  after skipped\nKN-I error\nKN-GONE error\n";
    EXPECT_TRUE(seen == "KN-I at\n  stops error interrupted\n  after skipped\n" + rest ||
                seen == "KN-I at\n  stops passed\n  after error interrupted\n" + rest)
        << seen << ReadFile(folder / "report.xml");
    EXPECT_EQ(box.Commands().back(), "!K0");

    EmulatorChild silent({"--silent"});
    Child cli(KNS_CLI_PATH, {"--all", "run", folder / "plan.toml", "--junit", folder / "report.xml"},
              {{"KNSIM_CLI_PORTS", silent.Port()}});
    ASSERT_TRUE(silent.WaitForLog("!I", 20000)) << cli.Err();
    cli.Signal(SIGINT);
    EXPECT_EQ(cli.Wait().Status, 128 + SIGINT);
    EXPECT_TRUE(Contains(ReadFile(folder / "report.xml"), "<error message=\"Interrupted\" type=\"interrupted\">"))
        << ReadFile(folder / "report.xml");
}
