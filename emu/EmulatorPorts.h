#pragma once
// The ports the emulator serves, as the system it runs on provides them:
// the one place that chooses between a pseudo-terminal and a line in
// memory, and that knows which system has which (EmulatorPortsPosix.cpp,
// EmulatorPortsWin32.cpp).

#include "DiagnosticPort.h"
#include "EmulatorLine.h"
#include "EmulatorOptions.h"

#include <memory>

struct EmulatorPorts {
    std::unique_ptr<EmulatorLine> Line;     // not yet open
    std::unique_ptr<DiagnosticPort> Obd;    // with Obd.Enabled only
};

// Throws std::invalid_argument for options this system cannot serve.
void CheckEmulatorPorts(const EmulatorOptions& options);
// Throws std::runtime_error when a port cannot be made.
EmulatorPorts MakeEmulatorPorts(const EmulatorOptions& options);
// Called first on the service thread, which keeps paced bytes 87 us apart.
void PrepareServiceThread();
