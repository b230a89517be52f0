#include "CommandCodec.h"

#include "base/Convert.h"
#include "base/Failure.h"

std::string HexText(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text.push_back(digits[b >> 4]);
        text.push_back(digits[b & 0x0F]);
    }
    return text;
}

std::string ProtocolCommand(std::uint8_t code) { return "!P" + IntToHex(code, 2) + "\r"; }

std::string TableWriteCommand(int address, const std::array<std::uint16_t, DtcSlots>& words) {
    std::array<std::uint8_t, 2 + 2 * DtcSlots> table{};
    table[0] = static_cast<std::uint8_t>(address >> 8);
    table[1] = static_cast<std::uint8_t>(address);
    for (int i = 0; i < DtcSlots; ++i) {
        table[2 + 2 * i] = static_cast<std::uint8_t>(words[i] >> 8);
        table[3 + 2 * i] = static_cast<std::uint8_t>(words[i]);
    }
    return "!X" + HexText(table) + "\r";
}

std::string CountsCommand(std::uint8_t counts, std::uint8_t mil) {
    return "!F" + IntToHex(counts, 2) + IntToHex(mil, 2) + "\r";
}

bool DecodeHexPairs(std::string_view reply, std::span<std::uint8_t> destination) {
    if (reply.empty() || reply[0] != DataReplyMark) return false;
    std::size_t stored = 0;
    // A pair whose second digit is missing is dropped: i + 1 must still lie in the reply.
    for (std::size_t i = 1; i + 1 < reply.size() && stored < destination.size(); i += 2) {
        destination[stored++] = static_cast<std::uint8_t>(HexToUInt(reply.substr(i, 2)));
    }
    return true;
}

namespace {

// The value that follows a tag; a missing tag or a field cut off by the end
// of the line means the simulator did not report that value.
std::string_view Field(std::string_view line, char tag, std::size_t width) {
    const std::size_t at = line.find(tag);
    if (at == std::string_view::npos || line.size() - (at + 1) < width) throw EFailure();
    return line.substr(at + 1, width);
}

}  // namespace

void ParseStatusLine(std::string_view line, SimulatorState& state) {
    const std::string_view p = Field(line, 'P', 2);
    state.SecondEcu = static_cast<std::uint8_t>(DecToUInt(p.substr(0, 1)));
    state.Protocol = static_cast<std::uint8_t>(DecToUInt(p.substr(1, 1)));
    state.CodeCounts = static_cast<std::uint8_t>(HexToUInt(Field(line, 'T', 2)));
    state.MilOn = DecToUInt(Field(line, 'M', 1)) != 0;
    state.TagI = DecToUInt(Field(line, 'I', 1)) != 0;
    state.TagL = static_cast<std::uint16_t>(HexToUInt(Field(line, 'L', 4)));
    const std::string_view r = Field(line, 'R', 12);
    for (int i = 0; i < 3; ++i) {
        state.TagR[i] = static_cast<std::uint16_t>(HexToUInt(r.substr(4 * i, 4)));
    }
}
