#include "CliCommands.h"

#include "CliError.h"

#include <map>

int RunCommand(const CliOptions& options, std::string& out) {
    using Runner = int (*)(const CliOptions&, std::string&);
    static const std::map<std::string, Runner> runners = {
        {"ports", RunPorts},       {"info", RunInfo},         {"status", RunStatus},
        {"show", RunShow},         {"watch", RunWatch},       {"set-protocol", RunSetProtocol},
        {"set-codes", RunSetCodes}, {"apply", RunApply},      {"save", RunSave},
        {"diff", RunDiff},         {"update-firmware", RunUpdateFirmware},
    };
    const auto it = runners.find(options.Command);
    if (it == runners.end()) throw UsageError("unknown command '" + options.Command + "'");
    return it->second(options, out);
}
