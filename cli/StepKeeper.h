#pragma once
// The keeper of a step's command on Linux: a process of its own between the
// run and the command's shell. It is the subreaper of everything the
// command starts, so that a process that made a group or a session of its
// own (coreutils timeout, setsid, a daemon) still comes back to it when its
// parent ends, and nothing of another step or another box ever does.
//
// When the shell has ended, or the keeper is asked to end (SIGTERM from the
// run, or the run itself dying), it ends every process below it: each is
// sent SIGTERM once, then, after EndGraceMs, SIGKILL until it is gone. A
// process it may not signal (EPERM: one that changed its user, sudo) or one
// still there KillWaitMs after its first SIGKILL is given up and noted for
// the run, so the keeper always ends. Signals go through pid file
// descriptors where the kernel has them, opened before the process's parent
// is checked again, so that a pid reused in between is never hit.
//
// Its exit status is the shell's (128 + N for a shell ended by signal N);
// 128 + SIGTERM when it was asked to end.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

struct KeeperStart {
    char* const* Argv;   // the shell's
    char* const* Envp;
    const char* Folder;  // the command's working folder; null: the run's
    int In, Out, Err;    // the command's standard input, output and error
};

// Why a keeper could not start its command; Stage names the call.
struct KeeperFailure {
    const char* Stage = nullptr;  // "fork", "chdir", "execve", "move descriptors"; null: started
    int Error = 0;                // its errno
};

// How long a process may take to go after SIGKILL before it is given up.
constexpr int KillWaitMs = 1000;

// A keeper that runs: its process id (its own process group) and the pipe
// on which it reports, read by KeeperNotes once it has ended.
struct StepKeeper {
    pid_t Pid = -1;
    int Notes = -1;
};

// Forks the keeper, which starts the command. Returns once the command has
// started or failed to, or once waitMs have passed or stop() holds without
// a word from the keeper (stopped by its own command: it counts as started,
// and the caller's time-out ends it); Pid is -1 with failure set when no
// keeper could be made. When the command could not start, failure says why
// and the keeper has ended (still to be reaped).
StepKeeper StartStepKeeper(const KeeperStart& start, KeeperFailure& failure, long waitMs,
                           const std::function<bool()>& stop);

// After the keeper has ended (reaped): what it could not end, one line each
// ("could not end 4242 sleep: Operation not permitted"). Closes the pipe.
std::vector<std::string> KeeperNotes(StepKeeper& keeper);
