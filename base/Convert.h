#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Number conversions shared by the link, the settings file and the
// configuration files, so that every reader accepts the same texts.

// An integer with an optional sign, in decimal or, after "$" or "0x", in
// hexadecimal; blanks (bytes 1 to 32) may precede it, nothing may follow it.
// Values outside 32 bits are refused.
[[nodiscard]] std::optional<std::int32_t> TryStrToInt(std::string_view text);

// As TryStrToInt, but raises EConvertError with "'%s' ist kein gültiger
// Integerwert" (the text in place of %s, in Latin-1) when it is not one.
std::int32_t StrToInt(std::string_view text);

// The conversion message for a text that is not an integer.
std::string NotAnIntegerMessage(std::string_view text);

// Value of one hexadecimal digit (either case), or -1.
constexpr int HexDigitValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads exactly text.size() hexadecimal digits (either case) as a number;
// raises EConvertError naming the text when one is not a digit.
std::uint32_t HexToUInt(std::string_view text);
// As HexToUInt, but nullopt instead of raising.
[[nodiscard]] std::optional<std::uint32_t> TryHexToUInt(std::string_view text);

// Reads exactly text.size() decimal digits; raises EConvertError otherwise.
std::uint32_t DecToUInt(std::string_view text);

// value as uppercase hexadecimal with at least minDigits digits.
std::string IntToHex(std::uint32_t value, int minDigits);
