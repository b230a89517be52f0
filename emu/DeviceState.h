#pragma once
// What the simulator's firmware holds: identity, installed firmware header,
// status values, configuration memory and its flash. Plain data; the
// emulator guards it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kIdentitySize = 64;
constexpr std::size_t kSerialOffset = 32;
constexpr std::size_t kSerialSize = 16;
constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kVersionOffset = 12;    // major, minor, patch
constexpr std::size_t kConfigSize = 656;
constexpr std::size_t kEcu1AddressOffset = 0x0004;
constexpr std::size_t kEcu2AddressOffset = 0x0005;
constexpr std::size_t kEcu1CanIdOffset = 0x0006;  // low byte first
constexpr std::size_t kEcu2CanIdOffset = 0x0008;
constexpr std::size_t kEcu1CodesOffset = 0x0142;  // 10 words, high byte first
constexpr std::size_t kEcu2CodesOffset = 0x0156;
constexpr std::size_t kCodeSlots = 10;
constexpr std::size_t kFlashSize = 0x7000;
constexpr std::size_t kPageSize = 0x100;
constexpr std::size_t kFlashHeaderOffset = kFlashSize - kHeaderSize;  // 0x6F80

struct DeviceState {
    std::array<std::uint8_t, kIdentitySize> Identity{};
    std::array<std::uint8_t, kHeaderSize> InstalledHeader{};
    std::uint8_t Protocol = 6;        // 1 to 9
    bool SecondEcu = false;
    std::uint8_t CodeCounts = 0;      // low nibble ECU 1, high nibble ECU 2
    bool MilOn = false;
    bool IFlag = false;               // status tag I
    std::uint16_t LValue = 0;         // status tag L
    std::array<std::uint16_t, 3> RValues{};  // status tag R
    bool RemoteMode = false;
    std::array<std::uint8_t, kConfigSize> Config{};
    std::vector<std::uint8_t> Flash = std::vector<std::uint8_t>(kFlashSize, 0xFF);

    // Trouble-code words of one ECU (1 or 2) as stored in its table.
    std::array<std::uint16_t, kCodeSlots> Codes(int ecu) const;
    void SetCodes(int ecu, const std::vector<std::uint16_t>& words);  // at most 10; rest zero
    std::string SerialNumber() const;     // identity bytes 32..47 up to the first NUL
};

// The status line that "!S" answers, e.g. "P16T12M1I0L0000R000000000000";
// missingTag (one of P T M I L R, or 0) is left out.
std::string FormatStatusLine(const DeviceState& state, char missingTag = 0);

// "P0301" -> 0x0301, "U0100" -> 0xC100; nullopt unless a category letter
// (P C B U, either case) and exactly four hex digits up to 3FFF.
std::optional<std::uint16_t> ParseTroubleCode(std::string_view text);
std::string FormatTroubleCode(std::uint16_t word);

// Uppercase hexadecimal, two digits per byte.
std::string HexBytes(const std::uint8_t* data, std::size_t size);
