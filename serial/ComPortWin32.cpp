// TCustomComPort on the Win32 communications functions: the device handle,
// the DCB, time-outs, overlapped reads and writes, purges and status queries.
// Written for Windows and checked under wine, whose serial driver departs
// from Windows in a few places; each such place says so.
#include "ComPort.h"

#include "ComThread.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

constexpr DWORD kAllOnes = MAXDWORD;
// A request that should have ended by its own time-out but has not after this
// much longer is cancelled: a driver that never completes it must not hang
// the caller.
constexpr DWORD kOverdueMs = 1000;
// The most a read takes from the driver's queue at once.
constexpr std::size_t kReadAheadSize = 4096;

HANDLE Device(TComHandle h) { return static_cast<HANDLE>(h); }

int LastError() { return static_cast<int>(GetLastError()); }

// Time-outs that expire end a request with a "timed out" status on some
// drivers (wine: 1460) instead of success with fewer bytes; neither is a failure.
bool IsTimeOut(DWORD error) { return error == ERROR_TIMEOUT || error == ERROR_SEM_TIMEOUT; }

// One asynchronous request with its own completion event (manual reset,
// created set), released with the request.
class Request {
public:
    Request() { overlapped_.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr); }
    ~Request() {
        if (overlapped_.hEvent) CloseHandle(overlapped_.hEvent);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    bool Valid() const { return overlapped_.hEvent != nullptr; }
    OVERLAPPED* Get() { return &overlapped_; }
    HANDLE Event() const { return overlapped_.hEvent; }

private:
    OVERLAPPED overlapped_{};
};

// How a read behaves under the port's time-outs.
enum class ReadMode {
    Immediate,     // interval all-ones, total 0 and 0: what is there, at once
    FirstArrival,  // interval and multiplier all-ones, constant in between: what is
                   // there, else the first byte to arrive, else nothing after the constant
    AsSet,         // anything else: the driver's own meaning of the values
};

ReadMode ModeOf(DWORD interval, DWORD multiplier, DWORD constant) {
    if (interval == kAllOnes && multiplier == 0 && constant == 0) return ReadMode::Immediate;
    if (interval == kAllOnes && multiplier == kAllOnes && constant > 0 && constant < kAllOnes)
        return ReadMode::FirstArrival;
    return ReadMode::AsSet;
}

// Reads up to size bytes with one request. A time-out is no failure: it gives
// what came before it. With a limit, a request still pending that long is
// cancelled and counts as timed out. Raises EComPort 3.
DWORD ReadRequest(HANDLE device, char* buffer, DWORD size, std::optional<DWORD> limitMs) {
    Request request;
    if (!request.Valid()) throw EComPort(CError_ReadFailed, LastError());
    DWORD done = 0;
    if (!ReadFile(device, buffer, size, nullptr, request.Get())) {
        const DWORD error = GetLastError();
        if (IsTimeOut(error)) return 0;
        if (error != ERROR_IO_PENDING) throw EComPort(CError_ReadFailed, static_cast<int>(error));
        if (WaitForSingleObject(request.Event(), limitMs ? *limitMs : INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(device, request.Get());
            (void)GetOverlappedResult(device, request.Get(), &done, TRUE);
            return done;
        }
    }
    if (!GetOverlappedResult(device, request.Get(), &done, FALSE)) {
        const DWORD error = GetLastError();
        if (IsTimeOut(error) || error == ERROR_OPERATION_ABORTED) return done;
        throw EComPort(CError_ReadFailed, static_cast<int>(error));
    }
    return done;
}

}  // namespace

void TCustomComPort::DeviceCreateHandle() {
    // "\\.\" reaches every device name, COM10 and above included, which the
    // plain name does not.
    const std::string name = port_.rfind("\\\\.\\", 0) == 0 ? port_ : "\\\\.\\" + port_;
    HANDLE device = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr);
    if (device == INVALID_HANDLE_VALUE) throw EComPort(CError_OpenFailed, LastError());
    fd_ = device;
    isPty_ = false;
    appliedTimeouts_.reset();
}

void TCustomComPort::DeviceDestroyHandle() {
    if (fd_ == NoComHandle) return;
    CloseHandle(Device(fd_));
    fd_ = NoComHandle;
    appliedTimeouts_.reset();
    readAhead_.clear();
}

void TCustomComPort::DeviceApplyBuffer() {
    if (!SetupComm(Device(fd_), static_cast<DWORD>(buffer_.InputSize()), static_cast<DWORD>(buffer_.OutputSize())))
        throw EComPort(CError_SetupComFailed, LastError());
}

void TCustomComPort::DeviceApplyDCB() {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_));
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = FALSE;
    if (parity_.Check()) {
        dcb.fParity = TRUE;
        if (parity_.Replace()) {
            dcb.fErrorChar = TRUE;
            dcb.ErrorChar = static_cast<char>(parity_.ReplaceChar());
        }
    }
    dcb.fOutxCtsFlow = flowControl_.OutCTSFlow();
    dcb.fOutxDsrFlow = flowControl_.OutDSRFlow();
    dcb.fDsrSensitivity = flowControl_.DSRSensitivity();
    dcb.fTXContinueOnXoff = flowControl_.TxContinueOnXoff();
    dcb.fOutX = flowControl_.XonXoffOut();
    dcb.fInX = flowControl_.XonXoffIn();
    dcb.fNull = discardNull_;
    dcb.fDtrControl = static_cast<DWORD>(flowControl_.ControlDTR());  // disable, enable, handshake
    dcb.fRtsControl = static_cast<DWORD>(flowControl_.ControlRTS());  // ... and toggle
    dcb.XonLim = static_cast<WORD>(buffer_.InputSize() / 4);
    dcb.XoffLim = static_cast<WORD>(buffer_.InputSize() / 4);
    dcb.ByteSize = static_cast<BYTE>(5 + dataBits_);
    dcb.Parity = static_cast<BYTE>(parity_.Bits());   // none, odd, even, mark, space
    dcb.StopBits = static_cast<BYTE>(stopBits_);      // one, one and a half, two
    dcb.XonChar = static_cast<char>(flowControl_.XonChar());
    dcb.XoffChar = static_cast<char>(flowControl_.XoffChar());
    dcb.EvtChar = static_cast<char>(eventChar_);
    if (!SetCommState(Device(fd_), &dcb)) throw EComPort(CError_SetStateFailed, LastError());
}

void TCustomComPort::DeviceApplyTimeouts() {
    const auto interval = static_cast<DWORD>(timeouts_.ReadInterval());
    const auto multiplier = static_cast<DWORD>(timeouts_.ReadTotalMultiplier());
    const auto constant = static_cast<DWORD>(timeouts_.ReadTotalConstant());
    COMMTIMEOUTS driver{};
    driver.WriteTotalTimeoutMultiplier = static_cast<DWORD>(timeouts_.WriteTotalMultiplier());
    driver.WriteTotalTimeoutConstant = static_cast<DWORD>(timeouts_.WriteTotalConstant());
    switch (ModeOf(interval, multiplier, constant)) {
    case ReadMode::Immediate:
        // Only what is queued is ever asked for (see ReadText): no read time-out
        // is needed. An interval of all-ones would leave a read pending for
        // ever under wine when nothing is waiting.
        break;
    case ReadMode::FirstArrival:
        // Windows gives this meaning to all-ones/all-ones/constant itself, but
        // wine never completes such a read. A one-byte read under a total
        // time-out, followed by a read of what is queued, behaves the same on both.
        driver.ReadTotalTimeoutConstant = constant;
        break;
    case ReadMode::AsSet:
        driver.ReadIntervalTimeout = interval;
        driver.ReadTotalTimeoutMultiplier = multiplier;
        driver.ReadTotalTimeoutConstant = constant;
        break;
    }
    const AppliedTimeouts wanted{driver.ReadIntervalTimeout, driver.ReadTotalTimeoutMultiplier,
                                 driver.ReadTotalTimeoutConstant, driver.WriteTotalTimeoutMultiplier,
                                 driver.WriteTotalTimeoutConstant};
    // The link sets the read time-outs before every byte; the driver hears of
    // them only when what it holds changes.
    if (appliedTimeouts_ && *appliedTimeouts_ == wanted) return;
    if (!SetCommTimeouts(Device(fd_), &driver)) throw EComPort(CError_SetTimeoutsFailed, LastError());
    appliedTimeouts_ = wanted;
}

void TCustomComPort::DevicePurge(bool input, bool output) {
    if (fd_ == NoComHandle) return;
    DWORD flags = 0;
    if (input) {
        flags |= PURGE_RXCLEAR;
        readAhead_.clear();
    }
    if (output) flags |= PURGE_TXCLEAR;
    if (flags != 0) (void)PurgeComm(Device(fd_), flags);
}

int TCustomComPort::DeviceWrite(const std::string& text) {
    if (text.empty()) return 0;
    if (fd_ == NoComHandle) throw EComPort(CError_WriteFailed, ERROR_INVALID_HANDLE);
    Request request;
    if (!request.Valid()) throw EComPort(CError_WriteFailed, LastError());
    DWORD done = 0;
    if (!WriteFile(Device(fd_), text.data(), static_cast<DWORD>(text.size()), nullptr, request.Get())) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) throw EComPort(CError_WriteFailed, static_cast<int>(error));
        (void)WaitForSingleObject(request.Event(), INFINITE);
    }
    if (!GetOverlappedResult(Device(fd_), request.Get(), &done, FALSE)) {
        const DWORD error = GetLastError();
        // A write that runs into its time-out sends fewer bytes; that is no failure.
        if (!IsTimeOut(error)) throw EComPort(CError_WriteFailed, static_cast<int>(error));
    }
    return static_cast<int>(done);
}

std::string TCustomComPort::DeviceRead(int count) {
    if (fd_ == NoComHandle) throw EComPort(CError_ReadFailed, ERROR_INVALID_HANDLE);
    if (count <= 0) return {};
    HANDLE device = Device(fd_);
    const auto constant = static_cast<DWORD>(timeouts_.ReadTotalConstant());
    const ReadMode mode = ModeOf(static_cast<DWORD>(timeouts_.ReadInterval()),
                                 static_cast<DWORD>(timeouts_.ReadTotalMultiplier()), constant);
    const auto wanted = static_cast<std::size_t>(count);

    // The link reads replies one byte at a time, and every driver call is a
    // round trip through the system (under wine, through its server): what
    // the driver has queued is taken in one read and handed out from here.
    if (readAhead_.size() < wanted) {
        // Bytes in the driver's queue; 0 when it cannot tell, so that the read
        // itself meets the fault and reports it as a read failure.
        auto queued = [device]() -> DWORD {
            COMSTAT stat{};
            DWORD errors = 0;
            return ClearCommError(device, &errors, &stat) ? stat.cbInQue : 0;
        };
        char buffer[kReadAheadSize];
        if (mode == ReadMode::AsSet) {
            const DWORD rest = static_cast<DWORD>(std::min(wanted - readAhead_.size(), sizeof buffer));
            readAhead_.append(buffer, ReadRequest(device, buffer, rest, std::nullopt));
        } else {
            DWORD waiting = queued();
            if (waiting == 0 && readAhead_.empty() && mode == ReadMode::FirstArrival) {
                // Wait for the first byte; the driver ends the request after
                // the constant. Whatever follows it is queued by then or later.
                const DWORD got = ReadRequest(device, buffer, 1, constant + kOverdueMs);
                readAhead_.append(buffer, got);
                if (got > 0) waiting = queued();
            }
            const DWORD take = std::min<DWORD>(waiting, sizeof buffer);
            // Bytes already queued are handed over at once whatever the time-outs.
            if (take > 0) readAhead_.append(buffer, ReadRequest(device, buffer, take, kOverdueMs));
        }
        int left = 0;
        (void)ClearError(left);
    }
    const std::size_t n = std::min(wanted, readAhead_.size());
    std::string result = readAhead_.substr(0, n);
    readAhead_.erase(0, n);
    return result;
}

bool TCustomComPort::DeviceWaitForInput(int timeoutMs) {
    if (fd_ == NoComHandle) throw EComPort(CError_ReadFailed, ERROR_INVALID_HANDLE);
    // The line's events belong to the watcher, so the queue is looked at in
    // short sleeps instead of waiting for a character event.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        int waiting = 0;
        try {
            (void)ClearError(waiting);
        } catch (const EComPort&) {
            return true;  // the next read meets the fault and reports it
        }
        if (waiting > 0) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        Sleep(1);
    }
}

TComErrors TCustomComPort::DeviceClearError(int& inQueue) {
    if (fd_ == NoComHandle) throw EComPort(CError_ClearComFailed, ERROR_INVALID_HANDLE);
    DWORD flags = 0;
    COMSTAT stat{};
    if (!ClearCommError(Device(fd_), &flags, &stat)) throw EComPort(CError_ClearComFailed, LastError());
    inQueue = static_cast<int>(stat.cbInQue + readAhead_.size());
    TComErrors errors = 0;
    auto add = [&errors](TComError e) { errors |= static_cast<TComErrors>(1u << e); };
    if (flags & CE_FRAME) add(ceFrame);
    if (flags & CE_RXPARITY) add(ceRxParity);
    if (flags & CE_OVERRUN) add(ceOverrun);
    if (flags & CE_BREAK) add(ceBreak);
    if (flags & CE_IOE) add(ceIO);
    if (flags & CE_MODE) add(ceMode);
    if (flags & CE_RXOVER) add(ceRxOver);
    if (flags & CE_TXFULL) add(ceTxFull);
    return errors;
}

int TCustomComPort::DeviceModemStatus() {
    if (fd_ == NoComHandle) throw EComPort(CError_ModemStatFailed, ERROR_INVALID_HANDLE);
    DWORD lines = 0;
    if (!GetCommModemStatus(Device(fd_), &lines)) {
        const DWORD error = GetLastError();
        // A line without modem lines (wine on a pseudo-terminal) answers "not
        // supported" where Windows would give the lines' state: all off, as on
        // a cable with none.
        if (error == ERROR_NOT_SUPPORTED) return 0;
        throw EComPort(CError_ModemStatFailed, static_cast<int>(error));
    }
    return ((lines & MS_CTS_ON) ? ModemCTS : 0) | ((lines & MS_DSR_ON) ? ModemDSR : 0) |
           ((lines & MS_RLSD_ON) ? ModemRLSD : 0);
}
