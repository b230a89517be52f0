#pragma once
// Shared parts of the benchmarks: the emulated simulator in this process
// with the time of every log entry, wire-time arithmetic, and child
// processes with their CPU time and peak memory read from /proc.
// Benchmarks print figures and ratios; they never pass or fail on time.

#include "emu/EmulatedSimulator.h"

#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using BenchClock = std::chrono::steady_clock;

// One byte on the 8N1 line at 115200 baud: ten bits.
constexpr double ByteTimeUs = 10.0 * 1e6 / 115200.0;
inline double WireMs(std::size_t bytes) { return static_cast<double>(bytes) * ByteTimeUs / 1000.0; }
inline double MsBetween(BenchClock::time_point a, BenchClock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}
inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The emulator's log with the time of each entry as the emulator took it:
// for a command, when its carriage return had crossed the paced line. The
// tool's timing is measured from the device's side, as a stand-in on the
// other end of a real line would see it.
class StampedLog {
public:
    explicit StampedLog(const EmulatedSimulator& emulator) : emulator_(emulator) {}
    using Entry = EmulatedSimulator::TimedEntry;
    // The entries from index `from` on.
    std::vector<Entry> Entries(std::size_t from = 0) const { return emulator_.TimedLog(from); }
    // The first entry equal to text from index `from` on, waiting up to
    // timeoutMs. It looks now and then rather than at every new entry: a
    // benchmark waiting on the log must not wake with every frame of the
    // line it measures (and hold up the emulator, whose lock it takes).
    std::optional<Entry> WaitFor(const std::string& text, std::size_t from, int timeoutMs) const;
    std::size_t Size() const { return emulator_.LogSize(); }

private:
    const EmulatedSimulator& emulator_;
};

// A child process; its output goes to /dev/null unless a file is named.
class BenchChild {
public:
    BenchChild(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env = {}, const std::string& outputFile = "");
    ~BenchChild();  // SIGTERM, then SIGKILL after a while, and reap
    pid_t Pid() const { return pid_; }
    // CPU time (user + system) so far, from /proc/PID/stat.
    double CpuSeconds() const;
    // Peak resident memory so far (VmHWM of /proc/PID/status), in kB.
    long PeakKb() const;
    // The memory it holds now (VmRSS), in kB.
    long ResidentKb() const;
    // Waits for the end; the exit status and the peak resident memory (kB)
    // the kernel kept for it.
    struct Ended {
        int Status = -1;
        long PeakKb = 0;
        double CpuSeconds = 0;  // user and system time, threads included
    };
    Ended Wait(int timeoutMs);
    void Terminate();

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
};

// The bytes one exchange puts on the wire: the command and the whole reply
// (carriage return and line feed included), measured on the port itself.
std::size_t ExchangeBytes(const std::string& port, const std::string& command);

// Where the programs under test are.
std::string ProgramPath(const char* name);
