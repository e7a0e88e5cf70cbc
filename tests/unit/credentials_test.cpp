#include "account/credentials.h"
#include "common/app_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(Credentials, FieldRules)
{
    const struct {
        const char* text;
        bool url_safe;
        const char* trimmed;
        const char* sanitized;
    } cases[] = {
        {" 1234567 ", false, "1234567", "1234567"},
        {"   ", false, "", ""},
        {"  a  b  ", true, "a  b", ""},
        {"\t12\n", false, "\t12\n", ""},  // only the space character is trimmed
        {"12a4", false, "12a4", ""},
        {"12\xD0\xB0", false, "12\xD0\xB0", ""},  // Cyrillic letter in UTF-8
        {"12\xE0", false, "12\xE0", ""},          // and in Windows-1251
        {"abc+def", true, "abc+def", ""},
        {"a%2Bb%2Fc%3D-._~Z9", true, "a%2Bb%2Fc%3D-._~Z9", "a%2Bb%2Fc%3D-._~Z9"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        trim_spaces(&text[0]);
        EXPECT_STREQ(c.trimmed, text.c_str()) << c.text;
        text = c.text;
        sanitize_field(&text[0], c.url_safe);
        EXPECT_STREQ(c.sanitized, text.c_str()) << c.text;
    }
    trim_spaces(nullptr);
}

TEST(Credentials, BothFieldsFilledOrBothEmptyAndTheWipeZerosEveryByte)
{
    const struct {
        const char* number;
        const char* hash;
        const char* valid_number;
    } cases[] = {
        {" 1234567 ", "abc%3D", "1234567"}, {"12345678901234", "abc%3D", "12345678901234"},
        {"1234567", "", ""},                {"12 34", "abc%3D", ""},
        {"1234567", "abc=", ""},
    };
    for (const auto& c : cases) {
        memset(&app_state.credentials, 0, sizeof app_state.credentials);
        strcpy(app_state.credentials.contract_number, c.number);
        strcpy(app_state.credentials.pass_hash, c.hash);
        validate_credentials();
        EXPECT_STREQ(c.valid_number, app_state.credentials.contract_number) << c.number << " " << c.hash;
        EXPECT_STREQ(c.valid_number[0] != '\0' ? c.hash : "", app_state.credentials.pass_hash);
    }
    memset(&app_state.credentials, 'x', sizeof app_state.credentials);
    wipe_credentials();
    EXPECT_EQ(std::string(sizeof app_state.credentials, '\0'),
              std::string(reinterpret_cast<const char*>(&app_state.credentials), sizeof app_state.credentials));
}
