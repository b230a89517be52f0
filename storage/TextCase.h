#pragma once
#include "../serial/StrNatComp.h"

#include <string_view>

// Element names, entity names, sections and keys all compare without regard
// to letter case, Latin-1 letters included, byte for byte.
inline bool SameTextNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperLatin1(static_cast<unsigned char>(a[i])) != UpperLatin1(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
