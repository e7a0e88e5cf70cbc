// http_get against the billing simulator: what goes on the wire, and what comes back.
#include "account/web_fetch.h"
#include "billing_sim.h"
#include "common/heap_text.h"

#if defined(_WIN32)
#include <windows.h>
#include <wininet.h>
#else
#include "memory_probe_posix.h"
#endif

#include <cstdlib>
#include <string>

namespace {
const uint32_t body_length = 0xFFFFFFFF;

#define GOOD "--address 127.0.0.1 --cert good"
#define FILLER "0123456789abcdefghijklmnopqrstuvwxyz\n0123"  // the start of billing_sim.py's --body-size filler
#define DYNAMIC_INFO "%2Fuser%2Fv1%2FgetDynamicInfo%3Ftoken%3D7f3a9c2e51b04d68"

using HttpGet = SimTest;

// Redirects are followed as Wine's WinINet follows them (real Windows may differ); certificate name and
// dates are let pass only when the first URL was https.  HTTPS goes to port 443 whatever the URL names.
TEST_F(HttpGet, RepliesFailuresAndRedirects)
{
    const struct {
        const char* options;  // the simulator's, started again when they change
        const char* url;
        bool null;
        uint32_t status;      // body_length: the body's own, and `body` is a part of it
        std::string body;
    } cases[] = {
        {"--address 127.0.0.25 --fault slow-body --body-size 3000", "https://127.0.0.25/x", false, body_length, FILLER},
        {"--address 127.0.0.26 --fault long-length --body-size 60 --extra 40", "http://127.0.0.26/x", false, 100, FILLER},
#if defined(_WIN32)  // Wine's WinINet reports a reset during the handshake as 12157, a secure channel error
        {"--address 127.0.0.27 --fault tls-reset", "https://127.0.0.27/x", true, FETCH_FAILED, ""},
#else
        {"--address 127.0.0.27 --fault tls-reset", "https://127.0.0.27/x", true, FETCH_TLS_FAILED, ""},
#endif
        {"--address 127.0.0.32 --fault huge-length --huge-length 16777217", "https://127.0.0.32/x", true, FETCH_FAILED, ""},
        {"--address 127.0.0.33 --fault endless --endless-limit 33554432", "http://127.0.0.33/x", true, FETCH_NO_MEMORY, ""},
        {GOOD, "", true, FETCH_FAILED, ""},
        {GOOD, "https:///x", true, FETCH_FAILED, ""},
        {GOOD, "https://127.0.0.1:8443/user/v1/getDynamicInfo?token=7f3a9c2e51b04d68", false, body_length, "<balance>"},
        {GOOD, "https://127.0.0.1/redirect?code=302&to=" DYNAMIC_INFO "&hops=100", false, body_length, "<balance>"},
#if !defined(_WIN32)  // WinINet under Wine follows a redirect loop for ever; this client gives up
        {GOOD, "https://127.0.0.1/redirect?code=302&to=" DYNAMIC_INFO "&hops=101", true, FETCH_FAILED, ""},
#endif
        {GOOD, "https://127.0.0.1/redirect?code=303&to=" DYNAMIC_INFO, false, body_length, "<balance>"},
        {GOOD, "https://127.0.0.1/redirect?code=308&to=" DYNAMIC_INFO, false, body_length, "308 Moved"},
        {GOOD, "https://127.0.0.1/redirect?code=302", false, body_length, "302 Moved"},
        {GOOD, "https://127.0.0.1/user/v1/redirect?code=302&to=getDynamicInfo%3Ftoken%3D7f3a9c2e51b04d68", false,
         body_length, "<balance>"},
#if defined(_WIN32)  // Wine's WinINet follows https to http; Windows' refuses it, and so does this client
        {GOOD, "https://127.0.0.1/redirect?code=302&to=http%3A%2F%2F127.0.0.1" DYNAMIC_INFO, false, body_length, "<balance>"},
#else
        {GOOD, "https://127.0.0.1/redirect?code=302&to=http%3A%2F%2F127.0.0.1" DYNAMIC_INFO, true, FETCH_FAILED, ""},
#endif
        {"--address 127.0.0.1 --cert mismatch", "https://127.0.0.1/redirect?code=302&to=https%3A%2F%2F127.0.0.1" DYNAMIC_INFO,
         false, body_length, "<balance>"},
        {"--address 127.0.0.1 --cert mismatch", "http://127.0.0.1/redirect?code=302&to=https%3A%2F%2F127.0.0.1" DYNAMIC_INFO,
         true, FETCH_FAILED, ""},
    };
#if defined(_WIN32)  // in the process's jar, as an earlier reply would have left it; never sent
    ASSERT_TRUE(InternetSetCookieA("http://127.0.0.1/", "session", "kept"));
#else  // libcurl would obey these; every row goes direct all the same
    setenv("http_proxy", "http://127.0.0.43:80", 1);
    setenv("HTTPS_PROXY", "http://127.0.0.43:80", 1);
    freed_secrets = {"7f3a9c2e51b04d68"};  // the URLs' token
#endif
    std::string options = "none yet";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        if (options != c.options) {
            sim_stop();
            options = c.options;
            ASSERT_TRUE(sim_start(options));
        }
        uint32_t status = 12345;
        char* body = http_get(c.url, &status);
        EXPECT_EQ(c.null, body == nullptr);
        std::string text = body != nullptr ? body : "";
        free_text(body);
        EXPECT_NE(std::string::npos, text.find(c.body)) << text;
        EXPECT_EQ(c.status == body_length ? text.size() : c.status, status);
        std::string log = sim_log();
        int requests = count_of(log, "\"event\": \"request\"");
        EXPECT_EQ(requests, count_of(log, "\"version\": \"HTTP/1.0\", \"headers\": [[\"")) << log;
        EXPECT_EQ(requests, count_of(log, "[\"Connection\", \"Close\"]"));
        EXPECT_EQ(requests, count_of(log, "\"], [\""));  // those two and no other header, not even a cookie
    }
#if !defined(_WIN32)
    EXPECT_EQ(0, freed_holding_secret);
#endif
}
}  // namespace
