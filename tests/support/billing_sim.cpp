// The simulator's run directory and log; billing_sim_*.cpp run its script.
#include "billing_sim.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {
std::string run_dir;  // as the simulator sees it

std::string script_line(const std::string& arguments)
{
    const char* source = getenv("TARVELON_SOURCE_DIR");
    return std::string(source != nullptr ? source : ".") + "/tools/billing_sim/sim.sh " + arguments;
}
}  // namespace

bool sim_start(const std::string& options)
{
    const char* build = getenv("TARVELON_BUILD_DIR");
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    run_dir = std::string(build != nullptr ? build : ".") + "/sim/" + test->test_suite_name() + "." + test->name();
    return sim_run(script_line("start " + run_dir + " " + options), run_dir + "/ready", true);
}

void sim_stop()
{
    if (!run_dir.empty()) {
        EXPECT_TRUE(sim_run(script_line("stop " + run_dir), run_dir + "/pid", false));
        run_dir.clear();
    }
}

std::string sim_log()
{
    std::ifstream file(sim_root + run_dir + "/requests.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
