// The emulated boot loader: handshake, frames, acknowledgements, the flash it
// writes and the restart with the new header.

#include "emu/BootLoader.h"
#include "emu/EmulatedSimulator.h"
#include "PtyClient.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t code, const Bytes& payload) {
    Bytes f(payload.size() + 2);
    f[0] = code;
    f[1] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), f.begin() + 2);
    std::uint8_t sum = 0;
    for (auto b : f) sum = static_cast<std::uint8_t>(sum + b);
    f.push_back(static_cast<std::uint8_t>(-sum));
    return f;
}

std::uint8_t Sum(const Bytes& bytes) {
    std::uint8_t sum = 0;
    for (auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

struct Booted {
    explicit Booted(EmulatorOptions o = {}) : emu(WithShortRestart(std::move(o))) {
        emu.Start();
        client = std::make_unique<PtyClient>(emu.PortPath());
    }
    static EmulatorOptions WithShortRestart(EmulatorOptions o) {
        o.RestartSilenceMs = 150;
        return o;
    }
    // "!@", the poll and the start byte; true when the boot loader answered.
    bool Handshake() {
        if (client->Command("!@") != "OK") return false;
        client->Write(std::string("P"));
        if (client->ReadByte(500) != std::uint8_t{'c'}) return false;
        client->Write(std::string("p"));
        return true;
    }
    // Sends a frame and reads the acknowledgement (code, 0, checksum).
    Bytes Exchange(const Bytes& frame, int timeoutMs = 500) {
        client->Write(frame);
        return client->ReadBytes(3, timeoutMs);
    }
    EmulatedSimulator emu;
    std::unique_ptr<PtyClient> client;
};

Bytes Page(std::size_t p) { return {static_cast<std::uint8_t>(p & 0xFF), static_cast<std::uint8_t>(p >> 8)}; }

TEST(EmuBootLoader, TransfersACraftedImageAndRestartsWithItsHeader) {
    Booted b;
    ASSERT_TRUE(b.Handshake());
    EXPECT_TRUE(b.emu.InBootLoader());

    Bytes header(kHeaderSize, 0);
    header[0] = 'E', header[1] = 'R', header[2] = '9', header[3] = '0';
    header[12] = 9, header[13] = 8, header[14] = 7;
    Bytes first(kPageSize), last(kPageSize, 0xFF);
    for (std::size_t i = 0; i < kPageSize; ++i) first[i] = static_cast<std::uint8_t>(i * 7 + 1);
    std::copy(header.begin(), header.end(), last.begin() + 128);

    std::vector<Bytes> frames = {
        Frame(0x10, header),
        Frame(0x03, Bytes(first.begin(), first.begin() + 128)),
        Frame(0x04, Bytes(first.begin() + 128, first.end())),
        Frame(0x21, {0x00, 0x00, 0x63}),
        Frame(0x24, Page(0x0100)),
        Frame(0x03, Bytes(last.begin(), last.begin() + 128)),
        Frame(0x04, Bytes(last.begin() + 128, last.end())),
        Frame(0x21, {0x00, 0x6F, 0x00}),
    };
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Bytes ack = b.Exchange(frames[i]);
        ASSERT_EQ(ack.size(), 3u) << "frame " << i + 1 << " not acknowledged";
        EXPECT_EQ(ack[1], 0) << "frame " << i + 1;
        EXPECT_EQ(Sum(ack), 0) << "frame " << i + 1;
    }
    const auto closedAt = std::chrono::steady_clock::now();
    b.client->Write(Frame(0x02, {}));
    EXPECT_FALSE(b.client->ReadByte(50)) << "the closing frame is not answered";

    ASSERT_TRUE(b.emu.WaitForLogEntry("firmware", 3000));
    EXPECT_GE(MillisSince(closedAt), 140) << "restarted without its silence";
    const auto reply = b.client->Command("!B");
    ASSERT_TRUE(reply);
    EXPECT_EQ(Unhex(reply->substr(1)), header);

    const DeviceState s = b.emu.State();
    EXPECT_EQ(Bytes(s.Flash.begin(), s.Flash.begin() + 256), first);
    EXPECT_EQ(Bytes(s.Flash.begin() + 0x100, s.Flash.begin() + 0x200), Bytes(256, 0xFF));
    EXPECT_EQ(Bytes(s.Flash.begin() + 0x6F00, s.Flash.end()), last);

    const std::vector<std::string> expected = {
        "!@", "boot loader", "poll", "start", "frame 10", "frame 03", "frame 04", "frame 21 0000 63",
        "frame 24 0100", "frame 03", "frame 04", "frame 21 6F00 00", "frame 02", "restart", "firmware", "!B"};
    EXPECT_EQ(b.emu.Log(), expected);
}

TEST(EmuBootLoader, RefusedFramesAreNotAcknowledged) {
    Bytes badSum = Frame(0x24, Page(0x1000));
    badSum.back() ^= 0x01;
    const struct {
        Bytes frame;
        std::string logged;
    } cases[] = {
        {badSum, "frame 24 refused: bad checksum"},
        {Frame(0x21, {0x00, 0x6F, 0x63}), "frame 21 6F00 63 refused: flag"},
        {Frame(0x21, {0x00, 0x10, 0x00}), "frame 21 1000 00 refused: flag"},
        {Frame(0x21, {0x00, 0x10, 0x63}), "frame 21 1000 63 refused: page data missing"},
        {Frame(0x24, Page(0x7000)), "frame 24 7000 refused: page offset"},
        {Frame(0x24, Page(0x1080)), "frame 24 1080 refused: page offset"},
        {Frame(0x03, Bytes(127, 0)), "frame 03 refused: length 127"},
        {Frame(0x55, {}), "frame 55 refused: unknown code"},
    };
    for (const auto& c : cases) {
        Booted b;
        ASSERT_TRUE(b.Handshake());
        EXPECT_TRUE(b.Exchange(c.frame, 300).empty()) << c.logged;
        EXPECT_TRUE(b.emu.WaitForLogEntry(c.logged, 1000)) << c.logged;
        // It still takes the next good frame.
        EXPECT_EQ(b.Exchange(Frame(0x24, Page(0))).size(), 3u) << "after " << c.logged;
    }
}

TEST(EmuBootLoader, OverlongAndAbandonedFramesAreDropped) {
    Booted b;
    ASSERT_TRUE(b.Handshake());
    b.client->Write(Bytes{0x03, 0x81});
    EXPECT_TRUE(b.emu.WaitForLogEntry("frame 03 refused: length 129", 1000));
    EXPECT_EQ(Sum(b.Exchange(Frame(0x24, Page(0x0200)))), 0);
    b.client->Write(Bytes{0x03, 0x80, 0x01, 0x02});  // a sender that gave up mid-frame
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(b.Exchange(Frame(0x24, Page(0x0300))).size(), 3u);
}

// A tool restarted after a failed transfer first asks for the identity, then
// polls: the stray command bytes must not swallow the poll.
TEST(EmuBootLoader, PollAfterCommandsToAnAbandonedTransferIsAnswered) {
    Booted b;
    ASSERT_TRUE(b.Handshake());
    EXPECT_FALSE(b.client->Command("!I", 400));
    b.client->Write(std::string("P"));
    EXPECT_EQ(b.client->ReadByte(500), std::uint8_t{'c'});
}

TEST(EmuBootLoader, FaultOptions) {
    {
        EmulatorOptions o;
        o.Boot.NeverAnswerPoll = true;
        Booted b(o);
        EXPECT_FALSE(b.Handshake());
        EXPECT_TRUE(b.emu.WaitForLogEntry("poll", 1000));
    }
    {
        EmulatorOptions o;
        o.Boot.BadAckChecksumFrame = 2;
        Booted b(o);
        ASSERT_TRUE(b.Handshake());
        EXPECT_EQ(Sum(b.Exchange(Frame(0x24, Page(0)))), 0);
        const Bytes bad = b.Exchange(Frame(0x24, Page(0x100)));
        ASSERT_EQ(bad.size(), 3u);
        EXPECT_NE(Sum(bad), 0);
        EXPECT_EQ(Sum(b.Exchange(Frame(0x24, Page(0x200)))), 0);
    }
    {
        EmulatorOptions o;
        o.Boot.NoAckFrame = 1;
        Booted b(o);
        ASSERT_TRUE(b.Handshake());
        EXPECT_TRUE(b.Exchange(Frame(0x10, Bytes(128, 0x11)), 300).empty());
        EXPECT_EQ(b.Exchange(Frame(0x24, Page(0))).size(), 3u);
    }
    {
        EmulatorOptions o;
        o.Boot.AckDelayMs = 300;
        Booted b(o);
        ASSERT_TRUE(b.Handshake());
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(b.Exchange(Frame(0x24, Page(0)), 3000).size(), 3u);
        EXPECT_GE(MillisSince(start), 290);
    }
}

TEST(EmuBootLoader, ResetButtonStartsTheBootLoaderAndANewPollStartsOver) {
    Booted b;
    EXPECT_FALSE(b.emu.InBootLoader());
    b.emu.PressReset();
    ASSERT_TRUE(b.emu.WaitForLogEntry("reset", 1000));
    EXPECT_TRUE(b.emu.InBootLoader());
    EXPECT_FALSE(b.client->Command("!S", 100)) << "the boot loader does not speak commands";
    b.client->Write(std::string("P"));
    EXPECT_EQ(b.client->ReadByte(500), std::uint8_t{'c'});
    EXPECT_TRUE(b.Exchange(Frame(0x24, Page(0)), 200).empty()) << "a frame before the start byte";
    b.client->Write(std::string("P"));
    EXPECT_EQ(b.client->ReadByte(500), std::uint8_t{'c'});
    b.client->Write(std::string("p"));
    EXPECT_EQ(b.Exchange(Frame(0x24, Page(0))).size(), 3u);
}

}  // namespace
