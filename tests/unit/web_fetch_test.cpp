// The Linux client alone: libcurl's proxy variables and its redirect bound.
#include "account/web_fetch.h"
#include "billing_sim.h"
#include "common/heap_text.h"

#include <cstdlib>

namespace {
using HttpGetProxy = SimTest;

// WinINet under Wine follows a redirect loop for ever; this client gives up.
TEST_F(HttpGetProxy, ProxyVariablesAreIgnoredAndARedirectLoopEndsAfter100Hops)
{
    ASSERT_TRUE(sim_start("--address 127.0.0.42 --https-port 0"));
    setenv("http_proxy", "http://127.0.0.43:80", 1);
    setenv("HTTPS_PROXY", "http://127.0.0.43:80", 1);
    uint32_t status = 0;
    char* body = http_get("http://127.0.0.42/x", &status);
    unsetenv("http_proxy");
    unsetenv("HTTPS_PROXY");
    EXPECT_NE(nullptr, body);
    free_text(body);
    EXPECT_EQ(1, count_of(sim_log(), "\"request_line\": \"GET /x HTTP/1.0\""));
    EXPECT_EQ(nullptr, http_get("http://127.0.0.42/redirect?code=302&to=%2Fx&hops=101", &status));
    EXPECT_EQ(FETCH_FAILED, status);
    EXPECT_EQ(102, count_of(sim_log(), "\"event\": \"request\""));
}
}  // namespace
