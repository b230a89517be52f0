#include "SetupController.h"

#include "EditorPanel.h"
#include "InfoGroup.h"
#include "StepDriver.h"

#include "link/SetupActions.h"
#include "storage/CfgMapping.h"

SetupController::SetupController(InfoGroup& info, EditorPanel& editor, StepDriver& steps)
    : info_(info), editor_(editor), steps_(steps) {}

void SetupController::ShowStatus(const SimulatorState& state) {
    editor_.SetSendEnabled(true);
    info_.ShowStatus(state);
}

void SetupController::ShowConfiguration(const SimulatorState& state) {
    const CfgSetup shown = SetupFromState(state);
    info_.ShowProtocol(shown.Protocol, shown.EcuCount, state.Protocol);
    editor_.ShowEcus(state.GroupTitle(1), state.GroupTitle(2), state.SecondEcu != 0);
    editor_.Show(shown);
}

CfgSetup SetupController::Read() const {
    CfgSetup setup = editor_.Read();
    setup.Protocol = info_.Protocol();
    setup.EcuCount = info_.EcuCount();
    return setup;
}

CfgSetup SetupController::CollectForSend() {
    // The next status read enables SEND again.
    editor_.SetSendEnabled(false);
    return Read();
}

void SetupController::Send(TComIo* link) {
    if (!link) return;
    // From the first message processing on: a close waits for the end of SEND.
    StepDriver::Exchange exchange(steps_);
    steps_.Timer1().stop();
    (void)SendSetup(*link, [this] { return CollectForSend(); });
    // The interval stays what the scheduler last set.
    steps_.Timer1().start();
}

void SetupController::ChangeProtocol(TComIo* link) {
    if (steps_.State() != SchedulerState::Polling || !link) return;
    StepDriver::Exchange exchange(steps_);
    // Reads status and configuration back after a change, which refreshes
    // everything shown; the state stays Polling.
    (void)::ChangeProtocol(*link, info_.Protocol() - 1, info_.EcuCount() - 1);
}

void SetupController::ApplyFile(TComIo* link, const CfgValues& values) {
    // The file shows before anything goes out: the selectors, then MIL,
    // counts and slots over what the editor shows.
    info_.SelectProtocol(values.Protocol, values.EcuCount);
    auto showFile = [&] {
        CfgSetup shown = editor_.Read();
        ApplyValues(values, shown);
        editor_.Show(shown);
    };
    showFile();
    if (!link) return;
    StepDriver::Exchange exchange(steps_);
    steps_.Timer1().stop();
    // A protocol change goes out only while polling, as the selectors' own
    // handler decides; the set-up is sent all the same. A change reads the
    // simulator back into the editor, so the file shows over that again
    // before SEND; without one the editor still holds the user's own slots,
    // which the file's gaps keep.
    const bool polling = steps_.State() == SchedulerState::Polling;
    (void)ApplySetup(
        *link, polling ? info_.Protocol() : 0, polling ? info_.EcuCount() : 0, [&](const CfgSetup&) { showFile(); },
        [this] { return CollectForSend(); });
    steps_.Timer1().start();
}
