#pragma once
// The set-up changes that set-protocol, set-codes and apply make on a
// connected simulator, shared with the steps of a test plan so that both put
// exactly the same lines on the wire. Each raises CliError (exit status 1,
// the link's own text) when the simulator fails.

#include "storage/CfgFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CliSession;

// set-protocol N [--ecus E]: protocol 1..9; ecuCount 1 or 2, 0 keeps the
// simulator's count. Nothing is sent when both already are as wanted.
void ChangeProtocolOn(CliSession& session, int protocol, int ecuCount);

// set-codes: the lists given (each replacing that ECU's codes) and the MIL
// (when not given, it follows the counts as in the editor); what is not
// named goes back as the simulator holds it. Status and configuration are
// read back afterwards.
struct CodeRequest {
    std::optional<std::vector<std::uint16_t>> Ecu[2];
    std::optional<bool> Mil;
};
void SendCodesOn(CliSession& session, const CodeRequest& request);

// apply: the file's values laid over what the simulator holds, as opening it
// in the window does, then read back.
void ApplyOn(CliSession& session, const CfgValues& values);

// Reads a configuration file as apply does before touching the simulator.
// Raises CliError (exit status 3) when it cannot be read.
CfgValues OpenConfiguration(CfgFile& file, const std::string& typed);
