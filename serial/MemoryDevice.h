#pragma once
// A port on a line in memory ("memory:NAME", see base/MemoryLine.h): an
// emulated box in the same process, for tests on every system.

#include "PortDevice.h"

// The line registered under the name in the port name. EComPort 1 when none
// is, or when another port holds it.
[[nodiscard]] std::unique_ptr<PortDevice> OpenMemoryDevice(const std::string& lineName);
