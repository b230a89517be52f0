#include "TimeoutRules.h"

namespace {
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;
}

Deadline DeadlineIn(std::uint64_t ms) {
    constexpr std::uint64_t kNoLimit = 1ull << 40;  // about 35 years
    if (ms >= kNoLimit) return std::nullopt;
    return PortClock::now() + std::chrono::milliseconds(ms);
}

ReadPlan PlanRead(const TimeoutValues& values, int count) {
    ReadPlan plan;
    plan.Values = values;
    const std::uint32_t interval = values.ReadInterval;
    const std::uint32_t multiplier = values.ReadTotalMultiplier;
    const std::uint32_t constant = values.ReadTotalConstant;
    if (interval == kAllOnes && multiplier == 0 && constant == 0) {
        plan.Kind = ReadPlan::Mode::Immediate;
        plan.Total = PortClock::now();
    } else if (interval == kAllOnes && multiplier == kAllOnes && constant > 0 && constant < kAllOnes) {
        plan.Kind = ReadPlan::Mode::FirstArrival;
        plan.Total = DeadlineIn(constant);
    } else {
        plan.Kind = ReadPlan::Mode::AsSet;
        if (multiplier != 0 || constant != 0)
            plan.Total = DeadlineIn(std::uint64_t{multiplier} * static_cast<std::uint64_t>(std::max(count, 0)) + constant);
        if (interval != 0 && interval != kAllOnes) plan.Gap = std::chrono::milliseconds(interval);
    }
    return plan;
}

Deadline WriteDeadline(const TimeoutValues& values, std::size_t bytes) {
    if (values.WriteTotalMultiplier == 0 && values.WriteTotalConstant == 0) return std::nullopt;
    return DeadlineIn(std::uint64_t{values.WriteTotalMultiplier} * bytes + values.WriteTotalConstant);
}
