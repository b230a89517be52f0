#pragma once
#include <stdexcept>
#include <string>

// Exit statuses that scripts rely on; a bench's results carry them too.
enum BoxExit : int {
    ExitOk = 0,
    ExitDeviceFailed = 1,  // the simulator or the port failed (also: diff found differences)
    ExitUsage = 2,         // wrong command line
    ExitFileFailed = 3,    // a file could not be read or written
};

// Ends what one box was asked to do: the command line prints the message on
// standard error and exits with the status; a bench records both as the
// box's result.
class BoxError : public std::runtime_error {
public:
    // hint: one more line after the message (how to fix it).
    BoxError(int exitStatus, const std::string& message, std::string hint = {})
        : std::runtime_error(message), exitStatus_(exitStatus), hint_(std::move(hint)) {}
    int ExitStatus() const { return exitStatus_; }
    const std::string& Hint() const { return hint_; }

private:
    int exitStatus_;
    std::string hint_;
};
