// A step's command run alone, as a plan's run runs it, for the tests that
// need the run itself in a state a test process cannot take: another user,
// few descriptors left.
//   step-command-runner [--max-files N] TIMEOUT COMMAND   (N counts from 0, 1, 2 alone)
// Prints "started=S status=N timed_out=T", the start failure, then each
// process that could not be ended, a line each.
#include "cli/StepProcess.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    int at = 1;
    if (argc > 2 && std::strcmp(argv[1], "--max-files") == 0) {
        // Counted from the three standard ones: whatever else was inherited goes.
        for (int fd = 3; fd < 1024; ++fd) close(fd);
        const rlimit limit{std::strtoul(argv[2], nullptr, 10), std::strtoul(argv[2], nullptr, 10)};
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 125;
        at = 3;
    }
    if (argc - at != 2) {
        std::fputs("usage: step-command-runner [--max-files N] TIMEOUT COMMAND\n", stderr);
        return 2;
    }
    const CommandRun run = RunStepCommand(argv[at + 1], {}, "", std::strtod(argv[at], nullptr));
    std::printf("started=%d status=%d timed_out=%d\n%s\n", run.Started, run.ExitStatus, run.TimedOut,
                run.StartFailure.c_str());
    for (const auto& line : run.NotEnded) std::printf("%s\n", line.c_str());
    return 0;
}
