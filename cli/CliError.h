#pragma once
#include <stdexcept>
#include <string>

// Exit statuses that scripts rely on.
enum CliExit : int {
    ExitOk = 0,
    ExitDeviceFailed = 1,  // the simulator or the port failed (also: diff found differences)
    ExitUsage = 2,         // wrong command line
    ExitFileFailed = 3,    // a file could not be read or written
};

// Ends a command: main() prints the message on standard error and exits with
// the status. Nothing already collected for standard output is printed.
class CliError : public std::runtime_error {
public:
    // hint: one more line for standard error, after the message (how to fix it).
    CliError(int exitStatus, const std::string& message, std::string hint = {})
        : std::runtime_error(message), exitStatus_(exitStatus), hint_(std::move(hint)) {}
    int ExitStatus() const { return exitStatus_; }
    const std::string& Hint() const { return hint_; }

private:
    int exitStatus_;
    std::string hint_;
};

// Wrong usage; main() adds a hint to the help.
class UsageError : public CliError {
public:
    explicit UsageError(const std::string& message) : CliError(ExitUsage, message) {}
};
