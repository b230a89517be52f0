#include "PortPermission.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

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

namespace {

// The reentrant look-ups: the bench asks from a thread per box at once, and
// getpwuid and getgrgid hand out one buffer shared by all of them.
constexpr std::size_t NameBuffer = 16384;

std::string UserName(uid_t uid) {
    std::vector<char> buffer(NameBuffer);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return "$USER";
}

std::string GroupName(gid_t gid) {
    std::vector<char> buffer(NameBuffer);
    group gr{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &gr, buffer.data(), buffer.size(), &found) == 0 && found && found->gr_name)
        return found->gr_name;
    return std::to_string(gid);
}

}  // namespace

std::string PortPermissionAdvice(const std::string& port) {
    const std::string device = PortDevicePath(port);
    const std::string user = UserName(::geteuid());
    struct stat st{};
    if (::stat(device.c_str(), &st) != 0)
        return "You may not open " + device + ": ask the administrator for read and write access to it.";
    const std::string group = GroupName(st.st_gid);
    const bool groupMayUse = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    if (groupMayUse && st.st_gid != 0)
        return "To open " + device + ", join the group \"" + group + "\" that owns it: sudo adduser " + user +
               " " + group + ", then log out and log in again.";
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return "You may not open " + device + " (group \"" + group + "\", mode " + mode +
           "): ask the administrator for read and write access to it.";
}
