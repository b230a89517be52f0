#include "PortsInOrder.h"

#include "CliError.h"

#include "serial/ComPort.h"
#include "serial/PortPermission.h"
#include "serial/StrNatComp.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

std::vector<std::string> ListPortsInOrder() {
    std::vector<std::string> ports;
    try {
        TCustomComPort::ListSerialPorts(ports);
    } catch (const EFailure& e) {
        throw CliError(ExitDeviceFailed, e.Message());
    }
    SortPorts(ports);
    return ports;
}

std::vector<std::string> OncePerDevice(const std::vector<std::string>& ports) {
    std::vector<std::string> once;
    std::vector<std::string> devices;
    for (const auto& port : ports) {
        // The device file with every link resolved; a name the file system
        // does not know (a Windows COM name) stands for itself.
        std::string device = PortDevicePath(port);
        std::error_code error;
        const auto real = std::filesystem::canonical(device, error);
        if (!error) device = real.string();
        if (std::find(devices.begin(), devices.end(), device) != devices.end()) continue;
        devices.push_back(device);
        once.push_back(port);
    }
    return once;
}

void TakePortsFromEnvironment() {
    const char* value = std::getenv(PortsEnvironmentVariable);
    if (!value) return;
    std::vector<std::string> names;
    std::string current;
    for (const char* p = value;; ++p) {
        if (*p == ',' || *p == '\0') {
            if (!current.empty()) names.push_back(current);
            current.clear();
            if (*p == '\0') break;
        } else {
            current += *p;
        }
    }
    TCustomComPort::SetPortListSource([names] { return names; });
}
