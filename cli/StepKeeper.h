#pragma once
// The keeper of a step's command on Linux: a process of its own between the
// run and the command's shell. It is the subreaper of everything the
// command starts, so that a process that made a group or a session of its
// own (coreutils timeout, setsid, a daemon) still comes back to it when its
// parent ends, and nothing of another step or another box ever does. When
// the shell has ended, or the keeper is asked to end (SIGTERM from the run,
// or the run itself dying), it ends every process below it: SIGTERM, then
// SIGKILL after EndGraceMs, until none is left. Its exit status is the
// shell's (128 + N for a shell ended by signal N).

#include <sys/types.h>

struct KeeperStart {
    char* const* Argv;   // the shell's
    char* const* Envp;
    const char* Folder;  // the command's working folder; null: the run's
    int In, Out, Err;    // the command's standard input, output and error
};

// Why a keeper could not start its command; Stage names the call.
struct KeeperFailure {
    const char* Stage = nullptr;  // "fork", "chdir", "execve"; null: started
    int Error = 0;                // its errno
};

// Forks the keeper, which starts the command. Returns the keeper's process
// id (its own process group) once the command has started or failed to; -1
// with failure set when no keeper could be made. When the command could not
// start, failure says why and the keeper has ended (still to be reaped).
pid_t StartStepKeeper(const KeeperStart& start, KeeperFailure& failure);
