// A local serial device on POSIX termios: the device handle, line settings,
// reads, writes, purges and status queries.
#include "LocalDevice.h"

#include "ArbitraryBaudRate.h"
#include "PollDeadline.h"
#include "PortLock.h"
#include "PortPermission.h"
#include "TimeoutRules.h"

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

bool ReadLineErrorCounts(int fd, serial_icounter_struct& ic) {
    std::memset(&ic, 0, sizeof ic);
    return ioctl(fd, TIOCGICOUNT, &ic) == 0;
}

// Line error counters as the driver reported them at the last error-state
// query, so that each query reports only what happened since the one before.
struct LineErrorCounts {
    int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
};

class PosixDevice final : public PortDevice {
public:
    explicit PosixDevice(const std::string& port);
    ~PosixDevice() override;

    void ApplyBuffer(std::int32_t inputSize, std::int32_t outputSize) override;
    void ApplyLine(const LineSettings& settings) override;
    void ApplyTimeouts(const TimeoutValues& values) override;
    void Purge(bool input, bool output) override;
    int Write(const std::string& text, Deadline deadline) override;
    std::string Read(int count, const ReadPlan& plan) override;
    bool WaitForInput(Deadline deadline) override;
    TComErrors ClearError(int& inQueue) override;
    int ModemStatus() override;
    std::optional<WatchedLine> Watchable() const override { return WatchedLine{fd_, isPty_}; }
    void SetActivity(LineActivity* activity) override { activity_ = activity; }

private:
    int fd_ = -1;
    bool isPty_ = false;
    bool discardNull_ = false;
    TPortLockFile lockFile_;  // the lock file other serial programs honour, while open
    LineErrorCounts lineErrorBase_;
    LineActivity* activity_ = nullptr;
};

}  // namespace

int ClosedDeviceError() { return EBADF; }
int MissingDeviceError() { return ENOENT; }
int BusyDeviceError() { return EBUSY; }
int GoneDeviceError() { return EIO; }

std::unique_ptr<PortDevice> OpenLocalDevice(const std::string& port) { return std::make_unique<PosixDevice>(port); }

PosixDevice::PosixDevice(const std::string& port) {
    if (port.empty()) throw EComPort(CError_OpenFailed, ENOENT);
    // "ttyUSB0" names a device under /dev; a full path (a pseudo-terminal, a
    // symbolic link) is taken as it stands.
    const std::string path = PortDevicePath(port);
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
    serial_icounter_struct ic;
    if (!isPty_ && ReadLineErrorCounts(fd, ic))
        lineErrorBase_ = {ic.frame, ic.parity, ic.overrun, ic.brk, ic.buf_overrun};
}

PosixDevice::~PosixDevice() {
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
}

void PosixDevice::ApplyBuffer(std::int32_t, std::int32_t) {
    // Linux sizes its tty queues itself; there is nothing to hand over. Only
    // make sure the handle is still usable.
    if (fcntl(fd_, F_GETFD) < 0) throw EComPort(CError_SetupComFailed, errno);
}

void PosixDevice::ApplyLine(const LineSettings& s) {
    termios tio {};
    if (tcgetattr(fd_, &tio) != 0) throw EComPort(CError_SetStateFailed, errno);

    // Raw binary line, built afresh from the properties. Break conditions are
    // counted by the driver, not delivered as zero bytes.
    tio.c_iflag = IGNBRK;
    if (s.ParityCheck) {
        // Parity is checked; a byte that fails reads as a zero byte (the
        // driver cannot substitute another replacement character).
        tio.c_iflag |= INPCK;
    }
    if (s.XonXoffOut) tio.c_iflag |= IXON;
    if (s.XonXoffIn) tio.c_iflag |= IXOFF;
    tio.c_oflag = 0;
    tio.c_lflag = 0;

    tcflag_t cflag = CREAD | CLOCAL;  // modem lines do not gate reading
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    cflag |= kSizes[s.DataBits];
    switch (s.Parity) {
    case prNone: break;
    case prOdd: cflag |= PARENB | PARODD; break;
    case prEven: cflag |= PARENB; break;
    case prMark: cflag |= PARENB | CMSPAR | PARODD; break;
    case prSpace: cflag |= PARENB | CMSPAR; break;
    }
    // A UART sends one and a half stop bits for "two" at five data bits.
    if (s.StopBits != sbOneStopBit) cflag |= CSTOPB;
    if (s.OutCTSFlow || s.Rts == rtsHandshake) cflag |= CRTSCTS;
    tio.c_cflag = cflag;

    std::fill(std::begin(tio.c_cc), std::end(tio.c_cc), 0);
    tio.c_cc[VSTART] = s.XonChar;
    tio.c_cc[VSTOP] = s.XoffChar;
    // VMIN 1: a non-blocking read of an empty queue then fails with EAGAIN,
    // so that a read of 0 bytes can only mean a hang-up.
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;

    if (s.Rate <= 0) throw EComPort(CError_SetStateFailed, EINVAL);
    const speed_t constant = SpeedConstant(s.Rate);
    if (constant != B0) {
        cfsetispeed(&tio, constant);
        cfsetospeed(&tio, constant);
    }
    if (tcsetattr(fd_, TCSANOW, &tio) != 0) throw EComPort(CError_SetStateFailed, errno);
    if (constant == B0) {
        const int error = SetArbitraryBaudRate(fd_, s.Rate);
        if (error != 0) throw EComPort(CError_SetStateFailed, error);
    }
    discardNull_ = s.DiscardNull;

    // DTR and RTS where the driver has modem lines (a pseudo-terminal has
    // none). Handshake and toggle modes are left to the driver's flow control.
    if (!isPty_) {
        auto setLine = [this](int bit, bool on) {
            (void)ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit);  // some adapters lack the line
        };
        if (s.Dtr != dtrHandshake) setLine(TIOCM_DTR, s.Dtr == dtrEnable);
        if (s.Rts == rtsDisable || s.Rts == rtsEnable) setLine(TIOCM_RTS, s.Rts == rtsEnable);
    }
}

void PosixDevice::ApplyTimeouts(const TimeoutValues&) {
    // The reads and writes keep the time-outs themselves; the driver holds
    // none. Only make sure the handle is still usable.
    if (fcntl(fd_, F_GETFD) < 0) throw EComPort(CError_SetTimeoutsFailed, errno);
}

void PosixDevice::Purge(bool input, bool output) {
    if (input) {
        (void)tcflush(fd_, TCIFLUSH);
        if (activity_) activity_->Consumed(0);
    }
    // On a pseudo-terminal nothing is waiting to be sent after a drained
    // write: TCOFLUSH there discards bytes that the other side has not read
    // yet (a reply written just before the purge would be lost), so skip it.
    if (output && !isPty_) (void)tcflush(fd_, TCOFLUSH);
}

int PosixDevice::Write(const std::string& text, Deadline deadline) {
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
    if (activity_ && drained && done == text.size()) activity_->Transmitted();
    return static_cast<int>(done);
}

std::string PosixDevice::Read(int count, const ReadPlan& plan) {
    bool consumed = false;  // bytes left the queue (zero bytes may have been discarded)
    auto take = [&](std::string& out, std::size_t max) -> std::size_t {
        char buf[512];
        std::size_t taken = 0;
        while (taken < max) {
            const ssize_t n = read(fd_, buf, std::min(sizeof buf, max - taken));
            if (n > 0) {
                consumed = true;
                taken += static_cast<std::size_t>(n);
                for (ssize_t i = 0; i < n; ++i)
                    if (!(discardNull_ && buf[i] == 0)) out.push_back(buf[i]);
                continue;
            }
            // poll said readable (or the queue was just read) and yet 0
            // bytes: the line hung up. That is a failure, not a time-out.
            if (n == 0) throw EComPort(CError_ReadFailed, EIO);
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) throw EComPort(CError_ReadFailed, errno);
            break;
        }
        return taken;
    };
    auto waitUntil = [this](Deadline until) {
        const PollResult r = PollUntil(fd_, POLLIN, until);
        if (r.error != 0) throw EComPort(CError_ReadFailed, r.error);
        if (r.timedOut) return false;
        if (!(r.revents & POLLIN) && (r.revents & (POLLHUP | POLLERR | POLLNVAL)))
            throw EComPort(CError_ReadFailed, EIO);
        return true;
    };
    std::string result = ReadUnderPlan(count, plan, take, waitUntil);
    int waiting = 0;
    (void)ClearError(waiting);
    if (activity_ && consumed) activity_->Consumed(waiting);
    return result;
}

bool PosixDevice::WaitForInput(Deadline deadline) {
    const PollResult r = PollUntil(fd_, POLLIN, deadline);
    return r.error != 0 || !r.timedOut;
}

TComErrors PosixDevice::ClearError(int& inQueue) {
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

int PosixDevice::ModemStatus() {
    // A pseudo-terminal has no modem lines: all off, as on a cable with none.
    if (isPty_) return 0;
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) throw EComPort(CError_ModemStatFailed, errno);
    return ((bits & TIOCM_CTS) ? ModemCTS : 0) | ((bits & TIOCM_DSR) ? ModemDSR : 0) |
           ((bits & TIOCM_CAR) ? ModemRLSD : 0);
}
