#include "billing_sim.h"

#include "common/app_state.h"

#include <cstdlib>

bool in_test_namespace()
{
    const char* netns = getenv("TARVELON_TEST_NETNS");
    return netns != nullptr && std::string(netns) == "1";
}

bool credentials_wiped()
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&app_state.credentials);
    for (size_t i = 0; i < sizeof app_state.credentials; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}
