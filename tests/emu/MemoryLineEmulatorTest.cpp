// The emulated simulator in process behind a line in memory, spoken to on
// the line's host end as a port opened as "memory:NAME" would: the firmware,
// the boot loader, the box unplugged and back, and the paced line. Needs no
// pseudo-terminal, so that it builds for Windows as well.

#include "base/MemoryLine.h"
#include "emu/BootLoader.h"
#include "emu/EmulatedSimulator.h"
#include "emu/Wire.h"

#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;
constexpr auto kHost = MemoryLine::End::Host;

// The host end of the line registered under a name, as a port holds it.
class HostEnd {
public:
    explicit HostEnd(const std::string& name) : line_(MemoryLine::Find(name)) {}
    bool Found() const { return line_ != nullptr; }
    const MemoryLine* Line() const { return line_.get(); }

    bool Write(const std::string& text) { return line_->Write(kHost, text); }
    bool Write(const Bytes& bytes) { return Write(std::string(bytes.begin(), bytes.end())); }

    // Up to n bytes, fewer when none come for timeoutMs.
    Bytes Read(std::size_t n, int timeoutMs) {
        std::string got;
        while (got.size() < n) {
            if (line_->Waiting(kHost) == 0 &&
                !line_->WaitReadable(kHost, Clock::now() + std::chrono::milliseconds(timeoutMs)))
                break;
            got += line_->Take(kHost, n - got.size());
            if (line_->IsCut() && line_->Waiting(kHost) == 0) break;
        }
        return Bytes(got.begin(), got.end());
    }

    // A reply line without its "\r\n", and the time its last byte was seen.
    std::optional<std::string> ReadLine(int timeoutMs = 1000, Clock::time_point* end = nullptr) {
        std::string text;
        while (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
            const Bytes b = Read(1, timeoutMs);
            if (b.empty()) return std::nullopt;
            text += static_cast<char>(b[0]);
        }
        if (end) *end = Clock::now();
        return text.substr(0, text.size() - 2);
    }

    std::optional<std::string> Command(const std::string& command) {
        if (!Write(command + "\r")) return std::nullopt;
        return ReadLine();
    }

private:
    std::shared_ptr<MemoryLine> line_;
};

EmulatorOptions OnLine(const std::string& name) {
    EmulatorOptions o;
    o.MemoryLineName = name;
    o.RestartSilenceMs = 100;
    return o;
}

std::string IdentityReply() {
    const DeviceState s = EmulatedSimulator::InitialState({});
    return "#" + HexBytes(s.Identity.data(), s.Identity.size());
}

Clock::time_point LoggedAt(const EmulatedSimulator& emu, const std::string& text) {
    for (const auto& e : emu.TimedLog())
        if (e.Text == text) return e.At;
    ADD_FAILURE() << text << " not in the log";
    return {};
}

TEST(EmuMemoryLine, AnswersUnderItsPortNameUntilStopped) {
    EmulatedSimulator emu(OnLine("emu-answers"));
    emu.Start();
    EXPECT_EQ(emu.PortPath(), MemoryLine::PortName("emu-answers"));
    HostEnd host("emu-answers");
    ASSERT_TRUE(host.Found());
    EXPECT_EQ(host.Command("!I"), IdentityReply());
    EXPECT_EQ(host.Command("!P83"), "OK");
    EXPECT_EQ(emu.State().Protocol, 3);

    emu.Stop();
    EXPECT_EQ(emu.PortPath(), "");
    EXPECT_FALSE(MemoryLine::Find("emu-answers")) << "a stopped box leaves no line behind";
    EXPECT_FALSE(host.Write("!I\r")) << "the port still holding the line sees it cut";
}

// The diagnostic side waits on descriptors, which a memory line's service
// does not watch: refused when the emulator is made, not found out later.
TEST(EmuMemoryLine, RefusesTheDiagnosticPort) {
    EmulatorOptions o = OnLine("emu-refused");
    o.Obd.Enabled = true;
    EXPECT_THROW(EmulatedSimulator{o}, std::invalid_argument);
}

TEST(EmuMemoryLine, BootLoaderAfterResetWritesAndRestarts) {
    EmulatedSimulator emu(OnLine("emu-boot"));
    DeviceState s = emu.State();
    s.Flash[0x0100] = 0x12;
    emu.SetState(s);
    emu.Start();
    HostEnd host("emu-boot");
    ASSERT_TRUE(host.Found());

    emu.PressReset();
    ASSERT_TRUE(emu.WaitForLogEntry("reset", 2000));
    ASSERT_TRUE(host.Write(Bytes{boot::kPoll}));
    ASSERT_EQ(host.Read(1, 1000), Bytes{boot::kPollAnswer});
    ASSERT_TRUE(host.Write(Bytes{boot::kStart}));
    ASSERT_TRUE(host.Write(BuildFrame(boot::kBlankPageFrame, {0x00, 0x01})));
    EXPECT_EQ(host.Read(3, 1000), BuildFrame(boot::kAckCode, {}));
    ASSERT_TRUE(host.Write(BuildFrame(boot::kCloseFrame, {})));
    ASSERT_TRUE(emu.WaitForLogEntry("firmware", 2000));

    EXPECT_EQ(emu.State().Flash[0x0100], 0xFF) << "the blank page frame was not applied";
    EXPECT_EQ(host.Command("!I"), IdentityReply()) << "the firmware runs again on the same line";
}

// Unplugged, the line is cut and gone from the registry; back, a fresh line
// answers under the same name, and whoever watches hears that name again.
TEST(EmuMemoryLine, VanishesAndReturnsUnderTheSameName) {
    EmulatorOptions o = OnLine("emu-vanish");
    o.Faults.VanishAfter = 1;
    o.Faults.ReturnAfterMs = 100;
    std::mutex mutex;
    std::vector<std::string> changes;
    o.OnPortChanged = [&](const std::string& name) {
        std::lock_guard lock(mutex);
        changes.push_back(name);
    };
    EmulatedSimulator emu(o);
    emu.Start();
    HostEnd before("emu-vanish");
    ASSERT_TRUE(before.Found());
    EXPECT_EQ(before.Command("!I"), IdentityReply());
    EXPECT_EQ(before.Command("!S"), std::nullopt) << "the second command meets an unplugged box";
    EXPECT_TRUE(emu.WaitForLogEntry("vanish", 1000));
    EXPECT_FALSE(before.Write("!I\r")) << "the old line is cut";

    ASSERT_TRUE(emu.WaitForLogEntry("return memory:emu-vanish", 3000));
    HostEnd after("emu-vanish");
    ASSERT_TRUE(after.Found());
    EXPECT_NE(after.Line(), before.Line());
    EXPECT_EQ(emu.PortPath(), "memory:emu-vanish");
    EXPECT_EQ(after.Command("!I"), IdentityReply());
    // The callback comes after the log entry, outside the emulator's lock.
    EXPECT_TRUE(WaitUntil([&] {
        std::lock_guard lock(mutex);
        return !changes.empty();
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(changes, std::vector<std::string>{"memory:emu-vanish"});
}

// Paced, the line in memory is as slow as the wire: the command counts when
// its carriage return could have crossed, and the reply's last byte comes
// no sooner than the reply's wire time after that. Both are lower bounds,
// which a slow machine can only exceed.
TEST(EmuMemoryLine, PacedReplyIsNoFasterThanTheLine) {
    EmulatorOptions o = OnLine("emu-paced");
    o.Pace = true;
    EmulatedSimulator emu(o);
    emu.Start();
    HostEnd host("emu-paced");
    ASSERT_TRUE(host.Found());

    const auto sent = Clock::now();
    ASSERT_TRUE(host.Write(std::string("!C\r")));
    Clock::time_point end;
    const auto reply = host.ReadLine(2000, &end);
    ASSERT_TRUE(reply);
    const auto logged = LoggedAt(emu, "!C");
    EXPECT_GE(logged - sent, 3 * kByteTime) << "the command counted before it could have crossed";
    EXPECT_GE(end - logged, static_cast<long>(reply->size() + 2) * kByteTime)
        << "the reply came faster than 115200 baud";
}

}  // namespace
