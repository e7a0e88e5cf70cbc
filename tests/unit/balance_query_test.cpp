// The reply scanner and the template renderer.
#include "account/balance_query.h"
#include "common/app_state.h"
#include "common/heap_text.h"
#include "common/texts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
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
// ---- query_balance against the billing simulator (test namespace only) ----

const char contract[] = "1234567";
const char pass_hash[] = "Zq9xWm4T%2BkLp7Rv3Ns8Yb6Hc1Jd0Fg5Qe2Ua9Xi%3D";

std::string env_or(const char* name, const char* fallback)
{
    const char* value = getenv(name);
    return value == nullptr ? fallback : value;
}

class QueryBalance : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (env_or("TARVELON_TEST_NETNS", "") != "1") {
            GTEST_SKIP() << "needs the test network namespace (TARVELON_TEST_NETNS=1)";
        }
        char* base = load_text(TEXT_API_URL);
        bool local = base != nullptr && strncmp(base, "https://127.0.0.1/", 18) == 0;
        free_text(base);
        if (!local) {
            GTEST_SKIP() << "text 7 does not address 127.0.0.1 in this build";
        }
        setlocale(LC_ALL, "C.UTF-8");
        set_credentials(contract, pass_hash);
    }
    void TearDown() override
    {
        stop();
        setlocale(LC_ALL, "C");
    }
    void start(const char* name, const std::string& options)
    {
        run_ = env_or("TARVELON_BUILD_DIR", ".") + "/sim/" + name;
        std::string command = env_or("TARVELON_SOURCE_DIR", ".") + "/tools/billing_sim/sim.sh start " + run_ +
            " --address 127.0.0.1 --account " + contract + ":" + pass_hash + " " + options;
        ASSERT_EQ(0, system(command.c_str())) << "billing simulator did not start";
    }
    void stop()
    {
        if (!run_.empty()) {
            std::string command = env_or("TARVELON_SOURCE_DIR", ".") + "/tools/billing_sim/sim.sh stop " + run_;
            EXPECT_EQ(0, system(command.c_str()));
            run_.clear();
        }
    }
    static void set_credentials(const char* number, const char* hash)
    {
        snprintf(app_state.credentials.contract_number, sizeof app_state.credentials.contract_number, "%s", number);
        snprintf(app_state.credentials.pass_hash, sizeof app_state.credentials.pass_hash, "%s", hash);
    }
    std::string log() const
    {
        std::ifstream file(run_ + "/requests.log");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::string run_;
};

TEST_F(QueryBalance, ShowsTheRenderedBalance)
{
    start("qb_shown", "--balance \"Сто двадцать\" --balance-info 31");
    testing::internal::CaptureStdout();
    int code = query_balance(nullptr);
    std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, code);
    EXPECT_EQ("Баланс (рублей): Сто двадцать\nДней абонентской платы (примерно): 31\n", shown);
    EXPECT_NE(std::string::npos, log().find("\"request_line\": \"GET /user/v1/getDynamicInfo?token=7f3a9c2e51b04d68 "
                                            "HTTP/1.0\""));
}

TEST_F(QueryBalance, EveryFailureHasItsCode)
{
    EXPECT_EQ(3, query_balance(nullptr));  // nothing listens on 443
    start("qb_codes", "--fault no-token");
    EXPECT_EQ(1, query_balance(nullptr));
    stop();
    start("qb_dyn", "--fault huge-length --fault-path getDynamicInfo");
    EXPECT_EQ(2, query_balance(nullptr));
    stop();
    start("qb_untrusted", "--cert untrusted");
    EXPECT_EQ(2, query_balance(nullptr));
    set_credentials("12 34", pass_hash);
    EXPECT_EQ(1, query_balance(nullptr));
}

// The working buffer holds the login URL with the credentials, then the
// rendered message: it is all zeros when the query returns.
TEST_F(QueryBalance, WorkingBufferIsWipedOnEveryPath)
{
    start("qb_wipe", "");
    char work[balance_work_size];
    for (const char* hash : {pass_hash, "wrong"}) {
        set_credentials(contract, hash);
        memset(work, 0x5a, sizeof work);
        testing::internal::CaptureStdout();
        int code = query_balance_in(nullptr, work);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(hash == pass_hash ? 0 : 1, code);
        EXPECT_EQ(std::string(sizeof work, '\0'), std::string(work, sizeof work)) << hash;
    }
    stop();
    set_credentials(contract, pass_hash);
    memset(work, 0x5a, sizeof work);
    EXPECT_EQ(3, query_balance_in(nullptr, work));
    EXPECT_EQ(std::string(sizeof work, '\0'), std::string(work, sizeof work));
}
}  // namespace
