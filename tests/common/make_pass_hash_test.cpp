// The pass-hash and its encoders (Windows: CryptoAPI; Linux: libcrypto).
#include "account/credentials.h"
#include "account/pass_hash.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

TEST(PassHash, MatchesIndependentlyComputedVectorsThatPassTheFieldRule)
{
    for (const PassHashVector& vector : pass_hash_vectors) {
        char out[85] = {};
        ASSERT_EQ(HASH_DONE, make_pass_hash(vector.password, out)) << vector.pass_hash;
        EXPECT_STREQ(vector.pass_hash, out);
        sanitize_field(out, true);
        EXPECT_STREQ(vector.pass_hash, out);
    }
}

// Percent-encoding keeps the unreserved characters; bad arguments fail and write nothing.
TEST(PassHash, EncodersPadAndNeedRoom)
{
    const char* const cases[][2] = {{"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                                    {"\xFB\xFF", "+/8="}};
    for (const auto& c : cases) {
        char out[16] = {};
        EXPECT_EQ(HASH_DONE, base64_encode(reinterpret_cast<const unsigned char*>(c[0]), strlen(c[0]), out, sizeof out));
        EXPECT_STREQ(c[1], out);
    }
    unsigned char digest[sha1_size] = {};
    char out[85];
    EXPECT_EQ(ENCODE_NO_ROOM, base64_encode(digest, 20, out, 28));
    EXPECT_EQ(HASH_DONE, base64_encode(digest, 20, out, 29));
    EXPECT_EQ(28u, strlen(out));
    memset(out, 'x', sizeof out);
    EXPECT_EQ(ENCODE_NO_ROOM, url_encode("a+b/c=", out, 12));  // 12 characters needed
    EXPECT_EQ('x', out[0]);
    ASSERT_EQ(HASH_DONE, url_encode("a+b/c=", out, 13));
    EXPECT_STREQ("a%2Bb%2Fc%3D", out);
    ASSERT_EQ(HASH_DONE, url_encode("~._-\xE9 ", out, sizeof out));
    EXPECT_EQ(std::vector<int>(12, HASH_BAD_ARGUMENT),
              std::vector<int>({base64_encode(nullptr, 1, out, 5), base64_encode(digest, 0, out, 5),
                                base64_encode(digest, 1, nullptr, 5), url_encode(nullptr, out, 13),
                                url_encode("a", nullptr, 13), url_encode("a", out, 0), sha1_digest(nullptr, 3, digest),
                                sha1_digest(digest, 0, digest), sha1_digest(digest, 3, nullptr),
                                make_pass_hash("", out), make_pass_hash(nullptr, out), make_pass_hash("abc", nullptr)}));
    EXPECT_STREQ("~._-%E9%20", out);
}

#if defined(_WIN32)
#include "memory_probe_win.h"

// The digest and the Base64 text are the pass-hash in other forms.
TEST(PassHash, LeavesNoDigestOrBase64TextOnTheStack)
{
    char out[85] = {};
    call_deeper([&] { make_pass_hash("abc", out); });
    // Both probes before any report, which would write over the stack.
    bool digest_left = stack_holds("\xA9\x99\x3E\x36\x47\x06\x81\x6A\xBA\x3E\x25\x71\x78\x50\xC2\x6C\x9C\xD0\xD8\x9D");
    bool base64_left = stack_holds("qZk+NkcGgWq6PiVxeFDCbJzQ2J0=");
    EXPECT_FALSE(digest_left);
    EXPECT_FALSE(base64_left);
    EXPECT_STREQ("qZk%2BNkcGgWq6PiVxeFDCbJzQ2J0%3D", out);
}
#endif
