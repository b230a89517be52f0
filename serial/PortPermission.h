#pragma once
// Why a port did not open, and what to tell a user whom the system said
// "permission denied": on Debian, serial devices belong to a group (dialout
// for USB adapters) whose members may open them.

#include "base/Failure.h"

#include <string>

// The device a port name stands for: "ttyUSB0" is /dev/ttyUSB0; a full path
// (a pseudo-terminal, a symbolic link) stands as it is.
[[nodiscard]] std::string PortDevicePath(const std::string& port);

// What an open that the system refused with this error number means:
// permission denied, a port in use, no such port, or another failure.
[[nodiscard]] FailureKind OpenFailureKind(int systemError);

// One line (no line end) that says how to get access to the port's device:
// join the group that owns it, then log in again; or, where the group has no
// access either, whom to ask.
[[nodiscard]] std::string PortPermissionAdvice(const std::string& port);
