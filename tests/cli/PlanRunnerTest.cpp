// A plan's run on one box, in process, against the emulated simulator behind
// a line in memory: a failure of any kind inside a step, or an interrupt
// before or during it, is that step's error, and the steps before it keep
// their results.
#include "cli/CliSession.h"
#include "cli/Interrupt.h"
#include "cli/PlanRunner.h"
#include "cli/StderrBoxEvents.h"

#include "emu/EmulatedSimulator.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>

namespace {

// Fails inside the second step, as anything the run calls might.
class FailingEvents : public StderrBoxEvents {
public:
    explicit FailingEvents(std::function<void()> fail) : fail_(std::move(fail)) {}
    void StepStarted(int number, int, const std::string&) override {
        if (number == 2) fail_();
    }

private:
    std::function<void()> fail_;
};

// The second step only looks at the state the box was last read in: no
// exchange with the box follows its start, which would notice an interrupt.
const char* const ThreeSteps = "[[step]]\nname = \"a\"\nprotocol = 3\n[[step]]\nname = \"b\"\n[step.expect]\nmil = false\n"
                               "[[step]]\nname = \"c\"\nprotocol = 9\n";

// Each step's outcome, an error's kind and first reason too.
std::string Outcomes(const BoxPlanRun& run) {
    std::string text;
    for (const auto& step : run.Steps) {
        text += text.empty() ? "" : " ";
        text += OutcomeWord(step.Outcome);
        if (step.Outcome == StepOutcome::Error) text += ":" + step.Kind + ":" + step.Reasons.front();
    }
    return text;
}

// The plan run on an emulated box, interrupted before it begins or when
// its second step starts.
std::string InterruptedRun(bool before) {
    EmulatorOptions emulator;
    emulator.MemoryLineName = "plan-runner-interrupted";
    EmulatedSimulator emu(emulator);
    emu.Start();
    CliOptions options;
    options.Command = "run";
    options.Port = emu.PortPath();
    FailingEvents events([] { NoteInterrupt(SIGINT); });
    if (before) NoteInterrupt(SIGINT);
    CliSession session(options, events);
    return Outcomes(RunPlanOnBox(ParseTestPlan(ThreeSteps, "p.toml"), session));
}

}  // namespace

// An interrupt stays raised for the rest of its process: each case runs in
// a child process of its own.
TEST(PlanRunner, AnInterruptBeforeOrDuringAStepIsThatStepsErrorNeverOnlySkippedSteps) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const struct {
        bool Before;
        const char* Expected;
    } rows[] = {
        {true, "error:interrupted:interrupted before it began skipped skipped"},
        {false, "passed error:interrupted:interrupted skipped"},
    };
    for (const auto& row : rows) {
        EXPECT_EXIT(
            {
                const std::string seen = InterruptedRun(row.Before);
                std::fprintf(stderr, "%s\n", seen.c_str());
                std::exit(seen == row.Expected ? 0 : 1);
            },
            testing::ExitedWithCode(0), "")
            << row.Expected;
    }
}

TEST(PlanRunner, AFailureOfAnyKindInAStepKeepsTheStepsBefore) {
    EmulatorOptions emulator;
    emulator.MemoryLineName = "plan-runner";
    EmulatedSimulator emu(emulator);
    emu.Start();
    const TestPlan plan = ParseTestPlan(ThreeSteps, "p.toml");
    const struct {
        const char* Name;
        std::function<void()> Fail;
        std::string Reason;
    } rows[] = {
        {"a standard exception", [] { throw std::length_error("too long"); }, "too long"},
        {"anything else", [] { throw 42; }, "an unexpected failure"},
    };
    for (const auto& row : rows) {
        CliOptions options;
        options.Command = "run";
        options.Port = emu.PortPath();
        FailingEvents events(row.Fail);
        BoxPlanRun run;
        {
            CliSession session(options, events);
            EXPECT_NO_THROW(run = RunPlanOnBox(plan, session)) << row.Name;
        }
        ASSERT_EQ(run.Steps.size(), 3u) << row.Name;
        EXPECT_EQ(run.Steps[0].Outcome, StepOutcome::Passed) << row.Name;
        EXPECT_EQ(run.Steps[1].Outcome, StepOutcome::Error) << row.Name;
        EXPECT_EQ(run.Steps[1].Reasons, std::vector<std::string>{row.Reason}) << row.Name;
        EXPECT_EQ(run.Steps[2].Outcome, StepOutcome::Skipped) << row.Name;
        EXPECT_EQ(run.Serial, "KNEMU0001") << row.Name;
    }
}
