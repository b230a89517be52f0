#pragma once
#include "BoxEvents.h"
#include "BoxStop.h"
#include "Connection.h"
#include "FirmwareImage.h"
#include "FirmwareUpdate.h"
#include "LinkHost.h"
#include "SchedulerState.h"
#include "SimulatorState.h"
#include "uComIo.h"

#include <functional>
#include <optional>
#include <string>

// Which simulator a session is for, and how it reports.
struct BoxTarget {
    std::string Port;           // the port to search on (a device or a server address)
    std::string Serial;         // instead of Port: the listed port whose simulator reports this number
    bool Verbose = false;       // the link's status texts passed on to BoxEvents::Verbose
    bool NoteUpdateDue = true;  // Connect notes a firmware other than the carried one
};

// One run against one simulator, without a window: the carried image, the
// simulator's state, a quiet host and the link, connected by the same state
// machine that the window's scheduler drives. The command line makes one for
// a command, a bench one per box and run (each on its own thread). The
// destructor closes the port through the link, which leaves remote mode
// first ("!K0"), whatever way the run ends. Failures are raised as BoxError
// with the link's own status text.
class BoxSession {
public:
    // events and stop must outlive the session.
    BoxSession(BoxTarget target, FirmwareImage image, BoxEvents& events, BoxStop& stop);
    virtual ~BoxSession();
    BoxSession(const BoxSession&) = delete;
    BoxSession& operator=(const BoxSession&) = delete;

    TComIo& Io() { return io_; }
    FirmwareUpdate& Update() { return update_; }
    SimulatorState& State() { return state_; }
    const SimulatorState& State() const { return state_; }
    QuietHost& Host() { return host_; }
    const FirmwareImage& Image() const { return image_; }
    const std::string& PortName() const { return port_; }
    BoxEvents& Events() { return events_; }
    BoxStop& Stop() { return stop_; }
    // The port is found by the simulator's serial number.
    bool BySerial() const { return !target_.Serial.empty(); }

    // Finds the simulator as the scheduler's Search state does: two attempts
    // a step apart on the port, or the port whose simulator reports the
    // serial number. Returns ReadConfiguration or AutoUpdate; raises
    // BoxError with the link's own status text otherwise.
    SchedulerState Search();
    // Search, with the simulator already found on the port (a bench's
    // search of all its ports): the port stays open, and the next Search
    // gives what this one found instead of asking again, so that the line
    // sees the bytes of a single run once.
    SchedulerState SearchAhead();
    // Searches again after a firmware update, with the attempts an update
    // allows (the simulator restarts meanwhile).
    SchedulerState SearchAgain();
    // The scheduler's polling step: one status read; false (the failure on
    // the host's status text) when it failed.
    bool Poll();
    // The scheduler's ReadConfiguration step: status, then configuration
    // (which also switches remote mode on).
    void ReadConfiguration();
    // Search, then ReadConfiguration also when the identities differ: only
    // an update flashes; Connect only notes that an update is due.
    void Connect();
    // Status and configuration read again after a change, as shown afterwards.
    void ReadBack() { ReadConfiguration(); }
    bool UpdateDue() const { return updateDue_; }

    // What one port answers to "!I" and "!B" (one attempt); the port is
    // closed again afterwards.
    struct Probe {
        bool Answered = false;
        std::string Serial;
        std::string Version;
    };
    Probe ProbePort(const std::string& port);

    // Runs action and gives the first failure it put on the status text (the
    // progress texts are none), or "" when it reported none; the texts still
    // reach the verbose echo as they come.
    std::string FirstFailure(const std::function<void()>& action);

    // Raises BoxError (exit status 1) with the link's status text, or the
    // fallback when the link left none.
    [[noreturn]] void Fail(const std::string& fallback);
    // Raises BoxError (exit status 128 + signal) when asked to stop.
    void ThrowIfInterrupted() const;

private:
    SchedulerState SearchLoop();
    SchedulerState SearchBySerial();

    BoxTarget target_;
    BoxEvents& events_;
    BoxStop& stop_;
    FirmwareImage image_;
    SimulatorState state_;
    QuietHost host_;
    TComIo io_;
    FirmwareUpdate update_{io_, image_};
    SchedulerState schedulerState_ = SchedulerState::Search;
    Connection connection_{io_, schedulerState_};
    std::string port_;
    bool updateDue_ = false;
    std::optional<SchedulerState> foundAhead_;
};
