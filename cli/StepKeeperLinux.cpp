// The step keeper on Linux. Everything after the fork runs in a child of a
// process with several threads (a bench runs a box per thread), where only
// async-signal-safe calls are sound until an exec: so the keeper works with
// system calls and fixed tables alone, no allocation, no stdio.
#include "StepKeeper.h"

#include "StepProcess.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The processes of the machine as last read from /proc. In static storage,
// so that the run itself never touches (or pays for) the pages: only a
// keeper fills them, in its own copy.
constexpr int MaxProcesses = 1 << 16;
struct Process {
    pid_t Pid;
    pid_t Parent;
};
Process g_processes[MaxProcesses];
int g_processCount = 0;
// Those asked to end with SIGTERM, so that each is asked once: a command's
// own TERM trap must not run twice.
pid_t g_asked[MaxProcesses];
int g_askedCount = 0;

// A failure report on the pipe to the run: the stage's index and errno.
constexpr const char* Stages[] = {"fork", "chdir", "execve"};
constexpr int ReportFd = 3;

void Report(int stage, int error) {
    const int message[2] = {stage, error};
    (void)!write(ReportFd, message, sizeof message);
}

long Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

// A decimal number that fills text up to end; -1 when it is not one.
pid_t Number(const char* text, const char* end) {
    if (text == end) return -1;
    pid_t value = 0;
    for (; text < end; ++text) {
        if (*text < '0' || *text > '9' || value > 99999999) return -1;
        value = value * 10 + (*text - '0');
    }
    return value;
}

// The parent of the process named by its /proc entry; -1 when it is gone.
pid_t ParentOf(int procFd, const char* name) {
    char path[64] = {};
    int n = 0;
    for (const char* c = name; *c && n < 40; ++c) path[n++] = *c;
    for (const char* c = "/stat"; *c; ++c) path[n++] = *c;
    const int fd = openat(procFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    char text[512];
    const ssize_t got = read(fd, text, sizeof text - 1);
    close(fd);
    if (got <= 0) return -1;
    // "PID (COMMAND) STATE PPID ...": the command may hold any byte, ')' too,
    // so the fields start after the last ')'.
    const char* end = text + got;
    const char* p = end;
    while (p > text && p[-1] != ')') --p;
    if (p == text || end - p < 4) return -1;
    p += 3;  // " S "
    const char* q = p;
    while (q < end && *q != ' ') ++q;
    return Number(p, q);
}

// Reads every process and its parent from /proc.
void ReadProcesses() {
    g_processCount = 0;
    const int procFd = open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) return;
    alignas(8) char buffer[8192];
    for (;;) {
        const long got = syscall(SYS_getdents64, procFd, buffer, sizeof buffer);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            const char* end = name;
            while (*end) ++end;
            const pid_t pid = Number(name, end);
            if (pid <= 0 || g_processCount == MaxProcesses) continue;
            const pid_t parent = ParentOf(procFd, name);
            if (parent >= 0) g_processes[g_processCount++] = {pid, parent};
        }
    }
    close(procFd);
}

bool Holds(const pid_t* list, int count, pid_t pid) {
    for (int i = 0; i < count; ++i)
        if (list[i] == pid) return true;
    return false;
}

// Signals every process whose chain of parents reaches this one. Every
// process the command started is there: while its parent lives it hangs
// below it, and when its parent ends it comes to us, the subreaper.
// Returns how many there were. With once, each is sent sig only once.
int SignalDescendants(int sig, bool once) {
    static pid_t tree[MaxProcesses];
    ReadProcesses();
    int count = 0;
    tree[count++] = getpid();
    for (bool grew = true; grew;) {
        grew = false;
        for (int i = 0; i < g_processCount && count < MaxProcesses; ++i) {
            const Process& p = g_processes[i];
            if (Holds(tree, count, p.Parent) && !Holds(tree, count, p.Pid)) {
                tree[count++] = p.Pid;
                grew = true;
            }
        }
    }
    for (int i = 1; i < count; ++i) {
        if (once) {
            if (Holds(g_asked, g_askedCount, tree[i])) continue;
            if (g_askedCount < MaxProcesses) g_asked[g_askedCount++] = tree[i];
        }
        kill(tree[i], sig);
    }
    return count - 1;
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
// which would stay open as long as the command runs.
void KeepOnlyOwnFiles(const KeeperStart& start, int report) {
    const int from[] = {start.In, start.Out, start.Err, report};
    int moved[4];
    for (int i = 0; i < 4; ++i) moved[i] = fcntl(from[i], F_DUPFD, ReportFd + 1);
    for (int i = 0; i < 4; ++i) dup2(moved[i], i);
    fcntl(ReportFd, F_SETFD, FD_CLOEXEC);
    if (syscall(SYS_close_range, ReportFd + 1, ~0U, 0) != 0) {
        rlimit limit{};
        const long last = getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 65536 ? long(limit.rlim_cur) : 65536;
        for (long fd = ReportFd + 1; fd < last; ++fd) close(static_cast<int>(fd));
    }
}

constexpr int EndSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

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
    KeepOnlyOwnFiles(start, report);
    if (getppid() != run) _exit(128 + SIGTERM);  // the run died before the line above

    const pid_t shell = fork();
    if (shell < 0) {
        Report(0, errno);
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
            Report(1, errno);
            _exit(127);
        }
        execve(start.Argv[0], start.Argv, start.Envp);
        Report(2, errno);
        _exit(127);
    }
    close(ReportFd);

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
    // asked first, then killed after the grace time. With no child left
    // there is nothing below us at all (a living descendant always has a
    // living parent up to us), and /proc need not be read.
    if (ReapAll(shell, shellStatus, shellEnded)) {
        SignalDescendants(SIGTERM, true);
        const long deadline = Now() + EndGraceMs;
        long rescan = Now() + 50;
        while (ReapAll(shell, shellStatus, shellEnded) && Now() < deadline) {
            WaitForSignal(waited, 10);
            // Processes started after the last look are asked too.
            if (Now() >= rescan) SignalDescendants(SIGTERM, true), rescan = Now() + 50;
        }
        while (ReapAll(shell, shellStatus, shellEnded)) {
            SignalDescendants(SIGKILL, false);
            WaitForSignal(waited, 10);
        }
    }
    if (asked || !shellEnded) _exit(128 + SIGTERM);
    _exit(WIFEXITED(shellStatus) ? WEXITSTATUS(shellStatus) : 128 + WTERMSIG(shellStatus));
}

}  // namespace

pid_t StartStepKeeper(const KeeperStart& start, KeeperFailure& failure) {
    failure = {};
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0) {
        failure = {"pipe", errno};
        return -1;
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
        return -1;
    }
    // Also in the parent, so that a signal to the group cannot miss a keeper
    // that has not yet made it.
    setpgid(keeper, keeper);
    // Nothing arrives once the shell is running (the pipe closes on its
    // exec); a failure report otherwise.
    int message[2] = {0, 0};
    ssize_t got;
    while ((got = read(pipe[0], message, sizeof message)) < 0 && errno == EINTR) {
    }
    close(pipe[0]);
    if (got == static_cast<ssize_t>(sizeof message) && message[0] >= 0 && message[0] < 3)
        failure = {Stages[message[0]], message[1]};
    return keeper;
}
