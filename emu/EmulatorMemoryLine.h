#pragma once
// The emulator's line in memory, on every system: the box sits on the
// device end of a MemoryLine registered under a name, and a port opened as
// "memory:NAME" in the same process holds the host end. The service thread
// waits on the line itself; a Wake reaches it through the line, or, while
// the box is unplugged and there is no line, through a condition of its own.

#include "EmulatorLine.h"

#include "base/MemoryLine.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

class EmulatorMemoryLine final : public EmulatorLine {
public:
    explicit EmulatorMemoryLine(std::string name) : name_(std::move(name)) {}
    ~EmulatorMemoryLine() override { Close(); }
    EmulatorMemoryLine(const EmulatorMemoryLine&) = delete;
    EmulatorMemoryLine& operator=(const EmulatorMemoryLine&) = delete;

    // A fresh line under the name each time: a port still holding the cut
    // one from before sees the box gone, and must open the name again.
    std::string Open() override;
    // Cuts the line (the port's reads and writes fail) and withdraws it.
    void Close() override;
    bool IsOpen() const override;
    std::size_t Read(std::uint8_t* data, std::size_t max) override;
    std::size_t Waiting() const override;
    void Write(const std::uint8_t* data, std::size_t size) override;
    void Wait(std::optional<EmuClock::time_point> deadline) override;
    void Sleep(EmuClock::time_point t) override;
    void Wake() override;

private:
    std::shared_ptr<MemoryLine> Current() const;

    const std::string name_;
    mutable std::mutex mutex_;
    std::condition_variable woken_;
    bool wake_ = false;  // a Wake not yet taken by a Wait or Sleep
    std::shared_ptr<MemoryLine> line_;
};
