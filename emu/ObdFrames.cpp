#include "ObdFrames.h"

#include <algorithm>
#include <cstdio>

namespace {

// Response headers off CAN: priority or format byte, the tester as target,
// the ECU as source.
constexpr std::uint8_t kPwmPriority = 0x41;
constexpr std::uint8_t kVpwPriority = 0x48;  // also ISO 9141-2
constexpr std::uint8_t kTesterTarget = 0x6B;
constexpr std::uint8_t kKwpFormat = 0x80;    // physical addressing; low bits: data length
constexpr std::uint8_t kTesterAddress = 0xF1;

// 29-bit CAN: priority 18, physical response DA, tester F1, then the ECU.
constexpr std::uint8_t kCan29Priority = 0x18;
constexpr std::uint8_t kCan29Physical = 0xDA;

constexpr std::size_t kCanFrameSize = 8;
constexpr std::size_t kSingleFrameMax = 7;
constexpr std::size_t kFirstFrameData = 6;
constexpr std::size_t kConsecutiveFrameData = 7;
constexpr std::uint8_t kFirstFramePci = 0x10;
constexpr std::uint8_t kConsecutiveFramePci = 0x20;
// ECUs fill the unused bytes of a CAN frame; adapters show them in the last
// frame of a long message.
constexpr std::uint8_t kCanPadding = 0x00;

// SAE J1850 CRC: polynomial x^8 + x^4 + x^3 + x^2 + 1, preset and inverted.
std::uint8_t J1850Crc(const std::vector<std::uint8_t>& bytes) {
    std::uint8_t crc = 0xFF;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = static_cast<std::uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x1D : crc << 1);
    }
    return static_cast<std::uint8_t>(~crc);
}

// ISO 9141-2 and ISO 14230-4: the sum of all bytes, modulo 256.
std::uint8_t SumChecksum(const std::vector<std::uint8_t>& bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string Join(const std::string& head, const std::string& tail, bool spaces) {
    if (head.empty()) return tail;
    return spaces ? head + " " + tail : head + tail;
}

std::string CanHeader(BusFamily family, const EcuAddress& ecu, bool spaces) {
    if (family == BusFamily::Can11) {
        char text[8];
        std::snprintf(text, sizeof text, "%03X", ecu.CanId & 0x7FFu);
        return text;
    }
    return HexPairs({kCan29Priority, kCan29Physical, kTesterAddress, ecu.Address}, spaces);
}

void FormatCanMessage(BusFamily family, const EcuAddress& ecu, const std::vector<std::uint8_t>& message,
                      const FrameStyle& style, std::vector<std::string>& lines) {
    const bool raw = style.Headers || !style.AutoFormat;
    const std::string header = style.Headers ? CanHeader(family, ecu, style.Spaces) : "";
    if (message.size() <= kSingleFrameMax) {
        if (!raw) {
            lines.push_back(HexPairs(message, style.Spaces));
            return;
        }
        std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(message.size())};
        frame.insert(frame.end(), message.begin(), message.end());
        // Without automatic formatting the adapter prints the whole frame.
        if (!style.AutoFormat) frame.resize(kCanFrameSize, kCanPadding);
        lines.push_back(Join(header, HexPairs(frame, style.Spaces), style.Spaces));
        return;
    }
    // A transport message longer than one frame: a first frame with the
    // length, then consecutive frames numbered 1 to F, 0, 1, ...
    std::vector<std::vector<std::uint8_t>> frames;
    const std::size_t length = message.size();
    std::vector<std::uint8_t> first{static_cast<std::uint8_t>(kFirstFramePci | (length >> 8 & 0x0F)),
                                    static_cast<std::uint8_t>(length & 0xFF)};
    first.insert(first.end(), message.begin(), message.begin() + kFirstFrameData);
    frames.push_back(first);
    for (std::size_t at = kFirstFrameData, n = 1; at < length; at += kConsecutiveFrameData, ++n) {
        std::vector<std::uint8_t> frame{static_cast<std::uint8_t>(kConsecutiveFramePci | (n & 0x0F))};
        const std::size_t take = std::min(kConsecutiveFrameData, length - at);
        frame.insert(frame.end(), message.begin() + static_cast<std::ptrdiff_t>(at),
                     message.begin() + static_cast<std::ptrdiff_t>(at + take));
        frame.resize(kCanFrameSize, kCanPadding);
        frames.push_back(frame);
    }
    if (raw) {
        for (const auto& frame : frames) lines.push_back(Join(header, HexPairs(frame, style.Spaces), style.Spaces));
        return;
    }
    // Reassembled: the length as three hex digits, then each frame's data
    // after its sequence number.
    char text[8];
    std::snprintf(text, sizeof text, "%03X", static_cast<unsigned>(length));
    lines.emplace_back(text);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto& frame = frames[i];
        const std::vector<std::uint8_t> data(frame.begin() + (i == 0 ? 2 : 1), frame.end());
        std::snprintf(text, sizeof text, "%X:", static_cast<unsigned>(i & 0x0F));
        lines.push_back(Join(text, HexPairs(data, style.Spaces), style.Spaces));
    }
}

std::string FormatLegacyMessage(BusFamily family, const EcuAddress& ecu, const std::vector<std::uint8_t>& message,
                                const FrameStyle& style) {
    if (!style.Headers) return HexPairs(message, style.Spaces);
    std::vector<std::uint8_t> frame;
    switch (family) {
    case BusFamily::J1850Pwm: frame = {kPwmPriority, kTesterTarget, ecu.Address}; break;
    case BusFamily::J1850Vpw:
    case BusFamily::Iso9141: frame = {kVpwPriority, kTesterTarget, ecu.Address}; break;
    default:
        frame = {static_cast<std::uint8_t>(kKwpFormat | (message.size() & 0x3F)), kTesterAddress, ecu.Address};
        break;
    }
    frame.insert(frame.end(), message.begin(), message.end());
    const bool j1850 = family == BusFamily::J1850Pwm || family == BusFamily::J1850Vpw;
    frame.push_back(j1850 ? J1850Crc(frame) : SumChecksum(frame));
    return HexPairs(frame, style.Spaces);
}

}  // namespace

BusFamily FamilyOf(int protocol) {
    switch (protocol) {
    case 1: return BusFamily::J1850Pwm;
    case 2: return BusFamily::J1850Vpw;
    case 3: return BusFamily::Iso9141;
    case 4:
    case 5: return BusFamily::Kwp;
    case 6:
    case 8: return BusFamily::Can11;
    default: return BusFamily::Can29;
    }
}

bool IsCan(int protocol) { return protocol >= 6 && protocol <= 9; }

std::vector<std::string> FormatEcuAnswer(int protocol, const EcuAddress& ecu,
                                         const std::vector<std::vector<std::uint8_t>>& messages,
                                         const FrameStyle& style) {
    std::vector<std::string> lines;
    const BusFamily family = FamilyOf(protocol);
    for (const auto& message : messages) {
        if (IsCan(protocol))
            FormatCanMessage(family, ecu, message, style, lines);
        else
            lines.push_back(FormatLegacyMessage(family, ecu, message, style));
    }
    return lines;
}

std::string HexPairs(const std::vector<std::uint8_t>& bytes, bool spaces) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (spaces && i > 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}
