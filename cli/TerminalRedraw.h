#pragma once
#include <cstdio>

// Whether lines written to out can be redrawn in place with the terminal's
// cursor controls: out is a terminal that understands them (on Windows, a
// console switched to them here).
bool CanRedrawInPlace(std::FILE* out);
