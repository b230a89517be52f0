#include "BootLoader.h"

#include <algorithm>
#include <cstdio>

using namespace boot;

namespace {

std::uint8_t Sum(const std::vector<std::uint8_t>& bytes) {
    std::uint8_t sum = 0;
    for (auto b : bytes) sum = static_cast<std::uint8_t>(sum + b);
    return sum;
}

std::string Hex2(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", v & 0xFFu);
    return text;
}

std::string Hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", v & 0xFFFFu);
    return text;
}

// Page offset from a little-endian payload; nullopt when it is not the start
// of a page inside the flash.
std::optional<std::size_t> PageOffset(std::uint8_t low, std::uint8_t high) {
    const std::size_t p = static_cast<std::size_t>(high << 8 | low);
    if (p % kPageSize != 0 || p >= kFlashSize) return std::nullopt;
    return p;
}

}  // namespace

std::vector<std::uint8_t> BuildFrame(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
    std::vector<std::uint8_t> frame(payload.size() + 2);
    frame[0] = code;
    frame[1] = static_cast<std::uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.begin() + 2);
    frame.push_back(static_cast<std::uint8_t>(0u - Sum(frame)));
    return frame;
}

void BootLoader::Reset() {
    phase_ = Phase::WaitPoll;
    frame_.clear();
    frameNumber_ = 0;
    haveHeader_ = haveFirstHalf_ = haveSecondHalf_ = false;
}

void BootLoader::DropPartialFrame() { frame_.clear(); }

bool BootLoader::Acts(std::uint8_t byte) const {
    if (byte == kPoll && frame_.empty()) return true;
    if (phase_ == Phase::WaitStart) return byte == kStart;
    if (phase_ != Phase::Frames) return false;
    const std::size_t size = frame_.size() + 1;
    if (size == 2) return byte > kMaxPayload;  // refused at once as overlong
    return size > 2 && size == std::size_t{frame_[1]} + 3u;
}

void BootLoader::Feed(std::uint8_t byte, DeviceState& state, const BootFaults& faults, Output& out) {
    // A poll outside a frame starts over, so that a tool that gave up on a
    // transfer can begin a new one without a reset.
    if (byte == kPoll && frame_.empty()) {
        out.Events.push_back("poll");
        if (faults.NeverAnswerPoll) return;
        out.Reply = {kPollAnswer};
        phase_ = Phase::WaitStart;
        return;
    }
    switch (phase_) {
    case Phase::WaitPoll:
        return;  // anything but the poll is noise to a waiting boot loader
    case Phase::WaitStart:
        if (byte == kStart) {
            out.Events.push_back("start");
            phase_ = Phase::Frames;
            frameNumber_ = 0;
            haveHeader_ = haveFirstHalf_ = haveSecondHalf_ = false;
        }
        return;
    case Phase::Frames:
        frame_.push_back(byte);
        if (frame_.size() == 2 && frame_[1] > kMaxPayload) {
            out.Events.push_back("frame " + Hex2(frame_[0]) + " refused: length " + std::to_string(frame_[1]));
            frame_.clear();
            return;
        }
        if (frame_.size() >= 2 && frame_.size() == std::size_t{frame_[1]} + 3u) TakeFrame(state, faults, out);
        return;
    }
}

void BootLoader::TakeFrame(DeviceState& state, const BootFaults& faults, Output& out) {
    ++frameNumber_;
    std::string event = "frame " + Hex2(frame_[0]);
    std::string refusal;
    if (Sum(frame_) != 0)
        refusal = "bad checksum";
    else
        refusal = CheckAndApply(state, event);
    const std::uint8_t code = frame_[0];
    frame_.clear();

    if (!refusal.empty()) {
        // No acknowledgement: the tool stops at this frame.
        out.Events.push_back(event + " refused: " + refusal);
        return;
    }
    if (code == kCloseFrame) {
        out.Events.push_back(event);
        out.Finished = true;
        return;
    }
    if (frameNumber_ == faults.NoAckFrame) {
        out.Events.push_back(event + " (no acknowledgement)");
        return;
    }
    out.Reply = BuildFrame(kAckCode, {});
    out.IsAck = true;
    if (frameNumber_ == faults.BadAckChecksumFrame) {
        out.Reply.back() = static_cast<std::uint8_t>(out.Reply.back() + 1);
        event += " (bad acknowledgement)";
    }
    out.Events.push_back(event);
}

// Checks a frame whose checksum is right and applies it; returns why it is
// refused, or an empty text. Adds the page details to the log event.
std::string BootLoader::CheckAndApply(DeviceState& state, std::string& event) {
    const std::uint8_t code = frame_[0];
    const std::size_t length = frame_[1];
    const std::uint8_t* payload = frame_.data() + 2;
    switch (code) {
    case kHeaderFrame:
        if (length != kHeaderSize) return "length " + std::to_string(length);
        std::copy_n(payload, kHeaderSize, header_.begin());
        haveHeader_ = true;
        return {};
    case kFirstHalfFrame:
    case kSecondHalfFrame: {
        if (length != kHalfPage) return "length " + std::to_string(length);
        const bool first = code == kFirstHalfFrame;
        std::copy_n(payload, kHalfPage, page_.begin() + (first ? 0 : kHalfPage));
        (first ? haveFirstHalf_ : haveSecondHalf_) = true;
        return {};
    }
    case kCommitFrame: {
        if (length != 3) return "length " + std::to_string(length);
        event += " " + Hex4(static_cast<unsigned>(payload[1] << 8 | payload[0])) + " " + Hex2(payload[2]);
        const auto p = PageOffset(payload[0], payload[1]);
        if (!p) return "page offset";
        const std::uint8_t expected = *p == kFlashSize - kPageSize ? kLastFlag : kMoreFlag;
        if (payload[2] != expected) return "flag";
        if (!haveFirstHalf_ || !haveSecondHalf_) return "page data missing";
        std::copy(page_.begin(), page_.end(), state.Flash.begin() + static_cast<std::ptrdiff_t>(*p));
        haveFirstHalf_ = haveSecondHalf_ = false;
        return {};
    }
    case kBlankPageFrame: {
        if (length != 2) return "length " + std::to_string(length);
        event += " " + Hex4(static_cast<unsigned>(payload[1] << 8 | payload[0]));
        const auto p = PageOffset(payload[0], payload[1]);
        if (!p) return "page offset";
        std::fill_n(state.Flash.begin() + static_cast<std::ptrdiff_t>(*p), kPageSize, 0xFF);
        return {};
    }
    case kCloseFrame:
        if (length != 0) return "length " + std::to_string(length);
        // A transfer without a header frame leaves the installed firmware's
        // header as it was.
        if (haveHeader_) state.InstalledHeader = header_;
        return {};
    default:
        return "unknown code";
    }
}
