#pragma once
// The command line of knsim-emu.

#include "EmulatorOptions.h"

#include <string>
#include <vector>

struct EmulatorArgs {
    EmulatorOptions Options;
    bool Help = false;
    std::string Error;  // non-empty: the arguments were refused, with this reason
};

EmulatorArgs ParseEmulatorArgs(const std::vector<std::string>& args);  // without the program name
std::string EmulatorUsage();
