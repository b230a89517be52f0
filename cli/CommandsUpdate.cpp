// update-firmware: the update's steps driven from a loop with the update
// window's pause, a progress view on standard error, then a new search
// and the info of the simulator that comes back.
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "Interrupt.h"
#include "Report.h"

#include "link/StatusTexts.h"

#include <chrono>
#include <string_view>
#include <thread>

namespace {

// The message after a failed update, on one line for a terminal.
std::string UpdateFailedLine() {
    std::string line;
    for (const std::string_view text : LinkText::UpdateFailedLines) {
        if (text.empty()) continue;
        if (!line.empty()) line += ' ';
        line += text;
    }
    return line;
}

SchedulerState RunTransfer(CliSession& session, SchedulerState kind) {
    IUpdateView& view = session.Events().UpdateView();
    TComIo& io = session.Io();
    FirmwareUpdate& update = session.Update();
    update.Begin(kind, view, session.PortName());
    // Not even the reply to "!@" is cut short: once asked, the firmware has
    // handed over, and only a finished transfer brings the simulator back.
    struct Restore {
        TComIo& io;
        std::function<bool()> stop;
        ~Restore() { (void)io.SetStopWaiting(std::move(stop)); }
    } restore{io, io.SetStopWaiting(nullptr)};
    bool abortRequested = false;
    for (;;) {
        const auto stepStart = std::chrono::steady_clock::now();
        SleepUnlessInterrupted(FirmwareUpdate::StepInterval);
        if (Interrupted() && !abortRequested) {
            // Before "!@" nothing has been asked of the simulator: just stop.
            if (!update.Underway()) {
                session.Events().UpdateEnded();
                return SchedulerState::Stopped;
            }
            // The forced update's wait is cancelled, as CANCEL does. The
            // automatic one cannot be, as in the window: its firmware has
            // already handed over to the boot loader, and leaving now would
            // strand the simulator there. A transfer already running is
            // finished too, since stopping it half-way would leave the
            // simulator without firmware.
            if (update.CanCancel()) {
                update.Abort();
                abortRequested = true;
            }
        }
        // An interruption that is not honoured must not shorten the pause
        // between two polls of the boot loader.
        std::this_thread::sleep_until(stepStart + std::chrono::milliseconds(FirmwareUpdate::StepInterval));
        if (const auto result = update.Step()) {
            session.Events().UpdateEnded();
            return *result;
        }
    }
}

}  // namespace

int RunUpdateFirmware(CliSession& session, std::string& out) {
    const CliOptions& options = session.Options();
    SchedulerState kind = SchedulerState::ForcedUpdate;
    if (options.Update == UpdateMode::ResetButton) {
        // The forced update reaches the boot loader through the reset button
        // alone: no search first, since the firmware may not answer at all.
        // With --serial the port is still found by asking the simulators.
        if (!options.Serial.empty()) session.Search();
        session.Io().ClosePort();
    } else {
        const SchedulerState found = session.Search();
        session.ThrowIfInterrupted();
        if (found == SchedulerState::ReadConfiguration && options.Update == UpdateMode::IfNeeded) {
            session.Events().Note("The simulator's firmware is the carried one; no update needed");
            session.ReadConfiguration();
            return PrintInfo(session, out);
        }
        kind = SchedulerState::AutoUpdate;  // "!@" also when --always finds equal identities
    }

    const SchedulerState after = RunTransfer(session, kind);
    if (after == SchedulerState::Stopped) {
        session.ThrowIfInterrupted();
        throw CliError(ExitDeviceFailed, "Update cancelled");
    }
    if (after != SchedulerState::Search) {
        const std::string& why = session.Update().FailureText();
        throw CliError(ExitDeviceFailed, why.empty() ? UpdateFailedLine() : UpdateFailedLine() + " (" + why + ")");
    }
    session.Events().Note("Update done; searching for the simulator again");

    session.SearchAgain();
    session.ReadConfiguration();
    if (session.UpdateDue()) {
        throw CliError(ExitDeviceFailed,
                       "The simulator still reports a firmware other than the carried one after the update");
    }
    return PrintInfo(session, out);
}
