// Local device or serial device server: the port's name decides, here,
// for every operation. A local device's part is in ComPortPosix.cpp and
// ComPortWin32.cpp; a device server's in NetworkPort.cpp.
#include "ComPort.h"

#include "NetworkAddress.h"
#include "NetworkPort.h"

#include <chrono>
#include <thread>

void TCustomComPort::CreateHandle() {
    if (!IsNetworkPortName(port_)) {
        DeviceCreateHandle();
        return;
    }
    // ser2net lets go of its device only a moment after the previous client
    // has left, and refuses whoever comes in between as if the line were in
    // use: a refusal is asked again for a short while before it counts.
    const auto askUntil = std::chrono::steady_clock::now() + NetworkPort::RefusalRetry;
    for (;;) {
        try {
            auto network = std::make_unique<NetworkPort>(port_);
            ApplyNetworkSettings(*network);
            network_ = std::move(network);
            return;
        } catch (const EComPort& failure) {
            if (failure.Kind() != FailureKind::InUse || std::chrono::steady_clock::now() >= askUntil) throw;
        }
        std::this_thread::sleep_for(NetworkPort::RefusalRetryStep);
    }
}

void TCustomComPort::ApplyNetworkSettings(NetworkPort& network) {
    const int rate = baudRate_ == brCustom ? customBaudRate_ : BaudRateValue(baudRate_);
    network.ApplyLineSettings(rate, dataBits_, parity_.Bits(), stopBits_, flowControl_.ControlDTR(),
                              flowControl_.ControlRTS());
}

void TCustomComPort::DestroyHandle() {
    if (network_)
        network_.reset();  // closes the connection
    else
        DeviceDestroyHandle();
}

void TCustomComPort::ApplyBuffer() {
    if (!network_) DeviceApplyBuffer();  // the connection's buffers are the system's
}

void TCustomComPort::ApplyDCB() {
    if (!network_) {
        DeviceApplyDCB();
        return;
    }
    ApplyNetworkSettings(*network_);  // unchanged settings are not asked again
}

void TCustomComPort::ApplyTimeouts() {
    if (!network_) DeviceApplyTimeouts();  // the reads and writes keep them themselves
}

void TCustomComPort::PurgeBuffers(bool input, bool output) {
    if (network_)
        network_->Purge(input, output);
    else
        DevicePurge(input, output);
}

int TCustomComPort::WriteText(const std::string& text) {
    if (!network_) return DeviceWrite(text);
    if (text.empty()) return 0;
    const auto multiplier = static_cast<std::uint32_t>(timeouts_.WriteTotalMultiplier());
    const auto constant = static_cast<std::uint32_t>(timeouts_.WriteTotalConstant());
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (multiplier != 0 || constant != 0)
        deadline = std::chrono::steady_clock::now() +
                   std::chrono::milliseconds(std::uint64_t{multiplier} * text.size() + constant);
    return network_->Write(text, deadline);
}

std::string TCustomComPort::ReadText(int count) {
    if (!network_) return DeviceRead(count);
    return network_->Read(count, static_cast<std::uint32_t>(timeouts_.ReadInterval()),
                          static_cast<std::uint32_t>(timeouts_.ReadTotalMultiplier()),
                          static_cast<std::uint32_t>(timeouts_.ReadTotalConstant()));
}

int TCustomComPort::BytesWaiting() {
    int waiting = 0;
    (void)ClearError(waiting);
    return waiting;
}

bool TCustomComPort::WaitForInput(int timeoutMs) {
    return network_ ? network_->WaitForInput(timeoutMs) : DeviceWaitForInput(timeoutMs);
}

TComErrors TCustomComPort::ClearError(int& inQueue) {
    if (!network_) return DeviceClearError(inQueue);
    inQueue = network_->Waiting();
    return 0;  // a connection reports no line errors
}

int TCustomComPort::ModemStatus() {
    // The server is not asked for its modem lines: all off, as on a cable with none.
    return network_ ? 0 : DeviceModemStatus();
}
