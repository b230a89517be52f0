#pragma once
// How an ELM327-style adapter prints the ECUs' answers on the bus of each
// protocol family: the frame headers and checksums it shows with headers on,
// and the CAN transport's single and multi-frame messages.

#include <cstdint>
#include <string>
#include <vector>

// The adapter's protocol numbers 1 to 9 are the simulator's.
enum class BusFamily { J1850Pwm, J1850Vpw, Iso9141, Kwp, Can11, Can29 };

BusFamily FamilyOf(int protocol);
bool IsCan(int protocol);

// How an ECU is addressed on the bus: its 11-bit CAN identifier (protocols 6
// and 8) and its one-byte bus address (the rest, and the source byte of a
// 29-bit CAN identifier).
struct EcuAddress {
    std::uint16_t CanId = 0x7E8;
    std::uint8_t Address = 0x10;
};

struct FrameStyle {
    bool Headers = false;     // ATH1: headers (and, off CAN, the checksum byte)
    bool Spaces = true;       // ATS1: a blank between bytes
    bool AutoFormat = true;   // ATCAF1: CAN transport bytes taken out and reassembled
};

// The lines the adapter prints for one ECU's answer. messages: the J1979
// messages of that ECU, service byte first. On CAN each is sent in one
// transport message, split into frames when longer than seven bytes; off CAN
// each message is one frame of its own.
std::vector<std::string> FormatEcuAnswer(int protocol, const EcuAddress& ecu,
                                         const std::vector<std::vector<std::uint8_t>>& messages,
                                         const FrameStyle& style);

// Bytes as uppercase hexadecimal pairs, with a blank between them when spaces is set.
std::string HexPairs(const std::vector<std::uint8_t>& bytes, bool spaces);
