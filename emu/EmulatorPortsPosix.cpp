// The emulator's ports on Linux: a pseudo-terminal for the configuration
// port unless a memory line is named, and a pseudo-terminal for the
// diagnostic side.

#include "EmulatorPorts.h"

#include "EmulatorMemoryLine.h"
#include "EmulatorPtyLine.h"
#include "ObdPort.h"

#include <sys/prctl.h>

#include <stdexcept>

void CheckEmulatorPorts(const EmulatorOptions& options) {
    // The service thread of a memory line waits on that line, not in poll,
    // so it could not hear the diagnostic port's descriptors.
    if (options.MemoryLineName.empty()) return;
    if (options.Obd.Enabled)
        throw std::invalid_argument("the diagnostic port needs a pseudo-terminal, not a memory line");
    if (!options.LinkPath.empty()) throw std::invalid_argument("a link can only point at a pseudo-terminal");
}

EmulatorPorts MakeEmulatorPorts(const EmulatorOptions& options) {
    CheckEmulatorPorts(options);
    EmulatorPorts ports;
    if (!options.MemoryLineName.empty()) {
        ports.Line = std::make_unique<EmulatorMemoryLine>(options.MemoryLineName);
        return ports;
    }
    auto line = std::make_unique<EmulatorPtyLine>(options.LinkPath);
    if (options.Obd.Enabled) {
        auto obd = std::make_unique<ObdPort>(options.Obd.Baud, options.Obd.EcuDelayMs, options.Obd.LinkPath);
        line->WatchAlso(obd->Master());
        line->WatchAlso(obd->Watch());
        ports.Obd = std::move(obd);
    }
    ports.Line = std::move(line);
    return ports;
}

void PrepareServiceThread() {
    // Do not let the kernel round the short sleeps of a paced line up.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
}
