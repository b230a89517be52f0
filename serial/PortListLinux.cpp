#include "PortList.h"

#include "ComPort.h"
#include "StrNatComp.h"

#include "base/TextCase.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

// Small sysfs attribute as text, or empty when it cannot be read.
std::string ReadAttribute(int dirFd, const std::string& path) {
    const int fd = openat(dirFd, path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    char buf[64];
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

bool HasDriver(int dirFd, const std::string& name) {
    struct stat st {};
    return fstatat(dirFd, (name + "/device/driver").c_str(), &st, 0) == 0;
}

// The 8250 driver registers a fixed number of ttyS ports whether or not a
// UART answers; those report the port type 0 (unknown).
bool IsPlaceholderUart(int dirFd, const std::string& name) {
    const std::string type = ReadAttribute(dirFd, name + "/type");
    if (type.empty()) return false;
    std::size_t i = 0;
    while (i < type.size() && type[i] == '0') ++i;
    return i > 0 && (i == type.size() || type[i] == '\n');
}

}  // namespace

std::vector<std::string> ListTtyDevices(const std::string& classFolder) {
    DIR* dir = opendir(classFolder.c_str());
    if (!dir) throw EComPort(CError_RegError, errno);
    const int dirFd = dirfd(dir);
    std::vector<std::string> names;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (!entry) {
            const int error = errno;
            closedir(dir);
            if (error != 0) throw EComPort(CError_RegError, error);
            break;
        }
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        // Virtual consoles, ptmx and the like have no device driver behind them.
        if (!HasDriver(dirFd, name) || IsPlaceholderUart(dirFd, name)) continue;
        names.push_back(name);
    }
    return names;
}

void SortPortNamesIgnoringCase(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& x, const std::string& y) {
        const std::size_t n = std::min(x.size(), y.size());
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char cx = UpperLatin1(static_cast<unsigned char>(x[i]));
            const unsigned char cy = UpperLatin1(static_cast<unsigned char>(y[i]));
            if (cx != cy) return cx < cy;
        }
        if (x.size() != y.size()) return x.size() < y.size();
        return x < y;
    });
}

std::vector<std::string> SystemPortNames() { return ListTtyDevices("/sys/class/tty"); }

bool IsPresentDevicePath(const std::string& name) {
    struct stat device {};
    return name.front() == '/' && ::stat(name.c_str(), &device) == 0 && S_ISCHR(device.st_mode);
}
