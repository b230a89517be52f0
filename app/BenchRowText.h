#pragma once
// The texts of a bench row's cells, as the person reads them.

#include "link/BoxMonitor.h"

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// The number of codes, then the codes: "2: P0301 P0420".
QString CodesText(const std::vector<std::uint16_t>& codes);
// What the box's monitor last saw: "ready", "gone", "in use", ...
QString StateText(const BoxView& view);
// What more there is to say about that state (the way out of "no
// permission"); empty when nothing.
QString StateTip(const BoxView& view);

// How a state looks: each a colour and an icon, so that colour is never the
// only cue.
enum class StateLook { Waiting, Ready, UpdateDue, Busy, Lost, Trouble };
StateLook LookOf(const BoxView& view, bool busy);

// The columns' titles, in the table's order.
extern const std::array<const char*, 10> BenchColumnTitles;
