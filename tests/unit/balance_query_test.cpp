#include "account/balance_query.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {
const char* const absent = "(null)";

TEST(TagValue, FirstStartTagOfExactlyThatNameUpToTheNextBracket)
{
    const struct {
        const char* name;
        const char* text;
        const char* value;
    } cases[] = {
        {"token", "<login><token>abc</token></login>", "abc"},
        {"TOKEN", "<ToKeN>abc", "abc"},
        {"token", "<token>first</token><token>second</token>", "first"},
        {"balance", "<balanceInfo>31</balanceInfo><balance>5</balance>", "5"},
        {"token", "<token></token>", ""},
        {"token", "<token> a &amp; b\n</token>", " a &amp; b\n"},
        {"token", "<token>to the end", "to the end"},
        {"token", "<error>no</error>", absent},
        {"token", "<token attr=\"1\">x</token>", absent},
        {"token", "<token >x</token>", absent},
        {"token", "<tok", absent},
        {"token", "token>x", absent},
        {"", "<>x", absent},
        {"token", nullptr, absent},
        {nullptr, "<token>x", absent},
    };
    for (const auto& c : cases) {
        char* value = tag_value(c.name, c.text);
        EXPECT_EQ(c.value, std::string(value != nullptr ? value : absent)) << c.name << " in " << c.text;
        free_text(value);
    }
}

std::string render(const std::string& template_text, const std::string& source)
{
    char out[balance_work_size] = "";
    expand_template(out, template_text.c_str(), source.c_str());
    return out;
}

// The balance template itself is rendered end to end by the balance tests.
TEST(ExpandTemplate, ReplacesReferencesAndDropsBrokenOnes)
{
    EXPECT_EQ("a ", render("a #balance and more", "<balance>5"));
    EXPECT_EQ("ab", render("a$b", "<balance>5"));
    EXPECT_EQ("5x", render("#balance$x$", "<balance>5"));
}

// Values stop at 1024 characters of output, literal text does not; the walk
// stops past index 1024 of the template but finishes a reference started there.
TEST(ExpandTemplate, OutputStaysWithinTheWorkingBuffer)
{
    const std::string values = "<balance>" + std::string(3000, 'v');
    EXPECT_EQ("ab" + std::string(1022, 'v') + "cd", render("ab#balance$cd", values));
    EXPECT_EQ(std::string(1024, 'v') + "xyz", render("#balance$#balance$xyz", values));
    EXPECT_EQ(std::string(1025, 'l'), render(std::string(1026, 'l'), ""));
    EXPECT_EQ(std::string(1024, 'l'), render(std::string(1024, 'l') + "#balance$tail", "<balance>5"));
    EXPECT_EQ(std::string(1000, 'l') + std::string(24, 'v') + "tail",
              render(std::string(1000, 'l') + "#balance$tail", values));
    std::string many;
    for (int i = 0; i < 400; ++i) {
        many += "#b$x";
    }
    EXPECT_LE(render(many, "<b>" + std::string(5000, 'v')).size(), balance_work_size - 1);

    char out[8] = "keep";
    expand_template(out, nullptr, "<b>1");
    expand_template(out, "#b$", nullptr);
    expand_template(nullptr, "#b$", "<b>1");
    EXPECT_STREQ("keep", out);
}
}  // namespace
