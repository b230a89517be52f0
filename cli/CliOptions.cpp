#include "CliOptions.h"

#include "CliError.h"
#include "NameList.h"

#include "jobs/SetupFileJobs.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace {

struct CommandDef {
    std::string Name;
    int MinArgs = 0;
    int MaxArgs = 0;
    bool Json = false;
    std::vector<std::string> Options;  // command options besides the global ones
};

const std::vector<CommandDef>& CommandTable() {
    static const std::vector<CommandDef> table = {
        {"ports", 0, 0, true, {"probe"}},
        {"info", 0, 0, true, {}},
        {"status", 0, 0, true, {}},
        {"show", 0, 0, true, {}},
        {"set-protocol", 1, 1, false, {"ecus"}},
        {"set-codes", 0, 0, false, {"ecu1", "ecu2", "mil"}},
        {"apply", 1, 1, false, {}},
        {"save", 1, 1, false, {}},
        {"diff", 1, 1, true, {}},
        {"update-firmware", 0, 0, false, {"if-needed", "always", "reset-button"}},
        {"watch", 0, 0, false, {}},
        {"run", 1, 1, true, {"junit"}},
        {"help", 0, 1, false, {}},
    };
    return table;
}

const CommandDef* FindCommand(const std::string& name) {
    for (const auto& s : CommandTable())
        if (s.Name == name) return &s;
    return nullptr;
}

// Long options and whether they take a value.
const std::map<std::string, bool>& KnownOptions() {
    static const std::map<std::string, bool> known = {
        {"port", true},     {"serial", true},    {"json", false},   {"verbose", false},
        {"help", false},    {"version", false},  {"probe", false},  {"ecus", true},
        {"ecu1", true},     {"ecu2", true},      {"mil", true},     {"if-needed", false},
        {"always", false},  {"reset-button", false}, {"all", false},
        {"junit", true},
    };
    return known;
}

bool IsGlobal(const std::string& option) {
    return option == "port" || option == "serial" || option == "all" || option == "json" || option == "verbose" ||
           option == "help" || option == "version";
}

// A whole decimal number, nothing before or after it.
std::optional<int> WholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

const std::vector<std::string>& CliCommandNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const auto& s : CommandTable()) n.push_back(s.Name);
        return n;
    }();
    return names;
}

CliOptions CliOptions::ForBox(const std::string& port) const {
    CliOptions box = *this;
    box.Port = port;
    box.Ports = {port};
    box.Serial.clear();
    box.Serials.clear();
    box.All = false;
    return box;
}

bool CliOptions::NeedsSimulator() const {
    return Command != "ports" && Command != "help" && !Help && !ShowVersion;
}

CliOptions ParseCliOptions(const std::vector<std::string>& args) {
    CliOptions o;
    std::vector<std::string> positional;
    std::vector<std::string> seen;  // long names, in order
    std::map<std::string, std::string> values;
    bool optionsEnded = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            if (o.Command.empty())
                o.Command = a;
            else
                positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name;
        std::optional<std::string> value;
        if (a == "-h") {
            name = "help";
        } else if (a == "-v") {
            name = "verbose";
        } else if (a.rfind("--", 0) == 0) {
            const auto eq = a.find('=');
            name = a.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
            if (eq != std::string::npos) value = a.substr(eq + 1);
        } else {
            throw UsageError("unknown option '" + a + "'");
        }
        const auto known = KnownOptions().find(name);
        if (known == KnownOptions().end()) throw UsageError("unknown option '--" + name + "'");
        if (known->second) {
            if (!value) {
                if (i + 1 >= args.size()) throw UsageError("option '--" + name + "' needs a value");
                value = args[++i];
            }
            values[name] = *value;
        } else if (value) {
            throw UsageError("option '--" + name + "' takes no value");
        }
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            throw UsageError("option '--" + name + "' given twice");
        seen.push_back(name);
    }

    auto has = [&](const std::string& n) { return std::find(seen.begin(), seen.end(), n) != seen.end(); };
    o.Help = has("help");
    o.ShowVersion = has("version");
    o.Json = has("json");
    o.Verbose = has("verbose");

    if (o.Command.empty()) {
        if (o.Help || o.ShowVersion) {
            o.Command = "help";
            return o;
        }
        throw UsageError("no command given");
    }
    const CommandDef* def = FindCommand(o.Command);
    if (!def) throw UsageError("unknown command '" + o.Command + "'");

    if (o.Command == "help") {
        if (!positional.empty()) {
            if (positional.size() > 1) throw UsageError("help takes at most one command name");
            if (!FindCommand(positional[0])) throw UsageError("unknown command '" + positional[0] + "'");
            o.HelpTopic = positional[0];
        }
        o.Help = true;
        return o;
    }
    if (o.Help) {
        // "CMD --help" explains the command whatever else stands on the line.
        o.HelpTopic = o.Command;
        return o;
    }
    if (o.ShowVersion) return o;

    for (const auto& n : seen) {
        if (IsGlobal(n)) continue;
        if (std::find(def->Options.begin(), def->Options.end(), n) == def->Options.end())
            throw UsageError("option '--" + n + "' does not belong to '" + o.Command + "'");
    }
    const int count = static_cast<int>(positional.size());
    if (count < def->MinArgs) throw UsageError("'" + o.Command + "' needs an argument");
    if (count > def->MaxArgs) throw UsageError("unexpected argument '" + positional[def->MaxArgs] + "'");

    // A name without a comma is taken as written, as it always was; a list
    // is split, trimmed and kept once per name.
    auto names = [&](const std::string& option, const char* what) {
        const std::string& value = values[option];
        std::vector<std::string> list =
            value.find(',') == std::string::npos ? std::vector<std::string>{value} : ParseNameList(value);
        if (list.empty() || list[0].empty()) throw UsageError("'--" + option + "' needs " + what);
        return list;
    };
    if (has("port")) {
        o.Ports = names("port", "a port name");
        if (o.Ports.size() == 1) o.Port = o.Ports[0];
    }
    if (has("serial")) {
        o.Serials = names("serial", "a serial number");
        if (o.Serials.size() == 1) o.Serial = o.Serials[0];
    }
    o.All = has("all");
    if (int{has("port")} + int{has("serial")} + int{o.All} > 1)
        throw UsageError("give one of '--port', '--serial' and '--all'");
    if (o.NeedsSimulator() && o.Ports.empty() && o.Serials.empty() && !o.All)
        throw UsageError("'" + o.Command + "' needs '--port NAME' or '--serial SN'");
    if (o.All && !o.NeedsSimulator()) throw UsageError("'--all' does not belong to '" + o.Command + "'");
    if (o.ManyBoxes() && o.Command == "watch") throw UsageError("'watch' follows one simulator; give one port");
    // Several boxes always report as one JSON array, whatever the command.
    if (o.Json && !def->Json && !o.ManyBoxes()) throw UsageError("'" + o.Command + "' has no JSON output");

    o.Probe = has("probe");
    if (o.Command == "set-protocol") {
        const auto n = WholeNumber(positional[0]);
        if (!n || *n < 1 || *n > 9) throw UsageError("protocol must be a number from 1 to 9, not '" + positional[0] + "'");
        o.Protocol = *n;
        if (has("ecus")) {
            const auto e = WholeNumber(values["ecus"]);
            if (!e || *e < 1 || *e > 2) throw UsageError("'--ecus' must be 1 or 2, not '" + values["ecus"] + "'");
            o.EcuCount = *e;
        }
    }
    if (o.Command == "set-codes") {
        if (has("ecu1")) o.Ecu1Codes = values["ecu1"];
        if (has("ecu2")) o.Ecu2Codes = values["ecu2"];
        if (has("mil")) {
            const std::string m = Lower(values["mil"]);
            if (m == "on") o.Mil = true;
            else if (m == "off") o.Mil = false;
            else throw UsageError("'--mil' must be on or off, not '" + values["mil"] + "'");
        }
    }
    if (o.Command == "apply" || o.Command == "save" || o.Command == "diff") {
        o.File = positional[0];
        if (o.File.empty()) throw UsageError("'" + o.Command + "' needs a file name");
        if (o.Command == "save") {
            // --all and --serial may find any number of boxes: count them as many.
            const std::string problem = SaveNameProblem(o.File, o.ManyBoxes() ? 2 : 1);
            if (!problem.empty()) throw UsageError(problem);
        }
    }
    if (o.Command == "run") {
        o.File = positional[0];
        if (o.File.empty()) throw UsageError("'run' needs a plan file");
        if (has("junit")) {
            o.JUnitFile = values["junit"];
            if (o.JUnitFile.empty()) throw UsageError("'--junit' needs a file name");
        }
    }
    if (o.Command == "update-firmware") {
        const int modes = int{has("if-needed")} + int{has("always")} + int{has("reset-button")};
        if (modes > 1) throw UsageError("give only one of '--if-needed', '--always', '--reset-button'");
        if (has("always")) o.Update = UpdateMode::Always;
        if (has("reset-button")) o.Update = UpdateMode::ResetButton;
    }
    return o;
}
