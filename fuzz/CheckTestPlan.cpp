// A test plan as knsimtool-cli run reads it: any bytes give a plan whose
// every value is usable, or one refusal that says where ("PLAN:LINE:COLUMN:").
#include "FuzzCheck.h"

#include "cli/CliError.h"
#include "cli/TestPlan.h"

#include "base/TroubleCode.h"

#include <cctype>
#include <set>
#include <string>

namespace {

// "p.toml:" then a line and a column, each a number from 1.
bool SaysWhere(const std::string& message) {
    const std::string prefix = "p.toml:";
    if (message.rfind(prefix, 0) != 0) return false;
    std::size_t at = prefix.size();
    for (int field = 0; field < 2; ++field) {
        const std::size_t start = at;
        while (at < message.size() && std::isdigit(static_cast<unsigned char>(message[at]))) ++at;
        if (at == start || message[start] == '0' || at >= message.size() || message[at] != ':') return false;
        ++at;
    }
    return true;
}

bool CodesFit(const std::optional<std::vector<std::uint16_t>>& codes) {
    return !codes || codes->size() <= static_cast<std::size_t>(DtcSlots);
}

}  // namespace

namespace FuzzCheck {

void TestPlan(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    ::TestPlan plan;
    try {
        plan = ParseTestPlan(text, "p.toml");
    } catch (const CliError& refused) {
        FUZZ_REQUIRE(refused.ExitStatus() == ExitUsage);
        FUZZ_REQUIRE(SaysWhere(refused.what()));
        return;
    }
    FUZZ_REQUIRE(!plan.Steps.empty());
    FUZZ_REQUIRE(plan.TimeoutSeconds > 0);
    std::set<std::string> names;
    for (const auto& step : plan.Steps) {
        FUZZ_REQUIRE(!step.Name.empty() && names.insert(step.Name).second);
        FUZZ_REQUIRE(step.Protocol >= 0 && step.Protocol <= 9);
        FUZZ_REQUIRE(step.EcuCount >= 0 && step.EcuCount <= 2);
        FUZZ_REQUIRE(step.TimeoutSeconds > 0 && step.TimeoutSeconds <= 7 * 24 * 3600.0);
        FUZZ_REQUIRE(CodesFit(step.Codes.Ecu[0]) && CodesFit(step.Codes.Ecu[1]));
        FUZZ_REQUIRE(CodesFit(step.Expect.Ecu[0]) && CodesFit(step.Expect.Ecu[1]));
        FUZZ_REQUIRE(!step.Expect.Codes || (*step.Expect.Codes >= 0 && *step.Expect.Codes <= 2 * DtcSlots));
        // A file's whole set-up, or the keys' part of it; never both.
        FUZZ_REQUIRE(!step.Apply || (!step.Protocol && !step.EcuCount && !step.SendsCodes()));
    }
    // The run's own prefix is never a plan's.
    for (const auto& [name, value] : plan.Env) FUZZ_REQUIRE(name.rfind("KNSIM_", 0) != 0);
    for (const auto& [box, vars] : plan.BoxEnv)
        for (const auto& [name, value] : vars) FUZZ_REQUIRE(name.rfind("KNSIM_", 0) != 0);
}

}  // namespace FuzzCheck
