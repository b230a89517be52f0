#pragma once
#include "BenchReport.h"
#include "CliOptions.h"

#include "link/BenchRun.h"

#include <functional>
#include <string>

// A command on a bench of simulators (--all, or lists after --port or
// --serial): each box on its own thread with its own link, running the very
// command a single run would (RunOnBox). --all and --serial first ask every
// port at once, as the window's search does. Appends one report (a table,
// or a JSON array) to out and returns 0 when every box succeeded, else the
// worst single exit status.
int RunBench(const CliOptions& options, std::string& out);

class BenchProgress;
class CliSession;

// What one box of a bench does on its session: RunOnBox for the commands,
// a test plan's run for "run".
using CliBoxJob = std::function<int(CliSession& session, std::string& out)>;

// The boxes that options name, as RunOnEveryBox of the bench chooses and
// runs them, each with a session of the command line for its port.
std::vector<BoxResult> RunOnEveryBox(const CliOptions& options, BenchProgress& progress, const CliBoxJob& job);
