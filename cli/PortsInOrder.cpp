#include "PortsInOrder.h"

#include "CliError.h"

#include "link/PortChoice.h"
#include "serial/ComPort.h"

#include <cstdlib>

std::vector<std::string> ListPortsInOrder() {
    try {
        return ListedPortsInOrder();
    } catch (const EFailure& e) {
        throw CliError(ExitDeviceFailed, e.Message());
    }
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
