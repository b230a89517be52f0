// The code-list parser and the text helpers of the command line, in-process.
#include "cli/CliError.h"
#include "cli/CodeList.h"
#include "cli/JsonWriter.h"
#include "cli/TerminalText.h"

#include <gtest/gtest.h>

namespace {

struct GoodList {
    const char* List;
    std::vector<std::uint16_t> Words;
};

TEST(CodeList, AcceptsCodesWithAnySeparatorAndCase) {
    const GoodList rows[] = {
        {"P0301,P0420", {0x0301, 0x0420}},
        {"p0301 c1234;B3fff", {0x0301, 0x5234, 0xBFFF}},
        {"U0100", {0xC100}},
        {" ,;P0001,, ;", {0x0001}},
        {"P0001\tP0002", {0x0001, 0x0002}},
        {"", {}},
        {"P0000,P0001,P0002,P0003,P0004,P0005,P0006,P0007,P0008,P0009",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.List);
        EXPECT_EQ(ParseCodeList(row.List, "ECU1"), row.Words);
    }
}

struct BadList {
    const char* List;
    const char* Named;  // what the message must name
};

TEST(CodeList, RefusesBadCodesNamingThem) {
    const BadList rows[] = {
        {"P4000", "'P4000'"},          // first digit above 3 would lose bits on the wire
        {"P0301,X0301", "'X0301'"},    // unknown category
        {"P030", "'P030'"},            // too short
        {"P03011", "'P03011'"},        // too long
        {"P03G1", "'P03G1'"},          // not hexadecimal
        {"P0301.P0420", "'P0301.P0420'"},  // a point is no separator
        {"0301", "'0301'"},            // no letter
        {"P0000,P0001,P0002,P0003,P0004,P0005,P0006,P0007,P0008,P0009,P000A", "11 given"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.List);
        try {
            ParseCodeList(row.List, "ECU2");
            ADD_FAILURE() << "accepted";
        } catch (const UsageError& e) {
            EXPECT_EQ(e.ExitStatus(), ExitUsage);
            const std::string message = e.what();
            EXPECT_NE(message.find(row.Named), std::string::npos) << message;
            EXPECT_EQ(message.rfind("ECU2", 0), 0u) << message;
        }
    }
}

TEST(JsonWriter, EscapesWhatWouldBreakTheDocument) {
    JsonWriter j;
    j.BeginObject()
        .Field("a", std::string_view("q\"b\\s\nx\x01"))
        .Key("list").BeginArray().Number(-3).Bool(true).Null().EndArray()
        .Field("latin", std::string_view("\xC4"))
        .EndObject();
    EXPECT_EQ(j.Text(), "{\"a\":\"q\\\"b\\\\s\\nx\\u0001\",\"list\":[-3,true,null],\"latin\":\"\\u00c4\"}\n");
}

TEST(TerminalText, ReencodesLatin1AndKeepsUtf8) {
    // The storage's German message carries a Latin-1 ö; the path is UTF-8.
    EXPECT_EQ(ForTerminal("Datei /tmp/\xC3\xA4.kns kann nicht ge\xF6" "ffnet werden"),
              "Datei /tmp/\xC3\xA4.kns kann nicht ge\xC3\xB6" "ffnet werden");
    EXPECT_EQ(ForTerminal("plain"), "plain");
    EXPECT_EQ(ForTerminal("\xC3"), "\xC3\x83");  // a cut-off sequence is Latin-1
}

}  // namespace
