#pragma once
// The texts of a bench row's cells, as the person reads them.

#include "link/BoxMonitor.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// The number of codes, then the codes: "2: P0301 P0420".
QString CodesText(const std::vector<std::uint16_t>& codes);
// What the box's monitor last saw: "ready", "gone", "failed: TEXT", ...
QString StateText(const BoxView& view);
// The columns' titles, in the table's order.
extern const std::array<const char*, 9> BenchColumnTitles;
