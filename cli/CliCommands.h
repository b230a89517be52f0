#pragma once
#include "CliOptions.h"

#include <string>

class CliSession;

// The commands. Each appends what belongs on standard output to out and
// returns the exit status; a failure raises CliError, and then main() prints
// nothing of out. watch writes its lines as they come instead. A bench of
// several simulators (CliOptions::ManyBoxes) runs as RunBench does.
int RunCommand(const CliOptions& options, std::string& out);

int RunPorts(const CliOptions& options, std::string& out);
int RunWatch(const CliOptions& options, std::string& out);
// A test plan on one box or a bench (always reported as a bench is).
int RunPlan(const CliOptions& options, std::string& out);

// The commands that talk to one simulator, on a session made for it. A
// single run makes one session; a bench makes one per box and calls the
// same command on each, each on its own thread.
int RunOnBox(CliSession& session, std::string& out);
int RunInfo(CliSession& session, std::string& out);
int RunStatus(CliSession& session, std::string& out);
int RunShow(CliSession& session, std::string& out);
int RunSetProtocol(CliSession& session, std::string& out);
int RunSetCodes(CliSession& session, std::string& out);
int RunApply(CliSession& session, std::string& out);
int RunSave(CliSession& session, std::string& out);
int RunDiff(CliSession& session, std::string& out);
int RunUpdateFirmware(CliSession& session, std::string& out);

// What can be refused before any simulator is asked: a file that cannot be
// read, a bad code list. Raises CliError as the command itself would.
void CheckBeforeConnecting(const CliOptions& options);
void CheckCodeLists(const CliOptions& options);  // set-codes' part of it

// What info prints, for a session that has found its simulator.
int PrintInfo(CliSession& session, std::string& out);
