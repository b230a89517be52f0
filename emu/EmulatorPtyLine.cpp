#include "EmulatorPtyLine.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// How long a full receive buffer on the other side may hold up a reply
// before its remaining bytes are lost.
constexpr int kWriteStallMs = 200;
// The most bytes of the line one read takes.
constexpr std::size_t kReadPacket = 4096;
// The longest single poll; a later deadline is simply waited for again.
constexpr long long kLongestPollMs = 60000;

}  // namespace

EmulatorPtyLine::EmulatorPtyLine(std::string linkPath) : linkPath_(std::move(linkPath)) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
}

EmulatorPtyLine::~EmulatorPtyLine() {
    Close();
    ::close(wakeFd_);
}

std::string EmulatorPtyLine::Open() {
    auto fresh = std::make_unique<EmulatorPty>();
    if (!linkPath_.empty()) {
        PointLink(linkPath_, fresh->SlavePath());
        linkTarget_ = fresh->SlavePath();
    }
    pty_ = std::move(fresh);
    // Packet mode: every read of the master starts with a status byte, and a
    // transmit purge on the port's side (tcflush TCOFLUSH, which a
    // pseudo-terminal otherwise ignores) is reported through it.
    int on = 1;
    (void)::ioctl(pty_->Master(), TIOCPKT, &on);
    return pty_->SlavePath();
}

void EmulatorPtyLine::Close() {
    if (!linkTarget_.empty()) RemoveLink(linkPath_, linkTarget_);
    linkTarget_.clear();
    pty_.reset();
}

std::size_t EmulatorPtyLine::Read(std::uint8_t* data, std::size_t max) {
    if (!pty_ || max == 0) return 0;
    // Every read is one packet: the status byte, then up to max bytes.
    std::array<std::uint8_t, kReadPacket + 1> packet;
    const ssize_t n = ::read(pty_->Master(), packet.data(), std::min(max, kReadPacket) + 1);
    if (n <= 0) return 0;
    if (packet[0] != TIOCPKT_DATA) {
        // A status packet alone: only a purge of what the port sends matters.
        if (packet[0] & TIOCPKT_FLUSHWRITE) senderPurged_ = true;
        return 0;
    }
    std::copy(packet.begin() + 1, packet.begin() + n, data);
    return static_cast<std::size_t>(n - 1);
}

bool EmulatorPtyLine::TakeSenderPurge() {
    // A pending status (POLLPRI) is read before any data: a one-byte read
    // then takes the status packet alone and no byte of the line.
    if (pty_) {
        std::uint8_t unused;
        pollfd p{pty_->Master(), POLLPRI, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & POLLPRI)) (void)Read(&unused, 1);
    }
    return std::exchange(senderPurged_, false);
}

std::size_t EmulatorPtyLine::Waiting() const {
    int count = 0;
    if (!pty_ || ::ioctl(pty_->Master(), FIONREAD, &count) != 0 || count < 0) return 0;
    return static_cast<std::size_t>(count);
}

void EmulatorPtyLine::Write(const std::uint8_t* data, std::size_t size) {
    if (!pty_) return;
    const int fd = pty_->Master();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, kWriteStallMs) > 0 && !(p.revents & (POLLERR | POLLHUP))) continue;
        }
        return;  // lost, as on a line whose receiver does not keep up
    }
}

void EmulatorPtyLine::Wait(std::optional<EmuClock::time_point> deadline) {
    int timeoutMs = -1;
    if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - EmuClock::now()).count();
        timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, kLongestPollMs));
    }
    std::vector<pollfd> fds{{wakeFd_, POLLIN, 0},
                            {pty_ ? pty_->Master() : -1, POLLIN, 0},
                            {pty_ ? pty_->OpenWatch() : -1, POLLIN, 0}};
    for (int fd : alsoWatch_) fds.push_back({fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeoutMs) <= 0) return;
    if (fds[0].revents & POLLIN) DrainWake();
    if ((fds[2].revents & POLLIN) && pty_->DrainWatch()) pty_->ClearExclusive();
    if (!(fds[1].revents & POLLIN) && (fds[1].revents & (POLLHUP | POLLERR))) {
        // Cannot happen while our own slave descriptor is open; do not spin
        // on it if a kernel reports it anyway.
        Sleep(EmuClock::now() + std::chrono::milliseconds(20));
    }
}

void EmulatorPtyLine::Sleep(EmuClock::time_point t) {
    const auto left = t - EmuClock::now();
    if (left <= EmuClock::duration::zero()) return;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    pollfd p{wakeFd_, POLLIN, 0};
    if (::ppoll(&p, 1, &timeout, nullptr) > 0) DrainWake();
}

void EmulatorPtyLine::Wake() {
    const std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

void EmulatorPtyLine::DrainWake() {
    std::uint64_t count;
    (void)!::read(wakeFd_, &count, sizeof count);
}
