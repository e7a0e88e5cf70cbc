// query_balance against the billing simulator on 127.0.0.1, the API host of
// test builds: its codes, the two requests, the balance the user reads.
#include "account/balance_query.h"
#include "billing_sim.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "user_play.h"

#if defined(_WIN32)
#include "memory_probe_win.h"
#endif

#include <cstring>
#include <string>

namespace {
const char contract[] = "1234567";
const char pass_hash[] = "Zq9xWm4T%2BkLp7Rv3Ns8Yb6Hc1Jd0Fg5Qe2Ua9Xi%3D";

void set_credentials(const char* number, const char* hash)
{
    strncpy(app_state.credentials.contract_number, number, sizeof app_state.credentials.contract_number - 1);
    strncpy(app_state.credentials.pass_hash, hash, sizeof app_state.credentials.pass_hash - 1);
}

bool start(const std::string& options)
{
    return sim_start("--address 127.0.0.1 --account " + std::string(contract) + ":" + pass_hash + " " + options);
}

class QueryBalance : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        char* base = load_text(TEXT_API_URL);
        bool local = base != nullptr && strncmp(base, "https://127.0.0.1/", 18) == 0;
        free_text(base);
        if (!local) {
            GTEST_SKIP() << "text 7 does not address 127.0.0.1 in this build";
        }
    }
};

// Windows: the box is read in the ANSI code page (1251 under the suite's Russian locale).
TEST_F(QueryBalance, ShowsTheCyrillicBalanceAfterTwoRequests)
{
    ASSERT_TRUE(start("--balance \"Сто двадцать\" --balance-info 31"));
    set_credentials(contract, pass_hash);
    Played played = play(query_balance, nullptr);
    EXPECT_EQ(0, played.result);
    EXPECT_EQ("Баланс (рублей): Сто двадцать\nДней абонентской платы (примерно): 31", played.box);
    std::string log = sim_log();
    EXPECT_EQ(1, count_of(log, std::string("\"request_line\": \"GET /user/v1/login?userName=") + contract +
                                   "&password=" + pass_hash + " HTTP/1.0\"")) << log;
    EXPECT_EQ(1, count_of(log, "\"request_line\": \"GET /user/v1/getDynamicInfo?token=7f3a9c2e51b04d68 HTTP/1.0\"")) << log;
}

// The token goes into the second URL as the Windows edition sends it (WinINet
// writes a space as "%20" and every other byte as it is); the method part is cut
// at 1023 characters.
TEST_F(QueryBalance, TheTokenGoesOutAsTheWindowsEditionSendsIt)
{
    const struct {
        std::string token;
        std::string sent;  // as the simulator logs it: bytes read as Latin-1, in UTF-8
    } cases[] = {
        {"a b", "a%20b"}, {"a#b", "a#b"}, {"a&b", "a&b"}, {"a%b", "a%b"},
        {"\xC3\xA9", "\xC3\x83\xC2\xA9"}, {"", ""}, {std::string(1100, 'x'), std::string(1002, 'x')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.token);
        sim_stop();
        ASSERT_TRUE(start("--token \"" + c.token + "\""));
        set_credentials(contract, pass_hash);
        EXPECT_EQ(0, play(query_balance, nullptr).result);
        EXPECT_EQ(1, count_of(sim_log(), "\"GET /user/v1/getDynamicInfo?token=" + c.sent + " HTTP/1.0\"")) << sim_log();
    }
}

// Wine's WinINet reports a reset during the TLS handshake as a secure channel
// error (12157): fetch status 0, not 1.
#if defined(_WIN32)
const int handshake_reset_code = 2;
#else
const int handshake_reset_code = 3;
#endif

struct Case {
    const char* options;  // null: nothing listens
    const char* number;
    const char* hash;
    int code;
    int requests;
};

const Case cases[] = {
    {nullptr, contract, pass_hash, 3, 0},
    {"", contract, "wrong", 1, 1},
    {"", "12 34", pass_hash, 1, 0},
    {"--fault no-token", contract, pass_hash, 1, 1},
    {"--cert untrusted", contract, pass_hash, 2, 0},
    {"--fault tls-reset", contract, pass_hash, handshake_reset_code, 0},
    {"--fault huge-length --fault-path getDynamicInfo", contract, pass_hash, 2, 2},
};

TEST_F(QueryBalance, EveryFailureHasItsCodeAndNoBox)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.options != nullptr ? c.options : "refused") << " " << c.number << " "
                                        << c.hash);
        sim_stop();
        ASSERT_TRUE(c.options == nullptr || start(c.options));
        set_credentials(c.number, c.hash);
        Played played = play(query_balance, nullptr);
        EXPECT_EQ(c.code, played.result);
        EXPECT_EQ("", played.box);
        EXPECT_EQ(c.requests, count_of(sim_log(), "\"event\": \"request\""));
    }
}

// The working buffer holds the login URL with the credentials, then the message.
char work[balance_work_size];

int query_over_work(WindowHandle owner)
{
    memset(work, 0x5a, sizeof work);
    int code = query_balance_in(owner, work);
    return std::string(work, sizeof work) == std::string(sizeof work, '\0') ? code : 100 + code;
}

TEST_F(QueryBalance, WorkingBufferIsWipedOnEveryPath)
{
    ASSERT_TRUE(start(""));
    set_credentials(contract, pass_hash);
    EXPECT_EQ(0, play(query_over_work, nullptr).result);
    set_credentials(contract, "wrong");
    EXPECT_EQ(1, play(query_over_work, nullptr).result);
    sim_stop();
    EXPECT_EQ(3, play(query_over_work, nullptr).result);
}

#if defined(_WIN32)
const char token[] = "7f3a9c2e51b04d68";  // the simulator's
int freed_holding_secret = 0;
decltype(&LocalFree) system_local_free = nullptr;

HLOCAL WINAPI checking_local_free(HLOCAL block)
{
    std::string bytes(block != nullptr ? static_cast<const char*>(block) : "", LocalSize(block));
    freed_holding_secret += bytes.find(pass_hash) != std::string::npos || bytes.find(token) != std::string::npos;
    return system_local_free(block);
}

// No buffer of ours is released holding the pass-hash or the token.  The
// formatting scratch on the stack is looked at alone: in a query the later calls
// happen to write over it.
TEST_F(QueryBalance, NoCopyOfThePassHashOrTheTokenOutlivesTheQuery)
{
    char method[128] = {};
    call_deeper([&] { format_text(method, sizeof method, "%s", pass_hash); });
    EXPECT_FALSE(stack_holds(pass_hash));
    ASSERT_TRUE(start(""));
    set_credentials(contract, pass_hash);
    system_local_free = reinterpret_cast<decltype(&LocalFree)>(
        replace_import("LocalFree", reinterpret_cast<void*>(checking_local_free)));
    ASSERT_NE(nullptr, system_local_free);
    int code = -1;
    call_deeper([&] { code = play(query_balance, nullptr).result; });
    replace_import("LocalFree", reinterpret_cast<void*>(system_local_free));
    EXPECT_EQ(0, code);
    EXPECT_EQ(0, freed_holding_secret);
}
#endif
}  // namespace
