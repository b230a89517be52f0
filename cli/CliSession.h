#pragma once
#include "BoxEvents.h"
#include "CliOptions.h"

#include "link/Connection.h"
#include "link/FirmwareImage.h"
#include "link/FirmwareUpdate.h"
#include "link/LinkHost.h"
#include "link/SchedulerState.h"
#include "link/SimulatorState.h"
#include "link/uComIo.h"

#include <functional>
#include <optional>
#include <string>

// One run against one simulator: the carried image, the simulator's state,
// a quiet host and the link, connected by the same state machine that the
// window's scheduler drives. The destructor closes the port through the link, which leaves
// remote mode first ("!K0"), whatever way the command ends.
class CliSession {
public:
    // Both must outlive the session.
    CliSession(const CliOptions& options, BoxEvents& events);
    ~CliSession();
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    TComIo& Io() { return io_; }
    FirmwareUpdate& Update() { return update_; }
    SimulatorState& State() { return state_; }
    const SimulatorState& State() const { return state_; }
    QuietHost& Host() { return host_; }
    const FirmwareImage& Image() const { return image_; }
    const std::string& PortName() const { return port_; }
    const CliOptions& Options() const { return options_; }
    BoxEvents& Events() { return events_; }

    // Finds the simulator as the scheduler's Search state does: two attempts
    // a step apart on --port, or the port whose simulator reports --serial.
    // Returns ReadConfiguration or AutoUpdate; raises CliError with the
    // link's own status text otherwise.
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
    // Search, then ReadConfiguration also when the identities differ: a
    // command other than update-firmware never flashes, it only notes that an
    // update is due (UpdateDue, "update due" in info).
    void Connect();
    // Status and configuration read again after a change, as shown afterwards.
    void ReadBack();
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

    // Raises CliError (exit status 1) with the link's status text, or the
    // fallback when the link left none.
    [[noreturn]] void Fail(const std::string& fallback);
    // Raises CliError (exit status 128 + signal) when SIGINT or SIGTERM came.
    void ThrowIfInterrupted() const;

private:
    SchedulerState SearchLoop();
    SchedulerState SearchBySerial();

    const CliOptions& options_;
    BoxEvents& events_;
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

// Loads the image compiled into the program; raises CliError when it is unusable.
FirmwareImage LoadCarriedImage();
