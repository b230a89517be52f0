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
#include "TerminalRedraw.h"
#include "TerminalText.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

namespace {

// A box that never ran the plan (not found, or its session could not be
// made): its first step carries the failure, the others are skipped.
BoxPlanRun NotRun(const TestPlan& plan, const BoxResult& result) {
    BoxPlanRun run;
    run.Port = result.Port;
    run.Serial = result.Serial;
    for (const auto& step : plan.Steps) {
        StepResult s;
        s.Name = step.Name;
        s.Reasons = {run.Steps.empty() ? result.Error : "the box failed before this step"};
        if (run.Steps.empty()) s.Outcome = StepOutcome::Error, s.Kind = "box";
        run.Steps.push_back(std::move(s));
    }
    return run;
}

// A [box."X"] section that matches none of the boxes is most likely a typing
// error in a serial number or port name; the run goes on, but says so.
void NoteUnmatchedBoxes(const TestPlan& plan, const std::vector<BoxPlanRun>& runs) {
    for (const auto& [key, vars] : plan.BoxEnv) {
        bool matched = false;
        for (const auto& run : runs)
            matched = matched || key == run.Serial || key == run.Port ||
                      key == std::filesystem::path(run.Port).filename().string();
        if (!matched) {
            const std::string line = "knsimtool-cli: " + plan.Path + ": [box.\"" + key + "\"] matches none of the boxes\n";
            std::fputs(ForTerminal(line).c_str(), stderr);
        }
    }
}

void WriteJUnit(const std::string& path, const std::string& xml) {
    std::ofstream file(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    file << xml;
    file.close();
    if (!file) throw CliError(ExitFileFailed, "Cannot write " + path);
}

}  // namespace

int RunPlan(const CliOptions& options, std::string& out) {
    const TestPlan plan = ReadTestPlan(options.File);
    // The report's file is made before any box is touched, so that a path
    // that cannot be written costs nothing; it is removed again when no box
    // can be reported.
    if (!options.JUnitFile.empty()) WriteJUnit(options.JUnitFile, "");

    BenchProgress progress(stderr, CanRedrawInPlace(stderr), true);
    std::mutex mutex;
    std::map<std::string, BoxPlanRun> runs;  // by port
    const BoxJob job = [&](CliSession& session, std::string&) {
        BoxPlanRun run = RunPlanOnBox(plan, session);
        const int status = run.ExitStatus();
        std::lock_guard lock(mutex);
        runs[session.PortName()] = std::move(run);
        return status;
    };
    std::vector<BoxResult> results;
    try {
        results = RunOnEveryBox(options, progress, job);
    } catch (...) {
        if (!options.JUnitFile.empty()) {
            std::error_code ignored;
            std::filesystem::remove(std::filesystem::path(options.JUnitFile), ignored);
        }
        throw;
    }

    std::vector<BoxPlanRun> boxes;
    for (const auto& result : results) {
        const auto found = result.Port.empty() ? runs.end() : runs.find(result.Port);
        boxes.push_back(found != runs.end() ? found->second : NotRun(plan, result));
    }
    NoteUnmatchedBoxes(plan, boxes);

    out += options.Json ? PlanJson(boxes) : PlanTable(boxes);
    if (!options.JUnitFile.empty()) WriteJUnit(options.JUnitFile, PlanJUnit(plan, boxes, HostName()));
    if (const int sig = InterruptSignal()) return 128 + sig;
    for (const auto& box : boxes)
        if (box.ExitStatus() != 0) return ExitDeviceFailed;
    return ExitOk;
}
