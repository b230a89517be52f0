#include "Ser2net.h"

#include "WaitUntil.h"

#include <netinet/in.h>
#include <poll.h>
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

namespace {

int ListenOnLoopback(int& port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
        if (fd >= 0) close(fd);
        throw std::runtime_error("cannot listen");
    }
    port = ntohs(a.sin_port);
    return fd;
}

}  // namespace

SilentListener::SilentListener() { fd_ = ListenOnLoopback(port_); }

SilentListener::~SilentListener() { close(fd_); }

namespace {

constexpr unsigned char Iac = 255, Will = 251, Do = 253, Sb = 250, Se = 240;
constexpr unsigned char BinaryOption = 0, ComPortOption = 44, ServerOffset = 100;


void SendAll(int fd, const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

ComPortServer::ComPortServer(Settings settings, std::chrono::milliseconds negotiationDelay)
    : settings_(settings), negotiationDelay_(negotiationDelay) {
    listener_ = ListenOnLoopback(port_);
    thread_ = std::thread([this] { Serve(); });
}

ComPortServer::~ComPortServer() {
    stopping_ = true;
    thread_.join();
    if (client_ >= 0) close(client_);
    close(listener_);
}

bool ComPortServer::Send(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    if (client_ < 0) return false;
    SendAll(client_, bytes);
    return true;
}

void ComPortServer::Serve() {
    while (!stopping_) {
        int client;
        {
            std::lock_guard lock(mutex_);
            client = client_;
        }
        if (client >= 0 && negotiateAt_ && std::chrono::steady_clock::now() >= *negotiateAt_) {
            negotiateAt_.reset();
            // Yes to all the client asks for, before it has asked.
            std::lock_guard lock(mutex_);
            SendAll(client_, std::string{char(Iac), char(Will), char(BinaryOption), char(Iac), char(Do),
                                         char(BinaryOption), char(Iac), char(Do), char(ComPortOption)});
        }
        pollfd waits[] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}};
        if (poll(waits, client >= 0 ? 2 : 1, 10) <= 0) continue;
        if (waits[0].revents & POLLIN) {
            const int next = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (next < 0) continue;
            std::lock_guard lock(mutex_);
            if (client_ >= 0) close(client_);
            client_ = next;
            stage_ = Stage::Data;
            negotiateAt_ = std::chrono::steady_clock::now() + negotiationDelay_;
            continue;
        }
        if (client >= 0 && (waits[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[512];
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            std::lock_guard lock(mutex_);
            if (n <= 0) {
                close(client_);
                client_ = -1;
            } else {
                Take(std::string(buffer, static_cast<std::size_t>(n)));
            }
        }
    }
}

void ComPortServer::Take(const std::string& received) {
    for (const char c : received) {
        const auto b = static_cast<unsigned char>(c);
        switch (stage_) {
        case Stage::Data: if (b == Iac) stage_ = Stage::Iac; break;
        case Stage::Iac:
            if (b == Sb) {
                sub_.clear();
                stage_ = Stage::Sub;
            } else {
                stage_ = b >= Will && b <= 254 ? Stage::Verb : Stage::Data;
            }
            break;
        case Stage::Verb: stage_ = Stage::Data; break;  // the option: already agreed to
        case Stage::Sub: if (b == Iac) stage_ = Stage::SubIac; else sub_ += c; break;
        case Stage::SubIac:
            if (b == Iac) {
                sub_ += c;
                stage_ = Stage::Sub;
                break;
            }
            stage_ = Stage::Data;
            // A COM-PORT command: the same value back under the server's number.
            if (b != Se || settings_ == Settings::NeverAnswered || sub_.size() < 2 ||
                static_cast<unsigned char>(sub_[0]) != ComPortOption)
                break;
            std::string answer{char(Iac), char(Sb), char(ComPortOption), char(static_cast<unsigned char>(sub_[1]) + ServerOffset)};
            for (const char v : sub_.substr(2)) {
                answer += v;
                if (static_cast<unsigned char>(v) == Iac) answer += v;
            }
            answer += std::string{char(Iac), char(Se)};
            SendAll(client_, answer);
            break;
        }
    }
}
