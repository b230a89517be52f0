// The line event watcher: hand-over to the owning thread, closing with a
// hand-over pending, no busy reporting of unread bytes or of a hang-up.
#include "Pty.h"
#include "WaitUntil.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class WatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        port.SetPort(pty.Path());
        port.OnEventsQueued = [this] { ++queued; };
        port.OnRxChar = [this](TCustomComPort&, int count) {
            ++rxEvents;
            lastRxCount = count;
        };
        port.OnTxEmpty = [this](TCustomComPort&) { ++txEmptyEvents; };
    }

    // Plays the window thread: handles hand-overs until cond holds (bounded).
    bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 5000) {
        return WaitUntil(cond, timeoutMs, [this] { port.HandleQueuedEvents(); });
    }
    // ... or for a while, to see that nothing more comes.
    void Pump(std::chrono::milliseconds duration) { PumpUntil([] { return false; }, static_cast<int>(duration.count())); }

    // The link's setting for reading one reply byte.
    void UseToolReadTimeouts() {
        port.Timeouts().SetReadTotalMultiplier(-1);
        port.Timeouts().SetReadTotalConstant(3000);
    }

    Pty pty;
    TComPort port;
    std::atomic<int> queued{0};
    int rxEvents = 0;
    int lastRxCount = 0;
    int txEmptyEvents = 0;
    int afterClose = 0;  // a member: the port still notifies while the fixture ends
};

TEST_F(WatcherTest, UnreadBytesAreReportedOncePerArrival) {
    port.Open();
    Pump(100ms);
    EXPECT_EQ(rxEvents, 0);
    pty.Write("#OK\r\n");
    ASSERT_TRUE(PumpUntil([&] { return rxEvents > 0; }));
    // The reply's line feed stays unread: no further reports meanwhile.
    Pump(600ms);
    EXPECT_EQ(rxEvents, 1);
    EXPECT_EQ(lastRxCount, 5);
    EXPECT_LE(queued.load(), 2);
    EXPECT_EQ(port.BytesWaiting(), 5);  // the watcher reads nothing

    // Once the queue has been emptied, the next arrival is reported again.
    port.PurgeBuffers(true, true);
    Pump(200ms);
    pty.Write("x");
    ASSERT_TRUE(PumpUntil([&] { return rxEvents > 1; }));
    Pump(200ms);
    EXPECT_EQ(rxEvents, 2);
    EXPECT_EQ(lastRxCount, 1);
}

TEST_F(WatcherTest, ReplyRightAfterAPurgeOrReadIsReportedThoughNoLongerThanTheRest) {
    port.Open();
    UseToolReadTimeouts();
    pty.Write("#OK\r\n");
    ASSERT_TRUE(PumpUntil([&] { return rxEvents == 1; }));
    // As before every command: purge, and the short reply follows at once,
    // before the watcher has seen the queue empty.
    port.PurgeBuffers(true, true);
    pty.Write("#A\r");
    ASSERT_TRUE(PumpUntil([&] { return rxEvents == 2; }));
    EXPECT_EQ(lastRxCount, 3);
    // Reading the reply down, then one more byte at once.
    ASSERT_EQ(port.ReadText(1), "#");
    ASSERT_EQ(port.ReadText(1), "A");
    ASSERT_EQ(port.ReadText(1), "\r");
    pty.Write("x");
    ASSERT_TRUE(PumpUntil([&] { return rxEvents == 3; }));
    EXPECT_EQ(lastRxCount, 1);
}

TEST_F(WatcherTest, CompletedWriteReportsTransmitQueueEmpty) {
    port.Open();
    EXPECT_EQ(port.WriteText("!S\r"), 3);
    ASSERT_TRUE(PumpUntil([&] { return txEmptyEvents > 0; }));
    Pump(100ms);
    EXPECT_EQ(txEmptyEvents, 1);
}

TEST_F(WatcherTest, WriteCutShortByItsTimeoutReportsNoEmptyTransmitQueue) {
    port.Open();
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(100);
    const std::string big(4 << 20, 'x');  // the other side reads nothing
    ASSERT_LT(port.WriteText(big), static_cast<int>(big.size()));
    Pump(300ms);
    EXPECT_EQ(txEmptyEvents, 0);
}

TEST_F(WatcherTest, CloseWithAHandOverQueuedCompletes) {
    port.Open();
    pty.Write("A");
    // Nobody handles hand-overs: the watcher now waits for the owning thread.
    WaitUntil([this] { return queued > 0; });
    ASSERT_EQ(queued.load(), 1);
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(rxEvents, 1);  // handled on the closing thread before the line closed
    EXPECT_NO_THROW(port.HandleQueuedEvents());
}

TEST_F(WatcherTest, HandlerFailingWhileCloseDrainsAHandOverStillClosesTheLine) {
    port.OnRxChar = [](TCustomComPort&, int) { throw std::runtime_error("handler failed"); };
    port.OnAfterClose = [this](TCustomComPort&) { ++afterClose; };
    port.Open();
    pty.Write("A");
    WaitUntil([this] { return queued > 0; });
    ASSERT_EQ(queued.load(), 1);
    EXPECT_THROW(port.Close(), std::runtime_error);  // the failure is not swallowed...
    EXPECT_FALSE(port.Connected());                  // ...but the line is closed
    EXPECT_EQ(port.Handle(), -1);
    EXPECT_EQ(afterClose, 1);
    // and no longer locked.
    TComPort other;
    other.SetPort(pty.Path());
    other.SetEvents(0);
    EXPECT_NO_THROW(other.Open());
}

TEST_F(WatcherTest, HandlerThatClosesThePortDoesNotHang) {
    port.OnRxChar = [](TCustomComPort& sender, int) { sender.Close(); };
    port.OnAfterClose = [this](TCustomComPort&) { ++afterClose; };
    port.Open();
    pty.Write("A");
    ASSERT_TRUE(PumpUntil([&] { return !port.Connected(); }));
    EXPECT_EQ(afterClose, 1);
    // And the port opens again with a fresh watcher.
    port.OnRxChar = [this](TCustomComPort&, int) { ++rxEvents; };
    port.Open();
    pty.Write("B");
    EXPECT_TRUE(PumpUntil([&] { return rxEvents > 0; }));
}

TEST_F(WatcherTest, FailedStatusQueryWhileHandlingIsDropped) {
    port.OnRxChar = [this](TCustomComPort&, int) {
        ++rxEvents;
        throw EComPort(CError_ClearComFailed, 5);
    };
    port.Open();
    pty.Write("A");
    ASSERT_TRUE(PumpUntil([&] { return rxEvents == 1; }));
    // The watcher goes on.
    EXPECT_EQ(port.ReadText(1), "A");
    Pump(200ms);
    pty.Write("B");
    EXPECT_TRUE(PumpUntil([&] { return rxEvents == 2; }));
}

TEST_F(WatcherTest, EmptyEventSetStartsNoWatcher) {
    port.SetEvents(0);
    port.Open();
    pty.Write("A");
    EXPECT_EQ(port.WriteText("x"), 1);
    Pump(300ms);
    EXPECT_EQ(queued.load(), 0);
    EXPECT_EQ(rxEvents, 0);
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(WatcherTest, HangUpIsReportedWithoutRepeating) {
    port.Open();
    Pump(100ms);
    const int before = queued;
    pty.CloseMaster();
    Pump(800ms);
    EXPECT_LE(queued - before, 2);  // one report, not one per poll
    port.Close();
    EXPECT_FALSE(port.Connected());
}

}  // namespace
