#include "ElmAdapter.h"

#include "ObdFrames.h"

#include <array>
#include <cctype>
#include <vector>

namespace {

constexpr std::string_view kAtPrefix = "AT";
constexpr std::string_view kOk = "OK";
constexpr std::string_view kUnknown = "?";
constexpr std::string_view kNoData = "NO DATA";
constexpr std::string_view kUnableToConnect = "UNABLE TO CONNECT";
constexpr std::string_view kSearching = "SEARCHING...";
constexpr std::string_view kDeviceDescription = "OBDII to RS232 Interpreter";
// The engine runs, so the alternator charges.
constexpr std::string_view kBatteryVoltage = "14.2V";
constexpr std::string_view kClearRequest = "04";
// The adapter takes requests of up to seven data bytes.
constexpr std::size_t kMaxRequestBytes = 7;
constexpr int kHighestProtocol = 0x0C;

// ELM327 protocol numbers 1 to C; 1 to 9 are the simulator's too.
constexpr std::array<std::string_view, 13> kProtocolNames = {
    "AUTO",
    "SAE J1850 PWM",
    "SAE J1850 VPW",
    "ISO 9141-2",
    "ISO 14230-4 (KWP 5BAUD)",
    "ISO 14230-4 (KWP FAST)",
    "ISO 15765-4 (CAN 11/500)",
    "ISO 15765-4 (CAN 29/500)",
    "ISO 15765-4 (CAN 11/250)",
    "ISO 15765-4 (CAN 29/250)",
    "SAE J1939 (CAN 29/250)",
    "USER1 CAN (11* /125)",
    "USER2 CAN (11* /50)",
};

// Commands a scan tool sends to tune timing, filters, headers it sends or
// the like; they change nothing about what the simulated bus answers.
enum class Arg { None, Bit, Hex };
struct Harmless {
    std::string_view Name;
    Arg Argument;
};
constexpr Harmless kHarmless[] = {
    {"AL", Arg::None},  {"NL", Arg::None},  {"AR", Arg::None},  {"BI", Arg::None},  {"PC", Arg::None},
    {"FI", Arg::None},  {"SI", Arg::None},  {"SS", Arg::None},  {"CEA", Arg::None}, {"JE", Arg::None},
    {"JS", Arg::None},  {"LP", Arg::None},  {"D", Arg::Bit},  {"M", Arg::Bit},    {"R", Arg::Bit},    {"V", Arg::Bit},
    {"CFC", Arg::Bit},  {"CSM", Arg::Bit},  {"JHF", Arg::Bit},  {"KW", Arg::Bit},   {"IB", Arg::Hex},
    {"SH", Arg::Hex},   {"SW", Arg::Hex},   {"WM", Arg::Hex},   {"CRA", Arg::Hex},  {"CRA", Arg::None},
    {"CF", Arg::Hex},   {"CM", Arg::Hex},   {"CP", Arg::Hex},   {"TA", Arg::Hex},   {"SR", Arg::Hex},
    {"IIA", Arg::Hex},  {"FCSM", Arg::Hex}, {"FCSH", Arg::Hex}, {"FCSD", Arg::Hex}, {"CV", Arg::Hex},
    {"PP", Arg::Hex},   {"AT", Arg::Hex},   {"ST", Arg::Hex},   {"AMT", Arg::Hex},
};

bool IsHex(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

int HexValue(char c) { return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A' + 10; }

bool ArgFits(std::string_view arg, Arg kind) {
    switch (kind) {
    case Arg::None: return arg.empty();
    case Arg::Bit: return arg == "0" || arg == "1";
    case Arg::Hex: return IsHex(arg) && arg.size() <= 8;
    }
    return false;
}

// Blanks and control characters are ignored, letters taken in either case.
std::string Normalize(std::string_view line) {
    std::string text;
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= ' ') continue;
        text += static_cast<char>(std::toupper(u));
    }
    return text;
}

bool IsClearRequest(std::string_view command) {
    return command.substr(0, 2) == kClearRequest && command.size() <= 3;  // with a response count too
}

EcuAddress AddressOf(const DeviceState& state, int ecu) {
    const std::size_t canId = ecu == 2 ? kEcu2CanIdOffset : kEcu1CanIdOffset;
    EcuAddress a;
    a.CanId = static_cast<std::uint16_t>(state.Config[canId] | state.Config[canId + 1] << 8);
    a.Address = state.Config[ecu == 2 ? kEcu2AddressOffset : kEcu1AddressOffset];
    return a;
}

}  // namespace

void ElmAdapter::Reset() {
    echo_ = true;
    linefeeds_ = false;
    spaces_ = true;
    headers_ = false;
    autoFormat_ = true;
    autoProtocol_ = true;
    chosenProtocol_ = 0;
    connectedProtocol_ = 0;
}

std::string ElmAdapter::Lines(const std::vector<std::string>& lines) const {
    std::string text;
    for (const auto& line : lines) text += line + Eol();
    return text + Eol() + ">";
}

AdapterReply ElmAdapter::Execute(std::string_view line, DeviceState& state, const BusConditions& bus) {
    AdapterReply reply;
    if (echo_) reply.Now = std::string(line) + Eol();
    std::string command = Normalize(line);
    if (command.empty()) {
        const bool atCommand = lastCommand_.rfind(kAtPrefix, 0) == 0;
        if (lastCommand_.empty() || (!atCommand && IsClearRequest(lastCommand_))) {
            reply.Later = ">";
            return reply;
        }
        command = lastCommand_;
    }
    lastCommand_ = command;
    if (command.rfind(kAtPrefix, 0) == 0) {
        reply.Later = AtCommand(std::string_view(command).substr(kAtPrefix.size()));
        return reply;
    }
    AdapterReply request = Request(command, state, bus);
    reply.Now += request.Now;
    reply.Later = request.Later;
    reply.FromEcus = request.FromEcus;
    return reply;
}

std::string ElmAdapter::Describe() const {
    const int shown = autoProtocol_ && connectedProtocol_ ? connectedProtocol_ : chosenProtocol_;
    if (!autoProtocol_) return std::string(kProtocolNames[static_cast<std::size_t>(shown)]);
    if (shown == 0) return std::string(kProtocolNames[0]);
    return std::string(kProtocolNames[0]) + ", " + std::string(kProtocolNames[static_cast<std::size_t>(shown)]);
}

std::string ElmAdapter::AtCommand(std::string_view c) {
    auto ok = [&] { return Lines({std::string(kOk)}); };
    auto flag = [&](std::string_view name, bool& target) {
        if (c.size() != name.size() + 1 || c.substr(0, name.size()) != name) return false;
        const char v = c.back();
        if (v != '0' && v != '1') return false;
        target = v == '1';
        return true;
    };
    if (c == "Z" || c == "WS") {
        Reset();
        return Lines({"", std::string(kElmIdentity)});
    }
    if (c == "I") return Lines({std::string(kElmIdentity)});
    if (c == "@1") return Lines({std::string(kDeviceDescription)});
    if (c == "D") {
        const bool autoProtocol = autoProtocol_;
        const int chosen = chosenProtocol_, connected = connectedProtocol_;
        Reset();
        autoProtocol_ = autoProtocol;
        chosenProtocol_ = chosen;
        connectedProtocol_ = connected;
        return ok();
    }
    if (flag("E", echo_) || flag("L", linefeeds_) || flag("S", spaces_) || flag("H", headers_) ||
        flag("CAF", autoFormat_))
        return ok();
    if (c == "DP") return Lines({Describe()});
    if (c == "DPN") {
        const int shown = autoProtocol_ && connectedProtocol_ ? connectedProtocol_ : chosenProtocol_;
        std::string text = autoProtocol_ ? "A" : "";
        text += "0123456789ABC"[shown];
        return Lines({text});
    }
    if (c == "RV") return Lines({std::string(kBatteryVoltage)});
    // ATSP h: this protocol only (0: search); ATSPA h and ATTP h, ATTPA h:
    // search, trying h first.
    for (std::string_view name : {"SP", "TP"}) {
        if (c.substr(0, 2) != name) continue;
        std::string_view arg = c.substr(2);
        bool automatic = name == "TP";
        if (arg.size() == 2 && arg[0] == 'A') {
            automatic = true;
            arg.remove_prefix(1);
        }
        if (arg.size() != 1 || !IsHex(arg) || HexValue(arg[0]) > kHighestProtocol) break;
        const int protocol = HexValue(arg[0]);
        autoProtocol_ = automatic || protocol == 0;
        chosenProtocol_ = protocol;
        connectedProtocol_ = 0;
        return ok();
    }
    for (const Harmless& h : kHarmless)
        if (c.substr(0, h.Name.size()) == h.Name && ArgFits(c.substr(h.Name.size()), h.Argument)) return ok();
    return Lines({std::string(kUnknown)});
}

AdapterReply ElmAdapter::Request(std::string_view hex, DeviceState& state, const BusConditions& bus) {
    AdapterReply reply;
    if (!IsHex(hex) || hex.size() < 2) {
        reply.Later = Lines({std::string(kUnknown)});
        return reply;
    }
    // An odd last digit is the number of answers to wait for.
    std::size_t limit = 0;
    if (hex.size() % 2 != 0) {
        limit = static_cast<std::size_t>(HexValue(hex.back()));
        hex.remove_suffix(1);
    }
    std::vector<std::uint8_t> request;
    for (std::size_t i = 0; i < hex.size(); i += 2)
        request.push_back(static_cast<std::uint8_t>(HexValue(hex[i]) << 4 | HexValue(hex[i + 1])));
    if (request.size() > kMaxRequestBytes) {
        reply.Later = Lines({std::string(kUnknown)});
        return reply;
    }

    reply.FromEcus = true;
    const int configured = state.Protocol;
    if (autoProtocol_) {
        if (connectedProtocol_ != configured) {
            // Not connected yet, or the bus changed under us: search again.
            reply.Now = std::string(kSearching) + Eol();
            connectedProtocol_ = bus.EcusRunning ? configured : 0;
            if (!bus.EcusRunning) {
                reply.Later = Lines({std::string(kUnableToConnect)});
                return reply;
            }
        }
    } else if (chosenProtocol_ != configured) {
        // A real bus of another protocol would stay silent.
        reply.Later = Lines({std::string(kUnableToConnect)});
        return reply;
    }
    if (!bus.EcusRunning) {
        reply.Later = Lines({std::string(kNoData)});
        return reply;
    }

    auto answers = AnswerObdRequest(request, state, IsCan(configured), bus.Signals);
    if (limit > 0 && answers.size() > limit) answers.resize(limit);
    if (answers.empty()) {
        reply.Later = Lines({std::string(kNoData)});
        return reply;
    }
    const FrameStyle style{headers_, spaces_, autoFormat_};
    std::vector<std::string> lines;
    for (const auto& a : answers) {
        const auto ecuLines = FormatEcuAnswer(configured, AddressOf(state, a.Ecu), a.Messages, style);
        lines.insert(lines.end(), ecuLines.begin(), ecuLines.end());
    }
    reply.Later = Lines(lines);
    return reply;
}
