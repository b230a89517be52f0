// On Windows a COM port has no group to join: "access denied" (5) means that
// another program holds the port, and the message says all there is to say.
#include "PortPermission.h"

#include <windows.h>

std::string PortDevicePath(const std::string& port) { return port.rfind("\\\\.\\", 0) == 0 ? port : "\\\\.\\" + port; }

FailureKind OpenFailureKind(int systemError) {
    switch (systemError) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return FailureKind::InUse;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FailureKind::NoDevice;
    default:
        return FailureKind::Other;
    }
}

std::string PortPermissionAdvice(const std::string&) { return {}; }
