// The firmware update against a scripted boot loader on a line in memory.

#include "LinkFakes.h"
#include "ScriptedPeer.h"

#include "link/FirmwareUpdate.h"
#include "link/uComIo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>

using Bytes = std::vector<std::uint8_t>;

namespace {

// A boot loader that acknowledges every frame, with one fault on request.
// The test changes its settings while the peer's thread answers.
struct BootScript {
    enum Fault { None, BadChecksum, Overlong, Missing };
    std::atomic<Fault> fault{None};
    std::atomic<int> faultFrame{-1};  // 0 is the header frame
    std::atomic<char> pollAnswer{'c'};
    std::atomic<bool> answerStart{true};
    std::atomic<int> frames{0};
    std::atomic<int> badFrames{0};

    std::string operator()(ScriptedPeer& peer, const std::string& unit) {
        if (!peer.BootMode()) {
            if (unit != "!@" || !answerStart) return {};
            peer.SetBootMode(true);
            return "OK\r\n";
        }
        if (unit == "P") return pollAnswer ? std::string(1, pollAnswer) : std::string();
        if (unit == "p") return {};
        if (!FrameSumsToZero(unit)) ++badFrames;
        const int n = frames++;
        if (static_cast<unsigned char>(unit[0]) == 0x02) return {};
        if (n == faultFrame) {
            switch (fault) {
            case BadChecksum: {
                std::string ack = AckFrame(0x01);
                ack.back() = static_cast<char>(ack.back() + 1);
                return ack;
            }
            // 129 payload bytes that add up correctly: only the length is wrong.
            case Overlong: return AckFrame(0x01, std::string(129, '\0'));
            case Missing: return {};
            case None: break;
            }
        }
        // Both a bare acknowledgement and one with a payload are valid.
        return n % 2 ? AckFrame(0x06, "ok") : AckFrame(0x01);
    }
};

// The transfer area as the boot loader should receive it, built here
// independently of the image class.
std::array<std::uint8_t, 0x7000> ExpectedArea(const Bytes& body) {
    std::array<std::uint8_t, 0x7000> area;
    area.fill(0xFF);
    std::copy(body.begin(), body.end(), area.begin());
    const Bytes header = TestHeader();
    std::copy(header.begin(), header.end(), area.begin() + 0x6F80);
    return area;
}

std::string Page(const char* kind, int p) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%04X", kind, p);
    return text;
}

// Reads the frames from units[first] on into a summary ("H", "D0000" for a
// page sent whole, "B0200" for a blank page, "C" for the closing frame) and
// checks each frame's bytes against the expected area on the way.
std::vector<std::string> Summarise(const std::vector<std::string>& units, std::size_t first,
                                   const std::array<std::uint8_t, 0x7000>& area) {
    std::vector<std::string> summary;
    auto bytes = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
    for (std::size_t i = first; i < units.size(); ++i) {
        const Bytes f = bytes(units[i]);
        EXPECT_TRUE(FrameSumsToZero(units[i])) << "frame " << i;
        switch (f[0]) {
        case 0x10:
            EXPECT_EQ(Bytes(f.begin() + 2, f.end() - 1), TestHeader());
            summary.push_back("H");
            break;
        case 0x24:
            EXPECT_EQ(f.size(), 5u);
            summary.push_back(Page("B", f[2] | f[3] << 8));
            break;
        case 0x03: {
            if (i + 2 >= units.size()) {
                ADD_FAILURE() << "page cut short";
                return summary;
            }
            const Bytes second = bytes(units[i + 1]);
            const Bytes done = bytes(units[i + 2]);
            const int p = done[2] | done[3] << 8;
            EXPECT_EQ(second[0], 0x04);
            EXPECT_EQ(done[0], 0x21);
            EXPECT_EQ(done[1], 3);
            EXPECT_EQ(done[4], p == 0x6F00 ? 0x00 : 0x63) << "flag of page " << p;
            EXPECT_EQ(Bytes(f.begin() + 2, f.end() - 1), Bytes(area.begin() + p, area.begin() + p + 128));
            EXPECT_EQ(Bytes(second.begin() + 2, second.end() - 1),
                      Bytes(area.begin() + p + 128, area.begin() + p + 256));
            summary.push_back(Page("D", p));
            i += 2;
            break;
        }
        case 0x02:
            EXPECT_EQ(f, (Bytes{0x02, 0x00, 0xFE}));
            summary.push_back("C");
            break;
        default:
            ADD_FAILURE() << "unexpected frame code " << int(f[0]);
        }
    }
    return summary;
}

std::vector<std::string> ExpectedSummary(std::initializer_list<int> dataPages) {
    std::vector<std::string> summary{"H"};
    for (int p = 0; p < 0x7000; p += 0x100) {
        const bool data = std::find(dataPages.begin(), dataPages.end(), p) != dataPages.end();
        summary.push_back(Page(data ? "D" : "B", p));
    }
    summary.push_back("C");
    return summary;
}

class Update : public ::testing::Test {
protected:
    Update() {
        host.port = peer.Path();
        peer.SetResponder([this](ScriptedPeer& p, const std::string& unit) { return script(p, unit); });
    }

    // Runs timer steps until the update window would close.
    std::optional<SchedulerState> RunSteps(int limit = 40) {
        for (int i = 0; i < limit; ++i) {
            if (auto result = update.Step()) return result;
        }
        return std::nullopt;
    }

    BootScript script;
    ScriptedPeer peer;
    FakeHost host;
    FakeView view;
    SimulatorState state;
    FirmwareImage image;
    TComIo io{host, state, image};
    FirmwareUpdate update{io, image};
};

}  // namespace

TEST_F(Update, AutomaticUpdateSendsEveryPage) {
    Bytes body(0x180);
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(i & 0x7F);
    image.Load(TestImage(body));  // deliberately not prepared: UpdateBegin must see to it
    state.InstalledHeader[12] = 1;
    state.InstalledHeader[13] = 1;

    update.Begin(SchedulerState::AutoUpdate, view, host.port);
    ASSERT_EQ(view.layouts.size(), 1u);
    EXPECT_FALSE(view.layouts[0].ResetPrompt);
    EXPECT_TRUE(view.layouts[0].ShowInstalled);
    EXPECT_EQ(view.layouts[0].Installed, "v1.1.0");
    EXPECT_EQ(view.layouts[0].Carried, "v1.2.0");

    EXPECT_FALSE(update.Underway());
    EXPECT_EQ(update.Step(), std::nullopt) << "the first step only asks for the boot loader";
    EXPECT_TRUE(update.Underway());
    EXPECT_FALSE(update.CanCancel()) << "the automatic update cannot be cancelled once asked";
    EXPECT_EQ(update.Step(), SchedulerState::Search);
    EXPECT_TRUE(io.Port().Connected()) << "the next search reopens it";

    const std::size_t expectedUnits = 3 + 1 + 3 * 3 + 109 + 1;
    ASSERT_TRUE(peer.WaitForUnits(expectedUnits));
    const auto units = peer.Units();
    ASSERT_EQ(units.size(), expectedUnits);
    EXPECT_EQ(std::vector<std::string>(units.begin(), units.begin() + 3), (std::vector<std::string>{"!@", "P", "p"}));
    EXPECT_EQ(Summarise(units, 3, ExpectedArea(body)), ExpectedSummary({0x0000, 0x0100, 0x6F00}));
    EXPECT_EQ(script.badFrames, 0);

    ASSERT_FALSE(view.progress.empty());
    EXPECT_EQ(view.progress.back(), std::make_pair(0x7000, 0x7000));
    EXPECT_GE(host.processed, 112) << "messages are processed once per page";
}

TEST_F(Update, ForcedUpdateSendsASinglePageWithDataWhole) {
    Bytes body(0x301, 0xFF);
    body[0x250] = 0x00;
    image.Load(TestImage(body));
    image.PrepareTransferArea();
    peer.SetBootMode(true);  // the user pressed reset: only the boot loader listens

    update.Begin(SchedulerState::ForcedUpdate, view, host.port);
    ASSERT_EQ(view.layouts.size(), 1u);
    EXPECT_TRUE(view.layouts[0].ResetPrompt);
    EXPECT_FALSE(view.layouts[0].ShowInstalled);
    EXPECT_EQ(update.Step(), SchedulerState::Search) << "the first poll is answered";
    EXPECT_EQ(host.portOpened, (std::vector<bool>{true})) << "the step opened the port itself";
    ASSERT_EQ(view.layouts.size(), 2u);
    EXPECT_FALSE(view.layouts[1].ResetPrompt);
    EXPECT_FALSE(view.layouts[1].ShowInstalled) << "a forced update has no installed version";

    const std::size_t expectedUnits = 2 + 1 + 2 * 3 + 110 + 1;
    ASSERT_TRUE(peer.WaitForUnits(expectedUnits));
    const auto units = peer.Units();
    ASSERT_EQ(units.size(), expectedUnits);
    EXPECT_EQ(Summarise(units, 2, ExpectedArea(body)), ExpectedSummary({0x0200, 0x6F00}));
}

TEST_F(Update, UnacknowledgedFrameStopsTheTransferThere) {
    image.Load(TestImage(Bytes(0x180, 0x00)));
    peer.SetBootMode(true);
    struct Row { BootScript::Fault fault; int frame; };
    const Row rows[] = {
        {BootScript::BadChecksum, 0},  // the header frame
        {BootScript::Overlong, 4},     // page 0x0100, first half
        {BootScript::Missing, 7},      // page 0x0200, a blank page
    };
    for (const Row& r : rows) {
        const std::size_t before = peer.UnitCount();
        script.frames = 0;
        script.fault = r.fault;
        script.faultFrame = r.frame;
        update.Begin(SchedulerState::ForcedUpdate, view, host.port);
        EXPECT_EQ(RunSteps(), SchedulerState::UpdateFailed) << "fault at frame " << r.frame;
        EXPECT_FALSE(update.FailureText().empty());
        // Give a stray frame time to arrive; none may follow the failed one.
        peer.WaitForUnits(before + 2 + r.frame + 2, std::chrono::milliseconds(200));
        EXPECT_EQ(script.frames, r.frame + 1) << "fault at frame " << r.frame;
    }
}

TEST_F(Update, ForcedUpdateWithoutBootLoaderFailsAfterTwentyPolls) {
    image.Load(TestImage({1}));
    peer.SetBootMode(true);
    script.pollAnswer = 'x';  // anything but "c" is no answer
    update.Begin(SchedulerState::ForcedUpdate, view, host.port);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(update.Step(), std::nullopt) << "poll " << i + 1;
    EXPECT_EQ(update.Step(), SchedulerState::UpdateFailed);
    EXPECT_EQ(peer.Units(), std::vector<std::string>(20, "P"));
}

TEST_F(Update, CancelWhileWaitingStops) {
    image.Load(TestImage({1}));
    peer.SetBootMode(true);
    script.pollAnswer = 0;
    update.Begin(SchedulerState::ForcedUpdate, view, host.port);
    EXPECT_EQ(update.Step(), std::nullopt);
    EXPECT_TRUE(update.CanCancel());
    update.Abort();
    EXPECT_EQ(update.Step(), SchedulerState::Stopped);
    EXPECT_EQ(peer.UnitCount(), 1u) << "nothing sent after CANCEL";
}

TEST_F(Update, CancelDuringAnsweredPollLetsTheTransferFinish) {
    image.Load(TestImage({1}));
    peer.SetBootMode(true);
    bool clicked = false;
    host.onProcess = [&] {
        if (!clicked) {
            clicked = true;
            update.Abort();
        }
    };
    update.Begin(SchedulerState::ForcedUpdate, view, host.port);
    EXPECT_EQ(update.Step(), SchedulerState::Search);
    EXPECT_TRUE(clicked);
}

TEST_F(Update, NoAnswerToBootLoaderRequestFails) {
    image.Load(TestImage({1}));
    script.answerStart = false;
    update.Begin(SchedulerState::AutoUpdate, view, host.port);
    EXPECT_EQ(update.Step(), SchedulerState::UpdateFailed);
    EXPECT_EQ(peer.Units(), (std::vector<std::string>{"!@"}));
}

TEST_F(Update, ReadFrameTakesOnlyWholeFramesThatAddUp) {
    std::mutex mutex;  // the answer is read on the peer's thread
    std::string answer;
    int answerDelayMs = 0;
    peer.SetResponder([&](ScriptedPeer&, const std::string&) {
        std::unique_lock lock(mutex);
        const std::string bytes = answer;
        const int delay = answerDelayMs;
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        return bytes;
    });
    peer.SetBootMode(true);
    io.Port().SetPort(peer.Path());
    io.Port().Open();

    std::string badSum = AckFrame(0x01, "xy");
    badSum.back() = static_cast<char>(badSum.back() + 1);
    struct Row { const char* what; std::string bytes; int delayMs; int result; };
    const Row rows[] = {
        {"bare acknowledgement", AckFrame(0x01), 0, 0x01},
        {"reply code 0", AckFrame(0x00, "a"), 0, 0x00},
        {"longest payload", AckFrame(0x7F, std::string(128, '\x11')), 0, 0x7F},
        {"payload beyond 128", AckFrame(0x01, std::string(129, '\0')), 0, -1},
        {"bad checksum", badSum, 0, -1},
        {"cut short", std::string("\x01\x05\x00\x00", 4), 0, -1},
        // The boot loader may take its time before it answers (it writes flash).
        {"first byte after a second", AckFrame(0x05), 1000, 0x05},
        {"nothing", "", 0, -1},
    };
    for (const Row& r : rows) {
        {
            std::lock_guard lock(mutex);
            answer = r.bytes;
            answerDelayMs = r.delayMs;
        }
        const auto start = std::chrono::steady_clock::now();
        io.SendText("P");
        EXPECT_EQ(update.ReadFrame(), r.result) << r.what;
        if (r.bytes.empty()) {
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2900))
                << "the first byte of an acknowledgement is awaited for 3000 ms";
        }
    }
    io.Port().Close();
    peer.SetResponder(nullptr);
}
