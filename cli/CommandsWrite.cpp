// The commands that change the simulator from the command line: set-protocol
// and set-codes. Both act as the window's selectors and SEND do, then read
// status and configuration back and show them.
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "CodeList.h"
#include "Report.h"
#include "SetupRequests.h"

#include "base/TroubleCode.h"
#include "link/SetupActions.h"
#include "link/StatusTexts.h"

void ChangeProtocolOn(CliSession& session, int protocol, int ecuCount) {
    const SimulatorState& s = session.State();
    // Without an ECU count the selector keeps what the simulator reported.
    const int ecuIndex = ecuCount ? ecuCount - 1 : s.SecondEcu;
    switch (ChangeProtocol(session.Io(), protocol - 1, ecuIndex)) {
    case ProtocolChange::Failed:
        session.Fail(LinkText::ProtocolFailed);
    case ProtocolChange::Changed:
        session.ThrowIfInterrupted();
        break;
    case ProtocolChange::Unchanged:
        if (session.Options().Verbose) session.Events().Note("Protocol and ECU count are already set; nothing sent");
        break;
    }
}

int RunSetProtocol(CliSession& session, std::string& out) {
    session.Connect();
    ChangeProtocolOn(session, session.Options().Protocol, session.Options().EcuCount);
    out += ShowText(session.State());
    return ExitOk;
}

namespace {

// The lists as given, checked before anything is sent.
CodeRequest CheckedCodeLists(const CliOptions& options) {
    if (!options.Ecu1Codes && !options.Ecu2Codes && !options.Mil)
        throw UsageError("'set-codes' needs '--ecu1 LIST', '--ecu2 LIST' or '--mil on|off'");
    CodeRequest request;
    if (options.Ecu1Codes) request.Ecu[0] = ParseCodeList(*options.Ecu1Codes, "ECU1");
    if (options.Ecu2Codes) request.Ecu[1] = ParseCodeList(*options.Ecu2Codes, "ECU2");
    request.Mil = options.Mil;
    return request;
}

}  // namespace

void CheckCodeLists(const CliOptions& options) { (void)CheckedCodeLists(options); }

void SendCodesOn(CliSession& session, const CodeRequest& request) {
    const SimulatorState& s = session.State();
    // Not named: what the simulator holds goes back unchanged.
    CfgSetup setup = SetupFromState(s);
    int counts[2] = {s.CodeCount(1), s.CodeCount(2)};
    for (int e = 0; e < 2; ++e) {
        if (!request.Ecu[e]) continue;
        // The given codes in the first slots, P0000 in the rest.
        const auto& list = *request.Ecu[e];
        auto& slots = e == 0 ? setup.Ecu1 : setup.Ecu2;
        counts[e] = static_cast<int>(list.size());
        for (int i = 0; i < DtcSlots; ++i) slots[i] = WordToSlot(i < counts[e] ? list[i] : std::uint16_t{0});
    }
    setup.Count1 = counts[0];
    setup.Count2 = counts[1];
    // The editor's rule: choosing counts switches the MIL on when any is above 0.
    setup.MilOn = request.Mil ? *request.Mil : MilFollowsCounts(counts[0], counts[1]);

    if (!SendSetup(session.Io(), setup)) session.Fail(LinkText::SetupFailed);
    session.ThrowIfInterrupted();
    session.ReadBack();
}

int RunSetCodes(CliSession& session, std::string& out) {
    const CodeRequest request = CheckedCodeLists(session.Options());
    session.Connect();
    SendCodesOn(session, request);
    out += ShowText(session.State());
    return ExitOk;
}
