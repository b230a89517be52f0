// How long a read or a write may take under the port's time-outs, with data
// rows, and a call that waits for another thread in steps.
#include "serial/TimeoutRules.h"
#include "serial/WaitSteps.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using std::chrono::milliseconds;
constexpr std::uint32_t AllOnes = 0xFFFFFFFFu;

// The deadline lies ms after a moment between before and after.
void ExpectIn(const Deadline& deadline, std::optional<int> ms, PortClock::time_point before,
              PortClock::time_point after) {
    ASSERT_EQ(deadline.has_value(), ms.has_value());
    if (!ms) return;
    EXPECT_GE(*deadline, before + milliseconds(*ms));
    EXPECT_LE(*deadline, after + milliseconds(*ms));
}

TEST(TimeoutRules, ReadPlans) {
    using Mode = ReadPlan::Mode;
    struct Row {
        std::uint32_t Interval, Multiplier, Constant;
        int Count;
        Mode Kind;
        std::optional<int> TotalMs;
        std::optional<int> GapMs;
    };
    const Row rows[] = {
        {AllOnes, 0, 0, 5, Mode::Immediate, 0, std::nullopt},                  // the values at creation
        {AllOnes, AllOnes, 150, 1, Mode::FirstArrival, 150, std::nullopt},     // the tool's reads
        {0, 0, 200, 5, Mode::AsSet, 200, std::nullopt},                        // a constant alone
        {0, 10, 0, 4, Mode::AsSet, 40, std::nullopt},                          // per byte alone
        {0, 10, 100, 5, Mode::AsSet, 150, std::nullopt},                       // both
        {50, 0, 0, 3, Mode::AsSet, std::nullopt, 50},                          // between bytes only
        {0, 0, 0, 3, Mode::AsSet, std::nullopt, std::nullopt},                 // no limit at all
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.Interval) + "/" + std::to_string(row.Multiplier) + "/" +
                     std::to_string(row.Constant) + " for " + std::to_string(row.Count));
        TimeoutValues values;
        values.ReadInterval = row.Interval;
        values.ReadTotalMultiplier = row.Multiplier;
        values.ReadTotalConstant = row.Constant;
        const auto before = PortClock::now();
        const ReadPlan plan = PlanRead(values, row.Count);
        const auto after = PortClock::now();
        EXPECT_EQ(plan.Kind, row.Kind);
        ExpectIn(plan.Total, row.TotalMs, before, after);
        EXPECT_EQ(plan.Gap, row.GapMs ? std::optional<milliseconds>(*row.GapMs) : std::nullopt);
    }
}

TEST(TimeoutRules, WriteDeadlines) {
    struct Row {
        std::uint32_t Multiplier, Constant;
        std::size_t Bytes;
        std::optional<int> Ms;
    };
    const Row rows[] = {
        {100, 1000, 10, 2000},  // the tool's: 100 ms a byte and a second
        {0, 1000, 10, 1000},
        {100, 0, 10, 1000},
        {0, 0, 10, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.Multiplier) + "/" + std::to_string(row.Constant));
        TimeoutValues values;
        values.WriteTotalMultiplier = row.Multiplier;
        values.WriteTotalConstant = row.Constant;
        const auto before = PortClock::now();
        const Deadline deadline = WriteDeadline(values, row.Bytes);
        ExpectIn(deadline, row.Ms, before, PortClock::now());
    }
}

// The name lookup runs aside; with no thread to be had it runs here, on the
// very host it was given.
TEST(CallWithin, GivesTheWorksResultWithOrWithoutAThreadOfItsOwn) {
    const StartThread noThread = [](std::function<void()>) {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    const StartThread starts[] = {StartDetached, noThread};
    for (const StartThread start : starts) {
        WaitSteps steps(PortClock::now() + std::chrono::seconds(30), nullptr);
        std::string host = "rack-pc";  // not const: a copy that is moved from is emptied
        const std::optional<std::string> result =
            CallWithin<std::string>([host] { return "looked up " + host; }, steps, start);
        EXPECT_EQ(result, "looked up rack-pc");
    }
}

}  // namespace
