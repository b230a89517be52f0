// The processes below the calling one (Linux). Safe to use between a fork
// and an exec in a process with several threads: no allocation, no stdio,
// no locks; the tables are static, so only the process that reads the tree
// ever touches their pages.
#pragma once

#include <sys/types.h>

inline int IndexOf(const pid_t* list, int count, pid_t pid) {
    for (int i = 0; i < count; ++i)
        if (list[i] == pid) return i;
    return -1;
}
inline bool Holds(const pid_t* list, int count, pid_t pid) { return IndexOf(list, count, pid) >= 0; }

namespace ProcessTree {

// How many processes the tables hold.
constexpr int MaxProcesses = 1 << 16;

// "/proc/PID/what" into path (at least 64 bytes).
void ProcPath(pid_t pid, const char* what, char* path);
// The parent of a living process; -1 when it is gone or has ended.
pid_t ParentOf(pid_t pid);
// Reads /proc again: every living process whose chain of parents reaches
// the caller, parents before their children; At(0) is the caller.
void Find();
int Count();
pid_t At(int i);
// Whether pid was below the caller (or the caller) when last found.
bool Holds(pid_t pid);

}  // namespace ProcessTree
