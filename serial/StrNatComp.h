#pragma once
// Natural ordering of port names: COM2 before COM10, white space ignored,
// letter case optionally ignored. Texts are byte strings (one byte per
// character, Latin-1); bytes compare as unsigned values.
#include <cstddef>
#include <string_view>
#include <string>
#include <vector>

// -1 when a orders before b, 0 when they rank equal, +1 when a orders after b.
// A zero byte ends a text, as the end itself does.
int NaturalCompare(std::string_view a, std::string_view b, bool caseSensitive);

// NaturalCompare of list[i] and list[j] with letter case ignored.
int NaturalListCompare(const std::vector<std::string>& list, std::size_t i, std::size_t j);

// Puts the port names into natural order, letter case ignored. Names that
// rank equal keep no particular order among themselves.
void SortPorts(std::vector<std::string>& ports);
