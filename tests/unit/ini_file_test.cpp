#include "account/ini_file.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string got(const char* key, size_t size)
{
    char out[256];
    ini_get("[General]\r\nq='x'\r\nodd=\"abc'\r\nlong=\"1234\"\r\n", "General", key, out, size);
    return out;
}

// The other reading rules are checked against the Windows profile API.
TEST(IniGet, QuotesAndTheBufferSize)
{
    EXPECT_EQ("x", got("q", 85));
    EXPECT_EQ("\"abc'", got("odd", 85));
    EXPECT_EQ("123", got("long", 5));
    EXPECT_EQ("1234", got("long", 6));
}

TEST(IniSet, ChangesOneLineAndKeepsEveryOther)
{
    const char* const cases[][3] = {
        {"; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nUSERNAME = 5\r\ny\r\n\r\n[Z]\r\n", "username",
         "; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nusername=1\r\ny\r\n\r\n[Z]\r\n"},
        {"[General]\r\nusername=1\r\n\r\n[Z]\r\nk=v\r\n", "passhash",
         "[General]\r\nusername=1\r\npasshash=1\r\n\r\n[Z]\r\nk=v\r\n"},
        {"[Z]\nk=v", "username", "[Z]\nk=v\n[General]\nusername=1\n"},
    };
    for (const auto& c : cases) {
        char* result = ini_set(c[0], "General", c[1], "1");
        EXPECT_STREQ(c[2], result) << c[0];
        free_text(result);
    }
}
}  // namespace
