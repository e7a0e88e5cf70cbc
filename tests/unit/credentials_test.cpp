#include "account/credentials.h"
#include "common/app_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
std::string trimmed(std::string text)
{
    trim_spaces(text.data());
    return text.c_str();
}

std::string sanitized(std::string text, bool url_safe)
{
    sanitize_field(text.data(), url_safe);
    return text.c_str();
}

void store(const char* number, const char* hash)
{
    wipe_credentials();
    strcpy(app_state.credentials.contract_number, number);
    strcpy(app_state.credentials.pass_hash, hash);
}
}  // namespace

TEST(TrimSpaces, OnlyTheSpaceCharacterAtEitherEnd)
{
    EXPECT_EQ(trimmed(" 1234567 "), "1234567");
    EXPECT_EQ(trimmed("   "), "");
    EXPECT_EQ(trimmed(""), "");
    EXPECT_EQ(trimmed("12 34"), "12 34");
    EXPECT_EQ(trimmed("\t12\n"), "\t12\n");
    EXPECT_EQ(trimmed("  a  b  "), "a  b");
    trim_spaces(nullptr);
}

TEST(SanitizeField, RejectsTheWholeFieldAtTheFirstForeignCharacter)
{
    EXPECT_EQ(sanitized(" 1234567 ", false), "1234567");
    EXPECT_EQ(sanitized("12 34", false), "");
    EXPECT_EQ(sanitized("12a4", false), "");
    EXPECT_EQ(sanitized("12\xD0\xB0", false), "");      // Cyrillic letter in UTF-8
    EXPECT_EQ(sanitized("12\xE0", false), "");          // and in Windows-1251
    EXPECT_EQ(sanitized("abc+def", true), "");
    EXPECT_EQ(sanitized("abc/def", true), "");
    EXPECT_EQ(sanitized("abc=", true), "");
    EXPECT_EQ(sanitized("a%2Bb%2Fc%3D-._~Z9", true), "a%2Bb%2Fc%3D-._~Z9");
}

TEST(ValidateCredentials, LeavesBothFieldsFilledOrBothEmpty)
{
    store(" 1234567 ", "abc%3D");
    validate_credentials();
    EXPECT_STREQ(app_state.credentials.contract_number, "1234567");

    store("12345678901234", "abc%3D");
    validate_credentials();
    EXPECT_STREQ(app_state.credentials.contract_number, "12345678901234");
    EXPECT_STREQ(app_state.credentials.pass_hash, "abc%3D");

    store("1234567", "");
    validate_credentials();
    EXPECT_STREQ(app_state.credentials.contract_number, "");

    store("12 34", "abc%3D");
    validate_credentials();
    EXPECT_STREQ(app_state.credentials.pass_hash, "");

    store("1234567", "abc=");
    validate_credentials();
    EXPECT_STREQ(app_state.credentials.contract_number, "");
}

TEST(WipeCredentials, ZerosEveryByte)
{
    memset(&app_state.credentials, 'x', sizeof app_state.credentials);
    wipe_credentials();
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&app_state.credentials);
    for (size_t i = 0; i < sizeof app_state.credentials; ++i) {
        ASSERT_EQ(bytes[i], 0) << "byte " << i;
    }
}
