#pragma once
// ser2net (Debian's serial device server) as a child of a test, in front of
// a pseudo-terminal: its own configuration file, 127.0.0.1 and a free port,
// stopped when the object goes. Never the system's own service.

#include "Child.h"
#include "TestFiles.h"

#include <memory>
#include <string>

// A TCP port on 127.0.0.1 that nothing listens on right now.
int FreeLoopbackPort();

class Ser2net {
public:
    // Serves device (a pseudo-terminal's path) at 115200 8N1: as Telnet with
    // the COM-PORT option on RfcPort(), as raw TCP on TcpPort(). Waits until
    // both listen; throws std::runtime_error when ser2net does not start.
    // charDelay keeps ser2net's default of holding the device's bytes for a
    // millisecond or more before passing them on (the README turns it off).
    explicit Ser2net(const std::string& device, bool charDelay = false);
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    int RfcPort() const { return rfcPort_; }
    int TcpPort() const { return tcpPort_; }
    std::string RfcName() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort_); }
    std::string TcpName() const { return "tcp://127.0.0.1:" + std::to_string(tcpPort_); }
    // Ends the server (SIGTERM) and waits for it: its connections break.
    void Stop();

private:
    TempFolder folder_{"kns-ser2net"};
    int rfcPort_ = 0;
    int tcpPort_ = 0;
    std::unique_ptr<Child> process_;
};

// Whether something listens on 127.0.0.1:port (read from /proc/net/tcp, so
// that asking makes no connection the server would count).
bool LoopbackListens(int port);

// A socket that listens and never accepts: the connection is made by the
// system, but no server ever says a word.
class SilentListener {
public:
    SilentListener();  // throws std::runtime_error when it cannot listen
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};
