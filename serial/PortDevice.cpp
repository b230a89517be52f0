// The one place that tells the kinds of device apart by the port's name.
#include "PortDevice.h"

#include "LocalDevice.h"
#include "MemoryDevice.h"
#include "NetworkAddress.h"
#include "NetworkPort.h"
#include "base/MemoryLine.h"

std::unique_ptr<PortDevice> OpenPortDevice(const std::string& name, const LineSettings& settings,
                                           const LongWaitHook& longWait) {
    if (IsNetworkPortName(name)) return OpenNetworkDevice(name, settings, longWait);
    if (const std::optional<std::string> line = MemoryLine::NameOfPort(name)) return OpenMemoryDevice(*line);
    return OpenLocalDevice(name);
}

bool IsUnlistedPortName(const std::string& name) {
    return IsNetworkPortName(name) || MemoryLine::NameOfPort(name).has_value();
}
