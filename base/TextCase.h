#pragma once
// Letter case of single-byte (Latin-1) text, as the tool compares port names,
// element and entity names, sections and keys: byte for byte, with the
// Latin-1 letters folded too.

#include <string_view>

// Upper case of one Latin-1 byte: a-z and à-þ (except ÷) map to A-Z and À-Þ;
// ß and ÿ have no single-byte upper case and stay as they are. On Windows
// the system's upper-casing in the ANSI code page (1252: also š, œ, ž, ÿ).
unsigned char UpperLatin1(unsigned char c);

// True when both texts have the same length and the same bytes once upper-cased.
bool SameTextNoCase(std::string_view a, std::string_view b);
