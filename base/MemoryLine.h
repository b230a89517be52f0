#pragma once
// A serial line inside one process: two ends, each writing into the other's
// input. A test puts an emulated box on the device end and opens the host end
// through the port layer by a name ("memory:NAME"), on every system alike.
// Both ends may be used from different threads.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

class MemoryLine {
public:
    using Clock = std::chrono::steady_clock;
    enum class End { Host, Device };

    // Appends bytes to the other end's input; false once the line is cut.
    bool Write(End from, std::string_view bytes);
    // Takes up to max bytes waiting at this end, without waiting.
    std::string Take(End at, std::size_t max);
    std::size_t Waiting(End at) const;
    // Discards what waits at this end.
    void Purge(End at);
    // Waits until bytes wait at this end, the line is cut, Wake was called
    // for this end, or the deadline (none: no limit) passes. True unless the
    // deadline passed with nothing of that.
    bool WaitReadable(End at, std::optional<Clock::time_point> deadline);
    // Ends a wait of this end at once (its owner has something else to do).
    void Wake(End at);
    // Unplugs the line: writes fail, waits end, what was waiting stays readable.
    void Cut();
    bool IsCut() const;
    // Whether the host end is held open by a port (one opener at a time).
    [[nodiscard]] bool Attach();
    void Detach();
    bool Attached() const;

    // Lines reachable by name. Register replaces an earlier line of the same
    // name; Find gives none for a name nobody registered (or withdrew).
    static void Register(const std::string& name, std::shared_ptr<MemoryLine> line);
    static void Withdraw(const std::string& name, const MemoryLine* line);
    static std::shared_ptr<MemoryLine> Find(const std::string& name);
    // The port name under which a registered line is opened, and back.
    static std::string PortName(const std::string& name);
    static std::optional<std::string> NameOfPort(const std::string& portName);

private:
    struct Side {
        std::string input;
        bool wake = false;
    };
    Side& At(End end) { return end == End::Host ? host_ : device_; }
    const Side& At(End end) const { return end == End::Host ? host_ : device_; }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Side host_, device_;
    bool cut_ = false;
    bool attached_ = false;
};
