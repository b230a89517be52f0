// The command line's options, in-process: what scripts rely on being
// accepted, and what must be refused as wrong usage before anything is sent.
#include "cli/CliError.h"
#include "cli/CliOptions.h"
#include "cli/HelpText.h"
#include "link/PortChoice.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

namespace {

CliOptions Parse(std::vector<std::string> args) { return ParseCliOptions(args); }

TEST(CliOptions, GlobalOptionsStandAnywhere) {
    const CliOptions a = Parse({"--port", "/dev/pts/3", "--json", "show"});
    const CliOptions b = Parse({"show", "--json", "--port=/dev/pts/3"});
    for (const auto& o : {a, b}) {
        EXPECT_EQ(o.Command, "show");
        EXPECT_EQ(o.Port, "/dev/pts/3");
        EXPECT_TRUE(o.Json);
    }
}

TEST(CliOptions, CommandValues) {
    const CliOptions p = Parse({"--port", "x", "set-protocol", "6", "--ecus", "2"});
    EXPECT_EQ(p.Protocol, 6);
    EXPECT_EQ(p.EcuCount, 2);

    const CliOptions c = Parse({"--serial", "SN1", "set-codes", "--ecu2", "", "--mil", "OFF"});
    EXPECT_EQ(c.Serial, "SN1");
    EXPECT_FALSE(c.Ecu1Codes.has_value());
    ASSERT_TRUE(c.Ecu2Codes.has_value());  // an empty list clears the ECU
    EXPECT_EQ(*c.Ecu2Codes, "");
    ASSERT_TRUE(c.Mil.has_value());
    EXPECT_FALSE(*c.Mil);

    EXPECT_EQ(Parse({"--port", "x", "update-firmware", "--reset-button"}).Update, UpdateMode::ResetButton);
    EXPECT_EQ(Parse({"--port", "x", "update-firmware"}).Update, UpdateMode::IfNeeded);
    EXPECT_EQ(Parse({"--port", "x", "save", "a.kns"}).File, "a.kns");
    EXPECT_TRUE(Parse({"ports", "--probe"}).Probe);  // ports needs no --port
}

TEST(CliOptions, HelpForms) {
    EXPECT_EQ(Parse({"--help"}).HelpTopic, "");
    EXPECT_EQ(Parse({"help"}).HelpTopic, "");
    EXPECT_EQ(Parse({"help", "diff"}).HelpTopic, "diff");
    // CMD --help needs nothing else of the command line.
    const CliOptions o = Parse({"set-codes", "--help"});
    EXPECT_TRUE(o.Help);
    EXPECT_EQ(o.HelpTopic, "set-codes");
    for (const auto& name : CliCommandNames()) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(CommandHelp(name).empty());
        EXPECT_NE(GeneralHelp().find(name), std::string::npos);
    }
}

// Help is read in 80-column terminals; a longer line wraps mid-word.
TEST(CliOptions, HelpFitsEightyColumns) {
    std::vector<std::pair<std::string, std::string>> texts = {{"general", GeneralHelp()}};
    for (const auto& name : CliCommandNames()) texts.emplace_back(name, CommandHelp(name));
    for (const auto& [name, text] : texts) {
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = std::min(text.find('\n', start), text.size());
            EXPECT_LE(end - start, 80u) << name << ": " << text.substr(start, end - start);
            start = end + 1;
        }
    }
}

#ifdef KNS_SOURCE_DIR
// Both manual pages tell of the server addresses what both programs' help
// tells, as sentences: a capital first and a full stop at the end.
TEST(CliOptions, ManualPagesSayOfServerAddressesWhatTheHelpSays) {
    for (const char* page : {"knsimtool.1", "knsimtool-cli.1"}) {
        SCOPED_TRACE(page);
        std::istringstream lines(ReadFile(std::string(KNS_SOURCE_DIR) + "/packaging/man/" + page));
        std::vector<std::pair<std::string, std::string>> told;  // name, its paragraph
        bool inParagraph = false;
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(".BI ", 0) == 0 && line.find("://") != std::string::npos) {
                line.erase(std::remove(line.begin() + 4, line.end(), ' '), line.end());
                told.emplace_back(line.substr(4), "");
                inParagraph = true;
            } else if (line.empty() || line[0] == '.') {
                inParagraph = false;
            } else if (inParagraph) {
                for (std::size_t at; (at = line.find("\\-")) != std::string::npos;) line.erase(at, 1);
                told.back().second += (told.back().second.empty() ? "" : " ") + line;
            }
        }
        std::vector<std::pair<std::string, std::string>> expected;
        for (const PortNameHelp& entry : ServerAddressHelp) {
            std::string sentence = std::string(entry.Lines[0]) + " " + entry.Lines[1] + ".";
            sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(sentence[0])));
            expected.emplace_back(entry.Name, sentence);
        }
        EXPECT_EQ(told, expected);
    }
}
#endif

TEST(CliOptions, WrongUsageIsRefused) {
    const std::vector<std::vector<std::string>> rows = {
        {},
        {"frobnicate"},
        {"show"},                                        // no port
        {"--port", "x", "--serial", "y", "show"},        // both
        {"--port"},                                      // value missing
        {"--port", "x", "show", "extra"},
        {"--port", "x", "show", "--probe"},              // option of another command
        {"--port", "x", "watch", "--json"},              // no JSON there
        {"--port", "x", "set-protocol"},
        {"--port", "x", "set-protocol", "0"},
        {"--port", "x", "set-protocol", "10"},
        {"--port", "x", "set-protocol", "6", "--ecus", "3"},
        {"--port", "x", "set-codes", "--mil", "maybe"},
        {"--port", "x", "apply"},
        {"--port", "x", "update-firmware", "--always", "--reset-button"},
        {"--port", "x", "-q", "show"},
        {"help", "frobnicate"},
    };
    for (const auto& row : rows) {
        std::string line;
        for (const auto& a : row) line += a + " ";
        SCOPED_TRACE(line);
        EXPECT_THROW(Parse(row), UsageError);
    }
}

}  // namespace
