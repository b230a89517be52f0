#pragma once
// A test plan as read from its TOML file and checked whole: what each step
// puts on the simulator, the command it runs, and what the simulator must
// hold afterwards. Everything here has been validated; running a plan never
// finds a value it cannot use.

#include "SetupRequests.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// What the simulator must hold once the step's command has ended.
struct StepExpectation {
    // What a scan tool can read: ECU 2's codes only while two ECUs are on.
    std::optional<int> Codes;                                   // active codes of both ECUs
    std::optional<std::vector<std::uint16_t>> Ecu[2];           // active codes, in slot order
    std::optional<bool> Mil;
    bool Any() const { return Codes || Ecu[0] || Ecu[1] || Mil; }
};

struct PlanStep {
    std::string Name;
    // The set-up: set-protocol's part, set-codes' part, or a file instead.
    int Protocol = 0;  // 1..9, 0: not given
    int EcuCount = 0;  // 1 or 2, 0: not given
    CodeRequest Codes;
    bool SendsCodes() const { return Codes.Ecu[0] || Codes.Ecu[1] || Codes.Mil; }
    std::optional<CfgValues> Apply;  // the file's values, read when the plan was
    std::string ApplyFile;           // ... as its path
    std::string Run;                 // a command line for the system's shell; empty: none
    double TimeoutSeconds = 60;
    StepExpectation Expect;
};

using Variables = std::map<std::string, std::string>;

struct TestPlan {
    std::string Path;    // as given on the command line
    std::string Folder;  // the plan's folder, absolute: where its commands run and "apply" files are
    std::string Name;  // the plan's name; the file's stem when it names none
    double TimeoutSeconds = 60;
    Variables Env;
    // [box."SERIAL-OR-PORT".env], in the order of their keys (toml++ keeps
    // a table's keys sorted, not in the file's order).
    std::vector<std::pair<std::string, Variables>> BoxEnv;
    std::vector<PlanStep> Steps;
};

// Reads and checks the plan at path. Raises CliError: exit status 3 when
// the file cannot be read, 2 with "PATH:LINE:COLUMN: what is wrong" for
// anything wrong inside it (a set-up file it names that cannot be read too).
TestPlan ReadTestPlan(const std::string& path);

// The same from text already read; path names it in messages and is the
// folder that "apply" files are relative to.
TestPlan ParseTestPlan(const std::string& text, const std::string& path);
