// The step keeper on Linux. Everything after the fork runs in a child of a
// process with several threads (a bench runs a box per thread), where only
// async-signal-safe calls are sound until an exec: so the keeper works with
// system calls and fixed tables alone (no allocation, no stdio, no locks),
// and makes the shell's process with _Fork, which runs no fork handlers.
#include "StepKeeper.h"

#include "ProcessTree.h"
#include "StepProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using ProcessTree::MaxProcesses;

// What the keeper tells the run on its pipe, one record per write (smaller
// than PIPE_BUF, so never torn): first whether the command started, and
// when the keeper ends, each process it had to give up.
struct Record {
    int Kind;
    int Error;  // errno; 0 for a process still there after SIGKILL
    pid_t Pid;
    char Name[16];
};
constexpr const char* Stages[] = {"fork", "chdir", "execve", "move descriptors"};
enum : int { StageFork = 0, StageChdir = 1, StageExecve = 2, StageDescriptors = 3, Started = 100, NotEnded = 101 };
constexpr int ReportFd = 3;
// Enough to say what went wrong; the pipe is read only once the keeper has
// ended, so the keeper must never fill it.
constexpr int MaxNotes = 32;

void Send(int fd, const Record& record) { (void)!write(fd, &record, sizeof record); }
void SendStage(int fd, int stage, int error) { Send(fd, Record{stage, error, 0, {}}); }

long Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

// Those asked to end with SIGTERM, so that each is asked once: a command's
// own TERM trap must not run twice.
pid_t g_asked[MaxProcesses];
int g_askedCount = 0;
// Those sent SIGKILL, and when first.
pid_t g_killed[MaxProcesses];
long g_killedAt[MaxProcesses];
int g_killedCount = 0;
// Those given up and noted; left alone from then on.
pid_t g_givenUp[MaxProcesses];
int g_givenUpCount = 0;
int g_notes = 0;

// Sends sig to pid, a member of the tree as last found: 0, or the errno.
// Through a pid file descriptor, the process is checked to be below us
// after it is held, so that a pid reused since /proc was read is never
// hit; kill() where the kernel has no such descriptors.
int SendSignal(pid_t pid, int sig) {
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_send_signal)
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (fd >= 0) {
        const bool ours = ProcessTree::Holds(ProcessTree::ParentOf(pid));
        const int result = ours ? static_cast<int>(syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0)) : -1;
        const int error = ours ? errno : ESRCH;
        close(fd);
        return result == 0 ? 0 : error;
    }
    if (errno != ENOSYS) return errno;
#endif
    return kill(pid, sig) == 0 ? 0 : errno;
}

// Notes pid for the run (with its command name) and leaves it alone.
void GiveUp(pid_t pid, int error) {
    if (g_givenUpCount < MaxProcesses) g_givenUp[g_givenUpCount++] = pid;
    if (g_notes == MaxNotes) return;
    ++g_notes;
    Record record{NotEnded, error, pid, {}};
    char path[64];
    ProcessTree::ProcPath(pid, "comm", path);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const ssize_t got = read(fd, record.Name, sizeof record.Name - 1);
        close(fd);
        for (ssize_t i = 0; i < got; ++i)
            if (record.Name[i] == '\n') record.Name[i] = '\0';
    }
    Send(ReportFd, record);
}

// Sends sig to every process below us that is not given up; with SIGTERM
// each only once. A process that may not be signalled is given up; so is
// one still there KillWaitMs after its first SIGKILL, or every one left
// when last is set. Returns how many are left to wait for.
int SignalTree(int sig, bool last = false) {
    ProcessTree::Find();
    int left = 0;
    const long now = Now();
    for (int i = 1; i < ProcessTree::Count(); ++i) {
        const pid_t pid = ProcessTree::At(i);
        if (Holds(g_givenUp, g_givenUpCount, pid)) continue;
        if (sig == SIGKILL) {
            int k = IndexOf(g_killed, g_killedCount, pid);
            if (k < 0 && g_killedCount < MaxProcesses) {
                k = g_killedCount++;
                g_killed[k] = pid;
                g_killedAt[k] = now;
            }
            if (last || (k >= 0 && now - g_killedAt[k] >= KillWaitMs)) {
                GiveUp(pid, 0);
                continue;
            }
        } else if (Holds(g_asked, g_askedCount, pid)) {
            ++left;
            continue;
        } else if (g_askedCount < MaxProcesses) {
            g_asked[g_askedCount++] = pid;
        }
        const int error = SendSignal(pid, sig);
        if (error == EPERM) GiveUp(pid, error);
        else if (error == 0) ++left;
    }
    return left;
}

// Reaps whatever has ended; notes the shell's status. False once nothing
// below us is left.
bool ReapAll(pid_t shell, int& shellStatus, bool& shellEnded) {
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(-1, &status, WNOHANG);
        if (r > 0) {
            if (r == shell) shellStatus = status, shellEnded = true;
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        return !(r < 0 && errno == ECHILD);
    }
}

void WaitForSignal(const sigset_t& set, long ms) {
    siginfo_t info{};
    const timespec pause{ms / 1000, (ms % 1000) * 1000000L};
    (void)sigtimedwait(&set, &info, &pause);
}

// Moves in, out, err to 0, 1, 2 and the report pipe to ReportFd, and closes
// everything else: the keeper must hold no port, socket or file of the run,
// which would stay open as long as the command runs. A move that fails
// (descriptors exhausted) is reported on the pipe itself, wherever it is
// at that moment, and the keeper ends: the numbers 0 to 3 of the run may
// be anything, a box's port too.
bool KeepOnlyOwnFiles(const KeeperStart& start, int report) {
    const int from[] = {start.In, start.Out, start.Err, report};
    int moved[4];
    for (int i = 0; i < 4; ++i) {
        moved[i] = fcntl(from[i], F_DUPFD, ReportFd + 1);
        if (moved[i] < 0) {
            // Nothing has been moved yet: the pipe is still where it was.
            SendStage(report, StageDescriptors, errno);
            return false;
        }
    }
    for (int i = 0; i < 4; ++i) {
        if (dup2(moved[i], i) < 0) {
            SendStage(moved[3], StageDescriptors, errno);
            return false;
        }
    }
    fcntl(ReportFd, F_SETFD, FD_CLOEXEC);
    if (syscall(SYS_close_range, ReportFd + 1, ~0U, 0) != 0) {
        rlimit limit{};
        const long last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? long(limit.rlim_cur) : 65536;
        for (long fd = ReportFd + 1; fd < last; ++fd) close(static_cast<int>(fd));
    }
    return true;
}

constexpr int EndSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// Starts the shell; tells the run whether it started. The shell's exec
// failure comes back on a pipe of its own that its exec closes.
pid_t StartShell(const KeeperStart& start) {
    int started[2];
    if (pipe2(started, O_CLOEXEC) != 0) {
        SendStage(ReportFd, StageFork, errno);
        _exit(127);
    }
    const pid_t shell = _Fork();
    if (shell < 0) {
        SendStage(ReportFd, StageFork, errno);
        _exit(127);
    }
    if (shell == 0) {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        for (const int sig : {SIGPIPE, SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaction(sig, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (start.Folder && chdir(start.Folder) != 0) {
            SendStage(started[1], StageChdir, errno);
            _exit(127);
        }
        execve(start.Argv[0], start.Argv, start.Envp);
        SendStage(started[1], StageExecve, errno);
        _exit(127);
    }
    close(started[1]);
    Record record{};
    ssize_t got;
    while ((got = read(started[0], &record, sizeof record)) < 0 && errno == EINTR) {
    }
    close(started[0]);
    Send(ReportFd, got == static_cast<ssize_t>(sizeof record) ? record : Record{Started, 0, 0, {}});
    return shell;
}

[[noreturn]] void Keep(const KeeperStart& start, int report, pid_t run) {
    // Blocked, to be taken with sigtimedwait: a signal handler of the run
    // (copied by fork) must not run here.
    sigset_t waited;
    sigemptyset(&waited);
    sigaddset(&waited, SIGCHLD);
    for (const int sig : EndSignals) sigaddset(&waited, sig);
    sigprocmask(SIG_BLOCK, &waited, nullptr);

    setpgid(0, 0);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    // The run dying (killed hard by a CI job's time-out) asks us to end too.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (!KeepOnlyOwnFiles(start, report)) _exit(127);
    if (getppid() != run) _exit(128 + SIGTERM);  // the run died before the line above

    const pid_t shell = StartShell(start);
    int shellStatus = 0;
    bool shellEnded = false;
    bool asked = false;
    while (!shellEnded) {
        ReapAll(shell, shellStatus, shellEnded);
        if (shellEnded) break;
        siginfo_t info{};
        const timespec second{1, 0};
        const int sig = sigtimedwait(&waited, &info, &second);
        if (sig > 0 && sig != SIGCHLD) {
            asked = true;
            break;
        }
    }

    // Whatever is left below us, the shell too when we were asked to end:
    // each asked once, then killed after the grace time, and given up when
    // it may not be signalled or outlasts its SIGKILL. With no child left
    // there is nothing below us at all (a living descendant always has a
    // living parent up to us), and /proc need not be read.
    if (ReapAll(shell, shellStatus, shellEnded)) {
        int left = SignalTree(SIGTERM);
        const long graceEnd = Now() + EndGraceMs;
        long rescan = Now() + 50;
        while (left > 0 && ReapAll(shell, shellStatus, shellEnded) && Now() < graceEnd) {
            WaitForSignal(waited, 10);
            // Processes started after the last look are asked too.
            if (Now() >= rescan) left = SignalTree(SIGTERM), rescan = Now() + 50;
        }
        // Each is given KillWaitMs after its own first SIGKILL; a tree that
        // keeps making new processes is given up as a whole after twice that.
        const long killEnd = Now() + 2 * KillWaitMs;
        while (ReapAll(shell, shellStatus, shellEnded) && SignalTree(SIGKILL, Now() >= killEnd) > 0)
            WaitForSignal(waited, 10);
    }
    if (asked || !shellEnded) _exit(128 + SIGTERM);
    _exit(WIFEXITED(shellStatus) ? WEXITSTATUS(shellStatus) : 128 + WTERMSIG(shellStatus));
}

}  // namespace

StepKeeper StartStepKeeper(const KeeperStart& start, KeeperFailure& failure, long waitMs,
                           const std::function<bool()>& stop) {
    failure = {};
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0) {
        failure = {"pipe", errno};
        return {};
    }
    const pid_t run = getpid();
    // Blocked across the fork, so that the run's own handler (copied into
    // the keeper) can never take a SIGTERM meant for the keeper before it
    // blocks them itself.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    const pid_t keeper = fork();
    if (keeper == 0) Keep(start, pipe[1], run);
    const int forkError = errno;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    close(pipe[1]);
    if (keeper < 0) {
        close(pipe[0]);
        failure = {"fork", forkError};
        return {};
    }
    // Also in the parent, so that a signal to the group cannot miss a keeper
    // that has not yet made it.
    setpgid(keeper, keeper);
    // The first record says whether the command started; a keeper that
    // ended before it could say (killed) counts as started, its status
    // tells the rest.
    const long until = Now() + waitMs;
    pollfd ready{pipe[0], POLLIN, 0};
    while (Now() < until && !stop()) {
        const int n = poll(&ready, 1, 20);
        if (n > 0) {
            Record record{};
            ssize_t got;
            while ((got = read(pipe[0], &record, sizeof record)) < 0 && errno == EINTR) {
            }
            if (got == static_cast<ssize_t>(sizeof record) && record.Kind >= 0 && record.Kind <= StageDescriptors)
                failure = {Stages[record.Kind], record.Error};
            break;
        }
        if (n < 0 && errno != EINTR) break;
    }
    return {keeper, pipe[0]};
}

std::vector<std::string> KeeperNotes(StepKeeper& keeper) {
    std::vector<std::string> notes;
    if (keeper.Notes < 0) return notes;
    // The keeper has ended; a process that still holds the pipe (a shell
    // between its fork and exec) must not hold up the run.
    fcntl(keeper.Notes, F_SETFL, fcntl(keeper.Notes, F_GETFL) | O_NONBLOCK);
    Record record{};
    for (;;) {
        const ssize_t got = read(keeper.Notes, &record, sizeof record);
        if (got < 0 && errno == EINTR) continue;
        if (got != static_cast<ssize_t>(sizeof record)) break;
        if (record.Kind != NotEnded) continue;
        record.Name[sizeof record.Name - 1] = '\0';
        const std::string reason =
            record.Error ? std::strerror(record.Error) : "still there " + std::to_string(KillWaitMs / 1000) + " s after SIGKILL";
        notes.push_back("could not end " + std::to_string(record.Pid) + " " + (*record.Name ? record.Name : "?") + ": " + reason);
    }
    close(keeper.Notes);
    keeper.Notes = -1;
    return notes;
}
