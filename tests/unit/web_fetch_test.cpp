// The body reader that both clients share, over a source that delivers its
// bytes in given pieces; and libcurl's proxy variables.
#include "account/web_fetch.h"
#include "billing_sim.h"
#include "common/heap_text.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
struct Source {
    std::string data;
    std::vector<uint32_t> pieces;  // then 4096 a read
    size_t offset;
    size_t next_piece;
    uint32_t largest_request;
    int reads;
};

uint32_t read_piece(void* context, char* buffer, uint32_t size)
{
    Source* source = static_cast<Source*>(context);
    ++source->reads;
    source->largest_request = std::max(size, source->largest_request);
    uint32_t piece = source->next_piece < source->pieces.size() ? source->pieces[source->next_piece++] : 4096;
    uint32_t count = static_cast<uint32_t>(std::min<size_t>({piece, size, source->data.size() - source->offset}));
    memcpy(buffer, source->data.data() + source->offset, count);
    source->offset += count;
    return count;
}

struct Case {
    size_t size;                   // bytes the source has
    std::vector<uint32_t> pieces;
    int64_t content_length;        // -1: none
    bool null;
    uint32_t status;
    uint32_t largest_request;      // 0: not checked
    int reads;                     // -1: not checked
};

const uint64_t cap = max_body_size;

const Case cases[] = {
    // A single read may deliver less than asked: read on until filled; the
    // first read asks for all of it.
    {3000, {60, 1, 900}, 3000, false, 3000, 3000, -1},
    {60, {}, 100, false, 100, 0, -1},  // short body: its bytes, the announced length
    {7, {}, 0, false, 0, 0, 0},
    // Lengths that wrap round or pass the cap are refused before any read.
    {1, {}, 4294967295, true, FETCH_FAILED, 0, 0},
    {1, {}, cap + 1, true, FETCH_FAILED, 0, 0},
    {1, {}, int64_t{1} << 40, true, FETCH_FAILED, 0, 0},
    // Without a length: chunks of at most 1024, up to the cap and not past it.
    {2500, {1024, 7, 1024, 1024}, -1, false, 2500, 1024, -1},
    {0, {}, -1, true, FETCH_FAILED, 0, -1},
    {cap, {}, -1, false, cap, 1024, -1},
    {cap + 1, {}, -1, true, FETCH_NO_MEMORY, 0, -1},
};

TEST(BodyReader, ReadsWhatTheLengthAndTheCapAllow)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << " bytes, length " << c.content_length);
        Source source = {std::string(c.size, 'z'), c.pieces, 0, 0, 0, 0};
        for (size_t i = 0; i < c.size; i += 7) {
            source.data[i] = static_cast<char>('a' + i % 26);
        }
        uint64_t length = static_cast<uint64_t>(c.content_length);
        BodyReader reader;
        body_start(&reader, c.content_length < 0 ? nullptr : &length);
        pull_body(&reader, read_piece, &source);
        uint32_t status = 12345;
        char* body = body_finish(&reader, &status);
        EXPECT_EQ(c.null, body == nullptr);
        EXPECT_EQ(c.status, status);
        if (body != nullptr) {
            EXPECT_TRUE(source.data.substr(0, length) == body);
        }
        EXPECT_TRUE(c.largest_request == 0 || c.largest_request == source.largest_request) << source.largest_request;
        EXPECT_TRUE(c.reads < 0 || c.reads == source.reads) << source.reads;
        free_text(body);
    }
}

TEST(BodyReader, PushedBytesBeyondTheLengthAreDroppedAndPastTheCapFail)
{
    BodyReader reader;
    uint64_t length = 5;
    body_start(&reader, &length);
    EXPECT_TRUE(push_body(&reader, "abc", 3));
    EXPECT_TRUE(push_body(&reader, "defgh", 5));
    uint32_t status = 0;
    char* text = body_finish(&reader, &status);
    EXPECT_STREQ("abcde", text);
    EXPECT_EQ(5u, status);
    free_text(text);

    body_start(&reader, nullptr);
    std::string block(1 << 20, 'q');
    bool accepted = true;
    for (int i = 0; i < 17 && accepted; ++i) {
        accepted = push_body(&reader, block.data(), block.size());
    }
    EXPECT_FALSE(accepted);
    EXPECT_EQ(nullptr, body_finish(&reader, &status));
    EXPECT_EQ(FETCH_NO_MEMORY, status);
}

using HttpGetProxy = SimTest;

TEST_F(HttpGetProxy, ProxyVariablesAreIgnored)
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
}

// WinINet under Wine follows a redirect loop for ever; this client gives up.
TEST_F(HttpGetProxy, ARedirectLoopEndsAfter100Hops)
{
    ASSERT_TRUE(sim_start("--address 127.0.0.42 --https-port 0"));
    uint32_t status = 12345;
    EXPECT_EQ(nullptr, http_get("http://127.0.0.42/redirect?code=302&to=%2Fx&hops=101", &status));
    EXPECT_EQ(FETCH_FAILED, status);
    EXPECT_EQ(101, count_of(sim_log(), "\"event\": \"request\""));
}
}  // namespace
