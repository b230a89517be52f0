#include "CliCommands.h"

#include "BenchRun.h"
#include "CliError.h"
#include "CliSession.h"
#include "StderrBoxEvents.h"

#include <map>

int RunOnBox(CliSession& session, std::string& out) {
    using Runner = int (*)(CliSession&, std::string&);
    static const std::map<std::string, Runner> runners = {
        {"info", RunInfo},       {"status", RunStatus},       {"show", RunShow},
        {"set-protocol", RunSetProtocol}, {"set-codes", RunSetCodes}, {"apply", RunApply},
        {"save", RunSave},       {"diff", RunDiff},           {"update-firmware", RunUpdateFirmware},
    };
    const auto it = runners.find(session.Options().Command);
    if (it == runners.end()) throw UsageError("unknown command '" + session.Options().Command + "'");
    return it->second(session, out);
}

int RunCommand(const CliOptions& options, std::string& out) {
    if (options.Command == "ports") return RunPorts(options, out);
    if (options.Command == "watch") return RunWatch(options, out);
    if (options.Command == "run") return RunPlan(options, out);
    if (options.ManyBoxes()) return RunBench(options, out);
    StderrBoxEvents events;
    CliSession session(options, events);
    return RunOnBox(session, out);
}
