#pragma once
// Texts of the firmware's command protocol, free of any port: what the link
// sends and how it reads the replies. Kept apart so that they can be checked
// without a line.

#include "SimulatorState.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace Command {
constexpr char Identity[] = "!I\r";
constexpr char Header[] = "!B\r";
constexpr char Status[] = "!S\r";
constexpr char Config[] = "!C\r";
constexpr char RemoteOn[] = "!K1\r";
constexpr char RemoteOff[] = "!K0\r";
constexpr char StartBootLoader[] = "!@\r";
}  // namespace Command

constexpr char DataReplyMark = '#';
constexpr std::uint8_t LineEnd = 0x0D;
constexpr std::uint8_t LineFeed = 0x0A;

// Uppercase hexadecimal, two digits per byte.
std::string HexText(std::span<const std::uint8_t> bytes);

// "!P" + the code as two hex digits + "\r".
std::string ProtocolCommand(std::uint8_t code);
// "!X" + the table's configuration address and its ten words, all high byte
// first, as 44 hex digits + "\r".
std::string TableWriteCommand(int address, const std::array<std::uint16_t, DtcSlots>& words);
// "!F" + counts and MIL byte as hex + "\r".
std::string CountsCommand(std::uint8_t counts, std::uint8_t mil);

// Stores the pairs of hex digits that follow the "#" of a data reply into
// destination, from byte 0, as far as it reaches; a last digit without a
// partner is dropped. False (nothing stored) when the reply does not begin
// with "#". A pair that is not hexadecimal raises EConvertError; the bytes
// before it are stored.
bool DecodeHexPairs(std::string_view reply, std::span<std::uint8_t> destination);

// Reads the status line's tags P, T, M, I, L and R, each found by its first
// occurrence, in this order, storing each field as soon as it converted.
// A missing or cut-off field raises EFailure without a message (the fields
// before it keep their new values); a field that does not convert raises
// EConvertError with the conversion's message.
void ParseStatusLine(std::string_view line, SimulatorState& state);
