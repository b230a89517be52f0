#pragma once
#include "link/BoxJobs.h"

#include <optional>
#include <string>
#include <vector>


// The command line, checked: every field holds a value the command can use.
struct CliOptions {
    std::string Command;          // "ports", "info", ...; "help" also for a bare --help
    std::string HelpTopic;        // command named by "help CMD" or "CMD --help"; empty: the whole
    bool Help = false;            // print help instead of running the command
    bool ShowVersion = false;     // --version

    std::string Port;             // --port NAME (a single name)
    std::string Serial;           // --serial SN (a single number)
    std::vector<std::string> Ports;    // --port A,B,...: every name, in the order given
    std::vector<std::string> Serials;  // --serial A,B,...
    bool All = false;             // --all: every listed port on which a simulator answers
    bool Json = false;
    bool Verbose = false;         // progress texts of the link on standard error

    bool Probe = false;                    // ports --probe
    int Protocol = 0;                      // set-protocol N: 1..9
    int EcuCount = 0;                      // set-protocol --ecus: 1 or 2, 0 = keep
    std::optional<std::string> Ecu1Codes;  // set-codes --ecu1 LIST
    std::optional<std::string> Ecu2Codes;  // set-codes --ecu2 LIST
    std::optional<bool> Mil;               // set-codes --mil on|off
    std::string File;                      // apply, save, diff; run: the plan
    std::string JUnitFile;                 // run --junit FILE
    UpdateMode Update = UpdateMode::IfNeeded;

    // True when the command talks to a simulator (needs --port, --serial or --all).
    bool NeedsSimulator() const;
    // True when the command is to run on a bench of simulators (--all, or a
    // list of more than one port or serial number): one report for all.
    bool ManyBoxes() const { return All || Ports.size() > 1 || Serials.size() > 1; }
    // The same command for the one simulator on port (the bench's per-box run).
    CliOptions ForBox(const std::string& port) const;
};

// Reads the arguments after the program name. Raises UsageError naming
// what is wrong.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

// The commands in the order the help lists them.
const std::vector<std::string>& CliCommandNames();
