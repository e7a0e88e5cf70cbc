#include "shell/tray_icon.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Each shell call lasts the next of `durations` (then 0 ms).
std::vector<uint32_t> durations;
uint32_t clock_now;
std::vector<unsigned> operations;
TrayRecord record;

void scripted_call(unsigned operation, TrayRecord* given)
{
    clock_now += operations.size() < durations.size() ? durations[operations.size()] : 0;
    operations.push_back(given == &record ? operation : ~0u);  // ~0: another record
}

// Durations are measured across the wrap of the tick count.
TEST(TrayRetry, SlowCallsAreRepeatedUpTo20Times)
{
    const struct {
        std::vector<uint32_t> durations;
        uint32_t start;
        unsigned calls;
    } cases[] = {
        {{3000}, 1000, 1},
        {{3001, 0}, 1000, 2},
        {std::vector<uint32_t>(19, 3001), 1000, 20},  // the 20th returns at once
        {std::vector<uint32_t>(20, 3001), 1000, 20},
        {{100}, 0xFFFFFFC0u, 1},
        {{3001, 0}, 0xFFFFFF00u, 2},
        {{3000}, 0xFFFFFFFFu - 2999, 1},  // ending exactly on the wrap
    };
    for (const auto& c : cases) {
        durations = c.durations;
        clock_now = c.start;
        operations.clear();
        repeat_slow_calls(TRAY_MODIFY, &record, scripted_call, [] { return clock_now; });
        EXPECT_EQ(operations, std::vector<unsigned>(c.calls, TRAY_MODIFY)) << c.durations[0] << " from " << c.start;
    }
}
}  // namespace
