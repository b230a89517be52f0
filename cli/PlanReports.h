#pragma once
// The reports of a test plan's run: the table on standard output, the JSON
// document (--json) and the JUnit XML file (--junit) that CI servers read.

#include "PlanResults.h"
#include "TestPlan.h"

#include <string>
#include <vector>

// One row per step and box (port, serial number, step, result, seconds and
// the first line of the reason), columns aligned, then a line of totals.
std::string PlanTable(const std::vector<BoxPlanRun>& boxes);

// An array with one object per box: "port", "serial", "firmware", "result"
// (passed, failed, error), "started", "seconds" and "steps": [{"name",
// "result", "seconds", "exit_status", "reasons"}].
std::string PlanJson(const std::vector<BoxPlanRun>& boxes);

// <testsuites> with one <testsuite> per box, one <testcase> per step.
std::string PlanJUnit(const TestPlan& plan, const std::vector<BoxPlanRun>& boxes, const std::string& hostName);

// A run that has no box's results to report: it has not finished yet (the
// report put in place before any box is touched, which a run killed hard
// leaves behind), or it ended before any box ran its plan (the plan is
// wrong, no box answered, interrupted during the search).
struct RunError {
    std::string Kind;     // "unfinished", "plan", "no-box", "interrupted"
    std::string Message;  // one line
    std::string Started;  // local time, "2024-05-01T14:03:12"
};

// The same form with one <testcase> "run" that is an <error>, so that a CI
// server shows the run red, never an older run's result.
std::string RunErrorJUnit(const std::string& planName, const RunError& error, const std::string& hostName);

// "passed", "failed" or "error": the worst of the box's steps (skipped
// steps follow an error, or an interrupt, which counts as an error).
std::string BoxOutcome(const BoxPlanRun& box);

// Seconds with three decimals, "1.250".
std::string SecondsField(double seconds);
