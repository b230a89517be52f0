// The configuration-file commands: apply, save and diff. They use the same
// file code as the window's "Open configuration..." and "Save
// configuration...", and the shared set-up actions of link/SetupActions
// (applying a set-up, the set-up that the simulator's state stands for).
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "link/FileNames.h"
#include "JsonWriter.h"
#include "Report.h"
#include "SetupRequests.h"

#include "base/Failure.h"
#include "base/TroubleCode.h"
#include "base/WideText.h"
#include "link/BoxJobs.h"
#include "link/BusProtocol.h"
#include "link/SetupActions.h"
#include "link/StatusTexts.h"
#include "storage/CfgFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

// Reads the file before the simulator is touched, so that a bad file changes
// nothing. Unlike the window's dialog, where typing a new name is a choice, a
// missing file here is almost always a typing error in a script, so it is
// refused rather than applied as an empty set-up.
CfgValues OpenConfiguration(CfgFile& file, const std::string& typed) {
    const std::string chosen = ConfigurationFileName(typed);
    const std::string path = CfgFile::DocumentPath(chosen);
    std::error_code error;
    const auto status = std::filesystem::status(PathFromUtf8(path), error);
    if (error) throw CliError(ExitFileFailed, "Cannot open " + path + ": " + error.message());
    if (std::filesystem::is_directory(status)) throw CliError(ExitFileFailed, "Cannot open " + path + ": it is a folder");
    try {
        return file.Open(chosen);
    } catch (const EFailure& e) {
        throw CliError(ExitFileFailed, e.Message());
    }
}

void CheckBeforeConnecting(const CliOptions& options) {
    if (options.Command == "apply" || options.Command == "diff") {
        CfgFile file;
        (void)OpenConfiguration(file, options.File);
    }
    if (options.Command == "set-codes") CheckCodeLists(options);
}

void ApplyOn(CliSession& session, const CfgValues& values) {
    ApplyOnBox(session, values.Protocol, values.EcuCount, [&values](const CfgSetup& held) {
        // The file laid over what the controls now show.
        CfgSetup setup = held;
        ApplyValues(values, setup);
        return setup;
    });
}

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
    // The name is known only now: it may hold the simulator's serial number.
    const std::string name = ConfigurationFileName(
        BoxFileName(session.Options().File, session.State().SerialNumber(), session.PortName()));
    CfgFile file;
    try {
        file.Save(name, SetupFromState(session.State()), session.Image().VersionWord());
    } catch (const EFailure& e) {
        throw CliError(ExitFileFailed, e.Message());
    }
    if (session.Options().Verbose) session.Events().Note("Saved " + CfgFile::DocumentPath(name));
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
