// update-firmware: the link's update steps driven from a loop with the update
// window's 100 ms pause, a progress view on standard error, then a new search
// and the info of the simulator that comes back.
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "Interrupt.h"
#include "Report.h"
#include "TerminalUpdateView.h"

#include "link/StatusTexts.h"

#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>
#include <utility>
#include <unistd.h>

namespace {

// The update window's timer interval.
constexpr int UpdateStepMs = 100;

// The window's message after a failed update, on one line for a terminal.
std::string UpdateFailedLine() {
    std::string line;
    for (const char c : std::string_view(LinkText::UpdateFailed)) {
        if (c == '\r') continue;
        if (c == '\n') {
            if (!line.empty() && line.back() != ' ') line += ' ';
            continue;
        }
        line += c;
    }
    return line;
}

SchedulerState RunTransfer(CliSession& session, SchedulerState kind) {
    TerminalUpdateView view(stderr, isatty(STDERR_FILENO) != 0);
    TComIo& io = session.Io();
    io.UpdateBegin(kind, view, session.PortName());
    // Not even the reply to "!@" is cut short: once asked, the firmware has
    // handed over, and only a finished transfer brings the simulator back.
    const auto stopWaiting = std::exchange(io.StopWaiting, nullptr);
    struct Restore {
        TComIo& io;
        std::function<bool()> stop;
        ~Restore() { io.StopWaiting = std::move(stop); }
    } restore{io, stopWaiting};
    bool abortRequested = false;
    for (;;) {
        const auto stepStart = std::chrono::steady_clock::now();
        SleepUnlessInterrupted(UpdateStepMs);
        if (Interrupted() && !abortRequested) {
            // Before "!@" nothing has been asked of the simulator: just stop.
            if (io.UpdatePhase == 0) return SchedulerState::Stopped;
            // The forced update's wait is cancelled, as CANCEL does. The
            // automatic one cannot be, as in the window: its firmware has
            // already handed over to the boot loader, and leaving now would
            // strand the simulator there. A transfer already running is
            // finished too, since stopping it half-way would leave the
            // simulator without firmware.
            if (kind == SchedulerState::ForcedUpdate && io.UpdatePhase == 1) {
                io.UpdateAbort();
                abortRequested = true;
            }
        }
        // An interruption that is not honoured must not shorten the pause
        // between two polls of the boot loader.
        std::this_thread::sleep_until(stepStart + std::chrono::milliseconds(UpdateStepMs));
        if (const auto result = io.UpdateStep()) {
            view.Finish();
            return *result;
        }
    }
}

}  // namespace

int RunUpdateFirmware(const CliOptions& options, std::string& out) {
    CliSession session(options);
    SchedulerState kind = SchedulerState::ForcedUpdate;
    if (options.Update == UpdateMode::ResetButton) {
        // The forced update reaches the boot loader through the reset button
        // alone: no search first, since the firmware may not answer at all.
        // With --serial the port is still found by asking the simulators.
        if (!options.Serial.empty()) session.Search();
        session.Io().ClosePort();
        session.Io().SearchAttempts = Connection::SearchAttemptsPerSearch;
    } else {
        const SchedulerState found = session.Search();
        session.ThrowIfInterrupted();
        if (found == SchedulerState::ReadConfiguration && options.Update == UpdateMode::IfNeeded) {
            std::fprintf(stderr, "The simulator's firmware is the carried one; no update needed\n");
            session.ReadConfiguration();
            return PrintInfo(session, options, out);
        }
        kind = SchedulerState::AutoUpdate;  // "!@" also when --always finds equal identities
    }

    const SchedulerState after = RunTransfer(session, kind);
    if (after == SchedulerState::Stopped) {
        session.ThrowIfInterrupted();
        throw CliError(ExitDeviceFailed, "Update cancelled");
    }
    if (after != SchedulerState::Search) {
        const std::string& why = session.Io().UpdateFailureText();
        throw CliError(ExitDeviceFailed, why.empty() ? UpdateFailedLine() : UpdateFailedLine() + " (" + why + ")");
    }
    std::fprintf(stderr, "Update done; searching for the simulator again\n");

    session.SearchAgain();
    session.ReadConfiguration();
    if (session.UpdateDue()) {
        throw CliError(ExitDeviceFailed,
                       "The simulator still reports a firmware other than the carried one after the update");
    }
    return PrintInfo(session, options, out);
}
