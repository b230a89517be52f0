#pragma once
// The simulator's boot loader, fed one received byte at a time: answers the
// poll byte, takes the start byte, then checks and acknowledges frames and
// writes their pages into the flash of DeviceState. Pure logic; the
// emulator adds the wire and the timing.

#include "DeviceState.h"
#include "EmulatorOptions.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace boot {
inline constexpr std::uint8_t kPoll = 'P';
inline constexpr std::uint8_t kPollAnswer = 'c';
inline constexpr std::uint8_t kStart = 'p';
inline constexpr std::uint8_t kHeaderFrame = 0x10;
inline constexpr std::uint8_t kFirstHalfFrame = 0x03;
inline constexpr std::uint8_t kSecondHalfFrame = 0x04;
inline constexpr std::uint8_t kCommitFrame = 0x21;
inline constexpr std::uint8_t kBlankPageFrame = 0x24;
inline constexpr std::uint8_t kCloseFrame = 0x02;
inline constexpr std::uint8_t kAckCode = 0x01;
inline constexpr std::uint8_t kMoreFlag = 0x63;  // commit of a page before the last
inline constexpr std::uint8_t kLastFlag = 0x00;  // commit of the last page
inline constexpr std::size_t kMaxPayload = 128;
inline constexpr std::size_t kHalfPage = 128;
}  // namespace boot

// A complete frame: code, length, payload and the checksum that makes all
// bytes add up to 0 modulo 256.
std::vector<std::uint8_t> BuildFrame(std::uint8_t code, const std::vector<std::uint8_t>& payload);

class BootLoader {
public:
    struct Output {
        std::vector<std::uint8_t> Reply;  // bytes to send back
        bool IsAck = false;               // Reply is an acknowledgement frame
        std::vector<std::string> Events;  // log entries
        bool Finished = false;            // closing frame taken: restart into the firmware
    };

    // A fresh session: waiting for the poll, nothing received yet.
    void Reset();
    // Whether this byte, received next, would make the boot loader act
    // (answer, log or change something) rather than just collect it.
    bool Acts(std::uint8_t byte) const;
    // One received byte.
    void Feed(std::uint8_t byte, DeviceState& state, const BootFaults& faults, Output& out);
    // Drop a frame whose bytes stopped coming (the sender gave up on it).
    void DropPartialFrame();
    bool InFrame() const { return !frame_.empty(); }

private:
    enum class Phase { WaitPoll, WaitStart, Frames };
    void TakeFrame(DeviceState& state, const BootFaults& faults, Output& out);
    std::string CheckAndApply(DeviceState& state, std::string& event);

    Phase phase_ = Phase::WaitPoll;
    std::vector<std::uint8_t> frame_;
    int frameNumber_ = 0;
    bool haveHeader_ = false;
    std::array<std::uint8_t, kHeaderSize> header_{};
    bool haveFirstHalf_ = false;
    bool haveSecondHalf_ = false;
    std::array<std::uint8_t, kPageSize> page_{};
};
