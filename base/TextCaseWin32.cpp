// Upper case of one byte on Windows: the system's own 8-bit upper-casing in
// the active ANSI code page (for code page 1252 the Latin-1 letters plus
// š, œ, ž and ÿ).
#include "TextCase.h"

#include <windows.h>

unsigned char UpperLatin1(unsigned char c) {
    char text[1] = {static_cast<char>(c)};
    CharUpperBuffA(text, 1);
    return static_cast<unsigned char>(text[0]);
}
