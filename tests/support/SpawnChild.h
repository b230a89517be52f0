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
