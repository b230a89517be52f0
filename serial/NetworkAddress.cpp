#include "NetworkAddress.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace {

constexpr char Rfc2217Scheme[] = "rfc2217://";
constexpr char TcpScheme[] = "tcp://";

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

}  // namespace

bool IsNetworkPortName(const std::string& name) {
    return StartsWithNoCase(name, Rfc2217Scheme) || StartsWithNoCase(name, TcpScheme);
}

std::optional<NetworkAddress> ParseNetworkPortName(const std::string& name) {
    NetworkAddress address;
    std::string rest;
    if (StartsWithNoCase(name, Rfc2217Scheme)) {
        address.Kind = NetworkAddress::Protocol::Rfc2217;
        rest = name.substr(sizeof Rfc2217Scheme - 1);
    } else if (StartsWithNoCase(name, TcpScheme)) {
        address.Kind = NetworkAddress::Protocol::RawTcp;
        rest = name.substr(sizeof TcpScheme - 1);
    } else {
        return std::nullopt;
    }
    // A trailing slash, as a typed URL often has, changes nothing.
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::string::size_type colon;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return std::nullopt;
        address.Host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return std::nullopt;
        address.Host = rest.substr(0, colon);
        // A bare IPv6 address has more colons than one: it needs its brackets.
        if (address.Host.find(':') != std::string::npos) return std::nullopt;
    }
    address.Service = rest.substr(colon + 1);
    if (address.Host.empty() || address.Service.empty() || address.Service.size() > 5) return std::nullopt;
    if (!std::all_of(address.Service.begin(), address.Service.end(),
                     [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const int number = std::stoi(address.Service);
    if (number < 1 || number > 65535) return std::nullopt;
    address.Service = std::to_string(number);
    // Brackets belong around an IPv6 address, never inside a host name; nor
    // do white space and control bytes (a name pasted with its line end).
    const bool badHostByte = std::any_of(address.Host.begin(), address.Host.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte <= 0x20 || byte == 0x7F || std::string_view("/?#@[]").find(c) != std::string_view::npos;
    });
    if (badHostByte) return std::nullopt;
    return address;
}
