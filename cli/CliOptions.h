#pragma once
#include <optional>
#include <string>
#include <vector>

enum class UpdateMode { IfNeeded, Always, ResetButton };

// The command line, checked: every field holds a value the command can use.
struct CliOptions {
    std::string Command;          // "ports", "info", ...; "help" also for a bare --help
    std::string HelpTopic;        // command named by "help CMD" or "CMD --help"; empty: the whole
    bool Help = false;            // print help instead of running the command
    bool ShowVersion = false;     // --version

    std::string Port;             // --port NAME
    std::string Serial;           // --serial SN
    bool Json = false;
    bool Verbose = false;         // progress texts of the link on standard error

    bool Probe = false;                    // ports --probe
    int Protocol = 0;                      // set-protocol N: 1..9
    int EcuCount = 0;                      // set-protocol --ecus: 1 or 2, 0 = keep
    std::optional<std::string> Ecu1Codes;  // set-codes --ecu1 LIST
    std::optional<std::string> Ecu2Codes;  // set-codes --ecu2 LIST
    std::optional<bool> Mil;               // set-codes --mil on|off
    std::string File;                      // apply, save, diff
    UpdateMode Update = UpdateMode::IfNeeded;

    // True when the command talks to one simulator (needs --port or --serial).
    bool NeedsSimulator() const;
};

// Reads the arguments after the program name. Raises UsageError naming
// what is wrong.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

// The commands in the order the help lists them.
const std::vector<std::string>& CliCommandNames();
