#include "BoxJobs.h"

#include "BoxError.h"
#include "SetupActions.h"
#include "StatusTexts.h"

#include <chrono>
#include <string_view>
#include <thread>

void ApplyOnBox(BoxSession& session, int protocol, int ecuCount,
                const std::function<CfgSetup(const CfgSetup& held)>& compose) {
    bool applied = false;
    const std::string failure =
        session.FirstFailure([&] { applied = ApplySetup(session.Io(), protocol, ecuCount, compose); });
    if (!applied) throw BoxError(ExitDeviceFailed, failure.empty() ? std::string(LinkText::SetupFailed) : failure);
    session.ThrowIfInterrupted();
    session.ReadBack();
}

namespace {

// The message after a failed update, on one line.
std::string UpdateFailedLine() {
    std::string line;
    for (const std::string_view text : LinkText::UpdateFailedLines) {
        if (text.empty()) continue;
        if (!line.empty()) line += ' ';
        line += text;
    }
    return line;
}

// The update's steps driven from a loop with the update window's pause.
SchedulerState RunTransfer(BoxSession& session, SchedulerState kind) {
    IUpdateView& view = session.Events().UpdateView();
    TComIo& io = session.Io();
    BoxStop& stop = session.Stop();
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
        stop.SleepUnlessStopped(FirmwareUpdate::StepInterval);
        if (stop.Stopped() && !abortRequested) {
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
        // A stop that is not honoured must not shorten the pause between two
        // polls of the boot loader.
        std::this_thread::sleep_until(stepStart + std::chrono::milliseconds(FirmwareUpdate::StepInterval));
        if (const auto result = update.Step()) {
            session.Events().UpdateEnded();
            return *result;
        }
    }
}

}  // namespace

bool UpdateBox(BoxSession& session, UpdateMode mode) {
    SchedulerState kind = SchedulerState::ForcedUpdate;
    if (mode == UpdateMode::ResetButton) {
        // The forced update reaches the boot loader through the reset button
        // alone: no search first, since the firmware may not answer at all.
        // A session for a serial number still finds its port by asking.
        if (session.BySerial()) session.Search();
        session.Io().ClosePort();
    } else {
        const SchedulerState found = session.Search();
        session.ThrowIfInterrupted();
        if (found == SchedulerState::ReadConfiguration && mode == UpdateMode::IfNeeded) {
            session.Events().Note("The simulator's firmware is the carried one; no update needed");
            session.ReadConfiguration();
            return false;
        }
        kind = SchedulerState::AutoUpdate;  // "!@" also when Always finds equal identities
    }

    const SchedulerState after = RunTransfer(session, kind);
    if (after == SchedulerState::Stopped) {
        session.ThrowIfInterrupted();
        throw BoxError(ExitDeviceFailed, "Update cancelled");
    }
    if (after != SchedulerState::Search) {
        const std::string& why = session.Update().FailureText();
        throw BoxError(ExitDeviceFailed, why.empty() ? UpdateFailedLine() : UpdateFailedLine() + " (" + why + ")");
    }
    session.Events().Note("Update done; searching for the simulator again");

    session.SearchAgain();
    session.ReadConfiguration();
    if (session.UpdateDue()) {
        throw BoxError(ExitDeviceFailed,
                       "The simulator still reports a firmware other than the carried one after the update");
    }
    return true;
}
