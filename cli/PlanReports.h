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

// "passed", "failed" or "error": the worst of the box's steps (skipped
// steps follow an error, or an interrupt, which counts as an error).
std::string BoxOutcome(const BoxPlanRun& box);

// Seconds with three decimals, "1.250".
std::string SecondsField(double seconds);
