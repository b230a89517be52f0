#include "DeviceState.h"

#include "base/Convert.h"

#include <cstdio>

namespace {

constexpr char kCategoryLetters[] = {'P', 'C', 'B', 'U'};

std::size_t CodesOffset(int ecu) { return ecu == 2 ? kEcu2CodesOffset : kEcu1CodesOffset; }

}  // namespace

std::array<std::uint16_t, kCodeSlots> DeviceState::Codes(int ecu) const {
    std::array<std::uint16_t, kCodeSlots> words{};
    const std::size_t base = CodesOffset(ecu);
    for (std::size_t i = 0; i < kCodeSlots; ++i)
        words[i] = static_cast<std::uint16_t>(Config[base + 2 * i] << 8 | Config[base + 2 * i + 1]);
    return words;
}

void DeviceState::SetCodes(int ecu, const std::vector<std::uint16_t>& words) {
    const std::size_t base = CodesOffset(ecu);
    for (std::size_t i = 0; i < kCodeSlots; ++i) {
        const std::uint16_t w = i < words.size() ? words[i] : 0;
        Config[base + 2 * i] = static_cast<std::uint8_t>(w >> 8);
        Config[base + 2 * i + 1] = static_cast<std::uint8_t>(w & 0xFF);
    }
}

std::string DeviceState::SerialNumber() const {
    std::string text;
    for (std::size_t i = 0; i < kSerialSize && Identity[kSerialOffset + i] != 0; ++i)
        text += static_cast<char>(Identity[kSerialOffset + i]);
    return text;
}

std::string FormatStatusLine(const DeviceState& s, char missingTag) {
    char field[16];
    std::string line;
    auto add = [&](char tag, const char* value) {
        if (tag == missingTag) return;
        line += tag;
        line += value;
    };
    std::snprintf(field, sizeof field, "%u%u", s.SecondEcu ? 1u : 0u, s.Protocol % 10u);
    add('P', field);
    std::snprintf(field, sizeof field, "%02X", s.CodeCounts);
    add('T', field);
    add('M', s.MilOn ? "1" : "0");
    add('I', s.IFlag ? "1" : "0");
    std::snprintf(field, sizeof field, "%04X", s.LValue);
    add('L', field);
    std::snprintf(field, sizeof field, "%04X%04X%04X", s.RValues[0], s.RValues[1], s.RValues[2]);
    add('R', field);
    return line;
}

std::optional<std::uint16_t> ParseTroubleCode(std::string_view text) {
    if (text.size() != 5) return std::nullopt;
    int category = -1;
    for (int i = 0; i < 4; ++i)
        if ((text[0] & ~0x20) == kCategoryLetters[i]) category = i;
    if (category < 0) return std::nullopt;
    unsigned number = 0;
    for (std::size_t i = 1; i < 5; ++i) {
        const int d = HexDigitValue(static_cast<unsigned char>(text[i]));
        if (d < 0) return std::nullopt;
        number = number * 16 + static_cast<unsigned>(d);
    }
    if (number > 0x3FFF) return std::nullopt;
    return static_cast<std::uint16_t>(category << 14 | number);
}

std::string FormatTroubleCode(std::uint16_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "%c%04X", kCategoryLetters[word >> 14], word & 0x3FFFu);
    return text;
}

std::string HexBytes(const std::uint8_t* data, std::size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(size * 2);
    for (std::size_t i = 0; i < size; ++i) {
        text += kDigits[data[i] >> 4];
        text += kDigits[data[i] & 0x0F];
    }
    return text;
}
