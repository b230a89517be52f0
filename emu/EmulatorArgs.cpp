#include "EmulatorArgs.h"

#include "DeviceState.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace {

std::optional<int> ParseInt(const std::string& text, int min, int max) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) return std::nullopt;
    return value;
}

std::optional<std::array<std::uint8_t, 3>> ParseVersion(const std::string& text) {
    std::array<std::uint8_t, 3> version{};
    std::size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = i < 2 ? text.find('.', start) : text.size();
        if (dot == std::string::npos) return std::nullopt;
        const auto part = ParseInt(text.substr(start, dot - start), 0, 255);
        if (!part) return std::nullopt;
        version[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*part);
        start = dot + 1;
    }
    return version;
}

std::optional<std::vector<std::uint16_t>> ParseCodes(const std::string& text) {
    std::vector<std::uint16_t> words;
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const auto word = ParseTroubleCode(std::string_view(text).substr(start, comma - start));
        if (!word) return std::nullopt;
        words.push_back(*word);
        start = comma + 1;
    }
    if (words.size() > kCodeSlots) return std::nullopt;
    return words;
}

}  // namespace

std::string EmulatorUsage() {
    return "Usage: knsim-emu [options]\n"
           "Emulates the KARNOL OBD-II simulator on a pseudo-terminal. Prints the path of\n"
           "its port on the first line of its output and runs until SIGINT or SIGTERM.\n"
           "SIGUSR1 presses the reset button (restart into the boot loader).\n"
           "\n"
           "State:\n"
           "  --serial TEXT       serial number, at most 16 characters (default KNEMU0001)\n"
           "  --version A.B.C     installed firmware version (default: the carried one)\n"
           "  --protocol N        bus protocol 1 to 9 (default 6)\n"
           "  --ecus N            number of ECUs, 1 or 2 (default 1)\n"
           "  --codes1 LIST       trouble codes of ECU 1, e.g. P0301,P0420 (at most 10)\n"
           "  --codes2 LIST       trouble codes of ECU 2\n"
           "  --mil               malfunction indicator lamp on\n"
           "  --boot              start in the boot loader\n"
           "  --restart-ms MS     silence after a firmware transfer before the firmware\n"
           "                      runs (default 800)\n"
           "\n"
           "Wire:\n"
           "  --link PATH         also make PATH a symbolic link to the port (removed at\n"
           "                      exit)\n"
           "  --log FILE          append every command and boot-loader event to FILE,\n"
           "                      one per line\n"
           "  --log-times         put the time of each entry before it in the log file,\n"
           "                      in milliseconds since the start (e.g. \"1234.567 !S\"); a\n"
           "                      command's time is when its carriage return arrived\n"
           "  --pace              hold every byte, both ways, to the speed of a 115200-baud\n"
           "                      line\n"
           "\n"
           "Diagnostic side (an ELM327 v1.5 adapter with the configured ECUs behind it):\n"
           "  --obd               open a second pseudo-terminal for scan tools; its path is\n"
           "                      the second line of the output\n"
           "  --obd-link PATH     also make PATH a symbolic link to it (implies --obd)\n"
           "  --obd-baud N        the adapter's line speed, which paces its replies:\n"
           "                      9600, 19200, 38400, 57600, 115200, 230400 or 500000\n"
           "                      (default 38400)\n"
           "  --ecu-delay MS      the ECUs' response time to a request (default 20)\n"
           "  --live              let engine speed and vehicle speed move slowly\n"
           "  The ECUs answer SAE J1979 modes 01 (PIDs 00 01 05 0C 0D 0F 11 1C 1F 20 40),\n"
           "  03 (the active codes), 04 (clears both counts and the MIL), 07 and 0A (none)\n"
           "  and 09 PID 02 (VIN WKN0EMU0000000001), on the configured protocol only.\n"
           "  The engine is warm and idles: 800 rpm, 0 km/h, coolant 90 C, intake air\n"
           "  30 C, throttle 15 %, run time counted from the emulator's start; with\n"
           "  --live speed swings between 0 and 60 km/h and back every two minutes.\n"
           "\n"
           "Faults of the firmware:\n"
           "  --silent            never answer a command\n"
           "  --no-hash           data replies without the leading \"#\"\n"
           "  --empty-identity    answer \"!I\" with an empty line\n"
           "  --garbled-hex       a non-hex digit in the middle of every data reply\n"
           "  --missing-tag X     leave tag X (P T M I L or R) out of the status line\n"
           "  --refuse-protocol   never answer a protocol change \"!P\"\n"
           "  --byte-delay MS     pause before every reply byte (the line end counts as one)\n"
           "  --vanish-after N    answer N commands, then close the port when the next comes\n"
           "  --return-after MS   after vanishing, come back on a new port MS later (the\n"
           "                      link re-pointed, the new path printed on its own line)\n"
           "\n"
           "Faults of the boot loader (frames counted from 1, the header frame):\n"
           "  --no-poll-answer    never answer the poll \"P\" with \"c\"\n"
           "  --bad-ack N         acknowledge frame N with a wrong checksum\n"
           "  --no-ack N          do not acknowledge frame N\n"
           "  --ack-delay MS      pause before every acknowledgement\n"
           "\n"
           "  --help              show this text\n";
}

EmulatorArgs ParseEmulatorArgs(const std::vector<std::string>& args) {
    EmulatorArgs result;
    EmulatorOptions& o = result.Options;
    using Setter = std::function<bool(const std::string&)>;
    auto intInto = [](int& target, int min, int max) -> Setter {
        return [&target, min, max](const std::string& v) {
            const auto n = ParseInt(v, min, max);
            if (n) target = *n;
            return n.has_value();
        };
    };
    constexpr int kMaxMs = 3600 * 1000;
    std::string obdDetail;  // an option of the diagnostic side that was given
    const std::map<std::string, Setter> withValue = {
        {"--serial", [&](const std::string& v) { o.Serial = v; return v.size() <= kSerialSize; }},
        {"--version", [&](const std::string& v) { o.Version = ParseVersion(v); return o.Version.has_value(); }},
        {"--protocol", intInto(o.Protocol, 1, 9)},
        {"--ecus", [&](const std::string& v) {
             const auto n = ParseInt(v, 1, 2);
             if (n) o.TwoEcus = *n == 2;
             return n.has_value();
         }},
        {"--codes1", [&](const std::string& v) { auto c = ParseCodes(v); if (c) o.Codes1 = *c; return c.has_value(); }},
        {"--codes2", [&](const std::string& v) { auto c = ParseCodes(v); if (c) o.Codes2 = *c; return c.has_value(); }},
        {"--restart-ms", intInto(o.RestartSilenceMs, 0, kMaxMs)},
        {"--link", [&](const std::string& v) { o.LinkPath = v; return !v.empty(); }},
        {"--log", [&](const std::string& v) { o.LogPath = v; return !v.empty(); }},
        {"--missing-tag", [&](const std::string& v) {
             o.Faults.MissingTag = v.size() == 1 ? v[0] : 0;
             return v.size() == 1 && std::string_view("PTMILR").find(v[0]) != std::string_view::npos;
         }},
        {"--byte-delay", intInto(o.Faults.ByteDelayMs, 0, kMaxMs)},
        {"--vanish-after", intInto(o.Faults.VanishAfter, 1, 1000000)},
        {"--return-after", intInto(o.Faults.ReturnAfterMs, 0, kMaxMs)},
        {"--bad-ack", intInto(o.Boot.BadAckChecksumFrame, 1, 1000000)},
        {"--no-ack", intInto(o.Boot.NoAckFrame, 1, 1000000)},
        {"--ack-delay", intInto(o.Boot.AckDelayMs, 0, kMaxMs)},
        {"--obd-link", [&](const std::string& v) { o.Obd.LinkPath = v; o.Obd.Enabled = true; return !v.empty(); }},
        {"--obd-baud", [&](const std::string& v) {
             obdDetail = "--obd-baud";
             const auto n = ParseInt(v, 1, 500000);
             const bool known = n && (*n == 9600 || *n == 19200 || *n == 38400 || *n == 57600 || *n == 115200 ||
                                      *n == 230400 || *n == 500000);
             if (known) o.Obd.Baud = *n;
             return known;
         }},
        {"--ecu-delay", [&](const std::string& v) {
             obdDetail = "--ecu-delay";
             return intInto(o.Obd.EcuDelayMs, 0, kMaxMs)(v);
         }},
    };
    const std::map<std::string, bool*> flags = {
        {"--mil", &o.Mil},
        {"--boot", &o.StartInBootLoader},
        {"--pace", &o.Pace},
        {"--log-times", &o.LogTimes},
        {"--silent", &o.Faults.Silent},
        {"--no-hash", &o.Faults.NoHash},
        {"--empty-identity", &o.Faults.EmptyIdentity},
        {"--garbled-hex", &o.Faults.GarbledHex},
        {"--refuse-protocol", &o.Faults.RefuseProtocol},
        {"--no-poll-answer", &o.Boot.NeverAnswerPoll},
        {"--obd", &o.Obd.Enabled},
        {"--live", &o.Obd.Live},
        {"--help", &result.Help},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (const auto f = flags.find(name); f != flags.end() && !value) {
            *f->second = true;
            continue;
        }
        const auto s = withValue.find(name);
        if (s == withValue.end()) {
            result.Error = "unknown option " + args[i];
            return result;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                result.Error = name + " needs a value";
                return result;
            }
            value = args[++i];
        }
        if (!s->second(*value)) {
            result.Error = "invalid value for " + name + ": " + *value;
            return result;
        }
    }
    if (o.Codes1.size() > kCodeSlots || o.Codes2.size() > kCodeSlots) result.Error = "at most 10 trouble codes per ECU";
    if (o.Obd.Live) obdDetail = "--live";
    if (!o.Obd.Enabled && !obdDetail.empty() && result.Error.empty()) result.Error = obdDetail + " needs --obd";
    return result;
}
