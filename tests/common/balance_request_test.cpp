// The Balance command from end to end: the settings file in the working
// directory, the user asked for the credentials, the billing simulator on
// 127.0.0.1:443 (the test edition's API host), the box the user reads.
#include "account/ini_file.h"
#include "account/settings.h"
#include "billing_sim.h"
#include "pass_hash_vectors.h"
#include "user_play.h"

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

// Replies are read whatever their status; one without the balance elements
// still shows the template's two lines; a login reply that outgrows memory
// (code 4) shows nothing.
TEST_F(BalanceRequest, RepliesAreReadWhateverTheirStatus)
{
    const struct {
        const char* options;
        int code;
        std::string box;
    } cases[] = {
        {"--fault status-500", 0, balance_box()},
        {"--fault no-elements", 0, "Баланс (рублей): \nДней абонентской платы (примерно): "},
        {"--fault endless --fault-path login --endless-limit 20000000", 4, ""},
    };
    put_settings(good_pair);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        sim_stop();
        ASSERT_TRUE(start("1234567", c.options));
        Played played = command(nullptr);
        EXPECT_EQ(c.code, played.result);
        EXPECT_EQ(c.box, played.box);
    }
}

// A rejected stored pair stays stored.
TEST_F(BalanceRequest, EachFailureShowsItsOwnText)
{
    ASSERT_TRUE(start());
    const std::string rejected = "[General]\r\nusername=7654321\r\npasshash=" + password_hash + "\r\n";
    put_settings(rejected);
    Played played = command(nullptr);
    EXPECT_EQ(1, played.result);
    EXPECT_EQ(catalogue_utf8(2), played.box);
    EXPECT_EQ(rejected, settings_bytes());
    sim_stop();

    put_settings(good_pair);
    ASSERT_TRUE(start("1234567", "--fault huge-length --fault-path getDynamicInfo"));
    played = command(nullptr);
    EXPECT_EQ(2, played.result);
    EXPECT_EQ(catalogue_utf8(3), played.box);
    sim_stop();

    played = command(nullptr);  // nothing listens on 443
    EXPECT_EQ(3, played.result);
    EXPECT_EQ(catalogue_utf8(tls_failure_text()), played.box);
}
}  // namespace
