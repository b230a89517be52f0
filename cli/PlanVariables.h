#pragma once
// The environment of a step's command: the plan's [env], the box's own
// [box.*.env], and what the run knows about the box (KNSIM_*), in that
// order, each over the one before.

#include "TestPlan.h"

#include "link/SimulatorState.h"

#include <string>

// Why name cannot be a variable of [env] ("" when it can): an empty name,
// one with '=' or a NUL in it, or one of the KNSIM_* names the run sets.
std::string VariableNameProblem(const std::string& name);

// The variables a step's command gets besides those it inherits.
Variables StepVariables(const TestPlan& plan, const PlanStep& step, const Variables& box, const std::string& port,
                        const SimulatorState& state);

// "P0301,P0420": the ECU's active codes in slot order ("" for none).
std::string ActiveCodes(const SimulatorState& state, int ecu);
