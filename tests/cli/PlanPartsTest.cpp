// The test plan's pure parts: the reader's complaints with their places, the
// text that goes into the JUnit file, the output kept of a command.
#include "cli/CliError.h"
#include "cli/PlanReports.h"
#include "cli/PlanResults.h"
#include "cli/PlanRunner.h"
#include "cli/PlanVariables.h"
#include "cli/StepProcess.h"
#include "cli/TestPlan.h"
#include "cli/XmlText.h"

#include "ExampleSetup.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string Step = "[[step]]\nname = \"s\"\n";
// The most a slot table holds.
const std::string TenCodes = "P0000,P0001,P0002,P0003,P0004,P0005,P0006,P0007,P0008,P0009";
const std::string TenCodesList = "[\"P0000\", \"P0001\", \"P0002\", \"P0003\", \"P0004\", \"P0005\", \"P0006\", "
                                 "\"P0007\", \"P0008\", \"P0009\"]";

std::string Complaint(const std::string& text) {
    try {
        (void)ParseTestPlan(text, "p.toml");
    } catch (const CliError& e) {
        return std::to_string(e.ExitStatus()) + " " + e.what();
    }
    return "(accepted)";
}

// A box with codes in both tables: P0001..P0010 on ECU 1 (count ecu1), U0100
// and U0101 on ECU 2, MIL off.
SimulatorState BoxWith(int ecu1, bool secondEcu) {
    SimulatorState s;
    s.SecondEcu = secondEcu ? 1 : 0;
    s.CodeCounts = static_cast<std::uint8_t>(ecu1 | 2 << 4);
    auto put = [&s](int offset, int slot, std::uint16_t word) {
        s.ConfigBlock[static_cast<std::size_t>(offset + 2 * slot)] = static_cast<std::uint8_t>(word >> 8);
        s.ConfigBlock[static_cast<std::size_t>(offset + 2 * slot + 1)] = static_cast<std::uint8_t>(word & 0xFF);
    };
    for (int i = 0; i < 10; ++i) put(ConfigOffset::DtcTable1, i, static_cast<std::uint16_t>(i + 1));
    put(ConfigOffset::DtcTable2, 0, 0xC100);
    put(ConfigOffset::DtcTable2, 1, 0xC101);
    return s;
}

std::string Unmet(const std::string& expect, const SimulatorState& state) {
    const TestPlan plan = ParseTestPlan(Step + "[step.expect]\n" + expect, "p.toml");
    std::string text;
    for (const auto& line : UnmetExpectations(plan.Steps[0].Expect, state)) text += line + ";";
    return text;
}

}  // namespace

TEST(PlanReader, NamesWhatIsWrongAndWhere) {
    const struct {
        std::string Text;
        std::string Complaint;
    } rows[] = {
        {"tiemout = 5\n" + Step, "p.toml:1:1: unknown key 'tiemout' (did you mean 'timeout'?)"},
        {Step + "protocl = 3\n", "p.toml:3:1: unknown key 'protocl' in [[step]] (did you mean 'protocol'?)"},
        {Step + "[step.expect]\ncods = 0\n", "p.toml:4:1: unknown key 'cods' in [step.expect] (did you mean 'codes'?)"},
        {Step + "banana = 1\n", "p.toml:3:1: unknown key 'banana' in [[step]]"},
        {Step + "protocol = 10\n", "p.toml:3:12: 'protocol' must be a protocol from 1 to 9, not 10"},
        {Step + "ecus = 3\n", "p.toml:3:8: 'ecus' must be 1 or 2, not 3"},
        {Step + "ecus = 0\n", "p.toml:3:8: 'ecus' must be 1 or 2, not 0"},
        {Step + "ecu1 = \"" + TenCodes + ",P0010\"\n", "p.toml:3:8: ecu1: at most 10 trouble codes"},
        {Step + "[step.expect]\necu2 = " + TenCodesList.substr(0, TenCodesList.size() - 1) + ", \"U0100\"]\n",
         "p.toml:4:8: ecu2: at most 10 trouble codes, 11 given"},
        {Step + "mil = \"on\"\n", "p.toml:3:7: 'mil' must be true or false, not a text"},
        {Step + "ecu1 = [\"P0301\", \"X9999\"]\n", "p.toml:3:18: ecu1: 'X9999' is not a trouble code"},
        {Step + "ecu2 = \"P0301 P4000\"\n", "p.toml:3:8: ecu2: 'P4000' is not a trouble code"},
        {Step + "timeout = 0\n", "p.toml:3:11: 'timeout' must be more than 0"},
        {Step + "apply = \"no-such-file.kns\"\n", "p.toml:3:9: Cannot open "},
        {Step + "protocol = 3\napply = \"x.kns\"\n", "p.toml:4:9: 'apply' takes the whole set-up from its file"},
        {"[env]\nKNSIM_PORT = \"x\"\n" + Step, "p.toml:2:1: 'KNSIM_PORT' is set by the run itself"},
        {"[box.\"KN1\".env]\nknsim_obd_port = \"x\"\n" + Step,
         "p.toml:2:1: 'knsim_obd_port': names beginning with KNSIM_ are the run's own; give your variable another name, "
         "such as 'obd_port'"},
        {"[box.\"KN1\"]\nenvv = {}\n" + Step, "p.toml:2:1: unknown key 'envv' in [box.\"KN1\"] (did you mean 'env'?)"},
        {"[box.\"KN1\"]\nenv = { A = 1 }\n" + Step, "p.toml:2:13: 'A' must be a text in quotes, not a whole number"},
        {"[[step]]\nrun = \"true\"\n", "p.toml:1:1: this step has no 'name'"},
        {Step + Step, "p.toml:4:8: a second step named 's'"},
        {"name = \"x\"\n", "p.toml:1:1: the plan has no steps"},
        {"[step]\nname = \"s\"\n", "p.toml:1:1: 'step' must be a list of tables: write [[step]]"},
        {Step + "run = \"unclosed\n", "p.toml:3:"},
    };
    for (const auto& row : rows) {
        const std::string said = Complaint(row.Text);
        EXPECT_EQ(said.rfind("2 " + row.Complaint, 0), 0u) << row.Text << "\n" << said;
    }
}

TEST(PlanReader, ReadsTheValuesAStepUses) {
    const std::filesystem::path example(ExampleFile());
    const TestPlan plan = ParseTestPlan(
        "name = \"n\"\ntimeout = 5\n[box.\"KN1\".env]\nA = \"serial\"\n[box.\"ttyUSB0\".env]\nA = \"port\"\nB = \"port\"\n"
        "[[step]]\nname = \"a\"\necu1 = []\necu2 = \"" + TenCodes + "\"\nmil = false\nrun = \"x\"\n"
        "[step.expect]\necu1 = " + TenCodesList + "\necu2 = [\"U0100\"]\n"
        "[[step]]\nname = \"b\"\napply = \"" + example.filename().string() + "\"\ntimeout = 1.5\n",
        (example.parent_path() / "plan.toml").string());
    ASSERT_EQ(plan.Steps.size(), 2u);
    const PlanStep& a = plan.Steps[0];
    EXPECT_EQ(a.TimeoutSeconds, 5);
    EXPECT_EQ(a.Codes.Ecu[0], std::vector<std::uint16_t>{});
    ASSERT_TRUE(a.Codes.Ecu[1]);
    EXPECT_EQ(a.Codes.Ecu[1]->size(), 10u);
    EXPECT_EQ(a.Codes.Mil, false);
    ASSERT_TRUE(a.Expect.Ecu[0]);
    EXPECT_EQ(a.Expect.Ecu[0]->size(), 10u);
    EXPECT_EQ(a.Expect.Ecu[1], std::vector<std::uint16_t>{0xC100});
    EXPECT_FALSE(a.Expect.Codes);
    const PlanStep& b = plan.Steps[1];
    EXPECT_EQ(b.TimeoutSeconds, 1.5);
    ASSERT_TRUE(b.Apply);
    EXPECT_EQ(b.Apply->Protocol, ExampleSetup().Protocol);
    // The serial number's variables win over the port's.
    EXPECT_EQ(BoxVariables(plan, "/dev/ttyUSB0", "KN1"), (Variables{{"A", "serial"}, {"B", "port"}}));
    EXPECT_EQ(BoxVariables(plan, "/dev/ttyUSB1", "KN2"), Variables{});
}

TEST(PlanReader, TheExamplesAreSoundPlans) {
    for (const char* name : {"plan.toml", "plan-windows.toml"}) {
        const TestPlan plan = ReadTestPlan(std::string(KNS_EXAMPLES_DIR) + "/" + name);
        EXPECT_EQ(plan.Steps.size(), 3u) << name;
        EXPECT_EQ(plan.BoxEnv.size(), 2u) << name;
    }
}

TEST(XmlText, AnyBytesMakeWellFormedText) {
    const struct {
        std::string In;
        bool Attribute;
        std::string Out;
    } rows[] = {
        {"a<b>&\"'", false, "a&lt;b&gt;&amp;\"'"},
        {"a\"'\n\t", true, "a&quot;&apos;&#10;&#9;"},
        {std::string("\x01\x1b[0m\r\x7f\x1f", 8), false, "\\x01\\x1B[0m&#13;\x7f\\x1F"},
        {std::string("nul\0end", 7), false, "nul\\x00end"},
        {"caf\xC3\xA9 \xE2\x82\xAC", false, "caf\xC3\xA9 \xE2\x82\xAC"},  // UTF-8 kept
        {"ge\xF6" "ffnet \xC3", false, "ge\xC3\xB6" "ffnet \xC3\x83"},   // Latin-1 and a cut sequence
        {"\xED\xA0\x80 \xEF\xBF\xBF", false, "\xC3\xAD\xC2\xA0\xC2\x80 \\uFFFF"},  // a surrogate, U+FFFF
        {"\xE0\x80\xAF", false, "\xC3\xA0\xC2\x80\xC2\xAF"},                          // "/" in an overlong form
    };
    for (const auto& row : rows) EXPECT_EQ(XmlEscaped(row.In, row.Attribute), row.Out) << row.In;
}

TEST(StepOutput, LongOutputKeepsItsEndsWholeCharacters) {
    EXPECT_EQ(CutOutputText("short"), "short");
    const std::string limit(OutputLimit, 'x');
    EXPECT_EQ(CutOutputText(limit), limit);
    // "é" (two bytes) across both cuts.
    std::string text = std::string(OutputLimit / 2 - 1, 'a') + "\xC3\xA9" + std::string(100000, 'b') + "\xC3\xA9" +
                       std::string(OutputLimit / 2 - 1, 'c');
    const std::string kept = CutOutputText(text);
    EXPECT_EQ(kept.substr(0, OutputLimit / 2 - 1), std::string(OutputLimit / 2 - 1, 'a'));
    EXPECT_EQ(kept.substr(OutputLimit / 2 - 1, 5), "\n[...") << "a character cut in two";
    EXPECT_EQ(kept.substr(kept.size() - (OutputLimit / 2 - 1)), std::string(OutputLimit / 2 - 1, 'c'));
    EXPECT_NE(kept.find(" bytes left out: of " + std::to_string(text.size()) + " bytes"), std::string::npos);
    EXPECT_LT(kept.size(), OutputLimit + 200);
}

// A scan tool reads ECU 2 only while two ECUs are on; the expectations and
// the command's variables go by what it can read.
TEST(PlanExpectations, CountWhatAScanToolCanRead) {
    const SimulatorState one = BoxWith(10, false), two = BoxWith(1, true), none = BoxWith(0, false);
    const struct {
        std::string Expect;
        const SimulatorState& State;
        std::string Unmet;
    } rows[] = {
        {"codes = 10\necu2 = []\n", one, ""},
        {"codes = 12\n", one, "codes: expected 12, seen 10;"},
        {"codes = 3\necu2 = [\"U0100\", \"U0101\"]\n", two, ""},
        {"ecu2 = []\n", two, "ecu2: expected none, seen U0100,U0101;"},
        {"ecu1 = []\nmil = false\n", none, ""},
        {"ecu1 = []\nmil = true\n", two, "ecu1: expected none, seen P0001;mil: expected on, seen off;"},
        {"ecu1 = [\"P0001\"]\n", two, ""},
    };
    for (const auto& row : rows) EXPECT_EQ(Unmet(row.Expect, row.State), row.Unmet) << row.Expect;
    EXPECT_EQ(ActiveCodes(one, 2), "");
    EXPECT_EQ(ActiveCodes(two, 2), "U0100,U0101");
}

// The exit status a CI server believes: anything but all passed is 1.
TEST(PlanResults, OnlyABoxWhoseStepsAllPassedSucceeds) {
    using O = StepOutcome;
    const struct {
        std::vector<StepOutcome> Steps;
        int Status;
    } rows[] = {
        {{O::Passed, O::Passed}, 0},
        {{O::Passed, O::Failed}, 1},
        {{O::Passed, O::Error, O::Skipped}, 1},
        {{O::Passed, O::Skipped}, 1},
    };
    for (const auto& row : rows) {
        BoxPlanRun box;
        for (const auto outcome : row.Steps) {
            StepResult step;
            step.Outcome = outcome;
            box.Steps.push_back(step);
        }
        EXPECT_EQ(box.ExitStatus(), row.Status) << row.Steps.size();
    }
}

// What CI servers read besides the outcomes: each box's port, serial number
// and firmware, each suite's time and the run's (the boxes run side by
// side: the longest), names that stay apart when two boxes share a serial
// number, and the placeholder report that counts as one error.
TEST(PlanJUnit, PropertiesTimesAndNamesAsCIServersReadThem) {
    TestPlan plan;
    plan.Name = "p";
    auto box = [](const std::string& port, const std::string& serial, double seconds) {
        BoxPlanRun run;
        run.Port = port, run.Serial = serial, run.Firmware = "v1.2.0", run.Seconds = seconds;
        run.Started = "2024-05-01T14:03:12";
        StepResult step;
        step.Name = "s", step.Outcome = StepOutcome::Passed, step.Seconds = seconds / 2;
        run.Steps = {step};
        return run;
    };
    const std::string xml =
        PlanJUnit(plan, {box("/dev/ttyUSB0", "KN1", 1.5), box("/dev/ttyUSB1", "KN1", 2.25), box("/dev/ttyUSB2", "KN2", 1)}, "h");
    for (const char* part : {
             "<testsuites name=\"p\" tests=\"3\" failures=\"0\" errors=\"0\" skipped=\"0\" time=\"2.250\">",
             "<testsuite name=\"KN1 (/dev/ttyUSB0)\" tests=\"1\" failures=\"0\" errors=\"0\" skipped=\"0\" time=\"1.500\" "
             "timestamp=\"2024-05-01T14:03:12\" hostname=\"h\">",
             "<testsuite name=\"KN1 (/dev/ttyUSB1)\" tests=\"1\" failures=\"0\" errors=\"0\" skipped=\"0\" time=\"2.250\"",
             "<testsuite name=\"KN2\"",
             "<testcase classname=\"p.KN1 (/dev/ttyUSB1)\" name=\"s\" time=\"1.125\">",
             "<testcase classname=\"p.KN2\" name=\"s\"",
             "<property name=\"port\" value=\"/dev/ttyUSB2\"/>\n      <property name=\"serial\" value=\"KN2\"/>\n"
             "      <property name=\"firmware\" value=\"v1.2.0\"/>",
         })
        EXPECT_NE(xml.find(part), std::string::npos) << part << "\n" << xml;

    const std::string placeholder = RunErrorJUnit("p", {"unfinished", "not yet", "2024-05-01T14:03:12"}, "h");
    const std::string counts = "tests=\"1\" failures=\"0\" errors=\"1\" skipped=\"0\"";
    EXPECT_NE(placeholder.find("<testsuites name=\"p\" " + counts), std::string::npos) << placeholder;
    EXPECT_NE(placeholder.find("<testsuite name=\"knsimtool-cli run\" " + counts), std::string::npos) << placeholder;
    EXPECT_NE(placeholder.find("<error message=\"not yet\" type=\"unfinished\">"), std::string::npos) << placeholder;
}
