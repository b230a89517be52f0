#pragma once
// The emulated KARNOL simulator: its firmware's command protocol and its boot
// loader, spoken by one service thread on a pseudo-terminal (POSIX) or, with
// MemoryLineName, on a line in memory that a port in the same process opens
// as "memory:NAME" (every system). With Obd.Enabled (POSIX, pseudo-terminal
// only) also the vehicle side, an ELM327-style adapter on a second
// pseudo-terminal served by the same thread, so that both sides see one
// state at all times. It is the other side of the wire and shares no
// protocol code with the tool's link, so that it checks the link
// independently.

#include "DeviceState.h"
#include "EmulatorOptions.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class EmulatorService;

class EmulatedSimulator {
public:
    // Throws std::invalid_argument for a protocol outside 1 to 9, more than
    // ten trouble codes for an ECU, or ports this system cannot give: a
    // memory line with Obd.Enabled or LinkPath; on Windows, no memory line.
    explicit EmulatedSimulator(EmulatorOptions options = {});
    ~EmulatedSimulator();  // stops
    EmulatedSimulator(const EmulatedSimulator&) = delete;
    EmulatedSimulator& operator=(const EmulatedSimulator&) = delete;

    // Opens the pseudo-terminal (and the link, if any) or registers the
    // memory line, and starts the service thread; throws std::runtime_error
    // when it cannot.
    void Start();
    // Stops the thread, closes the port and removes the link (cuts and
    // withdraws the memory line). Idempotent.
    void Stop();
    bool Running() const;

    // Name of the port the tool opens (the pseudo-terminal's slave, or
    // "memory:NAME"); empty while vanished or stopped.
    std::string PortPath() const;
    // Path of the diagnostic port (the ELM327-style adapter with the ECUs
    // behind it); empty without Obd.Enabled or when stopped. It stays while
    // the configuration port vanishes.
    std::string ObdPortPath() const;

    // Every command line received (without its carriage return, e.g. "!S",
    // "!X0142..."), and the boot loader's events: "boot loader", "poll",
    // "start", "frame 10", "frame 03", "frame 04", "frame 21 0000 63",
    // "frame 24 1000", "frame 02", "restart", "firmware"; and "reset",
    // "vanish", "return <port name>". A frame that is not acknowledged is logged
    // with " refused: <reason>" (e.g. "frame 24 refused: bad checksum"); one
    // hit by a fault option with " (no acknowledgement)" or
    // " (bad acknowledgement)". Lines to the diagnostic port as "obd ATZ",
    // "obd 0101". Empty when KeepLog is off.
    std::vector<std::string> Log() const;
    // The same entries with the time each happened: for a command, when its
    // carriage return had arrived (on a paced line, when it had crossed the
    // wire); for a boot-loader frame, when its last byte had. Benchmarks
    // measure the tool's timing from here, the device's side of the line.
    struct TimedEntry {
        std::string Text;
        std::chrono::steady_clock::time_point At;
    };
    // Only the entries from index `from` on, so that a long log is not
    // copied (under the emulator's lock) at every look.
    std::vector<TimedEntry> TimedLog(std::size_t from = 0) const;
    std::size_t LogSize() const;
    void ClearLog();
    // Wait until the log holds at least n entries / an entry equal to the
    // text; false after the time-out.
    bool WaitForLogSize(std::size_t n, int timeoutMs) const;
    bool WaitForLogEntry(std::string_view entry, int timeoutMs) const;

    // The reset button: restart into the boot loader at once.
    void PressReset();
    bool InBootLoader() const;

    // A copy of the firmware's data; SetState replaces it (mid-run too).
    DeviceState State() const;
    void SetState(const DeviceState& state);
    void SetFaults(const CommandFaults& faults);
    void SetBootFaults(const BootFaults& faults);

    // The state built from the options alone (what Start begins with).
    static DeviceState InitialState(const EmulatorOptions& options);

private:
    std::unique_ptr<EmulatorService> service_;
};
