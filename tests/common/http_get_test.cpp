// http_get against the billing simulator: what goes on the wire, and the reply
// bodies, lengths and failure codes that come back.
#include "account/web_fetch.h"
#include "billing_sim.h"
#include "common/heap_text.h"

#include <string>

namespace {
struct Fetched {
    bool null;
    std::string body;
    uint32_t status;
};

Fetched get(const std::string& url)
{
    Fetched result = {true, "", 12345};
    char* body = http_get(url.c_str(), &result.status);
    result.null = body == nullptr;
    result.body = body == nullptr ? "" : body;
    free_text(body);
    return result;
}

// The filler that billing_sim.py sends for --body-size.
std::string filler(size_t size)
{
    std::string text;
    while (text.size() < size) {
        text += "0123456789abcdefghijklmnopqrstuvwxyz\n";
    }
    return text.substr(0, size);
}

using HttpGet = SimTest;

TEST_F(HttpGet, RequestGoesOutAsHttp10ToPort443WithOnlyConnectionClose)
{
    ASSERT_TRUE(sim_start("--address 127.0.0.21 --http-port 0"));
    Fetched reply = get("https://127.0.0.21:8443/user/v1/login?userName=1234567&password=ab%2Bc");
    ASSERT_FALSE(reply.null);
    EXPECT_EQ(reply.body.size(), reply.status);
    std::string log = sim_log();
    EXPECT_EQ(1, count_of(log, "\"request_line\": \"GET /user/v1/login?userName=1234567&password=ab%2Bc HTTP/1.0\""))
        << log;
    EXPECT_EQ(1, count_of(log, "\"port\": 443"));
    EXPECT_EQ(1, count_of(log, "[\"Connection\", \"Close\"]")) << log;
    EXPECT_EQ(0, count_of(log, "User-Agent")) << log;
    EXPECT_EQ(0, count_of(log, "Cookie")) << log;
}

TEST_F(HttpGet, UrlWithoutHttpSchemeOrPathSendsNothing)
{
    ASSERT_TRUE(sim_start("--address 127.0.0.22"));
    for (const char* url : {"ftp://127.0.0.22/user/v1/", "https://127.0.0.22", "",
                            "127.0.0.22/x", "https:///x"}) {
        Fetched reply = get(url);
        EXPECT_TRUE(reply.null) << url;
        EXPECT_EQ(FETCH_FAILED, reply.status) << url;
    }
    EXPECT_EQ("", sim_log());
}

struct Case {
    const char* options;  // null: nothing listens
    const char* url;
    bool null;
    uint32_t status;
    int filler;  // the body is this much filler; -1: any body
};

// A reset during the TLS handshake: Wine's WinINet reports it as 12157 (secure
// channel error), not as one of the two codes that mean refused or reset.
#if defined(_WIN32)
const uint32_t handshake_reset_status = FETCH_FAILED;
#else
const uint32_t handshake_reset_status = FETCH_TLS_FAILED;
#endif

// Announced lengths that wrap round or pass the 16 MiB cap never size a buffer;
// a body without length may not pass it either.
const Case cases[] = {
    {"--address 127.0.0.23 --body-size 0", "https://127.0.0.23/x", false, 0, 0},
    {"--address 127.0.0.24 --fault no-length --body-size 2500", "https://127.0.0.24/x", false, 2500, 2500},
    {"--address 127.0.0.25 --fault slow-body --body-size 3000", "https://127.0.0.25/x", false, 3000, 3000},
    {"--address 127.0.0.26 --fault long-length --body-size 60 --extra 40", "http://127.0.0.26/x", false, 100, 60},
    {"--address 127.0.0.27 --fault status-404", "http://127.0.0.27/user/v1/login?userName=1&password=2", false, 0, -1},
    {"--address 127.0.0.27 --fault status-500 --body-size 70", "https://127.0.0.27/x", false, 70, 70},
    {"--address 127.0.0.27 --fault tls-reset", "https://127.0.0.27/x", true, handshake_reset_status, 0},
    {"--address 127.0.0.28 --cert mismatch", "https://127.0.0.28/x", false, 0, -1},
    {"--address 127.0.0.29 --cert expired", "https://127.0.0.29/x", false, 0, -1},
    {"--address 127.0.0.30 --cert untrusted", "https://127.0.0.30/x", true, FETCH_FAILED, 0},
    {"--address 127.0.0.31 --fault huge-length", "https://127.0.0.31/x", true, FETCH_FAILED, 0},
    {"--address 127.0.0.32 --fault huge-length --huge-length 16777217", "https://127.0.0.32/x", true, FETCH_FAILED, 0},
    {"--address 127.0.0.33 --fault endless --endless-limit 33554432", "http://127.0.0.33/x", true, FETCH_NO_MEMORY, 0},
    {nullptr, "https://127.0.0.34/user/v1/", true, FETCH_TLS_FAILED, 0},
    {nullptr, "http://127.0.0.34/user/v1/", true, FETCH_FAILED, 0},
};

TEST_F(HttpGet, RepliesAndFailures)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options != nullptr ? c.options : c.url);
        sim_stop();
        ASSERT_TRUE(c.options == nullptr || sim_start(c.options));
        Fetched reply = get(c.url);
        EXPECT_EQ(c.null, reply.null);
        if (c.filler >= 0) {
            EXPECT_EQ(filler(c.filler), reply.body);
        } else {
            EXPECT_NE(std::string::npos, reply.body.find("Not Found"));
        }
        EXPECT_EQ(c.filler < 0 ? reply.body.size() : c.status, reply.status);
    }
}

// Redirects are followed as WinINet follows them (measured under Wine, whose
// WinINet has no limit on hops; real Windows may differ): 301, 302, 303 and 307,
// to a relative or absolute Location, across schemes, to the port the Location
// names; certificate name and dates are let pass only when the first URL was
// https.  Every hop goes out as HTTP/1.0 with only Host and Connection: Close.
struct Redirect {
    const char* cert;
    const char* url;
    bool null;
    uint32_t status;
    const char* body;  // a part of it
};

#define DYNAMIC_INFO "%2Fuser%2Fv1%2FgetDynamicInfo%3Ftoken%3D7f3a9c2e51b04d68"
const Redirect redirects[] = {
    {"good", "https://127.0.0.1/redirect?code=301&to=" DYNAMIC_INFO, false, 0, "<balance>"},
    {"good", "https://127.0.0.1/redirect?code=302&to=" DYNAMIC_INFO "&hops=100", false, 0, "<balance>"},
    {"good", "https://127.0.0.1/redirect?code=303&to=" DYNAMIC_INFO, false, 0, "<balance>"},
    {"good", "http://127.0.0.1/redirect?code=307&to=" DYNAMIC_INFO, false, 0, "<balance>"},
    {"good", "https://127.0.0.1/redirect?code=308&to=" DYNAMIC_INFO, false, 0, "308 Moved"},
    {"good", "https://127.0.0.1/redirect?code=302", false, 0, "302 Moved"},
    {"good", "https://127.0.0.1/user/v1/redirect?code=302&to=getDynamicInfo%3Ftoken%3D7f3a9c2e51b04d68", false, 0, "<balance>"},
    {"good", "https://127.0.0.1/redirect?code=302&to=http%3A%2F%2F127.0.0.1" DYNAMIC_INFO, false, 0, "<balance>"},
    // Wine matches no certificate name against an address: a host name here.
    {"good", "http://127.0.0.1/redirect?code=302&to=https%3A%2F%2Flocalhost" DYNAMIC_INFO, false, 0, "<balance>"},
    {"good", "https://127.0.0.1/redirect?code=302&to=https%3A%2F%2F127.0.0.1%3A8443" DYNAMIC_INFO, true, FETCH_TLS_FAILED, ""},
    {"mismatch", "https://127.0.0.1/redirect?code=302&to=https%3A%2F%2F127.0.0.1" DYNAMIC_INFO, false, 0, "<balance>"},
    {"mismatch", "http://127.0.0.1/redirect?code=302&to=https%3A%2F%2F127.0.0.1" DYNAMIC_INFO, true, FETCH_FAILED, ""},
};

TEST_F(HttpGet, FollowsRedirectsAsWinInetDoes)
{
    std::string cert;
    for (const Redirect& r : redirects) {
        SCOPED_TRACE(r.url);
        if (cert != r.cert) {
            sim_stop();
            cert = r.cert;
            ASSERT_TRUE(sim_start("--address 127.0.0.1 --cert " + cert));
        }
        Fetched reply = get(r.url);
        EXPECT_EQ(r.null, reply.null);
        EXPECT_NE(std::string::npos, reply.body.find(r.body)) << reply.body;
        EXPECT_EQ(r.null ? r.status : reply.body.size(), reply.status);
        std::string log = sim_log();
        int requests = count_of(log, "\"event\": \"request\"");
        EXPECT_EQ(requests, count_of(log, "\"version\": \"HTTP/1.0\", \"headers\": [[\"")) << log;
        EXPECT_EQ(requests, count_of(log, "[\"Connection\", \"Close\"]"));
        EXPECT_EQ(requests, count_of(log, "[\"Host\", \""));
        EXPECT_EQ(requests, count_of(log, "\"], [\""));  // those two and no other header
    }
}
}  // namespace
