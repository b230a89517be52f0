#pragma once
// A serial line reached through a serial device server: the port's reads,
// writes, purges and line settings over a TCP connection, either with the
// Telnet COM-PORT option (rfc2217://) or as raw bytes (tcp://). The port
// opens one for a name that is a network address, and the link cannot
// tell it from a local port.

#include "NetworkAddress.h"
#include "NetworkSocket.h"
#include "PortDevice.h"
#include "Rfc2217Codec.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Opens a port whose name is a device server's address ("rfc2217://HOST:PORT",
// "tcp://HOST:PORT") with the line's settings. A server that refuses the
// connection is asked again for a short while (RefusalRetry), since ser2net
// lets go of its device only a moment after the previous client has left.
// All of it, the answers to the line settings included, ends within
// ConnectTimeout. longWait is called while it waits. EComPort 1.
[[nodiscard]] std::unique_ptr<PortDevice> OpenNetworkDevice(const std::string& name, const LineSettings& settings,
                                                            const LongWaitHook& longWait);

class NetworkPort final : public PortDevice {
public:
    using Clock = std::chrono::steady_clock;
    // The whole open: the name lookup, the connect, the negotiation after it
    // and the answers to the line settings, together.
    static constexpr std::chrono::milliseconds ConnectTimeout{3000};
    // How long a server that refuses the connection is asked again, and how often.
    static constexpr std::chrono::milliseconds RefusalRetry{1000};
    static constexpr std::chrono::milliseconds RefusalRetryStep{50};

    // Connects and, for RFC 2217, negotiates binary transmission and the
    // COM-PORT option, then asks for the line settings, all before deadline.
    // A server that is not there or does not answer in time raises EComPort 1
    // as a missing port does, one that ends the connection at once as a port
    // in use does. keepWaiting is asked between the steps of every wait until then.
    NetworkPort(const NetworkAddress& address, const LineSettings& settings, WaitSteps::KeepWaiting keepWaiting,
                Clock::time_point deadline);

    // The connection's buffers are the system's.
    void ApplyBuffer(std::int32_t, std::int32_t) override {}
    // 115200 8N1 and the rest, asked of the server and checked against its
    // answers (RFC 2217; a raw server keeps its own settings). DTR and RTS
    // requests are sent and never waited for. Settings the server has
    // confirmed already are not asked again. Raises EComPort 7, or 1 when
    // the server ends the connection before it has answered. A change while
    // open has ConnectTimeout for its answers.
    void ApplyLine(const LineSettings& settings) override;
    // The reads and writes keep the time-outs themselves.
    void ApplyTimeouts(const TimeoutValues&) override {}
    void Purge(bool input, bool output) override;
    int Write(const std::string& data, Deadline deadline) override;
    std::string Read(int count, const ReadPlan& plan) override;
    bool WaitForInput(Deadline deadline) override;
    // A connection reports no line errors.
    TComErrors ClearError(int& inQueue) override;
    // The server is not asked for its modem lines: all off, as on a cable with none.
    int ModemStatus() override { return 0; }

private:
    bool Telnet() const { return address_.Kind == NetworkAddress::Protocol::Rfc2217; }
    // Takes what has arrived without waiting: data to the input, answers to
    // the server at once. False when the connection has ended.
    bool Pump();
    // Pump, and wait for more until the deadline; false when the deadline passed.
    bool PumpUntil(Deadline deadline);
    [[noreturn]] void FailGone(int errorCode) const;
    std::size_t SendNow(const std::string& bytes, Deadline deadline);
    // Whatever the server answered to one command, waiting until the deadline.
    std::optional<std::string> AnswerTo(std::uint8_t command, Clock::time_point deadline);
    // ApplyLine with the answers due by deadline; silence raises silentError.
    void ApplyLineBy(const LineSettings& settings, Clock::time_point deadline, int silentError);

    NetworkAddress address_;
    NetworkSocket socket_;
    Rfc2217Codec codec_;
    std::string input_;    // data from the serial line, not yet read
    std::string control_;  // commands to the server that go out with the next write
    // Answers to the commands awaited right now; any other answer or
    // notification of the server is dropped as it comes, so that a long
    // connection (or a server that floods) does not grow the program.
    std::vector<std::uint8_t> awaited_;
    std::vector<Rfc2217Codec::Answer> answers_;
    std::optional<LineSettings> applied_;  // what the server last confirmed
    // While the port opens: asked between the steps of every wait.
    WaitSteps::KeepWaiting keepWaiting_;
    bool tookSomething_ = false;  // the last Pump received bytes
    bool ended_ = false;      // the server ended the connection (or it broke)
    bool delivered_ = false;  // a reader has had a byte of the line
    bool settled_ = false;    // the first line settings were answered
};
