#pragma once
// ser2net (Debian's serial device server) as a child of a test, in front of
// a pseudo-terminal: its own configuration file, 127.0.0.1 and a free port,
// stopped when the object goes. Never the system's own service.

#include "Child.h"
#include "TestFiles.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

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

// A serial device server as small as a test needs, on 127.0.0.1: Telnet
// with the COM-PORT option, its own code (nothing shared with the port it
// tests). It takes one client at a time, agrees to the negotiation
// (negotiationDelay after the connect) and answers every COM-PORT command
// with the value asked for, unless it is made to stay silent after the
// negotiation.
class ComPortServer {
public:
    enum class Settings { Answered, NeverAnswered };
    // Throws std::runtime_error when it cannot listen.
    explicit ComPortServer(Settings settings = Settings::Answered,
                           std::chrono::milliseconds negotiationDelay = std::chrono::milliseconds(0));
    ~ComPortServer();
    ComPortServer(const ComPortServer&) = delete;
    ComPortServer& operator=(const ComPortServer&) = delete;

    std::string Name() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    // Puts bytes on the wire to the client as they are (Telnet escapes
    // included); false when no client is connected.
    bool Send(const std::string& bytes);

private:
    void Serve();
    void Take(const std::string& received);

    Settings settings_;
    std::chrono::milliseconds negotiationDelay_;
    std::optional<std::chrono::steady_clock::time_point> negotiateAt_;  // serve thread only
    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    int client_ = -1;  // guarded by mutex_
    std::atomic<bool> stopping_{false};
    // Where the client's bytes stand: data, after IAC, after a verb, in a
    // subnegotiation, after IAC in one.
    enum class Stage { Data, Iac, Verb, Sub, SubIac } stage_ = Stage::Data;
    std::string sub_;
    std::thread thread_;
};
