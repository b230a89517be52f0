#include "FileNames.h"

#include "serial/NetworkAddress.h"

#include <cctype>
#include <string_view>

namespace {

// Both, on every system: a name typed on Linux may be meant for Windows too.
constexpr std::string_view FolderSeparators = "/\\";

std::string SafePart(std::string_view text) {
    std::string safe;
    for (const char c : text) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                           c == '-' || c == '_';
        safe += plain ? c : '_';
    }
    // "." and ".." name folders, not files.
    if (safe.find_first_not_of('.') == std::string::npos) safe = std::string(safe.size(), '_');
    return safe;
}

void ReplaceAll(std::string& text, std::string_view key, const std::string& value) {
    for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size()))
        text.replace(at, key.size(), value);
}

// The part of a port's name that tells its box from the others. A device is
// told by its last part; a device server's address keeps its scheme, since one
// server may offer the same HOST:PORT under two of them, and loses the
// trailing slash that names the same server.
std::string PortPart(const std::string& port) {
    if (IsNetworkPortName(port)) {
        const std::size_t end = port.find("://");
        std::string scheme;
        for (const char c : port.substr(0, end)) scheme += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::string address = port.substr(end + 3);
        if (!address.empty() && address.back() == '/') address.pop_back();
        return scheme + "_" + SafePart(address);
    }
    const std::size_t slash = port.find_last_of(FolderSeparators);
    return SafePart(slash == std::string::npos ? port : port.substr(slash + 1));
}

}  // namespace

std::string ConfigurationFileName(const std::string& chosen) {
    const std::size_t slash = chosen.find_last_of(FolderSeparators);
    const std::string_view name =
        slash == std::string::npos ? std::string_view(chosen) : std::string_view(chosen).substr(slash + 1);
    if (name.empty() || name.find('.') != std::string_view::npos) return chosen;
    return chosen + ".kns";
}

std::string BoxFileName(const std::string& pattern, const std::string& serial, const std::string& port) {
    std::string name = pattern;
    ReplaceAll(name, "{serial}", SafePart(serial));
    ReplaceAll(name, "{port}", PortPart(port));
    return name;
}
