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

bool FitsCodePosition(std::size_t position, char c) {
    const int value = HexDigitValue(static_cast<unsigned char>(c));
    if (value < 0 || position >= CodeTextLength) return false;
    return position > 0 || value <= 3;
}

bool IsValidCodeText(std::string_view text) {
    if (text.size() != CodeTextLength) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!FitsCodePosition(i, text[i])) return false;
    }
    return true;
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
