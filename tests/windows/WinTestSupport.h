#pragma once
// What the Windows tests share: the COM ports and emulator logs that
// scripts/test-windows.sh hands over, and waiting on what can be observed.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// The COM port the script mapped for a role (KNS_WIN_PORT_<role>), or "".
std::string PortFor(const std::string& role);

// The lines an emulator logs (KNS_WIN_LOG_<role>) from the moment this
// object is made on: each command and boot-loader event on a line.
class EmulatorLog {
public:
    explicit EmulatorLog(const std::string& role);
    bool Available() const { return !path_.empty(); }
    std::vector<std::string> NewLines() const;
    // The new lines that are commands ("!..."), and the number of boot-loader frames.
    std::vector<std::string> NewCommands() const;
    long NewFrames() const;
    // Waits until a new line equals entry; false after limitMs.
    bool WaitFor(const std::string& entry, int limitMs = 5000) const;

private:
    std::string path_;
    std::size_t start_ = 0;
};

// Polls condition every few milliseconds until it holds; false after limitMs.
bool WaitUntil(const std::function<bool()>& condition, int limitMs = 5000);

// Skips the test when the script did not prepare the role's port.
#define KNS_REQUIRE_PORT(role)                                                        \
    do {                                                                               \
        if (PortFor(role).empty()) GTEST_SKIP() << "run through scripts/test-windows.sh"; \
    } while (0)
