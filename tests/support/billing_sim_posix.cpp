#include "billing_sim.h"

#include <cstdlib>

// exec: the shell gives way, so that the simulator's owner is this process also outside ctest.
bool sim_run(const std::string& line, const std::string&, bool)
{
    return system(("exec " + line).c_str()) == 0;
}

const char sim_root[] = "";
