#pragma once
// The line on which the service thread speaks the firmware's protocol and the
// boot loader: a pseudo-terminal (POSIX) or a line in memory (every system).
// It carries the service thread's waits as well as its bytes, because what
// the thread can wait on depends on the kind of line: descriptors for poll,
// or the memory line's own condition.

#include "Wire.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class EmulatorLine {
public:
    virtual ~EmulatorLine() = default;

    // Puts up a fresh port (at Start, and when a vanished box comes back) and
    // gives the name a tool opens it by; throws std::runtime_error when it
    // cannot. Only the service thread, or nobody while it does not run,
    // opens and closes.
    virtual std::string Open() = 0;
    // Takes the port away (the box unplugged, or stopped); waits and wakes
    // still work.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Bytes that have come, without waiting; 0 when none (or closed).
    virtual std::size_t Read(std::uint8_t* data, std::size_t max) = 0;
    // How many bytes wait to be read. While a paced line leaves them there
    // until they have crossed the wire, the sender's side can still discard
    // them (a transmit purge), as a real line loses what it has not sent yet.
    virtual std::size_t Waiting() const = 0;
    // Whether the sender has discarded what it had not sent yet (a transmit
    // purge of the device behind a server) since the last call. Bytes still
    // waiting then never reach the box, as on a real line.
    virtual bool TakeSenderPurge() { return false; }
    // Bytes the other side cannot take are lost, as on a real line.
    virtual void Write(const std::uint8_t* data, std::size_t size) = 0;

    // Waits until bytes may have come (or anything else the line watches
    // for the service thread), Wake is called, or the deadline (none: no
    // limit) passes.
    virtual void Wait(std::optional<EmuClock::time_point> deadline) = 0;
    // Sleeps until t unless Wake is called first; input does not end it.
    virtual void Sleep(EmuClock::time_point t) = 0;
    // From any thread: ends the Wait or Sleep under way, or the next one.
    virtual void Wake() = 0;
};
