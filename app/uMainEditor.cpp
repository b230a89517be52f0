// The status display and the trouble-code editor of the main window: what
// the link's status and configuration reads show, the count selectors, SEND
// and the protocol and ECU-count selectors.

#include "uMain.h"

#include "CodeEdit.h"
#include "SevenSegmentDigit.h"
#include "WindowLook.h"

#include "uFileIo.h"

#include "base/TroubleCode.h"
#include "link/SetupActions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <array>

namespace {
// A selector index as a count: no selection counts as none.
int CountIndex(const QComboBox* selector) { return std::max(0, selector->currentIndex()); }
}  // namespace

// The configuration files compose the same names ("cbD1" + two-digit slot).
QString TMain::SlotCategoryName(int ecu, int slot) { return QString::asprintf("cbD%d%02d", ecu, slot); }
QString TMain::SlotCodeName(int ecu, int slot) { return QString::asprintf("edD%d%02d", ecu, slot); }

TMain::SlotPair TMain::SlotControls(int ecu, int slot) const {
    if (ecu < 1 || ecu > 2 || slot < 1 || slot > DtcSlots) return {};
    return {findChild<QComboBox*>(SlotCategoryName(ecu, slot)), findChild<TCodeEdit*>(SlotCodeName(ecu, slot))};
}

void TMain::ShowStatus() {
    ButSendDtc->setEnabled(true);
    ImgMilOn->setVisible(simState_.MilOn);
    ImgMilOff->setVisible(!simState_.MilOn);
    DtcLabel->setText(QString::number(simState_.CodeCount(1) + simState_.CodeCount(2)));
}

void TMain::ShowConfiguration() {
    // Indexes outside a selector's list leave it without a selection. Setting
    // them from code runs none of the change handlers (those follow the
    // user's choices only).
    const int protocol = simState_.Protocol;
    cbActProto->setCurrentIndex(protocol >= 1 && protocol <= cbActProto->count() ? protocol - 1 : -1);
    cbEcuCount->setCurrentIndex(simState_.SecondEcu);
    Seg7->SetValue(simState_.Protocol);

    GrpDtc1->setTitle(Latin1(simState_.GroupTitle(1)));
    cbDtc1->setCurrentIndex(simState_.CodeCount(1));
    GrpDtc2->setTitle(Latin1(simState_.GroupTitle(2)));
    cbDtc2->setCurrentIndex(simState_.CodeCount(2));

    for (int slot = 1; slot <= DtcSlots; ++slot) {
        for (int ecu = 1; ecu <= 2; ++ecu) {
            const SlotPair controls = SlotControls(ecu, slot);
            const DtcSlot shown = WordToSlot(simState_.DtcWord(ecu, slot));
            controls.Category->setCurrentIndex(shown.Category);
            controls.Code->SetCodeText(shown.Text);
        }
    }

    GrpDtc2->setVisible(simState_.SecondEcu != 0);
    chkMilOn->setChecked(simState_.MilOn);
}

void TMain::cbDtcChange() { chkMilOn->setChecked(CountIndex(cbDtc1) + CountIndex(cbDtc2) != 0); }

void TMain::ButSendDtcClick() {
    if (!companions_.Link) return;
    // From the first message processing on: a close waits for the end of SEND.
    Exchange exchange(*this);
    timer1_.stop();
    ButSendDtc->setEnabled(false);
    SendSetup(*companions_.Link, TFileIo::ReadControls(*this));
    // The interval stays what the scheduler last set; the next status read
    // enables SEND again.
    timer1_.start();
}

void TMain::SetProto() {
    if (state_ != SchedulerState::Polling || !companions_.Link) return;
    Exchange exchange(*this);
    // Reads status and configuration back after a change, which refreshes
    // everything shown; the state stays Polling.
    ChangeProtocol(*companions_.Link, cbActProto->currentIndex(), cbEcuCount->currentIndex());
}
