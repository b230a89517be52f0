#include "BenchRun.h"

#include "BenchProgress.h"
#include "CliCommands.h"
#include "CliSession.h"
#include "TerminalRedraw.h"

int RunBench(const CliOptions& options, std::string& out) {
    // A bad file or code list refuses the command before any box is asked.
    CheckBeforeConnecting(options);
    const bool update = options.Command == "update-firmware";
    BenchProgress progress(stderr, update && CanRedrawInPlace(stderr), update);
    const std::vector<BoxResult> results = RunOnEveryBox(options, progress, RunOnBox);
    const std::string& c = options.Command;
    const bool outputs = c == "info" || c == "status" || c == "show" || c == "diff";
    out += options.Json ? BenchJson(results) : BenchTable(results, outputs);
    return BenchExitStatus(results);
}

std::vector<BoxResult> RunOnEveryBox(const CliOptions& options, BenchProgress& progress, const CliBoxJob& job) {
    BenchRequest request;
    request.Ports = options.Ports;
    request.All = options.All;
    request.Serials = options.Serials;
    request.PromptOnce = options.Command == "update-firmware" && options.Update == UpdateMode::ResetButton;
    const SessionMaker make = [&options](const std::string& port, BoxEvents& events) -> std::unique_ptr<BoxSession> {
        return std::make_unique<CliSession>(options.ForBox(port), events);
    };
    // Every session here is made by make above.
    const BoxJob onSession = [&job](BoxSession& session, std::string& out) {
        return job(static_cast<CliSession&>(session), out);
    };
    return RunOnEveryBox(request, progress, make, onSession, InterruptStop());
}
