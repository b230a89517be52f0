#pragma once
// The system's own serial device behind a port (PortDevicePosix.cpp,
// PortDeviceWin32.cpp). Only PortDevice.cpp chooses it among the kinds.

#include "PortDevice.h"

// The system's serial device by name. EComPort 1.
[[nodiscard]] std::unique_ptr<PortDevice> OpenLocalDevice(const std::string& port);

// The system's error numbers for a device that is not there, one that
// another opener holds, and a line that has gone, as a local device gives them.
[[nodiscard]] int MissingDeviceError();
[[nodiscard]] int BusyDeviceError();
[[nodiscard]] int GoneDeviceError();
