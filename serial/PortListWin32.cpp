// The serial ports of a Windows machine: the values of the registry key
// HARDWARE\DEVICEMAP\SERIALCOMM, whose data are the port names ("COM3").
#include "PortList.h"

#include "ComPort.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kBufferSize = 256;

std::vector<std::string> ReadSerialCommKey() {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key);
    // Windows removes the key when the last serial port goes: no key, no ports.
    if (result == ERROR_FILE_NOT_FOUND) return {};
    if (result != ERROR_SUCCESS) throw EComPort(CError_RegError, static_cast<int>(result));
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char valueName[kBufferSize];
        BYTE data[kBufferSize];
        DWORD nameSize = kBufferSize;
        DWORD dataSize = kBufferSize;
        result = RegEnumValueA(key, index, valueName, &nameSize, nullptr, nullptr, data, &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS) {
            RegCloseKey(key);
            throw EComPort(CError_RegError, static_cast<int>(result));
        }
        const char* text = reinterpret_cast<const char*>(data);
        names.emplace_back(text, strnlen(text, dataSize));
    }
    RegCloseKey(key);
    return names;
}

}  // namespace

void SortPortNamesIgnoringCase(std::vector<std::string>& names) {
    // The user's locale decides, as Windows sorts names elsewhere.
    std::stable_sort(names.begin(), names.end(), [](const std::string& x, const std::string& y) {
        return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, x.data(), static_cast<int>(x.size()),
                              y.data(), static_cast<int>(y.size())) == CSTR_LESS_THAN;
    });
}

std::vector<std::string> SystemPortNames() { return ReadSerialCommKey(); }

// COM ports are named, not reached by a path; the registry lists every one present.
bool IsPresentDevicePath(const std::string&) { return false; }
