#include "account/credentials.h"
#include "account/pass_hash.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
std::string hash_of(const char* password)
{
    char out[85];
    memset(out, 'x', sizeof out);
    int code = make_pass_hash(password, out);
    EXPECT_EQ(code, 0) << password;
    return code == 0 ? out : "";
}

std::string base64_of(const char* bytes)
{
    char out[16];
    EXPECT_EQ(base64_encode(reinterpret_cast<const unsigned char*>(bytes), strlen(bytes), out, sizeof out), 0);
    return out;
}
}  // namespace

TEST(PassHash, MatchesIndependentlyComputedVectors)
{
    for (const PassHashVector& vector : pass_hash_vectors) {
        std::string hash = hash_of(vector.password);
        EXPECT_EQ(hash, vector.pass_hash);
        EXPECT_GE(hash.size(), 30u);
        EXPECT_LE(hash.size(), 84u);
        std::string sanitized = hash;
        sanitize_field(sanitized.data(), true);
        EXPECT_STREQ(sanitized.c_str(), hash.c_str()) << "the pass-hash alphabet must pass the field rule";
    }
    EXPECT_NE(hash_of("password"), hash_of("Password"));
}

TEST(PassHash, ArgumentsAreCheckedBeforeAnyWork)
{
    char out[85] = "untouched";
    EXPECT_EQ(make_pass_hash("", out), 1);
    EXPECT_EQ(make_pass_hash(nullptr, out), 1);
    EXPECT_EQ(make_pass_hash("password", nullptr), 1);
    EXPECT_STREQ(out, "untouched");
}

TEST(Sha1Digest, FipsExampleAndBadArguments)
{
    unsigned char digest[sha1_size] = {};
    ASSERT_EQ(sha1_digest(reinterpret_cast<const unsigned char*>("abc"), 3, digest), 0);
    EXPECT_EQ(memcmp(digest, sha1_of_abc, sha1_size), 0);
    EXPECT_EQ(sha1_digest(nullptr, 3, digest), 1);
    EXPECT_EQ(sha1_digest(reinterpret_cast<const unsigned char*>("abc"), 0, digest), 1);
    EXPECT_EQ(sha1_digest(reinterpret_cast<const unsigned char*>("abc"), 3, nullptr), 1);
}

TEST(Base64Encode, PaddingForOneTwoAndThreeBytes)
{
    EXPECT_EQ(base64_of("f"), "Zg==");
    EXPECT_EQ(base64_of("fo"), "Zm8=");
    EXPECT_EQ(base64_of("foo"), "Zm9v");
    EXPECT_EQ(base64_of("foob"), "Zm9vYg==");
    EXPECT_EQ(base64_of("\xFB\xFF"), "+/8=");
}

TEST(Base64Encode, CapacityRule)
{
    const unsigned char digest[20] = {};
    char out[29];
    EXPECT_EQ(base64_encode(digest, 20, out, 28), 2);
    EXPECT_EQ(base64_encode(digest, 20, out, 29), 0);
    EXPECT_EQ(strlen(out), 28u);
    EXPECT_EQ(base64_encode(digest, 1, out, 4), 2);
    EXPECT_EQ(base64_encode(digest, 1, out, 5), 0);
    EXPECT_EQ(base64_encode(nullptr, 1, out, 5), 1);
    EXPECT_EQ(base64_encode(digest, 0, out, 5), 1);
    EXPECT_EQ(base64_encode(digest, 1, nullptr, 5), 1);
    EXPECT_EQ(base64_encode(digest, 1, out, 0), 1);
}

TEST(UrlEncode, UnreservedStayOthersBecomeUpperCaseHex)
{
    char out[32];
    ASSERT_EQ(url_encode("a+b/c=", out, sizeof out), 0);
    EXPECT_STREQ(out, "a%2Bb%2Fc%3D");
    ASSERT_EQ(url_encode("~._-", out, sizeof out), 0);
    EXPECT_STREQ(out, "~._-");
    ASSERT_EQ(url_encode("\xE9 ", out, sizeof out), 0);
    EXPECT_STREQ(out, "%E9%20");
    ASSERT_EQ(url_encode("", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
}

TEST(UrlEncode, NeedsRoomForTheTerminatorAndWritesNothingOnFailure)
{
    char out[16];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(url_encode("a+b/c=", out, 12), 2);  // 12 characters needed
    EXPECT_EQ(out[0], 'x');
    EXPECT_EQ(url_encode("a+b/c=", out, 13), 0);
    EXPECT_STREQ(out, "a%2Bb%2Fc%3D");
    EXPECT_EQ(url_encode(nullptr, out, 13), 1);
    EXPECT_EQ(url_encode("a", nullptr, 13), 1);
    EXPECT_EQ(url_encode("a", out, 0), 1);
}
