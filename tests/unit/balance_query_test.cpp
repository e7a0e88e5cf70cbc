#include "account/balance_query.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string value_of(const char* name, const char* text)
{
    char* value = tag_value(name, text);
    std::string copy = value != nullptr ? value : "(null)";
    free_text(value);
    return copy;
}

TEST(TagValue, FirstStartTagOfExactlyThatNameUpToTheNextBracket)
{
    EXPECT_EQ("abc", value_of("TOKEN", "<login><ToKeN>abc</token><token>second</token>"));
    EXPECT_EQ("5", value_of("balance", "<balanceInfo>31</balanceInfo><balance>5</balance>"));
    EXPECT_EQ("(null)", value_of("token", "<token attr=\"1\">x</token>"));
    EXPECT_EQ("(null)", value_of("token", nullptr));
    EXPECT_EQ("(null)", value_of(nullptr, "<token>x"));
}

std::string render(const std::string& template_text, const std::string& source)
{
    char out[balance_work_size] = "";
    expand_template(out, template_text.c_str(), source.c_str());
    return out;
}

// The balance template itself is rendered end to end by the balance tests.
TEST(ExpandTemplate, ReplacesReferencesDropsBrokenOnesAndStaysWithinTheBuffer)
{
    EXPECT_EQ("5ab", render("#balance$a$b", "<balance>5"));
    EXPECT_EQ("a ", render("a #balance and more", "<balance>5"));
    EXPECT_LE(render("#b$" + std::string(2000, 'l'), "<b>" + std::string(5000, 'v')).size(), balance_work_size - 1);
}
}  // namespace
