#include "account/ini_file.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// The rest of the reading rules are checked against the Windows profile API;
// the file on disk through the command (tests/net/cli_balance_test.sh).
TEST(IniGet, QuotesAndTheBufferSize)
{
    const std::string text = "[General]\r\nq='x'\r\nodd=\"abc'\r\nlong=\"1234\"\r\n";
    const struct {
        const char* key;
        size_t size;
        const char* value;
    } cases[] = {
        {"q", 85, "x"}, {"odd", 85, "\"abc'"}, {"long", 5, "123"}, {"long", 6, "1234"}, {"long", 4, "123"},
    };
    for (const auto& c : cases) {
        char out[256];
        ini_get(text.c_str(), "General", c.key, out, c.size);
        EXPECT_STREQ(c.value, out) << c.key << " " << c.size;
    }
}

TEST(IniSet, ChangesOneLineAndKeepsEveryOther)
{
    const char* const cases[][3] = {
        {"; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nUSERNAME = 5\r\ny\r\n\r\n[Z]\r\n", "username",
         "; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nusername=1\r\ny\r\n\r\n[Z]\r\n"},
        {"[General]\r\nusername=1\r\n\r\n[Z]\r\nk=v\r\n", "passhash",
         "[General]\r\nusername=1\r\npasshash=1\r\n\r\n[Z]\r\nk=v\r\n"},
        {"[General]\nusername=1", "passhash", "[General]\nusername=1\npasshash=1\n"},
        {"", "username", "[General]\r\nusername=1\r\n"},
        {"[Z]\nk=v", "username", "[Z]\nk=v\n[General]\nusername=1\n"},
        {"\xEF\xBB\xBF[General]\r\nusername=2\r\n", "username", "\xEF\xBB\xBF[General]\r\nusername=1\r\n"},
    };
    for (const auto& c : cases) {
        char* result = ini_set(c[0], "General", c[1], "1");
        EXPECT_STREQ(c[2], result) << c[0];
        free_text(result);
    }
}
}  // namespace
