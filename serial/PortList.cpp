// The port list as TCustomComPort gives it: the system's ports (or a test's
// replacement), in order. Where the names come from is in PortListLinux.cpp
// and PortListWin32.cpp.
#include "PortList.h"

#include "ComPort.h"
#include "PortDevice.h"

#include <mutex>

namespace {

std::mutex sourceMutex;
PortListSource& Source() {
    static PortListSource source;
    return source;
}

}  // namespace

void TCustomComPort::SetPortListSource(PortListSource source) {
    std::lock_guard lock(sourceMutex);
    Source() = std::move(source);
}

void TCustomComPort::ListSerialPorts(std::vector<std::string>& list) {
    PortListSource source;
    {
        std::lock_guard lock(sourceMutex);
        source = Source();
    }
    std::vector<std::string> names = source ? source() : SystemPortNames();
    SortPortNamesIgnoringCase(names);
    list = std::move(names);  // only now: a failure above leaves the caller's list as it was
}

bool OfferedUnlisted(const std::string& name) {
    return !name.empty() && (IsUnlistedPortName(name) || IsPresentDevicePath(name));
}
