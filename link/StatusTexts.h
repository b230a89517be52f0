#pragma once
// Every text the link and the use cases put on the status text, spelled once:
// the window shows them on its status bar, the command line prints a failed
// operation's text as its error message.

#include <array>
#include <string>
#include <string_view>

namespace LinkText {
constexpr char Searching[] = "Searching for KARNOL simulator";
constexpr char NotFound[] = "No KARNOL simulator found";
constexpr char ReadingConfiguration[] = "Reading configuration";
constexpr char StatusFailed[] = "Can't read simulator status";
constexpr char ConfigFailed[] = "Can't read simulator configuration";
constexpr char ProtocolFailed[] = "Can't set protocol";
constexpr char SendingData[] = "Sending data to KARNOL simulator";
constexpr char SetupFailed[] = "Setup not possible";
// The message after a failed firmware update, line by line (an empty line is
// a gap); each front end lays the lines out its own way. The window ends the
// program after it.
constexpr std::array<const char*, 4> UpdateFailedLines = {"Update Fehler!", "", "Please try again,",
                                                          "or contact the KARNOL support"};
// While a device server's connection is made: "Connecting to rack-pc:7000...".
constexpr char ConnectingTo[] = "Connecting to ";
inline std::string Connecting(const std::string& target) { return ConnectingTo + target + "..."; }
inline bool IsConnecting(std::string_view text) { return text.substr(0, sizeof ConnectingTo - 1) == ConnectingTo; }
// The serial number and version labels while nothing is known.
constexpr char Unknown[] = "---";
}  // namespace LinkText
