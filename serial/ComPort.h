#pragma once
// The serial port layer: one open, configured serial line. The port keeps
// the properties, the open and close sequence, the time-outs and the
// notifications; whatever carries the bytes (a local device, a serial device
// server, a line in memory) is one PortDevice, chosen when the port opens.
// No window code; the window, the command line and the tests all link it.

#include "ComTypes.h"
#include "EComPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Rate in bits per second of a TBaudRate other than brCustom.
int BaudRateValue(TBaudRate rate);

class TCustomComPort;
class TComThread;
class PortDevice;
struct LineSettings;
struct TimeoutValues;

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
    bool Connected() const { return device_ != nullptr && connected_; }
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

    // Called again and again while the port waits longer than a reply may
    // take (opening a device server's connection), first with what it waits
    // for; false gives the wait up and the open fails as for a missing port.
    // Without it such waits simply block.
    std::function<bool(const std::string& target)> OnLongWait;

    // The local device while open; NoComHandle while closed, and for a port
    // that has no local device.
    TComHandle Handle() const;

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

    int ModemStatus();  // raises EComPort 11
    // Reads and resets the line's error state and gives the input-queue count.
    TComErrors ClearError(int& inQueue);  // raises EComPort 10
    LineSettings CurrentLineSettings() const;
    TimeoutValues CurrentTimeouts() const;
    void StartWatcher();
    void StopWatcher();

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

    std::unique_ptr<PortDevice> device_;  // while open
    bool connected_ = false;
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
