#pragma once
// Port names that are addresses of a serial device server:
// "rfc2217://HOST:PORT" (Telnet with the COM-PORT option) and
// "tcp://HOST:PORT" (raw TCP, bytes passed through unchanged). HOST is a
// name, an IPv4 address or an IPv6 address in brackets.

#include <optional>
#include <string>

struct NetworkAddress {
    enum class Protocol { Rfc2217, RawTcp };
    Protocol Kind = Protocol::Rfc2217;
    std::string Host;     // without brackets
    std::string Service;  // the TCP port number as text
};

// Whether the name begins with one of the two schemes (letter case ignored):
// the one place that decides whether a port is a device or a server.
[[nodiscard]] bool IsNetworkPortName(const std::string& name);

// The address in a network port name; none when the name is not one, or when
// after its scheme it is not HOST:PORT with a port number from 1 to 65535.
[[nodiscard]] std::optional<NetworkAddress> ParseNetworkPortName(const std::string& name);
