// The body reader shared by both clients, and the Linux http_get on the wire.
#include "account/web_fetch.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {
// A source that delivers its bytes in the given piece sizes, then nothing.
struct FakeSource {
    std::string data;
    std::vector<uint32_t> pieces;
    size_t offset = 0;
    size_t next_piece = 0;
    uint32_t largest_request = 0;
    int reads = 0;
};

uint32_t fake_read(void* context, char* buffer, uint32_t size)
{
    FakeSource* source = static_cast<FakeSource*>(context);
    ++source->reads;
    source->largest_request = size > source->largest_request ? size : source->largest_request;
    uint32_t piece = source->next_piece < source->pieces.size() ? source->pieces[source->next_piece++] : 4096;
    size_t left = source->data.size() - source->offset;
    uint32_t count = piece < size ? piece : size;
    count = count < left ? count : static_cast<uint32_t>(left);
    memcpy(buffer, source->data.data() + source->offset, count);
    source->offset += count;
    return count;
}

struct Body {
    bool null;
    std::string text;
    uint32_t status;
};

Body read_all(FakeSource* source, const uint64_t* content_length)
{
    BodyReader reader;
    body_start(&reader, content_length);
    pull_body(&reader, fake_read, source);
    Body body;
    char* text = body_finish(&reader, &body.status);
    body.null = text == nullptr;
    body.text = text == nullptr ? "" : text;
    free_text(text);
    return body;
}

std::string pattern(size_t size)
{
    std::string text(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        text[i] = static_cast<char>('a' + i % 26);
    }
    return text;
}

TEST(BodyReader, AnnouncedLengthIsReadUntilFilledAcrossShortReads)
{
    FakeSource source;
    source.data = pattern(3000);
    source.pieces = {60, 1, 900};
    uint64_t length = 3000;
    Body body = read_all(&source, &length);
    EXPECT_EQ(source.data, body.text);
    EXPECT_EQ(3000u, body.status);
    EXPECT_EQ(3000u, source.largest_request);  // the first read asks for all of it
}

TEST(BodyReader, ShortBodyKeepsItsBytesAndTheAnnouncedLength)
{
    FakeSource source;
    source.data = pattern(60);
    uint64_t length = 100;
    Body body = read_all(&source, &length);
    EXPECT_FALSE(body.null);
    EXPECT_EQ(source.data, body.text);
    EXPECT_EQ(100u, body.status);
}

TEST(BodyReader, ContentLengthZeroGivesEmptyTextWithoutReading)
{
    FakeSource source;
    source.data = "ignored";
    uint64_t length = 0;
    Body body = read_all(&source, &length);
    EXPECT_FALSE(body.null);
    EXPECT_EQ("", body.text);
    EXPECT_EQ(0u, body.status);
    EXPECT_EQ(0, source.reads);
}

TEST(BodyReader, LengthThatWrapsOrPassesTheCapIsRefusedBeforeReading)
{
    for (uint64_t length : {uint64_t{4294967295u}, uint64_t{max_body_size} + 1, uint64_t{1} << 40}) {
        FakeSource source;
        source.data = "x";
        Body body = read_all(&source, &length);
        EXPECT_TRUE(body.null) << length;
        EXPECT_EQ(FETCH_FAILED, body.status) << length;
        EXPECT_EQ(0, source.reads) << length;
    }
}

TEST(BodyReader, BodyWithoutLengthIsReadInChunksOfAtMost1024)
{
    FakeSource source;
    source.data = pattern(2500);
    source.pieces = {1024, 7, 1024, 1024};
    Body body = read_all(&source, nullptr);
    EXPECT_EQ(source.data, body.text);
    EXPECT_EQ(2500u, body.status);
    EXPECT_EQ(1024u, source.largest_request);
}

TEST(BodyReader, BodyWithoutLengthThatYieldsNothingIsNull)
{
    FakeSource source;
    Body body = read_all(&source, nullptr);
    EXPECT_TRUE(body.null);
    EXPECT_EQ(FETCH_FAILED, body.status);
}

TEST(BodyReader, BodyWithoutLengthMayReachTheCapButNotPassIt)
{
    FakeSource at_cap;
    at_cap.data = std::string(max_body_size, 'z');
    Body body = read_all(&at_cap, nullptr);
    EXPECT_FALSE(body.null);
    EXPECT_EQ(max_body_size, body.status);
    EXPECT_EQ(at_cap.data.size(), body.text.size());

    FakeSource over;
    over.data = std::string(max_body_size + 1, 'z');
    body = read_all(&over, nullptr);
    EXPECT_TRUE(body.null);
    EXPECT_EQ(FETCH_NO_MEMORY, body.status);
}

TEST(BodyReader, PushedBytesBeyondTheAnnouncedLengthAreDropped)
{
    BodyReader reader;
    uint64_t length = 5;
    body_start(&reader, &length);
    EXPECT_TRUE(push_body(&reader, "abc", 3));
    EXPECT_TRUE(push_body(&reader, "defgh", 5));
    uint32_t status = 0;
    char* text = body_finish(&reader, &status);
    ASSERT_NE(nullptr, text);
    EXPECT_STREQ("abcde", text);
    EXPECT_EQ(5u, status);
    free_text(text);
}

TEST(BodyReader, PushingPastTheCapFails)
{
    BodyReader reader;
    body_start(&reader, nullptr);
    std::string block(1 << 20, 'q');
    bool accepted = true;
    for (int i = 0; i < 17 && accepted; ++i) {
        accepted = push_body(&reader, block.data(), block.size());
    }
    EXPECT_FALSE(accepted);
    uint32_t status = 0;
    EXPECT_EQ(nullptr, body_finish(&reader, &status));
    EXPECT_EQ(FETCH_NO_MEMORY, status);
}

// ---- http_get against the billing simulator (test namespace only) ----

std::string source_dir()
{
    const char* dir = getenv("TARVELON_SOURCE_DIR");
    return dir == nullptr ? "." : dir;
}

std::string build_dir()
{
    const char* dir = getenv("TARVELON_BUILD_DIR");
    return dir == nullptr ? "." : dir;
}

std::string read_file(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
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
    result.body = body == nullptr ? "" : body;
    free_text(body);
    return result;
}

class HttpGet : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* netns = getenv("TARVELON_TEST_NETNS");
        if (netns == nullptr || std::string(netns) != "1") {
            GTEST_SKIP() << "needs the test network namespace (TARVELON_TEST_NETNS=1)";
        }
    }
    void TearDown() override
    {
        if (!run_.empty()) {
            std::string command = source_dir() + "/tools/billing_sim/sim.sh stop " + run_;
            EXPECT_EQ(0, system(command.c_str()));
        }
    }
    void start(const char* name, const std::string& address, const std::string& options)
    {
        run_ = build_dir() + "/sim/" + name;
        std::string command = source_dir() + "/tools/billing_sim/sim.sh start " + run_ + " --address " + address +
            " " + options;
        ASSERT_EQ(0, system(command.c_str())) << "billing simulator did not start";
    }
    std::string log() const { return read_file(run_ + "/requests.log"); }
    std::string run_;
};

TEST_F(HttpGet, RequestGoesOutAsHttp10ToPort443WithOnlyConnectionClose)
{
    start("hg_request", "127.0.0.41", "--http-port 0");
    Fetched reply = get("https://127.0.0.41:8443/user/v1/login?userName=1234567&password=ab%2Bc");
    ASSERT_FALSE(reply.null);
    EXPECT_EQ(reply.body.size(), reply.status);
    EXPECT_NE(std::string::npos,
              log().find("\"raw\": \"GET /user/v1/login?userName=1234567&password=ab%2Bc HTTP/1.0\\r\\n"
                         "Host: 127.0.0.41\\r\\nConnection: Close\\r\\n\\r\\n\""))
        << log();
}

TEST_F(HttpGet, ProxyVariablesAreIgnored)
{
    start("hg_proxy", "127.0.0.42", "--https-port 0");
    setenv("http_proxy", "http://127.0.0.43:80", 1);
    setenv("HTTPS_PROXY", "http://127.0.0.43:80", 1);
    Fetched reply = get("http://127.0.0.42/x");
    unsetenv("http_proxy");
    unsetenv("HTTPS_PROXY");
    EXPECT_FALSE(reply.null);
    EXPECT_NE(std::string::npos, log().find("\"request_line\": \"GET /x HTTP/1.0\""));
}

TEST_F(HttpGet, UrlWithoutHttpSchemeOrPathSendsNothing)
{
    start("hg_nothing", "127.0.0.44", "");
    for (const char* url : {"ftp://127.0.0.44/user/v1/", "https://127.0.0.44", "https://127.0.0.44?x=1", "",
                            "127.0.0.44/x", "https:///x"}) {
        Fetched reply = get(url);
        EXPECT_TRUE(reply.null) << url;
        EXPECT_EQ(FETCH_FAILED, reply.status) << url;
    }
    EXPECT_EQ("", log());
}

TEST_F(HttpGet, ContentLengthZeroGivesEmptyText)
{
    start("hg_empty", "127.0.0.45", "--body-size 0");
    Fetched reply = get("https://127.0.0.45/x");
    EXPECT_FALSE(reply.null);
    EXPECT_EQ("", reply.body);
    EXPECT_EQ(0u, reply.status);
}

TEST_F(HttpGet, BodyWithoutLengthComesBackWhole)
{
    start("hg_nolength", "127.0.0.46", "--fault no-length --body-size 2500");
    Fetched reply = get("https://127.0.0.46/x");
    ASSERT_FALSE(reply.null);
    EXPECT_EQ(2500u, reply.status);
    EXPECT_EQ(2500u, reply.body.size());
}

TEST_F(HttpGet, ErrorPagesAreReturnedLikeReplies)
{
    start("hg_500", "127.0.0.47", "--fault status-500");
    Fetched reply = get("http://127.0.0.47/user/v1/login?userName=1&password=2");
    ASSERT_FALSE(reply.null);
    EXPECT_NE(std::string::npos, reply.body.find("Internal Server Error"));
}

TEST_F(HttpGet, RefusedHttpsIsTlsFailureAndRefusedHttpIsNot)
{
    EXPECT_EQ(FETCH_TLS_FAILED, get("https://127.0.0.48/user/v1/").status);
    EXPECT_EQ(FETCH_FAILED, get("http://127.0.0.48/user/v1/").status);
}

TEST_F(HttpGet, ResetDuringHandshakeIsTlsFailure)
{
    start("hg_reset", "127.0.0.49", "--fault tls-reset");
    Fetched reply = get("https://127.0.0.49/x");
    EXPECT_TRUE(reply.null);
    EXPECT_EQ(FETCH_TLS_FAILED, reply.status);
}

TEST_F(HttpGet, UntrustedIssuerFailsWhileMismatchAndExpiredPass)
{
    start("hg_untrusted", "127.0.0.50", "--cert untrusted");
    Fetched untrusted = get("https://127.0.0.50/x");
    EXPECT_TRUE(untrusted.null);
    EXPECT_EQ(FETCH_FAILED, untrusted.status);
    TearDown();
    start("hg_mismatch", "127.0.0.51", "--cert mismatch");
    EXPECT_FALSE(get("https://127.0.0.51/x").null);
    TearDown();
    start("hg_expired", "127.0.0.52", "--cert expired");
    EXPECT_FALSE(get("https://127.0.0.52/x").null);
}

TEST_F(HttpGet, OversizedAnnouncedLengthsFail)
{
    start("hg_huge", "127.0.0.53", "--fault huge-length");
    Fetched reply = get("https://127.0.0.53/x");
    EXPECT_TRUE(reply.null);
    EXPECT_EQ(FETCH_FAILED, reply.status);
}

TEST_F(HttpGet, SlowAndShortBodies)
{
    start("hg_slow", "127.0.0.54", "--fault slow-body --body-size 3000");
    Fetched slow = get("https://127.0.0.54/x");
    EXPECT_EQ(3000u, slow.status);
    EXPECT_EQ(3000u, slow.body.size());
    TearDown();
    start("hg_short", "127.0.0.55", "--fault long-length --body-size 60 --extra 40");
    Fetched short_body = get("http://127.0.0.55/x");
    ASSERT_FALSE(short_body.null);
    EXPECT_EQ(100u, short_body.status);
    EXPECT_EQ(60u, short_body.body.size());
}

TEST_F(HttpGet, EndlessBodyStopsAtTheCap)
{
    start("hg_endless", "127.0.0.56", "--fault endless --endless-limit 33554432");
    Fetched reply = get("https://127.0.0.56/x");
    EXPECT_TRUE(reply.null);
    EXPECT_EQ(FETCH_NO_MEMORY, reply.status);
}
}  // namespace
