#include "Report.h"

#include "link/BusProtocol.h"
#include "base/TroubleCode.h"

#include <cstdio>

namespace {

std::string OnOff(bool on) { return on ? "on" : "off"; }

int EcuCount(const SimulatorState& s) { return s.SecondEcu + 1; }

std::string CodesSummary(const SimulatorState& s) {
    const int c1 = s.CodeCount(1), c2 = s.CodeCount(2);
    return std::to_string(c1 + c2) + " (ECU1 " + std::to_string(c1) + ", ECU2 " + std::to_string(c2) + ")";
}

void StatusFields(JsonWriter& j, const SimulatorState& s) {
    j.Field("protocol", int{s.Protocol});
    j.Field("protocol_name", ProtocolText(s.Protocol));
    j.Field("ecu_count", EcuCount(s));
    j.Field("mil", s.MilOn);
    j.Field("code_count_ecu1", s.CodeCount(1));
    j.Field("code_count_ecu2", s.CodeCount(2));
    j.Field("code_total", s.CodeCount(1) + s.CodeCount(2));
}

}  // namespace

std::string ProtocolText(int protocol) {
    if (protocol >= 1 && protocol <= static_cast<int>(ProtocolNames.size())) return ProtocolNames[protocol - 1];
    return std::to_string(protocol) + " - unknown";
}

std::string InfoText(const InfoFacts& info) {
    return "Serial:          " + info.Serial + "\n" +
           "Bios version:    " + info.Installed + "\n" +
           "Carried version: " + info.Carried + "\n" +
           "Update due:      " + (info.UpdateDue ? "yes" : "no") + "\n";
}

std::string InfoJson(const InfoFacts& info) {
    JsonWriter j;
    j.BeginObject()
        .Field("port", info.Port)
        .Field("serial", info.Serial)
        .Field("installed_version", info.Installed)
        .Field("carried_version", info.Carried)
        .Field("update_due", info.UpdateDue)
        .EndObject();
    return j.Text();
}

std::string StatusText(const SimulatorState& s) {
    return "Protocol:        " + ProtocolText(s.Protocol) + "\n" +
           "ECU count:       " + std::to_string(EcuCount(s)) + "\n" +
           "MIL:             " + OnOff(s.MilOn) + "\n" +
           "Codes:           " + CodesSummary(s) + "\n";
}

std::string StatusJson(const SimulatorState& s, const std::string& port) {
    JsonWriter j;
    j.BeginObject().Field("port", port);
    StatusFields(j, s);
    j.EndObject();
    return j.Text();
}

std::string ShowText(const SimulatorState& s) {
    std::string out = "Serial:          " + s.SerialNumber() + "\n" +
                      "Bios version:    " + s.InstalledVersionText() + "\n" + StatusText(s);
    for (int ecu = 1; ecu <= 2; ++ecu) {
        const int count = s.CodeCount(ecu);
        out += s.GroupTitle(ecu) + ": " + std::to_string(count) + " active\n";
        for (int slot = 1; slot <= DtcSlots; ++slot) {
            char line[64];
            std::snprintf(line, sizeof line, "  %2d: %s%s\n", slot, CodeName(s.DtcWord(ecu, slot)).c_str(),
                          slot <= count ? " *" : "");
            out += line;
        }
    }
    return out;
}

std::string ShowJson(const SimulatorState& s, const std::string& port) {
    JsonWriter j;
    j.BeginObject()
        .Field("port", port)
        .Field("serial", s.SerialNumber())
        .Field("installed_version", s.InstalledVersionText());
    StatusFields(j, s);
    j.Key("ecus").BeginArray();
    for (int ecu = 1; ecu <= 2; ++ecu) {
        const int count = s.CodeCount(ecu);
        j.BeginObject()
            .Field("ecu", ecu)
            .Field("identifier", s.EcuIdentifier(ecu))
            .Field("title", s.GroupTitle(ecu))
            .Field("code_count", count);
        j.Key("slots").BeginArray();
        for (int slot = 1; slot <= DtcSlots; ++slot) {
            j.BeginObject()
                .Field("slot", slot)
                .Field("code", CodeName(s.DtcWord(ecu, slot)))
                .Field("active", slot <= count)
                .EndObject();
        }
        j.EndArray().EndObject();
    }
    j.EndArray().EndObject();
    return j.Text();
}

std::string WatchLine(const SimulatorState& s) {
    return "Protocol " + ProtocolText(s.Protocol) + ", ECU count " + std::to_string(EcuCount(s)) + ", MIL " +
           OnOff(s.MilOn) + ", codes " + CodesSummary(s);
}
