#include "SimulatorState.h"

#include "FirmwareImage.h"
#include "BusProtocol.h"

#include "base/Convert.h"

namespace {
constexpr int SerialOffset = 32;
constexpr int SerialLength = 16;
}  // namespace

std::string SimulatorState::SerialNumber() const {
    std::string serial;
    for (int i = SerialOffset; i < SerialOffset + SerialLength && Identity[i] != 0; ++i) {
        serial.push_back(static_cast<char>(Identity[i]));
    }
    return serial;
}

std::string SimulatorState::InstalledVersionText() const { return HeaderVersionText(InstalledHeader); }

std::uint16_t SimulatorState::DtcWord(int ecu, int slot) const {
    if (slot < 1 || slot > DtcSlots) return 0;
    const int offset = (ecu == 2 ? ConfigOffset::DtcTable2 : ConfigOffset::DtcTable1) + 2 * (slot - 1);
    return static_cast<std::uint16_t>(ConfigBlock[offset] << 8 | ConfigBlock[offset + 1]);
}

std::string SimulatorState::EcuIdentifier(int ecu) const {
    const bool second = ecu == 2;
    if (UsesCan11(Protocol)) {
        const int offset = second ? ConfigOffset::CanId2 : ConfigOffset::CanId1;
        return IntToHex(static_cast<std::uint32_t>(ConfigBlock[offset] | ConfigBlock[offset + 1] << 8), 3);
    }
    return IntToHex(ConfigBlock[second ? ConfigOffset::EcuAddress2 : ConfigOffset::EcuAddress1], 2);
}

std::string SimulatorState::GroupTitle(int ecu) const {
    return "Fehlercodes ECU" + std::to_string(ecu) + " ($" + EcuIdentifier(ecu) + ")";
}
