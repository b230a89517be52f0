#include "TroubleCode.h"

#include "Convert.h"

namespace {

int CategoryIndex(char letter) {
    for (int i = 0; i < static_cast<int>(CategoryLetters.size()); ++i) {
        if (letter == CategoryLetters[i] || letter == CategoryLetters[i] + ('a' - 'A')) return i;
    }
    return -1;
}

}  // namespace

std::uint16_t SlotToWord(int category, std::string_view text) {
    const std::uint32_t number = TryHexToUInt(text).value_or(0);
    const std::uint32_t index = (category >= 0 && category <= 3) ? static_cast<std::uint32_t>(category) : 0;
    // Only 14 bits travel: a first digit above 3 loses its upper bits.
    const std::uint32_t high = index << 6 | ((number >> 8) & 0x3F);
    return static_cast<std::uint16_t>(high << 8 | (number & 0xFF));
}

DtcSlot WordToSlot(std::uint16_t word) {
    return DtcSlot{(word >> 14) & 3, IntToHex(word & 0x3FFFu, 4)};
}

std::string CodeName(std::uint16_t word) {
    return std::string(1, CategoryLetters[(word >> 14) & 3]) + IntToHex(word & 0x3FFFu, 4);
}

bool IsValidCodeText(std::string_view text) {
    if (text.size() != 4) return false;
    for (char c : text) {
        if (HexDigitValue(static_cast<unsigned char>(c)) < 0) return false;
    }
    return HexDigitValue(static_cast<unsigned char>(text[0])) <= 3;
}

std::optional<std::uint16_t> ParseCode(std::string_view code) {
    if (code.size() != 5) return std::nullopt;
    const int category = CategoryIndex(code[0]);
    if (category < 0 || !IsValidCodeText(code.substr(1))) return std::nullopt;
    return SlotToWord(category, code.substr(1));
}

std::uint8_t CountByte(int count1, int count2) {
    auto clamp = [](int count) { return (count >= 0 && count <= DtcSlots) ? count : 0; };
    return static_cast<std::uint8_t>(clamp(count1) | clamp(count2) << 4);
}
