// TCustomComPort: properties, the open/close sequence, notifications and the
// handling of the line event watcher's hand-overs. The device work itself
// lives in ComPortPosix.cpp (termios, poll, ioctl) and ComPortWin32.cpp, and
// ComPortRouting.cpp hands each operation to the device or to a device server.
#include "ComPort.h"

#include "ComThread.h"
#include "NetworkPort.h"

#include <exception>

int BaudRateValue(TBaudRate rate) {
    switch (rate) {
    case br110: return 110;
    case br300: return 300;
    case br600: return 600;
    case br1200: return 1200;
    case br2400: return 2400;
    case br4800: return 4800;
    case br9600: return 9600;
    case br14400: return 14400;
    case br19200: return 19200;
    case br38400: return 38400;
    case br56000: return 56000;
    case br57600: return 57600;
    case br115200: return 115200;
    case br128000: return 128000;
    case br256000: return 256000;
    case brCustom: break;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// Settings groups: a change is stored and, only while the port is open,
// reapplied at once.

TComTimeouts& TComTimeouts::operator=(const TComTimeouts& other) {
    SetReadInterval(other.readInterval_);
    SetReadTotalMultiplier(other.readTotalMultiplier_);
    SetReadTotalConstant(other.readTotalConstant_);
    SetWriteTotalMultiplier(other.writeTotalMultiplier_);
    SetWriteTotalConstant(other.writeTotalConstant_);
    return *this;
}

void TComTimeouts::Set(std::int32_t& member, std::int32_t v) {
    // An unchanged value is not passed to the driver again: the link sets the
    // read time-outs before every byte it reads.
    if (member == v) return;
    member = v;
    if (port_.Connected()) port_.ApplyTimeouts();
}

void TComTimeouts::SetReadInterval(std::int32_t v) { Set(readInterval_, v); }
void TComTimeouts::SetReadTotalMultiplier(std::int32_t v) { Set(readTotalMultiplier_, v); }
void TComTimeouts::SetReadTotalConstant(std::int32_t v) { Set(readTotalConstant_, v); }
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t v) { Set(writeTotalMultiplier_, v); }
void TComTimeouts::SetWriteTotalConstant(std::int32_t v) { Set(writeTotalConstant_, v); }

namespace {

template <class T, class Apply>
void StoreAndApply(T& member, T v, TCustomComPort& port, Apply apply) {
    if (member == v) return;
    member = v;
    if (port.Connected()) apply();
}

}  // namespace

TComParity& TComParity::operator=(const TComParity& other) {
    SetBits(other.bits_);
    SetCheck(other.check_);
    SetReplace(other.replace_);
    SetReplaceChar(other.replaceChar_);
    return *this;
}

void TComParity::SetBits(TParityBits v) { StoreAndApply(bits_, v, port_, [this] { port_.ApplyDCB(); }); }
void TComParity::SetCheck(bool v) { StoreAndApply(check_, v, port_, [this] { port_.ApplyDCB(); }); }
void TComParity::SetReplace(bool v) { StoreAndApply(replace_, v, port_, [this] { port_.ApplyDCB(); }); }
void TComParity::SetReplaceChar(std::uint8_t v) {
    StoreAndApply(replaceChar_, v, port_, [this] { port_.ApplyDCB(); });
}

TComFlowControl& TComFlowControl::operator=(const TComFlowControl& other) {
    SetOutCTSFlow(other.outCTSFlow_);
    SetOutDSRFlow(other.outDSRFlow_);
    SetControlDTR(other.controlDTR_);
    SetControlRTS(other.controlRTS_);
    SetXonXoffOut(other.xonXoffOut_);
    SetXonXoffIn(other.xonXoffIn_);
    SetDSRSensitivity(other.dsrSensitivity_);
    SetTxContinueOnXoff(other.txContinueOnXoff_);
    SetXonChar(other.xonChar_);
    SetXoffChar(other.xoffChar_);
    return *this;
}

template <class T>
void TComFlowControl::Set(T& member, T v) {
    StoreAndApply(member, v, port_, [this] { port_.ApplyDCB(); });
}

void TComFlowControl::SetOutCTSFlow(bool v) { Set(outCTSFlow_, v); }
void TComFlowControl::SetOutDSRFlow(bool v) { Set(outDSRFlow_, v); }
void TComFlowControl::SetControlDTR(TDTRFlowControl v) { Set(controlDTR_, v); }
void TComFlowControl::SetControlRTS(TRTSFlowControl v) { Set(controlRTS_, v); }
void TComFlowControl::SetXonXoffOut(bool v) { Set(xonXoffOut_, v); }
void TComFlowControl::SetXonXoffIn(bool v) { Set(xonXoffIn_, v); }
void TComFlowControl::SetDSRSensitivity(bool v) { Set(dsrSensitivity_, v); }
void TComFlowControl::SetTxContinueOnXoff(bool v) { Set(txContinueOnXoff_, v); }
void TComFlowControl::SetXonChar(std::uint8_t v) { Set(xonChar_, v); }
void TComFlowControl::SetXoffChar(std::uint8_t v) { Set(xoffChar_, v); }

TComBuffer& TComBuffer::operator=(const TComBuffer& other) {
    SetInputSize(other.inputSize_);
    SetOutputSize(other.outputSize_);
    return *this;
}

void TComBuffer::Set(std::int32_t& member, std::int32_t v) {
    if (v > 0 && v % 2 == 1) --v;  // queue sizes are even
    StoreAndApply(member, v, port_, [this] { port_.ApplyBuffer(); });
}

void TComBuffer::SetInputSize(std::int32_t v) { Set(inputSize_, v); }
void TComBuffer::SetOutputSize(std::int32_t v) { Set(outputSize_, v); }

// ---------------------------------------------------------------------------
// The port.

TCustomComPort::TCustomComPort() = default;

TCustomComPort::~TCustomComPort() {
    // A destructor must not throw; Close itself raises nothing, but a
    // notification handler might.
    try {
        Close();
    } catch (...) {
    }
}

void TCustomComPort::Open() {
    if (Connected()) return;
    DoBeforeOpen();
    CreateHandle();  // EComPort 1; nothing else happens then
    connected_ = true;
    try {
        ApplySettings();
    } catch (...) {
        DestroyHandle();
        connected_ = false;
        throw;
    }
    StartWatcher();
    DoAfterOpen();
    // A failed status read leaves the port open, watcher included; the caller
    // decides whether to close it.
    DoCTSChange((ModemStatus() & ModemCTS) != 0);
    DoDSRChange((ModemStatus() & ModemDSR) != 0);
    DoRLSDChange((ModemStatus() & ModemRLSD) != 0);
}

void TCustomComPort::Close() {
    if (!Connected() || closing_) return;
    closing_ = true;
    struct ClearFlag {
        bool& flag;
        ~ClearFlag() { flag = false; }
    } clearFlag{closing_};
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    // Requests never outlive their call here (every read and write waits for
    // its own end), so there is nothing pending to abort before the watcher stops.
    // A handler that fails while the watcher's last hand-over is handled must
    // not leave the line open (and locked): close first, report it afterwards.
    std::exception_ptr failure;
    try {
        StopWatcher();
    } catch (...) {
        failure = std::current_exception();
    }
    DestroyHandle();
    connected_ = false;
    DoAfterClose();
    if (failure) std::rethrow_exception(failure);
}

void TCustomComPort::SetConnected(bool value) {
    if (value)
        Open();
    else
        Close();
}

void TCustomComPort::ApplySettings() {
    ApplyBuffer();
    ApplyDCB();
    ApplyTimeouts();
}

void TCustomComPort::StartWatcher() {
    // A connection to a device server has no line events a watcher could
    // wait for: no modem lines, no line errors; arrivals are taken by the
    // reads, and a connection that breaks fails the next read or write.
    if (events_ == 0 || network_) return;
    try {
        auto thread = std::make_unique<TComThread>(*this, fd_, events_, isPty_, OnEventsQueued,
                                                   buffer_.InputSize());
        thread->Start();
        thread_ = std::move(thread);
    } catch (const std::exception&) {
        // Out of descriptors or threads: the line still works for reading and
        // writing, only its notifications stay silent.
        thread_.reset();
    }
}

void TCustomComPort::StopWatcher() {
    if (!thread_) return;
    // Gone from the port before it stops, whatever its last hand-over does.
    const std::unique_ptr<TComThread> thread = std::move(thread_);
    ++watcherGeneration_;
    thread->Stop();  // handles hand-overs still queued, then joins
}

void TCustomComPort::HandleQueuedEvents() {
    if (!thread_) return;
    const std::uint64_t generation = watcherGeneration_;
    const std::optional<TComEvents> events = thread_->TakeQueued();
    if (!events) return;
    // Release the watcher however the handlers end; if one of them closed the
    // port, that watcher is gone and must not be touched.
    struct Finish {
        TCustomComPort& port;
        std::uint64_t generation;
        ~Finish() {
            if (port.watcherGeneration_ == generation && port.thread_) port.thread_->FinishHandled();
        }
    } finish{*this, generation};
    try {
        DispatchEvents(*events);
    } catch (const EComPort&) {
        // A status query that fails here reaches no caller; the port's next
        // read or write reports its own error.
    }
}

void TCustomComPort::DispatchEvents(TComEvents events) {
    auto has = [events](TComEvent e) { return (events & ComEventBit(e)) != 0; };
    if (has(evError)) {
        int waiting = 0;
        const TComErrors errors = ClearError(waiting);
        if (errors != 0) DoError(errors);
    }
    if (has(evRxChar)) {
        const int count = BytesWaiting();
        if (count > 0) DoRxChar(count);
    }
    if (has(evTxEmpty)) DoTxEmpty();
    if (has(evBreak)) DoBreak();
    if (has(evRing)) DoRing();
    if (has(evCTS)) DoCTSChange((ModemStatus() & ModemCTS) != 0);
    if (has(evDSR)) DoDSRChange((ModemStatus() & ModemDSR) != 0);
    if (has(evRxFlag)) DoRxFlag();
    if (has(evRLSD)) DoRLSDChange((ModemStatus() & ModemRLSD) != 0);
    if (has(evRx80Full)) DoRx80Full();
}

// ---------------------------------------------------------------------------
// Properties.

void TCustomComPort::SetPort(const std::string& value) {
    if (value == port_) return;  // exact, letter case included
    port_ = value;
    if (Connected()) {
        Close();
        Open();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate value) {
    StoreAndApply(baudRate_, value, *this, [this] { ApplyDCB(); });
}
void TCustomComPort::SetCustomBaudRate(std::int32_t value) {
    StoreAndApply(customBaudRate_, value, *this, [this] { ApplyDCB(); });
}
void TCustomComPort::SetDataBits(TDataBits value) {
    StoreAndApply(dataBits_, value, *this, [this] { ApplyDCB(); });
}
void TCustomComPort::SetStopBits(TStopBits value) {
    StoreAndApply(stopBits_, value, *this, [this] { ApplyDCB(); });
}
void TCustomComPort::SetDiscardNull(bool value) {
    StoreAndApply(discardNull_, value, *this, [this] { ApplyDCB(); });
}
void TCustomComPort::SetEventChar(std::uint8_t value) {
    StoreAndApply(eventChar_, value, *this, [this] { ApplyDCB(); });
}

void TCustomComPort::SetEvents(TComEvents value) {
    // Takes effect when the port is next opened.
    events_ = static_cast<TComEvents>(value & AllComEvents);
}

void TCustomComPort::SetSyncMethod(TSyncMethod value) {
    if (value == syncMethod_) return;
    if (Connected()) throw EComPort(CError_ConnChangeProp);
    syncMethod_ = value;
}

// ---------------------------------------------------------------------------
// Raisers.

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(*this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(*this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(*this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(*this); }
void TCustomComPort::DoRxChar(int count) { if (OnRxChar) OnRxChar(*this, count); }
void TCustomComPort::DoRxBuf() { if (OnRxBuf) OnRxBuf(*this); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(*this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(*this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(*this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(*this); }
void TCustomComPort::DoCTSChange(bool state) { if (OnCTSChange) OnCTSChange(*this, state); }
void TCustomComPort::DoDSRChange(bool state) { if (OnDSRChange) OnDSRChange(*this, state); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(*this, errors); }
void TCustomComPort::DoRLSDChange(bool state) { if (OnRLSDChange) OnRLSDChange(*this, state); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(*this); }
