#include "PlanVariables.h"

#include "Report.h"

#include "base/TroubleCode.h"

#include <algorithm>
#include <array>
#include <filesystem>

namespace {

constexpr std::array<const char*, 11> RunNames = {
    "KNSIM_PORT", "KNSIM_SERIAL",  "KNSIM_PROTOCOL", "KNSIM_PROTOCOL_NAME", "KNSIM_ECUS", "KNSIM_ECU1_CODES",
    "KNSIM_ECU2_CODES", "KNSIM_MIL", "KNSIM_STEP",     "KNSIM_PLAN",          "KNSIM_PLAN_DIR"};

}  // namespace

std::string VariableNameProblem(const std::string& name) {
    if (name.empty()) return "a variable needs a name";
    if (name.find('=') != std::string::npos || name.find('\0') != std::string::npos)
        return "'" + name + "' cannot be a variable's name ('=' and NUL are not allowed)";
    if (std::find(RunNames.begin(), RunNames.end(), name) != RunNames.end())
        return "'" + name + "' is set by the run itself for each step";
    return {};
}

std::string ActiveCodes(const SimulatorState& state, int ecu) {
    std::string codes;
    const int count = std::clamp(state.CodeCount(ecu), 0, DtcSlots);
    for (int slot = 1; slot <= count; ++slot) codes += (codes.empty() ? "" : ",") + CodeName(state.DtcWord(ecu, slot));
    return codes;
}

Variables StepVariables(const TestPlan& plan, const PlanStep& step, const Variables& box, const std::string& port,
                        const SimulatorState& state) {
    Variables vars = plan.Env;
    for (const auto& [name, value] : box) vars[name] = value;
    vars["KNSIM_PORT"] = port;
    vars["KNSIM_SERIAL"] = state.SerialNumber();
    vars["KNSIM_PROTOCOL"] = std::to_string(state.Protocol);
    vars["KNSIM_PROTOCOL_NAME"] = ProtocolText(state.Protocol);
    vars["KNSIM_ECUS"] = std::to_string(state.SecondEcu + 1);
    vars["KNSIM_ECU1_CODES"] = ActiveCodes(state, 1);
    vars["KNSIM_ECU2_CODES"] = ActiveCodes(state, 2);
    vars["KNSIM_MIL"] = state.MilOn ? "on" : "off";
    vars["KNSIM_STEP"] = step.Name;
    vars["KNSIM_PLAN"] = plan.Name;
    std::error_code error;
    const auto file = std::filesystem::absolute(std::filesystem::path(plan.Path), error);
    vars["KNSIM_PLAN_DIR"] = (error ? std::filesystem::path(plan.Path) : file).parent_path().string();
    return vars;
}

Variables BoxVariables(const TestPlan& plan, const std::string& port, const std::string& serial) {
    const std::string portName = std::filesystem::path(port).filename().string();
    Variables vars;
    auto take = [&](auto matches) {
        for (const auto& [key, values] : plan.BoxEnv)
            if (matches(key))
                for (const auto& [name, value] : values) vars[name] = value;
    };
    take([&](const std::string& key) { return key == port || (!portName.empty() && key == portName); });
    take([&](const std::string& key) { return !serial.empty() && key == serial; });
    return vars;
}
