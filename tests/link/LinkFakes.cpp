#include "LinkFakes.h"

#include <cstdio>
#include <cstring>

std::vector<std::uint8_t> TestHeader(std::uint8_t major, std::uint8_t minor, std::uint8_t patch) {
    std::vector<std::uint8_t> h(128, 0);
    std::memcpy(h.data(), "ER90", 4);
    h[12] = major;
    h[13] = minor;
    h[14] = patch;
    std::memcpy(h.data() + 16, "May 16 2012", 11);
    std::memcpy(h.data() + 32, "KARNOL-SIM-VORNA", 16);
    for (int i = 64; i < 128; ++i) h[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return h;
}

std::vector<std::uint8_t> TestImage(const std::vector<std::uint8_t>& body, const std::vector<std::uint8_t>& header) {
    std::vector<std::uint8_t> image = header;
    image.insert(image.end(), body.begin(), body.end());
    return image;
}

std::string DataReply(const std::vector<std::uint8_t>& bytes) {
    std::string reply = "#";
    for (std::uint8_t b : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", b);
        reply += hex;
    }
    return reply + "\r";
}
