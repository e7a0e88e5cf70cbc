#include "account/credentials.h"
#include "common/app_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
// The number and the pass-hash that validation leaves, joined by a space.
std::string validated(const char* number, const char* hash)
{
    memset(&app_state.credentials, 0, sizeof app_state.credentials);
    strcpy(app_state.credentials.contract_number, number);
    strcpy(app_state.credentials.pass_hash, hash);
    validate_credentials();
    return std::string(app_state.credentials.contract_number) + " " + app_state.credentials.pass_hash;
}

// A number of digits and a URL-safe pass-hash, both filled or both emptied.
TEST(Credentials, ValidationKeepsBothFieldsOrNeither)
{
    EXPECT_EQ("1234567 a%2Bb%2Fc%3D-._~Z9", validated(" 1234567 ", " a%2Bb%2Fc%3D-._~Z9 "));
    EXPECT_EQ(" ", validated("1234567", ""));
    EXPECT_EQ(" ", validated("12\xD0\xB0", "abc"));  // a Cyrillic letter
    EXPECT_EQ(" ", validated("1234567", "abc+def"));
}

TEST(Credentials, OnlyTheSpaceCharacterIsTrimmed)
{
    char text[] = " \t12\n ";
    trim_spaces(text);
    EXPECT_STREQ("\t12\n", text);
}
}  // namespace
