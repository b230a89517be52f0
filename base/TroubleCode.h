#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Trouble codes: a category letter and a 14-bit number shown as four
// hexadecimal digits (P0123). On the wire a word, high byte first: bits 15-14
// the category index (P, C, B, U), bits 13-0 the number.

constexpr std::array<char, 4> CategoryLetters = {'P', 'C', 'B', 'U'};

// Trouble-code slots per ECU: the most codes one ECU can hold, the count
// selector's last item, the length of each table on the wire and in a file.
constexpr int DtcSlots = 10;
// The code's number as text: four hexadecimal digits.
constexpr std::size_t CodeTextLength = 4;

// A slot as the editor holds it: category index (-1 none) and the code text.
struct DtcSlot {
    int Category = -1;
    std::string Text = "    ";

    bool operator==(const DtcSlot& other) const = default;
};

// Slot to word: the text read as hexadecimal, or 0 when it is not one (a
// blank, "_" or a letter beyond F anywhere); a first digit above 3 loses its
// upper bits. A category without selection counts as 0.
std::uint16_t SlotToWord(int category, std::string_view text);
// Word to slot: category index and four uppercase hexadecimal digits.
DtcSlot WordToSlot(std::uint16_t word);

// "P0301" for a word.
std::string CodeName(std::uint16_t word);
// Parses "P0301" (letter P, C, B or U, four hexadecimal digits, the first 0
// to 3; either case); nullopt when it is not such a code.
std::optional<std::uint16_t> ParseCode(std::string_view code);
// The one rule of what a code's text may hold: at each of the four
// positions a hexadecimal digit (either case), at the first only 0 to 3, as
// the number has 14 bits. The code field checks each typed position with it.
[[nodiscard]] bool FitsCodePosition(std::size_t position, char c);
// True when text is four hexadecimal digits, the first 0 to 3.
[[nodiscard]] bool IsValidCodeText(std::string_view text);

// The counts byte of "!F": ECU-1 count in the low nibble, ECU-2 count in the
// high nibble; a count outside 0..10 (no selection) counts as 0.
std::uint8_t CountByte(int count1, int count2);
// The MIL byte of "!F": 0x81 on, 0x80 off.
constexpr std::uint8_t MilByte(bool on) { return on ? 0x81 : 0x80; }
