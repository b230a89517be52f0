#include "XmlText.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the valid UTF-8 sequence at text[i] with its code point, or 0.
std::size_t Utf8Sequence(std::string_view text, std::size_t i, std::uint32_t& code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1Fu;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0Fu;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07u;
    else return 0;
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = code << 6 | (byte(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
    return length;
}

// A character no XML document may hold, as visible text: "\x01", "\uFFFE".
std::string Shown(unsigned value) {
    char text[16];
    if (value < 0x100) std::snprintf(text, sizeof text, "\\x%02X", value);
    else std::snprintf(text, sizeof text, "\\u%04X", value);
    return text;
}

}  // namespace

std::string XmlEscaped(std::string_view text, bool attribute) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '&': out += "&amp;"; continue;
        case '<': out += "&lt;"; continue;
        case '>': out += "&gt;"; continue;
        case '"': out += attribute ? "&quot;" : "\""; continue;
        case '\'': out += attribute ? "&apos;" : "'"; continue;
        case '\r': out += "&#13;"; continue;
        case '\n': out += attribute ? "&#10;" : "\n"; continue;
        case '\t': out += attribute ? "&#9;" : "\t"; continue;
        default: break;
        }
        if (c < 0x20) {
            out += Shown(c);
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (std::uint32_t code = 0; const std::size_t length = Utf8Sequence(text, i, code)) {
            if (code == 0xFFFE || code == 0xFFFF) out += Shown(code);
            else out.append(text.substr(i, length));
            i += length - 1;
        } else {
            // Latin-1: the byte is its own code point.
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}
