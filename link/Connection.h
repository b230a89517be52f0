#pragma once
// The connection's state machine: finding the simulator, reading its status
// and configuration, polling. The window's scheduler runs one step per tick
// of its timer; the command line runs the same steps one after the other and
// sleeps for the interval between them. The update states belong to the
// front ends (the window's update dialog, the command line's progress), which
// drive the link's update operations themselves.

#include "SchedulerState.h"

#include <optional>
#include <string>

class TComIo;

class Connection {
public:
    static constexpr int FirstStepDelay = 300;  // ms from the window's first show to the first step
    static constexpr int StepInterval = 100;    // ms between steps while searching
    static constexpr int PollInterval = 1000;   // ms between status reads while connected
    static constexpr int SearchAttemptsPerSearch = 2;

    // The state is the owner's (the window shows it, the update dialog sets
    // it); the machine reads and writes it through this reference.
    Connection(TComIo& link, SchedulerState& state) : link_(link), state_(state) {}

    // Starts anew in state from (Search or ForcedUpdate) with a fresh count
    // of identification attempts: the first show, Reload data, a new port,
    // the search after a firmware update (with its own count).
    void Restart(SchedulerState from = SchedulerState::Search, int attempts = SearchAttemptsPerSearch);

    struct StepResult {
        // When the next step is due; none while the machine waits for the
        // user (a search that ended, a status read that failed in
        // ReadConfiguration).
        std::optional<int> NextStepMs;
        // ReadConfiguration read the status: the simulator is connected.
        bool Connected = false;
    };
    // One step of Search, Stopped, ReadConfiguration or Polling on the named
    // port. Each step's failure is on the status text; nothing is raised.
    StepResult Step(const std::string& port);

    SchedulerState State() const { return state_; }
    // Identification attempts left in the current search.
    int SearchAttempts() const { return searchAttempts_; }

private:
    TComIo& link_;
    SchedulerState& state_;
    int searchAttempts_ = SearchAttemptsPerSearch;
};
