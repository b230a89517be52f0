#pragma once
#include "BenchReport.h"
#include "CliOptions.h"

#include <functional>

#include <string>

// A command on a bench of simulators (--all, or lists after --port or
// --serial): each box on its own thread with its own link, running the very
// command a single run would (RunOnBox), so that every line sees the bytes
// and time-outs of a single run and one box's failure neither stops nor
// slows the others. --all and --serial first ask every port at once, as the
// window's search does; a port without the wanted simulator is closed and
// left alone after that. Appends one report (a table, or a JSON array) to out
// and returns 0 when every box succeeded, else the worst single exit status.
int RunBench(const CliOptions& options, std::string& out);

class BenchProgress;
class CliSession;

// What one box of a bench does on its session: RunOnBox for the commands,
// a test plan's run for "run". Returns the box's exit status and appends
// what it would print alone to out; raises CliError as a single run would.
using BoxJob = std::function<int(CliSession& session, std::string& out)>;

// The bench's part of RunBench: chooses the boxes as described there, runs
// job on each (on a thread of its own) and stops the progress. The results
// in natural port order, then a failed one for each serial number that no
// port answered with. Raises CliError when no box was found at all.
std::vector<BoxResult> RunOnEveryBox(const CliOptions& options, BenchProgress& progress, const BoxJob& job);
