#include "SetupActions.h"

#include "BusProtocol.h"
#include "StatusTexts.h"
#include "uComIo.h"

CfgSetup SetupFromState(const SimulatorState& state) {
    CfgSetup setup;
    const int protocol = state.Protocol;
    setup.Protocol = (protocol >= 1 && protocol <= static_cast<int>(ProtocolNames.size())) ? protocol : 0;
    setup.EcuCount = state.SecondEcu <= 1 ? state.SecondEcu + 1 : 0;
    setup.MilOn = state.MilOn;
    auto countIndex = [](int count) { return count <= DtcSlots ? count : -1; };
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

bool SendSetup(TComIo& link, const std::function<CfgSetup()>& collect) {
    link.PanelInfo(LinkText::SendingData);
    const SendData send = SendDataOf(collect());
    return link.SendDtc(send.Counts, send.Mil, send.Ecu1, send.Ecu2);
}

bool SendSetup(TComIo& link, const CfgSetup& setup) {
    return SendSetup(link, [&setup] { return setup; });
}

ProtocolChange ChangeProtocol(TComIo& link, int protocolIndex, int ecuIndex) {
    const std::optional<std::uint8_t> code = ProtocolChangeCode(protocolIndex, ecuIndex, link.State());
    if (!code) return ProtocolChange::Unchanged;
    if (!link.SetProtocol(*code)) return ProtocolChange::Failed;
    // Both reads run even when the first fails: the configuration read is
    // what refreshes the editor.
    const bool status = link.ReadStatus();
    const bool config = link.ReadConfig() == SchedulerState::Polling;
    return status && config ? ProtocolChange::Changed : ProtocolChange::Failed;
}

bool ApplySetup(TComIo& link, int protocol, int ecuCount, const std::function<void(const CfgSetup& held)>& show,
                const std::function<CfgSetup()>& collect) {
    const bool changed = ChangeProtocol(link, protocol - 1, ecuCount - 1) != ProtocolChange::Failed;
    show(SetupFromState(link.State()));
    const bool sent = SendSetup(link, collect);
    return changed && sent;
}

bool ApplySetup(TComIo& link, int protocol, int ecuCount,
                const std::function<CfgSetup(const CfgSetup& held)>& complete) {
    CfgSetup setup;
    return ApplySetup(
        link, protocol, ecuCount, [&](const CfgSetup& held) { setup = complete(held); }, [&] { return setup; });
}
