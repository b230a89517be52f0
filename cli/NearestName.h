#pragma once
#include <string>
#include <string_view>
#include <vector>

// The known name closest to a misspelt one ("tiemout" -> "timeout"): the one
// fewest single-letter edits away (a swap of two neighbours counts as one),
// when that is at most a third of the typed name's length, at least one.
// Case is ignored. Empty when no known name is that close.
std::string NearestName(std::string_view typed, const std::vector<std::string>& known);
