// The connection to a serial device server on Winsock. Checked under wine,
// whose Winsock reaches the host's loopback interface.
#include "NetworkSocket.h"

// winsock2.h must come before windows.h, which would otherwise bring the old winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>

// Not in every MinGW header: "acknowledge every n-th segment" (Windows 10).
#ifndef SIO_TCP_SET_ACK_FREQUENCY
#define SIO_TCP_SET_ACK_FREQUENCY _WSAIOW(IOC_VENDOR, 23)
#endif

namespace {

SOCKET Sock(std::uintptr_t s) { return static_cast<SOCKET>(s); }

void StartWinsock() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        (void)WSAStartup(MAKEWORD(2, 2), &data);  // a failure shows in the first call that needs it
    });
}

// select's wait until the deadline, none for no limit, in its own format.
timeval* WaitUntil(std::optional<NetworkSocket::Clock::time_point> deadline, timeval& tv) {
    if (!deadline) return nullptr;
    const auto left = std::chrono::ceil<std::chrono::microseconds>(*deadline - NetworkSocket::Clock::now());
    const long long us = std::max<long long>(left.count(), 0);
    const long long capped = std::min<long long>(us, static_cast<long long>(INT_MAX) * 1000);
    tv.tv_sec = static_cast<long>(capped / 1000000);
    tv.tv_usec = static_cast<long>(capped % 1000000);
    return &tv;
}

// Waits for one socket to be writable (write) or readable; true when it is
// (or has failed), false when the deadline passed.
bool Wait(SOCKET s, bool write, std::optional<NetworkSocket::Clock::time_point> deadline) {
    for (;;) {
        fd_set ready, failed;
        FD_ZERO(&ready);
        FD_ZERO(&failed);
        FD_SET(s, &ready);
        FD_SET(s, &failed);
        timeval tv{};
        const int n = select(0, write ? nullptr : &ready, write ? &ready : nullptr, &failed, WaitUntil(deadline, tv));
        if (n != 0) return true;
        if (deadline && NetworkSocket::Clock::now() >= *deadline) return false;
    }
}

// Waits for the connect in steps; true when it has ended either way.
bool WaitConnected(SOCKET s, WaitSteps& steps) {
    for (;;) {
        if (Wait(s, true, steps.StepEnd())) return true;
        if (!steps.Continue()) return false;
    }
}

SOCKET ConnectOne(const addrinfo& a, WaitSteps& steps) {
    // Not inheritable: a program started meanwhile (the main window from the
    // bench, a plan's command) would otherwise keep the connection open after
    // it is closed here, and a device server that takes one client per port
    // would refuse the next connection as "in use" until that program ends.
    // Overlapped, as socket() makes them.
    const SOCKET s = WSASocketW(a.ai_family, a.ai_socktype, a.ai_protocol, nullptr, 0,
                                WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) return s;
    u_long nonBlocking = 1;
    (void)ioctlsocket(s, FIONBIO, &nonBlocking);
    if (connect(s, a.ai_addr, static_cast<int>(a.ai_addrlen)) != 0) {
        if (WSAGetLastError() != WSAEWOULDBLOCK || !WaitConnected(s, steps)) {
            closesocket(s);
            return INVALID_SOCKET;
        }
        int error = 0;
        int length = sizeof error;
        if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0 || error != 0) {
            closesocket(s);
            return INVALID_SOCKET;
        }
    }
    const BOOL on = TRUE;
    (void)setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    // Acknowledge every segment at once: a server with Nagle's algorithm on
    // (ser2net) holds a reply back until its answer to the purge before it
    // is acknowledged, and Windows delays acknowledgements by up to 200 ms.
    // Older systems (and wine) refuse the request; they keep their delay.
    DWORD everySegment = 1;
    DWORD returned = 0;
    (void)WSAIoctl(s, SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr, 0, &returned, nullptr,
                   nullptr);
    return s;
}

}  // namespace

int NetworkSocket::GoneError() { return ERROR_DEVICE_NOT_CONNECTED; }  // as a USB adapter pulled out
int NetworkSocket::MissingError() { return ERROR_FILE_NOT_FOUND; }     // as a COM port that is not there
int NetworkSocket::InUseError() { return ERROR_ACCESS_DENIED; }        // as a COM port another program holds
int NetworkSocket::RefusedSettingError() { return ERROR_INVALID_PARAMETER; }

void NetworkSocket::Connect(const std::string& host, const std::string& service, WaitSteps& steps) {
    Close();
    StartWinsock();
    using AddressList = std::unique_ptr<addrinfo, decltype(&freeaddrinfo)>;
    // The system's name lookup has no deadline of its own (a name server
    // that does not answer holds it for many seconds): it runs aside.
    std::optional<AddressList> addresses = CallWithin<AddressList>(
        [host, service] {
            addrinfo hints{};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_protocol = IPPROTO_TCP;
            addrinfo* found = nullptr;
            if (getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) found = nullptr;
            return AddressList(found, &freeaddrinfo);
        },
        steps);
    if (!addresses || !*addresses) throw EComPort(CError_OpenFailed, MissingError());
    const addrinfo* found = addresses->get();
    for (const addrinfo* a = found; a; a = a->ai_next) {
        if (Clock::now() >= steps.End() || steps.GaveUp()) break;
        const SOCKET s = ConnectOne(*a, steps);
        if (s != INVALID_SOCKET) {
            socket_ = static_cast<std::uintptr_t>(s);
            return;
        }
    }
    throw EComPort(CError_OpenFailed, MissingError());
}

void NetworkSocket::Close() {
    if (socket_ == Invalid) return;
    closesocket(Sock(socket_));
    socket_ = Invalid;
}

std::size_t NetworkSocket::Send(std::string_view bytes, std::optional<Clock::time_point> deadline) {
    if (socket_ == Invalid) throw EComPort(CError_WriteFailed, GoneError());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size() - done, INT_MAX));
        const int n = send(Sock(socket_), bytes.data() + done, chunk, 0);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK) throw EComPort(CError_WriteFailed, GoneError());
        if (!Wait(Sock(socket_), true, deadline)) break;  // fewer bytes sent is no failure
    }
    return done;
}

bool NetworkSocket::ReceiveNow(std::string& out) {
    if (socket_ == Invalid) return false;
    char buffer[4096];
    for (;;) {
        const int n = recv(Sock(socket_), buffer, sizeof buffer, 0);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n == 0) return false;  // the server ended the connection
        return WSAGetLastError() == WSAEWOULDBLOCK;  // anything else: it broke
    }
}

bool NetworkSocket::WaitReadable(std::optional<Clock::time_point> deadline) {
    if (socket_ == Invalid) return true;
    return Wait(Sock(socket_), false, deadline);
}
