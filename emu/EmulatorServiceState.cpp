// The service's state as its face tells and changes it, each under the lock.
#include "EmulatorService.h"

#include <algorithm>

bool EmulatorService::Running() const {
    std::lock_guard lock(mutex);
    return running;
}

std::string EmulatorService::PortPath() const {
    std::lock_guard lock(mutex);
    return portPath;
}

std::string EmulatorService::ObdPortPath() const {
    std::lock_guard lock(mutex);
    return obd ? obd->Path() : std::string();
}

std::vector<std::string> EmulatorService::Log() const {
    std::lock_guard lock(mutex);
    return log;
}

std::vector<std::pair<std::string, EmuClock::time_point>> EmulatorService::TimedLog(std::size_t from) const {
    std::lock_guard lock(mutex);
    std::vector<std::pair<std::string, EmuClock::time_point>> entries;
    if (from < log.size()) entries.reserve(log.size() - from);
    for (std::size_t i = from; i < log.size(); ++i) entries.emplace_back(log[i], logTimes[i]);
    return entries;
}

std::size_t EmulatorService::LogSize() const {
    std::lock_guard lock(mutex);
    return log.size();
}

void EmulatorService::ClearLog() {
    std::lock_guard lock(mutex);
    log.clear();
    logTimes.clear();
}

bool EmulatorService::WaitForLogSize(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(mutex);
    return logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return log.size() >= n; });
}

bool EmulatorService::WaitForLogEntry(std::string_view entry, int timeoutMs) const {
    std::unique_lock lock(mutex);
    return logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [&] { return std::find(log.begin(), log.end(), entry) != log.end(); });
}

void EmulatorService::PressReset() {
    resetRequested = true;
    Wake();
}

bool EmulatorService::InBootLoader() const {
    std::lock_guard lock(mutex);
    return mode == Mode::BootLoader;
}

DeviceState EmulatorService::State() const {
    std::lock_guard lock(mutex);
    return state;
}

void EmulatorService::SetState(const DeviceState& newState) {
    std::lock_guard lock(mutex);
    state = newState;
    state.Flash.resize(kFlashSize, 0xFF);
}

void EmulatorService::SetFaults(const CommandFaults& newFaults) {
    std::lock_guard lock(mutex);
    faults = newFaults;
}

void EmulatorService::SetBootFaults(const BootFaults& newFaults) {
    std::lock_guard lock(mutex);
    bootFaults = newFaults;
}
