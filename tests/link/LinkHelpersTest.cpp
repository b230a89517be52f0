// The link's pure helpers: protocol codes, version texts, the image and its
// transfer area, frames, and reply texts.

#include "LinkFakes.h"

#include "link/BootFrame.h"
#include "link/FirmwareImage.h"
#include "link/BusProtocol.h"
#include "link/CommandCodec.h"
#include "link/PortChoice.h"
#include "link/SimulatorState.h"
#include "base/Failure.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>

using Bytes = std::vector<std::uint8_t>;

TEST(Protocol, ChangeCodeOnlyForARealChange) {
    SimulatorState reported;
    reported.Protocol = 6;
    reported.SecondEcu = 1;
    struct Row { int protocolIndex; int ecuIndex; std::optional<std::uint8_t> code; };
    const Row rows[] = {
        {5, 1, std::nullopt},  // what the simulator already runs
        {5, 0, 0x06},
        {2, 0, 0x03},
        {2, 1, 0x83},
        {8, 1, 0x89},
        {-1, 0, std::nullopt},  // no selection
        {0, -1, std::nullopt},
        {9, 0, std::nullopt},
        {0, 2, std::nullopt},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(ProtocolChangeCode(r.protocolIndex, r.ecuIndex, reported), r.code)
            << r.protocolIndex << "/" << r.ecuIndex;
    }
    reported.Protocol = 3;
    EXPECT_EQ(ProtocolChangeCode(5, 1, reported), 0x86);
}

TEST(FirmwareImageTest, VersionTexts) {
    struct Row { std::uint8_t a, b, c; const char* text; const char* label; std::uint16_t word; };
    const Row rows[] = {
        {1, 2, 0, "1.200", "v1.2.0", 0x120},
        {1, 10, 3, "1.A30", "v1.10.3", 0x1A3},
        {15, 15, 15, "F.FF0", "v15.15.15", 0xFFF},
    };
    for (const Row& r : rows) {
        FirmwareImage image;
        image.Load(TestImage({1, 2, 3}, TestHeader(r.a, r.b, r.c)));
        EXPECT_EQ(image.VersionText(), r.text);
        EXPECT_EQ(image.VersionLabel(), r.label);
        EXPECT_EQ(image.VersionWord(), r.word);
    }
    EXPECT_EQ(HeaderVersionText(Bytes(10, 0)), "---");
}

TEST(FirmwareImageTest, RefusesWhatDoesNotFitAndKeepsTheImageBefore) {
    FirmwareImage image;
    EXPECT_THROW(image.Load(Bytes(127, 0)), EFailure);
    EXPECT_FALSE(image.Loaded());

    image.Load(TestImage(Bytes(0x6F80, 0x11)));  // exactly fills the area below the header
    image.PrepareTransferArea();
    EXPECT_EQ(image.TransferArea()[0x6F7F], 0x11);
    EXPECT_EQ(image.TransferArea()[0x6F80], 'E');

    try {
        image.Load(TestImage(Bytes(0x6F81, 0x22)));
        FAIL() << "an oversized body was taken";
    } catch (const EFailure& failure) {
        EXPECT_NE(std::string(failure.what()).find("too long"), std::string::npos) << failure.what();
    }
    EXPECT_EQ(image.Raw().size(), 128u + 0x6F80);
    EXPECT_EQ(image.TransferArea()[0], 0x11);
}

TEST(FirmwareImageTest, TransferAreaLayout) {
    Bytes body(300);
    std::iota(body.begin(), body.end(), 0);
    FirmwareImage image;
    image.Load(TestImage(body));
    EXPECT_FALSE(image.TransferAreaPrepared());
    image.EnsureTransferArea();  // what a forgetful front end gets
    const auto& area = image.TransferArea();
    EXPECT_TRUE(std::equal(body.begin(), body.end(), area.begin()));
    EXPECT_TRUE(std::all_of(area.begin() + 300, area.begin() + 0x6F80, [](auto b) { return b == 0xFF; }));
    const Bytes header = TestHeader();
    EXPECT_TRUE(std::equal(header.begin(), header.end(), area.begin() + 0x6F80));

    // A new image makes the old area stale.
    image.Load(TestImage({0x42}));
    EXPECT_FALSE(image.TransferAreaPrepared());
    image.EnsureTransferArea();
    EXPECT_EQ(area[0], 0x42);
    EXPECT_EQ(area[1], 0xFF);
}

TEST(BootFrameTest, ExactBytes) {
    std::array<std::uint8_t, TransferAreaSize> area{};
    area.fill(0xFF);
    area[0x0005] = 0x00;  // page 0x0000 holds data
    area[0x6F80] = 0x45;  // so does the last page (the header's)

    const auto first = PageFrames(area, 0x0000);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_EQ(first[0][0], 0x03);
    EXPECT_EQ(first[1][0], 0x04);
    EXPECT_EQ(first[2], (Bytes{0x21, 0x03, 0x00, 0x00, 0x63, 0x79}));

    const auto last = PageFrames(area, 0x6F00);
    ASSERT_EQ(last.size(), 3u);
    EXPECT_EQ(last[2], (Bytes{0x21, 0x03, 0x00, 0x6F, 0x00, 0x6D}));
    EXPECT_EQ(last[1][2], 0x45) << "the second half starts at p + 128";

    EXPECT_EQ(PageFrames(area, 0x1000), (std::vector<Bytes>{{0x24, 0x02, 0x00, 0x10, 0xCA}}));
    EXPECT_EQ(BuildBootFrame(0x02, {}), (Bytes{0x02, 0x00, 0xFE}));

    // A whole half frame: 131 bytes adding up to 0.
    ASSERT_EQ(first[0].size(), 131u);
    EXPECT_EQ(first[0][1], 128);
    EXPECT_EQ(std::accumulate(first[0].begin(), first[0].end(), 0u) & 0xFF, 0u);
    EXPECT_EQ(first[0][2 + 5], 0x00);
}

TEST(ReplyCodecTest, DecodeHexPairs) {
    struct Row { const char* reply; bool ok; Bytes stored; };
    const Row rows[] = {
        {"#0102FF", true, {0x01, 0x02, 0xFF, 0xEE}},
        {"#0102F", true, {0x01, 0x02, 0xEE, 0xEE}},  // unpaired last digit dropped
        {"#", true, {0xEE, 0xEE, 0xEE, 0xEE}},        // nothing decoded, block kept
        {"#abCD0102AA", true, {0xAB, 0xCD, 0x01, 0x02}},  // only what fits
        {"0102", false, {0xEE, 0xEE, 0xEE, 0xEE}},
        {"", false, {0xEE, 0xEE, 0xEE, 0xEE}},
    };
    for (const Row& r : rows) {
        Bytes block(4, 0xEE);
        EXPECT_EQ(DecodeHexPairs(r.reply, block), r.ok) << r.reply;
        EXPECT_EQ(block, r.stored) << r.reply;
    }
    Bytes block(4, 0xEE);
    EXPECT_THROW(DecodeHexPairs("#01ZZ02", block), EConvertError);
    EXPECT_EQ(block[0], 0x01) << "bytes before the bad pair are kept";
}

TEST(ReplyCodecTest, StatusLineInAnyTagOrder) {
    for (const char* line : {"P16T12M1I0L0000R000000000000", "R000000000000L0000I0M1T12P16",
                             "T12 P16 I0 M1 L0000 R000000000000 ", "P16T12M1I0L0000R000000000000XYZ"}) {
        SimulatorState s;
        ParseStatusLine(line, s);
        EXPECT_EQ(s.SecondEcu, 1) << line;
        EXPECT_EQ(s.Protocol, 6) << line;
        EXPECT_EQ(s.CodeCounts, 0x12) << line;
        EXPECT_EQ(s.CodeCount(1) + s.CodeCount(2), 3) << line;
        EXPECT_TRUE(s.MilOn) << line;
        EXPECT_FALSE(s.TagI) << line;
    }
    SimulatorState s;
    ParseStatusLine("P09TA0M0I1L12abR0001FFFE8000", s);
    EXPECT_EQ(s.Protocol, 9);
    EXPECT_EQ(s.CodeCounts, 0xA0);
    EXPECT_FALSE(s.MilOn);
    EXPECT_TRUE(s.TagI);
    EXPECT_EQ(s.TagL, 0x12AB);
    EXPECT_EQ(s.TagR, (std::array<std::uint16_t, 3>{0x0001, 0xFFFE, 0x8000}));
}

TEST(ReplyCodecTest, StatusLineMissingOrBadFieldStoresOnlyWhatCame) {
    SimulatorState s;
    s.TagL = 0x5555;
    s.MilOn = true;
    try {
        ParseStatusLine("P27T05M0R000000000000", s);  // no I, no L
        FAIL();
    } catch (const EFailure& failure) {
        EXPECT_STREQ(failure.what(), "") << "a missing tag has no message of its own";
    }
    EXPECT_EQ(s.Protocol, 7);
    EXPECT_EQ(s.SecondEcu, 2);
    EXPECT_EQ(s.CodeCounts, 0x05);
    EXPECT_FALSE(s.MilOn);
    EXPECT_EQ(s.TagL, 0x5555) << "not received, not touched";

    EXPECT_THROW(ParseStatusLine("P16T12M1I0L0000R0000", s), EFailure);  // R cut off
    try {
        ParseStatusLine("P16TZ2M1I0L0000R000000000000", s);
        FAIL();
    } catch (const EConvertError& failure) {
        EXPECT_NE(std::string(failure.what()).find("Z2"), std::string::npos) << failure.what();
    }
}

TEST(SimulatorStateTest, IdentifiersSerialAndWords) {
    SimulatorState s;
    s.ConfigBlock[0x0004] = 0x10;
    s.ConfigBlock[0x0005] = 0x1A;
    s.ConfigBlock[0x0006] = 0xE8;
    s.ConfigBlock[0x0007] = 0x07;
    s.ConfigBlock[0x0008] = 0x05;
    struct Row { int protocol; int ecu; const char* id; };
    const Row rows[] = {{8, 1, "7E8"}, {6, 2, "005"}, {4, 1, "10"}, {7, 2, "1A"}, {1, 1, "10"}};
    for (const Row& r : rows) {
        s.Protocol = static_cast<std::uint8_t>(r.protocol);
        EXPECT_EQ(s.EcuIdentifier(r.ecu), r.id) << r.protocol << "/" << r.ecu;
    }

    const std::string name = "SN-0001";
    std::copy(name.begin(), name.end(), s.Identity.begin() + 32);
    EXPECT_EQ(s.SerialNumber(), "SN-0001");
    std::fill(s.Identity.begin() + 32, s.Identity.end(), 'X');
    EXPECT_EQ(s.SerialNumber(), std::string(16, 'X')) << "at most 16 characters";

    s.ConfigBlock[0x0142] = 0x81;
    s.ConfigBlock[0x0143] = 0x23;
    s.ConfigBlock[0x0156 + 18] = 0xD2;
    s.ConfigBlock[0x0156 + 19] = 0x34;
    EXPECT_EQ(s.DtcWord(1, 1), 0x8123);
    EXPECT_EQ(s.DtcWord(2, 10), 0xD234);
    EXPECT_EQ(s.DtcWord(2, 11), 0) << "outside the table";
}

TEST(PortOfferTest, StartPortAndEntriesFollowTheNamedSavedAndTypedNames) {
    TCustomComPort::SetPortListSource([] { return std::vector<std::string>{"ttyUSB10", "ttyUSB2"}; });
    struct Case {
        std::optional<std::string> named;
        std::string saved;
        std::vector<std::string> typed;
        std::string start;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        // the start option wins over the saved port, which is not offered then
        {"rfc2217://a:1", "tcp://b:2", {}, "rfc2217://a:1", {"ttyUSB2", "ttyUSB10", "rfc2217://a:1"}},
        // a saved server address is offered as a start option's name is
        {std::nullopt, "tcp://b:2", {}, "tcp://b:2", {"ttyUSB2", "ttyUSB10", "tcp://b:2"}},
        // so is a line in memory
        {std::nullopt, "memory:bench-1", {}, "memory:bench-1", {"ttyUSB2", "ttyUSB10", "memory:bench-1"}},
        // a saved device that is gone is only a name to look for in the list
        {std::nullopt, "ttyUSB9", {}, "ttyUSB9", {"ttyUSB2", "ttyUSB10"}},
        // typed names come after the listed ports, in natural order, each once
        {std::nullopt, "", {"tcp://x:10", "TTYUSB2", "tcp://x:9", "tcp://X:9"}, "",
         {"ttyUSB2", "ttyUSB10", "tcp://x:9", "tcp://x:10"}},
    };
    for (const Case& c : cases) {
        PortOffer offer(c.named, c.saved);
        for (const std::string& typed : c.typed) offer.Confirm(typed);
        EXPECT_EQ(offer.StartPort(), c.start) << c.saved;
        EXPECT_EQ(offer.Entries(), c.entries) << c.saved;
    }
    TCustomComPort::SetPortListSource(nullptr);
}
