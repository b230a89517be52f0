#pragma once
// How a configuration document holds a set-up: the value paths, the rules
// for reading integers and booleans, and the mapping between a set-up and a
// document in both directions.

#include "ConfigDocument.h"

#include "base/CfgSetup.h"
#include "base/TroubleCode.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a document says, before it is applied onto a set-up. Every value but
// the slots takes its value for a missing element; a slot is nullopt when
// its P value is missing or not an integer, so that it stays as it was.
struct CfgValues {
    std::optional<std::string> Version;
    int Protocol = 0;
    int EcuCount = 0;
    bool MilOn = true;
    int Count1 = 0;
    int Count2 = 0;
    std::array<std::optional<DtcSlot>, DtcSlots> Ecu1{};
    std::array<std::optional<DtcSlot>, DtcSlots> Ecu2{};
};

// Value paths.
namespace CfgPath {
constexpr std::string_view Version = "Version";
constexpr std::string_view Protocol = "\\Global\\Protocol";
constexpr std::string_view EcuCount = "\\Global\\EcuCount";
constexpr std::string_view MilOn = "\\Dtc\\MilOn";
constexpr std::string_view Count1 = "\\Dtc\\Ecu1\\Count";
constexpr std::string_view Count2 = "\\Dtc\\Ecu2\\Count";
// "\Dtc\Ecu1\P05" for ecu 1, slot 5, letter 'P'.
std::string Slot(int ecu, int slot, char letter);
}  // namespace CfgPath

// An integer value: optional sign, decimal or ("$", "0x") hexadecimal, blanks
// before it but nothing after it; anything else (the empty text too) is -1.
int ReadCfgInteger(std::string_view text);
// A boolean value: TRUE/YES/Y and FALSE/NO/N in any case, else a number
// (non-zero true), else "True"/"False" in any case, else false.
bool ReadCfgBoolean(std::string_view text);
const char* CfgBooleanText(bool value);

// The version text written into a file: uppercase hexadecimal, >= 3 digits.
std::string CfgVersionText(std::uint32_t versionWord);

// Writes the set-up's values into the document in the file's key order,
// creating missing elements at the end of their parents and replacing the
// text of existing ones (so unknown elements and comments keep their place).
void WriteSetup(ConfigDocument& doc, const CfgSetup& setup, std::uint32_t versionWord);

// Reads the document's values with the defaults for missing elements.
CfgValues ReadValues(const ConfigDocument& doc);
// Applies the values onto a set-up: every value replaces the set-up's, but a
// slot without a usable P value stays unchanged.
void ApplyValues(const CfgValues& values, CfgSetup& inOut);
// Both in one step.
void ApplyDocument(const ConfigDocument& doc, CfgSetup& inOut);
