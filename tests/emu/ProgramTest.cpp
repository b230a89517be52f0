// knsim-emu as a program: its command line, its first output line, the
// link, signals.

#include "emu/EmulatorArgs.h"

#include "Child.h"
#include "PtyClient.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <sstream>

#ifndef KNSIM_EMU_PATH
#error "KNSIM_EMU_PATH must name the program under test"
#endif

namespace {

TEST(EmuArgs, AcceptedOptions) {
    const auto a = ParseEmulatorArgs({"--version", "1.20.255", "--protocol=3", "--ecus", "2", "--codes1",
                                      "P0301,c3fff", "--codes2", "U0100", "--mil", "--no-ack", "7", "--log-times"});
    ASSERT_EQ(a.Error, "");
    const EmulatorOptions& o = a.Options;
    EXPECT_EQ(o.Version, (std::array<std::uint8_t, 3>{1, 20, 255}));
    EXPECT_EQ(o.Protocol, 3);
    EXPECT_TRUE(o.TwoEcus && o.Mil);
    EXPECT_EQ(o.Codes1, (std::vector<std::uint16_t>{0x0301, 0x7FFF}));
    EXPECT_EQ(o.Codes2, (std::vector<std::uint16_t>{0xC100}));
    EXPECT_EQ(o.Boot.NoAckFrame, 7);
    EXPECT_TRUE(o.LogTimes);

    const auto obd = ParseEmulatorArgs({"--obd-link", "/tmp/obd", "--obd-baud", "9600", "--ecu-delay=0", "--live"});
    ASSERT_EQ(obd.Error, "");
    EXPECT_TRUE(obd.Options.Obd.Enabled && obd.Options.Obd.Live);
    EXPECT_EQ(obd.Options.Obd.LinkPath, "/tmp/obd");
    EXPECT_EQ(obd.Options.Obd.Baud, 9600);
    EXPECT_EQ(obd.Options.Obd.EcuDelayMs, 0);
}

TEST(EmuArgs, RefusedOptions) {
    const std::vector<std::vector<std::string>> rows = {
        {"--protocol", "0"},        {"--protocol", "10"},        {"--ecus", "3"},
        {"--version", "1.2"},       {"--version", "1.2.256"},    {"--version", "1.2.x"},
        {"--codes1", "P4000"},      {"--codes1", "X0100"},       {"--codes1", "P030"},
        {"--codes1", "P0301,"},     {"--serial", "12345678901234567"},
        {"--codes2", "P0001,P0002,P0003,P0004,P0005,P0006,P0007,P0008,P0009,P0010,P0011"},
        {"--missing-tag", "Q"},     {"--byte-delay", "-1"},      {"--bogus"},
        {"--link"},                 {"--mil=1"},
        {"--obd", "--obd-baud", "12345"}, {"--live"},          {"--ecu-delay", "20"},
        {"--obd", "--ecu-delay", "-1"},
    };
    for (const auto& row : rows) EXPECT_NE(ParseEmulatorArgs(row).Error, "") << row[0] << " " << (row.size() > 1 ? row[1] : "");
}

TEST(EmuArgs, UsageFitsEightyColumns) {
    const std::string usage = EmulatorUsage();
    for (std::size_t start = 0; start < usage.size();) {
        const std::size_t end = std::min(usage.find('\n', start), usage.size());
        EXPECT_LE(end - start, 80u) << usage.substr(start, end - start);
        start = end + 1;
    }
}

TEST(EmuProgram, PrintsItsPortFirstAndCleansUpOnTermination) {
    const TempFolder dir;
    const std::string link = dir / "link", log = dir / "log";
    Child emu(KNSIM_EMU_PATH, {"--link", link, "--log", log, "--serial", "PROG1"});
    const std::string port = emu.ReadOutputLine(5000);
    ASSERT_EQ(port.rfind("/dev/pts/", 0), 0u) << port;
    EXPECT_EQ(std::filesystem::read_symlink(link), port);

    {
        PtyClient c(link);
        const auto identity = c.Command("!I");
        ASSERT_TRUE(identity);
        EXPECT_EQ(identity->substr(1 + 64, 10), "50524F4731");  // "PROG1"
        ::kill(emu.Pid(), SIGUSR1);  // the reset button
        bool answered = false;
        for (int i = 0; i < 20 && !answered; ++i) {
            c.Write(std::string("P"));
            answered = c.ReadByte(100) == std::uint8_t{'c'};
        }
        EXPECT_TRUE(answered) << "no boot loader after SIGUSR1";
    }
    emu.Signal(SIGTERM);
    EXPECT_EQ(emu.Wait(10000).Status, 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link))) << "link left behind";

    std::ifstream logged(log);
    std::vector<std::string> lines;
    for (std::string l; std::getline(logged, l);) lines.push_back(l);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "!I");
    EXPECT_EQ(lines[1], "reset");
    EXPECT_EQ(lines[2], "poll");
}

// CPU time (user and system) the process has used so far, in clock ticks.
long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return utime + stime;
}

// The emulator runs for hours beside the tool on a shared machine: while
// nothing is said it must sleep, whoever has (or had) its port open. A
// spinning loop would burn about a whole second of CPU per second.
TEST(EmuProgram, SleepsWhileNothingIsSaid) {
    Child emu(KNSIM_EMU_PATH, {"--vanish-after", "1"});
    const std::string port = emu.ReadOutputLine(5000);
    ASSERT_FALSE(port.empty());
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    auto usedInOneSecond = [&] {
        const long before = CpuTicks(emu.Pid());
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return CpuTicks(emu.Pid()) - before;
    };
    EXPECT_LT(usedInOneSecond(), ticksPerSecond / 4) << "no tool attached";
    {
        PtyClient c(port);
        EXPECT_TRUE(c.Command("!S"));
    }
    EXPECT_LT(usedInOneSecond(), ticksPerSecond / 4) << "after the tool closed the port";
    {
        PtyClient c(port);
        c.Write(std::string("!S\r"));  // the second command: the port goes away
        pollfd p{c.Fd(), POLLIN, 0};
        ::poll(&p, 1, 1000);
    }
    EXPECT_LT(usedInOneSecond(), ticksPerSecond / 4) << "after vanishing";
}

}  // namespace
