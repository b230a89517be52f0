#pragma once
#include <ctime>

// The broken-down local time of a moment, safe to call from any thread.
std::tm LocalTime(std::time_t moment);
