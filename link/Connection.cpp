#include "Connection.h"

#include "StatusTexts.h"
#include "uComIo.h"

void Connection::Restart(SchedulerState from, int attempts) {
    state_ = from;
    searchAttempts_ = attempts;
}

Connection::StepResult Connection::Step(const std::string& port) {
    StepResult result;
    switch (state_) {
    case SchedulerState::Search:
        // A silent simulator uses up an attempt; a count already used up
        // must not search forever.
        state_ = link_.FindSimulator(port, searchAttempts_ <= 1);
        if (state_ == SchedulerState::Search) --searchAttempts_;
        result.NextStepMs = StepInterval;
        break;
    case SchedulerState::Stopped:
        // The search has ended; the next one waits for the user.
        state_ = SchedulerState::Search;
        break;
    case SchedulerState::ReadConfiguration:
        link_.PanelInfo(LinkText::ReadingConfiguration);
        if (link_.ReadStatus()) {
            state_ = link_.ReadConfig();
            link_.PanelInfo("");
            result.Connected = true;
            result.NextStepMs = PollInterval;
        }
        break;
    case SchedulerState::Polling:
        // A line that has gone closed the port: there is nobody to ask until
        // the next search, and the failure stays on the status text.
        // A failed read keeps its text until a read succeeds again: cleared
        // at once, a simulator that has gone away would show only a flicker.
        if (link_.PortOpen() && link_.ReadStatus()) link_.PanelInfo("");
        result.NextStepMs = PollInterval;
        break;
    case SchedulerState::AutoUpdate:
    case SchedulerState::ForcedUpdate:
    case SchedulerState::UpdateFailed:
        // The front end's own states: nothing to do here.
        break;
    }
    return result;
}
