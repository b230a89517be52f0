#pragma once
// A bare POSIX client of the emulator's port, so that its tests do not
// depend on the serial layer or the link they are meant to check.

#include "Pty.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class PtyClient {
public:
    explicit PtyClient(const std::string& path) : fd_(OpenRaw(path)) {}
    ~PtyClient() { Close(); }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    void Close() { fd_ = fd_ >= 0 ? (::close(fd_), -1) : -1; }

    void Write(const std::string& text) { Write(std::vector<std::uint8_t>(text.begin(), text.end())); }
    void Write(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }

    // One byte within timeoutMs; nullopt on time-out or hang-up.
    std::optional<std::uint8_t> ReadByte(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return std::nullopt;
        std::uint8_t b;
        if (::read(fd_, &b, 1) != 1) return std::nullopt;
        return b;
    }

    std::vector<std::uint8_t> ReadBytes(std::size_t n, int timeoutMs) {
        std::vector<std::uint8_t> bytes;
        while (bytes.size() < n) {
            const auto b = ReadByte(timeoutMs);
            if (!b) break;
            bytes.push_back(*b);
        }
        return bytes;
    }

    // Everything up to and including "\r\n"; nullopt if no complete line came.
    std::optional<std::string> ReadLine(int timeoutMs = 1000) {
        std::string text;
        while (auto b = ReadByte(timeoutMs)) {
            text += static_cast<char>(*b);
            if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) return text;
        }
        return std::nullopt;
    }

    // Sends a command with its carriage return and returns the reply
    // without its line end.
    std::optional<std::string> Command(const std::string& command, int timeoutMs = 1000) {
        ::tcflush(fd_, TCIFLUSH);
        Write(command + "\r");
        auto reply = ReadLine(timeoutMs);
        if (reply) reply->resize(reply->size() - 2);
        return reply;
    }

private:
    int fd_ = -1;
};

inline std::vector<std::uint8_t> Unhex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline long long MillisSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t).count();
}
