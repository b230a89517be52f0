// A bench row's monitor against the emulated simulator behind lines in
// memory: what the first search says of each kind of port and which one is
// left alone, the pause between polls, a box that goes silent after it was
// seen, letting go of the port mid-search, and an end during every wait.

#include "link/BoxMonitor.h"
#include "link/PortChoice.h"

#include "emu/EmulatedSimulator.h"
#include "serial/MemoryDevice.h"

#include "FirmwareBlob.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#ifndef _WIN32
#include "AsOtherUser.h"
#include "Pty.h"

#include <sys/stat.h>
#endif

namespace {

FirmwareImage Carried() {
    const auto blob = CarriedFirmwareBlob();
    FirmwareImage image;
    image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    return image;
}

// Every view a monitor showed, in order.
struct Views {
    mutable std::mutex mutex;
    std::vector<BoxView> seen;

    BoxMonitor::ViewChanged Recorder() {
        return [this](const BoxView& v) {
            std::lock_guard lock(mutex);
            seen.push_back(v);
        };
    }
    BoxView::Kind Last() const {
        std::lock_guard lock(mutex);
        return seen.empty() ? BoxView::Kind::Searching : seen.back().State;
    }
    bool WaitFor(BoxView::Kind kind, int timeoutMs = 10000) const {
        return WaitUntil([&] { return Last() == kind; }, timeoutMs);
    }
    bool Ever(BoxView::Kind kind) const {
        std::lock_guard lock(mutex);
        return std::any_of(seen.begin(), seen.end(), [kind](const BoxView& v) { return v.State == kind; });
    }
};

std::unique_ptr<EmulatedSimulator> Box(const std::string& line, CommandFaults faults = {}) {
    EmulatorOptions o;
    o.MemoryLineName = line;
    o.Faults = faults;
    auto box = std::make_unique<EmulatedSimulator>(o);
    box->Start();
    return box;
}

std::vector<std::string> Commands(const EmulatedSimulator& box) {
    std::vector<std::string> c;
    for (const auto& e : box.Log())
        if (e[0] == '!') c.push_back(e);
    return c;
}

}  // namespace

// Only a port that opens and on which nobody answers is left alone; one in
// use, missing or behind a server that does not answer keeps its row and is
// tried again, whether or not the whole machine is searched.
TEST(BoxMonitor, FirstSearchSaysWhatKeepsThePortFromAnswering) {
    CommandFaults silent;
    silent.Silent = true;
    const auto quiet = Box("monitor-silent", silent);
    const auto held = Box("monitor-held");
    auto holder = OpenMemoryDevice("monitor-held");  // another program has it
    const struct {
        std::string port;
        bool leaveAlone;
        BoxView::Kind first;
    } cases[] = {
        {quiet->PortPath(), true, BoxView::Kind::LeftAlone},
        {quiet->PortPath(), false, BoxView::Kind::Silent},
        {held->PortPath(), true, BoxView::Kind::InUse},
        {"memory:monitor-missing", true, BoxView::Kind::Gone},
        {"tcp://127.0.0.1:1", true, BoxView::Kind::NoAnswer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.port + (c.leaveAlone ? " searched with the machine" : " named"));
        Views views;
        BoxMonitor monitor(c.port, Carried(), views.Recorder(), c.leaveAlone);
        ASSERT_TRUE(views.WaitFor(c.first));
        if (c.first == BoxView::Kind::LeftAlone) continue;
        // Tried again: never left alone after a later round either.
        EXPECT_FALSE(WaitUntil([&] { return views.Ever(BoxView::Kind::LeftAlone); }, 1500));
    }
    // The port in use turns ready as soon as the other program lets go.
    Views views;
    BoxMonitor monitor(held->PortPath(), Carried(), views.Recorder(), true);
    ASSERT_TRUE(views.WaitFor(BoxView::Kind::InUse));
    holder.reset();
    EXPECT_TRUE(views.WaitFor(BoxView::Kind::Ready));
}

// A box once seen is a box: silent after it came back, it is polled until it
// answers again, never left alone.
TEST(BoxMonitor, BoxSeenOnceIsSearchedForUntilItAnswersAgain) {
    CommandFaults faults;
    faults.VanishAfter = 6;
    faults.ReturnAfterMs = 1500;
    const auto box = Box("monitor-comes-back", faults);
    Views views;
    BoxMonitor monitor(box->PortPath(), Carried(), views.Recorder(), true);
    ASSERT_TRUE(views.WaitFor(BoxView::Kind::Ready));
    ASSERT_TRUE(views.WaitFor(BoxView::Kind::Gone));
    faults.Silent = true;  // back on the line, but not answering
    box->SetFaults(faults);
    ASSERT_TRUE(views.WaitFor(BoxView::Kind::Silent));
    box->SetFaults({});
    EXPECT_TRUE(views.WaitFor(BoxView::Kind::Ready));
    EXPECT_FALSE(views.Ever(BoxView::Kind::LeftAlone));
}

// A box is read once a second, as the main window reads it, however many
// boxes a bench holds.
TEST(BoxMonitor, StatusIsReadOnceAPollInterval) {
    const auto box = Box("monitor-pace");
    Views views;
    BoxMonitor monitor(box->PortPath(), Carried(), views.Recorder(), false);
    ASSERT_TRUE(views.WaitFor(BoxView::Kind::Ready));
    const std::size_t from = box->LogSize();
    ASSERT_TRUE(WaitUntil([&] {
        const auto log = box->TimedLog(from);
        return std::count_if(log.begin(), log.end(), [](const auto& e) { return e.Text == "!S"; }) >= 4;
    }, 10000));
    std::vector<std::chrono::steady_clock::time_point> reads;
    for (const auto& e : box->TimedLog(from))
        if (e.Text == "!S") reads.push_back(e.At);
    for (std::size_t i = 1; i < reads.size(); ++i)
        EXPECT_GE(reads[i] - reads[i - 1], std::chrono::milliseconds(Connection::PollInterval * 9 / 10)) << i;
}

// Letting go in the middle of a search: the port is closed at once (another
// program may open it), and the search resumes when asked.
TEST(BoxMonitor, ReleaseDuringASearchClosesThePort) {
    CommandFaults silent;
    silent.Silent = true;
    const auto box = Box("monitor-release", silent);
    Views views;
    BoxMonitor monitor(box->PortPath(), Carried(), views.Recorder(), false);
    ASSERT_TRUE(box->WaitForLogEntry("!I", 5000));  // the search is under way
    monitor.Release();
    monitor.WaitReleased();
    EXPECT_TRUE(views.WaitFor(BoxView::Kind::Released));
    EXPECT_NE(OpenMemoryDevice("monitor-release"), nullptr);
    box->SetFaults({});
    monitor.Resume();
    EXPECT_TRUE(views.WaitFor(BoxView::Kind::Ready));
}

// An end asked for during any wait (a search, the pause between polls, the
// pause after a failed search, a port let go of) ends the monitor, and a box
// it held leaves remote mode.
TEST(BoxMonitor, QuitEndsEveryWait) {
    CommandFaults silent;
    silent.Silent = true;
    const auto quiet = Box("monitor-quit-search", silent);
    const auto ready = Box("monitor-quit-poll");
    for (int wait = 0; wait < 4; ++wait) {
        SCOPED_TRACE(wait);
        Views views;
        auto monitor = std::make_unique<BoxMonitor>(wait == 0   ? quiet->PortPath()
                                                    : wait == 2 ? std::string("memory:monitor-quit-missing")
                                                                : ready->PortPath(),
                                                    Carried(), views.Recorder(), false);
        switch (wait) {
        case 0:
            ASSERT_TRUE(quiet->WaitForLogEntry("!I", 5000));
            break;
        case 1:
            ASSERT_TRUE(views.WaitFor(BoxView::Kind::Ready));
            break;
        case 2:
            ASSERT_TRUE(views.WaitFor(BoxView::Kind::Gone));
            break;
        case 3:
            ASSERT_TRUE(views.WaitFor(BoxView::Kind::Ready));
            monitor->Release();
            monitor->WaitReleased();
            break;
        }
        monitor->Quit();
        monitor.reset();  // returns once the thread has ended
        if (wait == 1) {
            EXPECT_EQ(Commands(*ready).back(), "!K0");
        }
    }
}

#ifndef _WIN32
// A port this user may not open keeps its row, says "no permission" with the
// way out, and is tried again: it may hold a box once access is granted.
TEST(BoxMonitor, RefusedPortSaysWhatToDoAndIsTriedAgain) {
    const Pty port;
    ASSERT_EQ(::chmod(port.Path().c_str(), 0), 0);
    const int status = RunUnprivileged([&] {
        Views views;
        BoxMonitor monitor(port.Path(), Carried(), views.Recorder(), true);
        if (!views.WaitFor(BoxView::Kind::NoPermission)) return 1;
        {
            std::lock_guard lock(views.mutex);
            if (views.seen.back().Failure != PermissionAdvice(port.Path())) return 2;
        }
        return WaitUntil([&] { return views.Ever(BoxView::Kind::LeftAlone); }, 1500) ? 3 : 0;
    });
    EXPECT_EQ(status, 0);
}
#endif
