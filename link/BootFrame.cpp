#include "BootFrame.h"

#include <algorithm>

std::uint8_t FrameChecksum(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return static_cast<std::uint8_t>(0u - sum);
}

std::vector<std::uint8_t> BuildBootFrame(std::uint8_t code, std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame;
    frame.reserve(payload.size() + 3);
    frame.push_back(code);
    frame.push_back(static_cast<std::uint8_t>(payload.size()));
    frame.insert(frame.end(), payload.begin(), payload.end());
    frame.push_back(FrameChecksum(frame));
    return frame;
}

bool IsBlankPage(std::span<const std::uint8_t> page) {
    return std::all_of(page.begin(), page.end(), [](std::uint8_t b) { return b == 0xFF; });
}

std::vector<std::vector<std::uint8_t>> PageFrames(const std::array<std::uint8_t, TransferAreaSize>& area,
                                                  int p) {
    using namespace BootFrame;
    const std::span<const std::uint8_t> page(area.data() + p, TransferPageSize);
    const auto lo = static_cast<std::uint8_t>(p & 0xFF);
    const auto hi = static_cast<std::uint8_t>(p >> 8);
    if (IsBlankPage(page)) {
        const std::array<std::uint8_t, 2> offset{lo, hi};
        return {BuildBootFrame(BlankPage, offset)};
    }
    const std::array<std::uint8_t, 3> done{lo, hi, p == LastPageOffset ? LastPage : MorePages};
    return {BuildBootFrame(FirstHalf, page.first(HalfPage)), BuildBootFrame(SecondHalf, page.last(HalfPage)),
            BuildBootFrame(PageDone, done)};
}
