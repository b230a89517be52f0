#pragma once
#include <string>
#include <vector>

// The serial ports present, in natural order (as the window's port selector
// lists them). Raises CliError (exit status 1) with the serial layer's text
// when the ports cannot be listed.
std::vector<std::string> ListPortsInOrder();

// Test hook: when the environment variable KNSIM_CLI_PORTS is set, its
// comma-separated names (pseudo-terminal paths, say) replace the machine's
// port list, so that a test never asks the machine's own ports, whose first
// one is often the console.
void TakePortsFromEnvironment();
constexpr const char* PortsEnvironmentVariable = "KNSIM_CLI_PORTS";
