#pragma once
// The emulator's side of the line: interruptible waits, and writes that can
// be held to the speed of a 115200-baud line or slowed down byte by byte.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

using EmuClock = std::chrono::steady_clock;

// One byte on an 8N1 line at 115200 baud: ten bits, 86.8 microseconds.
inline constexpr auto kByteTime = std::chrono::nanoseconds(86806);

class EmulatorLine;

class Wire {
public:
    // line: where the bytes go, and whose Sleep a Wake of the owner ends
    // when it must look at its requests; stopping tells whether one of them
    // is to stop.
    Wire(EmulatorLine& line, const std::atomic<bool>& stopping) : line_(line), stopping_(stopping) {}

    void SetPace(bool pace) { pace_ = pace; }
    bool Paced() const { return pace_; }

    // Sleeps until t; false when the emulator is stopping. A wake-up for any
    // other request is consumed; the owner looks at its flags afterwards.
    bool WaitUntil(EmuClock::time_point t);

    // The time at which a byte that has just been read would have been fully
    // received over the paced line (now, when not pacing).
    EmuClock::time_point Arrival(EmuClock::time_point readAt);

    // Sends bytes, not before notBefore. Paced, each byte leaves no sooner
    // than one byte time after the one before; byteDelayMs adds a pause
    // before every byte. The last lastTogether bytes (a reply's carriage
    // return and line feed) leave in one write once the last of them is due,
    // with one pause before them: the simulator sits behind a USB adapter
    // that hands a burst's tail over in one packet, and a tool that purges
    // right after the carriage return must not find the line feed at the
    // head of its next reply. Bytes the other side cannot take are dropped,
    // as a real line would lose them; so are bytes while the port is away.
    void Send(const std::vector<std::uint8_t>& bytes, EmuClock::time_point notBefore, int byteDelayMs,
              std::size_t lastTogether = 1);

private:
    EmulatorLine& line_;
    const std::atomic<bool>& stopping_;
    bool pace_ = false;
    EmuClock::time_point rxClock_{};
    EmuClock::time_point txClock_{};
};
