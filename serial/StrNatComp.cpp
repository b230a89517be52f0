#include "StrNatComp.h"

#include "base/TextCase.h"

#include <algorithm>

namespace {

bool IsBlank(unsigned char c) { return c >= 1 && c <= 32; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Bytes past the end read as 0.
unsigned char At(std::string_view s, std::size_t i) {
    return i < s.size() ? static_cast<unsigned char>(s[i]) : 0;
}

// Digit runs that start with a 0 compare like fractions: digit by digit from
// the left, the shorter run first when one ends.
int CompareDigitRunsLeft(std::string_view a, std::size_t ai, std::string_view b, std::size_t bi) {
    for (;; ++ai, ++bi) {
        const unsigned char ca = At(a, ai), cb = At(b, bi);
        const bool da = IsDigit(ca), db = IsDigit(cb);
        if (!da && !db) return 0;
        if (!da) return -1;
        if (!db) return +1;
        if (ca < cb) return -1;
        if (ca > cb) return +1;
    }
}

// Other digit runs: the longer run is the larger number.
int CompareDigitRunLengths(std::string_view a, std::size_t ai, std::string_view b, std::size_t bi) {
    for (;; ++ai, ++bi) {
        const bool da = IsDigit(At(a, ai)), db = IsDigit(At(b, bi));
        if (!da && !db) return 0;
        if (!da) return -1;
        if (!db) return +1;
    }
}

}  // namespace

int NaturalCompare(std::string_view a, std::string_view b, bool caseSensitive) {
    std::size_t ai = 0, bi = 0;
    for (;; ++ai, ++bi) {
        unsigned char ca = At(a, ai), cb = At(b, bi);
        while (IsBlank(ca)) ca = At(a, ++ai);
        while (IsBlank(cb)) cb = At(b, ++bi);
        if (IsDigit(ca) && IsDigit(cb)) {
            const int r = (ca == '0' || cb == '0') ? CompareDigitRunsLeft(a, ai, b, bi)
                                                   : CompareDigitRunLengths(a, ai, b, bi);
            if (r != 0) return r;
        }
        if (ca == 0 && cb == 0) return 0;
        if (!caseSensitive) {
            ca = UpperLatin1(ca);
            cb = UpperLatin1(cb);
        }
        if (ca < cb) return -1;
        if (ca > cb) return +1;
    }
}

int NaturalListCompare(const std::vector<std::string>& list, std::size_t i, std::size_t j) {
    return NaturalCompare(list[i], list[j], false);
}

void SortPorts(std::vector<std::string>& ports) {
    // stable_sort never reads outside the range, whatever the comparison does;
    // the order among names that rank equal is not promised either way.
    std::stable_sort(ports.begin(), ports.end(), [](const std::string& x, const std::string& y) {
        return NaturalCompare(x, y, false) < 0;
    });
}
