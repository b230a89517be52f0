#pragma once
// One TCP connection to a serial device server, with the waits the port's
// time-outs need. NetworkSocketPosix.cpp and NetworkSocketWin32.cpp (Winsock)
// hold the system's part. Failures are raised as EComPort with the numbers a
// local port would give for the same situation, so that the user reads the
// same texts (see the error numbers below).

#include "EComPort.h"
#include "WaitSteps.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class NetworkSocket {
public:
    using Clock = std::chrono::steady_clock;

    NetworkSocket() = default;
    ~NetworkSocket() { Close(); }
    NetworkSocket(const NetworkSocket&) = delete;
    NetworkSocket& operator=(const NetworkSocket&) = delete;

    // Resolves host and connects to the first of its addresses that answers
    // before the steps' deadline, name lookup included, with Nagle's
    // algorithm off (every command and frame goes out at once). Raises
    // EComPort 1 with MissingError, also when the owner gives the wait up.
    void Connect(const std::string& host, const std::string& service, WaitSteps& steps);
    void Close();
    bool IsOpen() const { return socket_ != Invalid; }

    // Sends all of bytes, waiting for room until the deadline (none: no
    // limit); gives the count sent. Raises EComPort 2 with GoneError.
    std::size_t Send(std::string_view bytes, std::optional<Clock::time_point> deadline);
    // Appends what has arrived, without waiting. False when the server has
    // ended the connection (or it broke); what came before that is appended.
    [[nodiscard]] bool ReceiveNow(std::string& out);
    // Waits until something can be received (or the connection ended), or
    // until the deadline; true when it can.
    bool WaitReadable(std::optional<Clock::time_point> deadline);

    // The system numbers of the failures as a local port reports them: a
    // connection that broke is a line that has gone; a server that is not
    // there or does not answer is a port that does not exist; a server that
    // refuses this client is a port in use.
    static int GoneError();
    static int MissingError();
    static int InUseError();
    // A line setting the server did not take, as a driver refuses one.
    static int RefusedSettingError();

private:
    static constexpr std::uintptr_t Invalid = ~std::uintptr_t{0};
    std::uintptr_t socket_ = Invalid;  // a descriptor on POSIX, a SOCKET on Windows
};
