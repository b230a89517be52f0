#pragma once
// Programs run as child processes, for tests and benchmarks: the launcher,
// the emulated simulator (knsim-emu) and the command line as children.

#include "TestFiles.h"

#include <sys/types.h>

#include <cstddef>
#include <map>
#include <memory>
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

// Waits up to timeoutMs for the child pid (one forked by the test itself) to
// end and reaps it. Returns its wait status, or -1 when it was still running:
// it is then killed and reaped, so that a hang fails the test instead of
// holding it.
int WaitForChild(pid_t pid, int timeoutMs);

// A program run as a child, its standard output and error going to files
// that can be read while it runs.
class Child {
public:
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::map<std::string, std::string>& env = {});
    ~Child();  // SIGKILL and reap when still running
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t Pid() const { return pid_; }
    bool Running();
    void Signal(int sig);

    // Standard output so far, without the lines ReadOutputLine took.
    std::string Out() const;
    std::string Err() const { return ReadFile(errPath_); }
    // The next line of standard output (without its line end), or "" when
    // none is complete within timeoutMs.
    std::string ReadOutputLine(int timeoutMs);

    struct Result {
        int Status = -1;        // exit status, or 128 + signal
        bool TimedOut = false;  // killed because it did not end in time
        std::string Out;
        std::string Err;
    };
    // Waits for the end; a child still running after timeoutMs is killed,
    // so that a hang fails the test instead of the run. Well inside the
    // test's own time-out, so that the test can still say why.
    Result Wait(int timeoutMs = 30000);

private:
    bool Reap(bool block);
    pid_t pid_ = -1;
    int status_ = -1;
    TempFolder folder_;
    std::string outPath_;
    std::string errPath_;
    std::size_t outTaken_ = 0;
};

// knsim-emu as a child on its own pseudo-terminal, logging every command and
// boot-loader event it sees to a file. It is asked to end (SIGTERM) when the
// object goes, so that it removes its link.
class EmulatorChild {
public:
    explicit EmulatorChild(std::vector<std::string> args = {});
    ~EmulatorChild();
    EmulatorChild(const EmulatorChild&) = delete;
    EmulatorChild& operator=(const EmulatorChild&) = delete;

    // The port the tool opens (the pseudo-terminal, or the --link path when given).
    const std::string& Port() const { return port_; }
    // Every log entry: commands ("!I", "!P83") and boot-loader events.
    std::vector<std::string> Log() const;
    // Only the commands to the firmware.
    std::vector<std::string> Commands() const;
    std::size_t Count(const std::string& entry) const;
    bool WaitForLog(const std::string& entry, int timeoutMs, std::size_t times = 1) const;
    bool HasLogPrefix(const std::string& prefix) const;
    void ClearLog() const;
    void PressReset();  // SIGUSR1: the simulator's reset button
    // The simulator is unplugged: the process dies and its port hangs up.
    void Kill();
    Child& Process() { return *process_; }

private:
    TempFolder folder_;
    std::string logPath_;
    std::unique_ptr<Child> process_;
    std::string port_;
};

// knsimtool-cli with args. The port list is always replaced (by ports, when
// given, else by a name that exists nowhere), so that no test can reach the
// machine's own ports.
Child::Result RunCli(const std::vector<std::string>& args, const std::string& ports = "", int timeoutMs = 30000);
