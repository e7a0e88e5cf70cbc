#include "billing_sim.h"

#include <cstdlib>
#include <fstream>

namespace {
std::string run_dir;

std::string sim_script()
{
    const char* source = getenv("TARVELON_SOURCE_DIR");
    // exec: the shell gives way, so that the simulator's owner is this process also outside ctest.
    return "exec " + std::string(source != nullptr ? source : ".") + "/tools/billing_sim/sim.sh ";
}
}  // namespace

bool sim_start(const std::string& options)
{
    const char* build = getenv("TARVELON_BUILD_DIR");
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    run_dir = std::string(build != nullptr ? build : ".") + "/sim/" + test->test_suite_name() + "." + test->name();
    return system((sim_script() + "start " + run_dir + " " + options).c_str()) == 0;
}

void sim_stop()
{
    if (!run_dir.empty()) {
        EXPECT_EQ(0, system((sim_script() + "stop " + run_dir).c_str()));
        run_dir.clear();
    }
}

std::string sim_log()
{
    std::ifstream file(run_dir + "/requests.log", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}
