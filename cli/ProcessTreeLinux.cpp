// Reading the process tree on Linux from /proc, with system calls and
// fixed tables alone: the step keeper uses it after a fork in a process with
// several threads, where nothing may allocate or take a lock.
#include "ProcessTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ProcessTree {
namespace {

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

}  // namespace

void ProcPath(pid_t pid, const char* what, char* path) {
    char digits[16];
    int n = 0;
    do digits[n++] = static_cast<char>('0' + pid % 10); while ((pid /= 10) > 0);
    int at = 0;
    for (const char* c = "/proc/"; *c; ++c) path[at++] = *c;
    while (n > 0) path[at++] = digits[--n];
    path[at++] = '/';
    for (const char* c = what; *c; ++c) path[at++] = *c;
    path[at] = '\0';
}

// The parent of a living process; -1 when it is gone or has ended (a
// zombie, which its parent reaps).
pid_t ParentOf(pid_t pid) {
    char path[64];
    ProcPath(pid, "stat", path);
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
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
    if (p[1] == 'Z' || p[1] == 'X') return -1;
    p += 3;  // " S "
    const char* q = p;
    while (q < end && *q != ' ') ++q;
    return Number(p, q);
}

namespace {

// The processes of the machine as last read from /proc. In static storage,
// so that the run itself never touches (or pays for) the pages: only a
// keeper fills them, in its own copy.
struct Process {
    pid_t Pid;
    pid_t Parent;
};
Process g_processes[MaxProcesses];
int g_processCount = 0;
// The tree below us as last found, parents before their children.
pid_t g_tree[MaxProcesses];
int g_treeCount = 0;
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
            const pid_t parent = ParentOf(pid);
            if (parent >= 0) g_processes[g_processCount++] = {pid, parent};
        }
    }
    close(procFd);
}

}  // namespace

// Every living process whose chain of parents reaches this one. Every
// process the command started is there: while its parent lives it hangs
// below it, and when its parent ends it comes to us, the subreaper.
void Find() {
    ReadProcesses();
    g_treeCount = 0;
    g_tree[g_treeCount++] = getpid();
    for (bool grew = true; grew;) {
        grew = false;
        for (int i = 0; i < g_processCount && g_treeCount < MaxProcesses; ++i) {
            const Process& p = g_processes[i];
            if (::Holds(g_tree, g_treeCount, p.Parent) && !::Holds(g_tree, g_treeCount, p.Pid)) {
                g_tree[g_treeCount++] = p.Pid;
                grew = true;
            }
        }
    }
}

int Count() { return g_treeCount; }
pid_t At(int i) { return g_tree[i]; }
bool Holds(pid_t pid) { return ::Holds(g_tree, g_treeCount, pid); }

}  // namespace ProcessTree
