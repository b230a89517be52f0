#include "FaultSupport.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

std::vector<LatenessRow> LatenessRows() {
    return {{"FirstByteAfter90ms", 90, 0, true},
            {"PauseOf90msInTheMiddle", 0, 90, true},
            {"FirstByteAfter220ms", 220, 0, false},
            {"PauseOf220msInTheMiddle", 0, 220, false}};
}

void PrintTo(const LatenessRow& row, std::ostream* os) { *os << row.Name; }

LineFaults LateStatusReplies(const LatenessRow& row) {
    LineFaults faults;
    faults.ShapeOnly = "!S";
    faults.FirstByteDelayMs = row.FirstByteDelayMs;
    faults.MidReplyGapMs = row.MidReplyGapMs;
    return faults;
}

// ---- FaultyLine ----------------------------------------------------------------

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

}  // namespace

FaultyLine::FaultyLine(const std::string& simulatorPort, LineFaults faults) : faults_(std::move(faults)) {
    toolWatch_ = OpenRaw(tool_.Path(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (toolWatch_ < 0) Fail("open " + tool_.Path());
    simulator_ = OpenRaw(simulatorPort, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (simulator_ < 0) Fail("open " + simulatorPort);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake_ < 0) Fail("eventfd");
    thread_ = std::thread([this] { Run(); });
}

FaultyLine::~FaultyLine() {
    stop_ = true;
    const std::uint64_t one = 1;
    (void)!write(wake_, &one, sizeof one);
    thread_.join();
    for (int fd : {toolWatch_, simulator_, wake_}) close(fd);
}

std::vector<std::string> FaultyLine::Commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

std::size_t FaultyLine::Count(const std::string& command) const {
    const auto commands = Commands();
    return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), command));
}

void FaultyLine::Schedule(Clock::time_point due, std::string bytes) {
    // Bytes leave in the order they came, however they were delayed.
    due = std::max(due, lastDue_);
    lastDue_ = due;
    queue_.push_back({due, std::move(bytes)});
}

void FaultyLine::FromTool(const char* data, std::size_t size) {
    (void)!write(simulator_, data, size);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] != '\r') {
            commandBuffer_ += data[i];
            continue;
        }
        std::lock_guard lock(mutex_);
        commands_.push_back(commandBuffer_);
        lastCommand_ = commandBuffer_;
        if (!faults_.LongReplyTo.empty() && commandBuffer_ == faults_.LongReplyTo &&
            static_cast<int>(std::count(commands_.begin(), commands_.end(), commandBuffer_)) == faults_.LongReplyAt) {
            swallowReply_ = true;
            // A status line that would read well if the tool took the
            // first part of an endless line for a reply.
            std::string reply = "P16T12M1I0L0000R000000000000";
            reply.resize(LongReplySize, '.');
            Schedule(Clock::now(), std::move(reply));
        }
        commandBuffer_.clear();
    }
}

void FaultyLine::FromSimulator(const char* data, std::size_t size) {
    const bool shaping = faults_.FirstByteDelayMs > 0 || faults_.MidReplyGapMs > 0 || faults_.NoiseAfterReplies;
    // What passes unchanged leaves in one write, as it came.
    std::string direct;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (swallowReply_) {
            if (c == '\r') swallowReply_ = false;
            continue;
        }
        if (!shaping) {
            direct += c;
            continue;
        }
        if (c == '\n' && replyBuffer_.empty()) {
            // The line feed after a reply's carriage return leaves with it, as
            // from the simulator: sent apart, it could land after the tool's
            // purge for the next command and start the next reply.
            if (!queue_.empty())
                queue_.back().Bytes += c;
            else
                Schedule(Clock::now(), std::string(1, c));
            continue;
        }
        replyBuffer_ += c;
        if (c != '\r') continue;
        // One whole reply: reshape it.
        std::string reply = std::move(replyBuffer_);
        replyBuffer_.clear();
        if (faults_.NoiseAfterReplies) {
            // In the same write as the carriage return, so that it is waiting
            // in the tool's queue before the tool's next command goes out.
            const std::size_t n = 16 + noiseState_ % 200;
            for (std::size_t k = 0; k < n; ++k) {
                noiseState_ = noiseState_ * 1103515245u + 12345u;
                reply += static_cast<char>(noiseState_ >> 16);
            }
            noiseBytes_ += n;
        }
        const bool delayed = faults_.ShapeOnly.empty() || faults_.ShapeOnly == lastCommand_;
        const auto start = Clock::now() + std::chrono::milliseconds(delayed ? faults_.FirstByteDelayMs : 0);
        if (delayed && faults_.MidReplyGapMs > 0 && reply.size() > 1) {
            const std::size_t half = reply.size() / 2;
            Schedule(start, reply.substr(0, half));
            Schedule(start + std::chrono::milliseconds(faults_.MidReplyGapMs), reply.substr(half));
        } else {
            Schedule(start, std::move(reply));
        }
    }
    if (!direct.empty()) Schedule(Clock::now(), std::move(direct));
}

void FaultyLine::WriteDue() {
    const auto now = Clock::now();
    while (!queue_.empty() && queue_.front().Due <= now) {
        std::string& bytes = queue_.front().Bytes;
        const ssize_t n = write(tool_.Master(), bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) return;  // the tool's queue is full: later
            queue_.erase(queue_.begin());                   // nobody there: the bytes are lost, as on a line
            continue;
        }
        bytes.erase(0, static_cast<std::size_t>(n));
        if (!bytes.empty()) return;
        queue_.erase(queue_.begin());
    }
}

void FaultyLine::Run() {
    char buf[4096];
    while (!stop_) {
        int timeout = -1;
        {
            std::lock_guard lock(mutex_);
            WriteDue();
            if (!queue_.empty()) {
                const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(queue_.front().Due - Clock::now());
                timeout = static_cast<int>(std::clamp<long long>(wait.count() + 1, 1, 1000));
            }
        }
        pollfd fds[3] = {{tool_.Master(), POLLIN, 0}, {simulator_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (poll(fds, 3, timeout) < 0) continue;
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(tool_.Master(), buf, sizeof buf);
            if (n > 0) FromTool(buf, static_cast<std::size_t>(n));
        }
        if (fds[1].revents & POLLIN) {
            const ssize_t n = read(simulator_, buf, sizeof buf);
            std::lock_guard lock(mutex_);
            if (n > 0) FromSimulator(buf, static_cast<std::size_t>(n));
        }
        if (fds[1].revents & (POLLHUP | POLLERR) && !(fds[1].revents & POLLIN)) {
            // The simulator is gone; nothing more will come from there.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}
