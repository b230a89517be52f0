#include "Convert.h"

#include "Failure.h"


namespace {

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }

}  // namespace

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigitValue(static_cast<unsigned char>(text[i]));
        if (digit < 0 || digit >= base) return std::nullopt;
        value = value * base + digit;
        // Hexadecimal texts may spell the full 32-bit pattern (e.g. $FFFFFFFF).
        if (value > (base == 16 ? 0xFFFFFFFFLL : 0x80000000LL)) return std::nullopt;
    }
    if (base == 16) {
        const auto bits = static_cast<std::uint32_t>(value);
        const auto v = static_cast<std::int32_t>(bits);
        return negative ? static_cast<std::int32_t>(0u - bits) : v;
    }
    if (negative) return static_cast<std::int32_t>(-value);
    if (value > 0x7FFFFFFFLL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string NotAnIntegerMessage(std::string_view text) {
    // "gültiger" in Latin-1: the program's texts are single-byte strings.
    return "'" + std::string(text) + "' ist kein g\xFCltiger Integerwert";
}

std::int32_t StrToInt(std::string_view text) {
    if (auto v = TryStrToInt(text)) return *v;
    throw EConvertError(NotAnIntegerMessage(text));
}

std::optional<std::uint32_t> TryHexToUInt(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(static_cast<unsigned char>(c));
        // A ninth significant digit would silently drop the top bits.
        if (digit < 0 || value > 0x0FFFFFFFu) return std::nullopt;
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::uint32_t HexToUInt(std::string_view text) {
    if (auto v = TryHexToUInt(text)) return *v;
    throw EConvertError(NotAnIntegerMessage("$" + std::string(text)));
}

std::uint32_t DecToUInt(std::string_view text) {
    if (text.empty()) throw EConvertError(NotAnIntegerMessage(text));
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') throw EConvertError(NotAnIntegerMessage(text));
        const auto digit = static_cast<std::uint32_t>(c - '0');
        // Refuse what does not fit rather than wrap around.
        if (value > (0xFFFFFFFFu - digit) / 10) throw EConvertError(NotAnIntegerMessage(text));
        value = value * 10 + digit;
    }
    return value;
}

std::string IntToHex(std::uint32_t value, int minDigits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    // Any width is honoured (a formatted buffer of fixed size would cut it short).
    if (minDigits > static_cast<int>(text.size())) text.insert(0, static_cast<std::size_t>(minDigits) - text.size(), '0');
    return text;
}
