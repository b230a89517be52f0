#include "EmulatorPty.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Raw, 8N1, no echo: with echo on, every reply written to the master would
// come straight back to it as input.
void MakeRaw(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) Fail("tcgetattr");
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    if (tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr");
}

}  // namespace

EmulatorPty::EmulatorPty() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master_ < 0) Fail("posix_openpt");
    char name[128];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        const int e = errno;
        ::close(master_);
        errno = e;
        Fail("pseudo-terminal");
    }
    path_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        const int e = errno;
        ::close(master_);
        errno = e;
        Fail("open " + path_);
    }
    try {
        MakeRaw(slave_);
    } catch (...) {
        ::close(slave_);
        ::close(master_);
        throw;
    }
    // Without the watch the emulator still works; only the exclusive flag
    // would then have to be cleared by the tool itself.
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
}

EmulatorPty::~EmulatorPty() {
    if (watch_ >= 0) ::close(watch_);
    ::close(slave_);
    ::close(master_);
}

bool EmulatorPty::DrainWatch() {
    bool closed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + i);
            if (e->mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) closed = true;
            i += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    return closed;
}

void EmulatorPty::ClearExclusive() { ::ioctl(slave_, TIOCNXCL); }

void PointLink(const std::string& link, const std::string& target) {
    struct stat st{};
    if (::lstat(link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode))
        throw std::runtime_error(link + " exists and is not a symbolic link");
    const std::string temp = link + ".new" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) Fail("symlink " + link);
    if (::rename(temp.c_str(), link.c_str()) != 0) {
        const int e = errno;
        ::unlink(temp.c_str());
        errno = e;
        Fail("rename " + link);
    }
}

void RemoveLink(const std::string& link, const std::string& target) {
    char buffer[512];
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return;
    if (std::string(buffer, static_cast<std::size_t>(n)) == target) ::unlink(link.c_str());
}
