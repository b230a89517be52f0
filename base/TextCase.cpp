#include "TextCase.h"

#ifndef _WIN32
// Windows has its own 8-bit upper-casing (TextCaseWin32.cpp).
unsigned char UpperLatin1(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    return c;
}
#endif

bool SameTextNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (UpperLatin1(static_cast<unsigned char>(a[i])) != UpperLatin1(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}
