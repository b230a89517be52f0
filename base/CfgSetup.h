#pragma once
// The simulator set-up as the tool's user sees it: protocol, ECU count, MIL
// and the two tables of trouble-code slots with their counts. The window's
// editor shows one, a configuration file holds one, and SEND puts one on the
// wire; each of them maps to and from this value, never to each other.

#include "TroubleCode.h"

#include <algorithm>
#include <array>

struct CfgSetup {
    int Protocol = 0;   // 1..9, 0 when none is selected
    int EcuCount = 0;   // 1 or 2, 0 when none is selected
    bool MilOn = true;
    int Count1 = 0;     // 0..10 (a selector index; -1 without selection)
    int Count2 = 0;
    std::array<DtcSlot, DtcSlots> Ecu1{};
    std::array<DtcSlot, DtcSlots> Ecu2{};

    bool operator==(const CfgSetup& other) const = default;
};

// The editor's rule for the MIL: choosing the counts switches it on when
// either is above zero and off when both are zero (no selection counts as
// none). The window's count selectors and the command line's set-codes both
// follow it; the user may change the MIL afterwards.
[[nodiscard]] constexpr bool MilFollowsCounts(int count1, int count2) {
    return std::max(0, count1) + std::max(0, count2) != 0;
}
