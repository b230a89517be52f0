#include "PortPermission.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

std::string PortDevicePath(const std::string& port) {
    if (port.empty() || port[0] == '/') return port;
    return "/dev/" + port;
}

FailureKind OpenFailureKind(int systemError) {
    switch (systemError) {
    case EACCES:
        return FailureKind::PermissionDenied;
    // EBUSY: another program opened it exclusively (TIOCEXCL) or holds its
    // lock file; EAGAIN: its flock is taken.
    case EBUSY:
    case EAGAIN:
        return FailureKind::InUse;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return FailureKind::NoDevice;
    default:
        return FailureKind::Other;
    }
}

std::string PortPermissionAdvice(const std::string& port) {
    const std::string device = PortDevicePath(port);
    std::string user = "$USER";
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) user = pw->pw_name;
    struct stat st{};
    if (::stat(device.c_str(), &st) != 0)
        return "You may not open " + device + ": ask the administrator for read and write access to it.";
    std::string group = std::to_string(st.st_gid);
    if (const struct group* g = ::getgrgid(st.st_gid); g && g->gr_name) group = g->gr_name;
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (groupMayUse && st.st_gid != 0)
        return "To open " + device + ", join the group \"" + group + "\" that owns it: sudo adduser " + user +
               " " + group + ", then log out and log in again.";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "You may not open " + device + " (group \"" + group + "\", mode " + mode +
           "): ask the administrator for read and write access to it.";
}
