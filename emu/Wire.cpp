#include "Wire.h"

#include "EmulatorLine.h"

#include <algorithm>

bool Wire::WaitUntil(EmuClock::time_point t) {
    for (;;) {
        if (stopping_) return false;
        if (EmuClock::now() >= t) return true;
        line_.Sleep(t);
    }
}

EmuClock::time_point Wire::Arrival(EmuClock::time_point readAt) {
    if (!pace_) return readAt;
    rxClock_ = std::max(rxClock_, readAt) + kByteTime;
    return rxClock_;
}

void Wire::Send(const std::vector<std::uint8_t>& bytes, EmuClock::time_point notBefore, int byteDelayMs,
                std::size_t lastTogether) {
    if (bytes.empty() || !line_.IsOpen()) return;
    if (!pace_ && byteDelayMs <= 0) {
        if (!WaitUntil(notBefore)) return;
        line_.Write(bytes.data(), bytes.size());
        return;
    }
    // Bytes from unitStart on go out in one write.
    const std::size_t unitStart = bytes.size() - std::clamp<std::size_t>(lastTogether, 1, bytes.size());
    auto clock = pace_ ? std::max(notBefore, txClock_) : notBefore;
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        std::size_t due = sent >= unitStart ? bytes.size() - sent : 1;
        if (byteDelayMs > 0) {
            clock = std::max(clock, EmuClock::now()) + std::chrono::milliseconds(byteDelayMs);
            if (!WaitUntil(clock)) return;
        }
        if (!pace_) {
            line_.Write(&bytes[sent], due);
            sent += due;
            continue;
        }
        // A byte is on the other side once its last bit is: send every byte
        // whose time has come in one write, then sleep until the next one.
        if (!WaitUntil(clock + kByteTime * static_cast<long>(due))) return;
        const auto now = EmuClock::now();
        if (byteDelayMs <= 0)
            while (sent + due < unitStart && clock + kByteTime * static_cast<long>(due + 1) <= now) ++due;
        line_.Write(&bytes[sent], due);
        sent += due;
        clock += kByteTime * static_cast<long>(due);
        txClock_ = clock;
    }
}
