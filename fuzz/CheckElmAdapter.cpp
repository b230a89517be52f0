// The emulator's diagnostic side reads whatever a scan tool sends: AT
// commands, requests, stray bytes, lines longer than the adapter's buffer.
#include "FuzzCheck.h"

#include "emu/DeviceState.h"
#include "emu/ElmAdapter.h"
#include "emu/ObdPort.h"

#include <algorithm>
#include <string>

namespace FuzzCheck {

void ElmAdapter(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return;
    // The first byte sets the bus: protocol, ECUs running, a second ECU.
    DeviceState state;
    state.Protocol = static_cast<std::uint8_t>(1 + data[0] % 9);
    state.SecondEcu = (data[0] & 0x10) != 0;
    state.SetCodes(1, {0x0301, 0x0420});
    state.SetCodes(2, {0xC100});
    state.CodeCounts = 0x12;
    state.MilOn = true;
    BusConditions bus;
    bus.EcusRunning = (data[0] & 0x20) == 0;

    ::ElmAdapter adapter;
    std::string partial;
    for (std::size_t i = 1; i < size; ++i) {
        if (!TakeAdapterByte(partial, static_cast<char>(data[i]))) continue;
        const AdapterReply reply = adapter.Execute(partial, state, bus);
        partial.clear();
        // A scan tool waits for the prompt: every reply ends in one, and only one.
        FUZZ_REQUIRE(!reply.Later.empty() && reply.Later.back() == '>');
        FUZZ_REQUIRE(std::count(reply.Later.begin(), reply.Later.end(), '>') == 1);
        FUZZ_REQUIRE(reply.Now.size() + reply.Later.size() < 4096);
        FUZZ_REQUIRE((state.CodeCounts & 0x0F) <= kCodeSlots && (state.CodeCounts >> 4) <= kCodeSlots);
        // Clearing the codes puts the lamp out with them.
        if (state.CodeCounts == 0) FUZZ_REQUIRE(!state.MilOn);
    }
    FUZZ_REQUIRE(partial.size() <= 256);
}

}  // namespace FuzzCheck
