// A local serial device on the Win32 communications functions: the device
// handle, the DCB, time-outs, overlapped reads and writes, purges and status
// queries. Written for Windows and checked under wine, whose serial driver
// departs from Windows in a few places; each such place says so.
#include "LocalDevice.h"

#include "TimeoutRules.h"
#include "base/WideText.h"

#include <windows.h>

#include <array>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

// A request that should have ended by its own time-out but has not after this
// much longer is cancelled: a driver that never completes it must not hang
// the caller.
constexpr DWORD kOverdueMs = 1000;
// The most a read takes from the driver's queue at once.
constexpr std::size_t kReadAheadSize = 4096;

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

class Win32Device final : public PortDevice {
public:
    explicit Win32Device(const std::string& port);
    ~Win32Device() override { CloseHandle(device_); }

    void ApplyBuffer(std::int32_t inputSize, std::int32_t outputSize) override;
    void ApplyLine(const LineSettings& settings) override;
    void ApplyTimeouts(const TimeoutValues& values) override;
    void Purge(bool input, bool output) override;
    int Write(const std::string& text, Deadline deadline) override;
    std::string Read(int count, const ReadPlan& plan) override;
    bool WaitForInput(Deadline deadline) override;
    TComErrors ClearError(int& inQueue) override;
    int ModemStatus() override;
    std::optional<WatchedLine> Watchable() const override { return WatchedLine{device_, false}; }

private:
    HANDLE device_ = INVALID_HANDLE_VALUE;
    // The time-outs the driver holds (COMMTIMEOUTS in field order), so that an
    // unchanged set is not passed again; none right after an open.
    using AppliedTimeouts = std::array<DWORD, 5>;
    std::optional<AppliedTimeouts> appliedTimeouts_;
    // Bytes taken from the driver's queue and not yet handed to a reader.
    std::string readAhead_;
};

}  // namespace

int ClosedDeviceError() { return ERROR_INVALID_HANDLE; }
int MissingDeviceError() { return ERROR_FILE_NOT_FOUND; }
int BusyDeviceError() { return ERROR_ACCESS_DENIED; }
int GoneDeviceError() { return ERROR_DEVICE_NOT_CONNECTED; }

std::unique_ptr<PortDevice> OpenLocalDevice(const std::string& port) { return std::make_unique<Win32Device>(port); }

Win32Device::Win32Device(const std::string& port) {
    // "\\.\" reaches every device name, COM10 and above included, which the
    // plain name does not.
    const std::string name = port.rfind("\\\\.\\", 0) == 0 ? port : "\\\\.\\" + port;
    device_ = CreateFileW(WideFromUtf8(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_FLAG_OVERLAPPED, nullptr);
    if (device_ == INVALID_HANDLE_VALUE) throw EComPort(CError_OpenFailed, LastError());
}

void Win32Device::ApplyBuffer(std::int32_t inputSize, std::int32_t outputSize) {
    if (!SetupComm(device_, static_cast<DWORD>(inputSize), static_cast<DWORD>(outputSize)))
        throw EComPort(CError_SetupComFailed, LastError());
}

void Win32Device::ApplyLine(const LineSettings& s) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(s.Rate);
    dcb.fBinary = TRUE;
    dcb.fAbortOnError = FALSE;
    if (s.ParityCheck) {
        dcb.fParity = TRUE;
        if (s.ParityReplace) {
            dcb.fErrorChar = TRUE;
            dcb.ErrorChar = static_cast<char>(s.ReplaceChar);
        }
    }
    dcb.fOutxCtsFlow = s.OutCTSFlow;
    dcb.fOutxDsrFlow = s.OutDSRFlow;
    dcb.fDsrSensitivity = s.DSRSensitivity;
    dcb.fTXContinueOnXoff = s.TxContinueOnXoff;
    dcb.fOutX = s.XonXoffOut;
    dcb.fInX = s.XonXoffIn;
    dcb.fNull = s.DiscardNull;
    dcb.fDtrControl = static_cast<DWORD>(s.Dtr);  // disable, enable, handshake
    dcb.fRtsControl = static_cast<DWORD>(s.Rts);  // ... and toggle
    dcb.XonLim = static_cast<WORD>(s.InputSize / 4);
    dcb.XoffLim = static_cast<WORD>(s.InputSize / 4);
    dcb.ByteSize = static_cast<BYTE>(5 + s.DataBits);
    dcb.Parity = static_cast<BYTE>(s.Parity);      // none, odd, even, mark, space
    dcb.StopBits = static_cast<BYTE>(s.StopBits);  // one, one and a half, two
    dcb.XonChar = static_cast<char>(s.XonChar);
    dcb.XoffChar = static_cast<char>(s.XoffChar);
    dcb.EvtChar = static_cast<char>(s.EventChar);
    if (!SetCommState(device_, &dcb)) throw EComPort(CError_SetStateFailed, LastError());
}

void Win32Device::ApplyTimeouts(const TimeoutValues& values) {
    COMMTIMEOUTS driver{};
    driver.WriteTotalTimeoutMultiplier = values.WriteTotalMultiplier;
    driver.WriteTotalTimeoutConstant = values.WriteTotalConstant;
    switch (PlanRead(values, 1).Kind) {
    case ReadPlan::Mode::Immediate:
        // Only what is queued is ever asked for (see Read): no read time-out
        // is needed. An interval of all-ones would leave a read pending for
        // ever under wine when nothing is waiting.
        break;
    case ReadPlan::Mode::FirstArrival:
        // Windows gives this meaning to all-ones/all-ones/constant itself, but
        // wine never completes such a read. A one-byte read under a total
        // time-out, followed by a read of what is queued, behaves the same on both.
        driver.ReadTotalTimeoutConstant = values.ReadTotalConstant;
        break;
    case ReadPlan::Mode::AsSet:
        driver.ReadIntervalTimeout = values.ReadInterval;
        driver.ReadTotalTimeoutMultiplier = values.ReadTotalMultiplier;
        driver.ReadTotalTimeoutConstant = values.ReadTotalConstant;
        break;
    }
    const AppliedTimeouts wanted{driver.ReadIntervalTimeout, driver.ReadTotalTimeoutMultiplier,
                                 driver.ReadTotalTimeoutConstant, driver.WriteTotalTimeoutMultiplier,
                                 driver.WriteTotalTimeoutConstant};
    // The link sets the read time-outs before every byte; the driver hears of
    // them only when what it holds changes.
    if (appliedTimeouts_ && *appliedTimeouts_ == wanted) return;
    if (!SetCommTimeouts(device_, &driver)) throw EComPort(CError_SetTimeoutsFailed, LastError());
    appliedTimeouts_ = wanted;
}

void Win32Device::Purge(bool input, bool output) {
    DWORD flags = 0;
    if (input) {
        flags |= PURGE_RXCLEAR;
        readAhead_.clear();
    }
    // Every write here has completed before a purge can come, so all the
    // transmit side could drop is bytes written on purpose and not sent yet:
    // the boot loader's single "p" right before the header frame, lost
    // whenever the other end has not read it (a COM port that wine keeps on
    // a pseudo-terminal, a driver that still buffers), leaves the box in its
    // boot loader. The output is left to go.
    (void)output;
    if (flags != 0) (void)PurgeComm(device_, flags);
}

int Win32Device::Write(const std::string& text, Deadline) {
    // The driver keeps the write time-out itself (SetCommTimeouts).
    Request request;
    if (!request.Valid()) throw EComPort(CError_WriteFailed, LastError());
    DWORD done = 0;
    if (!WriteFile(device_, text.data(), static_cast<DWORD>(text.size()), nullptr, request.Get())) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) throw EComPort(CError_WriteFailed, static_cast<int>(error));
        (void)WaitForSingleObject(request.Event(), INFINITE);
    }
    if (!GetOverlappedResult(device_, request.Get(), &done, FALSE)) {
        const DWORD error = GetLastError();
        // A write that runs into its time-out sends fewer bytes; that is no failure.
        if (!IsTimeOut(error)) throw EComPort(CError_WriteFailed, static_cast<int>(error));
    }
    return static_cast<int>(done);
}

std::string Win32Device::Read(int count, const ReadPlan& plan) {
    HANDLE device = device_;
    const DWORD constant = plan.Values.ReadTotalConstant;
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
        if (plan.Kind == ReadPlan::Mode::AsSet) {
            const DWORD rest = static_cast<DWORD>(std::min(wanted - readAhead_.size(), sizeof buffer));
            readAhead_.append(buffer, ReadRequest(device, buffer, rest, std::nullopt));
        } else {
            DWORD waiting = queued();
            if (waiting == 0 && readAhead_.empty() && plan.Kind == ReadPlan::Mode::FirstArrival) {
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

bool Win32Device::WaitForInput(Deadline deadline) {
    // The line's events belong to the watcher, so the queue is looked at in
    // short sleeps instead of waiting for a character event.
    for (;;) {
        int waiting = 0;
        try {
            (void)ClearError(waiting);
        } catch (const EComPort&) {
            return true;  // the next read meets the fault and reports it
        }
        if (waiting > 0) return true;
        if (deadline && PortClock::now() >= *deadline) return false;
        Sleep(1);
    }
}

TComErrors Win32Device::ClearError(int& inQueue) {
    DWORD flags = 0;
    COMSTAT stat{};
    if (!ClearCommError(device_, &flags, &stat)) throw EComPort(CError_ClearComFailed, LastError());
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

int Win32Device::ModemStatus() {
    DWORD lines = 0;
    if (!GetCommModemStatus(device_, &lines)) {
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
