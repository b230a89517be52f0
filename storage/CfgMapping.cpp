#include "CfgMapping.h"

#include "base/Convert.h"

#include <cstdio>

namespace {

bool SameNoCase(std::string_view a, std::string_view b) { return ConfigDocument::SameName(a, b); }

int IntegerAt(const ConfigDocument& doc, std::string_view path, int missing) {
    const std::string* text = doc.ReadValue(path);
    return text ? ReadCfgInteger(*text) : missing;
}

std::string TextAt(const ConfigDocument& doc, std::string_view path) {
    const std::string* text = doc.ReadValue(path);
    return text ? *text : std::string();
}

void ReadSlots(const ConfigDocument& doc, int ecu, std::array<std::optional<DtcSlot>, DtcSlots>& slots) {
    for (int n = 1; n <= DtcSlots; ++n) {
        const int category = IntegerAt(doc, CfgPath::Slot(ecu, n, 'P'), -1);
        if (category == -1) continue;
        DtcSlot slot;
        // An index the selector does not have leaves it without selection;
        // the code text is taken all the same.
        slot.Category = category >= 0 && category < static_cast<int>(CategoryLetters.size()) ? category : -1;
        slot.Text = TextAt(doc, CfgPath::Slot(ecu, n, 'D'));
        slots[static_cast<std::size_t>(n - 1)] = std::move(slot);
    }
}

}  // namespace

std::string CfgPath::Slot(int ecu, int slot, char letter) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "\\Dtc\\Ecu%d\\%c%.2d", ecu, letter, slot);
    return buf;
}

int ReadCfgInteger(std::string_view text) {
    const auto value = TryStrToInt(text);
    return value ? *value : -1;
}

bool ReadCfgBoolean(std::string_view text) {
    for (std::string_view t : {"TRUE", "YES", "Y"})
        if (SameNoCase(text, t)) return true;
    for (std::string_view f : {"FALSE", "NO", "N"})
        if (SameNoCase(text, f)) return false;
    if (const auto number = TryStrToInt(text)) return *number != 0;
    return false;
}

const char* CfgBooleanText(bool value) { return value ? "TRUE" : "FALSE"; }

std::string CfgVersionText(std::uint32_t versionWord) { return IntToHex(versionWord, 3); }

void WriteSetup(ConfigDocument& doc, const CfgSetup& setup, std::uint32_t versionWord) {
    doc.WriteValue(CfgPath::Version, CfgVersionText(versionWord));
    doc.WriteValue(CfgPath::Protocol, std::to_string(setup.Protocol));
    doc.WriteValue(CfgPath::EcuCount, std::to_string(setup.EcuCount));
    doc.WriteValue(CfgPath::MilOn, CfgBooleanText(setup.MilOn));
    doc.WriteValue(CfgPath::Count1, std::to_string(setup.Count1));
    doc.WriteValue(CfgPath::Count2, std::to_string(setup.Count2));
    for (int n = 1; n <= DtcSlots; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        doc.WriteValue(CfgPath::Slot(1, n, 'P'), std::to_string(setup.Ecu1[i].Category));
        doc.WriteValue(CfgPath::Slot(1, n, 'D'), setup.Ecu1[i].Text);
        doc.WriteValue(CfgPath::Slot(2, n, 'P'), std::to_string(setup.Ecu2[i].Category));
        doc.WriteValue(CfgPath::Slot(2, n, 'D'), setup.Ecu2[i].Text);
    }
}

CfgValues ReadValues(const ConfigDocument& doc) {
    CfgValues v;
    if (const std::string* version = doc.ReadValue(CfgPath::Version)) v.Version = *version;
    v.Protocol = IntegerAt(doc, CfgPath::Protocol, 0);
    v.EcuCount = IntegerAt(doc, CfgPath::EcuCount, 0);
    const std::string* mil = doc.ReadValue(CfgPath::MilOn);
    v.MilOn = mil ? ReadCfgBoolean(*mil) : true;
    v.Count1 = IntegerAt(doc, CfgPath::Count1, 0);
    v.Count2 = IntegerAt(doc, CfgPath::Count2, 0);
    ReadSlots(doc, 1, v.Ecu1);
    ReadSlots(doc, 2, v.Ecu2);
    return v;
}

void ApplyValues(const CfgValues& values, CfgSetup& inOut) {
    inOut.Protocol = values.Protocol;
    inOut.EcuCount = values.EcuCount;
    inOut.MilOn = values.MilOn;
    inOut.Count1 = values.Count1;
    inOut.Count2 = values.Count2;
    for (std::size_t i = 0; i < static_cast<std::size_t>(DtcSlots); ++i) {
        if (values.Ecu1[i]) inOut.Ecu1[i] = *values.Ecu1[i];
        if (values.Ecu2[i]) inOut.Ecu2[i] = *values.Ecu2[i];
    }
}

void ApplyDocument(const ConfigDocument& doc, CfgSetup& inOut) { ApplyValues(ReadValues(doc), inOut); }
