// The reply scanner and the template renderer.
#include "account/balance_query.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::string value_of(const char* name, const char* text)
{
    char* value = tag_value(name, text);
    std::string result = value == nullptr ? "(null)" : value;
    free_text(value);
    return result;
}

std::string render(const std::string& template_text, const std::string& source)
{
    char out[2064];
    out[0] = '\0';
    expand_template(out, template_text.c_str(), source.c_str());
    return out;
}

const char* const balance_template =
    "Баланс (рублей): #balance$\nДней абонентской платы (примерно): #balanceInfo$";

TEST(TagValue, FindsTheFirstStartTagOfExactlyThatName)
{
    EXPECT_EQ("abc", value_of("token", "<login><token>abc</token></login>"));
    EXPECT_EQ("abc", value_of("token", "<TOKEN>abc</TOKEN>"));
    EXPECT_EQ("abc", value_of("TOKEN", "<ToKeN>abc"));
    EXPECT_EQ("first", value_of("token", "<token>first</token><token>second</token>"));
    EXPECT_EQ("31", value_of("balanceInfo", "<balance>5</balance><balanceInfo>31</balanceInfo>"));
    EXPECT_EQ("5", value_of("balance", "<balanceInfo>31</balanceInfo><balance>5</balance>"));
}

TEST(TagValue, ValueRunsToTheNextOpeningBracketAsWritten)
{
    EXPECT_EQ("", value_of("token", "<token></token>"));
    EXPECT_EQ("", value_of("token", "<token>"));
    EXPECT_EQ(" a &amp; b\n", value_of("token", "<token> a &amp; b\n</token>"));
    EXPECT_EQ("to the end", value_of("token", "<token>to the end"));
}

TEST(TagValue, AbsentOrUnusableGivesNull)
{
    EXPECT_EQ("(null)", value_of("token", "<error>no</error>"));
    EXPECT_EQ("(null)", value_of("token", "<token attr=\"1\">x</token>"));
    EXPECT_EQ("(null)", value_of("token", "<token >x</token>"));
    EXPECT_EQ("(null)", value_of("token", "<tok"));
    EXPECT_EQ("(null)", value_of("token", "token>x"));
    EXPECT_EQ("(null)", value_of("", "<>x"));
    EXPECT_EQ("(null)", value_of("token", ""));
    EXPECT_EQ(nullptr, tag_value(nullptr, "<token>x"));
    EXPECT_EQ(nullptr, tag_value("token", nullptr));
}

TEST(ExpandTemplate, RendersBothElementsAroundTheLiteralText)
{
    EXPECT_EQ("Баланс (рублей): 1234.56\nДней абонентской платы (примерно): 31",
              render(balance_template, "<r><balance>1234.56</balance><balanceInfo>31</balanceInfo></r>"));
}

TEST(ExpandTemplate, AbsentElementsContributeNothing)
{
    EXPECT_EQ("Баланс (рублей): 7\nДней абонентской платы (примерно): ",
              render(balance_template, "<balance>7</balance>"));
    EXPECT_EQ("Баланс (рублей): \nДней абонентской платы (примерно): ", render(balance_template, "<error/>"));
}

TEST(ExpandTemplate, HashWithoutDollarDropsTheRestAndLoneDollarIsDropped)
{
    EXPECT_EQ("a ", render("a #balance and more", "<balance>5"));
    EXPECT_EQ("ab", render("a$b", "<balance>5"));
    EXPECT_EQ("5x", render("#balance$x$", "<balance>5"));
    EXPECT_EQ("", render("#$", "<>x"));
}

TEST(ExpandTemplate, LeavesTheTemplateUnchanged)
{
    char template_text[] = "#balance$ / #balanceInfo$";
    char out[2064];
    expand_template(out, template_text, "<balance>1<balanceInfo>2");
    EXPECT_STREQ("#balance$ / #balanceInfo$", template_text);
    EXPECT_STREQ("1 / 2", out);
}

TEST(ExpandTemplate, ValuesAreCutAt1024CharactersOfOutput)
{
    std::string long_value(3000, 'v');
    std::string out = render("ab#balance$cd", "<balance>" + long_value);
    EXPECT_EQ("ab" + std::string(1022, 'v') + "cd", out);

    // Once the output holds 1024 characters nothing more is inserted, while
    // literal characters still are.
    out = render("#balance$#balance$xyz", "<balance>" + long_value);
    EXPECT_EQ(std::string(1024, 'v') + "xyz", out);
}

TEST(ExpandTemplate, WalkStopsPastIndex1024ButFinishesAReferenceStartedBefore)
{
    std::string literal(1024, 'l');
    EXPECT_EQ(std::string(1025, 'l'), render(literal + "ll", ""));
    // The reference starts at index 1024: resolved whole, then the walk stops.
    std::string out = render(literal + "#balance$tail", "<balance>5");
    EXPECT_EQ(literal, out);
    out = render(std::string(1000, 'l') + "#balance$tail", "<balance>" + std::string(100, 'v'));
    EXPECT_EQ(std::string(1000, 'l') + std::string(24, 'v') + "tail", out);
}

TEST(ExpandTemplate, OutputStaysWithinTheWorkingBuffer)
{
    std::string template_text;
    for (int i = 0; i < 400; ++i) {
        template_text += "#b$x";
    }
    std::string out = render(template_text, "<b>" + std::string(5000, 'v'));
    EXPECT_LE(out.size(), 2063u);
    EXPECT_EQ(std::string(1024, 'v'), out.substr(0, 1024));
}

TEST(ExpandTemplate, NullArgumentsDoNothing)
{
    char out[8] = "keep";
    expand_template(out, nullptr, "<b>1");
    expand_template(out, "#b$", nullptr);
    expand_template(nullptr, "#b$", "<b>1");
    EXPECT_STREQ("keep", out);
}
}  // namespace
