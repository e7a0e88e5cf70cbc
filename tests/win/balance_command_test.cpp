// The Balance command from end to end under Wine: settings file in the working
// directory, login dialog played by a second process, the billing simulator on
// 127.0.0.1:443 (the test edition's API host), the boxes the user sees.
#include "account/settings.h"
#include "billing_sim_win.h"
#include "login_driver_win.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace {
const char* const password_hash = pass_hash_vectors[0].pass_hash;  // "password"
const char settings_file[] = ".\\Tarvelon.ini";

bool credentials_all_zero()
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&app_state.credentials);
    for (size_t i = 0; i < sizeof app_state.credentials; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

std::string file_bytes(const std::string& path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "(none)";
    }
    char chunk[4096];
    DWORD count = 0;
    while (ReadFile(file, chunk, sizeof chunk, &count, nullptr) && count > 0) {
        bytes.append(chunk, count);
    }
    CloseHandle(file);
    return bytes;
}

std::string stored(const char* key, const std::string& path = settings_file)
{
    char value[128] = {};
    GetPrivateProfileStringA("General", key, "", value, sizeof value, path.c_str());
    return value;
}

void store(const char* username, const char* passhash)
{
    WritePrivateProfileStringA("General", "username", username, settings_file);
    WritePrivateProfileStringA("General", "passhash", passhash, settings_file);
}

class BalanceCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!sim_namespace() || !have_display()) {
            GTEST_SKIP() << "needs the test network namespace (TARVELON_TEST_NETNS=1) and an X display";
        }
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        directory = std::string(temp) + "balance_command_test." + std::to_string(GetCurrentProcessId()) + "." +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
        CreateDirectoryA(directory.c_str(), nullptr);
        remove_settings();  // Wine reuses process ids: an earlier run may have left one
        ASSERT_TRUE(SetCurrentDirectoryA(directory.c_str()));
        owner = make_owner("Tarvelon v2.6");
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override
    {
        remove_settings();
        if (started) {
            sim_stop(sim);
        }
        if (owner != nullptr) {
            DestroyWindow(owner);
        }
    }

    void remove_settings()
    {
        DeleteFileA((directory + "\\Tarvelon.ini").c_str());
        DeleteFileA((directory + "\\other\\Tarvelon.ini").c_str());
    }

    // The simulator knows one account: `number` with the pass-hash of "password".
    void start_sim(const std::string& number, const std::string& options = "")
    {
        std::string name = std::string("bc_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        sim = sim_start(name.c_str(),
                        "--address 127.0.0.1 --http-port 0 --account " + number + ":" + password_hash + " " + options);
        started = true;
        ASSERT_TRUE(sim.ready) << "billing simulator did not start";
    }

    int run(const std::vector<std::string>& steps)
    {
        int result = run_with_driver(balance_command, owner, steps);
        EXPECT_TRUE(credentials_all_zero()) << "all 100 bytes of the Credentials are zero afterwards";
        return result;
    }

    // The request lines of the login requests, one a line.
    std::string logins()
    {
        const std::string marker = "\"request_line\": \"";
        std::string log = sim_log(sim);
        std::string lines;
        for (size_t at = log.find(marker + "GET /user/v1/login?"); at != std::string::npos;
             at = log.find(marker + "GET /user/v1/login?", at + 1)) {
            at += marker.size();
            lines += log.substr(at, log.find(' ', at + 4) - at) + "\n";
        }
        return lines;
    }

    std::string directory;
    HWND owner = nullptr;
    SimRun sim;
    bool started = false;
};

}  // namespace

TEST_F(BalanceCommand, StoredPairGoesStraightToTheQueryAndWritesNothing)
{
    start_sim("1234567");
    store("1234567", password_hash);
    const std::string before = file_bytes(settings_file);
    EXPECT_EQ(run({"boxhas=31@title"}), 0);
    EXPECT_EQ(file_bytes(settings_file), before);
    EXPECT_EQ(logins(), std::string("GET /user/v1/login?userName=1234567&password=") + password_hash + "\n");
}

TEST_F(BalanceCommand, DialogWithRememberWritesBothKeysAfterSuccess)
{
    start_sim("1234567");
    EXPECT_EQ(run({"wait", "set=100=1234567", "set=101=password", "tick=102", "click=1", "boxhas=1234.56@title"}),
              0);
    EXPECT_EQ(stored("username"), "1234567");
    EXPECT_EQ(stored("passhash"), password_hash);
}

TEST_F(BalanceCommand, DialogWithoutRememberWritesNothing)
{
    start_sim("1234567");
    EXPECT_EQ(run({"wait", "set=100=1234567", "set=101=password", "click=1", "boxhas=1234.56@title"}), 0);
    EXPECT_EQ(file_bytes(settings_file), "(none)");
}

TEST_F(BalanceCommand, FailedQueryWritesNothingEvenWithRemember)
{
    start_sim("1234567");
    EXPECT_EQ(run({"wait", "set=100=1234567", "set=101=wrong", "tick=102", "click=1", "box=2@title"}), 1);
    EXPECT_EQ(file_bytes(settings_file), "(none)");
}

TEST_F(BalanceCommand, CancelEndsSilently)
{
    start_sim("1234567");
    EXPECT_EQ(run({"wait", "set=100=1234567", "click=2", "gone", "nobox"}), BALANCE_CANCELLED);
    EXPECT_EQ(sim_log(sim), "");
}

TEST_F(BalanceCommand, StoredUsernameWithALetterCountsAsNothingStored)
{
    start_sim("1234567");
    store("12a4567", password_hash);
    const std::string before = file_bytes(settings_file);
    EXPECT_EQ(run({"wait", "click=2", "gone"}), BALANCE_CANCELLED);
    EXPECT_EQ(file_bytes(settings_file), before);
}

TEST_F(BalanceCommand, Stored16DigitUsernameIsUsedAsItsFirst14)
{
    start_sim("12345678901234");
    store("1234567890123456", password_hash);
    EXPECT_EQ(run({"boxhas=1234.56@title"}), 0);
    EXPECT_EQ(logins(), std::string("GET /user/v1/login?userName=12345678901234&password=") + password_hash + "\n");
    EXPECT_EQ(stored("username"), "1234567890123456");
}

TEST_F(BalanceCommand, AnotherWorkingDirectoryHasItsOwnSettingsFile)
{
    start_sim("1234567");
    store("1234567", password_hash);
    const std::string first = directory + "\\Tarvelon.ini";
    const std::string before = file_bytes(first);
    std::string other = directory + "\\other";
    CreateDirectoryA(other.c_str(), nullptr);
    ASSERT_TRUE(SetCurrentDirectoryA(other.c_str()));
    EXPECT_EQ(run({"wait", "set=100=1234567", "set=101=password", "tick=102", "click=1", "boxhas=1234.56@title"}),
              0);
    EXPECT_EQ(stored("username", other + "\\Tarvelon.ini"), "1234567");
    EXPECT_EQ(file_bytes(first), before);
}

TEST_F(BalanceCommand, EachFailureShowsItsOwnTextCaptionedWithTheTitle)
{
    start_sim("1234567");
    store("1234567", pass_hash_vectors[1].pass_hash);  // a stored pair the provider rejects
    EXPECT_EQ(run({"box=2@title"}), 1);
    EXPECT_EQ(stored("passhash"), pass_hash_vectors[1].pass_hash) << "a rejected pair stays stored";
    sim_stop(sim);

    store("1234567", password_hash);
    start_sim("1234567", "--fault tls-reset --fault-path getDynamicInfo");
    EXPECT_EQ(run({"box=3@title"}), 2);
    sim_stop(sim);

    // Nothing listens on port 443: the secure connection is refused.
    EXPECT_EQ(run({"box=4@title"}), 3);
}
