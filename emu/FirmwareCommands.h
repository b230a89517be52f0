#pragma once
// The running firmware's command protocol: one command line in, at most one
// reply line out. Pure logic over DeviceState; the emulator adds the wire.

#include "DeviceState.h"
#include "EmulatorOptions.h"

#include <optional>
#include <string>
#include <string_view>

// Replies to commands that carry no data. The tool accepts any non-empty line
// there, so an error reply keeps the tool going; the state stays unchanged
// and the log shows the command.
inline constexpr std::string_view kAckReply = "OK";
inline constexpr std::string_view kErrorReply = "ERR";

struct FirmwareReply {
    std::optional<std::string> Line;  // without its line end; nullopt: no reply at all
    bool EnterBootLoader = false;     // switch to the boot loader after the reply
};

// line: the received text without its carriage return, e.g. "!P86".
FirmwareReply ExecuteCommand(std::string_view line, DeviceState& state, const CommandFaults& faults);
