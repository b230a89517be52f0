#include "ComThread.h"

#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <system_error>

namespace {

// While received bytes sit unread, poll would report the line readable again
// at once; the watcher stops asking and looks at the input count this often
// instead, so a byte left in the queue costs a few cheap wake-ups, not a core.
constexpr int kRxRecheckMs = 40;
// Drivers report modem-line changes and line errors only through counters
// and status reads that poll cannot wait for; they are looked at this often.
constexpr int kLineCheckMs = 100;
// A hung-up line stays readable for poll forever; after reporting it once the
// watcher only looks now and then whether it has come back.
constexpr int kHangUpRecheckMs = 250;

constexpr TComEvents Bit(TComEvent e) { return ComEventBit(e); }

bool ReadCounts(int fd, serial_icounter_struct& ic) {
    std::memset(&ic, 0, sizeof ic);
    return ioctl(fd, TIOCGICOUNT, &ic) == 0;
}

}  // namespace

TComThread::TComThread(WatchedLine line, TComEvents events, std::function<void()> onQueued, int inputSize,
                       Dispatch dispatch)
    : dispatch_(std::move(dispatch)),
      fd_(line.Handle),
      events_(events),
      pseudoTerminal_(line.PseudoTerminal),
      onQueued_(std::move(onQueued)),
      rx80Threshold_(inputSize > 0 ? std::max(1, inputSize / 10 * 8) : 1 << 30) {
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

TComThread::~TComThread() {
    AbandonWatcher();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void TComThread::Wake() {
    const std::uint64_t one = 1;
    (void)!write(wakeFd_, &one, sizeof one);
}

void TComThread::Transmitted() {
    transmitted_ = true;
    // A watcher that waits for its owner is not woken (a transfer writes a
    // frame every few milliseconds): it looks at the notice before it waits
    // on the line again.
    if (!waitingForOwner_) Wake();
}

void TComThread::Consumed(int remaining) {
    // No wake-up: while bytes sit unread the watcher looks at the queue every
    // few milliseconds anyway, and while it waits for the first byte the level
    // it counts from is already 0.
    int seen = consumedTo_.load();
    while ((seen < 0 || remaining < seen) && !consumedTo_.compare_exchange_weak(seen, remaining)) {
    }
}

void TComThread::Run() {
    const bool watchRx = (events_ & (Bit(evRxChar) | Bit(evRx80Full))) != 0;
    const TComEvents lineEvents =
        Bit(evError) | Bit(evBreak) | Bit(evRing) | Bit(evCTS) | Bit(evDSR) | Bit(evRLSD);
    // A pseudo-terminal has neither modem lines nor line error counters.
    bool lineChecks = !pseudoTerminal_ && (events_ & lineEvents) != 0;
    serial_icounter_struct counts;
    const bool haveCounts = lineChecks && ReadCounts(fd_, counts);
    int modem = 0;
    const bool haveModem = lineChecks && ioctl(fd_, TIOCMGET, &modem) == 0;
    lineChecks = haveCounts || haveModem;

    bool rxArmed = true;  // waiting for POLLIN; otherwise comparing counts
    int lastCount = 0;
    bool hungUp = false;

    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }
        pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {hungUp ? -1 : fd_, 0, 0}};
        if (watchRx && rxArmed) fds[1].events = POLLIN;
        int timeout = -1;
        if (hungUp) {
            timeout = kHangUpRecheckMs;
        } else {
            if (watchRx && !rxArmed) timeout = kRxRecheckMs;
            if (lineChecks) timeout = timeout < 0 ? kLineCheckMs : std::min(timeout, kLineCheckMs);
        }
        if (transmitted_) timeout = 0;  // noticed while this watcher waited for its owner
        const int ready = poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno != EINTR) {
                // Should not happen; never turn it into a busy loop.
                pollfd wake{wakeFd_, POLLIN, 0};
                (void)poll(&wake, 1, kHangUpRecheckMs);
            }
            continue;
        }
        if (fds[0].revents & POLLIN) {
            std::uint64_t value;
            (void)!read(wakeFd_, &value, sizeof value);
        }
        {
            std::lock_guard lock(mutex_);
            if (stopping_) break;
        }

        TComEvents set = 0;
        if (transmitted_.exchange(false)) set |= Bit(evTxEmpty);

        bool justHungUp = false;
        if (hungUp) {
            if (ready == 0) {
                pollfd probe{fd_, 0, 0};
                if (poll(&probe, 1, 0) == 0 || !(probe.revents & (POLLHUP | POLLERR))) hungUp = false;
            }
        } else if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // The other side went away (adapter pulled, pseudo-terminal closed).
            hungUp = justHungUp = true;
            set |= Bit(evError);
        }

        if (watchRx && (!hungUp || justHungUp)) {
            const bool readable = rxArmed && (fds[1].revents & POLLIN) != 0;
            bool look = readable || !rxArmed;
            // Bytes the owner read or purged since the last look: a new arrival
            // must count from what it left, or a reply no longer than the
            // unread rest it replaced would go unreported.
            const int left = consumedTo_.exchange(-1);
            if (left >= 0 && left < lastCount) {
                lastCount = left;
                look = true;
            }
            if (look) {
                int count = 0;
                if (ioctl(fd_, FIONREAD, &count) != 0) count = 0;
                if (count > lastCount) {
                    set |= Bit(evRxChar);
                    if (count >= rx80Threshold_ && lastCount < rx80Threshold_) set |= Bit(evRx80Full);
                }
                // After a readable report, stop waiting for POLLIN until the
                // queue has been seen empty again (read or purged by the owner).
                rxArmed = readable ? false : count == 0;
                lastCount = count;
            }
        }

        if (lineChecks && !hungUp) {
            serial_icounter_struct now;
            if (haveCounts && ReadCounts(fd_, now)) {
                if (now.frame != counts.frame || now.parity != counts.parity ||
                    now.overrun != counts.overrun || now.buf_overrun != counts.buf_overrun)
                    set |= Bit(evError);
                if (now.brk != counts.brk) set |= Bit(evBreak);
                if (now.rng != counts.rng) set |= Bit(evRing);
                if (now.cts != counts.cts) set |= Bit(evCTS);
                if (now.dsr != counts.dsr) set |= Bit(evDSR);
                if (now.dcd != counts.dcd) set |= Bit(evRLSD);
                counts = now;
            }
            // Not every driver counts modem-line changes; compare the lines too.
            int bits = 0;
            if (haveModem && ioctl(fd_, TIOCMGET, &bits) == 0) {
                const int changed = bits ^ modem;
                if (changed & TIOCM_CTS) set |= Bit(evCTS);
                if (changed & TIOCM_DSR) set |= Bit(evDSR);
                if (changed & TIOCM_CAR) set |= Bit(evRLSD);
                if ((changed & TIOCM_RNG) && (bits & TIOCM_RNG)) set |= Bit(evRing);
                modem = bits;
            }
        }

        set &= events_;
        if (set != 0) HandOver(set);
    }

    // Leave the queues empty for whoever opens the line next; on a
    // pseudo-terminal an output flush would discard what the other side has
    // not read yet.
    (void)tcflush(fd_, TCIFLUSH);
    if (!pseudoTerminal_) (void)tcflush(fd_, TCOFLUSH);
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    changed_.notify_all();
}
