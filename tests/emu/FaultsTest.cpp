// Fault options of the emulated firmware, the paced line, and the port
// coming and going.

#include "emu/EmulatedSimulator.h"

#include "Child.h"
#include "PtyClient.h"
#include "TestFiles.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

namespace {

std::unique_ptr<EmulatedSimulator> StartWith(const CommandFaults& faults) {
    EmulatorOptions o;
    o.Faults = faults;
    auto emu = std::make_unique<EmulatedSimulator>(o);
    emu->Start();
    return emu;
}

TEST(EmuFaults, RepliesTakeTheFaultyShape) {
    const DeviceState s = EmulatedSimulator::InitialState({});
    std::string garbledConfig = "#" + HexBytes(s.Config.data(), s.Config.size());
    garbledConfig[1 + kConfigSize] = 'Z';  // first digit of the middle pair
    const struct {
        void (*set)(CommandFaults&);
        const char* command;
        std::optional<std::string> reply;
    } rows[] = {
        {[](CommandFaults& f) { f.Silent = true; }, "!I", std::nullopt},
        {[](CommandFaults& f) { f.NoHash = true; }, "!I", HexBytes(s.Identity.data(), s.Identity.size())},
        {[](CommandFaults& f) { f.NoHash = true; }, "!K1", "OK"},
        {[](CommandFaults& f) { f.EmptyIdentity = true; }, "!I", ""},
        {[](CommandFaults& f) { f.GarbledHex = true; }, "!C", garbledConfig},
        {[](CommandFaults& f) { f.MissingTag = 'L'; }, "!S", "P06T00M0I0R000000000000"},
    };
    for (const auto& row : rows) {
        CommandFaults faults;
        row.set(faults);
        auto emu = StartWith(faults);
        PtyClient c(emu->PortPath());
        EXPECT_EQ(c.Command(row.command, 300), row.reply) << row.command;
    }

    CommandFaults silent;
    silent.Silent = true;
    auto emu = StartWith(silent);
    PtyClient c(emu->PortPath());
    EXPECT_FALSE(c.Command("!P83", 200));
    EXPECT_EQ(emu->State().Protocol, 6) << "a silent simulator does not act either";
}

TEST(EmuFaults, SlowRepliesArePausedBeforeEveryByte) {
    CommandFaults slow;
    slow.ByteDelayMs = 20;
    auto emu = StartWith(slow);
    PtyClient c(emu->PortPath());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.Command("!K1", 3000), "OK");  // "O", "K" and the line end
    EXPECT_GE(MillisSince(start), 3 * 20 - 5);
}

// The link reads a reply up to its carriage return and purges before the
// next command at once: a line feed that comes later would head the next
// reply. Slow and paced lines alike hand the line end over whole.
TEST(EmuFaults, LineEndArrivesWhole) {
    for (const bool pace : {false, true}) {
        SCOPED_TRACE(pace ? "paced" : "slow");
        EmulatorOptions o;
        o.Pace = pace;
        o.Faults.ByteDelayMs = pace ? 0 : 1;
        EmulatedSimulator emu(o);
        emu.Start();
        PtyClient c(emu.PortPath());
        for (const char* command : {"!I", "!S", "!K1", "!I", "!S", "!K1"}) {
            ::tcflush(c.Fd(), TCIFLUSH);
            c.Write(std::string(command) + "\r");
            std::optional<std::uint8_t> b;
            while ((b = c.ReadByte(1000)) && *b != '\r') {
            }
            ASSERT_EQ(b, std::uint8_t{'\r'}) << command;
            EXPECT_EQ(c.ReadByte(0), std::uint8_t{'\n'}) << command << ": line feed not there with the carriage return";
        }
    }
}

TEST(EmuFaults, PacedReplyTakesAtLeastItsWireTime) {
    EmulatorOptions o;
    o.Pace = true;
    EmulatedSimulator emu(o);
    emu.Start();
    PtyClient c(emu.PortPath());
    const auto start = std::chrono::steady_clock::now();
    const auto reply = c.Command("!C", 2000);
    ASSERT_TRUE(reply);
    // Command (3 bytes) plus reply (1 + 1312 + 2 bytes) at 86.8 us each.
    EXPECT_GE(MillisSince(start), (3 + 1315) * 868 / 10000 - 2);
}

// Paced, a request is acted on only once its last byte has crossed the line:
// the first reply byte cannot come before the request's and its own wire time.
TEST(EmuFaults, PacedRequestIsAnsweredNoSoonerThanItsWireTime) {
    EmulatorOptions o;
    o.Pace = true;
    EmulatedSimulator emu(o);
    emu.Start();
    PtyClient c(emu.PortPath());
    // Also reads the rest of the reply, so that none of it is still on its way.
    auto firstReplyByteAfterUs = [&c](const std::vector<std::uint8_t>& request, std::size_t replySize) {
        ::tcflush(c.Fd(), TCIFLUSH);
        const auto start = std::chrono::steady_clock::now();
        c.Write(request);
        EXPECT_TRUE(c.ReadByte(2000));
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(c.ReadBytes(replySize - 1, 1000).size(), replySize - 1);
        return us;
    };
    const std::string write = "!X0142" + std::string(40, '0') + "\r";  // 47 bytes
    EXPECT_GE(firstReplyByteAfterUs({write.begin(), write.end()}, 4), (47 + 1) * 868 / 10 - 200);  // "OK\r\n"

    ASSERT_EQ(c.Command("!@"), "OK");
    c.Write(std::string("P"));
    ASSERT_EQ(c.ReadByte(1000), std::uint8_t{'c'});
    c.Write(std::string("p"));
    std::vector<std::uint8_t> frame = {0x03, 128};
    frame.resize(2 + 128, 0x5A);
    std::uint8_t sum = 0;
    for (auto b : frame) sum = static_cast<std::uint8_t>(sum + b);
    frame.push_back(static_cast<std::uint8_t>(-sum));  // 131 bytes
    EXPECT_GE(firstReplyByteAfterUs(frame, 3), (131 + 1) * 868 / 10 - 200);
}

TEST(EmuFaults, VanishesAndComesBackBehindTheLink) {
    const TempFolder dir;
    const std::string link = dir / "link";
    std::string announced;
    std::mutex announcedMutex;
    EmulatorOptions o;
    o.LinkPath = link;
    o.Faults.VanishAfter = 2;
    o.Faults.ReturnAfterMs = 200;
    o.OnPortChanged = [&](const std::string& path) {
        std::lock_guard lock(announcedMutex);
        announced = path;
    };
    EmulatedSimulator emu(o);
    emu.Start();
    const std::string firstPath = emu.PortPath();
    EXPECT_EQ(std::filesystem::read_symlink(link), firstPath);

    PtyClient c(link);
    ASSERT_TRUE(c.IsOpen());
    EXPECT_TRUE(c.Command("!S"));
    EXPECT_TRUE(c.Command("!S"));
    c.Write(std::string("!S\r"));
    ASSERT_TRUE(emu.WaitForLogEntry("vanish", 10000));
    // The old port is hung up: poll reports it, a read gets nothing.
    pollfd p{c.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1);
    EXPECT_TRUE(p.revents & POLLHUP);
    c.Close();

    std::string secondPath;
    ASSERT_TRUE(WaitUntil([&] { return !(secondPath = emu.PortPath()).empty(); }, 10000)) << "did not come back";
    EXPECT_EQ(emu.Log().back(), "return " + secondPath);
    EXPECT_EQ(std::filesystem::read_symlink(link), secondPath);
    // Announced from the emulator's thread once the new path is in place.
    EXPECT_TRUE(WaitUntil([&] { std::lock_guard lock(announcedMutex); return announced == secondPath; }, 10000));
    PtyClient again(link);
    EXPECT_EQ(again.Command("!S"), "P06T00M0I0L0000R000000000000");

    emu.Stop();
    EXPECT_FALSE(std::filesystem::is_symlink(link)) << "link left behind";
}

TEST(EmuFaults, RefusesToReplaceAFileWithItsLink) {
    const TempFolder dir;
    const std::string path = dir / "file";
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs("keep me", f);
    std::fclose(f);
    EmulatorOptions o;
    o.LinkPath = path;
    EmulatedSimulator emu(o);
    EXPECT_THROW(emu.Start(), std::runtime_error);
    EXPECT_EQ(std::filesystem::file_size(path), 7u);
}

// A tool that takes the port for exclusive use leaves the flag on the
// terminal when it closes; an unprivileged user must still be able to open
// the port again.
TEST(EmuFaults, PortOpensAgainAfterAnExclusiveUserClosedIt) {
    EmulatedSimulator emu;
    emu.Start();
    const std::string path = emu.PortPath();
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    {
        PtyClient c(path);
        ASSERT_TRUE(c.IsOpen());
        ASSERT_EQ(::ioctl(c.Fd(), TIOCEXCL), 0);
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && ::setuid(65534) != 0) _exit(3);
        for (int i = 0; i < 200; ++i) {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
            if (fd >= 0) _exit(0);
            ::usleep(10000);
        }
        _exit(1);
    }
    const int status = WaitForChild(child, 10000);
    ASSERT_GE(status, 0) << "the child still tried to open the port after 10 s";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "port stayed busy after an exclusive user closed it";
}

}  // namespace
