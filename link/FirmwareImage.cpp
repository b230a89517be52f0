#include "FirmwareImage.h"

#include "base/Failure.h"

#include <algorithm>
#include <cstdio>

std::string HeaderVersionText(std::span<const std::uint8_t> header) {
    if (header.size() < HeaderVersionOffset + 3) return "---";
    char text[32];
    std::snprintf(text, sizeof text, "v%u.%u.%u", unsigned{header[HeaderVersionOffset]},
                  unsigned{header[HeaderVersionOffset + 1]}, unsigned{header[HeaderVersionOffset + 2]});
    return text;
}

void FirmwareImage::Load(std::vector<std::uint8_t> bytes) {
    if (bytes.size() < static_cast<std::size_t>(FirmwareHeaderSize)) {
        throw EFailure("The firmware image is too short: " + std::to_string(bytes.size()) +
                       " bytes, but its header alone takes " + std::to_string(FirmwareHeaderSize));
    }
    const std::size_t body = bytes.size() - FirmwareHeaderSize;
    if (body > static_cast<std::size_t>(FirmwareMaxBodySize)) {
        throw EFailure("The firmware image is too long: its body of " + std::to_string(body) +
                       " bytes does not fit into the " + std::to_string(FirmwareMaxBodySize) +
                       " bytes of the simulator's flash");
    }
    raw_ = std::move(bytes);
    prepared_ = false;
}

std::span<const std::uint8_t> FirmwareImage::Header() const {
    if (!Loaded()) return {};
    return std::span<const std::uint8_t>(raw_).first(FirmwareHeaderSize);
}

std::uint16_t FirmwareImage::VersionWord() const {
    if (!Loaded()) return 0;
    return static_cast<std::uint16_t>(raw_[HeaderVersionOffset] << 8 | raw_[HeaderVersionOffset + 1] << 4 |
                                      raw_[HeaderVersionOffset + 2]);
}

std::string FirmwareImage::VersionText() const {
    if (!Loaded()) return "---";
    char text[32];
    std::snprintf(text, sizeof text, "%X.%X%X%d", unsigned{raw_[HeaderVersionOffset]},
                  unsigned{raw_[HeaderVersionOffset + 1]}, unsigned{raw_[HeaderVersionOffset + 2]}, 0);
    return text;
}

void FirmwareImage::Fill() const {
    area_.fill(0xFF);
    if (Loaded()) {
        // Load guarantees the body fits below the header's place.
        std::copy(raw_.begin() + FirmwareHeaderSize, raw_.end(), area_.begin());
        std::copy(raw_.begin(), raw_.begin() + FirmwareHeaderSize, area_.begin() + TransferHeaderOffset);
    }
    prepared_ = true;
}

void FirmwareImage::PrepareTransferArea() { Fill(); }

void FirmwareImage::EnsureTransferArea() const {
    if (!prepared_) Fill();
}
