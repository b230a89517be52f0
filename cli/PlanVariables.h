#pragma once
// The environment of a step's command: the plan's [env], the box's own
// [box.*.env], and what the run knows about the box (KNSIM_*), in that
// order, each over the one before. And what a scan tool can read of the box,
// which both those variables and a step's expectations go by.

#include "TestPlan.h"

#include "link/SimulatorState.h"

#include <cstdint>
#include <string>
#include <vector>

// Why name cannot be a variable of [env] ("" when it can): an empty name,
// one with '=' or a NUL in it, or one that begins with KNSIM_ (in any case),
// the run's own prefix.
std::string VariableNameProblem(const std::string& name);

// How a [box."KEY"] table names a box: not at all, by its port (the whole
// name or its last part, "ttyUSB0"), or by its serial number.
enum class BoxKeyMatch { None, Port, Serial };
BoxKeyMatch MatchBoxKey(const std::string& key, const std::string& port, const std::string& serial);

// The variables of [box.*.env] for a box: those of the tables that name its
// port first, then those that name its serial number, which win where both
// set one.
Variables BoxVariables(const TestPlan& plan, const std::string& port, const std::string& serial);

// The variables a step's command gets besides those it inherits.
Variables StepVariables(const TestPlan& plan, const PlanStep& step, const Variables& box, const std::string& port,
                        const SimulatorState& state);

// The ECU's active codes in slot order, as a scan tool reads them: none for
// ECU 2 while only one ECU is on, whatever its table holds.
std::vector<std::uint16_t> ReadableCodes(const SimulatorState& state, int ecu);

// "P0301,P0420": the same as text ("" for none).
std::string ActiveCodes(const SimulatorState& state, int ecu);
