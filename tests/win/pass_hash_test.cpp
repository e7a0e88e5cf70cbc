// The pass-hash through the Windows crypto service.
#include "account/pass_hash.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(WinPassHash, CryptoApiGivesTheSameVectors)
{
    for (const PassHashVector& vector : pass_hash_vectors) {
        char out[85] = {};
        ASSERT_EQ(make_pass_hash(vector.password, out), 0) << vector.pass_hash;
        EXPECT_STREQ(out, vector.pass_hash);
    }
}

TEST(WinPassHash, Sha1OfFipsExample)
{
    unsigned char digest[sha1_size] = {};
    ASSERT_EQ(sha1_digest(reinterpret_cast<const unsigned char*>("abc"), 3, digest), 0);
    EXPECT_EQ(memcmp(digest, sha1_of_abc, sha1_size), 0);
    EXPECT_EQ(make_pass_hash("", reinterpret_cast<char*>(digest)), 1);
}
