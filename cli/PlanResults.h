#pragma once
// What a test plan's run found on each box, for the reports.

#include <optional>
#include <string>
#include <vector>

enum class StepOutcome { Passed, Failed, Error, Skipped };

// "passed", "failed", "error", "skipped".
const char* OutcomeWord(StepOutcome outcome);

struct StepResult {
    std::string Name;
    StepOutcome Outcome = StepOutcome::Skipped;
    double Seconds = 0;
    // Why it did not pass, one line each: the command's exit status or
    // time-out, each unmet expectation ("codes: expected 0, seen 2"), the
    // box's failure, or why it was skipped.
    std::vector<std::string> Reasons;
    // What kind of failure: "exit-status", "timeout", "expectation" (the
    // first reason's), "box" for an error, "interrupted".
    std::string Kind;
    std::optional<int> ExitStatus;  // when the command ran to its end
    std::string Out;                // the command's output, as kept
    std::string Err;
};

// Now in local time, as the reports give it: "2024-05-01T14:03:12".
std::string ReportTimestamp();

struct BoxPlanRun {
    std::string Port;
    std::string Serial;    // empty while unknown
    std::string Firmware;  // the installed version, "v1.2.0"; empty while unknown
    std::string Started;   // local time, "2024-05-01T14:03:12"
    double Seconds = 0;
    std::vector<StepResult> Steps;

    int Count(StepOutcome outcome) const;
    // 0 when every step passed, 1 when any failed or erred.
    int ExitStatus() const;
};
