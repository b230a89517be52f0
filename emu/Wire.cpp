#include "Wire.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// How long a full receive buffer on the other side may hold up a reply
// before its remaining bytes are lost.
constexpr int kWriteStallMs = 200;

}  // namespace

bool Wire::WaitUntil(EmuClock::time_point t) {
    for (;;) {
        if (stopping_) return false;
        const auto left = t - EmuClock::now();
        if (left <= EmuClock::duration::zero()) return true;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        pollfd p{wakeFd_, POLLIN, 0};
        if (::ppoll(&p, 1, &timeout, nullptr) > 0) {
            std::uint64_t count;
            (void)!::read(wakeFd_, &count, sizeof count);
        }
    }
}

EmuClock::time_point Wire::Arrival(EmuClock::time_point readAt) {
    if (!pace_) return readAt;
    rxClock_ = std::max(rxClock_, readAt) + kByteTime;
    return rxClock_;
}

void Wire::Send(const std::vector<std::uint8_t>& bytes, EmuClock::time_point notBefore, int byteDelayMs,
                std::size_t lastTogether) {
    if (bytes.empty() || fd_ < 0) return;
    if (!pace_ && byteDelayMs <= 0) {
        if (!WaitUntil(notBefore)) return;
        WriteNow(bytes.data(), bytes.size());
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
            WriteNow(&bytes[sent], due);
            sent += due;
            continue;
        }
        // A byte is on the other side once its last bit is: send every byte
        // whose time has come in one write, then sleep until the next one.
        if (!WaitUntil(clock + kByteTime * static_cast<long>(due))) return;
        const auto now = EmuClock::now();
        if (byteDelayMs <= 0)
            while (sent + due < unitStart && clock + kByteTime * static_cast<long>(due + 1) <= now) ++due;
        WriteNow(&bytes[sent], due);
        sent += due;
        clock += kByteTime * static_cast<long>(due);
        txClock_ = clock;
    }
}

void Wire::WriteNow(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, kWriteStallMs) > 0 && !(p.revents & (POLLERR | POLLHUP))) continue;
        }
        return;  // lost, as on a line whose receiver does not keep up
    }
}
