#pragma once
// A serial line reached through a serial device server: the port's reads,
// writes, purges and line settings over a TCP connection, either with the
// Telnet COM-PORT option (rfc2217://) or as raw bytes (tcp://). The port
// (ComPort.cpp) hands its work here when its name is a network address, so
// the link cannot tell it from a local port.

#include "ComPort.h"
#include "NetworkAddress.h"
#include "NetworkSocket.h"
#include "Rfc2217Codec.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class NetworkPort {
public:
    using Clock = std::chrono::steady_clock;
    // Connecting and the negotiation after it, together.
    static constexpr std::chrono::milliseconds ConnectTimeout{3000};
    // How long a server that refuses the connection is asked again, and how often.
    static constexpr std::chrono::milliseconds RefusalRetry{1000};
    static constexpr std::chrono::milliseconds RefusalRetryStep{50};

    // Connects and, for RFC 2217, negotiates binary transmission and the
    // COM-PORT option. A server that is not there or does not answer in
    // time raises EComPort 1 as a missing port does, one that ends the
    // connection at once as a port in use does.
    explicit NetworkPort(const std::string& name);

    // 115200 8N1 and the rest, asked of the server and checked against its
    // answers (RFC 2217; a raw server keeps its own settings). DTR and RTS
    // requests are sent and never waited for. Settings the server has
    // confirmed already are not asked again. Raises EComPort 7, or 1 when
    // the server ends the connection before it has answered.
    void ApplyLineSettings(int rate, TDataBits dataBits, TParityBits parity, TStopBits stopBits,
                           TDTRFlowControl dtr, TRTSFlowControl rts);

    void Purge(bool input, bool output);
    // Sends all of data within the write time-out; the count sent.
    int Write(const std::string& data, std::optional<Clock::time_point> deadline);
    // Reads under the port's read time-outs, with the meanings a local port gives them.
    std::string Read(int count, std::uint32_t interval, std::uint32_t multiplier, std::uint32_t constant);
    int Waiting();
    bool WaitForInput(int timeoutMs);

private:
    bool Telnet() const { return address_.Kind == NetworkAddress::Protocol::Rfc2217; }
    // Takes what has arrived without waiting: data to the input, answers to
    // the server at once. False when the connection has ended.
    bool Pump();
    // Pump, and wait for more until the deadline; false when the deadline passed.
    bool PumpUntil(std::optional<Clock::time_point> deadline);
    [[noreturn]] void FailGone(int errorCode) const;
    std::size_t SendNow(const std::string& bytes, std::optional<Clock::time_point> deadline);
    // Whatever the server answered to one command, waiting until the deadline.
    std::optional<std::string> AnswerTo(std::uint8_t command, Clock::time_point deadline);

    NetworkAddress address_;
    NetworkSocket socket_;
    Rfc2217Codec codec_;
    std::string input_;    // data from the serial line, not yet read
    std::string control_;  // commands to the server that go out with the next write
    std::vector<Rfc2217Codec::Answer> answers_;
    struct LineSettings {
        int Rate;
        TDataBits DataBits;
        TParityBits Parity;
        TStopBits StopBits;
        TDTRFlowControl Dtr;
        TRTSFlowControl Rts;
        bool operator==(const LineSettings&) const = default;
    };
    std::optional<LineSettings> applied_;  // what the server last confirmed
    bool tookSomething_ = false;  // the last Pump received bytes
    bool ended_ = false;      // the server ended the connection (or it broke)
    bool delivered_ = false;  // a reader has had a byte of the line
    bool settled_ = false;    // the first line settings were answered
};
