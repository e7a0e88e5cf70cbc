// The pass-hash (Windows: CryptoAPI; Linux: libcrypto).
#include "account/credentials.h"
#include "account/pass_hash.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>

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
