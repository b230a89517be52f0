// TCustomComPort: properties, the open/close sequence, the time-outs,
// notifications and the handling of the line event watcher's hand-overs.
// The bytes themselves go through the port's PortDevice.
#include "ComPort.h"
#include "StoreAndApply.h"

#include "ComThread.h"
#include "PortDevice.h"
#include "TimeoutRules.h"

#include <algorithm>
#include <exception>

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
    // A kind of device without line events (a device server's connection,
    // a line in memory) has nothing a watcher could wait for: arrivals are
    // taken by the reads, and a line that breaks fails the next read or write.
    const std::optional<WatchedLine> line = device_->Watchable();
    if (events_ == 0 || !line) return;
    try {
        auto thread = std::make_unique<TComThread>(*line, events_, OnEventsQueued, buffer_.InputSize(),
                                                   [this](TComEvents events) { DispatchEvents(events); });
        thread->Start();
        thread_ = std::move(thread);
        device_->SetActivity(thread_.get());
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
    if (device_) device_->SetActivity(nullptr);
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
    StoreAndApply(baudRate_, value, Connected(), [this] { ApplyDCB(); });
}
void TCustomComPort::SetCustomBaudRate(std::int32_t value) {
    StoreAndApply(customBaudRate_, value, Connected(), [this] { ApplyDCB(); });
}
void TCustomComPort::SetDataBits(TDataBits value) {
    StoreAndApply(dataBits_, value, Connected(), [this] { ApplyDCB(); });
}
void TCustomComPort::SetStopBits(TStopBits value) {
    StoreAndApply(stopBits_, value, Connected(), [this] { ApplyDCB(); });
}
void TCustomComPort::SetDiscardNull(bool value) {
    StoreAndApply(discardNull_, value, Connected(), [this] { ApplyDCB(); });
}
void TCustomComPort::SetEventChar(std::uint8_t value) {
    StoreAndApply(eventChar_, value, Connected(), [this] { ApplyDCB(); });
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

// ---------------------------------------------------------------------------
// The device's part.

LineSettings TCustomComPort::CurrentLineSettings() const {
    LineSettings s;
    s.Rate = baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_);
    s.DataBits = dataBits_;
    s.Parity = parity_.Bits();
    s.ParityCheck = parity_.Check();
    s.ParityReplace = parity_.Replace();
    s.ReplaceChar = parity_.ReplaceChar();
    s.StopBits = stopBits_;
    s.OutCTSFlow = flowControl_.OutCTSFlow();
    s.OutDSRFlow = flowControl_.OutDSRFlow();
    s.DSRSensitivity = flowControl_.DSRSensitivity();
    s.TxContinueOnXoff = flowControl_.TxContinueOnXoff();
    s.XonXoffOut = flowControl_.XonXoffOut();
    s.XonXoffIn = flowControl_.XonXoffIn();
    s.DiscardNull = discardNull_;
    s.Dtr = flowControl_.ControlDTR();
    s.Rts = flowControl_.ControlRTS();
    s.XonChar = flowControl_.XonChar();
    s.XoffChar = flowControl_.XoffChar();
    s.EventChar = eventChar_;
    s.InputSize = buffer_.InputSize();
    return s;
}

TimeoutValues TCustomComPort::CurrentTimeouts() const {
    // -1 and the other negative values reach the driver as their unsigned bits.
    return {static_cast<std::uint32_t>(timeouts_.ReadInterval()),
            static_cast<std::uint32_t>(timeouts_.ReadTotalMultiplier()),
            static_cast<std::uint32_t>(timeouts_.ReadTotalConstant()),
            static_cast<std::uint32_t>(timeouts_.WriteTotalMultiplier()),
            static_cast<std::uint32_t>(timeouts_.WriteTotalConstant())};
}

void TCustomComPort::CreateHandle() {
    device_ = OpenPortDevice(port_, CurrentLineSettings(), OnLongWait);
}

void TCustomComPort::DestroyHandle() { device_.reset(); }

void TCustomComPort::ApplyBuffer() { device_->ApplyBuffer(buffer_.InputSize(), buffer_.OutputSize()); }

void TCustomComPort::ApplyDCB() { device_->ApplyLine(CurrentLineSettings()); }

void TCustomComPort::ApplyTimeouts() { device_->ApplyTimeouts(CurrentTimeouts()); }

TComHandle TCustomComPort::Handle() const {
    if (!device_) return NoComHandle;
    const std::optional<WatchedLine> line = device_->Watchable();
    return line ? line->Handle : NoComHandle;
}

void TCustomComPort::PurgeBuffers(bool input, bool output) {
    if (device_) device_->Purge(input, output);
}

int TCustomComPort::WriteText(const std::string& text) {
    if (text.empty()) return 0;
    if (!device_) throw EComPort(CError_WriteFailed, ClosedDeviceError());
    return device_->Write(text, WriteDeadline(CurrentTimeouts(), text.size()));
}

std::string TCustomComPort::ReadText(int count) {
    if (!device_) throw EComPort(CError_ReadFailed, ClosedDeviceError());
    if (count <= 0) return {};
    return device_->Read(count, PlanRead(CurrentTimeouts(), count));
}

int TCustomComPort::BytesWaiting() {
    int waiting = 0;
    (void)ClearError(waiting);
    return waiting;
}

bool TCustomComPort::WaitForInput(int timeoutMs) {
    if (!device_) throw EComPort(CError_ReadFailed, ClosedDeviceError());
    return device_->WaitForInput(DeadlineIn(static_cast<std::uint64_t>(std::max(timeoutMs, 0))));
}

TComErrors TCustomComPort::ClearError(int& inQueue) {
    if (!device_) throw EComPort(CError_ClearComFailed, ClosedDeviceError());
    return device_->ClearError(inQueue);
}

int TCustomComPort::ModemStatus() {
    if (!device_) throw EComPort(CError_ModemStatFailed, ClosedDeviceError());
    return device_->ModemStatus();
}
