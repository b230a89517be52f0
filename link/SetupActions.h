#pragma once
// What the user does to the simulator's set-up, for the window and the
// command line alike: SEND, a protocol or ECU-count change, and applying a
// set-up (as opening a configuration file does). The
// front ends collect a set-up value from their controls or options and hand
// it over; the bytes and the order on the wire are decided here, once.

#include "SimulatorState.h"

#include "base/CfgSetup.h"

#include <array>
#include <cstdint>
#include <functional>

class TComIo;

// What the editor shows after the simulator's status and configuration were
// read: a protocol or ECU count the selectors cannot show reads as none (0),
// a count above ten as none (-1).
CfgSetup SetupFromState(const SimulatorState& state);

// The tables, counts byte and MIL byte that SEND builds from a set-up.
struct SendData {
    std::uint8_t Counts = 0;
    std::uint8_t Mil = 0x80;
    std::array<std::uint16_t, DtcSlots> Ecu1{};
    std::array<std::uint16_t, DtcSlots> Ecu2{};
};
SendData SendDataOf(const CfgSetup& setup);

// SEND: the status text says so first; then the set-up is collected (the
// window disables SEND and reads its editor there, so the text is up
// before the controls change) and both tables and then the counts and MIL
// go out. A failure is left on the status text. True when all three were
// acknowledged.
bool SendSetup(TComIo& link, const std::function<CfgSetup()>& collect);
bool SendSetup(TComIo& link, const CfgSetup& setup);

// A protocol and ECU-count choice (selector indexes). Nothing goes out while
// either has no valid selection or the choice is what the last status read
// reported; otherwise "!P", then status and configuration are read again, so
// that everything shown is the simulator's.
enum class ProtocolChange { Unchanged, Changed, Failed };
ProtocolChange ChangeProtocol(TComIo& link, int protocolIndex, int ecuIndex);

// Applies a set-up as opening a configuration file does: the protocol and
// ECU count first (0 for either, none selected, changes nothing); then show
// lays the set-up over what the simulator holds after that change (a change
// reads everything back, which a window shows in place of the file), so
// that what goes out is on view before SEND says it is sending; then SEND of
// what collect gathers (collect runs as SEND collects). The set-up goes out
// even after a failed change. False when any step failed.
bool ApplySetup(TComIo& link, int protocol, int ecuCount, const std::function<void(const CfgSetup& held)>& show,
                const std::function<CfgSetup()>& collect);
// The same without controls: complete makes the set-up to send of the one held.
bool ApplySetup(TComIo& link, int protocol, int ecuCount,
                const std::function<CfgSetup(const CfgSetup& held)>& complete);
