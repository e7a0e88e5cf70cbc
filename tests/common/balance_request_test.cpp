// The Balance command and its query from end to end: the settings file in the
// working directory, the user asked for the credentials, the billing simulator
// on 127.0.0.1:443 (the test edition's API host), the box the user reads.
#include "account/balance_query.h"
#include "account/ini_file.h"
#include "account/settings.h"
#include "billing_sim.h"
#include "common/heap_text.h"
#include "pass_hash_vectors.h"
#include "user_play.h"

#if defined(_WIN32)
#include "memory_probe_win.h"
#endif

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {
namespace fs = std::filesystem;

const std::string password_hash = pass_hash_vectors[0].pass_hash;  // "password"
const std::string good_pair = "[General]\r\nusername=1234567\r\npasshash=" + password_hash + "\r\n";
const LoginAnswer with_remember = {"1234567", "password", true};
const LoginAnswer without_remember = {"1234567", "password", false};
const LoginAnswer wrong_password = {"1234567", "wrong", true};
const LoginAnswer cancel = {nullptr, nullptr, false};

std::string settings_bytes()
{
    std::ifstream in("Tarvelon.ini", std::ios::binary);
    std::stringstream bytes;
    if (!in) {
        return "(none)";
    }
    bytes << in.rdbuf();
    return bytes.str();
}

void put_settings(const std::string& bytes)
{
    std::ofstream("Tarvelon.ini", std::ios::binary) << bytes;
}

std::string stored(const char* key)
{
    char value[85] = "";
    ini_get(settings_bytes().c_str(), "General", key, value, sizeof value);
    return value;
}

std::string balance_box()
{
    return "Баланс (рублей): 1234.56\nДней абонентской платы (примерно): 31";
}

// Every command must end with the Credentials wiped.
Played command(const LoginAnswer* answer)
{
    Played played = play(balance_command, answer);
    EXPECT_TRUE(played.wiped) << "all 100 bytes of the Credentials are zero afterwards";
    return played;
}

class BalanceRequest : public SimTest {
protected:
    void SetUp() override
    {
        SimTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        if (!can_play()) {
            GTEST_SKIP() << "no X display";
        }
        directory = fs::temp_directory_path() /
            (std::string("balance_request.") + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory);
        fs::create_directories(directory / "other");
        home = fs::current_path();
        fs::current_path(directory);
    }
    void TearDown() override
    {
        SimTest::TearDown();
        if (!home.empty()) {  // a skipped test never left it
            fs::current_path(home);
            fs::remove_all(directory);
        }
    }
    // The simulator knows one account: `number` with the pass-hash of "password".
    bool start(const std::string& number = "1234567", const std::string& options = "")
    {
        return sim_start("--address 127.0.0.1 --http-port 0 --account " + number + ":" + password_hash + " " +
                         options);
    }
    fs::path directory;
    fs::path home;
};

TEST_F(BalanceRequest, StoredPairGoesStraightToTheQueryAndWritesNothing)
{
    ASSERT_TRUE(start());
    put_settings(good_pair);
    Played played = command(nullptr);
    EXPECT_EQ(0, played.result);
    EXPECT_EQ(balance_box(), played.box);
    EXPECT_EQ(good_pair, settings_bytes());
}

TEST_F(BalanceRequest, RememberWritesBothKeysAfterSuccessOnly)
{
    ASSERT_TRUE(start());
    EXPECT_EQ(0, command(&without_remember).result);
    EXPECT_EQ("(none)", settings_bytes());
    Played wrong = command(&wrong_password);
    EXPECT_EQ(1, wrong.result);
    EXPECT_EQ(catalogue_utf8(2), wrong.box);
    EXPECT_EQ("(none)", settings_bytes());

    Played played = command(&with_remember);
    EXPECT_EQ(0, played.result);
    EXPECT_EQ(balance_box(), played.box);
    EXPECT_EQ("1234567", stored("username"));
    EXPECT_EQ(password_hash, stored("passhash"));
    EXPECT_EQ(0, command(nullptr).result) << "the next command uses the stored pair";
}

TEST_F(BalanceRequest, CancelEndsSilentlyAndAStoredNumberWithALetterIsNothingStored)
{
    ASSERT_TRUE(start());
    put_settings("[General]\r\nusername=12a4567\r\npasshash=" + password_hash + "\r\n");
    const std::string before = settings_bytes();
    Played played = command(&cancel);
    EXPECT_EQ(BALANCE_CANCELLED, played.result);
    EXPECT_EQ("", played.box);
    EXPECT_EQ(before, settings_bytes());
    EXPECT_EQ("", sim_log());
}

TEST_F(BalanceRequest, Stored16DigitNumberIsUsedAsItsFirst14)
{
    ASSERT_TRUE(start("12345678901234"));
    put_settings("[General]\r\nusername=1234567890123456\r\npasshash=" + password_hash + "\r\n");
    EXPECT_EQ(0, command(nullptr).result);
    const std::string login = "\"request_line\": \"GET /user/v1/login?userName=12345678901234&password=";
    EXPECT_EQ(1, count_of(sim_log(), login + password_hash + " "));
    EXPECT_EQ("1234567890123456", stored("username"));
}

TEST_F(BalanceRequest, AnotherWorkingDirectoryHasItsOwnSettingsFile)
{
    ASSERT_TRUE(start());
    put_settings(good_pair);
    fs::current_path(directory / "other");
    EXPECT_EQ(0, command(&with_remember).result);
    EXPECT_EQ("1234567", stored("username"));
    fs::current_path(directory);
    EXPECT_EQ(good_pair, settings_bytes());
}

// Wine's WinINet reports a reset during the TLS handshake as a secure channel
// error (12157): fetch status 0, not 1.
#if defined(_WIN32)
const int handshake_reset_code = 2;
#else
const int handshake_reset_code = 3;
#endif

// Replies are read whatever their status; one without the balance elements
// still shows the template's two lines; a login reply that outgrows memory
// (code 4) shows nothing.  Each failure shows its own text, and a rejected
// stored pair stays stored.
TEST_F(BalanceRequest, EveryOutcomeHasItsCodeAndBox)
{
    const std::string failed[] = {"", catalogue_utf8(2), catalogue_utf8(3), catalogue_utf8(tls_failure_text())};
    const struct {
        const char* options;  // null: nothing listens
        const char* account;
        int code;
        std::string box;      // failed[code] when empty
        int requests;
    } cases[] = {
        {"--fault status-500", "1234567", 0, balance_box(), 2},
        {"--fault no-elements", "1234567", 0, "Баланс (рублей): \nДней абонентской платы (примерно): ", 2},
        {"--fault endless --fault-path login --endless-limit 20000000", "1234567", 4, "", 1},
        {"", "7654321", 1, "", 1},
        {"--fault no-token", "1234567", 1, "", 1},
        {"--cert untrusted", "1234567", 2, "", 0},
        {"--fault tls-reset", "1234567", handshake_reset_code, "", 0},
        {"--fault huge-length --fault-path getDynamicInfo", "1234567", 2, "", 2},
        {nullptr, "1234567", 3, "", 0},
    };
    put_settings(good_pair);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options != nullptr ? c.options : "refused");
        sim_stop();
        ASSERT_TRUE(c.options == nullptr || start(c.account, c.options));
        Played played = command(nullptr);
        EXPECT_EQ(c.code, played.result);
        EXPECT_EQ(c.box.empty() && c.code < 4 ? failed[c.code] : c.box, played.box);
        EXPECT_EQ(c.requests, count_of(sim_log(), "\"event\": \"request\""));
        EXPECT_EQ(good_pair, settings_bytes());
    }
}

void set_credentials(const char* number)
{
    strncpy(app_state.credentials.contract_number, number, sizeof app_state.credentials.contract_number - 1);
    strncpy(app_state.credentials.pass_hash, password_hash.c_str(), sizeof app_state.credentials.pass_hash - 1);
}

// Windows: the box is read in the ANSI code page (1251 under the suite's Russian locale).
TEST_F(BalanceRequest, QueryShowsTheCyrillicBalanceAfterTwoRequests)
{
    ASSERT_TRUE(start("1234567", "--balance \"Сто двадцать\" --balance-info 31"));
    set_credentials("1234567");
    Played played = play(query_balance, nullptr);
    EXPECT_EQ(0, played.result);
    EXPECT_EQ("Баланс (рублей): Сто двадцать\nДней абонентской платы (примерно): 31", played.box);
    std::string log = sim_log();
    EXPECT_EQ(1, count_of(log, "\"request_line\": \"GET /user/v1/login?userName=1234567&password=" + password_hash +
                                   " HTTP/1.0\"")) << log;
    EXPECT_EQ(1, count_of(log, "\"request_line\": \"GET /user/v1/getDynamicInfo?token=7f3a9c2e51b04d68 HTTP/1.0\"")) << log;
}

// The token goes into the second URL as the Windows edition sends it (WinINet
// writes a space as "%20" and every other byte as it is); the method part is cut
// at 1023 characters.
TEST_F(BalanceRequest, TheTokenGoesOutAsTheWindowsEditionSendsIt)
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
        ASSERT_TRUE(start("1234567", "--token \"" + c.token + "\""));
        set_credentials("1234567");
        EXPECT_EQ(0, play(query_balance, nullptr).result);
        EXPECT_EQ(1, count_of(sim_log(), "\"GET /user/v1/getDynamicInfo?token=" + c.sent + " HTTP/1.0\"")) << sim_log();
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

TEST_F(BalanceRequest, WorkingBufferIsWipedOnEveryPath)
{
    ASSERT_TRUE(start());
    set_credentials("1234567");
    EXPECT_EQ(0, play(query_over_work, nullptr).result);
    set_credentials("7654321");
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
    freed_holding_secret += bytes.find(password_hash) != std::string::npos || bytes.find(token) != std::string::npos;
    return system_local_free(block);
}

// No buffer of ours is released holding the pass-hash or the token.  The
// formatting scratch on the stack is looked at alone: in a query the later calls
// happen to write over it.
TEST_F(BalanceRequest, NoCopyOfThePassHashOrTheTokenOutlivesTheQuery)
{
    char method[128] = {};
    call_deeper([&] { format_text(method, sizeof method, "%s", password_hash.c_str()); });
    EXPECT_FALSE(stack_holds(password_hash.c_str()));
    ASSERT_TRUE(start());
    set_credentials("1234567");
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
