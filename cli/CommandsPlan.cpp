// run PLAN.toml: a test plan on one box or a bench, each box on its own
// thread as the bench commands run, reported as a table (or JSON) and, with
// --junit, as the JUnit XML that CI servers read.
#include "CliCommands.h"

#include "BenchProgress.h"
#include "BenchRun.h"
#include "CliError.h"
#include "CliSession.h"
#include "HostName.h"
#include "Interrupt.h"
#include "PlanReports.h"
#include "PlanRunner.h"
#include "PlanVariables.h"
#include "TerminalRedraw.h"
#include "TerminalText.h"

#include "base/WideText.h"
#include "storage/SafeFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace {

// A box that never ran the plan (not found, its session could not be made,
// or the run was stopped first): its first step carries the failure, the
// others are skipped. Its time is the run's start, the report's readers
// want one.
BoxPlanRun NotRun(const TestPlan& plan, const BoxResult& result, const std::string& runStarted) {
    BoxPlanRun run;
    run.Port = result.Port;
    run.Serial = result.Serial;
    run.Started = runStarted;
    const bool stopped = Interrupted();
    for (const auto& step : plan.Steps) {
        StepResult s;
        s.Name = step.Name;
        if (!run.Steps.empty()) {
            s.Reasons = {stopped ? "interrupted before it began" : "the box failed before this step"};
        } else if (stopped) {
            s.Outcome = StepOutcome::Error, s.Kind = "interrupted";
            s.Reasons = {"interrupted before it began"};
            if (!result.Error.empty() && result.Error != "Interrupted") s.Reasons.push_back(result.Error);
        } else {
            s.Outcome = StepOutcome::Error, s.Kind = "box";
            s.Reasons = {result.Error};
        }
        run.Steps.push_back(std::move(s));
    }
    return run;
}

// A [box."X"] section that matches none of the boxes is most likely a typing
// error in a serial number or port name; the run goes on, but says so.
void NoteUnmatchedBoxes(const TestPlan& plan, const std::vector<BoxPlanRun>& runs) {
    for (const auto& [key, vars] : plan.BoxEnv) {
        const bool matched = std::any_of(runs.begin(), runs.end(), [&key = key](const BoxPlanRun& run) {
            return MatchBoxKey(key, run.Port, run.Serial) != BoxKeyMatch::None;
        });
        if (!matched) {
            const std::string line = "knsimtool-cli: " + plan.Path + ": [box.\"" + key + "\"] matches none of the boxes\n";
            std::fputs(ForTerminal(line).c_str(), stderr);
        }
    }
}

// The JUnit file is only ever replaced whole (a temporary file renamed over
// it), so that a reader never finds half a report.
void PutReport(const std::string& path, const std::string& xml) {
    if (const int error = SafeFile::WriteReplacing(path, xml))
        throw CliError(ExitFileFailed, "Cannot write " + path + ": " + std::strerror(error));
}

// A run that ends before any box has results still leaves a report that
// says why, in place of the one that said it had not finished.
void PutRunError(const CliOptions& options, const std::string& planName, const std::string& kind, const CliError& e) {
    if (options.JUnitFile.empty()) return;
    try {
        PutReport(options.JUnitFile, RunErrorJUnit(planName, {kind, e.what(), ReportTimestamp()}, HostName()));
    } catch (const CliError& failed) {
        // The run's own failure is what the exit status tells; this one is said besides.
        std::fputs(ForTerminal("knsimtool-cli: " + std::string(failed.what()) + "\n").c_str(), stderr);
    }
}

}  // namespace

int RunPlan(const CliOptions& options, std::string& out) {
    const std::string runStarted = ReportTimestamp();
    TestPlan plan;
    try {
        plan = ReadTestPlan(options.File);
    } catch (const CliError& e) {
        PutRunError(options, Utf8FromPath(PathFromUtf8(options.File).stem()), "plan", e);
        throw;
    }
    // Before any box is touched: a path that cannot be written costs
    // nothing, and a run killed before its end leaves a report that says so
    // instead of nothing or an older run's.
    if (!options.JUnitFile.empty()) {
        const RunError unfinished{"unfinished",
                                  "the run has not finished: it was stopped before it wrote its report, or still runs",
                                  ReportTimestamp()};
        PutReport(options.JUnitFile, RunErrorJUnit(plan.Name, unfinished, HostName()));
    }

    BenchProgress progress(stderr, CanRedrawInPlace(stderr), true);
    std::mutex mutex;
    std::map<std::string, BoxPlanRun> runs;  // by port
    const CliBoxJob job = [&](CliSession& session, std::string&) {
        BoxPlanRun run = RunPlanOnBox(plan, session);
        const int status = run.ExitStatus();
        std::lock_guard lock(mutex);
        runs[session.PortName()] = std::move(run);
        return status;
    };
    std::vector<BoxResult> results;
    try {
        results = RunOnEveryBox(options, progress, job);
    } catch (const CliError& e) {
        PutRunError(options, plan.Name, Interrupted() ? "interrupted" : "no-box", e);
        throw;
    }

    std::vector<BoxPlanRun> boxes;
    for (const auto& result : results) {
        const auto found = result.Port.empty() ? runs.end() : runs.find(result.Port);
        boxes.push_back(found != runs.end() ? found->second : NotRun(plan, result, runStarted));
    }
    NoteUnmatchedBoxes(plan, boxes);

    out += options.Json ? PlanJson(boxes) : PlanTable(boxes);
    if (!options.JUnitFile.empty()) PutReport(options.JUnitFile, PlanJUnit(plan, boxes, HostName()));
    if (const int sig = InterruptSignal()) return 128 + sig;
    for (const auto& box : boxes)
        if (box.ExitStatus() != 0) return ExitDeviceFailed;
    return ExitOk;
}
