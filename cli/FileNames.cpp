#include "FileNames.h"

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

}  // namespace

std::string ConfigurationFileName(const std::string& chosen) {
    const std::size_t slash = chosen.find_last_of(FolderSeparators);
    const std::string_view name =
        slash == std::string::npos ? std::string_view(chosen) : std::string_view(chosen).substr(slash + 1);
    if (name.empty() || name.find('.') != std::string_view::npos) return chosen;
    return chosen + ".kns";
}

std::string BoxFileName(const std::string& pattern, const std::string& serial, const std::string& port) {
    const std::size_t slash = port.find_last_of(FolderSeparators);
    std::string name = pattern;
    ReplaceAll(name, "{serial}", SafePart(serial));
    ReplaceAll(name, "{port}", SafePart(slash == std::string::npos ? port : port.substr(slash + 1)));
    return name;
}
