// A port name as typed or stored: what decides between a device and a
// serial device server, and the address taken out of it.
#include "FuzzCheck.h"

#include "serial/NetworkAddress.h"

#include <string>

namespace {

bool AllDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The name a user would write for this address.
std::string NameOf(const NetworkAddress& address) {
    const std::string host = address.Host.find(':') == std::string::npos ? address.Host : "[" + address.Host + "]";
    return (address.Kind == NetworkAddress::Protocol::Rfc2217 ? "rfc2217://" : "tcp://") + host + ":" +
           address.Service;
}

}  // namespace

namespace FuzzCheck {

void NetworkPortName(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    const bool network = IsNetworkPortName(name);
    const auto address = ParseNetworkPortName(name);
    if (!address) return;
    // Whatever opens as a server is also treated as one everywhere else.
    FUZZ_REQUIRE(network);
    FUZZ_REQUIRE(!address->Host.empty());
    FUZZ_REQUIRE(address->Host.find_first_of("[]") == std::string::npos);
    for (const char c : address->Host) FUZZ_REQUIRE(static_cast<unsigned char>(c) > 0x20 && c != 0x7F);
    // What goes to the resolver as the port is a plain number in range.
    FUZZ_REQUIRE(AllDigits(address->Service));
    FUZZ_REQUIRE(address->Service.size() <= 5 && address->Service[0] != '0');
    const int port = std::stoi(address->Service);
    FUZZ_REQUIRE(port >= 1 && port <= 65535);
    // The address written out again names the same server.
    const std::string again = NameOf(*address);
    FUZZ_REQUIRE(IsNetworkPortName(again));
    const auto reread = ParseNetworkPortName(again);
    FUZZ_REQUIRE(reread.has_value());
    FUZZ_REQUIRE(reread->Kind == address->Kind);
    FUZZ_REQUIRE(reread->Host == address->Host);
    FUZZ_REQUIRE(reread->Service == address->Service);
}

}  // namespace FuzzCheck
