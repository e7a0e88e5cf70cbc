// http_get through Wine's WinINet against the billing simulator.
#include "account/web_fetch.h"
#include "billing_sim_win.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// The filler that billing_sim.py sends for --body-size.
std::string filler(size_t size)
{
    const std::string pattern = "0123456789abcdefghijklmnopqrstuvwxyz\n";
    std::string text;
    while (text.size() < size) {
        text += pattern;
    }
    return text.substr(0, size);
}

struct Fetched {
    bool null;
    std::string body;
    uint32_t status;
};

Fetched get(const std::string& url)
{
    Fetched result;
    result.status = 12345;
    char* body = http_get(url.c_str(), &result.status);
    result.null = body == nullptr;
    if (body != nullptr) {
        result.body = body;
    }
    free_text(body);
    return result;
}

class WebFetch : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sim_namespace()) {
            GTEST_SKIP() << "needs the test network namespace (TARVELON_TEST_NETNS=1)";
        }
    }
    void TearDown() override
    {
        if (started_) {
            sim_stop(sim_);
        }
    }
    // One simulator per test, each on its own address.
    void start(const char* name, const std::string& address, const std::string& options)
    {
        sim_ = sim_start(name, "--address " + address + " " + options);
        started_ = true;
        ASSERT_TRUE(sim_.ready) << "billing simulator did not start";
    }
    SimRun sim_;
    bool started_ = false;
};

TEST(WebFetchStatus, OnlyRefusedOrResetHttpsMeansTlsFailed)
{
    EXPECT_EQ(FETCH_TLS_FAILED, send_failure_status(true, 12029));
    EXPECT_EQ(FETCH_TLS_FAILED, send_failure_status(true, 12031));
    EXPECT_EQ(FETCH_FAILED, send_failure_status(true, 12045));
    EXPECT_EQ(FETCH_FAILED, send_failure_status(true, 12157));
    EXPECT_EQ(FETCH_FAILED, send_failure_status(false, 12029));
    EXPECT_EQ(FETCH_FAILED, send_failure_status(false, 12031));
}

TEST_F(WebFetch, RequestGoesOutAsHttp10ToPort443WithOnlyConnectionClose)
{
    start("wf_request", "127.0.0.21", "--http-port 0");
    Fetched reply = get("https://127.0.0.21:8443/user/v1/login?userName=1234567&password=ab%2Bc");
    ASSERT_FALSE(reply.null);
    EXPECT_EQ(reply.body.size(), reply.status);
    EXPECT_NE(std::string::npos, reply.body.find("<error>"));

    std::string log = sim_log(sim_);
    EXPECT_NE(std::string::npos,
              log.find("\"request_line\": \"GET /user/v1/login?userName=1234567&password=ab%2Bc HTTP/1.0\""))
        << log;
    EXPECT_NE(std::string::npos, log.find("\"port\": 443"));
    EXPECT_NE(std::string::npos, log.find("[\"Connection\", \"Close\"]")) << log;
    EXPECT_EQ(std::string::npos, log.find("User-Agent")) << log;
    EXPECT_EQ(std::string::npos, log.find("Cookie")) << log;
}

TEST_F(WebFetch, UrlWithoutHttpSchemeOrPathSendsNothing)
{
    start("wf_nothing", "127.0.0.22", "");
    for (const char* url : {"ftp://127.0.0.22/user/v1/", "https://127.0.0.22", "", "127.0.0.22/x"}) {
        Fetched reply = get(url);
        EXPECT_TRUE(reply.null) << url;
        EXPECT_EQ(FETCH_FAILED, reply.status) << url;
    }
    EXPECT_EQ("", sim_log(sim_));
}

TEST_F(WebFetch, ContentLengthZeroGivesEmptyText)
{
    start("wf_empty", "127.0.0.23", "--body-size 0");
    Fetched reply = get("https://127.0.0.23/x");
    EXPECT_FALSE(reply.null);
    EXPECT_EQ("", reply.body);
    EXPECT_EQ(0u, reply.status);
}

TEST_F(WebFetch, BodyWithoutLengthComesBackWhole)
{
    start("wf_nolength", "127.0.0.24", "--fault no-length --body-size 2500");
    Fetched reply = get("https://127.0.0.24/x");
    ASSERT_FALSE(reply.null);
    EXPECT_EQ(2500u, reply.status);
    EXPECT_EQ(filler(2500), reply.body);
}

TEST_F(WebFetch, ErrorPagesAreReturnedLikeReplies)
{
    start("wf_404", "127.0.0.25", "--fault status-404");
    Fetched reply = get("http://127.0.0.25/user/v1/login?userName=1&password=2");
    ASSERT_FALSE(reply.null);
    EXPECT_NE(std::string::npos, reply.body.find("Not Found"));
    EXPECT_EQ(reply.body.size(), reply.status);
}

TEST_F(WebFetch, RefusedHttpsIsTlsFailureAndRefusedHttpIsNot)
{
    Fetched secure = get("https://127.0.0.26/user/v1/");
    EXPECT_TRUE(secure.null);
    EXPECT_EQ(FETCH_TLS_FAILED, secure.status);
    Fetched plain = get("http://127.0.0.26/user/v1/");
    EXPECT_TRUE(plain.null);
    EXPECT_EQ(FETCH_FAILED, plain.status);
}

TEST_F(WebFetch, UntrustedIssuerFails)
{
    start("wf_untrusted", "127.0.0.27", "--cert untrusted");
    Fetched reply = get("https://127.0.0.27/x");
    EXPECT_TRUE(reply.null);
    EXPECT_EQ(FETCH_FAILED, reply.status);
}

TEST_F(WebFetch, NameMismatchIsAccepted)
{
    start("wf_mismatch", "127.0.0.28", "--cert mismatch");
    Fetched reply = get("https://127.0.0.28/x");
    EXPECT_FALSE(reply.null);
    EXPECT_NE(std::string::npos, reply.body.find("Not Found"));
}

TEST_F(WebFetch, ExpiredCertificateIsAccepted)
{
    start("wf_expired", "127.0.0.29", "--cert expired");
    Fetched reply = get("https://127.0.0.29/x");
    EXPECT_FALSE(reply.null);
    EXPECT_NE(std::string::npos, reply.body.find("Not Found"));
}

// Wine reports a reset during the handshake as 12157, which is not a refusal.
TEST_F(WebFetch, ResetDuringHandshakeFails)
{
    start("wf_reset", "127.0.0.30", "--fault tls-reset");
    Fetched reply = get("https://127.0.0.30/x");
    EXPECT_TRUE(reply.null);
    EXPECT_EQ(FETCH_FAILED, reply.status);
}

// Announced lengths that wrap round or pass the cap never size a buffer.
TEST_F(WebFetch, ContentLengthOverTheCapFails)
{
    start("wf_huge", "127.0.0.31", "--fault huge-length");
    Fetched wrapping = get("https://127.0.0.31/x");
    EXPECT_TRUE(wrapping.null);
    EXPECT_EQ(FETCH_FAILED, wrapping.status);
}

TEST_F(WebFetch, ContentLengthJustOverTheCapFails)
{
    start("wf_overcap", "127.0.0.31", "--fault huge-length --huge-length 16777217");
    Fetched reply = get("https://127.0.0.31/x");
    EXPECT_TRUE(reply.null);
    EXPECT_EQ(FETCH_FAILED, reply.status);
}

// A body that arrives in pieces is read until its announced length is filled.
TEST_F(WebFetch, SlowBodyIsReadWhole)
{
    start("wf_slow", "127.0.0.32", "--fault slow-body --body-size 3000");
    Fetched reply = get("https://127.0.0.32/x");
    ASSERT_FALSE(reply.null);
    EXPECT_EQ(3000u, reply.status);
    EXPECT_EQ(filler(3000), reply.body);
}

TEST_F(WebFetch, ShortBodyKeepsItsBytesAndTheAnnouncedLength)
{
    start("wf_short", "127.0.0.33", "--fault long-length --body-size 60 --extra 40");
    Fetched reply = get("http://127.0.0.33/x");
    ASSERT_FALSE(reply.null);
    EXPECT_EQ(100u, reply.status);
    EXPECT_EQ(filler(60), reply.body);
}

TEST_F(WebFetch, EndlessBodyStopsAtTheCap)
{
    start("wf_endless", "127.0.0.34", "--fault endless --endless-limit 33554432");
    Fetched reply = get("http://127.0.0.34/x");
    EXPECT_TRUE(reply.null);
    EXPECT_EQ(FETCH_NO_MEMORY, reply.status);
}
}  // namespace
