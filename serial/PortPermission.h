#pragma once
// What to tell a user whose port did not open because the system said
// "permission denied": on Debian, serial devices belong to a group (dialout
// for USB adapters) whose members may open them.

#include <string>

// The device a port name stands for: "ttyUSB0" is /dev/ttyUSB0; a full path
// (a pseudo-terminal, a symbolic link) stands as it is.
[[nodiscard]] std::string PortDevicePath(const std::string& port);

// True when text is the port layer's message for an open refused with
// "permission denied".
[[nodiscard]] bool IsPermissionDeniedText(const std::string& text);

// One line (no line end) that says how to get access to the port's device:
// join the group that owns it, then log in again; or, where the group has no
// access either, whom to ask.
[[nodiscard]] std::string PortPermissionAdvice(const std::string& port);
