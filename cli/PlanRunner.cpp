#include "PlanRunner.h"

#include "CliError.h"
#include "CliSession.h"
#include "Interrupt.h"
#include "NativeText.h"
#include "PlanVariables.h"
#include "StepProcess.h"

#include "base/TroubleCode.h"

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string SecondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

std::string CodesText(const std::vector<std::uint16_t>& words) {
    std::string text;
    for (const auto w : words) text += (text.empty() ? "" : ",") + CodeName(w);
    return text.empty() ? "none" : text;
}

std::string OnOff(bool on) { return on ? "on" : "off"; }

// The step's set-up, as the commands would send it now.
void SetUp(CliSession& session, const PlanStep& step) {
    if (step.Apply) {
        ApplyOn(session, *step.Apply);
        return;
    }
    if (step.Protocol || step.EcuCount)
        ChangeProtocolOn(session, step.Protocol ? step.Protocol : session.State().Protocol, step.EcuCount);
    if (step.SendsCodes()) SendCodesOn(session, step.Codes);
}

// The command's part of the result: whether and why it failed.
void NoteCommand(StepResult& result, const CommandRun& run, double timeoutSeconds) {
    result.Out = run.Out;
    result.Err = run.Err;
    if (!run.Started) {
        result.Reasons.push_back("the command could not start: " + run.StartFailure);
        result.Kind = "start";
    } else if (run.TimedOut) {
        result.Reasons.push_back("timed out after " + SecondsText(timeoutSeconds) + " s");
        result.Kind = "timeout";
    } else if (run.ExitStatus != 0 && !run.Interrupted) {
        result.Reasons.push_back("the command exited with status " + std::to_string(run.ExitStatus));
        result.Kind = "exit-status";
    }
    if (!run.TimedOut && !run.Interrupted && run.Started) result.ExitStatus = run.ExitStatus;
    // A process the step could not end outlives it: the step says so, with
    // its command's own status and reasons first.
    for (const auto& line : run.NotEnded) {
        if (result.Reasons.empty()) result.Kind = "leftover";
        result.Reasons.push_back(line);
    }
}

void SkipFrom(BoxPlanRun& run, std::size_t first, const std::string& why) {
    for (std::size_t i = first; i < run.Steps.size(); ++i) {
        run.Steps[i].Outcome = StepOutcome::Skipped;
        run.Steps[i].Reasons = {why};
    }
}

// Step i could not go on: it is an error with the failure's text (or the
// interrupt), the steps before keep their results, those after are skipped.
// An interrupt is always this error, never only skipped steps: CI servers
// count skipped steps as green.
void StepFailed(BoxPlanRun& run, std::size_t i, double seconds, const std::string& failure) {
    StepResult& result = run.Steps[i];
    const bool stopped = Interrupted();
    result.Outcome = StepOutcome::Error;
    result.Kind = stopped ? "interrupted" : "box";
    result.Reasons.insert(result.Reasons.begin(), stopped ? std::string("interrupted") : failure);
    result.Seconds = seconds;
    SkipFrom(run, i + 1, stopped ? "interrupted before it began" : "the box failed in step '" + result.Name + "'");
}

}  // namespace

std::vector<std::string> UnmetExpectations(const StepExpectation& expect, const SimulatorState& state) {
    std::vector<std::string> unmet;
    if (expect.Codes) {
        const int seen = static_cast<int>(ReadableCodes(state, 1).size() + ReadableCodes(state, 2).size());
        if (seen != *expect.Codes)
            unmet.push_back("codes: expected " + std::to_string(*expect.Codes) + ", seen " + std::to_string(seen));
    }
    for (int e = 0; e < 2; ++e) {
        if (!expect.Ecu[e]) continue;
        const std::string wanted = CodesText(*expect.Ecu[e]);
        const std::string seen = CodesText(ReadableCodes(state, e + 1));
        if (seen != wanted)
            unmet.push_back("ecu" + std::to_string(e + 1) + ": expected " + wanted + ", seen " + seen);
    }
    if (expect.Mil && *expect.Mil != state.MilOn)
        unmet.push_back("mil: expected " + OnOff(*expect.Mil) + ", seen " + OnOff(state.MilOn));
    return unmet;
}

BoxPlanRun RunPlanOnBox(const TestPlan& plan, CliSession& session) {
    BoxPlanRun run;
    run.Port = session.PortName();
    run.Started = ReportTimestamp();
    run.Steps.resize(plan.Steps.size());
    for (std::size_t i = 0; i < plan.Steps.size(); ++i) run.Steps[i].Name = plan.Steps[i].Name;
    const auto boxStart = Clock::now();
    const int count = static_cast<int>(plan.Steps.size());

    // The state the link last read is the box's until a command has run,
    // which may change it (a scan tool clearing codes).
    bool current = true;
    Variables boxVariables;
    for (std::size_t i = 0; i < plan.Steps.size(); ++i) {
        const PlanStep& step = plan.Steps[i];
        StepResult& result = run.Steps[i];
        if (Interrupted()) {
            StepFailed(run, i, 0, "");
            result.Reasons = {"interrupted before it began"};
            break;
        }
        const auto stepStart = Clock::now();
        try {
            if (i == 0) {
                session.Connect();
                run.Serial = session.State().SerialNumber();
                run.Firmware = session.State().InstalledVersionText();
                boxVariables = BoxVariables(plan, run.Port, run.Serial);
            } else if (!current) {
                session.ReadBack();
            }
            session.Events().StepStarted(static_cast<int>(i) + 1, count, step.Name);
            SetUp(session, step);
            current = true;
            if (!step.Run.empty()) {
                const CommandRun command =
                    RunStepCommand(step.Run, StepVariables(plan, step, boxVariables, run.Port, session.State()),
                                   Utf8FromNative(plan.Folder), step.TimeoutSeconds);
                current = false;
                NoteCommand(result, command, step.TimeoutSeconds);
                if (command.Interrupted) session.ThrowIfInterrupted();
            }
            if (step.Expect.Any()) {
                if (!current) session.ReadBack();
                current = true;
                for (auto& unmet : UnmetExpectations(step.Expect, session.State())) {
                    if (result.Reasons.empty()) result.Kind = "expectation";
                    result.Reasons.push_back(std::move(unmet));
                }
            }
            // Stopped while the step ran (its command may have been cut
            // short, or stopped the run itself): its result is not the
            // whole story, so it is the interrupt's error, its own
            // reasons kept after that.
            if (Interrupted()) {
                StepFailed(run, i, SecondsSince(stepStart), "");
                break;
            }
            result.Outcome = result.Reasons.empty() ? StepOutcome::Passed : StepOutcome::Failed;
            result.Seconds = SecondsSince(stepStart);
        } catch (const CliError& e) {
            // The box failed (or the run was stopped): this step is its
            // error, and what follows cannot run on it.
            StepFailed(run, i, SecondsSince(stepStart), e.what());
            break;
        } catch (const std::exception& e) {
            // Anything else that fails keeps what the steps before found.
            StepFailed(run, i, SecondsSince(stepStart), e.what());
            break;
        } catch (...) {
            StepFailed(run, i, SecondsSince(stepStart), "an unexpected failure");
            break;
        }
    }
    run.Seconds = SecondsSince(boxStart);
    return run;
}
