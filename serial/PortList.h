#pragma once
// Where TCustomComPort::ListSerialPorts finds the machine's serial ports.
#include <string>
#include <vector>

// The tty devices in a sysfs class folder (normally /sys/class/tty) that have
// a device driver behind them, as names without "/dev/", in folder order.
// Serial-core placeholders without a UART (type 0) are left out. Raises
// EComPort 23 with errno when the folder cannot be read.
std::vector<std::string> ListTtyDevices(const std::string& classFolder);

// Case-insensitive order of port names (Latin-1 letters), the raw bytes
// deciding between names that differ only in case.
void SortPortNamesIgnoringCase(std::vector<std::string>& names);

// The machine's serial ports as the operating system lists them, unsorted.
std::vector<std::string> SystemPortNames();
