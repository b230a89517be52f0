#pragma once
// Running a program to its end on Windows, for end-to-end tests.

#include <string>
#include <vector>

struct ProgramRun {
    int ExitCode = -1;  // -1 when it did not end within the limit (it is then ended)
    std::string Out;    // standard output, as bytes
    std::string Err;    // standard error
};

// Runs program with args (each quoted for the command line as needed),
// standard input empty, and waits at most limitMs for its end.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, unsigned limitMs = 120000);

// The folder of this test program, with a trailing backslash.
std::string ProgramFolder();
