#pragma once
// The window's editor without widgets: a set-up as the controls hold it
// after a configuration read, and what SEND makes of a set-up. The rules
// themselves (slot <-> word, counts byte, MIL byte) are the link's.

#include "link/SimulatorState.h"
#include "storage/CfgSetup.h"

#include <array>
#include <cstdint>

// What the selectors, the "MIL on" box and the slots show after the
// simulator's status and configuration were read: a protocol or ECU count
// the selectors cannot show reads as none (0), a count above ten as none (-1).
CfgSetup SetupFromState(const SimulatorState& state);

// The tables, counts byte and MIL byte that SEND builds from a set-up.
struct SendData {
    std::uint8_t Counts = 0;
    std::uint8_t Mil = 0x80;
    std::array<std::uint16_t, DtcSlots> Ecu1{};
    std::array<std::uint16_t, DtcSlots> Ecu2{};
};
SendData SendDataOf(const CfgSetup& setup);
