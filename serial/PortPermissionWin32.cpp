// On Windows a COM port has no group to join: "access denied" (5) means that
// another program holds the port, and the message says all there is to say.
#include "PortPermission.h"

std::string PortDevicePath(const std::string& port) { return port.rfind("\\\\.\\", 0) == 0 ? port : "\\\\.\\" + port; }

bool IsPermissionDeniedText(const std::string&) { return false; }

std::string PortPermissionAdvice(const std::string&) { return {}; }
