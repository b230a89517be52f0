#pragma once
// The boot loader's frames: code, payload length, payload, and a checksum
// that makes all bytes add up to 0 modulo 256. Free of any port, so that the
// exact bytes can be checked on their own.

#include "FirmwareImage.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace BootFrame {
constexpr std::uint8_t Header = 0x10;      // the image header, once, first
constexpr std::uint8_t FirstHalf = 0x03;   // bytes p .. p+127 of a page with data
constexpr std::uint8_t SecondHalf = 0x04;  // bytes p+128 .. p+255
constexpr std::uint8_t PageDone = 0x21;    // page offset and the more/last flag
constexpr std::uint8_t BlankPage = 0x24;   // page offset of a page all 0xFF
constexpr std::uint8_t Close = 0x02;       // last, no reply awaited

constexpr std::uint8_t MorePages = 0x63;
constexpr std::uint8_t LastPage = 0x00;
constexpr int MaxPayload = 128;
constexpr int HalfPage = TransferPageSize / 2;
constexpr int LastPageOffset = TransferAreaSize - TransferPageSize;  // 0x6F00
constexpr int PageCount = TransferAreaSize / TransferPageSize;       // 112
}  // namespace BootFrame

// Single bytes of the boot loader's start handshake.
namespace BootByte {
constexpr char Poll = 'P';   // the tool asks whether the boot loader listens
constexpr char Ready = 'c';  // the boot loader's answer
constexpr char Start = 'p';  // the tool starts the transfer
}  // namespace BootByte

// Code, length, payload, checksum. The payload's size is the length.
std::vector<std::uint8_t> BuildBootFrame(std::uint8_t code, std::span<const std::uint8_t> payload);

// The checksum byte for bytes that precede it.
std::uint8_t FrameChecksum(std::span<const std::uint8_t> bytes);

bool IsBlankPage(std::span<const std::uint8_t> page);

// The frames that carry the page at offset p of the transfer area, in the
// order they are sent: 0x03, 0x04, 0x21 for a page with data, 0x24 alone
// for a page all 0xFF.
std::vector<std::vector<std::uint8_t>> PageFrames(const std::array<std::uint8_t, TransferAreaSize>& area,
                                                  int p);
