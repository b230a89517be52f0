// The emulator's ports on Windows: a line in memory only. Windows has no
// pseudo-terminals; a Windows program that needs the emulator behind a COM
// port uses the Linux knsim-emu through wine's port mapping instead.

#include "EmulatorPorts.h"

#include "EmulatorMemoryLine.h"

#include <stdexcept>

void CheckEmulatorPorts(const EmulatorOptions& options) {
    if (options.MemoryLineName.empty())
        throw std::invalid_argument("on Windows the emulator needs a memory line (MemoryLineName)");
    if (options.Obd.Enabled) throw std::invalid_argument("the diagnostic port needs a pseudo-terminal");
    if (!options.LinkPath.empty()) throw std::invalid_argument("a link can only point at a pseudo-terminal");
}

EmulatorPorts MakeEmulatorPorts(const EmulatorOptions& options) {
    CheckEmulatorPorts(options);
    EmulatorPorts ports;
    ports.Line = std::make_unique<EmulatorMemoryLine>(options.MemoryLineName);
    return ports;
}

void PrepareServiceThread() {
    // Sleeps here are as fine as the system's timer (1 ms at best, often
    // 15.6 ms): a paced reply then leaves in bursts, each byte still no
    // sooner than the line allows.
}
