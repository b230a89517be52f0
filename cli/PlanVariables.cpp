#include "PlanVariables.h"

#include "NativeText.h"
#include "Report.h"

#include "base/TroubleCode.h"
#include "base/WideText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <filesystem>

namespace {

constexpr std::array<const char*, 11> RunNames = {
    "KNSIM_PORT", "KNSIM_SERIAL",  "KNSIM_PROTOCOL", "KNSIM_PROTOCOL_NAME", "KNSIM_ECUS", "KNSIM_ECU1_CODES",
    "KNSIM_ECU2_CODES", "KNSIM_MIL", "KNSIM_STEP",     "KNSIM_PLAN",          "KNSIM_PLAN_DIR"};

constexpr std::string_view Prefix = "KNSIM_";

}  // namespace

std::string VariableNameProblem(const std::string& name) {
    if (name.empty()) return "a variable needs a name";
    if (name.find('=') != std::string::npos || name.find('\0') != std::string::npos)
        return "'" + name + "' cannot be a variable's name ('=' and NUL are not allowed)";
    if (std::find(RunNames.begin(), RunNames.end(), name) != RunNames.end())
        return "'" + name + "' is set by the run itself for each step";
    // The run's own prefix, kept free for the names it may add; on Windows
    // the case of a name does not count.
    std::string prefix = name.substr(0, Prefix.size());
    std::transform(prefix.begin(), prefix.end(), prefix.begin(), [](unsigned char c) { return std::toupper(c); });
    if (prefix == Prefix) {
        const std::string rest = name.substr(Prefix.size());
        return "'" + name + "': names beginning with " + std::string(Prefix) +
               " are the run's own; give your variable another name" + (rest.empty() ? "" : ", such as '" + rest + "'");
    }
    return {};
}

std::vector<std::uint16_t> ReadableCodes(const SimulatorState& state, int ecu) {
    std::vector<std::uint16_t> words;
    if (ecu == 2 && !state.SecondEcu) return words;
    const int count = std::clamp(state.CodeCount(ecu), 0, DtcSlots);
    for (int slot = 1; slot <= count; ++slot) words.push_back(state.DtcWord(ecu, slot));
    return words;
}

std::string ActiveCodes(const SimulatorState& state, int ecu) {
    std::string codes;
    for (const auto word : ReadableCodes(state, ecu)) codes += (codes.empty() ? "" : ",") + CodeName(word);
    return codes;
}

Variables StepVariables(const TestPlan& plan, const PlanStep& step, const Variables& box, const std::string& port,
                        const SimulatorState& state) {
    Variables vars = plan.Env;
    for (const auto& [name, value] : box) vars[name] = value;
    vars["KNSIM_PORT"] = Utf8FromNative(port);
    vars["KNSIM_SERIAL"] = state.SerialNumber();
    vars["KNSIM_PROTOCOL"] = std::to_string(state.Protocol);
    vars["KNSIM_PROTOCOL_NAME"] = ProtocolText(state.Protocol);
    vars["KNSIM_ECUS"] = std::to_string(state.SecondEcu + 1);
    vars["KNSIM_ECU1_CODES"] = ActiveCodes(state, 1);
    vars["KNSIM_ECU2_CODES"] = ActiveCodes(state, 2);
    vars["KNSIM_MIL"] = state.MilOn ? "on" : "off";
    vars["KNSIM_STEP"] = step.Name;
    vars["KNSIM_PLAN"] = plan.Name;
    vars["KNSIM_PLAN_DIR"] = Utf8FromNative(plan.Folder);
    return vars;
}

BoxKeyMatch MatchBoxKey(const std::string& key, const std::string& port, const std::string& serial) {
    if (!serial.empty() && key == serial) return BoxKeyMatch::Serial;
    const std::string portName = Utf8FromPath(PathFromUtf8(port).filename());
    if (key == port || (!portName.empty() && key == portName)) return BoxKeyMatch::Port;
    return BoxKeyMatch::None;
}

Variables BoxVariables(const TestPlan& plan, const std::string& port, const std::string& serial) {
    Variables vars;
    for (const BoxKeyMatch wanted : {BoxKeyMatch::Port, BoxKeyMatch::Serial})
        for (const auto& [key, values] : plan.BoxEnv)
            if (MatchBoxKey(key, port, serial) == wanted)
                for (const auto& [name, value] : values) vars[name] = value;
    return vars;
}
