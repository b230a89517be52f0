// What the main window shows of the simulator and what it hands to the use
// cases: the status and configuration reads, SEND, the protocol and
// ECU-count selectors, and an opened configuration file.

#include "uMain.h"

#include "EditorPanel.h"
#include "SevenSegmentDigit.h"

#include "link/SetupActions.h"
#include "link/uComIo.h"
#include "storage/CfgMapping.h"

#include <QComboBox>
#include <QLabel>

void TMain::ShowStatus() {
    editor_->SetSendEnabled(true);
    ImgMilOn->setVisible(simState_.MilOn);
    ImgMilOff->setVisible(!simState_.MilOn);
    DtcLabel->setText(QString::number(simState_.CodeCount(1) + simState_.CodeCount(2)));
}

void TMain::ShowConfiguration() {
    const CfgSetup shown = SetupFromState(simState_);
    SelectProtocol(shown.Protocol, shown.EcuCount);
    Seg7->SetValue(simState_.Protocol);
    editor_->ShowEcus(simState_.GroupTitle(1), simState_.GroupTitle(2), simState_.SecondEcu != 0);
    editor_->Show(shown);
}

void TMain::SelectProtocol(int protocol, int ecuCount) {
    // Set from code, the selectors run none of their change handlers (those
    // follow the user's choices only).
    auto select = [](QComboBox* box, int index) {
        box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    };
    select(cbActProto, protocol - 1);
    select(cbEcuCount, ecuCount - 1);
}

CfgSetup TMain::ReadSetup() const {
    CfgSetup setup = editor_->Read();
    setup.Protocol = cbActProto->currentIndex() + 1;
    setup.EcuCount = cbEcuCount->currentIndex() + 1;
    return setup;
}

CfgSetup TMain::CollectForSend() {
    // The next status read enables SEND again.
    editor_->SetSendEnabled(false);
    return ReadSetup();
}

void TMain::ButSendDtcClick() {
    if (!companions_.Link) return;
    // From the first message processing on: a close waits for the end of SEND.
    StepDriver::Exchange exchange(steps_);
    Timer1().stop();
    (void)SendSetup(*companions_.Link, [this] { return CollectForSend(); });
    // The interval stays what the scheduler last set.
    Timer1().start();
}

void TMain::SetProto() {
    if (State() != SchedulerState::Polling || !companions_.Link) return;
    StepDriver::Exchange exchange(steps_);
    // Reads status and configuration back after a change, which refreshes
    // everything shown; the state stays Polling.
    (void)ChangeProtocol(*companions_.Link, cbActProto->currentIndex(), cbEcuCount->currentIndex());
}

void TMain::ApplyFile(const CfgValues& values) {
    // The file shows before anything goes out: the selectors, then MIL,
    // counts and slots over what the editor shows (a slot the file cannot
    // fill stays as shown).
    SelectProtocol(values.Protocol, values.EcuCount);
    auto showFile = [&] {
        CfgSetup shown = editor_->Read();
        ApplyValues(values, shown);
        editor_->Show(shown);
    };
    showFile();
    if (!companions_.Link) return;
    StepDriver::Exchange exchange(steps_);
    Timer1().stop();
    // A protocol change goes out only while polling, as the selectors' own
    // handler decides; the set-up is sent all the same. A change reads the
    // simulator back into the editor, so the file shows over that again
    // before SEND; without one the editor still holds the user's own slots,
    // which the file's gaps keep.
    const bool polling = State() == SchedulerState::Polling;
    (void)ApplySetup(
        *companions_.Link, polling ? cbActProto->currentIndex() + 1 : 0, polling ? cbEcuCount->currentIndex() + 1 : 0,
        [&](const CfgSetup&) { showFile(); }, [this] { return CollectForSend(); });
    Timer1().start();
}
