#pragma once
// The serial port layer: one open, configured serial line. What differs by
// operating system lives in files named for it (ComPortPosix.cpp on POSIX
// termios, ComPortWin32.cpp on the Win32 communications functions). No
// window code; the window, the command line and the
// emulator's tests all link it.

#include "EComPort.h"
#include "PortLock.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum TBaudRate {
    brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };

// Line events; a set is a 16-bit mask, bit 0 evRxChar up to bit 9 evRx80Full.
enum TComEvent {
    evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
using TComEvents = std::uint16_t;
constexpr TComEvents ComEventBit(TComEvent e) { return static_cast<TComEvents>(1u << e); }
constexpr TComEvents AllComEvents = 0x03FF;

// Line errors reported with OnError.
enum TComError { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = std::uint16_t;

enum TSyncMethod { smThreadSync, smWindowSync, smNone };

// Rate in bits per second of a TBaudRate other than brCustom.
int BaudRateValue(TBaudRate rate);

class TCustomComPort;
class TComThread;
class NetworkPort;

// The open device as the system knows it: a descriptor on POSIX, a HANDLE on
// Windows.
#ifdef _WIN32
using TComHandle = void*;
inline constexpr TComHandle NoComHandle = nullptr;
#else
using TComHandle = int;
inline constexpr TComHandle NoComHandle = -1;
#endif

// The settings groups keep a reference to their port and ask it to reapply
// their part when a member changes while the port is open.
class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort& port) : port_(port) {}
    TComTimeouts& operator=(const TComTimeouts& other);  // member by member
    std::int32_t ReadInterval() const { return readInterval_; }
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetReadInterval(std::int32_t v);
    void SetReadTotalMultiplier(std::int32_t v);
    void SetReadTotalConstant(std::int32_t v);
    void SetWriteTotalMultiplier(std::int32_t v);
    void SetWriteTotalConstant(std::int32_t v);

private:
    void Set(std::int32_t& member, std::int32_t v);
    TCustomComPort& port_;
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

class TComParity {
public:
    explicit TComParity(TCustomComPort& port) : port_(port) {}
    TComParity& operator=(const TComParity& other);
    TParityBits Bits() const { return bits_; }
    bool Check() const { return check_; }
    bool Replace() const { return replace_; }
    std::uint8_t ReplaceChar() const { return replaceChar_; }
    void SetBits(TParityBits v);
    void SetCheck(bool v);
    void SetReplace(bool v);
    void SetReplaceChar(std::uint8_t v);

private:
    TCustomComPort& port_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    std::uint8_t replaceChar_ = 0;
};

class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort& port) : port_(port) {}
    TComFlowControl& operator=(const TComFlowControl& other);
    bool OutCTSFlow() const { return outCTSFlow_; }
    bool OutDSRFlow() const { return outDSRFlow_; }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    bool XonXoffOut() const { return xonXoffOut_; }
    bool XonXoffIn() const { return xonXoffIn_; }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    std::uint8_t XonChar() const { return xonChar_; }
    std::uint8_t XoffChar() const { return xoffChar_; }
    void SetOutCTSFlow(bool v);
    void SetOutDSRFlow(bool v);
    void SetControlDTR(TDTRFlowControl v);
    void SetControlRTS(TRTSFlowControl v);
    void SetXonXoffOut(bool v);
    void SetXonXoffIn(bool v);
    void SetDSRSensitivity(bool v);
    void SetTxContinueOnXoff(bool v);
    void SetXonChar(std::uint8_t v);
    void SetXoffChar(std::uint8_t v);

private:
    template <class T> void Set(T& member, T v);
    TCustomComPort& port_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    std::uint8_t xonChar_ = 17;
    std::uint8_t xoffChar_ = 19;
};

class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort& port) : port_(port) {}
    TComBuffer& operator=(const TComBuffer& other);
    std::int32_t InputSize() const { return inputSize_; }
    std::int32_t OutputSize() const { return outputSize_; }
    void SetInputSize(std::int32_t v);   // a positive odd size is stored lowered by one
    void SetOutputSize(std::int32_t v);

private:
    void Set(std::int32_t& member, std::int32_t v);
    TCustomComPort& port_;
    std::int32_t inputSize_ = 1024;
    std::int32_t outputSize_ = 1024;
};

// Where the port names come from; a test replaces it so that it never
// depends on the machine's own ports.
using PortListSource = std::function<std::vector<std::string>()>;

class TCustomComPort {
public:
    using TNotifyEvent = std::function<void(TCustomComPort& sender)>;
    using TStateEvent = std::function<void(TCustomComPort& sender, bool state)>;
    using TRxCharEvent = std::function<void(TCustomComPort& sender, int count)>;
    using TErrorEvent = std::function<void(TCustomComPort& sender, TComErrors errors)>;

    TCustomComPort();
    virtual ~TCustomComPort();  // closes the port first
    TCustomComPort(const TCustomComPort&) = delete;
    TCustomComPort& operator=(const TCustomComPort&) = delete;

    // Opens and configures the line; nothing when already open. Raises EComPort.
    void Open();
    // Stops the watcher and closes the line; nothing when closed. Raises nothing.
    void Close();
    bool Connected() const { return (fd_ != NoComHandle || network_) && connected_; }
    void SetConnected(bool value);

    void PurgeBuffers(bool input, bool output);
    int WriteText(const std::string& text);
    std::string ReadText(int count);
    int BytesWaiting();
    // Waits up to timeoutMs until a received byte is waiting, and takes
    // nothing: true when one is (or when the line reports a fault, which the
    // next read then raises), false after the time-out.
    bool WaitForInput(int timeoutMs);

    // Replaces list with the serial ports present (names without "/dev/" on
    // Linux, "COM..." from the registry on Windows). Raises EComPort 23 when
    // they cannot be read; list is then unchanged.
    static void ListSerialPorts(std::vector<std::string>& list);

    // Properties.
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    std::uint8_t EventChar() const { return eventChar_; }
    void SetEventChar(std::uint8_t value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value);  // takes effect at the next open
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);  // error 14 while open

    TComParity& Parity() { return parity_; }
    TComFlowControl& FlowControl() { return flowControl_; }
    TComBuffer& Buffer() { return buffer_; }
    TComTimeouts& Timeouts() { return timeouts_; }
    const TComParity& Parity() const { return parity_; }
    const TComFlowControl& FlowControl() const { return flowControl_; }
    const TComBuffer& Buffer() const { return buffer_; }
    const TComTimeouts& Timeouts() const { return timeouts_; }

    // Notifications, raised on the thread that calls Open/Close or that
    // handles the watcher's hand-overs.
    TNotifyEvent OnAfterClose, OnAfterOpen, OnBeforeClose, OnBeforeOpen;
    TRxCharEvent OnRxChar;
    TNotifyEvent OnRxBuf, OnTxEmpty, OnBreak, OnRing, OnRxFlag;
    TStateEvent OnCTSChange, OnDSRChange;
    TErrorEvent OnError;
    TStateEvent OnRLSDChange;
    TNotifyEvent OnRx80Full;

    // Line event hand-over (see ComThread.h). The watcher queues each event
    // set and calls this hook from its own thread; whoever owns the window
    // thread then calls HandleQueuedEvents there. Without a hook the sets are
    // handled the next time the owning thread calls HandleQueuedEvents or Close.
    // The hook is taken when the port opens; set it before Open. A status
    // query that fails while a set is handled is dropped: the port's next
    // read or write reports its own error.
    std::function<void()> OnEventsQueued;
    void HandleQueuedEvents();

    // The device while open, NoComHandle while closed (and for a port that
    // is a network address: rfc2217://HOST:PORT or tcp://HOST:PORT).
    TComHandle Handle() const { return fd_; }

    // Replaceable source of ListSerialPorts, for tests; empty restores /sys.
    static void SetPortListSource(PortListSource source);

protected:
    // Platform slots.
    virtual void CreateHandle();
    virtual void DestroyHandle();
    virtual void ApplySettings();  // queue sizes, then line settings, then time-outs

    // Raisers, one per notification.
    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(int count);
    virtual void DoRxBuf();
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool state);
    virtual void DoDSRChange(bool state);
    virtual void DoError(TComErrors errors);
    virtual void DoRLSDChange(bool state);
    virtual void DoRx80Full();
    virtual void ApplyDCB();
    virtual void ApplyTimeouts();
    virtual void ApplyBuffer();

    // Handling of one event set on the owning thread, in the fixed order.
    void DispatchEvents(TComEvents events);

private:
    friend class TComTimeouts;
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComBuffer;
    friend class TComThread;

    // Modem lines as Modem* bits; a pseudo-terminal has none and reads as all off.
    static constexpr int ModemCTS = 0x10, ModemDSR = 0x20, ModemRLSD = 0x80;
    int ModemStatus();  // raises EComPort 11
    // Reads and resets the line's error state and gives the input-queue count.
    TComErrors ClearError(int& inQueue);  // raises EComPort 10

    // The local device's part of each operation (ComPortPosix.cpp,
    // ComPortWin32.cpp); a port whose name is a network address hands the
    // same operations to its NetworkPort instead (ComPort.cpp decides).
    void DeviceCreateHandle();
    void DeviceDestroyHandle();
    void DeviceApplyBuffer();
    void DeviceApplyDCB();
    void DeviceApplyTimeouts();
    void DevicePurge(bool input, bool output);
    int DeviceWrite(const std::string& text);
    std::string DeviceRead(int count);
    bool DeviceWaitForInput(int timeoutMs);
    TComErrors DeviceClearError(int& inQueue);
    int DeviceModemStatus();
    void ApplyNetworkSettings(NetworkPort& network);
    void StartWatcher();
    void StopWatcher();

    // Line error counters as the driver reported them at the last error-state
    // query, so that each query reports only what happened since the one before.
    struct LineErrorCounts {
        int frame = 0, parity = 0, overrun = 0, brk = 0, bufOverrun = 0;
    };
    LineErrorCounts lineErrorBase_;

    std::string port_ = "COM1";
    TBaudRate baudRate_ = br9600;
    std::int32_t customBaudRate_ = 9600;
    TDataBits dataBits_ = dbEight;
    TStopBits stopBits_ = sbOneStopBit;
    bool discardNull_ = false;
    std::uint8_t eventChar_ = 0;
    TComEvents events_ = AllComEvents;
    TSyncMethod syncMethod_ = smThreadSync;
    TComParity parity_{*this};
    TComFlowControl flowControl_{*this};
    TComBuffer buffer_{*this};
    TComTimeouts timeouts_{*this};

    TComHandle fd_ = NoComHandle;
    std::unique_ptr<NetworkPort> network_;  // while open on a serial device server
#ifdef _WIN32
    // The time-outs the driver holds (COMMTIMEOUTS in field order), so that an
    // unchanged set is not passed again; none right after an open.
    using AppliedTimeouts = std::array<std::uint32_t, 5>;
    std::optional<AppliedTimeouts> appliedTimeouts_;
    // Bytes taken from the driver's queue and not yet handed to a reader.
    std::string readAhead_;
#else
    TPortLockFile lockFile_;  // the lock file other serial programs honour, while open
#endif
    bool connected_ = false;
    bool isPty_ = false;
    std::unique_ptr<TComThread> thread_;  // the watcher started at the last open, if any
    // Counts watcher lifetimes, so that a hand-over whose handler closed (or
    // closed and reopened) the port does not touch the watcher that ended.
    std::uint64_t watcherGeneration_ = 0;
    // Set while Close runs: a notification handler that closes again is ignored.
    bool closing_ = false;
};

// TComPort makes the behaviour of TCustomComPort available as it is.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
};
