#pragma once
// The command interpreter of an ELM327-compatible adapter (v1.5), as PC scan
// tools use it: AT commands set the adapter up, hexadecimal requests go to
// the simulated ECUs on the bus. One line in, the adapter's output back.
// Pure logic over DeviceState; the emulator adds the port and the timing.

#include "DeviceState.h"
#include "ObdEcu.h"

#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kElmIdentity = "ELM327 v1.5";

struct AdapterReply {
    std::string Now;       // echo and progress lines ("SEARCHING..."): at once
    std::string Later;     // the reply, ending in the prompt ">"
    bool FromEcus = false; // Later waits for the ECUs' response time
};

// What the bus looks like when a request comes.
struct BusConditions {
    bool EcusRunning = true;  // false while the simulator restarts or sits in its boot loader
    VehicleSignals Signals;
};

class ElmAdapter {
public:
    // line: what came before the carriage return, as sent (case and blanks
    // as the tool wrote them). An empty line repeats the last command, except
    // a request to clear the codes, which is too destructive to repeat on a
    // stray carriage return. Mode 04 changes state.
    AdapterReply Execute(std::string_view line, DeviceState& state, const BusConditions& bus);

    // Power-on settings (ATZ).
    void Reset();

private:
    std::string Eol() const { return linefeeds_ ? "\r\n" : "\r"; }
    std::string Lines(const std::vector<std::string>& lines) const;  // each line, then the blank line and ">"
    std::string AtCommand(std::string_view command);
    AdapterReply Request(std::string_view hex, DeviceState& state, const BusConditions& bus);
    std::string Describe() const;

    bool echo_ = true;
    bool linefeeds_ = false;
    bool spaces_ = true;
    bool headers_ = false;
    bool autoFormat_ = true;
    bool autoProtocol_ = true;   // ATSP0, ATSPAn, ATTPn
    int chosenProtocol_ = 0;     // ATSP n / the first to try (0: none)
    int connectedProtocol_ = 0;  // found by the last search, 0: not connected
    std::string lastCommand_;
};
