// TCustomComPort on POSIX termios: the device handle, line settings,
// time-outs, reads, writes, purges and status queries.
#include "ComPort.h"

#include "ComThread.h"
#include "ArbitraryBaudRate.h"
#include "PollDeadline.h"
#include "PortPermission.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

// Device numbers of pseudo-terminal slaves: Unix98 (136-143) and the old BSD kind (3).
bool IsPtySlave(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned int m = major(st.st_rdev);
    return (m >= 136 && m <= 143) || m == 3;
}

speed_t SpeedConstant(int rate) {
    switch (rate) {
    case 110: return B110;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 921600: return B921600;
    default: return B0;  // no constant: set through the driver's arbitrary-rate call
    }
}

// A deadline that many milliseconds from now; an absurdly long one (beyond
// what the clock can hold) means "no limit".
std::optional<Clock::time_point> DeadlineIn(std::uint64_t ms) {
    constexpr std::uint64_t kNoLimit = 1ull << 40;  // about 35 years
    if (ms >= kNoLimit) return std::nullopt;
    return Clock::now() + std::chrono::milliseconds(ms);
}

bool ReadLineErrorCounts(int fd, serial_icounter_struct& ic) {
    std::memset(&ic, 0, sizeof ic);
    return ioctl(fd, TIOCGICOUNT, &ic) == 0;
}

}  // namespace

void TCustomComPort::DeviceCreateHandle() {
    if (port_.empty()) throw EComPort(CError_OpenFailed, ENOENT);
    // "ttyUSB0" names a device under /dev; a full path (a pseudo-terminal, a
    // symbolic link) is taken as it stands.
    const std::string path = PortDevicePath(port_);
    // The lock files of other serial programs come first: opening a real
    // port already raises its modem lines under the program that holds it.
    if (const int busy = lockFile_.Take(path)) throw EComPort(CError_OpenFailed, busy);
    // O_NOCTTY: the line must never become our controlling terminal.
    // O_NONBLOCK: every wait goes through poll with a deadline.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        lockFile_.Release();
        throw EComPort(CError_OpenFailed, error);
    }
    auto fail = [this, fd](int error) {
        close(fd);
        lockFile_.Release();
        throw EComPort(CError_OpenFailed, error);
    };
    // Refuse whatever is not a terminal (a regular file, /dev/null).
    if (!isatty(fd)) fail(ENOTTY);
    // TIOCEXCL keeps other openers out, but not one running as root; the lock
    // does, and it also catches a second open from this same process.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) fail(errno);
    (void)ioctl(fd, TIOCEXCL);
    fd_ = fd;
    isPty_ = IsPtySlave(fd);
    // Errors the line saw before this open are not ours to report.
    lineErrorBase_ = {};
    serial_icounter_struct ic;
    if (!isPty_ && ReadLineErrorCounts(fd, ic))
        lineErrorBase_ = {ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun};
}

void TCustomComPort::DeviceDestroyHandle() {
    if (fd_ < 0) return;
    // A real port waits in close() until its transmitter has emptied, for up
    // to half a minute when flow control holds it; drop what is left instead.
    if (!isPty_) (void)tcflush(fd_, TCOFLUSH);
    // The exclusive flag would otherwise outlive us on a pseudo-terminal whose
    // other side stays open, and lock out the next opener.
    (void)ioctl(fd_, TIOCNXCL);
    // The lock file goes first: once the descriptor is closed, a
    // pseudo-terminal's number can be handed to the next opener at once,
    // and our file must not make that new line look taken.
    lockFile_.Release();
    close(fd_);  // also releases the flock
    fd_ = -1;
    isPty_ = false;
}

void TCustomComPort::DeviceApplyBuffer() {
    // Linux sizes its tty queues itself; there is nothing to hand over. Only
    // make sure the handle is still usable.
    if (fcntl(fd_, F_GETFD) < 0) throw EComPort(CError_SetupComFailed, errno);
}

void TCustomComPort::DeviceApplyDCB() {
    termios tio {};
    if (tcgetattr(fd_, &tio) != 0) throw EComPort(CError_SetStateFailed, errno);

    // Raw binary line, built afresh from the properties. Break conditions are
    // counted by the driver, not delivered as zero bytes.
    tio.c_iflag = IGNBRK;
    if (parity_.Check()) {
        // Parity is checked; a byte that fails reads as a zero byte (the
        // driver cannot substitute another replacement character).
        tio.c_iflag |= INPCK;
    }
    if (flowControl_.XonXoffOut()) tio.c_iflag |= IXON;
    if (flowControl_.XonXoffIn()) tio.c_iflag |= IXOFF;
    tio.c_oflag = 0;
    tio.c_lflag = 0;

    tcflag_t cflag = CREAD | CLOCAL;  // modem lines do not gate reading
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    cflag |= kSizes[dataBits_];
    switch (parity_.Bits()) {
    case prNone: break;
    case prOdd: cflag |= PARENB | PARODD; break;
    case prEven: cflag |= PARENB; break;
    case prMark: cflag |= PARENB | CMSPAR | PARODD; break;
    case prSpace: cflag |= PARENB | CMSPAR; break;
    }
    // A UART sends one and a half stop bits for "two" at five data bits.
    if (stopBits_ != sbOneStopBit) cflag |= CSTOPB;
    if (flowControl_.OutCTSFlow() || flowControl_.ControlRTS() == rtsHandshake) cflag |= CRTSCTS;
    tio.c_cflag = cflag;

    std::fill(std::begin(tio.c_cc), std::end(tio.c_cc), 0);
    tio.c_cc[VSTART] = flowControl_.XonChar();
    tio.c_cc[VSTOP] = flowControl_.XoffChar();
    // VMIN 1: a non-blocking read of an empty queue then fails with EAGAIN,
    // so that a read of 0 bytes can only mean a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    const int rate = baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_);
    if (rate <= 0) throw EComPort(CError_SetStateFailed, EINVAL);
    const speed_t constant = SpeedConstant(rate);
    if (constant != B0) {
        cfsetispeed(&tio, constant);
        cfsetospeed(&tio, constant);
    }
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) throw EComPort(CError_SetStateFailed, errno);
    if (constant == B0) {
        const int error = SetArbitraryBaudRate(fd_, rate);
        if (error != 0) throw EComPort(CError_SetStateFailed, error);
    }

    // DTR and RTS where the driver has modem lines (a pseudo-terminal has
    // none). Handshake and toggle modes are left to the driver's flow control.
    if (!isPty_) {
        auto setLine = [this](int bit, bool on) {
            (void)ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);  // some adapters lack the line
        };
        if (flowControl_.ControlDTR() != dtrHandshake)
            setLine(TIOCM_DTR, flowControl_.ControlDTR() == dtrEnable);
        if (flowControl_.ControlRTS() == rtsDisable || flowControl_.ControlRTS() == rtsEnable)
            setLine(TIOCM_RTS, flowControl_.ControlRTS() == rtsEnable);
    }
}

void TCustomComPort::DeviceApplyTimeouts() {
    // The time-outs are kept by ReadText and WriteText themselves; the driver
    // holds none. Only make sure the handle is still usable.
    if (fcntl(fd_, F_GETFD) < 0) throw EComPort(CError_SetTimeoutsFailed, errno);
}

void TCustomComPort::DevicePurge(bool input, bool output) {
    if (fd_ < 0) return;
    if (input) {
        (void)tcflush(fd_, TCIFLUSH);
        if (thread_) thread_->NotifyConsumed(0);
    }
    // On a pseudo-terminal nothing is waiting to be sent after a drained
    // write: TCOFLUSH there discards bytes that the other side has not read
    // yet (a reply written just before the purge would be lost), so skip it.
    if (output && !isPty_) (void)tcflush(fd_, TCOFLUSH);
}

int TCustomComPort::DeviceWrite(const std::string& text) {
    if (text.empty()) return 0;
    if (fd_ < 0) throw EComPort(CError_WriteFailed, EBADF);
    const auto multiplier = static_cast<std::uint32_t>(timeouts_.WriteTotalMultiplier());
    const auto constant = static_cast<std::uint32_t>(timeouts_.WriteTotalConstant());
    std::optional<Clock::time_point> deadline;
    if (multiplier != 0 || constant != 0)
        deadline = DeadlineIn(std::uint64_t{multiplier} * text.size() + constant);

    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd_, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw EComPort(CError_WriteFailed, errno);
        // The driver's queue is full: wait for room until the write time-out.
        const PollResult r = PollUntil(fd_, POLLOUT, deadline);
        if (r.error != 0) throw EComPort(CError_WriteFailed, r.error);
        if (r.timedOut) break;  // fewer bytes sent is no failure
        if (!(r.revents & POLLOUT) && (r.revents & (POLLHUP | POLLERR | POLLNVAL)))
            throw EComPort(CError_WriteFailed, EIO);
    }

    // Wait until the driver has sent everything. A pseudo-terminal has no
    // transmitter: once written, the bytes are the other side's. tcdrain has
    // no limit, so with a write time-out watch the output queue run empty first.
    bool drained = isPty_ || !deadline;
    while (deadline && !isPty_) {
        int queued = 0;
        if (ioctl(fd_, TIOCOUTQ, &queued) != 0) {
            drained = true;  // the driver cannot tell: leave it to tcdrain
            break;
        }
        if (queued == 0) {
            drained = true;
            break;
        }
        const auto now = Clock::now();
        if (now >= *deadline) break;
        const auto step = std::min<Clock::duration>(*deadline - now, std::chrono::milliseconds(5));
        std::this_thread::sleep_for(step);
    }
    if (drained && !isPty_) {
        while (tcdrain(fd_) != 0) {
            if (errno != EINTR) throw EComPort(CError_WriteFailed, errno);
        }
    }
    // Only a write that went out whole has emptied the transmit queue.
    if (thread_ && drained && done == text.size()) thread_->NotifyTransmitted();
    return static_cast<int>(done);
}

std::string TCustomComPort::DeviceRead(int count) {
    if (fd_ < 0) throw EComPort(CError_ReadFailed, EBADF);
    if (count <= 0) return {};
    const auto interval = static_cast<std::uint32_t>(timeouts_.ReadInterval());
    const auto multiplier = static_cast<std::uint32_t>(timeouts_.ReadTotalMultiplier());
    const auto constant = static_cast<std::uint32_t>(timeouts_.ReadTotalConstant());

    // The time-out meanings of the serial drivers this program was made for:
    //  - interval all-ones, total 0 and 0: what is there, at once;
    //  - interval and multiplier all-ones, a constant in between: what is
    //    there, else the first byte to arrive, else nothing after the constant;
    //  - otherwise a total of multiplier x count + constant (none when both
    //    are 0) and, after the first byte, at most the interval between bytes.
    bool firstArrivalEnds = false;
    std::optional<Clock::time_point> total;
    std::optional<std::chrono::milliseconds> gap;
    if (interval == kAllOnes && multiplier == 0 && constant == 0) {
        total = Clock::now();
    } else if (interval == kAllOnes && multiplier == kAllOnes && constant > 0 && constant < kAllOnes) {
        total = DeadlineIn(constant);
        firstArrivalEnds = true;
    } else {
        if (multiplier != 0 || constant != 0)
            total = DeadlineIn(std::uint64_t{multiplier} * static_cast<std::uint64_t>(count) + constant);
        if (interval != 0 && interval != kAllOnes) gap = std::chrono::milliseconds(interval);
    }

    std::string result;
    result.reserve(static_cast<std::size_t>(count));
    Clock::time_point lastByte{};
    bool consumed = false;  // bytes left the queue (zero bytes may have been discarded)
    char buf[512];
    while (static_cast<int>(result.size()) < count) {
        const std::size_t want = std::min<std::size_t>(sizeof buf, count - result.size());
        const ssize_t n = read(fd_, buf, want);
        if (n > 0) {
            consumed = true;
            for (ssize_t i = 0; i < n; ++i)
                if (!(discardNull_ && buf[i] == 0)) result.push_back(buf[i]);
            lastByte = Clock::now();
            if (firstArrivalEnds && !result.empty()) break;
            continue;
        }
        // poll said readable (or the queue was just read) and yet 0 bytes:
        // the line hung up. That is a failure, not a time-out.
        if (n == 0) throw EComPort(CError_ReadFailed, EIO);
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) throw EComPort(CError_ReadFailed, errno);

        std::optional<Clock::time_point> until = total;
        if (gap && !result.empty()) {
            const auto byGap = lastByte + *gap;
            until = until ? std::min(*until, byGap) : byGap;
        }
        if (until && Clock::now() >= *until) break;
        const PollResult r = PollUntil(fd_, POLLIN, until);
        if (r.error != 0) throw EComPort(CError_ReadFailed, r.error);
        if (r.timedOut) break;
        if (!(r.revents & POLLIN) && (r.revents & (POLLHUP | POLLERR | POLLNVAL)))
            throw EComPort(CError_ReadFailed, EIO);
    }
    int waiting = 0;
    (void)ClearError(waiting);
    if (thread_ && consumed) thread_->NotifyConsumed(waiting);
    return result;
}

bool TCustomComPort::DeviceWaitForInput(int timeoutMs) {
    if (fd_ < 0) throw EComPort(CError_ReadFailed, EBADF);
    const PollResult r = PollUntil(fd_, POLLIN, DeadlineIn(static_cast<std::uint64_t>(std::max(timeoutMs, 0))));
    return r.error != 0 || !r.timedOut;
}

TComErrors TCustomComPort::DeviceClearError(int& inQueue) {
    if (fd_ < 0) throw EComPort(CError_ClearComFailed, EBADF);
    int count = 0;
    if (ioctl(fd_, FIONREAD, &count) != 0) throw EComPort(CError_ClearComFailed, errno);
    inQueue = count;

    TComErrors errors = 0;
    auto add = [&errors](TComError e) { errors |= static_cast<TComErrors>(1u << e); };
    serial_icounter_struct ic;
    // A pseudo-terminal keeps no line error counters.
    if (!isPty_ && ReadLineErrorCounts(fd_, ic)) {
        if (ic.frame != lineErrorBase_.frame) add(ceFrame);
        if (ic.parity != lineErrorBase_.parity) add(ceRxParity);
        if (ic.overrun != lineErrorBase_.overrun) add(ceOverrun);
        if (ic.brk != lineErrorBase_.brk) add(ceBreak);
        if (ic.buf_overrun != lineErrorBase_.bufOverrun) add(ceRxOver);
        lineErrorBase_ = {ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun};
    }
    pollfd p{fd_, 0, 0};
    if (poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR))) add(ceIO);
    return errors;
}

int TCustomComPort::DeviceModemStatus() {
    if (fd_ < 0) throw EComPort(CError_ModemStatFailed, EBADF);
    // A pseudo-terminal has no modem lines: all off, as on a cable with none.
    if (isPty_) return 0;
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) throw EComPort(CError_ModemStatFailed, errno);
    return ((bits & TIOCM_CTS) ? ModemCTS : 0) | ((bits & TIOCM_DSR) ? ModemDSR : 0) |
           ((bits & TIOCM_CAR) ? ModemRLSD : 0);
}
