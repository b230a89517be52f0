#pragma once
// A step's command: run through the system's shell (/bin/sh -c on Linux,
// cmd /c on Windows) as a tree of processes that can be ended as a whole (a
// keeper process that is the subreaper of the tree, a job object), with its
// output caught in files. The system
// calls are in StepProcessPosix.cpp and StepProcessWin32.cpp.

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct CommandRun {
    bool Started = false;
    std::string StartFailure;  // why it could not start
    int ExitStatus = -1;       // its exit status; ended by signal N (POSIX): 128 + N
    bool TimedOut = false;     // ended by the run after the time-out
    bool Interrupted = false;  // ended by the run after SIGINT or SIGTERM
    std::string Out;           // standard output and error, each cut to
    std::string Err;           // OutputLimit with a note (CutOutput)
    // Processes of the command that could not be ended (Linux: one that may
    // not be signalled, or still there after SIGKILL), one line each:
    // "could not end 4242 sleep: Operation not permitted".
    std::vector<std::string> NotEnded;
};

// Runs commandLine with this process's environment plus vars (each over an
// inherited one of that name), standard input empty, in folder (the current
// one when empty). Past timeoutSeconds, or when SIGINT or SIGTERM arrives,
// everything the command started is ended, whatever process group or
// session it made for itself; so is whatever it left running when it ended.
// On Linux each is asked to end (SIGTERM) once and killed after EndGraceMs;
// one that cannot be ended is named in NotEnded and left, so the run never
// waits on it. A Windows job ends its processes at once. Every text is UTF-8 (on Windows it
// is handed over as such, whatever the code page).
CommandRun RunStepCommand(const std::string& commandLine, const std::map<std::string, std::string>& vars,
                          const std::string& folder, double timeoutSeconds);

// How much of each output is kept: the first and the last half.
constexpr std::size_t OutputLimit = 64 * 1024;

// Gives what to keep of an output of size bytes, whose pieces read(offset,
// length) returns: all of it up to OutputLimit; else its first and last half
// of the limit, cut between characters (UTF-8), around a note that says how
// much was left out.
using ReadPiece = std::function<std::string(std::size_t offset, std::size_t length)>;
std::string CutOutput(std::size_t size, const ReadPiece& read);
std::string CutOutputText(const std::string& text);  // the same from text in memory

// How long the tree is given to end after being asked, before it is killed (Linux).
constexpr int EndGraceMs = 2000;
