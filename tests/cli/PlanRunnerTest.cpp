// A plan's run on one box, in process, against the emulated simulator behind
// a line in memory: a failure of any kind inside a step is that step's
// error, and the steps before it keep their results.
#include "cli/CliSession.h"
#include "cli/PlanRunner.h"
#include "cli/StderrBoxEvents.h"

#include "emu/EmulatedSimulator.h"

#include <gtest/gtest.h>

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

}  // namespace

TEST(PlanRunner, AFailureOfAnyKindInAStepKeepsTheStepsBefore) {
    EmulatorOptions emulator;
    emulator.MemoryLineName = "plan-runner";
    EmulatedSimulator emu(emulator);
    emu.Start();
    const TestPlan plan = ParseTestPlan("[[step]]\nname = \"a\"\nprotocol = 3\n[[step]]\nname = \"b\"\nprotocol = 6\n"
                                        "[[step]]\nname = \"c\"\nprotocol = 9\n",
                                        "p.toml");
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
