#pragma once
#include <string>

// The whole help (--help, "help").
std::string GeneralHelp();
// The help of one command ("help CMD", "CMD --help"); empty for an unknown name.
std::string CommandHelp(const std::string& command);
