#pragma once
// The emulator's line on a pseudo-terminal (POSIX): the service thread
// waits in poll on the master, the open/close watch of the slave, an
// eventfd that Wake makes readable, and whatever else it is told to watch
// (the diagnostic port's descriptors, so that one thread serves both).

#include "EmulatorLine.h"
#include "EmulatorPty.h"

#include <memory>
#include <string>
#include <vector>

class EmulatorPtyLine final : public EmulatorLine {
public:
    // linkPath: also point this symlink at the port while it is up (none
    // when empty). Throws std::runtime_error without an eventfd.
    explicit EmulatorPtyLine(std::string linkPath);
    ~EmulatorPtyLine() override;
    EmulatorPtyLine(const EmulatorPtyLine&) = delete;
    EmulatorPtyLine& operator=(const EmulatorPtyLine&) = delete;

    // Makes Wait return when fd becomes readable too (before the thread starts).
    void WatchAlso(int fd) { alsoWatch_.push_back(fd); }

    std::string Open() override;
    void Close() override;
    bool IsOpen() const override { return pty_ != nullptr; }
    std::size_t Read(std::uint8_t* data, std::size_t max) override;
    std::size_t Waiting() const override;
    bool TakeSenderPurge() override;
    void Write(const std::uint8_t* data, std::size_t size) override;
    void Wait(std::optional<EmuClock::time_point> deadline) override;
    void Sleep(EmuClock::time_point t) override;
    void Wake() override;

private:
    void DrainWake();

    std::string linkPath_;
    std::string linkTarget_;  // what the link points at while the port is up
    std::unique_ptr<EmulatorPty> pty_;
    int wakeFd_ = -1;
    std::vector<int> alsoWatch_;
    bool senderPurged_ = false;  // a transmit purge reported and not yet taken
};
