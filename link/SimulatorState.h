#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "base/TroubleCode.h"

// Offsets in the simulator's configuration memory (also the "!X" addresses).
namespace ConfigOffset {
constexpr int EcuAddress1 = 0x0004;
constexpr int EcuAddress2 = 0x0005;
constexpr int CanId1 = 0x0006;  // low byte first
constexpr int CanId2 = 0x0008;  // low byte first
constexpr int DtcTable1 = 0x0142;
constexpr int DtcTable2 = 0x0156;
}  // namespace ConfigOffset

constexpr int ConfigBlockSize = 656;

// What the simulator reported. Written only by the link.
struct SimulatorState {
    std::array<std::uint8_t, 64> Identity{};          // bytes 32..47: serial number, NUL-padded
    std::array<std::uint8_t, 128> InstalledHeader{};  // layout of the firmware image header
    std::uint8_t Protocol = 0;                        // 1..9
    std::uint8_t SecondEcu = 0;                       // 0 one ECU, 1 two ECUs
    std::uint8_t CodeCounts = 0;                      // low nibble ECU 1, high nibble ECU 2
    bool TagI = false;                                // stored, not used further
    bool MilOn = false;
    std::uint16_t TagL = 0;                           // stored, not used further
    std::array<std::uint16_t, 3> TagR{};              // stored, not used further
    std::array<std::uint8_t, ConfigBlockSize> ConfigBlock{};

    // Identity bytes 32 to 47 up to the first NUL.
    std::string SerialNumber() const;
    // "v%1.0d.%1.0d.%1.0d" of the installed header's version bytes.
    std::string InstalledVersionText() const;
    int CodeCount(int ecu) const { return ecu == 1 ? (CodeCounts & 0x0F) : (CodeCounts >> 4); }
    // Trouble-code word of slot 1..10 of ECU 1 or 2, high byte first in the block.
    std::uint16_t DtcWord(int ecu, int slot) const;
    // The ECU's identifier as the group titles show it: the 11-bit CAN
    // identifier (at least 3 hex digits) for protocols 6 and 8, else the bus
    // address (at least 2 hex digits).
    std::string EcuIdentifier(int ecu) const;
    // The trouble-code group's title: "Fehlercodes ECU1 ($7E8)".
    std::string GroupTitle(int ecu) const;
};
