#include "DetachedProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Every descriptor from first on closed. close_range where the kernel has
// it; else each one up to the limit.
void CloseFrom(int first) {
#ifdef SYS_close_range
    if (::syscall(SYS_close_range, static_cast<unsigned>(first), ~0U, 0U) == 0) return;
#endif
    const long limit = ::sysconf(_SC_OPEN_MAX);
    for (long fd = first; fd < (limit > 0 ? limit : 1024); ++fd) (void)::close(static_cast<int>(fd));
}

// The report pipe's end in the child, just above the standard three.
constexpr int ReportFd = 3;

}  // namespace

std::unique_ptr<DetachedProgram> DetachedProgram::Start(const QString& program, const QStringList& args,
                                                        QString& error) {
    // Everything the child needs is made before fork: after it, only calls
    // that are safe in a copy of a threaded process may run.
    std::vector<std::string> texts{program.toLocal8Bit().toStdString()};
    for (const QString& a : args) texts.push_back(a.toLocal8Bit().toStdString());
    std::vector<char*> argv;
    for (auto& t : texts) argv.push_back(t.data());
    argv.push_back(nullptr);

    // The child tells why exec failed through this pipe; it closes unread on
    // a successful exec.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(report[0]);
        ::close(report[1]);
        return nullptr;
    }
    if (pid == 0) {
        // A session of its own: a Ctrl+C or hang-up of our terminal is not
        // its business. Signals as a fresh program has them: our blocked
        // set and ignored signals would otherwise carry over through exec.
        (void)::setsid();
        sigset_t none;
        sigemptyset(&none);
        (void)::sigprocmask(SIG_SETMASK, &none, nullptr);
        for (int s = 1; s < NSIG; ++s) (void)::signal(s, SIG_DFL);
        // Nothing of ours but the standard three and the report pipe,
        // which closes itself on a successful exec.
        if (::dup2(report[1], ReportFd) == ReportFd) {
            CloseFrom(ReportFd + 1);
            (void)::fcntl(ReportFd, F_SETFD, FD_CLOEXEC);
        }
        ::execv(argv[0], argv.data());
        const int why = errno;
        (void)!::write(ReportFd, &why, sizeof why);
        ::_exit(127);
    }
    ::close(report[1]);
    int why = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &why, sizeof why);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof why)) {
        (void)::waitpid(pid, nullptr, 0);
        error = QString::fromLocal8Bit(std::strerror(why));
        return nullptr;
    }
    return std::unique_ptr<DetachedProgram>(new DetachedProgram(pid, nullptr));
}

// The process is not reaped here: once we have ended, the system adopts it.
DetachedProgram::~DetachedProgram() = default;

bool DetachedProgram::Ended() {
    if (ended_) return true;
    pid_t r;
    do {
        r = ::waitpid(static_cast<pid_t>(id_), nullptr, WNOHANG);
    } while (r < 0 && errno == EINTR);
    // ECHILD: someone else reaped it; it has ended all the same.
    ended_ = r == static_cast<pid_t>(id_) || (r < 0 && errno == ECHILD);
    return ended_;
}
