// A step's command on Linux as the keeper ends it: what it leaves behind is
// asked once, given its grace time and then killed; a command ended by a
// signal has 128 + the signal for its status; the keeper holds no file of
// the run; a keeper that hangs is ended with its group; and what cannot be
// ended is named instead of holding the step to its time-out.
#include "cli/CliSession.h"
#include "cli/PlanRunner.h"
#include "cli/StderrBoxEvents.h"
#include "cli/StepProcess.h"

#include "emu/EmulatedSimulator.h"

#include "AsOtherUser.h"
#include "Child.h"
#include "TestFiles.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <grp.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

// A process that has not ended (a zombie has: only its parent's reaping is left).
bool Running(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

pid_t PidIn(const std::string& path) { return static_cast<pid_t>(std::atoi(ReadFile(path).c_str())); }

// The shell waits until its leftovers are ready (each writes its file).
std::string AfterFiles(const std::string& files, const std::string& then) {
    return "for f in " + files + "; do while [ ! -s $f ]; do sleep 0.01; done; done; " + then;
}

}  // namespace

TEST(StepProcess, WhatACommandLeavesIsAskedOnceThenKilledAndItsOwnEndIsKept) {
    const TempFolder folder;
    // A descriptor of the run that a command must never hold through its keeper.
    const int runFile = open("/dev/null", O_RDONLY);
    const struct Row {
        const char* Name;
        std::string Command;
        int Status;
        std::string Out;
        std::function<void()> Check;
    } rows[] = {
        {"ended by SIGKILL", "kill -KILL $$", 128 + SIGKILL, "", {}},
        {"ended by SIGTERM", "kill -TERM $$", 128 + SIGTERM, "", {}},
        // One leftover ignores SIGTERM (kept across its exec), one traps it,
        // takes a while to clean up and lives on: both in sessions of their
        // own. The trap must run to its end, and once: it is given its
        // grace time, and asked only once.
        {"leftovers that ignore or trap SIGTERM",
         "setsid sh -c 'trap \"\" TERM; echo $$ > stubborn; exec sleep 600' & "
         "setsid sh -c 'trap \"sleep 0.3; echo asked >> asked\" TERM; echo $$ > trapping; while :; do sleep 0.05; done' & " +
             AfterFiles("stubborn trapping", "exit 4"),
         4, "",
         [&] {
             EXPECT_FALSE(Running(PidIn(folder / "stubborn")));
             EXPECT_FALSE(Running(PidIn(folder / "trapping")));
             EXPECT_EQ(ReadFile(folder / "asked"), "asked\n");
         }},
        // The keeper's own descriptors: the command's three and its report
        // pipe (once it has closed the pipe on which it saw the shell start).
        {"the keeper's files",
         "i=0; while fds=$(cd /proc/$PPID/fd && echo *); [ \"$fds\" != \"0 1 2 3\" ] && [ $i -lt 300 ]; do "
         "i=$((i+1)); sleep 0.01; done; echo $fds",
         0, "0 1 2 3\n", {}},
    };
    for (const Row& row : rows) {
        const CommandRun run = RunStepCommand(row.Command, {}, folder.Path(), 30);
        EXPECT_TRUE(run.Started) << row.Name << ": " << run.StartFailure;
        EXPECT_FALSE(run.TimedOut) << row.Name;
        EXPECT_EQ(run.ExitStatus, row.Status) << row.Name << "\n" << run.Err;
        EXPECT_EQ(run.Out, row.Out) << row.Name;
        EXPECT_TRUE(run.NotEnded.empty()) << row.Name << ": " << run.NotEnded.front();
        if (row.Check) row.Check();
    }
    close(runFile);
}

// A keeper stopped by its own command (kill -STOP) cannot end what is
// below it: at the time-out the run kills its whole group, the command too.
TEST(StepProcess, AKeeperThatHangsIsEndedWithItsGroup) {
    const TempFolder folder;
    const CommandRun run = RunStepCommand("echo $$ > shell; kill -STOP $PPID; exec sleep 600", {}, folder.Path(), 1);
    EXPECT_TRUE(run.TimedOut);
    const pid_t shell = PidIn(folder / "shell");
    ASSERT_GT(shell, 0);
    EXPECT_TRUE(WaitUntil([&] { return !Running(shell); }, 10000));
}

// A process that changed its user cannot be signalled: the step names it
// and ends with its command's own status, not at its time-out. Run as
// nobody, allowed to change its user, so that root's tests can make one.
TEST(StepProcess, AProcessThatMayNotBeSignalledIsNamedAndTheStepEnds) {
    if (!RunningAsRoot()) GTEST_SKIP() << "needs root to run the step as nobody with another user below it";
    const std::string other = std::to_string(NobodyId - 1);
    Child runner("/usr/bin/setpriv",
                 {"--reuid=" + std::to_string(NobodyId), "--regid=" + std::to_string(NobodyId), "--clear-groups",
                  "--inh-caps=+setuid,+setgid", "--ambient-caps=+setuid,+setgid", KNS_STEP_RUNNER_PATH, "60",
                  "setpriv --reuid=" + other + " --regid=" + other + " --clear-groups sleep 600 & "
                  "while [ \"$(stat -c %u /proc/$!)\" != " + other + " ]; do sleep 0.01; done; exit 3"});
    const auto r = runner.Wait(50000);
    ASSERT_EQ(r.Status, 0) << r.Out << r.Err;
    const auto at = r.Out.find("could not end ");
    ASSERT_NE(at, std::string::npos) << r.Out;
    const pid_t left = static_cast<pid_t>(std::atoi(r.Out.c_str() + at + 14));
    EXPECT_EQ(r.Out.substr(0, r.Out.find('\n')), "started=1 status=3 timed_out=0");
    EXPECT_EQ(r.Out.substr(at), "could not end " + std::to_string(left) + " sleep: Operation not permitted\n");
    ASSERT_GT(left, 0);
    kill(left, SIGKILL);
}

// With no descriptor left for the keeper to move the command's files, the
// command does not start and the run is told why, on the keeper's own pipe.
TEST(StepProcess, NoDescriptorsLeftForTheKeeperIsAStartFailure) {
    const TempFolder folder;
    // The runner's own three, and the five the run opens for a step (its two
    // output files, its input, the keeper's pipe): none is left above them.
    Child runner(KNS_STEP_RUNNER_PATH, {"--max-files", "8", "10", "echo ran > " + folder / "ran"});
    const auto r = runner.Wait();
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "started=0 status=-1 timed_out=0\ncannot hand it its standard input and output: Too many open files\n");
    EXPECT_EQ(ReadFile(folder / "ran"), "");
}

namespace {

// Becomes nobody, allowed to change its user; runs the plan's step; 0 when
// the step came out as it should.
int PlanStepAsNobody() {
    prctl(PR_SET_KEEPCAPS, 1);
    const bool dropped = setgroups(0, nullptr) == 0 && setresgid(NobodyId, NobodyId, NobodyId) == 0 &&
                         setresuid(NobodyId, NobodyId, NobodyId) == 0;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2] = {};
    caps[0].effective = caps[0].permitted = caps[0].inheritable = 1u << CAP_SETUID | 1u << CAP_SETGID;
    const bool allowed = dropped && syscall(SYS_capset, &header, caps) == 0 &&
                         prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_SETUID, 0, 0) == 0 &&
                         prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_RAISE, CAP_SETGID, 0, 0) == 0;
    EmulatorOptions emulator;
    emulator.MemoryLineName = "step-not-ended";
    EmulatedSimulator emu(emulator);
    emu.Start();
    CliOptions options;
    options.Command = "run";
    options.Port = emu.PortPath();
    StderrBoxEvents events;
    CliSession session(options, events);
    // The other user's process ends by itself soon after the test.
    const std::string other = std::to_string(NobodyId - 1);
    const BoxPlanRun run = RunPlanOnBox(
        ParseTestPlan("[[step]]\nname = \"s\"\nrun = '''setpriv --reuid=" + other + " --regid=" + other +
                          " --clear-groups sleep 20 & while [ \"$(stat -c %u /proc/$!)\" != " + other +
                          " ]; do sleep 0.01; done; exit 3'''\n",
                      "/tmp/p.toml"),
        session);
    const StepResult& step = run.Steps.at(0);
    const std::string second = step.Reasons.size() == 2 ? step.Reasons[1] : "";
    std::fprintf(stderr, "%d %s %s\n", allowed, OutcomeWord(step.Outcome), second.c_str());
    const bool named =
        second.rfind("could not end ", 0) == 0 && second.find(" sleep: Operation not permitted") != std::string::npos;
    return allowed && step.Outcome == StepOutcome::Failed && step.ExitStatus == 3 &&
                   step.Reasons[0] == "the command exited with status 3" && named
               ? 0
               : 1;
}

}  // namespace

// The same in a plan: the step fails with its command's own status and
// names the process it could not end. The run becomes nobody in a child
// process of its own; the emulated box is in that process, behind a line
// in memory.
TEST(StepProcess, APlanStepNamesTheProcessItCouldNotEnd) {
    if (!RunningAsRoot()) GTEST_SKIP() << "needs root to run the step as nobody with another user below it";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(PlanStepAsNobody()), testing::ExitedWithCode(0), "");
}
