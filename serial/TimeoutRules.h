#pragma once
// The port's time-outs turned into deadlines, one rule for every kind of
// device: the meanings the serial drivers of Windows give them.

#include "PortDevice.h"

#include <algorithm>
#include <string>

// A deadline that many milliseconds from now; one beyond what the clock can
// hold means no limit.
[[nodiscard]] Deadline DeadlineIn(std::uint64_t ms);

// What a read of count bytes may wait for:
//  - interval all-ones, total multiplier and constant 0: what is there, at once;
//  - interval and multiplier all-ones, a constant in between: what is there,
//    else the first byte to arrive, else nothing after the constant;
//  - otherwise a total of multiplier x count + constant (none when both are
//    0) and, after the first byte, at most the interval between bytes.
[[nodiscard]] ReadPlan PlanRead(const TimeoutValues& values, int count);
// A write of that many bytes ends after multiplier x bytes + constant (none when both are 0).
[[nodiscard]] Deadline WriteDeadline(const TimeoutValues& values, std::size_t bytes);

// The read loop of every device that waits by itself: take(out, max) appends
// what is there now (at most max bytes) and gives how many bytes left the
// line (a discarded zero byte counts), raising when the line has failed;
// waitUntil(deadline) is false once the deadline has passed with nothing new.
template <class Take, class WaitUntil>
std::string ReadUnderPlan(int count, const ReadPlan& plan, Take take, WaitUntil waitUntil) {
    std::string result;
    if (count <= 0) return result;
    const auto wanted = static_cast<std::size_t>(count);
    result.reserve(wanted);
    PortClock::time_point lastByte{};
    for (;;) {
        if (take(result, wanted - result.size()) > 0) lastByte = PortClock::now();
        if (result.size() >= wanted) break;
        if (plan.Kind == ReadPlan::Mode::FirstArrival && !result.empty()) break;
        Deadline until = plan.Total;
        if (plan.Gap && !result.empty()) {
            const auto byGap = lastByte + *plan.Gap;
            until = until ? std::min(*until, byGap) : byGap;
        }
        if (until && PortClock::now() >= *until) break;
        if (!waitUntil(until)) {
            // One last look: a byte may have come with the deadline.
            if (take(result, wanted - result.size()) > 0) lastByte = PortClock::now();
            break;
        }
    }
    return result;
}
