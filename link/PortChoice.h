#pragma once
// Which ports the front ends offer, in which order, and what they are told
// about a port: the window's port selector and the command line's search and
// bench share these rules.

#include <array>
#include <optional>
#include <string>
#include <vector>

// The serial ports the system lists, in natural order (COM2 before COM10,
// letter case ignored): the order the selector shows and a search tries.
// Raises EFailure (EComPort) when the ports cannot be listed.
std::vector<std::string> ListedPortsInOrder();

// Whether port a stands before port b in that natural order.
[[nodiscard]] bool PortBefore(const std::string& a, const std::string& b);

// The ports in the given order, each device once: a name given twice, or a
// link and the device it points to, keep the first name.
std::vector<std::string> OncePerDevice(const std::vector<std::string>& ports);

// The boxes of the bench window, in natural order, each device once: the
// ports named at start; without any, every listed port and a device server's
// address saved by the main window (which no list can find).
std::vector<std::string> BenchPorts(const std::vector<std::string>& named, const std::string& saved);

// The entries of a port selector: the listed ports in natural order, then
// the names given beyond them (a start option's, those typed and confirmed),
// in natural order too. Those come last so that a listed device keeps its
// position when the list is filled again; a name already offered (letter
// case ignored) is offered once, as it was first given; empty names are not.
std::vector<std::string> OfferedPorts(std::vector<std::string> listed, std::vector<std::string> named);

// The window's offer over a run: the port named at start, the one saved by
// the last run, and the names typed and confirmed since.
class PortOffer {
public:
    // A saved name the system does not list (a pseudo-terminal's path while
    // it is there, a device server's address, a line in memory) is offered
    // as a start option's name is when none was given, rather than replaced
    // by the first listed port (which may be the machine's console line).
    PortOffer(std::optional<std::string> named, std::string saved);

    // The name to select first: the start option's, else the saved one
    // (which may be in the list under another letter case, or gone).
    const std::string& StartPort() const { return named_ ? *named_ : saved_; }
    // A name typed and confirmed: offered from now on.
    void Confirm(const std::string& typed);
    // The entries, with the system's ports listed anew. Raises EFailure.
    std::vector<std::string> Entries() const;

private:
    std::optional<std::string> named_;
    std::string saved_;
    std::vector<std::string> typed_;
};

// What to do about a port the system refused for lack of permission (the
// group to join, say); empty where there is nothing to add.
std::string PermissionAdvice(const std::string& port);

// What both front ends' help says of the two kinds of server address: each
// name with the lines that explain it. Each front end indents them its own
// way; the manual pages say the same as sentences.
struct PortNameHelp {
    const char* Name;
    std::array<const char*, 2> Lines;
};
inline constexpr std::array<PortNameHelp, 2> ServerAddressHelp = {{
    {"rfc2217://HOST:PORT",
     {"a serial device server spoken to with Telnet and the COM-PORT",
      "option (RFC 2217); the tool sets its line to 115200 8N1"}},
    {"tcp://HOST:PORT", {"a raw TCP connection to a server already set to 115200 8N1;", "the bytes pass unchanged"}},
}};
