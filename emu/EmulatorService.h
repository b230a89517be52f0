#pragma once
// The emulated simulator at work: its state, its log and the service thread
// that speaks the firmware's command protocol and the boot loader on the
// line (a pseudo-terminal or a line in memory, see EmulatorPorts.h) and
// serves the diagnostic port beside it. EmulatedSimulator is its face, and
// reaches the state only through the operations below, each under the lock;
// the members are guarded by mutex unless said otherwise.

#include "BootLoader.h"
#include "DeviceState.h"
#include "DiagnosticPort.h"

#include <deque>
#include "ElmAdapter.h"
#include "EmulatorLine.h"
#include "EmulatorOptions.h"
#include "Wire.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

class EmulatorService {
public:
    // Throws std::invalid_argument for options outside their ranges or ones
    // this system cannot serve.
    explicit EmulatorService(EmulatorOptions o);

    void Start();  // throws std::runtime_error
    void Stop();
    // Makes the service thread look at its requests (any thread).
    void Wake();

    // What EmulatedSimulator tells and changes (EmulatorServiceState.cpp);
    // any thread.
    bool Running() const;
    std::string PortPath() const;
    std::string ObdPortPath() const;
    std::vector<std::string> Log() const;
    // The entries from index from on, each with the time it happened.
    std::vector<std::pair<std::string, EmuClock::time_point>> TimedLog(std::size_t from) const;
    std::size_t LogSize() const;
    void ClearLog();
    bool WaitForLogSize(std::size_t n, int timeoutMs) const;
    bool WaitForLogEntry(std::string_view entry, int timeoutMs) const;
    void PressReset();
    bool InBootLoader() const;
    DeviceState State() const;
    void SetState(const DeviceState& state);
    void SetFaults(const CommandFaults& faults);
    void SetBootFaults(const BootFaults& faults);

private:
    enum class Mode { Firmware, BootLoader, Restarting, Vanished };

    void AddLog(std::string entry, EmuClock::time_point at = EmuClock::now());  // lock held

    EmulatorOptions options;
    mutable std::mutex mutex;
    mutable std::condition_variable logChanged;
    DeviceState state;
    CommandFaults faults;
    BootFaults bootFaults;
    std::vector<std::string> log;
    std::vector<EmuClock::time_point> logTimes;  // one for each entry of log
    Mode mode = Mode::Firmware;
    std::string portPath;  // empty while the port is away
    bool running = false;
    std::atomic<bool> stopping{false};
    std::atomic<bool> resetRequested{false};
    // The ports: made at Start and dropped at Stop; in between only the
    // service thread opens and closes the line, and only it touches the
    // diagnostic port.
    std::unique_ptr<EmulatorLine> line;
    std::unique_ptr<DiagnosticPort> obd;

    void Run();
    void HandleRequests();
    void HandleDeadlines();
    void ServeObd();
    void ReadInput();
    void ReadPacedInput();
    void HandleByte(std::uint8_t byte, EmuClock::time_point arrival);
    void HandleLine(EmuClock::time_point arrival);
    void HandleBootByte(std::uint8_t byte, EmuClock::time_point arrival);
    void EnterBootLoader(const char* why);  // lock held
    void Vanish();                          // lock held
    std::string Return();                   // lock held; the new port's name, or empty
    void ReleasePorts();                    // lock held, thread not running

    // Paced: when each byte still waiting on the line has fully crossed it,
    // in line order. Only the service thread touches it.
    std::deque<EmuClock::time_point> crossing;
    std::FILE* logFile = nullptr;
    EmuClock::time_point startedAt{};
    std::thread thread;
    std::unique_ptr<Wire> wire;

    // Owned by the service thread.
    BootLoader loader;
    std::string received;  // the command line so far
    int commandsSeen = 0;
    bool vanished = false;
    EmuClock::time_point modeDeadline{};
    EmuClock::time_point frameDeadline{};
    ElmAdapter adapter;
};
