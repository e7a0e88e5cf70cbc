// The retry rule of the tray calls over a scripted clock.
#include "shell/tray_icon.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Each shell call lasts the next of `durations`; the clock starts at `start`.
// Every repeat hands over the same operation and record.
std::vector<uint32_t> durations;
uint32_t clock_now;
unsigned calls;
std::vector<unsigned> operations;
TrayRecord* last_record;

uint32_t scripted_ticks()
{
    return clock_now;
}

void scripted_call(unsigned operation, TrayRecord* record)
{
    operations.push_back(operation);
    last_record = record;
    clock_now += calls < durations.size() ? durations[calls] : 0;
    ++calls;
}

unsigned run(std::vector<uint32_t> script, uint32_t start = 1000)
{
    durations = script;
    clock_now = start;
    calls = 0;
    operations.clear();
    static TrayRecord record;
    repeat_slow_calls(TRAY_MODIFY, &record, scripted_call, scripted_ticks);
    EXPECT_EQ(last_record, &record);
    EXPECT_EQ(operations, std::vector<unsigned>(calls, TRAY_MODIFY));
    return calls;
}
}  // namespace

TEST(TrayRetry, ThreeSecondsIsNotSlowOneMoreIs)
{
    EXPECT_EQ(run({0}), 1u);
    EXPECT_EQ(run({3000}), 1u);
    EXPECT_EQ(run({3001, 0}), 2u);
    EXPECT_EQ(run({3001, 3000}), 2u);
    EXPECT_EQ(run({5000, 4000, 12}), 3u);
}

TEST(TrayRetry, TwentiethSlowCallEndsTheSequence)
{
    EXPECT_EQ(run(std::vector<uint32_t>(19, 3001)), 20u);  // the 20th returns at once
    EXPECT_EQ(run(std::vector<uint32_t>(20, 3001)), 20u);
    EXPECT_EQ(run(std::vector<uint32_t>(40, 60000)), 20u);
}

TEST(TrayRetry, WrapOfTheTickCountIsMeasuredRight)
{
    // 100 ms across the wrap: fast, not 4294967196 ms.
    EXPECT_EQ(run({100}, 0xFFFFFFC0u), 1u);
    // 3001 ms across the wrap: slow, so repeated.
    EXPECT_EQ(run({3001, 0}, 0xFFFFFF00u), 2u);
    // Ending exactly on the wrap.
    EXPECT_EQ(run({3000}, 0xFFFFFFFFu - 2999), 1u);
}
