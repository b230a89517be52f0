#include "PortChoice.h"

#include "serial/ComPort.h"
#include "serial/NetworkAddress.h"
#include "serial/PortList.h"
#include "serial/PortPermission.h"
#include "serial/StrNatComp.h"

#include "base/TextCase.h"

#include <algorithm>
#include <filesystem>

std::vector<std::string> ListedPortsInOrder() {
    std::vector<std::string> ports;
    TCustomComPort::ListSerialPorts(ports);
    SortPorts(ports);
    return ports;
}

bool PortBefore(const std::string& a, const std::string& b) { return NaturalCompare(a, b, false) < 0; }

std::vector<std::string> OncePerDevice(const std::vector<std::string>& ports) {
    std::vector<std::string> once;
    std::vector<std::string> devices;
    for (const auto& port : ports) {
        // The device file with every link resolved; a name the file system
        // does not know (a Windows COM name, a device server) stands for itself.
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

std::vector<std::string> BenchPorts(const std::vector<std::string>& named, const std::string& saved) {
    std::vector<std::string> ports = named;
    if (ports.empty()) {
        ports = ListedPortsInOrder();
        if (IsNetworkPortName(saved)) ports.push_back(saved);
    }
    ports = OncePerDevice(ports);
    std::stable_sort(ports.begin(), ports.end(), PortBefore);
    return ports;
}

std::vector<std::string> OfferedPorts(std::vector<std::string> listed, std::vector<std::string> named) {
    SortPorts(listed);
    SortPorts(named);
    std::vector<std::string> entries;
    auto offered = [&entries](const std::string& name) {
        return std::any_of(entries.begin(), entries.end(),
                           [&name](const std::string& entry) { return SameTextNoCase(entry, name); });
    };
    for (std::string& port : listed) entries.push_back(std::move(port));
    for (std::string& port : named)
        if (!port.empty() && !offered(port)) entries.push_back(std::move(port));
    return entries;
}

PortOffer::PortOffer(std::optional<std::string> named, std::string saved)
    : named_(std::move(named)), saved_(std::move(saved)) {
    if (!named_ && OfferedUnlisted(saved_)) named_ = saved_;
}

void PortOffer::Confirm(const std::string& typed) { typed_.push_back(typed); }

std::vector<std::string> PortOffer::Entries() const {
    std::vector<std::string> named = typed_;
    if (named_) named.push_back(*named_);
    return OfferedPorts(ListedPortsInOrder(), std::move(named));
}

std::string PermissionAdvice(const std::string& port) { return PortPermissionAdvice(port); }
