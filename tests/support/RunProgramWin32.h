#pragma once
// Running a program to its end on Windows, for end-to-end tests.

#include <string>
#include <vector>

struct ProgramRun {
    int ExitCode = -1;  // -1 when it did not end within the limit (it is then ended)
    std::string Out;    // standard output, as bytes
    std::string Err;    // standard error
};

// Which handles a started program inherits: its standard three, or every
// inheritable handle of the test (what a careless starter hands on).
enum class Inheritance { StandardOnly, Everything };

// Program, arguments and paths are UTF-8.
// Runs program with args (each quoted for the command line as needed),
// standard input empty, and waits at most limitMs for its end.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, unsigned limitMs = 120000);

// A program left running while the test looks at it: its standard output
// and error go to files that can be read at any time.
class RunningProgram {
public:
    // ownConsole: a console of its own, which SendCtrlC reaches alone.
    RunningProgram(const std::string& program, const std::vector<std::string>& args, bool ownConsole = false,
                   Inheritance inheritance = Inheritance::StandardOnly);
    ~RunningProgram();  // ends it when it still runs
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    std::string Out() const;
    // What "taskkill" without /F does: a close request posted to every
    // top-level window of the program. The number of windows it went to.
    int PostClose() const;
    // What Windows does at log-off: asks each top-level window whether the
    // session may end, then tells it that it ends.
    void EndSession() const;
    // Ctrl+C at the program's own console (see ownConsole).
    bool SendCtrlC() const;
    // Waits at most limitMs for the end (ExitCode -1: still running).
    ProgramRun Wait(unsigned limitMs);

private:
    struct Files;
    Files* files_;
    void* process_ = nullptr;
    unsigned long id_ = 0;
};

// The folder of this test program, with a trailing backslash.
std::string ProgramFolder();
