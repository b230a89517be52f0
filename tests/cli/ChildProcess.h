#pragma once
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// A program run as a child with its standard output and error on pipes.
class ChildProcess {
public:
    // Starts program with args and the env entries set in its environment.
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env = {});
    ~ChildProcess();  // SIGKILL and reap when still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int sig) const;

    // One line of standard output (without line end), or "" after timeoutMs.
    std::string ReadOutputLine(int timeoutMs);

    struct Result {
        int Status = -1;  // exit status, or 128 + signal
        std::string Out;
        std::string Err;
    };
    // Reads both pipes to their end and reaps the child. Kills it after
    // timeoutMs so that a hanging child fails the test instead of the run.
    // Well inside the test's own time-out, so that the test can still say why.
    Result Wait(int timeoutMs = 30000);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string outBuffer_;
    std::string errBuffer_;
};
