#pragma once
#include "CliOptions.h"

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
