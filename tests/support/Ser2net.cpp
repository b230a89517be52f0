#include "Ser2net.h"

#include "WaitUntil.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("no socket");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free port");
    }
    close(fd);
    return ntohs(a.sin_port);
}

bool LoopbackListens(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::getline(table, line);  // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local == wanted && state == "0A") return true;  // 0A: listening
    }
    return false;
}

Ser2net::Ser2net(const std::string& device, bool charDelay) {
    rfcPort_ = FreeLoopbackPort();
    do tcpPort_ = FreeLoopbackPort();
    while (tcpPort_ == rfcPort_);
    // "local": a pseudo-terminal has no modem lines to wait for. Without
    // chardelay ser2net passes the device's bytes on at once instead of
    // holding them for a millisecond or more, as the README advises.
    const std::string connector = "  connector: serialdev," + device + ",115200n81,local\n" +
                                  (charDelay ? "" : "  options:\n    chardelay: false\n");
    WriteFile(folder_ / "ser2net.yaml",
              "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1," + std::to_string(rfcPort_) + "\n" +
                  connector + "connection: &raw\n  accepter: tcp,127.0.0.1," + std::to_string(tcpPort_) + "\n" +
                  connector);
    process_ = std::make_unique<Child>(
        "/usr/sbin/ser2net",
        std::vector<std::string>{"-n", "-c", folder_ / "ser2net.yaml", "-P", folder_ / "ser2net.pid"});
    if (!WaitUntil([this] { return LoopbackListens(rfcPort_) && LoopbackListens(tcpPort_); }, 10000)) {
        const std::string said = process_->Err() + process_->Out();
        Stop();
        throw std::runtime_error("ser2net did not start: " + said);
    }
}

Ser2net::~Ser2net() { Stop(); }

void Ser2net::Stop() {
    if (!process_ || !process_->Running()) return;
    process_->Signal(SIGTERM);
    (void)process_->Wait(10000);
}

SilentListener::SilentListener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        if (fd_ >= 0) close(fd_);
        throw std::runtime_error("cannot listen");
    }
    port_ = ntohs(a.sin_port);
}

SilentListener::~SilentListener() { close(fd_); }
