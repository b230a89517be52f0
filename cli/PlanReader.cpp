// Reads a test plan with toml++ and checks every value before any simulator
// is touched, so that a typing error costs one message instead of a bench
// left half set up. Each complaint names the place in the file.
#include "TestPlan.h"

#include "CliError.h"
#include "CodeList.h"
#include "NativeText.h"
#include "NearestName.h"
#include "PlanVariables.h"

#include "base/TroubleCode.h"
#include "base/WideText.h"

#include <toml++/toml.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <iterator>

namespace {

class PlanError : public CliError {
public:
    explicit PlanError(const std::string& message) : CliError(ExitUsage, message) {}
};

// One reader per file: knows where the file is, so that each complaint can
// say "PLAN:LINE:COLUMN:".
class Reader {
public:
    explicit Reader(std::string path) : path_(std::move(path)) {}

    [[noreturn]] void Fail(const toml::source_region& at, const std::string& what) const {
        throw PlanError(path_ + ":" + std::to_string(at.begin.line) + ":" + std::to_string(at.begin.column) + ": " +
                        what);
    }

    // Refuses a key that is not one of known, naming the nearest known one.
    void OnlyKnownKeys(const toml::table& table, const std::vector<std::string>& known, const std::string& where) const {
        for (auto&& [key, node] : table) {
            const std::string name(key.str());
            if (std::find(known.begin(), known.end(), name) != known.end()) continue;
            const std::string nearest = NearestName(name, known);
            Fail(key.source(), "unknown key '" + name + "'" + where +
                                   (nearest.empty() ? "" : " (did you mean '" + nearest + "'?)"));
        }
    }

    std::string Text(const toml::node& node, const std::string& key) const {
        if (!node.is_string()) Fail(node.source(), "'" + key + "' must be a text in quotes, not " + Kind(node));
        return node.as_string()->get();
    }

    bool Boolean(const toml::node& node, const std::string& key) const {
        if (!node.is_boolean()) Fail(node.source(), "'" + key + "' must be true or false, not " + Kind(node));
        return node.as_boolean()->get();
    }

    long long Whole(const toml::node& node, const std::string& key, long long low, long long high,
                    const std::string& range) const {
        if (!node.is_integer()) Fail(node.source(), "'" + key + "' must be " + range + ", not " + Kind(node));
        const long long value = node.as_integer()->get();
        if (value < low || value > high) Fail(node.source(), "'" + key + "' must be " + range + ", not " + std::to_string(value));
        return value;
    }

    double Seconds(const toml::node& node, const std::string& key) const {
        // A week is far beyond any scan tool's run and far inside what the clocks count.
        constexpr double Longest = 7 * 24 * 3600.0;
        double value = 0;
        if (node.is_integer()) value = static_cast<double>(node.as_integer()->get());
        else if (node.is_floating_point()) value = node.as_floating_point()->get();
        else Fail(node.source(), "'" + key + "' must be a number of seconds, not " + Kind(node));
        if (!std::isfinite(value) || value <= 0 || value > Longest)
            Fail(node.source(), "'" + key + "' must be more than 0 and at most a week of seconds (604800)");
        return value;
    }

    // A list of codes as set-codes takes it: ["P0301", "P0420"], or one text
    // "P0301,P0420"; [] for none.
    std::vector<std::uint16_t> Codes(const toml::node& node, const std::string& key) const {
        if (node.is_string()) {
            try {
                return ParseCodeList(node.as_string()->get(), key);
            } catch (const CliError& e) {
                Fail(node.source(), e.what());
            }
        }
        const toml::array* list = node.as_array();
        if (!list) Fail(node.source(), "'" + key + "' must be a list of trouble codes, not " + Kind(node));
        std::vector<std::uint16_t> words;
        for (const toml::node& item : *list) {
            const std::string text = Text(item, key);
            const auto word = ParseCode(text);
            if (!word)
                Fail(item.source(), key + ": '" + text +
                                        "' is not a trouble code (a letter P, C, B or U, then four hexadecimal "
                                        "digits, the first 0 to 3)");
            words.push_back(*word);
        }
        if (words.size() > static_cast<std::size_t>(DtcSlots))
            Fail(node.source(), key + ": at most " + std::to_string(DtcSlots) + " trouble codes, " +
                                    std::to_string(words.size()) + " given");
        return words;
    }

    const toml::table& Table(const toml::node& node, const std::string& key) const {
        if (!node.is_table()) Fail(node.source(), "'" + key + "' must be a table, not " + Kind(node));
        return *node.as_table();
    }

    Variables Env(const toml::node& node, const std::string& key) const {
        Variables vars;
        for (auto&& [name, value] : Table(node, key)) {
            const std::string n(name.str());
            if (const std::string why = VariableNameProblem(n); !why.empty()) Fail(name.source(), why);
            vars[n] = Text(value, n);
        }
        return vars;
    }

    const std::string& Path() const { return path_; }

    static std::string Kind(const toml::node& node) {
        switch (node.type()) {
        case toml::node_type::string: return "a text";
        case toml::node_type::integer: return "a whole number";
        case toml::node_type::floating_point: return "a number with a fraction";
        case toml::node_type::boolean: return "true or false";
        case toml::node_type::array: return "a list";
        case toml::node_type::table: return "a table";
        default: return "a date or time";
        }
    }

private:
    std::string path_;
};

StepExpectation ReadExpectation(const Reader& r, const toml::table& table) {
    r.OnlyKnownKeys(table, {"codes", "ecu1", "ecu2", "mil"}, " in [step.expect]");
    StepExpectation e;
    if (const auto* n = table.get("codes")) e.Codes = static_cast<int>(r.Whole(*n, "codes", 0, 2 * DtcSlots, "a count from 0 to 20"));
    if (const auto* n = table.get("ecu1")) e.Ecu[0] = r.Codes(*n, "ecu1");
    if (const auto* n = table.get("ecu2")) e.Ecu[1] = r.Codes(*n, "ecu2");
    if (const auto* n = table.get("mil")) e.Mil = r.Boolean(*n, "mil");
    return e;
}

PlanStep ReadStep(const Reader& r, const toml::table& table, double planTimeout, const std::string& folder) {
    r.OnlyKnownKeys(table, {"name", "protocol", "ecus", "ecu1", "ecu2", "mil", "apply", "run", "timeout", "expect"},
                    " in [[step]]");
    PlanStep step;
    const auto* name = table.get("name");
    if (!name) r.Fail(table.source(), "this step has no 'name'");
    step.Name = r.Text(*name, "name");
    if (step.Name.empty()) r.Fail(name->source(), "a step's 'name' must not be empty");

    if (const auto* n = table.get("protocol")) step.Protocol = static_cast<int>(r.Whole(*n, "protocol", 1, 9, "a protocol from 1 to 9"));
    if (const auto* n = table.get("ecus")) step.EcuCount = static_cast<int>(r.Whole(*n, "ecus", 1, 2, "1 or 2"));
    if (const auto* n = table.get("ecu1")) step.Codes.Ecu[0] = r.Codes(*n, "ecu1");
    if (const auto* n = table.get("ecu2")) step.Codes.Ecu[1] = r.Codes(*n, "ecu2");
    if (const auto* n = table.get("mil")) step.Codes.Mil = r.Boolean(*n, "mil");
    if (const auto* n = table.get("apply")) {
        if (step.Protocol || step.EcuCount || step.SendsCodes())
            r.Fail(n->source(), "'apply' takes the whole set-up from its file; leave out protocol, ecus, ecu1, ecu2 and mil");
        const std::string given = r.Text(*n, "apply");
        const auto file = NativePath(folder, given);
        if (!file) r.Fail(n->source(), "'" + given + "' cannot be named on this system (a character outside its code page)");
        step.ApplyFile = *file;
        try {
            CfgFile file;
            step.Apply = OpenConfiguration(file, step.ApplyFile);
        } catch (const CliError& e) {
            r.Fail(n->source(), e.what());
        }
    }
    if (const auto* n = table.get("run")) step.Run = r.Text(*n, "run");
    step.TimeoutSeconds = planTimeout;
    if (const auto* n = table.get("timeout")) step.TimeoutSeconds = r.Seconds(*n, "timeout");
    if (const auto* n = table.get("expect")) step.Expect = ReadExpectation(r, r.Table(*n, "expect"));
    return step;
}

}  // namespace

TestPlan ParseTestPlan(const std::string& text, const std::string& path) {
    const Reader r(path);
    toml::table root;
    try {
        root = toml::parse(text, path);
    } catch (const toml::parse_error& e) {
        r.Fail(e.source(), std::string(e.description()));
    }
    r.OnlyKnownKeys(root, {"name", "timeout", "env", "box", "step"}, "");

    TestPlan plan;
    plan.Path = path;
    plan.Name = Utf8FromPath(PathFromUtf8(path).stem());
    plan.Folder = AbsoluteFolderOf(path);
    if (const auto* n = root.get("name")) plan.Name = r.Text(*n, "name");
    if (const auto* n = root.get("timeout")) plan.TimeoutSeconds = r.Seconds(*n, "timeout");
    if (const auto* n = root.get("env")) plan.Env = r.Env(*n, "env");
    if (const auto* n = root.get("box")) {
        for (auto&& [box, node] : r.Table(*n, "box")) {
            const std::string name(box.str());
            const toml::table& table = r.Table(node, "box." + name);
            r.OnlyKnownKeys(table, {"env"}, " in [box.\"" + name + "\"]");
            const auto* env = table.get("env");
            plan.BoxEnv.emplace_back(name, env ? r.Env(*env, "env") : Variables{});
        }
    }

    const auto* steps = root.get("step");
    if (!steps) r.Fail(root.source(), "the plan has no steps; each begins with [[step]]");
    const toml::array* list = steps->as_array();
    if (!list || !list->is_array_of_tables()) r.Fail(steps->source(), "'step' must be a list of tables: write [[step]]");
    std::set<std::string> names;
    for (const toml::node& node : *list) {
        PlanStep step = ReadStep(r, *node.as_table(), plan.TimeoutSeconds, plan.Folder);
        if (!names.insert(step.Name).second)
            r.Fail(node.as_table()->get("name")->source(), "a second step named '" + step.Name + "'");
        plan.Steps.push_back(std::move(step));
    }
    if (plan.Steps.empty()) r.Fail(steps->source(), "the plan has no steps; each begins with [[step]]");
    return plan;
}

TestPlan ReadTestPlan(const std::string& path) {
    std::error_code error;
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (!in || std::filesystem::is_directory(PathFromUtf8(path), error)) throw CliError(ExitFileFailed, "Cannot read the plan " + path);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw CliError(ExitFileFailed, "Cannot read the plan " + path);
    return ParseTestPlan(text, path);
}
