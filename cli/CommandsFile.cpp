// The configuration-file commands: apply, save and diff. Save and apply are
// the set-up file jobs the bench window runs too; diff uses the same file
// code and set-up actions.
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "JsonWriter.h"
#include "Report.h"
#include "SetupRequests.h"

#include "base/Failure.h"
#include "base/TroubleCode.h"
#include "jobs/SetupFileJobs.h"
#include "link/BoxJobs.h"
#include "link/BusProtocol.h"
#include "link/SetupActions.h"
#include "link/StatusTexts.h"
#include "storage/CfgFile.h"

#include <cstdio>

namespace {

struct Difference {
    std::string Field;
    std::string Simulator;
    std::string File;
};

std::string SlotField(int ecu, int slot) {
    char name[24];
    std::snprintf(name, sizeof name, "ecu%d.slot%02d", ecu, slot);
    return name;
}

// What apply would change: the protocol pair only when the file names a
// valid one, everything SEND sends always.
std::vector<Difference> Differences(const SimulatorState& s, const CfgValues& values) {
    std::vector<Difference> d;
    if (ProtocolChangeCode(values.Protocol - 1, values.EcuCount - 1, s)) {
        if (values.Protocol != s.Protocol) d.push_back({"protocol", ProtocolText(s.Protocol), ProtocolText(values.Protocol)});
        if (values.EcuCount != s.SecondEcu + 1)
            d.push_back({"ecu_count", std::to_string(s.SecondEcu + 1), std::to_string(values.EcuCount)});
    }
    CfgSetup target = SetupFromState(s);
    ApplyValues(values, target);
    const SendData send = SendDataOf(target);
    auto onOff = [](bool on) { return std::string(on ? "on" : "off"); };
    if (target.MilOn != s.MilOn) d.push_back({"mil", onOff(s.MilOn), onOff(target.MilOn)});
    const int sent[2] = {send.Counts & 0x0F, send.Counts >> 4};
    for (int ecu = 1; ecu <= 2; ++ecu) {
        if (sent[ecu - 1] != s.CodeCount(ecu)) {
            d.push_back({"ecu" + std::to_string(ecu) + ".count", std::to_string(s.CodeCount(ecu)),
                         std::to_string(sent[ecu - 1])});
        }
    }
    for (int ecu = 1; ecu <= 2; ++ecu) {
        const auto& words = ecu == 1 ? send.Ecu1 : send.Ecu2;
        for (int slot = 1; slot <= DtcSlots; ++slot) {
            const std::uint16_t held = s.DtcWord(ecu, slot);
            if (words[slot - 1] != held) d.push_back({SlotField(ecu, slot), CodeName(held), CodeName(words[slot - 1])});
        }
    }
    return d;
}

}  // namespace

CfgValues OpenConfiguration(CfgFile& file, const std::string& typed) { return OpenSetupFile(file, typed); }

void CheckBeforeConnecting(const CliOptions& options) {
    if (options.Command == "apply" || options.Command == "diff") {
        CfgFile file;
        (void)OpenConfiguration(file, options.File);
    }
    if (options.Command == "set-codes") CheckCodeLists(options);
}

void ApplyOn(CliSession& session, const CfgValues& values) { ApplySetupFile(session, values); }

int RunApply(CliSession& session, std::string& out) {
    CfgFile file;
    const CfgValues values = OpenConfiguration(file, session.Options().File);

    session.Connect();
    ApplyOn(session, values);
    out += ShowText(session.State());
    return ExitOk;
}

int RunSave(CliSession& session, std::string&) {
    session.Connect();
    const std::string path = SaveBoxSetup(session, session.Options().File);
    if (session.Options().Verbose) session.Events().Note("Saved " + path);
    return ExitOk;
}

int RunDiff(CliSession& session, std::string& out) {
    const CliOptions& options = session.Options();
    CfgFile file;
    const CfgValues values = OpenConfiguration(file, options.File);

    session.Connect();
    const auto differences = Differences(session.State(), values);

    if (options.Json) {
        JsonWriter j;
        j.BeginObject().Field("differ", !differences.empty()).Key("differences").BeginArray();
        for (const auto& d : differences)
            j.BeginObject().Field("field", d.Field).Field("simulator", d.Simulator).Field("file", d.File).EndObject();
        j.EndArray().EndObject();
        out += j.Text();
    } else {
        for (const auto& d : differences) out += d.Field + ": simulator " + d.Simulator + ", file " + d.File + "\n";
    }
    return differences.empty() ? ExitOk : ExitDeviceFailed;
}
