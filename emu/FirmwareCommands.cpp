#include "FirmwareCommands.h"

#include "base/Convert.h"

#include <vector>

namespace {

constexpr std::size_t kTableWriteSize = 22;  // address (2) + 20 bytes
constexpr std::uint8_t kTwoEcusBit = 0x80;
constexpr std::uint8_t kMilBase = 0x80;
constexpr std::uint8_t kMilOnBit = 0x01;

// Decodes text as hex pairs; nullopt when its length is odd or a digit is not hex.
std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view text) {
    if (text.size() % 2 != 0) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = HexDigitValue(static_cast<unsigned char>(text[i]));
        const int lo = HexDigitValue(static_cast<unsigned char>(text[i + 1]));
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return bytes;
}

std::string DataReply(const std::uint8_t* data, std::size_t size, const CommandFaults& faults) {
    std::string hex = HexBytes(data, size);
    // A non-hex digit in the middle pair: the tool must fail at that pair
    // after storing the bytes before it.
    if (faults.GarbledHex && !hex.empty()) hex[2 * (size / 2)] = 'Z';
    return faults.NoHash ? hex : "#" + hex;
}

FirmwareReply Ack() { return {std::string(kAckReply), false}; }
FirmwareReply Error() { return {std::string(kErrorReply), false}; }

FirmwareReply SetProtocol(std::string_view arg, DeviceState& state) {
    const auto bytes = DecodeHex(arg);
    if (!bytes || bytes->size() != 1) return Error();
    const int protocol = (*bytes)[0] & ~kTwoEcusBit;
    if (protocol < 1 || protocol > 9) return Error();
    state.Protocol = static_cast<std::uint8_t>(protocol);
    state.SecondEcu = ((*bytes)[0] & kTwoEcusBit) != 0;
    return Ack();
}

FirmwareReply WriteConfig(std::string_view arg, DeviceState& state) {
    const auto bytes = DecodeHex(arg);
    if (!bytes || bytes->size() != kTableWriteSize) return Error();
    const std::size_t address = static_cast<std::size_t>((*bytes)[0] << 8 | (*bytes)[1]);
    const std::size_t count = kTableWriteSize - 2;
    // Refuse the whole write rather than write past the configuration memory.
    if (address + count > kConfigSize) return Error();
    for (std::size_t i = 0; i < count; ++i) state.Config[address + i] = (*bytes)[2 + i];
    return Ack();
}

FirmwareReply SetCodesAndMil(std::string_view arg, DeviceState& state) {
    const auto bytes = DecodeHex(arg);
    if (!bytes || bytes->size() != 2) return Error();
    const std::uint8_t counts = (*bytes)[0];
    const std::uint8_t mil = (*bytes)[1];
    if ((counts & 0x0F) > kCodeSlots || (counts >> 4) > kCodeSlots) return Error();
    if ((mil & ~kMilOnBit) != kMilBase) return Error();
    state.CodeCounts = counts;
    state.MilOn = (mil & kMilOnBit) != 0;
    return Ack();
}

}  // namespace

FirmwareReply ExecuteCommand(std::string_view line, DeviceState& state, const CommandFaults& faults) {
    if (faults.Silent) return {};
    if (line.size() < 2 || line[0] != '!') return Error();
    const char command = line[1];
    const std::string_view arg = line.substr(2);
    switch (command) {
    case 'I':
        if (!arg.empty()) return Error();
        if (faults.EmptyIdentity) return {std::string(), false};
        return {DataReply(state.Identity.data(), state.Identity.size(), faults), false};
    case 'B':
        if (!arg.empty()) return Error();
        return {DataReply(state.InstalledHeader.data(), state.InstalledHeader.size(), faults), false};
    case 'C':
        if (!arg.empty()) return Error();
        return {DataReply(state.Config.data(), state.Config.size(), faults), false};
    case 'S':
        if (!arg.empty()) return Error();
        return {FormatStatusLine(state, faults.MissingTag), false};
    case 'K':
        if (arg != "0" && arg != "1") return Error();
        state.RemoteMode = arg == "1";
        return Ack();
    case 'P':
        if (faults.RefuseProtocol) return {};
        return SetProtocol(arg, state);
    case 'X':
        return WriteConfig(arg, state);
    case 'F':
        return SetCodesAndMil(arg, state);
    case '@':
        if (!arg.empty()) return Error();
        return {std::string(kAckReply), true};
    default:
        return Error();
    }
}
