#pragma once
// What a port needs of whatever carries its bytes, behind one interface: a
// local device (PortDevicePosix.cpp, PortDeviceWin32.cpp), a serial device
// server reached over the network, or a line in memory (MemoryDevice.cpp).
// OpenPortDevice chooses the kind from the port's name, once, when the port
// opens; nothing else in the program asks which kind it is.

#include "ComTypes.h"
#include "EComPort.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

using PortClock = std::chrono::steady_clock;
// When a wait ends; none waits without limit.
using Deadline = std::optional<PortClock::time_point>;

// Every line setting, built afresh from the port's properties each time
// they are applied.
struct LineSettings {
    int Rate = 9600;  // bits per second
    TDataBits DataBits = dbEight;
    TParityBits Parity = prNone;
    bool ParityCheck = false;
    bool ParityReplace = false;
    std::uint8_t ReplaceChar = 0;
    TStopBits StopBits = sbOneStopBit;
    bool OutCTSFlow = false;
    bool OutDSRFlow = false;
    bool DSRSensitivity = false;
    bool TxContinueOnXoff = false;
    bool XonXoffOut = false;
    bool XonXoffIn = false;
    bool DiscardNull = false;
    TDTRFlowControl Dtr = dtrDisable;
    TRTSFlowControl Rts = rtsDisable;
    std::uint8_t XonChar = 17;
    std::uint8_t XoffChar = 19;
    std::uint8_t EventChar = 0;
    std::int32_t InputSize = 1024;
    bool operator==(const LineSettings&) const = default;
};

// The five time-outs as a driver takes them, in this order; -1 is all-ones.
struct TimeoutValues {
    std::uint32_t ReadInterval = 0xFFFFFFFFu;
    std::uint32_t ReadTotalMultiplier = 0;
    std::uint32_t ReadTotalConstant = 0;
    std::uint32_t WriteTotalMultiplier = 100;
    std::uint32_t WriteTotalConstant = 1000;
    bool operator==(const TimeoutValues&) const = default;
};

// What one read may wait for under the time-outs (TimeoutRules.cpp).
struct ReadPlan {
    enum class Mode {
        Immediate,     // what is there, at once
        FirstArrival,  // what is there, else the first byte to arrive, else nothing at Total
        AsSet,         // up to the count until Total, at most Gap between bytes
    };
    Mode Kind = Mode::Immediate;
    Deadline Total;
    std::optional<std::chrono::milliseconds> Gap;
    TimeoutValues Values;  // for a driver that keeps the time-outs itself
};

// The device's notices to the line event watcher.
class LineActivity {
public:
    virtual ~LineActivity() = default;
    // A write has been sent completely (the transmit queue is empty).
    virtual void Transmitted() = 0;
    // Bytes left the input queue (a read or a purge), remaining stay there.
    virtual void Consumed(int remaining) = 0;
};

// The local device a line event watcher waits on.
struct WatchedLine {
    TComHandle Handle = NoComHandle;
    bool PseudoTerminal = false;  // no modem lines, no line error counters
};

// Called again and again while a device waits longer than a reply may take
// (a device server's name lookup and connect), first with what it waits for
// ("rack-pc:7000"); false gives the wait up, and the open fails as for a
// port that is not there. The owner keeps its window painted meanwhile.
using LongWaitHook = std::function<bool(const std::string& target)>;

class PortDevice {
public:
    virtual ~PortDevice() = default;  // closes the device
    PortDevice() = default;
    PortDevice(const PortDevice&) = delete;
    PortDevice& operator=(const PortDevice&) = delete;

    virtual void ApplyBuffer(std::int32_t inputSize, std::int32_t outputSize) = 0;  // EComPort 9
    virtual void ApplyLine(const LineSettings& settings) = 0;                       // EComPort 7
    virtual void ApplyTimeouts(const TimeoutValues& values) = 0;                    // EComPort 8
    // Discards received bytes (input). Output asks to drop what waits to be
    // sent, but never what a finished write handed on: those bytes are a
    // command or the boot loader's start byte on their way. Failures are ignored.
    virtual void Purge(bool input, bool output) = 0;
    // Sends text within the deadline; the count sent. EComPort 2.
    virtual int Write(const std::string& text, Deadline deadline) = 0;
    // Reads up to count (> 0) bytes as the plan allows. EComPort 3.
    virtual std::string Read(int count, const ReadPlan& plan) = 0;
    // Until a received byte waits (or the line reports a fault, which the next
    // read raises); false when the deadline passed first.
    virtual bool WaitForInput(Deadline deadline) = 0;
    // Reads and resets the line's error state; the input-queue count. EComPort 10.
    virtual TComErrors ClearError(int& inQueue) = 0;
    // The modem lines as Modem* bits. EComPort 11.
    virtual int ModemStatus() = 0;
    // The device a watcher can wait on for line events; none for a kind that has none.
    virtual std::optional<WatchedLine> Watchable() const { return std::nullopt; }
    // Where the device reports writes and reads to the watcher; null when none runs.
    virtual void SetActivity(LineActivity* activity) { (void)activity; }
};

// The system's error number for a request on a port that is not open.
[[nodiscard]] int ClosedDeviceError();

// Opens the device that the port name stands for, with the settings it is
// to run with. Raises EComPort 1 when it cannot be opened.
[[nodiscard]] std::unique_ptr<PortDevice> OpenPortDevice(const std::string& name, const LineSettings& settings,
                                                         const LongWaitHook& longWait);

// Whether the name reaches a port that no system list shows (a device
// server's address, a line in memory): such a name is offered as it stands.
[[nodiscard]] bool IsUnlistedPortName(const std::string& name);
