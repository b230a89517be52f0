#pragma once
#include "CliOptions.h"

#include <string>

// The commands. Each appends what belongs on standard output to out and
// returns the exit status; a failure raises CliError, and then main() prints
// nothing of out. watch writes its lines as they come instead.
int RunCommand(const CliOptions& options, std::string& out);

int RunPorts(const CliOptions& options, std::string& out);
int RunInfo(const CliOptions& options, std::string& out);
int RunStatus(const CliOptions& options, std::string& out);
int RunShow(const CliOptions& options, std::string& out);
int RunWatch(const CliOptions& options, std::string& out);
int RunSetProtocol(const CliOptions& options, std::string& out);
int RunSetCodes(const CliOptions& options, std::string& out);
int RunApply(const CliOptions& options, std::string& out);
int RunSave(const CliOptions& options, std::string& out);
int RunDiff(const CliOptions& options, std::string& out);
int RunUpdateFirmware(const CliOptions& options, std::string& out);

class CliSession;
// What info prints, for a session that has found its simulator.
int PrintInfo(CliSession& session, const CliOptions& options, std::string& out);
