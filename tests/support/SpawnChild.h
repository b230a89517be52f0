#pragma once
// Starting a program as a child process, for tests and benchmarks.

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// Starts program with args; the env entries are set over this process's
// environment. Standard input reads /dev/null, standard output goes to the
// file outPath and standard error to errPath (to the output file when
// errPath is empty); both files are created or emptied. The child starts
// with default signal handling and nothing blocked, whatever the caller
// does with its own signals. Throws std::runtime_error when it cannot start.
pid_t SpawnChild(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& outPath,
                 const std::string& errPath = "");

// Waits up to timeoutMs for the child pid to end and reaps it. Returns its
// wait status, or -1 when it was still running: it is then killed and reaped,
// so that a hang fails the test instead of holding it.
int WaitForChild(pid_t pid, int timeoutMs);
