// The port against pseudo-terminals: opening, notifications, time-outs,
// purges, hang-ups and the setter rules; against a device server this test
// plays itself where the server's answers are the point.
#include "Pty.h"
#include "Ser2net.h"
#include "WaitUntil.h"
#include "serial/ComPort.h"
#include "serial/Rfc2217Codec.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// Records every notification of a port by name, in order.
struct Recorder {
    std::vector<std::string> seen;
    void Attach(TCustomComPort& port) {
        port.OnBeforeOpen = [this](TCustomComPort&) { seen.push_back("BeforeOpen"); };
        port.OnAfterOpen = [this](TCustomComPort&) { seen.push_back("AfterOpen"); };
        port.OnBeforeClose = [this](TCustomComPort&) { seen.push_back("BeforeClose"); };
        port.OnAfterClose = [this](TCustomComPort&) { seen.push_back("AfterClose"); };
        port.OnCTSChange = [this](TCustomComPort&, bool on) { seen.push_back(on ? "CTS on" : "CTS off"); };
        port.OnDSRChange = [this](TCustomComPort&, bool on) { seen.push_back(on ? "DSR on" : "DSR off"); };
        port.OnRLSDChange = [this](TCustomComPort&, bool on) { seen.push_back(on ? "RLSD on" : "RLSD off"); };
    }
};

const std::vector<std::string> kOpenSequence = {"BeforeOpen", "AfterOpen", "CTS off", "DSR off", "RLSD off"};
const std::vector<std::string> kCloseSequence = {"CTS off", "DSR off", "RLSD off", "BeforeClose", "AfterClose"};

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The link's setting for reading one reply byte: wait up to constant ms.
void UseToolReadTimeouts(TCustomComPort& port, int constant) {
    port.Timeouts().SetReadTotalMultiplier(-1);
    port.Timeouts().SetReadTotalConstant(constant);
}

// Waits (bounded) until the port has count bytes in its input queue.
bool WaitForWaiting(TCustomComPort& port, int count) {
    return WaitUntil([&] { return port.BytesWaiting() >= count; });
}

class PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.SetPort(pty.Path());
        port.SetEvents(0);  // the watcher has its own tests
    }
    Pty pty;
    Recorder rec;  // outlives the port, whose destructor still notifies
    TComPort port;
};

TEST(PortOpen, FailuresLeaveThePortClosedWithoutOpenOrCloseNotifications) {
    // Slow to negotiate (2.5 s), then silent: the settings' answers have
    // only what is left of the open's 3 s, where a fresh 3 s of their own
    // would make 5.5 s; the bound between leaves room for a loaded machine.
    const ComPortServer unanswering(ComPortServer::Settings::NeverAnswered, std::chrono::milliseconds(2500));
    struct Row {
        std::string name;
        int systemError;
    };
    const Row rows[] = {
        {"", ENOENT},                          // nothing chosen in the selector
        {"/dev/kns-no-such-port", ENOENT},     // a path
        {"kns-no-such-port", ENOENT},          // a name under /dev
        {"/dev/null", ENOTTY},                 // exists, but is no serial line
        // A device server that negotiates and never answers the line
        // settings: missing, within the one deadline of the whole open.
        {unanswering.Name(), ENOENT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TComPort port;
        Recorder rec;
        rec.Attach(port);
        port.SetBaudRate(br115200);
        port.SetPort(row.name);
        const auto start = Clock::now();
        try {
            port.Open();
            FAIL() << "opened";
        } catch (const EComPort& e) {
            EXPECT_LT(MsSince(start), 4500);
            EXPECT_EQ(e.ErrorCode(), 1);
            EXPECT_EQ(e.SystemErrorCode(), row.systemError);
            EXPECT_EQ(e.Message(), "Unable to open com port (win error code: " + std::to_string(row.systemError) + ")");
        }
        EXPECT_FALSE(port.Connected());
        EXPECT_EQ(port.Handle(), -1);
        EXPECT_EQ(rec.seen, std::vector<std::string>{"BeforeOpen"});
        port.Close();
        EXPECT_EQ(rec.seen, std::vector<std::string>{"BeforeOpen"});
    }
}

TEST_F(PortTest, SecondOpenerOfTheSameLineIsRefused) {
    port.Open();
    TComPort other;
    other.SetPort(pty.Path());
    try {
        other.Open();
        FAIL() << "second open succeeded";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 1);
        // The lock refuses it (EWOULDBLOCK), or TIOCEXCL does for a non-root user (EBUSY).
        EXPECT_TRUE(e.SystemErrorCode() == EWOULDBLOCK || e.SystemErrorCode() == EBUSY) << e.SystemErrorCode();
        EXPECT_EQ(e.Message(), "Unable to open com port (win error code: " + std::to_string(e.SystemErrorCode()) + ")");
    }
    EXPECT_FALSE(other.Connected());
    // Once the first one lets go, the line can be opened again.
    port.Close();
    EXPECT_NO_THROW(other.Open());
    EXPECT_TRUE(other.Connected());
}

TEST_F(PortTest, NotificationOrderOverOpenAndClose) {
    rec.Attach(port);
    port.Open();
    EXPECT_TRUE(port.Connected());
    port.Open();  // already open: nothing
    EXPECT_EQ(rec.seen, kOpenSequence);
    rec.seen.clear();
    port.Close();
    port.Close();  // already closed: nothing
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(rec.seen, kCloseSequence);
    rec.seen.clear();
    port.SetConnected(true);
    port.SetConnected(false);
    EXPECT_EQ(rec.seen, Concat(kOpenSequence, kCloseSequence));
}

TEST_F(PortTest, NewPortWhileOpenClosesAndReopensOnTheNewLine) {
    Pty second;
    port.Open();
    rec.Attach(port);
    port.SetPort(pty.Path());  // same text: nothing
    EXPECT_TRUE(rec.seen.empty());
    port.SetPort(second.Path());
    EXPECT_EQ(rec.seen, Concat(kCloseSequence, kOpenSequence));
    ASSERT_TRUE(port.Connected());
    EXPECT_EQ(port.WriteText("!S\r"), 3);
    EXPECT_EQ(second.Read(3), "!S\r");
    EXPECT_EQ(pty.Read(1, 100), "");
}

TEST_F(PortTest, NothingArrivingReturnsEmptyAfterTheReadConstant) {
    port.Open();
    UseToolReadTimeouts(port, 150);
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadText(1), "");
    EXPECT_GE(MsSince(start), 145);
}

TEST_F(PortTest, WaitingByteReturnsAtOnce) {
    port.Open();
    UseToolReadTimeouts(port, 20000);
    pty.Write("#A");
    ASSERT_TRUE(WaitForWaiting(port, 2));
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadText(1), "#");
    EXPECT_EQ(port.ReadText(5), "A");  // up to count: what is there
    EXPECT_LT(MsSince(start), 5000);
}

TEST_F(PortTest, LaterByteReturnsWhenItArrives) {
    port.Open();
    UseToolReadTimeouts(port, 20000);
    std::thread device([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pty.Write("x");
    });
    const auto start = Clock::now();
    const std::string got = port.ReadText(1);
    const long took = MsSince(start);
    device.join();
    EXPECT_EQ(got, "x");
    EXPECT_GE(took, 150);
    EXPECT_LT(took, 5000);
}

TEST_F(PortTest, WaitForInputTakesNothing) {
    port.Open();
    UseToolReadTimeouts(port, 150);
    EXPECT_FALSE(port.WaitForInput(30));  // a quiet line: the time-out
    pty.Write("ab");
    EXPECT_TRUE(port.WaitForInput(20000));
    ASSERT_TRUE(WaitForWaiting(port, 2));
    EXPECT_EQ(port.ReadText(2), "ab");
}

TEST_F(PortTest, CreationTimeoutsReturnWhatIsThere) {
    port.Open();  // read interval all-ones, multiplier and constant 0
    EXPECT_EQ(port.ReadText(4), "");
    pty.Write("abc");
    ASSERT_TRUE(WaitForWaiting(port, 3));
    EXPECT_EQ(port.ReadText(10), "abc");
    EXPECT_EQ(port.ReadText(0), "");
}

TEST_F(PortTest, PurgeDiscardsInputButNotWhatThePeerHasNotReadYet) {
    port.Open();
    UseToolReadTimeouts(port, 150);
    pty.Write("old reply\r\n");
    ASSERT_TRUE(WaitForWaiting(port, 11));
    // The boot loader's single "p" is written right before the next purge.
    EXPECT_EQ(port.WriteText("p"), 1);
    port.PurgeBuffers(true, true);
    EXPECT_EQ(port.BytesWaiting(), 0);
    EXPECT_EQ(port.ReadText(1), "");
    EXPECT_EQ(pty.Read(1), "p");
}

TEST_F(PortTest, WriteAndReadRoundTripAndEmptyWrite) {
    port.Open();
    EXPECT_EQ(port.WriteText(""), 0);
    EXPECT_EQ(port.WriteText("!I\r"), 3);
    EXPECT_EQ(pty.Read(3), "!I\r");
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    pty.Write(bytes);  // raw line: every byte value passes unchanged
    ASSERT_TRUE(WaitForWaiting(port, 256));
    EXPECT_EQ(port.ReadText(256), bytes);
}

TEST_F(PortTest, WriteRunningIntoItsTimeoutReturnsTheSmallerCount) {
    port.Open();
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(200);
    // Far more than the line's queues hold while the other side reads nothing.
    const std::string big(4 << 20, 'x');
    const auto start = Clock::now();
    const int sent = port.WriteText(big);
    EXPECT_GE(MsSince(start), 150);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, static_cast<int>(big.size()));
    // The line is still usable, and closing it with output unread does not hang.
    EXPECT_FALSE(pty.Read(1).empty());
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(PortTest, ClosedPortOperations) {
    port.PurgeBuffers(true, true);  // no effect, no failure
    EXPECT_EQ(port.WriteText(""), 0);
    auto codeOf = [](auto&& call) {
        try {
            call();
        } catch (const EComPort& e) {
            return e.ErrorCode();
        }
        return 0;
    };
    EXPECT_EQ(codeOf([&] { port.WriteText("x"); }), 2);
    EXPECT_EQ(codeOf([&] { port.ReadText(1); }), 3);
    EXPECT_EQ(codeOf([&] { port.BytesWaiting(); }), 10);
    EXPECT_EQ(codeOf([&] { port.WaitForInput(0); }), 3);
}

TEST_F(PortTest, HangUpIsAReadFailureNotATimeout) {
    port.Open();
    UseToolReadTimeouts(port, 20000);
    pty.CloseMaster();
    const auto start = Clock::now();
    try {
        port.ReadText(1);
        FAIL() << "read returned";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 3);
        EXPECT_EQ(e.Message(), "ReadFile function failed (win error code: " + std::to_string(e.SystemErrorCode()) + ")");
    }
    EXPECT_LT(MsSince(start), 10000);
    EXPECT_THROW(port.WriteText("x"), EComPort);
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(PortTest, LineRunsRawAtTheRateSetBeforeOpen) {
    port.SetBaudRate(br115200);  // closed: only stored
    port.Open();
    termios tio{};
    ASSERT_EQ(tcgetattr(port.Handle(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B115200);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    // Changed while open: applied at once.
    port.SetBaudRate(br9600);
    ASSERT_EQ(tcgetattr(port.Handle(), &tio), 0);
    EXPECT_EQ(cfgetospeed(&tio), B9600);
}

// A server may send an answer nobody asked for (a setting made from its
// other side): it must not be taken for the answer to a later request.
TEST(NetworkPortLine, ChangedWhileOpenTakesOnlyTheAnswersToItsOwnRequest) {
    ComPortServer server;
    TComPort port;
    port.SetBaudRate(br115200);
    port.SetPort(server.Name());
    port.SetEvents(0);
    port.Open();
    ASSERT_TRUE(server.Send(Rfc2217Codec::Command(ComPort::SetBaudRate + ComPort::ServerOffset,
                                                  Rfc2217Codec::BaudRateValue(300)) +
                            "x"));
    UseToolReadTimeouts(port, 3000);
    EXPECT_EQ(port.ReadText(1), "x");
    EXPECT_NO_THROW(port.SetBaudRate(br9600));
    EXPECT_TRUE(port.Connected());
}

TEST_F(PortTest, SyncMethodCannotChangeWhileOpen) {
    port.Open();
    EXPECT_NO_THROW(port.SetSyncMethod(smThreadSync));  // unchanged: nothing
    try {
        port.SetSyncMethod(smNone);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 14);
        EXPECT_EQ(e.SystemErrorCode(), -1);
        EXPECT_EQ(e.Message(), "Cannot set property while connected");
    }
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    port.Close();
    port.SetSyncMethod(smNone);
    EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST(PortProperties, CreationValuesAndBufferSizes) {
    TComPort port;
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.Events(), AllComEvents);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_EQ(port.FlowControl().XonChar(), 17);
    EXPECT_EQ(port.FlowControl().XoffChar(), 19);
    EXPECT_FALSE(port.Connected());
    port.Buffer().SetInputSize(1025);
    port.Buffer().SetOutputSize(-3);  // only positive odd sizes are lowered
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), -3);
    EXPECT_EQ(BaudRateValue(br115200), 115200);
    EXPECT_EQ(BaudRateValue(br110), 110);
}

// Counts how often the time-outs reach the driver.
class CountingPort : public TComPort {
public:
    int applied = 0;

protected:
    void ApplyTimeouts() override {
        ++applied;
        TComPort::ApplyTimeouts();
    }
};

TEST(PortSetters, UnchangedTimeoutIsNotPassedOnAndClosedOnlyStores) {
    Pty pty;
    CountingPort port;
    port.SetPort(pty.Path());
    port.SetEvents(0);
    port.Timeouts().SetReadTotalConstant(150);  // closed: stored only
    EXPECT_EQ(port.applied, 0);
    port.Open();
    EXPECT_EQ(port.applied, 1);  // with all settings at open
    port.Timeouts().SetReadTotalConstant(150);
    port.Timeouts().SetReadTotalMultiplier(0);
    EXPECT_EQ(port.applied, 1);
    port.Timeouts().SetReadTotalConstant(3000);
    EXPECT_EQ(port.applied, 2);
    TComPort other;
    port.Timeouts() = other.Timeouts();  // member by member: only the constant differs
    EXPECT_EQ(port.applied, 3);
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 0);
}

}  // namespace
