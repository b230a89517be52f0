// The Win32 serial port against the emulator behind a wine-mapped COM port:
// what a user of the window or the command line would notice first (the
// port opens, replies come, a quiet line times out, purges discard, failures
// carry the system's own numbers) and the port list.

#include "WinTestSupport.h"

#include "serial/ComPort.h"
#include "serial/StrNatComp.h"
#include "base/TextCase.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The link's settings: 115200 baud and reads that wait up to 150 ms for a byte.
void PrepareLikeTheLink(TComPort& port, const std::string& name) {
    port.SetBaudRate(br115200);
    port.SetPort(name);
    port.Timeouts().SetReadTotalMultiplier(-1);
    port.Timeouts().SetReadTotalConstant(150);
}

// Bytes up to and including the carriage return; what came if none did.
std::string ReadReply(TComPort& port) {
    std::string reply;
    for (;;) {
        const std::string c = port.ReadText(1);
        if (c.empty()) return reply;
        reply += c;
        if (c[0] == '\r') return reply;
    }
}

std::string Command(TComPort& port, const std::string& command) {
    port.PurgeBuffers(true, true);
    EXPECT_EQ(port.WriteText(command), static_cast<int>(command.size()));
    return ReadReply(port);
}

}  // namespace

TEST(WinComPort, MissingPortFailsWithTheSystemNumberAndStaysClosed) {
    KNS_REQUIRE_PORT("MISSING");
    TComPort port;
    int opened = 0;
    port.OnAfterOpen = [&](TCustomComPort&) { ++opened; };
    PrepareLikeTheLink(port, PortFor("MISSING"));
    try {
        port.Open();
        FAIL() << "a port that does not exist opened";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
        EXPECT_EQ(e.SystemErrorCode(), ERROR_FILE_NOT_FOUND);
        EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(opened, 0);
    EXPECT_THROW(port.ReadText(1), EComPort);
}

TEST(WinComPort, RepliesArriveAndAQuietLineReadsNothing) {
    KNS_REQUIRE_PORT("SERIAL");
    TComPort port;
    std::vector<std::string> notes;
    port.OnAfterOpen = [&](TCustomComPort&) { notes.push_back("open"); };
    port.OnAfterClose = [&](TCustomComPort&) { notes.push_back("close"); };
    PrepareLikeTheLink(port, PortFor("SERIAL"));
    port.Open();
    ASSERT_TRUE(port.Connected());

    const std::string identity = Command(port, "!I\r");
    ASSERT_FALSE(identity.empty()) << "no reply within the 150 ms per byte";
    EXPECT_EQ(identity.front(), '#');
    EXPECT_EQ(identity.back(), '\r');
    // A long reply (the configuration block) comes whole, byte for byte.
    const std::string config = Command(port, "!C\r");
    EXPECT_EQ(config.size(), 1 + 2 * 656 + 1u);

    // Nothing more is coming: the read ends empty instead of waiting for ever.
    port.PurgeBuffers(true, false);
    EXPECT_EQ(port.ReadText(1), "");
    EXPECT_EQ(port.BytesWaiting(), 0);

    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(notes, (std::vector<std::string>{"open", "close"}));
}

TEST(WinComPort, PurgeDiscardsAReplyNobodyRead) {
    KNS_REQUIRE_PORT("SERIAL");
    TComPort port;
    PrepareLikeTheLink(port, PortFor("SERIAL"));
    port.Open();
    port.PurgeBuffers(true, true);
    port.WriteText("!B\r");
    ASSERT_TRUE(WaitUntil([&] { return port.BytesWaiting() > 0; })) << "no reply arrived";
    // Part of it already taken by a reader: the purge drops that too.
    EXPECT_EQ(port.ReadText(1), "#");
    port.PurgeBuffers(true, false);
    EXPECT_EQ(port.BytesWaiting(), 0);
    EXPECT_EQ(port.ReadText(1), "");
    // The line still works afterwards.
    EXPECT_EQ(Command(port, "!I\r").front(), '#');
}

// The boot loader's "p" goes out right before the header frame's purge: a
// purge after a finished write loses none of it, though the bytes are still
// crossing the line (this port's emulator holds them to 115200 baud).
TEST(WinComPort, PurgeKeepsWhatWasWrittenBeforeIt) {
    KNS_REQUIRE_PORT("PACED");
    TComPort port;
    PrepareLikeTheLink(port, PortFor("PACED"));
    port.Open();
    port.PurgeBuffers(true, false);
    constexpr int Commands = 30;  // 8 ms on the wire: the purge comes long before the last
    std::string burst;
    for (int i = 0; i < Commands; ++i) burst += "!I\r";
    ASSERT_EQ(port.WriteText(burst), static_cast<int>(burst.size()));
    port.PurgeBuffers(false, true);
    std::string replies;
    for (std::string reply; !(reply = ReadReply(port)).empty();) replies += reply;
    EXPECT_EQ(std::count(replies.begin(), replies.end(), '#'), Commands) << "commands were purged before they went out";
}

TEST(WinComPort, PortThatVanishesMidReadFailsWithTheSystemNumber) {
    KNS_REQUIRE_PORT("VANISH");
    TComPort port;
    PrepareLikeTheLink(port, PortFor("VANISH"));
    port.Open();
    // The emulator answers one command and closes its side at the next.
    ASSERT_EQ(Command(port, "!I\r").front(), '#');
    port.PurgeBuffers(true, true);
    port.WriteText("!B\r");
    try {
        const std::string got = ReadReply(port);
        // A read that began after the far end went may also just find nothing.
        EXPECT_EQ(got, "") << "the vanished emulator answered";
        (void)ReadReply(port);
        FAIL() << "reads on a vanished port kept succeeding";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), CError_ReadFailed);
        EXPECT_EQ(e.SystemErrorCode(), ERROR_BROKEN_PIPE);
        EXPECT_STREQ(e.what(), "ReadFile function failed (win error code: 109)");
    }
    port.Close();  // must not hang on the dead line
    EXPECT_FALSE(port.Connected());

    // The emulator comes back on a new pseudo-terminal behind the same name.
    ASSERT_TRUE(WaitUntil([&] {
        try {
            port.Open();
            return true;
        } catch (const EComPort&) {
            return false;
        }
    })) << "the port did not come back";
    EXPECT_EQ(Command(port, "!I\r").front(), '#');
}

TEST(WinComPort, PortListHasTheMappedPortsInNaturalOrder) {
    KNS_REQUIRE_PORT("SERIAL");
    std::vector<std::string> ports{"stale"};
    TCustomComPort::ListSerialPorts(ports);
    SortPorts(ports);
    std::vector<std::string> mapped;
    for (const char* role : {"SERIAL", "VANISH", "LINK", "CLI"}) mapped.push_back(PortFor(role));
    std::vector<std::string> seen;
    for (const std::string& p : ports)
        if (std::find(mapped.begin(), mapped.end(), p) != mapped.end()) seen.push_back(p);
    EXPECT_EQ(seen, (std::vector<std::string>{"COM2", "COM3", "COM10", "COM12"}));
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "stale"), 0);
}

TEST(WinComPort, LetterCaseFollowsTheSystemUpperCasing) {
    struct Row {
        unsigned char in, out;
    };
    // Code page 1252 (wine's and western Windows' default).
    for (const Row& r : {Row{'a', 'A'}, Row{'z', 'Z'}, Row{'1', '1'}, Row{0xE9, 0xC9}, Row{0xFC, 0xDC}})
        EXPECT_EQ(UpperLatin1(r.in), r.out) << int(r.in);
    EXPECT_EQ(NaturalCompare("com4", "COM4", false), 0);
    EXPECT_LT(NaturalCompare("com2", "COM10", false), 0);
}
