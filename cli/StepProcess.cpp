// What the systems' step-process code shares: how much of an output is kept.
#include "StepProcess.h"

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length a UTF-8 lead byte announces (1 for anything else).
std::size_t SequenceLength(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0xF0 ? 4 : u >= 0xE0 ? 3 : u >= 0xC0 ? 2 : 1;
}

// Drops a character that the end of text cuts in two.
void DropCutCharacter(std::string& text) {
    std::size_t start = text.size();
    for (int i = 0; i < 3 && start > 0 && IsContinuation(text[start - 1]); ++i) --start;
    if (start == 0) return;
    const std::size_t lead = start - 1;
    if (lead + SequenceLength(text[lead]) > text.size()) text.erase(lead);
}

}  // namespace

std::string CutOutput(std::size_t size, const ReadPiece& read) {
    if (size <= OutputLimit) return read(0, size);
    constexpr std::size_t Half = OutputLimit / 2;
    std::string head = read(0, Half);
    std::string tail = read(size - Half, Half);
    // Neither piece may end or begin inside a character; a UTF-8 character
    // is at most four bytes.
    DropCutCharacter(head);
    std::size_t skip = 0;
    while (skip < 3 && skip < tail.size() && IsContinuation(tail[skip])) ++skip;
    tail.erase(0, skip);
    const std::size_t left = size - head.size() - tail.size();
    return head + "\n[... " + std::to_string(left) + " bytes left out: of " + std::to_string(size) +
           " bytes, the first and the last " + std::to_string(Half / 1024) + " KiB are kept ...]\n" + tail;
}

std::string CutOutputText(const std::string& text) {
    return CutOutput(text.size(), [&text](std::size_t offset, std::size_t length) { return text.substr(offset, length); });
}
