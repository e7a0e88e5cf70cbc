// The billing simulator (tools/billing_sim) for tests on either platform, inside the test network namespace.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

// Starts the simulator with billing_sim.py `options` (UTF-8, Windows-quoted);
// its run directory is named after the current test.  False if it never got ready.
bool sim_start(const std::string& options);
void sim_stop();

// The request log so far: one JSON line per request.
std::string sim_log();

// Per platform: runs sim.sh's command `line` until `awaited` (a file of the run directory) is `present` or not.
bool sim_run(const std::string& line, const std::string& awaited, bool present);
extern const char sim_root[];  // the simulator's "/" as this program names it

class SimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* netns = getenv("TARVELON_TEST_NETNS");
        if (netns == nullptr || std::string(netns) != "1") {
            GTEST_SKIP() << "needs the test network namespace (TARVELON_TEST_NETNS=1)";
        }
    }
    void TearDown() override { sim_stop(); }
};

inline int count_of(const std::string& text, const std::string& part)
{
    int count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}
