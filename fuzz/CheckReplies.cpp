#include "FuzzCheck.h"

#include "link/CommandCodec.h"
#include "link/SimulatorState.h"
#include "base/Convert.h"
#include "base/Failure.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The six fields a status read stores, for comparing two reads.
struct StatusFields {
    unsigned SecondEcu, Protocol, CodeCounts, MilOn, TagI, TagL, R0, R1, R2;
    bool operator==(const StatusFields&) const = default;
};

StatusFields FieldsOf(const SimulatorState& s) {
    return {s.SecondEcu, s.Protocol, s.CodeCounts, s.MilOn ? 1u : 0u, s.TagI ? 1u : 0u,
            s.TagL,      s.TagR[0],  s.TagR[1],    s.TagR[2]};
}

// The line a well-behaved simulator would send for these values.
std::string CanonicalLine(const StatusFields& f) {
    char line[64];
    std::snprintf(line, sizeof line, "P%u%uT%02XM%uI%uL%04XR%04X%04X%04X", f.SecondEcu, f.Protocol, f.CodeCounts,
                  f.MilOn, f.TagI, f.TagL, f.R0, f.R1, f.R2);
    return line;
}

}  // namespace

namespace FuzzCheck {

void StatusLine(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    SimulatorState state;
    state.ConfigBlock.fill(0x5A);
    try {
        ParseStatusLine(line, state);
    } catch (const EFailure&) {
        return;  // a missing, cut-off or unconvertible field: the read fails
    }
    for (char tag : {'P', 'T', 'M', 'I', 'L', 'R'}) FUZZ_REQUIRE(line.find(tag) != std::string_view::npos);
    // A status read touches nothing but the status fields.
    FUZZ_REQUIRE(std::all_of(state.ConfigBlock.begin(), state.ConfigBlock.end(), [](auto b) { return b == 0x5A; }));
    FUZZ_REQUIRE(state.SecondEcu <= 9 && state.Protocol <= 9);

    const StatusFields fields = FieldsOf(state);
    SimulatorState again;
    ParseStatusLine(CanonicalLine(fields), again);
    FUZZ_REQUIRE(FieldsOf(again) == fields);
}

void HexReply(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return;
    // The first byte sizes the destination: the link decodes into blocks of
    // 64, 128 and 656 bytes; any size must be kept to.
    const std::size_t blockSize = data[0];
    const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    constexpr std::uint8_t Guard = 0xA5;
    constexpr std::size_t GuardSize = 32;
    std::vector<std::uint8_t> buffer(blockSize + GuardSize, Guard);

    bool decoded = false;
    bool refused = false;
    try {
        decoded = DecodeHexPairs(reply, std::span<std::uint8_t>(buffer.data(), blockSize));
    } catch (const EConvertError&) {
        refused = true;
    }
    // Never a byte beyond the block.
    FUZZ_REQUIRE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(blockSize), buffer.end(),
                             [](auto b) { return b == Guard; }));

    const bool marked = !reply.empty() && reply[0] == DataReplyMark;
    if (!marked) {
        // Not a data reply: refused without storing anything.
        FUZZ_REQUIRE(!decoded && !refused);
        FUZZ_REQUIRE(std::all_of(buffer.begin(), buffer.end(), [](auto b) { return b == Guard; }));
        return;
    }
    const std::size_t pairs = std::min(blockSize, (reply.size() - 1) / 2);
    std::size_t firstBad = pairs;
    for (std::size_t i = 0; i < pairs; ++i) {
        if (HexDigitValue(static_cast<unsigned char>(reply[1 + 2 * i])) < 0 ||
            HexDigitValue(static_cast<unsigned char>(reply[2 + 2 * i])) < 0) {
            firstBad = i;
            break;
        }
    }
    // A pair that is not hexadecimal fails the reply; pairs beyond the block do not count.
    FUZZ_REQUIRE(refused == (firstBad < pairs));
    FUZZ_REQUIRE(decoded == !refused);
    // Every pair before the failure (or all of them) is stored, in order.
    for (std::size_t i = 0; i < firstBad; ++i) {
        const int value = HexDigitValue(static_cast<unsigned char>(reply[1 + 2 * i])) * 16 +
                          HexDigitValue(static_cast<unsigned char>(reply[2 + 2 * i]));
        FUZZ_REQUIRE(buffer[i] == value);
    }
    // From the failing pair (or the last pair) on, the block keeps its previous content.
    FUZZ_REQUIRE(std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(firstBad), buffer.end(),
                             [](auto b) { return b == Guard; }));
}

}  // namespace FuzzCheck
