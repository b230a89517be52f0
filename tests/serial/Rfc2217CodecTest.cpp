// The Telnet COM-PORT codec and the network port names, with rows of bytes.
#include "serial/NetworkAddress.h"
#include "serial/Rfc2217Codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (const int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

constexpr int IAC = 255, WILL = 251, WONT = 252, DO = 253, DONT = 254, SB = 250, SE = 240;

// A codec that has asked for its options and got them, as from ser2net.
Rfc2217Codec Agreed() {
    Rfc2217Codec codec;
    (void)codec.Start();
    std::string data, reply;
    codec.Decode(B({IAC, DO, 0, IAC, WILL, 0, IAC, DO, 44}), data, reply);
    return codec;
}

TEST(Rfc2217Codec, StartAsksForBinaryBothWaysAndTheComPortOption) {
    Rfc2217Codec codec;
    EXPECT_EQ(codec.Start(), B({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 44}));
    EXPECT_FALSE(codec.Settled());
    // ser2net's greeting, in two pieces split inside a command.
    std::string data, reply;
    const std::string greeting =
        B({IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 1, IAC, DONT, 1, IAC, DO, 0, IAC, WILL, 0, IAC, DO, 44});
    codec.Decode(greeting.substr(0, 7), data, reply);
    codec.Decode(greeting.substr(7), data, reply);
    EXPECT_TRUE(codec.Settled());
    EXPECT_EQ(codec.Ours(44), Rfc2217Codec::OptionState::On);
    EXPECT_EQ(codec.Theirs(0), Rfc2217Codec::OptionState::On);
    // Go-ahead suppression taken both ways, echo refused; our own requests'
    // answers are not answered again.
    EXPECT_EQ(reply, B({IAC, DO, 3, IAC, WILL, 3, IAC, DONT, 1}));
    EXPECT_TRUE(data.empty());
}

TEST(Rfc2217Codec, RefusedOptionsAreSettledAsRefused) {
    Rfc2217Codec codec;
    (void)codec.Start();
    std::string data, reply;
    codec.Decode(B({IAC, WONT, 0, IAC, DONT, 0, IAC, DONT, 44}), data, reply);
    EXPECT_TRUE(codec.Settled());
    EXPECT_EQ(codec.Ours(44), Rfc2217Codec::OptionState::Refused);
    EXPECT_TRUE(reply.empty());
}

TEST(Rfc2217Codec, DecodesData) {
    struct Row {
        const char* Name;
        std::vector<std::string> Pieces;
        std::string Data;
        std::vector<Rfc2217Codec::Answer> Answers;
    };
    const Row rows[] = {
        {"plain reply", {"#41\r\n"}, "#41\r\n", {}},
        {"escaped 0xFF, split between pieces", {B({0x55, IAC}), B({IAC, 0x01})}, B({0x55, 0xFF, 0x01}), {}},
        {"answer to the baud rate between data",
         {"#1", B({IAC, SB, 44, 101, 0, 1, 0xC2, 0, IAC, SE}), "2\r"},
         "#12\r",
         {{1, B({0, 1, 0xC2, 0})}}},
        {"subnegotiation with an escaped 0xFF, split", {B({IAC, SB, 44, 101, IAC}), B({IAC, 0, 0, 0, IAC, SE})}, "",
         {{1, B({0xFF, 0, 0, 0})}}},
        {"a modem-state notice is no answer, the purge answer is",
         {B({IAC, SB, 44, 107, 0, IAC, SE, IAC, SB, 44, 112, 3, IAC, SE, 'x'})},
         "x",
         {{12, B({3})}}},
        // A server may send these as often as it likes: kept, they would pile up.
        {"line-state notices and flow control requests keep nothing",
         {B({IAC, SB, 44, 106, 0x60, IAC, SE, IAC, SB, 44, 108, IAC, SE, IAC, SB, 44, 109, IAC, SE, 'y'})},
         "y",
         {}},
        {"a subnegotiation broken off by a request is no answer, and the request's option no data",
         {B({IAC, SB, 44, 101, 5, IAC, WILL, 0, 'x'})},
         "x",
         {}},
        {"an over-long subnegotiation is dropped, the next answer kept",
         {B({IAC, SB, 44, 101}), std::string(100000, 'a'), B({IAC, SE, 'x', IAC, SB, 44, 102, 8, IAC, SE})},
         "x",
         {{2, B({8})}}},
        {"NOP and go-ahead carry nothing", {B({'a', IAC, 241, 'b', IAC, 249})}, "ab", {}},
        {"a zero byte after CR is data in binary mode", {B({13, 0})}, B({13, 0}), {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Rfc2217Codec codec = Agreed();
        std::string data, reply;
        for (const std::string& piece : row.Pieces) codec.Decode(piece, data, reply);
        EXPECT_EQ(data, row.Data);
        const auto answers = codec.TakeAnswers();
        ASSERT_EQ(answers.size(), row.Answers.size());
        for (std::size_t i = 0; i < answers.size(); ++i) {
            EXPECT_EQ(answers[i].Command, row.Answers[i].Command);
            EXPECT_EQ(answers[i].Value, row.Answers[i].Value);
        }
        EXPECT_TRUE(reply.empty());
    }
}

TEST(Rfc2217Codec, OutsideBinaryModeCarriageReturnsCarryNul) {
    Rfc2217Codec codec;  // nothing agreed
    EXPECT_EQ(codec.EncodeData("!I\r"), B({'!', 'I', 13, 0}));
    std::string data, reply;
    codec.Decode(B({'#', 13, 0, 'A', 13, 10}), data, reply);
    EXPECT_EQ(data, B({'#', 13, 'A', 13, 10}));
}

TEST(Rfc2217Codec, EncodesDataAndCommands) {
    const Rfc2217Codec codec = Agreed();
    // A boot-loader frame's 0xFF bytes are doubled; nothing else changes.
    EXPECT_EQ(codec.EncodeData(B({0x02, 0xFF, 0x0D, 0x00, 0xFF})), B({0x02, IAC, IAC, 0x0D, 0x00, IAC, IAC}));
    EXPECT_EQ(Rfc2217Codec::Command(1, Rfc2217Codec::BaudRateValue(115200)),
              B({IAC, SB, 44, 1, 0, 1, 0xC2, 0, IAC, SE}));
    EXPECT_EQ(Rfc2217Codec::Command(1, Rfc2217Codec::BaudRateValue(0xFF00FF00u)),
              B({IAC, SB, 44, 1, IAC, IAC, 0, IAC, IAC, 0, IAC, SE}));
    EXPECT_EQ(Rfc2217Codec::Command(12, std::uint8_t{3}), B({IAC, SB, 44, 12, 3, IAC, SE}));
}

TEST(NetworkAddress, PortNames) {
    struct Row {
        const char* Name;
        bool Network;
        bool Valid;
        NetworkAddress::Protocol Kind;
        const char* Host;
        const char* Service;
    };
    using P = NetworkAddress::Protocol;
    const Row rows[] = {
        {"rfc2217://127.0.0.1:2000", true, true, P::Rfc2217, "127.0.0.1", "2000"},
        {"RFC2217://lab-box.example:7000/", true, true, P::Rfc2217, "lab-box.example", "7000"},
        {"tcp://[::1]:4001", true, true, P::RawTcp, "::1", "4001"},
        {"TCP://h:65535", true, true, P::RawTcp, "h", "65535"},
        {"tcp://host:04001", true, true, P::RawTcp, "host", "4001"},
        {"tcp://::1:4001", true, false, P::RawTcp, "", ""},
        {"rfc2217://host", true, false, P::Rfc2217, "", ""},
        {"rfc2217://:2000", true, false, P::Rfc2217, "", ""},
        {"tcp://host:0", true, false, P::RawTcp, "", ""},
        {"tcp://host:65536", true, false, P::RawTcp, "", ""},
        {"tcp://host:20x0", true, false, P::RawTcp, "", ""},
        {"tcp://a]:80", true, false, P::RawTcp, "", ""},
        {"rfc2217://[a[b]:80", true, false, P::Rfc2217, "", ""},
        {"tcp://ho st:80", true, false, P::RawTcp, "", ""},
        {"tcp://host\r:80", true, false, P::RawTcp, "", ""},
        {"rfc2217://ho\x01st:80", true, false, P::Rfc2217, "", ""},
        {"rfc2217://ho\x7Fst:80", true, false, P::Rfc2217, "", ""},
        {"ttyUSB0", false, false, P::Rfc2217, "", ""},
        {"/dev/pts/3", false, false, P::Rfc2217, "", ""},
        {"COM3", false, false, P::Rfc2217, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(IsNetworkPortName(row.Name), row.Network);
        const auto address = ParseNetworkPortName(row.Name);
        ASSERT_EQ(address.has_value(), row.Valid);
        if (!address) continue;
        EXPECT_EQ(address->Kind, row.Kind);
        EXPECT_EQ(address->Host, row.Host);
        EXPECT_EQ(address->Service, row.Service);
    }
}

}  // namespace
