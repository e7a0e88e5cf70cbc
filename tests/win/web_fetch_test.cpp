// What WinINet alone decides: the cookies it would keep.
#include "account/web_fetch.h"
#include "billing_sim.h"
#include "common/heap_text.h"

#include <windows.h>
#include <wininet.h>

using WebFetch = SimTest;

// A cookie in the process's jar, as an earlier reply would have left it.
TEST_F(WebFetch, NoCookieIsSent)
{
    ASSERT_TRUE(sim_start("--address 127.0.0.1"));
    ASSERT_TRUE(InternetSetCookieA("http://127.0.0.1/", "session", "kept"));
    uint32_t status = 0;
    free_text(http_get("http://127.0.0.1/user/v1/", &status));
    std::string log = sim_log();
    EXPECT_EQ(1, count_of(log, "\"event\": \"request\"")) << log;
    EXPECT_EQ(0, count_of(log, "session=kept")) << log;
}
