#pragma once
// The set-up's controller, the window's side of the set-up use cases: it
// shows in the "Simulator-Info" group and the trouble-code editor what the
// simulator reported, and runs SEND, a protocol or ECU-count choice and an
// opened configuration file through the shared use cases, each as one
// exchange of the scheduler (a close waits for its end, no step talks in
// between).

#include "base/CfgSetup.h"

class EditorPanel;
class InfoGroup;
class StepDriver;
class TComIo;
struct CfgValues;
struct SimulatorState;

class SetupController {
public:
    SetupController(InfoGroup& info, EditorPanel& editor, StepDriver& steps);

    // After a status read: SEND enabled again, the MIL lamp and the count.
    void ShowStatus(const SimulatorState& state);
    // After a configuration read: the selectors, the digit, the groups and slots.
    void ShowConfiguration(const SimulatorState& state);
    // The set-up on view: the selectors and the editor.
    [[nodiscard]] CfgSetup Read() const;

    // SEND; nothing without a link.
    void Send(TComIo* link);
    // The selectors' change handler: goes out only while polling.
    void ChangeProtocol(TComIo* link);
    // An opened file: it shows first (a slot the file cannot fill stays as
    // shown), then its protocol change where one is due, then SEND.
    void ApplyFile(TComIo* link, const CfgValues& values);

private:
    // SEND's collection: SEND disabled until the next status read, then the
    // set-up read from the controls.
    CfgSetup CollectForSend();

    InfoGroup& info_;
    EditorPanel& editor_;
    StepDriver& steps_;
};
