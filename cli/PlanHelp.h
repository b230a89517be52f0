#pragma once
#include <string>

// The help of the run command: the plan file's keys, the steps, the reports.
const char* PlanHelp();
