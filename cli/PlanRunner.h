#pragma once
#include "PlanResults.h"
#include "TestPlan.h"

#include "link/SimulatorState.h"

class CliSession;

// Runs the plan's steps in order on the session's simulator, which stays
// connected and in remote mode throughout (left at the session's end). Each
// step: its set-up with the lines set-protocol then set-codes, or apply,
// would send; its command with the step's environment; the read-back and the
// comparison with its expectations. A failing simulator is the step's error
// and skips the rest; SIGINT or SIGTERM ends the command that runs, and the
// step it arrived in (or the first not begun) is an error of kind
// "interrupted", the rest skipped. Never raises: any failure inside a step
// is that step's error.
BoxPlanRun RunPlanOnBox(const TestPlan& plan, CliSession& session);

// The unmet expectations, one line each ("mil: expected off, seen on").
std::vector<std::string> UnmetExpectations(const StepExpectation& expect, const SimulatorState& state);
