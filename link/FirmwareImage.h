#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr int FirmwareHeaderSize = 128;
constexpr int FirmwareIdentitySize = 48;      // magic to device name
constexpr int TransferAreaSize = 0x7000;      // the simulator's firmware flash
constexpr int TransferHeaderOffset = 0x6F80;  // the header's place: the last 128 bytes
constexpr int TransferPageSize = 256;

// "v%1.0d.%1.0d.%1.0d" of a header's version bytes 12 to 14 (v1.2.0).
std::string HeaderVersionText(std::span<const std::uint8_t> header);

// The firmware image the program carries: a 128-byte header and an
// enciphered body that is passed on unchanged.
class FirmwareImage {
public:
    // Takes the image's bytes. Raises EFailure, before anything is sent
    // anywhere, when the image is shorter than its header or its body does
    // not fit beside the header in the transfer area.
    void Load(std::vector<std::uint8_t> bytes);

    bool Loaded() const { return !raw_.empty(); }
    std::span<const std::uint8_t> Raw() const { return raw_; }
    std::span<const std::uint8_t> Header() const;
    // (byte 12 << 8) | (byte 13 << 4) | byte 14.
    std::uint16_t VersionWord() const;
    // "%1x.%1x%1x%1d" of bytes 12, 13, 14 and 0: 1.200 for 1, 2, 0.
    std::string VersionText() const;
    // "v1.2.0".
    std::string VersionLabel() const { return HeaderVersionText(Header()); }

    // Fills the transfer area with 0xFF, the header at 0x6F80, the body from 0.
    void PrepareTransferArea();
    const std::array<std::uint8_t, TransferAreaSize>& TransferArea() const { return area_; }

private:
    std::vector<std::uint8_t> raw_;
    std::array<std::uint8_t, TransferAreaSize> area_{};
};
