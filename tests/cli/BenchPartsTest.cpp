// The pure parts of a bench run: the lists after --port and --serial, the
// options that choose the boxes, file names per box, the report and its exit
// status, and a progress row.
#include "cli/BenchProgress.h"
#include "cli/BenchReport.h"
#include "cli/CliError.h"
#include "cli/CliOptions.h"
#include "link/FileNames.h"
#include "cli/NameList.h"

#include <gtest/gtest.h>

namespace {

using Names = std::vector<std::string>;

TEST(BenchParts, NameLists) {
    const struct {
        const char* Text;
        Names Expected;
    } rows[] = {
        {"ttyUSB0", {"ttyUSB0"}},
        {"ttyUSB0,ttyUSB1", {"ttyUSB0", "ttyUSB1"}},
        {" ttyUSB1 ,\tttyUSB0 ", {"ttyUSB1", "ttyUSB0"}},  // blanks dropped, order kept
        {"a,,b,", {"a", "b"}},
        {"a,b,a", {"a", "b"}},  // named twice: once
        {",, ,", {}},
        {"/dev/pts/3,/dev/pts/10", {"/dev/pts/3", "/dev/pts/10"}},
    };
    for (const auto& row : rows) EXPECT_EQ(ParseNameList(row.Text), row.Expected) << row.Text;
}

TEST(BenchParts, OptionsChooseTheBoxes) {
    const struct {
        Names Args;
        bool Many;
        Names Ports;
        Names Serials;
    } rows[] = {
        {{"--port", "ttyUSB0", "info"}, false, {"ttyUSB0"}, {}},
        {{"--port", "ttyUSB0,ttyUSB1", "info"}, true, {"ttyUSB0", "ttyUSB1"}, {}},
        {{"--port", "ttyUSB0,ttyUSB0", "info"}, false, {"ttyUSB0"}, {}},
        {{"--serial", "KN1,KN2", "status"}, true, {}, {"KN1", "KN2"}},
        {{"--all", "apply", "x.kns"}, true, {}, {}},
        {{"--all", "--json", "set-codes", "--mil", "on"}, true, {}, {}},  // every command has JSON on a bench
    };
    for (const auto& row : rows) {
        const CliOptions o = ParseCliOptions(row.Args);
        EXPECT_EQ(o.ManyBoxes(), row.Many) << row.Args[1];
        EXPECT_EQ(o.Ports, row.Ports);
        EXPECT_EQ(o.Serials, row.Serials);
    }
    const CliOptions box = ParseCliOptions({"--all", "info"}).ForBox("/dev/pts/7");
    EXPECT_FALSE(box.ManyBoxes());
    EXPECT_EQ(box.Port, "/dev/pts/7");

    const Names refused[] = {
        {"--all", "--port", "a", "info"},
        {"--port", "a", "--serial", "b", "info"},
        {"--all", "ports"},
        {"--port", "a,b", "watch"},
        {"--port", ",", "info"},
        {"--all", "save", "bench.kns"},  // every box would write the same file
        {"--port", "a", "--json", "apply", "x.kns"},
    };
    for (const auto& args : refused) EXPECT_THROW(ParseCliOptions(args), UsageError) << args[0] << " " << args[1];
    EXPECT_NO_THROW(ParseCliOptions({"--all", "save", "bench-{serial}.kns"}));
}

TEST(BenchParts, FileNames) {
    const struct {
        const char* Typed;
        const char* Saved;
    } rows[] = {
        {"bench1", "bench1.kns"},             // as the window's save dialog gives it
        {"bench1.kns", "bench1.kns"},
        {"bench1.xml", "bench1.xml"},
        {"dir.d/bench1", "dir.d/bench1.kns"},  // the extension of the name, not of a folder
        {"dir\\bench1", "dir\\bench1.kns"},
    };
    for (const auto& row : rows) EXPECT_EQ(ConfigurationFileName(row.Typed), row.Saved) << row.Typed;

    EXPECT_EQ(BoxFileName("bench-{serial}.kns", "KN0001", "/dev/ttyUSB0"), "bench-KN0001.kns");
    EXPECT_EQ(BoxFileName("{port}-{serial}", "KN/../x", "/dev/ttyUSB0"), "ttyUSB0-KN_.._x");
    EXPECT_EQ(BoxFileName("b-{serial}", "..", "COM3"), "b-__");

    // Two boxes of one bench never share a file: a device server's two
    // protocols on one address are two boxes.
    const struct {
        const char* Port;
        const char* File;
    } ports[] = {
        {"/dev/ttyUSB0", "b-ttyUSB0.kns"},
        {"ttyUSB1", "b-ttyUSB1.kns"},
        {"COM3", "b-COM3.kns"},
        {"rfc2217://a:7000", "b-rfc2217_a_7000.kns"},
        {"tcp://a:7000", "b-tcp_a_7000.kns"},
        {"TCP://a:7000/", "b-tcp_a_7000.kns"},  // the same server as the one above
        {"rfc2217://[::1]:7000", "b-rfc2217____1__7000.kns"},
    };
    for (const auto& row : ports) EXPECT_EQ(BoxFileName("b-{port}.kns", "KN1", row.Port), row.File) << row.Port;
}

BoxResult Box(const char* port, const char* serial, int status, const char* error, const char* out = "") {
    return {port, serial, status, error, out};
}

TEST(BenchParts, ResultsAndExitStatus) {
    EXPECT_EQ(ResultWord(Box("a", "s", 0, "")), "ok");
    EXPECT_EQ(ResultWord(Box("a", "s", 1, "")), "differs");
    EXPECT_EQ(ResultWord(Box("a", "s", 1, "Can't set protocol")), "failed");
    EXPECT_EQ(ResultWord(Box("a", "s", 130, "Interrupted")), "interrupted");

    const struct {
        std::vector<int> Statuses;
        int Exit;
    } rows[] = {{{0, 0, 0}, 0}, {{0, 1, 0}, 1}, {{1, 3, 0}, 3}, {{3, 130, 1}, 130}, {{}, 0}};
    for (const auto& row : rows) {
        std::vector<BoxResult> boxes;
        for (int s : row.Statuses) boxes.push_back(Box("p", "s", s, s ? "x" : ""));
        EXPECT_EQ(BenchExitStatus(boxes), row.Exit);
    }
}

TEST(BenchParts, TableAndJson) {
    const std::vector<BoxResult> boxes = {
        Box("/dev/pts/3", "KN0001", 0, "", "{\"port\":\"/dev/pts/3\",\"serial\":\"KN0001\",\"mil\":true,\"ecus\":[{\"a\":1},{\"b\":\"x,}\"}]}\n"),
        Box("/dev/pts/10", "", 1, "Can't find KARNOL simulator"),
        Box("", "KN0009", 1, "No KARNOL simulator with serial number KN0009 found"),
    };
    EXPECT_EQ(BenchTable(boxes, false),
              "PORT         SERIAL  RESULT  ERROR\n"
              "/dev/pts/3   KN0001  ok\n"
              "/dev/pts/10  -       failed  Can't find KARNOL simulator\n"
              "-            KN0009  failed  No KARNOL simulator with serial number KN0009 found\n");
    EXPECT_NE(BenchTable(boxes, true).find("\n== /dev/pts/3 (KN0001)\n{\"port\""), std::string::npos);

    EXPECT_EQ(BenchJson(boxes),
              "[{\"port\":\"/dev/pts/3\",\"serial\":\"KN0001\",\"result\":\"ok\",\"error\":null,\"mil\":true,"
              "\"ecus\":[{\"a\":1},{\"b\":\"x,}\"}]},"
              "{\"port\":\"/dev/pts/10\",\"serial\":null,\"result\":\"failed\",\"error\":\"Can't find KARNOL simulator\"},"
              "{\"port\":null,\"serial\":\"KN0009\",\"result\":\"failed\","
              "\"error\":\"No KARNOL simulator with serial number KN0009 found\"}]\n");
    EXPECT_TRUE(JsonMembers("[1]").empty());
    EXPECT_TRUE(JsonMembers("{\"a\":").empty());
}

TEST(BenchParts, ProgressRow) {
    using P = BenchProgress::Phase;
    EXPECT_EQ(BenchProgress::RowText("/dev/pts/3", P::Transferring, 56, 112, ""),
              "/dev/pts/3  [##########..........] transferring page 56 of 112");
    EXPECT_EQ(BenchProgress::RowText("COM3", P::Failed, 0, 0, "The boot loader did not answer"),
              "COM3  failed: The boot loader did not answer");
    EXPECT_EQ(BenchProgress::RowText("COM3", P::ResetPrompt, 0, 0, ""), "COM3  waiting for the reset button");
}

}  // namespace
