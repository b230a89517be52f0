// A bench of simulators end to end: several knsim-emu children, one command
// line for all of them, each box's own wire traffic and its row in the report.
#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <memory>
#include <sstream>

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The report's row of port: its words after the port, blanks squeezed.
std::string Row(const std::string& report, const std::string& port) {
    for (const auto& line : Lines(report)) {
        if (line.rfind(port + " ", 0) != 0) continue;
        std::istringstream words(line.substr(port.size()));
        std::string row;
        for (std::string w; words >> w;) row += (row.empty() ? "" : " ") + w;
        return row;
    }
    return "(no row)";
}

using Emulators = std::vector<std::unique_ptr<EmulatorChild>>;

Emulators Start(const std::vector<std::vector<std::string>>& args) {
    Emulators e;
    for (const auto& a : args) e.push_back(std::make_unique<EmulatorChild>(a));
    return e;
}

std::string PortList(const Emulators& emulators) {
    std::string list;
    for (const auto& e : emulators) list += (list.empty() ? "" : ",") + e->Port();
    return list;
}

std::size_t Frames(const EmulatorChild& emu) {
    const auto log = emu.Log();
    return static_cast<std::size_t>(
        std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.rfind("frame ", 0) == 0; }));
}

TEST(CliBench, EveryBoxGetsTheLinesOfASingleRunAndSilentPortsOnlyTheSearch) {
    auto boxes = Start({{}, {"--serial", "KN2"}, {"--serial", "KN3"}});
    const Commands codes = {"!X0142" "0301" + Zeros(9), "!X0156" + Zeros(10), "!F0181"};
    const auto set = RunCli({"--port", PortList(boxes), "set-codes", "--ecu1", "P0301"});
    ASSERT_EQ(set.Status, 0) << set.Err << set.Out;
    for (const auto& b : boxes) {
        EXPECT_EQ(b->Commands(), Session(codes)) << b->Port();
        EXPECT_EQ(Row(set.Out, b->Port()).substr(0, 2), "KN");
        b->ClearLog();
    }

    // --all finds the three among the listed ports; the silent one hears the
    // search's two "!I" and nothing more.
    EmulatorChild silent({"--silent"});
    const auto apply = RunCli({"--all", "apply", ExampleFile()}, PortList(boxes) + "," + silent.Port());
    ASSERT_EQ(apply.Status, 0) << apply.Err << apply.Out;
    const Commands sent = {"!P86", "!S", "!C", "!K1", "!X0142" "0301" "0420" + Zeros(8), "!X0156" "C100" + Zeros(9),
                           "!F1281"};
    for (const auto& b : boxes) {
        EXPECT_EQ(b->Commands(), Session(sent)) << b->Port();
        EXPECT_TRUE(Contains(Row(apply.Out, b->Port()), " ok")) << apply.Out;
    }
    EXPECT_EQ(silent.Commands(), (Commands{"!I", "!I"}));
    EXPECT_EQ(Row(apply.Out, silent.Port()), "(no row)") << apply.Out;
}

TEST(CliBench, OneBoxFailingLeavesTheOthersAndSetsTheExitStatus) {
    auto boxes = Start({{"--serial", "KN1"}, {"--silent"}, {"--serial", "KN3", "--refuse-protocol"}, {"--serial", "KN4"}});
    // Names as a bench's adapters get them, where a plain sort would put
    // ttyUSB10 before ttyUSB2.
    const TempFolder folder;
    const std::vector<std::string> ports = {folder / "ttyUSB10", folder / "ttyUSB2", folder / "ttyUSB1",
                                            folder / "ttyUSB9"};
    for (std::size_t i = 0; i < ports.size(); ++i) std::filesystem::create_symlink(boxes[i]->Port(), ports[i]);
    const auto r = RunCli({"--port", ports[0] + "," + ports[1] + "," + ports[2] + "," + ports[3], "set-protocol", "3"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(Row(r.Out, ports[0]), "KN1 ok");
    EXPECT_EQ(Row(r.Out, ports[1]), "- failed No KARNOL simulator found") << r.Out;
    EXPECT_EQ(Row(r.Out, ports[2]), "KN3 failed Can't set protocol") << r.Out;
    EXPECT_EQ(Row(r.Out, ports[3]), "KN4 ok");
    for (const std::size_t i : {0u, 3u}) EXPECT_EQ(boxes[i]->Count("!P03"), 1u);
    EXPECT_EQ(boxes[2]->Commands().back(), "!K0");  // remote mode left where it was entered

    // Rows in natural port order, whatever order the ports were given in.
    const auto lines = Lines(r.Out);
    ASSERT_EQ(lines.size(), 5u) << r.Out;
    std::vector<std::string> shown;
    for (std::size_t i = 1; i < lines.size(); ++i) shown.push_back(lines[i].substr(0, lines[i].find(' ')));
    EXPECT_EQ(shown, (std::vector<std::string>{ports[2], ports[1], ports[3], ports[0]})) << r.Out;
}

TEST(CliBench, BoxVanishingMidUpdateFailsAlone) {
    auto boxes = Start({{"--version", "1.1.0", "--restart-ms", "300", "--ack-delay", "2"},
                        {"--version", "1.0.0", "--ack-delay", "10"},
                        {"--version", "1.1.0", "--restart-ms", "300", "--ack-delay", "2"}});
    Child update(KNS_CLI_PATH, {"--port", PortList(boxes), "update-firmware"},
                 {{"KNSIM_CLI_PORTS", "kns-no-such-port"}});
    ASSERT_TRUE(boxes[1]->WaitForLog("frame 03", 20000, 3)) << update.Err();
    boxes[1]->Kill();
    const Child::Result r = update.Wait(60000);
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_TRUE(Contains(Row(r.Out, boxes[1]->Port()), "failed Update Fehler!")) << r.Out;
    for (const std::size_t i : {0u, 2u}) {
        EXPECT_EQ(Row(r.Out, boxes[i]->Port()), "KNEMU0001 ok") << r.Out;
        EXPECT_EQ(Frames(*boxes[i]), 218u);
        EXPECT_EQ(boxes[i]->Count("restart"), 1u);
    }
    // Not a terminal: one line per box and phase.
    EXPECT_TRUE(Contains(r.Err, boxes[0]->Port() + ": transferring 112 pages\n")) << r.Err;
    EXPECT_TRUE(Contains(r.Err, boxes[1]->Port() + ": failed: ")) << r.Err;
}

// Named or searched, no box starts before the one prompt has named them all.
TEST(CliBench, ResetPromptIsAskedOnceNamingTheBoxes) {
    for (const bool searched : {false, true}) {
        SCOPED_TRACE(searched ? "--all" : "--port");
        auto boxes = Start({{"--version", "0.9.9", "--restart-ms", "300"}, {"--version", "0.9.9", "--restart-ms", "300"}});
        const std::vector<std::string> which =
            searched ? std::vector<std::string>{"--all"} : std::vector<std::string>{"--port", PortList(boxes)};
        std::vector<std::string> args = which;
        args.insert(args.end(), {"update-firmware", "--reset-button"});
        Child update(KNS_CLI_PATH, args, {{"KNSIM_CLI_PORTS", searched ? PortList(boxes) : "kns-no-such-port"}});
        ASSERT_TRUE(WaitUntil([&] { return Contains(update.Err(), "reset button on: "); }, 10000)) << update.Err();
        for (const auto& b : boxes) b->PressReset();
        const Child::Result r = update.Wait(60000);
        EXPECT_EQ(r.Status, 0) << r.Err;
        const auto first = r.Err.find("Please press the simulators reset button on: ");
        EXPECT_EQ(first, r.Err.rfind("Please press")) << r.Err;
        for (const auto& b : boxes) {
            EXPECT_TRUE(Contains(r.Err.substr(first, r.Err.find('\n', first) - first), b->Port())) << r.Err;
            EXPECT_EQ(Frames(*b), 218u);
        }
    }
}

TEST(CliBench, SerialListWithOneMissingAndTheJsonDocument) {
    auto boxes = Start({{"--serial", "KN-A"}, {"--serial", "KN-B", "--mil"}, {"--serial", "KN-C"}});
    const auto r = RunCli({"--serial", "KN-B,KN-X,KN-A", "--json", "status"}, PortList(boxes));
    EXPECT_EQ(r.Status, 1) << r.Err;
    const auto a = "{\"port\":\"" + boxes[0]->Port() +
                   "\",\"serial\":\"KN-A\",\"result\":\"ok\",\"error\":null,\"protocol\":6,";
    const auto b = "{\"port\":\"" + boxes[1]->Port() +
                   "\",\"serial\":\"KN-B\",\"result\":\"ok\",\"error\":null,\"protocol\":6,";
    EXPECT_EQ(r.Out.rfind("[", 0), 0u) << r.Out;
    EXPECT_TRUE(Contains(r.Out, a)) << r.Out;
    EXPECT_TRUE(Contains(r.Out, b)) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "\"mil\":true,")) << r.Out;
    EXPECT_TRUE(Contains(r.Out, "{\"port\":null,\"serial\":\"KN-X\",\"result\":\"failed\","
                                "\"error\":\"No KARNOL simulator with serial number KN-X found\"}]\n"))
        << r.Out;
    // The third box was asked who it is, and left alone after that.
    EXPECT_EQ(boxes[2]->Commands(), (Commands{"!I", "!B"}));
}

TEST(CliBench, APortNamedTwiceIsUsedOnceAndSaveNamesAFilePerBox) {
    const TempFolder folder;
    EmulatorChild a({"--serial", "KN-A"});
    EmulatorChild b({"--serial", "KN-B"});
    std::filesystem::create_symlink(a.Port(), folder / "ttyA");
    // A link and its target, and a name given twice: one box each.
    const auto r = RunCli({"--port", folder / "ttyA," + a.Port() + "," + b.Port() + "," + b.Port(), "save",
                           folder / "bench-{serial}"});
    EXPECT_EQ(r.Status, 0) << r.Err << r.Out;
    EXPECT_EQ(Lines(r.Out).size(), 3u) << r.Out;
    for (const EmulatorChild* e : {&a, &b}) EXPECT_EQ(e->Count("!I"), 1u) << e->Port();
    // No extension given: ".kns", as the window's save dialog gives it.
    for (const char* name : {"bench-KN-A.kns", "bench-KN-B.kns"})
        EXPECT_TRUE(Contains(ReadFile(folder / name), "<CONFIG>")) << name;
}

TEST(CliBench, InterruptLetsTransfersFinishAndLeavesEveryPortClean) {
    auto boxes = Start({{"--version", "1.1.0", "--restart-ms", "300", "--ack-delay", "3"},
                        {"--version", "1.1.0", "--restart-ms", "300", "--ack-delay", "3"}});
    EmulatorChild current;  // needs no update: read and left at once
    Child update(KNS_CLI_PATH, {"--all", "update-firmware"},
                 {{"KNSIM_CLI_PORTS", PortList(boxes) + "," + current.Port()}});
    for (const auto& b : boxes) ASSERT_TRUE(b->WaitForLog("frame 03", 20000, 2)) << update.Err();
    update.Signal(SIGINT);
    const Child::Result r = update.Wait(60000);
    EXPECT_EQ(r.Status, 128 + SIGINT) << r.Err;
    for (const auto& b : boxes) {
        EXPECT_EQ(Frames(*b), 218u) << "a transfer under way was cut short";
        EXPECT_EQ(Row(r.Out, b->Port()), "KNEMU0001 interrupted Interrupted") << r.Out;
    }
    for (const EmulatorChild* e : {boxes[0].get(), boxes[1].get(), &current}) {
        EXPECT_EQ(e->Count("!K1"), e->Count("!K0")) << e->Port();
        if (e->Count("!K1") > 0) {
            EXPECT_EQ(e->Commands().back(), "!K0");
        }
        const std::string lock = std::filesystem::path(std::filesystem::canonical(e->Port())).filename().string();
        const char* folder = std::getenv("KNSIM_LOCK_DIR");
        EXPECT_FALSE(std::filesystem::exists(std::string(folder ? folder : "/run/lock") + "/LCK.." + lock));
    }
}

}  // namespace
