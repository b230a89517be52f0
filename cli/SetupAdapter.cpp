#include "SetupAdapter.h"

#include "link/Protocol.h"
#include "link/TroubleCode.h"

CfgSetup SetupFromState(const SimulatorState& state) {
    CfgSetup setup;
    const int protocol = state.Protocol;
    setup.Protocol = (protocol >= 1 && protocol <= static_cast<int>(ProtocolNames.size())) ? protocol : 0;
    setup.EcuCount = state.SecondEcu <= 1 ? state.SecondEcu + 1 : 0;
    setup.MilOn = state.MilOn;
    auto countIndex = [](int count) { return count <= DtcCountMax ? count : -1; };
    setup.Count1 = countIndex(state.CodeCount(1));
    setup.Count2 = countIndex(state.CodeCount(2));
    for (int slot = 1; slot <= DtcSlots; ++slot) {
        setup.Ecu1[slot - 1] = WordToSlot(state.DtcWord(1, slot));
        setup.Ecu2[slot - 1] = WordToSlot(state.DtcWord(2, slot));
    }
    return setup;
}

SendData SendDataOf(const CfgSetup& setup) {
    SendData d;
    d.Counts = CountByte(setup.Count1, setup.Count2);
    d.Mil = MilByte(setup.MilOn);
    for (int i = 0; i < DtcSlots; ++i) {
        d.Ecu1[i] = SlotToWord(setup.Ecu1[i].Category, setup.Ecu1[i].Text);
        d.Ecu2[i] = SlotToWord(setup.Ecu2[i].Category, setup.Ecu2[i].Text);
    }
    return d;
}
