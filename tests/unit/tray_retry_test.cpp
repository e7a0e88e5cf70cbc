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

// How many times a TRAY_MODIFY went to the shell, starting at tick `start`.
size_t calls(const std::vector<uint32_t>& lasting, uint32_t start)
{
    durations = lasting;
    clock_now = start;
    operations.clear();
    repeat_slow_calls(TRAY_MODIFY, &record, scripted_call, [] { return clock_now; });
    EXPECT_EQ(operations, std::vector<unsigned>(operations.size(), TRAY_MODIFY));
    return operations.size();
}

TEST(TrayRetry, CallsOver3000MsAreRepeatedUpTo20Times)
{
    EXPECT_EQ(calls({3000}, 1000), 1u);
    EXPECT_EQ(calls({3001, 0}, 0xFFFFFF00u), 2u);  // measured across the wrap of the tick count
    EXPECT_EQ(calls(std::vector<uint32_t>(20, 3001), 1000), 20u);
}
}  // namespace
