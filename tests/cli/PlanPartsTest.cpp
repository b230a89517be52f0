// The test plan's pure parts: the reader's complaints with their places, the
// text that goes into the JUnit file, the output kept of a command.
#include "cli/CliError.h"
#include "cli/StepProcess.h"
#include "cli/TestPlan.h"
#include "cli/XmlText.h"

#include "ExampleSetup.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const std::string Step = "[[step]]\nname = \"s\"\n";

std::string Complaint(const std::string& text) {
    try {
        (void)ParseTestPlan(text, "p.toml");
    } catch (const CliError& e) {
        return std::to_string(e.ExitStatus()) + " " + e.what();
    }
    return "(accepted)";
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
        {Step + "mil = \"on\"\n", "p.toml:3:7: 'mil' must be true or false, not a text"},
        {Step + "ecu1 = [\"P0301\", \"X9999\"]\n", "p.toml:3:18: ecu1: 'X9999' is not a trouble code"},
        {Step + "ecu2 = \"P0301 P4000\"\n", "p.toml:3:8: ecu2: 'P4000' is not a trouble code"},
        {Step + "timeout = 0\n", "p.toml:3:11: 'timeout' must be more than 0"},
        {Step + "apply = \"no-such-file.kns\"\n", "p.toml:3:9: Cannot open "},
        {Step + "protocol = 3\napply = \"x.kns\"\n", "p.toml:4:9: 'apply' takes the whole set-up from its file"},
        {"[env]\nKNSIM_PORT = \"x\"\n" + Step, "p.toml:2:1: 'KNSIM_PORT' is set by the run itself"},
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
        "[[step]]\nname = \"a\"\necu1 = []\nmil = false\nrun = \"x\"\n[step.expect]\necu2 = [\"U0100\"]\n"
        "[[step]]\nname = \"b\"\napply = \"" + example.filename().string() + "\"\ntimeout = 1.5\n",
        (example.parent_path() / "plan.toml").string());
    ASSERT_EQ(plan.Steps.size(), 2u);
    const PlanStep& a = plan.Steps[0];
    EXPECT_EQ(a.TimeoutSeconds, 5);
    EXPECT_EQ(a.Codes.Ecu[0], std::vector<std::uint16_t>{});
    EXPECT_FALSE(a.Codes.Ecu[1]);
    EXPECT_EQ(a.Codes.Mil, false);
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

TEST(XmlText, AnyBytesMakeWellFormedText) {
    const struct {
        std::string In;
        bool Attribute;
        std::string Out;
    } rows[] = {
        {"a<b>&\"'", false, "a&lt;b&gt;&amp;\"'"},
        {"a\"'\n\t", true, "a&quot;&apos;&#10;&#9;"},
        {std::string("\x01\x1b[0m\r\x7f", 7), false, "\\x01\\x1B[0m&#13;\x7f"},
        {std::string("nul\0end", 7), false, "nul\\x00end"},
        {"caf\xC3\xA9 \xE2\x82\xAC", false, "caf\xC3\xA9 \xE2\x82\xAC"},  // UTF-8 kept
        {"ge\xF6" "ffnet \xC3", false, "ge\xC3\xB6" "ffnet \xC3\x83"},   // Latin-1 and a cut sequence
        {"\xED\xA0\x80 \xEF\xBF\xBF", false, "\xC3\xAD\xC2\xA0\xC2\x80 \\uFFFF"},  // a surrogate, U+FFFF
    };
    for (const auto& row : rows) EXPECT_EQ(XmlEscaped(row.In, row.Attribute), row.Out) << row.In;
}

TEST(StepOutput, LongOutputKeepsItsEndsWholeCharacters) {
    EXPECT_EQ(CutOutputText("short"), "short");
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
