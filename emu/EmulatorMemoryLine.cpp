#include "EmulatorMemoryLine.h"

#include <algorithm>

namespace {

constexpr auto kDevice = MemoryLine::End::Device;

}  // namespace

std::string EmulatorMemoryLine::Open() {
    auto fresh = std::make_shared<MemoryLine>();
    MemoryLine::Register(name_, fresh);
    std::lock_guard lock(mutex_);
    line_ = std::move(fresh);
    return MemoryLine::PortName(name_);
}

void EmulatorMemoryLine::Close() {
    std::shared_ptr<MemoryLine> gone;
    {
        std::lock_guard lock(mutex_);
        gone = std::move(line_);
        line_.reset();
    }
    if (!gone) return;
    gone->Cut();
    MemoryLine::Withdraw(name_, gone.get());
}

bool EmulatorMemoryLine::IsOpen() const { return Current() != nullptr; }

std::shared_ptr<MemoryLine> EmulatorMemoryLine::Current() const {
    std::lock_guard lock(mutex_);
    return line_;
}

std::size_t EmulatorMemoryLine::Read(std::uint8_t* data, std::size_t max) {
    const auto line = Current();
    if (!line) return 0;
    const std::string taken = line->Take(kDevice, max);
    std::copy(taken.begin(), taken.end(), data);
    return taken.size();
}

std::size_t EmulatorMemoryLine::Waiting() const {
    const auto line = Current();
    return line ? line->Waiting(kDevice) : 0;
}

void EmulatorMemoryLine::Write(const std::uint8_t* data, std::size_t size) {
    // A line in memory never fills up; writes fail only once it is cut.
    if (const auto line = Current())
        (void)line->Write(MemoryLine::End::Device, std::string_view(reinterpret_cast<const char*>(data), size));
}

void EmulatorMemoryLine::Wait(std::optional<EmuClock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    if (wake_) {
        wake_ = false;
        return;
    }
    // A line cut by someone else would end every wait at once: the box then
    // waits as though unplugged.
    if (const auto line = line_; line && !line->IsCut()) {
        // Wake sets its flag before it wakes the line, and the line keeps a
        // wake-up for a wait that has not begun yet: none is lost in between.
        lock.unlock();
        line->WaitReadable(kDevice, deadline);
        lock.lock();
    } else if (deadline) {
        woken_.wait_until(lock, *deadline, [this] { return wake_; });
    } else {
        woken_.wait(lock, [this] { return wake_; });
    }
    wake_ = false;
}

void EmulatorMemoryLine::Sleep(EmuClock::time_point t) {
    std::unique_lock lock(mutex_);
    woken_.wait_until(lock, t, [this] { return wake_; });
    wake_ = false;
}

void EmulatorMemoryLine::Wake() {
    std::shared_ptr<MemoryLine> line;
    {
        std::lock_guard lock(mutex_);
        wake_ = true;
        line = line_;
    }
    woken_.notify_all();
    if (line) line->Wake(kDevice);
}
