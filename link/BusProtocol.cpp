#include "BusProtocol.h"

#include "SimulatorState.h"

std::optional<std::uint8_t> ProtocolChangeCode(int protocolIndex, int ecuIndex, const SimulatorState& state) {
    if (protocolIndex < 0 || protocolIndex >= static_cast<int>(ProtocolNames.size())) return std::nullopt;
    if (ecuIndex < 0 || ecuIndex > 1) return std::nullopt;
    if (ecuIndex == state.SecondEcu && protocolIndex == state.Protocol - 1) return std::nullopt;
    return static_cast<std::uint8_t>((protocolIndex + 1) | (ecuIndex == 1 ? TwoEcuFlag : 0));
}
