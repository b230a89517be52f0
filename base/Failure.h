#pragma once
#include <stdexcept>
#include <string>

// What a failure means for whoever shows it, decided where it arose (the
// serial layer knows its system's error numbers; nobody above it compares
// message texts to find out).
enum class FailureKind {
    Other,
    PermissionDenied,  // the port's device may not be opened by this user
    InUse,             // another program holds the port
    NoDevice,          // no such port (unplugged, renamed)
    LineGone,          // the line hung up under an open port
};

// The program's one failure kind. Its message may be empty: the link's own
// checks (no reply, no "#", no acknowledgement) raise it without text and each
// link operation then shows its own default text instead. A failure of the
// operating system carries the system's error number (errno, GetLastError);
// -1 means none.
class EFailure : public std::runtime_error {
public:
    explicit EFailure(const std::string& message = std::string(), FailureKind kind = FailureKind::Other,
                      int systemError = -1)
        : std::runtime_error(message), kind_(kind), systemError_(systemError) {}
    std::string Message() const { return what(); }
    FailureKind Kind() const { return kind_; }
    int SystemError() const { return systemError_; }

private:
    FailureKind kind_;
    int systemError_;
};

// A text that should have been a number.
class EConvertError : public EFailure {
public:
    using EFailure::EFailure;
};
