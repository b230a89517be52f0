// The connection to a serial device server on POSIX sockets.
#include "NetworkSocket.h"

#include "PollDeadline.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {

int Fd(std::uintptr_t s) { return static_cast<int>(s); }

// Acknowledge every segment at once. A server with Nagle's algorithm on
// (ser2net) answers the purge before a command in one small segment and
// holds the reply back until that one is acknowledged; a delayed
// acknowledgement would cost up to 40 ms per command and per boot-loader
// frame. The system leaves this mode by itself now and then, so it is asked
// for again after every send and receive.
void AckAtOnce(int fd) {
    const int on = 1;
    (void)setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

// Connects one address without blocking past the deadline; the descriptor,
// or -1.
int ConnectOne(const addrinfo& a, WaitSteps& steps) {
    const int fd = socket(a.ai_family, a.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a.ai_protocol);
    if (fd < 0) return -1;
    if (connect(fd, a.ai_addr, a.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            close(fd);
            return -1;
        }
        PollResult r = PollUntil(fd, POLLOUT, steps.StepEnd());
        while (r.timedOut && steps.Continue()) r = PollUntil(fd, POLLOUT, steps.StepEnd());
        int error = 0;
        socklen_t length = sizeof error;
        if (r.timedOut || r.error != 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            close(fd);
            return -1;
        }
    }
    const int on = 1;
    (void)setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    AckAtOnce(fd);
    return fd;
}

}  // namespace

int NetworkSocket::GoneError() { return EIO; }        // as a hung-up terminal
int NetworkSocket::MissingError() { return ENOENT; }  // as a device that is not there
int NetworkSocket::InUseError() { return EBUSY; }     // as a device opened exclusively elsewhere
int NetworkSocket::RefusedSettingError() { return EINVAL; }

void NetworkSocket::Connect(const std::string& host, const std::string& service, WaitSteps& steps) {
    Close();
    using AddressList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;
    // The system's name lookup has no deadline of its own (a name server
    // that does not answer holds it for many seconds): it runs aside.
    std::optional<AddressList> addresses = CallWithin<AddressList>(
        [host, service] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
            addrinfo* found = nullptr;
            if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) found = nullptr;
            return AddressList(found, &freeaddrinfo);
        },
        steps);
    if (!addresses || !*addresses) throw EComPort(CError_OpenFailed, MissingError());
    const addrinfo* found = addresses->get();
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (Clock::now() >= steps.End() || steps.GaveUp()) break;
        const int fd = ConnectOne(*a, steps);
        if (fd >= 0) {
            socket_ = static_cast<std::uintptr_t>(fd);
            return;
        }
    }
    throw EComPort(CError_OpenFailed, MissingError());
}

void NetworkSocket::Close() {
    if (socket_ == Invalid) return;
    close(Fd(socket_));
    socket_ = Invalid;
}

std::size_t NetworkSocket::Send(std::string_view bytes, std::optional<Clock::time_point> deadline) {
    if (socket_ == Invalid) throw EComPort(CError_WriteFailed, GoneError());
    std::size_t done = 0;
    while (done < bytes.size()) {
        // MSG_NOSIGNAL: a connection the server closed must fail the write,
        // not end the program with SIGPIPE.
        const ssize_t n = send(Fd(socket_), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) throw EComPort(CError_WriteFailed, GoneError());
        const PollResult r = PollUntil(Fd(socket_), POLLOUT, deadline);
        if (r.timedOut) break;  // fewer bytes sent is no failure, as on a local port
        if (r.error != 0 || (!(r.revents & POLLOUT) && (r.revents & (POLLHUP | POLLERR | POLLNVAL))))
            throw EComPort(CError_WriteFailed, GoneError());
    }
    AckAtOnce(Fd(socket_));
    return done;
}

bool NetworkSocket::ReceiveNow(std::string& out) {
    if (socket_ == Invalid) return false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = recv(Fd(socket_), buffer, sizeof buffer, 0);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            AckAtOnce(Fd(socket_));
            continue;
        }
        if (n == 0) return false;  // the server ended the connection
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;  // anything else: it broke
    }
}

bool NetworkSocket::WaitReadable(std::optional<Clock::time_point> deadline) {
    if (socket_ == Invalid) return true;
    const PollResult r = PollUntil(Fd(socket_), POLLIN, deadline);
    return !r.timedOut;
}
