#pragma once
// Helpers of the fault-injection tests: a line that misbehaves between the
// tool and the simulator, and late replies. Everything runs on
// pseudo-terminals; no test touches a real port.

#include "Child.h"
#include "Pty.h"
#include "TestFiles.h"
#include "WaitUntil.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

// How the line between the tool and the simulator misbehaves.
struct LineFaults {
    std::string ShapeOnly;           // only the replies to this command ("!S") are delayed; empty: all
    int FirstByteDelayMs = 0;        // every reply starts this late
    int MidReplyGapMs = 0;           // every reply stops this long halfway
    bool NoiseAfterReplies = false;  // random bytes right behind each reply's carriage return
    std::string LongReplyTo;         // the reply to this command ("!S") becomes, at its
    int LongReplyAt = 1;             // n-th time, 3000 characters without a carriage return
                                     // that begin like a good status line
};

// A status reply held back at its start or in its middle, and whether the
// tool should still take it (every reply character must come within 150 ms
// of the one before it, the first within 150 ms of the command).
struct LatenessRow {
    const char* Name;
    int FirstByteDelayMs;
    int MidReplyGapMs;
    bool Answered;
};
// Delays with wide margins on both sides of that time-out.
std::vector<LatenessRow> LatenessRows();
// By name: the default printer shows the row's raw bytes, pointer included,
// which differ from build to build and would rename the test cases.
void PrintTo(const LatenessRow& row, std::ostream* os);
// Only the replies to "!S" come late, as row says.
LineFaults LateStatusReplies(const LatenessRow& row);

// A pseudo-terminal for the tool whose other side relays to the simulator's
// port, reshaping the simulator's replies on the way.
class FaultyLine {
public:
    static constexpr std::size_t LongReplySize = 3000;

    FaultyLine(const std::string& simulatorPort, LineFaults faults);
    ~FaultyLine();
    FaultyLine(const FaultyLine&) = delete;
    FaultyLine& operator=(const FaultyLine&) = delete;

    const std::string& Port() const { return tool_.Path(); }
    // The commands the tool sent, without their carriage returns.
    std::vector<std::string> Commands() const;
    std::size_t Count(const std::string& command) const;
    std::size_t NoiseBytes() const { return noiseBytes_; }

private:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point Due;
        std::string Bytes;
    };
    void Run();
    void FromTool(const char* data, std::size_t size);
    void FromSimulator(const char* data, std::size_t size);
    void Schedule(Clock::time_point due, std::string bytes);
    void WriteDue();

    LineFaults faults_;
    Pty tool_{O_NONBLOCK};
    int toolWatch_ = -1;  // our own slave descriptor: no hang-up while the tool has the port closed
    int simulator_ = -1;
    int wake_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::string commandBuffer_;
    std::string lastCommand_;
    std::string replyBuffer_;
    bool swallowReply_ = false;
    std::vector<Chunk> queue_;
    Clock::time_point lastDue_{};
    std::atomic<std::size_t> noiseBytes_{0};
    unsigned noiseState_ = 12345;
};
