// The commands that change the simulator from the command line: set-protocol
// and set-codes. Both act as the window's selectors and SEND do, then read
// status and configuration back and show them.
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "CodeList.h"
#include "Report.h"

#include "base/TroubleCode.h"
#include "link/SetupActions.h"
#include "link/StatusTexts.h"


int RunSetProtocol(CliSession& session, std::string& out) {
    const CliOptions& options = session.Options();
    session.Connect();
    const SimulatorState& s = session.State();
    // Without --ecus the ECU-count selector keeps what the simulator reported.
    const int ecuIndex = options.EcuCount ? options.EcuCount - 1 : s.SecondEcu;
    switch (ChangeProtocol(session.Io(), options.Protocol - 1, ecuIndex)) {
    case ProtocolChange::Failed:
        session.Fail(LinkText::ProtocolFailed);
    case ProtocolChange::Changed:
        session.ThrowIfInterrupted();
        break;
    case ProtocolChange::Unchanged:
        if (options.Verbose) session.Events().Note("Protocol and ECU count are already set; nothing sent");
        break;
    }
    out += ShowText(session.State());
    return ExitOk;
}

namespace {

struct CodeLists {
    std::optional<std::vector<std::uint16_t>> Ecu[2];
};

// The lists as given, checked before anything is sent.
CodeLists CheckedCodeLists(const CliOptions& options) {
    if (!options.Ecu1Codes && !options.Ecu2Codes && !options.Mil)
        throw UsageError("'set-codes' needs '--ecu1 LIST', '--ecu2 LIST' or '--mil on|off'");
    CodeLists lists;
    if (options.Ecu1Codes) lists.Ecu[0] = ParseCodeList(*options.Ecu1Codes, "ECU1");
    if (options.Ecu2Codes) lists.Ecu[1] = ParseCodeList(*options.Ecu2Codes, "ECU2");
    return lists;
}

}  // namespace

void CheckCodeLists(const CliOptions& options) { (void)CheckedCodeLists(options); }

int RunSetCodes(CliSession& session, std::string& out) {
    const CliOptions& options = session.Options();
    const CodeLists given = CheckedCodeLists(options);
    const auto& lists = given.Ecu;

    session.Connect();
    const SimulatorState& s = session.State();

    // Not named: what the simulator holds goes back unchanged.
    CfgSetup setup = SetupFromState(s);
    int counts[2] = {s.CodeCount(1), s.CodeCount(2)};
    for (int e = 0; e < 2; ++e) {
        if (!lists[e]) continue;
        // The given codes in the first slots, P0000 in the rest.
        auto& slots = e == 0 ? setup.Ecu1 : setup.Ecu2;
        counts[e] = static_cast<int>(lists[e]->size());
        for (int i = 0; i < DtcSlots; ++i) slots[i] = WordToSlot(i < counts[e] ? (*lists[e])[i] : std::uint16_t{0});
    }
    setup.Count1 = counts[0];
    setup.Count2 = counts[1];
    // The editor's rule: choosing counts switches the MIL on when any is above 0.
    setup.MilOn = options.Mil ? *options.Mil : MilFollowsCounts(counts[0], counts[1]);

    if (!SendSetup(session.Io(), setup)) session.Fail(LinkText::SetupFailed);
    session.ThrowIfInterrupted();
    session.ReadBack();
    out += ShowText(session.State());
    return ExitOk;
}
