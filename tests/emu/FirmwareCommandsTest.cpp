// The emulated firmware's command protocol, spoken over its pseudo-terminal.

#include "emu/EmulatedSimulator.h"
#include "FirmwareBlob.h"
#include "PtyClient.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

struct Running {
    explicit Running(EmulatorOptions o = {}) : emu(std::move(o)) {
        emu.Start();
        client = std::make_unique<PtyClient>(emu.PortPath());
    }
    EmulatedSimulator emu;
    std::unique_ptr<PtyClient> client;
};

TEST(EmuFirmware, StatusLineCarriesAllTagsInTheirFormats) {
    Running plain;
    EXPECT_EQ(plain.client->Command("!S"), "P06T00M0I0L0000R000000000000");

    EmulatorOptions o;
    o.TwoEcus = true;
    o.Codes1 = {0x0301, 0x0420};
    o.Codes2 = {0xC100};
    o.Mil = true;
    Running preset(o);
    const auto line = preset.client->Command("!S");
    ASSERT_TRUE(line);
    EXPECT_EQ(*line, "P16T12M1I0L0000R000000000000");
    EXPECT_TRUE(std::regex_match(*line, std::regex("P[01][1-9]T[0-9A-F]{2}M[01]I[01]L[0-9A-F]{4}R[0-9A-F]{12}")));
}

TEST(EmuFirmware, EveryReplyEndsInCarriageReturnAndLineFeed) {
    Running r;
    for (const char* command : {"!I", "!B", "!S", "!C", "!K1", "!K0", "!P06", "!F0080", "!Q"}) {
        ::tcflush(r.client->Fd(), TCIFLUSH);
        r.client->Write(std::string(command) + "\r");
        const auto raw = r.client->ReadLine();
        ASSERT_TRUE(raw) << command;
        EXPECT_EQ(raw->find('\r'), raw->size() - 2) << command;
    }
}

TEST(EmuFirmware, IdentityAndHeaderReplies) {
    EmulatorOptions o;
    o.Serial = "SN-12345";
    o.Version = std::array<std::uint8_t, 3>{2, 10, 3};
    Running r(o);

    const auto identity = r.client->Command("!I");
    ASSERT_TRUE(identity);
    ASSERT_EQ(identity->size(), 1 + 2 * kIdentitySize);
    EXPECT_EQ((*identity)[0], '#');
    const auto id = Unhex(identity->substr(1));
    EXPECT_EQ(std::string(id.begin() + 32, id.begin() + 40), "SN-12345");
    for (std::size_t i = 40; i < 48; ++i) EXPECT_EQ(id[i], 0) << "serial not NUL-padded at " << i;

    const auto header = r.client->Command("!B");
    ASSERT_TRUE(header);
    const auto h = Unhex(header->substr(1));
    ASSERT_EQ(h.size(), kHeaderSize);
    const auto blob = CarriedFirmwareBlob();
    for (std::size_t i = 0; i < kHeaderSize; ++i) {
        if (i >= 12 && i <= 14) continue;
        EXPECT_EQ(h[i], blob[i]) << "header byte " << i;
    }
    EXPECT_EQ(h[12], 2);
    EXPECT_EQ(h[13], 10);
    EXPECT_EQ(h[14], 3);
}

TEST(EmuFirmware, ConfigurationBlockLayoutAndTableWriteReadBack) {
    EmulatorOptions o;
    o.Codes1 = {0x0301};
    Running r(o);
    auto c = Unhex(r.client->Command("!C")->substr(1));
    ASSERT_EQ(c.size(), kConfigSize);
    EXPECT_EQ(c[0x0006] | c[0x0007] << 8, 0x7E8);  // CAN identifiers low byte first
    EXPECT_EQ(c[0x0008] | c[0x0009] << 8, 0x7E9);
    EXPECT_EQ(c[0x0142] << 8 | c[0x0143], 0x0301);  // trouble-code words high byte first

    // ECU 2's table: U1234, P0001, then zeros.
    const std::string write = "!X0156D2340001" + std::string(32, '0');
    EXPECT_EQ(r.client->Command(write), "OK");
    // Lower-case digits are hexadecimal too.
    EXPECT_EQ(r.client->Command("!X0142c100010203040506070809101112131415161718"), "OK");

    c = Unhex(r.client->Command("!C")->substr(1));
    ASSERT_EQ(c.size(), kConfigSize);
    const std::vector<std::uint8_t> ecu2(c.begin() + 0x156, c.begin() + 0x16A);
    EXPECT_EQ(ecu2, (std::vector<std::uint8_t>{0xD2, 0x34, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(c[0x142], 0xC1);
    EXPECT_EQ(c[0x155], 0x18);
    EXPECT_EQ(r.emu.State().Codes(2)[0], 0xD234);
    EXPECT_EQ(r.emu.State().Codes(1)[0], 0xC100);

    // The last 20 bytes of the block are writable too.
    EXPECT_EQ(r.client->Command("!X027C" + std::string(38, '0') + "EE"), "OK");
    EXPECT_EQ(r.emu.State().Config[kConfigSize - 1], 0xEE);
}

TEST(EmuFirmware, RefusedCommandsChangeNothing) {
    Running r;
    const DeviceState before = r.emu.State();
    const std::string zeros(40, '0');
    const struct {
        std::string command;
        const char* why;
    } cases[] = {
        {"!X0280" + zeros, "write past the end of the block"},
        {"!X027D" + zeros, "last byte one past the end"},
        {"!X0142" + zeros.substr(2), "too short"},
        {"!X0142ZZ" + zeros.substr(2), "not hexadecimal"},
        {"!P00", "protocol 0"},
        {"!P0A", "protocol 10"},
        {"!P6", "one digit"},
        {"!F0B80", "eleven codes"},
        {"!F0201", "MIL byte without its high bit"},
        {"!K2", "no such remote mode"},
        {"!Q", "unknown command"},
    };
    for (const auto& c : cases) EXPECT_EQ(r.client->Command(c.command), "ERR") << c.why;
    const DeviceState after = r.emu.State();
    EXPECT_EQ(after.Config, before.Config);
    EXPECT_EQ(after.Protocol, before.Protocol);
    EXPECT_EQ(after.CodeCounts, before.CodeCounts);
    EXPECT_EQ(after.MilOn, before.MilOn);
}

TEST(EmuFirmware, ProtocolCountsAndMilAreReflectedInTheStatus) {
    Running r;
    const struct {
        const char* command;
        const char* status;
    } rows[] = {
        {"!P86", "P16T00M0"},  // protocol 6, two ECUs
        {"!P03", "P03T00M0"},  // protocol 3, one ECU
        {"!P89", "P19T00M0"},
        {"!F0381", "P19T03M1"},  // three codes on ECU 1, MIL on
        {"!F2A80", "P19T2AM0"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(r.client->Command(row.command), "OK") << row.command;
        const auto status = r.client->Command("!S");
        ASSERT_TRUE(status);
        EXPECT_EQ(status->substr(0, 8), row.status) << "after " << row.command;
    }
    EXPECT_EQ(r.client->Command("!K1"), "OK");
    EXPECT_TRUE(r.emu.State().RemoteMode);
    EXPECT_EQ(r.client->Command("!K0"), "OK");
    EXPECT_FALSE(r.emu.State().RemoteMode);
}

TEST(EmuFirmware, PortCanBeOpenedAndClosedManyTimes) {
    Running r;
    r.client.reset();
    for (int i = 0; i < 40; ++i) {
        PtyClient client(r.emu.PortPath());
        ASSERT_TRUE(client.IsOpen()) << "open " << i;
        ASSERT_EQ(client.Command("!S"), "P06T00M0I0L0000R000000000000") << "open " << i;
    }
}

}  // namespace
