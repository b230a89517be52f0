// A stand-in for a diagnostic scan tool, for test plans: it speaks ELM327 to
// knsim-emu --obd's adapter port, as PC scan tools do.
//   scan-tool-standin read    prints the stored codes (mode 03), comma-separated
//   scan-tool-standin clear   clears codes and MIL (mode 04)
// The adapter's port comes from OBD_PORT (a plan's [box.*.env]).
// Exit status 0, or 1 with a message when the adapter does not answer as it should.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

class Adapter {
public:
    explicit Adapter(const std::string& port) : fd_(open(port.c_str(), O_RDWR | O_NOCTTY)) {
        if (fd_ < 0) throw std::runtime_error("cannot open " + port + ": " + std::strerror(errno));
        termios t{};
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B38400);
        tcsetattr(fd_, TCSANOW, &t);
    }
    ~Adapter() { close(fd_); }

    // Sends a command and gives the adapter's answer up to its prompt ">".
    std::string Ask(const std::string& command) {
        const std::string line = command + "\r";
        if (write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("cannot write to the adapter");
        std::string answer;
        while (answer.find('>') == std::string::npos) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 5000) <= 0) throw std::runtime_error("no answer to " + command);
            char buffer[256];
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            if (n <= 0) throw std::runtime_error("the adapter went away");
            answer.append(buffer, static_cast<std::size_t>(n));
        }
        return answer.substr(0, answer.find('>'));
    }

private:
    int fd_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!line.empty()) lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

std::vector<int> Bytes(const std::string& hex) {
    std::vector<int> bytes;
    std::istringstream in(hex);
    for (std::string b; in >> b;) bytes.push_back(static_cast<int>(std::strtol(b.c_str(), nullptr, 16)));
    return bytes;
}

std::string Code(int high, int low) {
    char text[8];
    std::snprintf(text, sizeof text, "%c%04X", "PCBU"[high >> 6], (high & 0x3F) << 8 | low);
    return text;
}

// Mode 03's answer: on CAN each ECU's message has a count byte after 0x43
// and may come in numbered frames after a length line; off CAN each frame
// holds three codes, padded with zeros.
std::string StoredCodes(const std::string& answer, bool can) {
    std::vector<std::vector<int>> messages;
    bool multiFrame = false;
    for (const auto& line : Lines(answer)) {
        if (line == "SEARCHING..." || line == "NO DATA") continue;
        if (line.size() == 3 && line.find(' ') == std::string::npos) {
            messages.emplace_back();
            multiFrame = true;
            continue;
        }
        const auto colon = line.find(':');
        const auto bytes = Bytes(colon == std::string::npos ? line : line.substr(colon + 1));
        if (colon != std::string::npos && multiFrame) {
            messages.back().insert(messages.back().end(), bytes.begin(), bytes.end());
        } else {
            messages.push_back(bytes);
            multiFrame = false;
        }
    }
    std::string codes;
    for (const auto& m : messages) {
        if (m.empty() || m[0] != 0x43) throw std::runtime_error("not an answer to mode 03: " + answer);
        const std::size_t first = can ? 2 : 1;
        const std::size_t count = can && m.size() > 1 ? static_cast<std::size_t>(m[1]) : (m.size() - 1) / 2;
        for (std::size_t i = 0; i < count && first + 2 * i + 1 < m.size(); ++i) {
            const int high = m[first + 2 * i], low = m[first + 2 * i + 1];
            if (high == 0 && low == 0) continue;
            codes += (codes.empty() ? "" : ",") + Code(high, low);
        }
    }
    return codes;
}

}  // namespace

int main(int argc, char** argv) {
    const char* port = std::getenv("OBD_PORT");
    const std::string what = argc > 1 ? argv[1] : "";
    if (!port || (what != "read" && what != "clear")) {
        std::fprintf(stderr, "usage: OBD_PORT=PATH %s read|clear\n", argv[0]);
        return 2;
    }
    try {
        Adapter adapter(port);
        adapter.Ask("ATZ");
        for (const char* setup : {"ATE0", "ATH0", "ATSP0"}) adapter.Ask(setup);
        if (what == "read") {
            const std::string answer = adapter.Ask("03");
            const std::string protocol = Lines(adapter.Ask("ATDPN")).at(0);
            std::printf("%s\n", StoredCodes(answer, protocol.back() >= '6' && protocol.back() <= '9').c_str());
        } else {
            const std::string answer = adapter.Ask("04");
            if (answer.find("44") == std::string::npos) throw std::runtime_error("codes not cleared: " + answer);
            std::printf("cleared\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "scan-tool-standin: %s\n", e.what());
        return 1;
    }
    return 0;
}
