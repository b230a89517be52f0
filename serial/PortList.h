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

// Whether a saved port name is worth offering although the system does not
// list it: the path of a serial device that is there now (a pseudo-terminal,
// /dev/serial/by-id/...), a device server's address, a line in memory. The
// network is not probed.
[[nodiscard]] bool OfferedUnlisted(const std::string& name);

// The system's part: whether the name is the path of a character device present now.
[[nodiscard]] bool IsPresentDevicePath(const std::string& name);
