#pragma once
// The bench window's run: its boxes, the termination signals, the message loop.

#include "StartOptions.h"

#include <functional>

class TBenchWindow;

// Shows the bench window and runs the message loop until it has closed (by
// its close button, a termination signal or the system's end-task), every
// box's remote mode left and its port closed. started runs once the window
// is shown. Returns the exit code.
int RunBenchProgram(const TStartOptions& options, const std::function<void(TBenchWindow&)>& started = {});
