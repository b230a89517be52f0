// The command protocol against a scripted peer on a line in memory.

#include "LinkFakes.h"
#include "ScriptedPeer.h"

#include "link/Connection.h"
#include "link/SetupActions.h"
#include "link/uComIo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

namespace {

Bytes IdentityRecord(const std::string& serial) {
    Bytes id(64, 0);
    std::copy(serial.begin(), serial.end(), id.begin() + 32);
    return id;
}

class LinkWire : public ::testing::Test {
protected:
    LinkWire() {
        host.port = peer.Path();
        image.Load(TestImage(Bytes(0x180, 0x5A)));
    }

    // A simulator that answers identification like the carried firmware.
    void AnswerIdentity(const Bytes& header = TestHeader()) {
        peer.SetReply("!I", DataReply(IdentityRecord("KS-000123")));
        peer.SetReply("!B", DataReply(header));
    }

    // One search step, as the scheduler runs it (the connection counts the attempts).
    SchedulerState Find() {
        scheduler = SchedulerState::Search;
        (void)connection.Step(host.port);
        return scheduler;
    }

    ScriptedPeer peer;
    FakeHost host;
    SimulatorState state;
    FirmwareImage image;
    TComIo io{host, state, image};
    SchedulerState scheduler = SchedulerState::Search;
    Connection connection{io, scheduler};
};

}  // namespace

TEST_F(LinkWire, SilentSimulatorIsAskedTwiceThenStopped) {
    connection.Restart(SchedulerState::Search, 2);
    const auto start = Clock::now();
    EXPECT_EQ(Find(), SchedulerState::Search);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(140)) << "the reply wait is 150 ms";
    EXPECT_TRUE(io.Port().Connected()) << "left open for the next attempt";
    EXPECT_EQ(host.LastPanel(), "Searching for KARNOL simulator");

    EXPECT_EQ(Find(), SchedulerState::Stopped);
    EXPECT_EQ(host.LastPanel(), "No KARNOL simulator found");
    EXPECT_FALSE(io.Port().Connected());
    EXPECT_EQ(peer.Units(), (std::vector<std::string>{"!I", "!I"}));
    EXPECT_EQ(host.portOpened, (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(host.serial, (std::vector<std::string>{"---", "---"}));
    EXPECT_GE(host.processed, 2) << "cleared labels are painted before each attempt";
}

TEST_F(LinkWire, EmptyIdentityReplyUsesAnAttempt) {
    peer.SetReply("!I", "\r");
    connection.Restart(SchedulerState::Search, 3);
    EXPECT_EQ(Find(), SchedulerState::Search);
    EXPECT_EQ(connection.SearchAttempts(), 2);
}

TEST_F(LinkWire, UsedUpCounterDoesNotSearchForever) {
    connection.Restart(SchedulerState::Search, 0);
    EXPECT_EQ(Find(), SchedulerState::Stopped);
}

TEST_F(LinkWire, ReplyWithoutHashStopsAtOnce) {
    peer.SetReply("!I", "OK\r");
    connection.Restart(SchedulerState::Search, 5);
    EXPECT_EQ(Find(), SchedulerState::Stopped);
    EXPECT_EQ(connection.SearchAttempts(), 5) << "no attempt used up";
    EXPECT_EQ(host.LastPanel(), "No KARNOL simulator found");
    EXPECT_EQ(peer.Units(), (std::vector<std::string>{"!I"}));
    EXPECT_FALSE(io.Port().Connected());
}

TEST_F(LinkWire, GarbledHexShowsTheConversionMessage) {
    peer.SetReply("!I", "#01QQ\r");
    EXPECT_EQ(Find(), SchedulerState::Stopped);
    EXPECT_NE(host.LastPanel().find("QQ"), std::string::npos) << host.LastPanel();
}

TEST_F(LinkWire, UnopenablePortShowsTheSerialLayersMessage) {
    host.port = "/nonexistent/tty-for-a-test";
    EXPECT_EQ(Find(), SchedulerState::Stopped);
    EXPECT_FALSE(host.LastPanel().empty());
    EXPECT_NE(host.LastPanel(), "No KARNOL simulator found");
}

TEST_F(LinkWire, HashAloneDecodesNothing) {
    state.Identity = {};
    const std::string old = "OLD-SERIAL";
    std::copy(old.begin(), old.end(), state.Identity.begin() + 32);
    peer.SetReply("!I", "#\r");
    peer.SetReply("!B", DataReply(TestHeader()));
    EXPECT_EQ(Find(), SchedulerState::ReadConfiguration);
    EXPECT_EQ(host.serial.back(), "OLD-SERIAL");
}

TEST_F(LinkWire, IdentityDecidesBetweenUpdateAndConfiguration) {
    struct Row { int byte; std::uint8_t value; SchedulerState expected; };
    const Row rows[] = {
        {-1, 0, SchedulerState::ReadConfiguration},  // the same header
        {16, 'J', SchedulerState::AutoUpdate},        // build date
        {47, 'X', SchedulerState::AutoUpdate},        // device name
        {13, 9, SchedulerState::AutoUpdate},          // a newer version is replaced all the same
        {48, 0x77, SchedulerState::ReadConfiguration},
        {127, 0x00, SchedulerState::ReadConfiguration},
    };
    for (const Row& r : rows) {
        Bytes header = TestHeader();
        if (r.byte >= 0) header[r.byte] = r.value;
        AnswerIdentity(header);
        EXPECT_EQ(Find(), r.expected) << "byte " << r.byte;
        EXPECT_EQ(host.serial.back(), "KS-000123");
        EXPECT_EQ(host.version.back(), r.byte == 13 ? "v1.9.0" : "v1.2.0");
        EXPECT_EQ(host.LastPanel(), "Searching for KARNOL simulator");
        EXPECT_TRUE(io.Port().Connected());
    }
}

TEST_F(LinkWire, StatusReadStoresAndShows) {
    AnswerIdentity();
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    peer.SetReply("!S", "R000000000000L0000I0M1T12P16\r");
    EXPECT_TRUE(io.ReadStatus());
    EXPECT_EQ(host.statusShown, 1);
    EXPECT_EQ(state.SecondEcu, 1);
    EXPECT_EQ(state.Protocol, 6);
    EXPECT_EQ(state.CodeCounts, 0x12);
    EXPECT_TRUE(state.MilOn);

    peer.SetReply("!S", "P23T12M0\r");  // tags missing
    EXPECT_FALSE(io.ReadStatus());
    EXPECT_EQ(host.LastPanel(), "Can't read simulator status");
    EXPECT_EQ(host.statusShown, 1) << "the display is left as it was";
    EXPECT_EQ(state.Protocol, 3) << "fields received before the gap are stored";
    EXPECT_FALSE(state.MilOn);
}

TEST_F(LinkWire, OverlongLineIsNoReply) {
    AnswerIdentity();
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    peer.SetReply("!S", std::string(3000, 'A'));
    EXPECT_FALSE(io.ReadStatus());
    EXPECT_EQ(host.LastPanel(), "Can't read simulator status");
    // The rest of the long line is purged: the next command gets its own answer.
    peer.SetReply("!S", "P16T12M1I0L0000R000000000000\r\n");
    EXPECT_TRUE(io.ReadStatus());
    EXPECT_TRUE(io.ReadStatus()) << "the line feed after a reply is purged before the next command";
}

TEST_F(LinkWire, LateLineFeedOfThePreviousReplyIsNotTakenForTheNextOne) {
    // A line feed that arrives after the purge stands before the next reply.
    peer.SetReply("!I", "\n" + DataReply(IdentityRecord("KS-LATE")));
    peer.SetReply("!B", "\n\n" + DataReply(TestHeader()));
    EXPECT_EQ(Find(), SchedulerState::ReadConfiguration) << host.LastPanel();
    EXPECT_EQ(state.SerialNumber(), "KS-LATE");
    peer.SetReply("!S", "\n\r");
    EXPECT_FALSE(io.ReadStatus()) << "a line feed alone is still no reply";
}

TEST_F(LinkWire, ConfigurationReadTurnsRemoteModeOn) {
    AnswerIdentity();
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    Bytes block(ConfigBlockSize);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    peer.SetReply("!C", DataReply(block));
    peer.SetReply("!K1", "OK\r");
    EXPECT_EQ(io.ReadConfig(), SchedulerState::Polling);
    EXPECT_EQ(host.configShown, 1);
    EXPECT_TRUE(io.RemoteModeOn());
    EXPECT_TRUE(std::equal(block.begin(), block.end(), state.ConfigBlock.begin()));
    EXPECT_EQ(peer.Units(), (std::vector<std::string>{"!I", "!B", "!C", "!K1"}));

    peer.SetReply("!K1", "");  // the remote-mode command unanswered
    (void)io.SetRemoteMode(false);
    ASSERT_FALSE(io.RemoteModeOn());
    EXPECT_EQ(io.ReadConfig(), SchedulerState::Stopped);
    EXPECT_EQ(host.LastPanel(), "Can't read simulator configuration");
    EXPECT_EQ(host.configShown, 2) << "shown before remote mode is asked for";
    EXPECT_TRUE(io.RemoteModeOn()) << "the flag follows the command, whatever comes back";
}

TEST_F(LinkWire, SendDtcWritesBothTablesThenCounts) {
    AnswerIdentity();
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    for (const char* c : {"!X01420123000000000000000000000000000000000000", "!X0156D2340000000000000000000000000000000000FF",
                          "!F0381"}) {
        peer.SetReply(c, "OK\r");
    }
    std::array<std::uint16_t, DtcSlots> ecu1{}, ecu2{};
    ecu1[0] = 0x0123;
    ecu2[0] = 0xD234;
    ecu2[9] = 0x00FF;
    EXPECT_TRUE(io.SendDtc(0x03, 0x81, ecu1, ecu2));
    const auto units = peer.Units();
    ASSERT_EQ(units.size(), 5u);
    EXPECT_EQ(units[2], "!X01420123000000000000000000000000000000000000");
    EXPECT_EQ(units[3], "!X0156D2340000000000000000000000000000000000FF");
    EXPECT_EQ(units[4], "!F0381");

    // An unanswered table write ends the operation there.
    ecu1[1] = 0x4444;
    EXPECT_FALSE(io.SendDtc(0x03, 0x81, ecu1, ecu2));
    EXPECT_EQ(host.LastPanel(), "Setup not possible");
    EXPECT_EQ(peer.UnitCount(), 6u);
}

TEST_F(LinkWire, SetProtocolSendsTheCode) {
    AnswerIdentity();
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    peer.SetReply("!P86", "OK\r");
    EXPECT_TRUE(io.SetProtocol(0x86));
    EXPECT_FALSE(io.SetProtocol(0x03));
    EXPECT_EQ(host.LastPanel(), "Can't set protocol");
    const auto units = peer.Units();
    EXPECT_EQ(std::vector<std::string>(units.end() - 2, units.end()), (std::vector<std::string>{"!P86", "!P03"}));
}

TEST_F(LinkWire, ClosePortLeavesRemoteModeOnlyWhenOn) {
    AnswerIdentity();
    peer.SetReply("!K1", "OK\r");
    // Never opened: nothing at all.
    io.ClosePort();
    EXPECT_EQ(peer.UnitCount(), 0u);

    // Open with remote mode off: closes without a command.
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    ASSERT_FALSE(io.RemoteModeOn());
    io.ClosePort();
    EXPECT_FALSE(io.Port().Connected());
    EXPECT_EQ(peer.UnitCount(), 2u);

    // Open with remote mode on: "!K0" even if nothing answers it.
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    ASSERT_TRUE(io.SetRemoteMode(true));
    io.ClosePort();
    EXPECT_FALSE(io.Port().Connected());
    EXPECT_FALSE(io.RemoteModeOn());
    ASSERT_TRUE(peer.WaitForUnits(6));
    EXPECT_EQ(peer.Units().back(), "!K0");

    // A new search begins by leaving remote mode.
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    ASSERT_TRUE(io.SetRemoteMode(true));
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    const auto units = peer.Units();
    EXPECT_EQ(std::vector<std::string>(units.end() - 3, units.end()), (std::vector<std::string>{"!K0", "!I", "!B"}));

    // Asked to stop, the close still waits for the reply to "!K0": closed
    // right after the write, a slow driver can lose the command on its way.
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    ASSERT_TRUE(io.SetRemoteMode(true));
    (void)io.SetStopWaiting([] { return true; });
    std::atomic<bool> answered{false};
    peer.SetResponder([&](ScriptedPeer&, const std::string& unit) -> std::string {
        if (unit != "!K0") return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        answered = true;
        return "OK\r";
    });
    io.ClosePort();
    EXPECT_TRUE(answered) << "the port closed before the reply to !K0 came";
    peer.SetResponder(nullptr);
}

TEST_F(LinkWire, ProtocolChangeRefreshesFromTheConfigurationEvenWhenTheStatusReadFails) {
    AnswerIdentity();
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    peer.SetReply("!P86", "OK\r");  // "!S" stays unanswered
    peer.SetReply("!C", DataReply(Bytes(ConfigBlockSize)));
    peer.SetReply("!K1", "OK\r");
    EXPECT_EQ(ChangeProtocol(io, 5, 1), ProtocolChange::Failed);
    const auto units = peer.Units();
    EXPECT_EQ(std::vector<std::string>(units.end() - 4, units.end()),
              (std::vector<std::string>{"!P86", "!S", "!C", "!K1"}));
    EXPECT_EQ(host.configShown, 1);
}

TEST_F(LinkWire, HeaderReplyFailureStopsWithoutUsingAnAttempt) {
    struct Row { const char* reply; const char* panel; };
    const Row rows[] = {
        {"", "No KARNOL simulator found"},           // silent
        {"\r", "No KARNOL simulator found"},         // empty line
        {"OK\r", "No KARNOL simulator found"},       // no "#"
        {"#0Z\r", nullptr},                          // the conversion's own message
    };
    for (const Row& r : rows) {
        peer.SetReply("!I", DataReply(IdentityRecord("KS-000123")));
        peer.SetReply("!B", r.reply);
        connection.Restart(SchedulerState::Search, 2);
        EXPECT_EQ(Find(), SchedulerState::Stopped) << r.reply;
        EXPECT_EQ(connection.SearchAttempts(), 2) << r.reply;
        EXPECT_FALSE(io.Port().Connected()) << r.reply;
        if (r.panel) {
            EXPECT_EQ(host.LastPanel(), r.panel) << r.reply;
        } else {
            EXPECT_NE(host.LastPanel().find("0Z"), std::string::npos) << host.LastPanel();
        }
        EXPECT_EQ(host.serial.back(), "KS-000123") << "the serial number is shown before the header is asked for";
        EXPECT_EQ(host.version.back(), "---");
    }
}

TEST_F(LinkWire, FailedConfigurationReadAsksNothingMore) {
    AnswerIdentity();
    ASSERT_EQ(Find(), SchedulerState::ReadConfiguration);
    peer.SetReply("!K1", "OK\r");
    for (const char* reply : {"", "OK\r", "#GG\r"}) {
        peer.SetReply("!C", reply);
        const std::size_t before = peer.UnitCount();
        EXPECT_EQ(io.ReadConfig(), SchedulerState::Stopped) << reply;
        if (reply[0] == '#') {
            EXPECT_NE(host.LastPanel().find("GG"), std::string::npos) << host.LastPanel();
        } else {
            EXPECT_EQ(host.LastPanel(), "Can't read simulator configuration") << reply;
        }
        EXPECT_EQ(host.configShown, 0) << reply;
        EXPECT_FALSE(io.RemoteModeOn()) << "remote mode is asked for only after the configuration";
        EXPECT_EQ(peer.UnitCount(), before + 1) << reply;
    }
}
