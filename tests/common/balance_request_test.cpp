// The Balance command and its query end to end, against the billing simulator.
#include "account/balance_query.h"
#include "account/credentials.h"
#include "account/login_dialog.h"
#include "account/settings.h"
#include "billing_sim.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "pass_hash_vectors.h"
#include "user_play.h"

#if defined(_WIN32)
#include "memory_probe_win.h"
#else
#include "memory_probe_posix.h"
#endif

#include <cstdio>
#include <fstream>
#include <string>

namespace {
const std::string password_hash = pass_hash_vectors[0].pass_hash;  // "password"
const std::string good_pair = "[General]\r\nusername=1234567\r\npasshash=" + password_hash + "\r\n";
const std::string balance_box = "Баланс (рублей): 1234.56\nДней абонентской платы (примерно): 31";
const std::string no_values = "Баланс (рублей): \nДней абонентской платы (примерно): ";
const std::string token = "7f3a9c2e51b04d68";  // the simulator's

// Code 3 (the secure connection refused) advises the TLS setting on Windows only.
#if defined(_WIN32)
const unsigned tls_text = TEXT_TLS_DISABLED;
#else
const unsigned tls_text = TEXT_CONNECTION_ERROR;
#endif

std::string settings_bytes()
{
    std::ifstream in("Tarvelon.ini", std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "(none)";
}

void put_settings(const std::string& bytes)
{
    std::remove("Tarvelon.ini");
    if (bytes != "(none)") {
        std::ofstream("Tarvelon.ini", std::ios::binary) << bytes;
    }
}

// The prompt alone: a query after it would write over the prompt's dead frames.
int log_in_only(WindowHandle owner)
{
    int choice = show_login_dialog(owner);
    wipe_credentials();
    return choice;
}

// The settings file is the working directory's: the build tree's, not shared with other trees.
using BalanceRequest = SimTest;

// Replies are read whatever their status, in the ANSI code page on Windows (1251 under the suite's
// locale).  The token goes into the second URL as WinINet sends it; the method part is cut at 1023.
TEST_F(BalanceRequest, EveryOutcomeHasItsCodeBoxAndSettings)
{
    const LoginAnswer remember = {"1234567", "password", true};
    const LoginAnswer once = {"1234567", "password", false};
    const LoginAnswer wrong = {"1234567", "Password", true};
    const LoginAnswer cancel = {nullptr, nullptr, false};
    const std::string letter = "[General]\r\nusername=12a4567\r\npasshash=" + password_hash + "\r\n";
    const std::string bad = catalogue_utf8(TEXT_BAD_CREDENTIALS);
    const std::string refused = catalogue_utf8(TEXT_CONNECTION_ERROR);
    const struct {
        std::string options;
        int code;
        int requests;
        std::string box;
        std::string sent = token;  // the token, as the simulator logs it
        const LoginAnswer* answer = nullptr;
        std::string before = good_pair;  // the settings file; "(none)": no file
        std::string after = good_pair;
        std::string login = "1234567&password=" + password_hash;  // the query as it went out
    } cases[] = {
        {"", BALANCE_CANCELLED, 0, "", token, &cancel, letter, letter},
        {"", QUERY_SHOWN, 2, balance_box, token, &once, "(none)", "(none)"},
        {"", QUERY_BAD_CREDENTIALS, 1, bad, token, &wrong, "(none)", "(none)",
         "1234567&password=" + std::string(pass_hash_vectors[1].pass_hash)},
        {"", QUERY_SHOWN, 2, balance_box, token, &remember, "(none)", good_pair},
        {"--fault status-500 --balance \"Сто двадцать\"", QUERY_SHOWN, 2,
         "Баланс (рублей): Сто двадцать\nДней абонентской платы (примерно): 31"},
        {"--fault endless --fault-path login --endless-limit 20000000", QUERY_NO_MEMORY, 1, ""},
        {"--fault no-token", QUERY_BAD_CREDENTIALS, 1, bad},
        {"--cert untrusted", QUERY_FETCH_FAILED, 0, refused},
        {"-", QUERY_TLS_REFUSED, 0, catalogue_utf8(tls_text)},
        {"--token \"a b\"", QUERY_SHOWN, 2, balance_box, "a%20b"},
        {"--token \"a\\b\tc \nrest\"", QUERY_SHOWN, 2, no_values, "a/bc"},
        {"--token \"tk\rX-Injected: 1\x7F\"", QUERY_SHOWN, 2, balance_box, "tk%0DX-Injected:%201%7F"},
        {"--token " + std::string(1100, 'x'), QUERY_SHOWN, 2, no_values, std::string(1002, 'x')},
    };
    freed_secrets = {password_hash, token};
#if defined(_WIN32)  // on Linux play's child looks at every block the call frees
    ASSERT_TRUE(watch_frees(true));
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options + " " + c.before);
        sim_stop();
        ASSERT_TRUE(c.options == "-" ||  // "-": nothing listens
                    sim_start("--address 127.0.0.1 --http-port 0 --account 1234567:" + password_hash + " " + c.options));
        put_settings(c.before);
        Played played = play(balance_command, c.answer);
        EXPECT_TRUE(played.wiped) << "a secret outlived the command";
        EXPECT_EQ(c.code, played.result);
        EXPECT_EQ(c.box, played.box);
        EXPECT_EQ(c.after, settings_bytes());
        std::string log = sim_log();
        EXPECT_EQ(c.requests, count_of(log, "\"event\": \"request\""));
        EXPECT_EQ(c.requests > 0 ? 1 : 0, count_of(log, "GET /user/v1/login?userName=" + c.login + " HTTP/1.0\"")) << log;
        EXPECT_EQ(c.requests / 2, count_of(log, "GET /user/v1/getDynamicInfo?token=" + c.sent + " HTTP/1.0\""));
    }
#if defined(_WIN32)
    watch_frees(false);
    EXPECT_EQ(0, freed_holding_secret);
#endif
    EXPECT_TRUE(play(log_in_only, &once).wiped);
    put_settings("(none)");
}

// Under any locale: the suite's own is "C" on Linux.
TEST(Utf8ToAnsi, KeepsEveryCharacter)
{
    char text[] = "1234.56";
    utf8_to_ansi(text);
    EXPECT_STREQ("1234.56", text);
}

#if defined(_WIN32)
// The formatting scratch on the stack is looked at alone: in a query later calls write over it.
TEST(FormatText, LeavesNoCopyOnTheStack)
{
    char method[128] = {};
    call_deeper([&] { format_text(method, sizeof method, "%s", password_hash.c_str()); });
    EXPECT_FALSE(stack_holds(password_hash));
}
#endif
}  // namespace
