#pragma once
#include <stdexcept>
#include <string>

// The program's one failure kind. Its message may be empty: the link's own
// checks (no reply, no "#", no acknowledgement) raise it without text and each
// link operation then shows its own default text instead.
class EFailure : public std::runtime_error {
public:
    explicit EFailure(const std::string& message = std::string()) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// A text that should have been a number.
class EConvertError : public EFailure {
public:
    using EFailure::EFailure;
};
