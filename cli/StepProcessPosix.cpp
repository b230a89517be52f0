// A step's command on POSIX: /bin/sh -c in a process group of its own, so
// that a time-out or a signal ends the shell and everything it started.
#include "StepProcess.h"

#include "Interrupt.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// An output file that exists only through its descriptor: unlinked at once,
// so that nothing is left in the temporary folder whatever happens.
class CaptureFile {
public:
    CaptureFile() {
        const char* folder = std::getenv("TMPDIR");
        std::string name = std::string(folder && *folder ? folder : "/tmp") + "/knsimtool-step-XXXXXX";
        fd_ = mkstemp(name.data());
        if (fd_ >= 0) unlink(name.c_str());
    }
    ~CaptureFile() {
        if (fd_ >= 0) close(fd_);
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;
    int Fd() const { return fd_; }

    std::string Kept() const {
        struct stat st {};
        if (fd_ < 0 || fstat(fd_, &st) != 0) return {};
        return CutOutput(static_cast<std::size_t>(st.st_size), [this](std::size_t offset, std::size_t length) {
            std::string piece(length, '\0');
            std::size_t got = 0;
            while (got < length) {
                const ssize_t n = pread(fd_, piece.data() + got, length - got, static_cast<off_t>(offset + got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            piece.resize(got);
            return piece;
        });
    }

private:
    int fd_ = -1;
};

// "NAME=value" for every inherited variable that vars does not set, then vars.
std::vector<std::string> Environment(const std::map<std::string, std::string>& vars) {
    std::vector<std::string> entries;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos && vars.count(entry.substr(0, eq))) continue;
        entries.push_back(entry);
    }
    for (const auto& [name, value] : vars) entries.push_back(name + "=" + value);
    return entries;
}

// True once the child has ended. It is not reaped yet, so that its id still
// names its group for the kill that follows.
bool Ended(pid_t pid) {
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) return info.si_pid == pid;
        if (errno != EINTR) return true;  // no such child: nothing to wait for
    }
}

// Asks the group to end and gives its leader EndGraceMs to do so.
void AskGroupToEnd(pid_t pid) {
    kill(-pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::milliseconds(EndGraceMs);
    while (!Ended(pid) && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// The command's own children that outlive it are orphans; they would go to
// init, which in a container may never reap them. As the subreaper of our
// descendants we get them instead and reap them with the group.
void AdoptOrphans() {
#ifdef __linux__
    static const bool adopted = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
    (void)adopted;
#endif
}

// Reaps what is left of the group after its kill (orphans that came to us).
void ReapGroup(pid_t group) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(EndGraceMs);
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(-group, &status, WNOHANG);
        if (r > 0) continue;
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 || Clock::now() >= deadline) return;  // none left (ECHILD), or one that will not die
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace

CommandRun RunStepCommand(const std::string& commandLine, const std::map<std::string, std::string>& vars,
                          double timeoutSeconds) {
    CommandRun run;
    CaptureFile out, err;
    if (out.Fd() < 0 || err.Fd() < 0) {
        run.StartFailure = std::string("cannot make a file for its output: ") + std::strerror(errno);
        return run;
    }
    AdoptOrphans();
    const std::vector<std::string> entries = Environment(vars);
    std::vector<char*> envp;
    for (const auto& e : entries) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char shell[] = "sh";
    char dashC[] = "-c";
    char* argv[] = {shell, dashC, const_cast<char*>(commandLine.c_str()), nullptr};

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, out.Fd(), 1);
    posix_spawn_file_actions_adddup2(&files, err.Fd(), 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own (its id the child's), so that the whole tree can be
    // signalled and a Ctrl+C at the terminal reaches only us; the signals we
    // ignore (SIGPIPE) or catch set back to their defaults, nothing blocked.
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (const int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&defaults, sig);
    sigemptyset(&none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);

    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, "/bin/sh", &files, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0) {
        run.StartFailure = std::string("cannot start /bin/sh: ") + std::strerror(spawned);
        return run;
    }
    run.Started = true;

    // Short pauses first: most commands of a plan are quick, and each
    // millisecond of waiting is a millisecond of every step.
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    while (!Ended(pid)) {
        const auto now = Clock::now();
        if (now >= deadline || Interrupted()) {
            (now >= deadline ? run.TimedOut : run.Interrupted) = true;
            AskGroupToEnd(pid);
            break;
        }
        const auto pause = now - started < std::chrono::milliseconds(50) ? std::chrono::milliseconds(1)
                                                                         : std::chrono::milliseconds(10);
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    }
    // What the command left running in its group goes with it (and, past
    // the time-out, whatever did not end when asked).
    kill(-pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ReapGroup(pid);

    if (WIFEXITED(status)) run.ExitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) run.ExitStatus = 128 + WTERMSIG(status);
    run.Out = out.Kept();
    run.Err = err.Kept();
    return run;
}
