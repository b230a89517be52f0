#pragma once
#include <cstdint>

// The main window's connection state. The numbers are shared by the
// scheduler, the link's results and the update window; 1 is not used.
enum class SchedulerState : std::uint8_t {
    Search = 0,
    Stopped = 2,
    ReadConfiguration = 3,
    AutoUpdate = 4,
    ForcedUpdate = 5,
    UpdateFailed = 6,
    Polling = 7,
};
