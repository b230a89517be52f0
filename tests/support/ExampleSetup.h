#pragma once
// The example set-up the tests share: protocol 6, two ECUs, MIL on, P0301
// and P0420 on ECU1, U0100 on ECU2; the example file holds it as the window
// saves it.

#include "base/CfgSetup.h"

#include <string>
#include <vector>

CfgSetup ExampleSetup();
// knsim-emu's options that start the simulator with the example set-up.
std::vector<std::string> ExampleEmulatorArgs();
// The example file's path.
std::string ExampleFile();
