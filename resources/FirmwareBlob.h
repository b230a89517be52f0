#pragma once
#include <cstdint>
#include <span>

// The carried firmware image as compiled into programs that do not use the
// Qt resource system (the command line and the emulator).
std::span<const std::uint8_t> CarriedFirmwareBlob();
