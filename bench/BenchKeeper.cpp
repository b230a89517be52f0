// What a step's keeper costs on Linux: a command that does nothing run as a
// plan's step runs it (below its keeper, output caught) against the same
// shell started plainly, and a step that leaves a process behind, which the
// keeper finds in /proc and ends. Prints the figures; never passes or fails
// on a time.
//   bench_keeper [--rounds N]   medians of N rounds (default 50)
#include "BenchSupport.h"

#include "cli/StepProcess.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

double PlainShellMs() {
    const auto started = BenchClock::now();
    char sh[] = "/bin/sh", c[] = "-c", exit0[] = "exit 0";
    char* argv[] = {sh, c, exit0, nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, sh, nullptr, nullptr, argv, environ) != 0) return 0;
    int status = 0;
    waitpid(pid, &status, 0);
    return MsBetween(started, BenchClock::now());
}

double StepMs(const std::string& command) {
    const auto started = BenchClock::now();
    (void)RunStepCommand(command, {}, "", 60);
    return MsBetween(started, BenchClock::now());
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 50;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    std::vector<double> plain, kept, leftover;
    for (int r = 0; r < rounds; ++r) {
        plain.push_back(PlainShellMs());
        kept.push_back(StepMs("exit 0"));
        leftover.push_back(StepMs("sleep 60 & exit 0"));
    }
    std::printf("A step's keeper, medians of %d rounds\n", rounds);
    std::printf("  /bin/sh -c 'exit 0', started plainly:          %.2f ms\n", Median(plain));
    std::printf("  the same as a step (keeper, output caught):    %.2f ms\n", Median(kept));
    std::printf("  a step that leaves 'sleep 60 &' to be ended:   %.2f ms\n", Median(leftover));
    std::printf("RATIO keeper-over-plain-shell %.3f\n", Median(kept) / Median(plain));
    return 0;
}
