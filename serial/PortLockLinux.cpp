// Lock files in /run/lock, as the serial programs of Linux distributions
// agree on them (the "HDB UUCP" form: the holder's pid as "%10d\n").
#include "PortLock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

// Lock files this process holds, so that a second open of the same port in
// this process is refused while a file with our pid left by a process that
// had our pid before us is seen as stale.
std::mutex g_heldMutex;
std::set<std::string> g_held;

bool HeldHere(const std::string& file) {
    std::lock_guard lock(g_heldMutex);
    return g_held.count(file) != 0;
}

// The pid in a lock file: ASCII digits with blanks around them, or, from
// some old programs, the pid as a binary 4-byte number. 0 when unreadable.
pid_t ReadHolder(const std::string& file, bool& unreadable) {
    unreadable = false;
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        unreadable = errno != ENOENT;
        return 0;
    }
    char buf[64] = {};
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf - 1);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0) return 0;
    char* end = nullptr;
    const long pid = std::strtol(buf, &end, 10);
    if (end != buf && pid > 0) return static_cast<pid_t>(pid);
    if (n == 4) {
        int binary = 0;
        std::memcpy(&binary, buf, sizeof binary);
        if (binary > 0) return binary;
    }
    return 0;
}

// kill(pid, 0) answers EPERM for a live process of another user.
bool ProcessAlive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

// Makes the file with our pid in one step: written under a private name,
// then linked to its real name, so that nobody ever reads a half-written
// file and two takers cannot both succeed.
int CreateLockFile(const std::string& file) {
    char content[16];
    std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
    const std::string temp = file + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return errno;
    const ssize_t n = ::write(fd, content, std::strlen(content));
    const int writeError = n == static_cast<ssize_t>(std::strlen(content)) ? 0 : (n < 0 ? errno : EIO);
    ::close(fd);
    // Readable by every user, whatever the umask: other programs check it.
    (void)::chmod(temp.c_str(), 0644);
    int error = writeError;
    if (!error && ::link(temp.c_str(), file.c_str()) != 0) error = errno;
    ::unlink(temp.c_str());
    return error;
}

}  // namespace

std::string TPortLockFile::Folder() {
    if (const char* folder = std::getenv("KNSIM_LOCK_DIR"); folder && *folder) return folder;
    return "/run/lock";
}

std::string TPortLockFile::NameFor(const std::string& devicePath) {
    std::string path = devicePath;
    if (char* real = ::realpath(devicePath.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    const std::size_t slash = path.rfind('/');
    return "LCK.." + (slash == std::string::npos ? path : path.substr(slash + 1));
}

int TPortLockFile::Take(const std::string& devicePath) {
    Release();
    const std::string file = Folder() + "/" + NameFor(devicePath);
    // Two rounds: a stale file removed in the first is replaced in the second.
    for (int round = 0; round < 2; ++round) {
        const int error = CreateLockFile(file);
        if (error == 0) {
            file_ = file;
            std::lock_guard lock(g_heldMutex);
            g_held.insert(file_);
            return 0;
        }
        if (error != EEXIST) {
            // No lock folder, or one this user may not write: only honour
            // what others hold. A file there that we cannot read is taken as
            // held: better a refused open than two programs on one line.
            bool unreadable = false;
            const pid_t holder = ReadHolder(file, unreadable);
            if (unreadable || ProcessAlive(holder)) return EBUSY;
            return 0;
        }
        bool unreadable = false;
        const pid_t holder = ReadHolder(file, unreadable);
        if (unreadable) return EBUSY;
        if (holder == ::getpid() ? HeldHere(file) : ProcessAlive(holder)) return EBUSY;
        // Stale, or empty (its maker died between creating and writing it):
        // nobody holds the port. Another user's stale file in the sticky
        // lock folder cannot be removed; the port is free all the same, and
        // is used without a lock file of ours.
        if (::unlink(file.c_str()) != 0 && errno != ENOENT) return 0;
    }
    return EBUSY;
}

void TPortLockFile::Release() {
    if (file_.empty()) return;
    // Only our own file is removed, not one another process made after
    // someone else took ours away as stale.
    bool unreadable = false;
    if (ReadHolder(file_, unreadable) == ::getpid()) ::unlink(file_.c_str());
    {
        std::lock_guard lock(g_heldMutex);
        g_held.erase(file_);
    }
    file_.clear();
}
