#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

// The nine bus protocols as the protocol selector shows them; index =
// protocol number - 1.
constexpr std::array<const char*, 9> ProtocolNames = {
    "1 - PWM",        "2 - VPWM",       "3 - ISO9141",    "4 - KWP2000 5bd", "5 - KWP2000 fast",
    "6 - CAN 11/500", "7 - CAN 29/500", "8 - CAN 11/250", "9 - CAN 29/250"};

// Protocols 6 and 8 use 11-bit CAN identifiers.
constexpr bool UsesCan11(int protocol) { return protocol == 6 || protocol == 8; }

// Added to the protocol number in "!P" when two ECUs are wanted.
constexpr std::uint8_t TwoEcuFlag = 0x80;

struct SimulatorState;

// The "!P" code for a protocol and ECU-count choice (selector indexes):
// protocol number, plus 0x80 for two ECUs. Nothing is to be sent (nullopt)
// while either selector has no valid selection, or when the choice equals
// what the last status read reported.
std::optional<std::uint8_t> ProtocolChangeCode(int protocolIndex, int ecuIndex,
                                               const SimulatorState& state);
