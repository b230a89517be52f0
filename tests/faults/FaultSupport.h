#pragma once
// Helpers of the fault-injection tests: programs run as children (the
// emulated simulator, the command line), a line that misbehaves between the
// tool and the simulator, and files. Everything runs on pseudo-terminals;
// no test touches a real port.

#include "TestFiles.h"

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

// Calls pred every few milliseconds until it holds or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& pred, int timeoutMs);

// A program run as a child, its standard output and error going to files.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env = {});
    ~Child();  // SIGKILL and reap when still running
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    void Signal(int sig);

    std::string Out() const { return ReadFile(outPath_); }
    std::string Err() const { return ReadFile(errPath_); }

    struct Result {
        int Status = -1;       // exit status, or 128 + signal
        bool TimedOut = false; // killed because it did not end in time
        std::string Out;
        std::string Err;
    };
    // Waits for the end; a child still running after timeoutMs is killed,
    // so that a hang fails the test instead of the run.
    Result Wait(int timeoutMs);

private:
    bool Reap(bool block);
    pid_t pid_ = -1;
    int status_ = -1;
    TempFolder folder_;
    std::string outPath_;
    std::string errPath_;
};

// knsim-emu as a child, logging everything it sees to a file.
class EmulatorChild {
public:
    explicit EmulatorChild(std::vector<std::string> args = {});

    // The port the tool opens (the pseudo-terminal, or the --link path when given).
    const std::string& Port() const { return port_; }
    std::vector<std::string> Log() const;
    std::size_t Count(const std::string& entry) const;
    bool WaitForLog(const std::string& entry, int timeoutMs, std::size_t times = 1) const;
    bool HasLogPrefix(const std::string& prefix) const;
    // The simulator is unplugged: the process dies and its port hangs up.
    void Kill();
    Child& Process() { return *process_; }

private:
    TempFolder folder_;
    std::string logPath_;
    std::unique_ptr<Child> process_;
    std::string port_;
};

// knsimtool-cli with args. The port list is replaced by a name that exists
// nowhere, so that no command can reach the machine's own ports.
Child::Result RunCli(const std::vector<std::string>& args, int timeoutMs = 30000);

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

    const std::string& Port() const { return toolPath_; }
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
    int toolMaster_ = -1;
    int toolWatch_ = -1;  // our own slave descriptor: no hang-up while the tool has the port closed
    int simulator_ = -1;
    int wake_ = -1;
    std::string toolPath_;
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
