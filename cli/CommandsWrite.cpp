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

#include <cstdio>

int RunSetProtocol(const CliOptions& options, std::string& out) {
    CliSession session(options);
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
        if (options.Verbose) std::fprintf(stderr, "Protocol and ECU count are already set; nothing sent\n");
        break;
    }
    out += ShowText(session.State());
    return ExitOk;
}

int RunSetCodes(const CliOptions& options, std::string& out) {
    if (!options.Ecu1Codes && !options.Ecu2Codes && !options.Mil)
        throw UsageError("'set-codes' needs '--ecu1 LIST', '--ecu2 LIST' or '--mil on|off'");
    // Check the lists before anything is sent.
    std::optional<std::vector<std::uint16_t>> lists[2];
    if (options.Ecu1Codes) lists[0] = ParseCodeList(*options.Ecu1Codes, "ECU1");
    if (options.Ecu2Codes) lists[1] = ParseCodeList(*options.Ecu2Codes, "ECU2");

    CliSession session(options);
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
