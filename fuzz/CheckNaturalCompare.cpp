#include "FuzzCheck.h"

#include "serial/StrNatComp.h"
#include "base/TextCase.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

// Splits the input into three texts: the first two bytes give the lengths
// of the first two, the rest is the third.
std::vector<std::string> ThreeTexts(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> texts;
    if (size < 2) return texts;
    std::size_t at = 2;
    for (std::size_t want : {std::size_t{data[0]}, std::size_t{data[1]}}) {
        const std::size_t n = std::min(want, size - at);
        texts.emplace_back(reinterpret_cast<const char*>(data + at), n);
        at += n;
    }
    texts.emplace_back(reinterpret_cast<const char*>(data + at), size - at);
    return texts;
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(UpperLatin1(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

namespace FuzzCheck {

void NaturalCompare(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> t = ThreeTexts(data, size);
    if (t.size() != 3) return;

    for (bool caseSensitive : {true, false}) {
        auto cmp = [caseSensitive](const std::string& x, const std::string& y) {
            return ::NaturalCompare(x, y, caseSensitive);
        };
        for (const std::string& x : t) {
            FUZZ_REQUIRE(cmp(x, x) == 0);
            for (const std::string& y : t) {
                const int r = cmp(x, y);
                FUZZ_REQUIRE(r == -1 || r == 0 || r == 1);
                FUZZ_REQUIRE(cmp(y, x) == -r);  // swapping the texts swaps the sign
            }
        }
        // A ranking: equal ranks and orders pass on from one pair to the next.
        for (int i = 0; i < 3; ++i) {
            const std::string& a = t[static_cast<std::size_t>(i)];
            const std::string& b = t[static_cast<std::size_t>((i + 1) % 3)];
            const std::string& c = t[static_cast<std::size_t>((i + 2) % 3)];
            if (cmp(a, b) <= 0 && cmp(b, c) <= 0) FUZZ_REQUIRE(cmp(a, c) <= 0);
            if (cmp(a, b) == 0 && cmp(b, c) == 0) FUZZ_REQUIRE(cmp(a, c) == 0);
        }
    }
    // Letter case does not count in the port list.
    for (const std::string& x : t) FUZZ_REQUIRE(::NaturalCompare(x, Upper(x), false) == 0);
    FUZZ_REQUIRE(NaturalListCompare(t, 0, 1) == ::NaturalCompare(t[0], t[1], false));

    // Sorting keeps every name and leaves them in order.
    std::vector<std::string> ports = {t[0], t[1], t[2], t[1]};
    std::vector<std::string> sorted = ports;
    SortPorts(sorted);
    for (std::size_t i = 1; i < sorted.size(); ++i)
        FUZZ_REQUIRE(::NaturalCompare(sorted[i - 1], sorted[i], false) <= 0);
    std::sort(ports.begin(), ports.end());
    std::sort(sorted.begin(), sorted.end());
    FUZZ_REQUIRE(ports == sorted);
}

}  // namespace FuzzCheck
