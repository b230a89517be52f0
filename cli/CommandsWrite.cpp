// The commands that change the simulator from the command line: set-protocol
// and set-codes. Both act as the window's selectors and SEND do, then read
// status and configuration back and show them.
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "CodeList.h"
#include "Report.h"

#include "link/Protocol.h"
#include "link/TroubleCode.h"

#include <array>
#include <cstdio>

int RunSetProtocol(const CliOptions& options, std::string& out) {
    CliSession session(options);
    session.Connect();
    const SimulatorState& s = session.State();
    // Without --ecus the ECU-count selector keeps what the simulator reported.
    const int ecuIndex = options.EcuCount ? options.EcuCount - 1 : s.SecondEcu;
    const auto code = ProtocolChangeCode(options.Protocol - 1, ecuIndex, s);
    if (code) {
        if (!session.Io().SetProtocol(*code)) session.Fail("Can't set protocol");
        session.ThrowIfInterrupted();
        session.ReadBack();
    } else if (options.Verbose) {
        std::fprintf(stderr, "Protocol and ECU count are already set; nothing sent\n");
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

    std::array<std::uint16_t, DtcSlots> tables[2]{};
    int counts[2]{};
    for (int e = 0; e < 2; ++e) {
        if (lists[e]) {
            // The given codes in the first slots, P0000 in the rest.
            counts[e] = static_cast<int>(lists[e]->size());
            for (int i = 0; i < DtcSlots; ++i)
                tables[e][i] = i < counts[e] ? (*lists[e])[i] : std::uint16_t{0};
        } else {
            // Not named: what the simulator holds goes back unchanged.
            counts[e] = s.CodeCount(e + 1);
            for (int i = 0; i < DtcSlots; ++i) tables[e][i] = s.DtcWord(e + 1, i + 1);
        }
    }
    // The editor's rule: choosing counts switches the MIL on when any is above 0.
    const bool mil = options.Mil ? *options.Mil : (counts[0] + counts[1]) != 0;

    session.Host().PanelInfo("Sending data to KARNOL simulator");
    if (!session.Io().SendDtc(CountByte(counts[0], counts[1]), MilByte(mil), tables[0], tables[1]))
        session.Fail("Setup not possible");
    session.ThrowIfInterrupted();
    session.ReadBack();
    out += ShowText(session.State());
    return ExitOk;
}
