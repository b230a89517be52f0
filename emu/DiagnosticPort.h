#pragma once
// The diagnostic side's port as the service thread drives it, whatever
// carries it: it takes what the scan tool sent, has each complete line
// answered, and writes the replies when they are due.

#include "ElmAdapter.h"
#include "Wire.h"

#include <functional>
#include <optional>
#include <string>

class DiagnosticPort {
public:
    virtual ~DiagnosticPort() = default;

    virtual std::string Path() const = 0;

    // Answers one line (without its carriage return), under whatever lock
    // the caller's state needs.
    using Answer = std::function<AdapterReply(const std::string& line)>;
    // Without waiting: reads what came, answers line after line, writes
    // what is due. One request at a time, as the adapter does: the next
    // line is looked at once the reply to the one before has left.
    virtual void Serve(const Answer& answer) = 0;
    // When bytes wait to leave, the time the next of them is due.
    virtual std::optional<EmuClock::time_point> NextDue() const = 0;
};
