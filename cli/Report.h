#pragma once
#include "JsonWriter.h"

#include "link/SimulatorState.h"

#include <string>

// What info, status and show print, as text and as JSON. The texts are the
// window's: protocol names of the selector, ECU identifiers as the group
// titles show them, codes as the slots show them.

struct InfoFacts {
    std::string Port;
    std::string Serial;
    std::string Installed;  // v1.2.0
    std::string Carried;    // v1.2.0
    bool UpdateDue = false;
};
std::string InfoText(const InfoFacts& info);
std::string InfoJson(const InfoFacts& info);

// "6 - CAN 11/500"; a number outside 1..9 as "N - unknown".
std::string ProtocolText(int protocol);

std::string StatusText(const SimulatorState& s);
std::string StatusJson(const SimulatorState& s, const std::string& port);

// Status, then both ECUs with their ten slots each (active ones marked).
std::string ShowText(const SimulatorState& s);
std::string ShowJson(const SimulatorState& s, const std::string& port);

// One line of watch (without time stamp and line end).
std::string WatchLine(const SimulatorState& s);
