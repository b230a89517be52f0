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
constexpr int FirmwareMaxBodySize = TransferHeaderOffset;

// Where the version sits in a firmware header: major, minor, patch.
constexpr int HeaderVersionOffset = 12;

// "v%1.0d.%1.0d.%1.0d" of a header's version bytes 12 to 14 (v1.2.0);
// "---" for a header too short to hold them.
std::string HeaderVersionText(std::span<const std::uint8_t> header);

// The firmware image the program carries: a 128-byte header and an
// enciphered body that is passed on unchanged.
class FirmwareImage {
public:
    // Takes the image's bytes. Raises EFailure, before anything is sent
    // anywhere, when the image is shorter than its header or its body does
    // not fit beside the header in the transfer area; the image held before
    // stays as it was then.
    void Load(std::vector<std::uint8_t> bytes);

    bool Loaded() const { return !raw_.empty(); }
    std::span<const std::uint8_t> Raw() const { return raw_; }
    std::span<const std::uint8_t> Header() const;  // empty while nothing is loaded
    // (byte 12 << 8) | (byte 13 << 4) | byte 14.
    std::uint16_t VersionWord() const;
    // "%1x.%1x%1x%1d" of bytes 12, 13, 14 and 0: 1.200 for 1, 2, 0; 1.A30 for 1, 10, 3.
    std::string VersionText() const;
    // "v1.2.0".
    std::string VersionLabel() const { return HeaderVersionText(Header()); }

    // Fills the transfer area with 0xFF, the header at 0x6F80, the body from 0.
    void PrepareTransferArea();
    // Prepares the area unless that was done for the image now loaded, so
    // that no transfer can start from a stale or empty area.
    void EnsureTransferArea() const;
    bool TransferAreaPrepared() const { return prepared_; }
    const std::array<std::uint8_t, TransferAreaSize>& TransferArea() const { return area_; }

private:
    void Fill() const;

    std::vector<std::uint8_t> raw_;
    // The area is derived from raw_ alone; preparing it lazily from a const
    // image changes nothing a reader can observe except that it is ready.
    mutable std::array<std::uint8_t, TransferAreaSize> area_{};
    mutable bool prepared_ = false;
};
