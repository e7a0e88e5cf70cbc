// The login dialog as the user meets it (user_play also checks its icons, the
// hidden password and the focus whenever it shows).
#include "account/login_dialog.h"
#include "memory_probe_win.h"
#include "pass_hash_vectors.h"
#include "user_play.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>

namespace {
bool credentials_are(char pattern)
{
    return std::string(reinterpret_cast<const char*>(&app_state.credentials), sizeof app_state.credentials) ==
        std::string(sizeof app_state.credentials, pattern);
}

// Stand-ins for the crypto service's four steps, each failing.
BOOL WINAPI no_context(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD) { return FALSE; }
BOOL WINAPI no_hash_object(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*) { return FALSE; }
BOOL WINAPI no_hashing(HCRYPTHASH, const BYTE*, DWORD, DWORD) { return FALSE; }
BOOL WINAPI no_digest(HCRYPTHASH, DWORD, BYTE*, DWORD*, DWORD) { return FALSE; }

class LoginDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!can_play()) {
            GTEST_SKIP() << "no X display";
        }
    }
};

// The number is cut to 14 characters, then trimmed; an empty field is refused
// with text 2 and the dialog stays (the player then cancels it).
TEST_F(LoginDialog, AnswersGiveTheChoiceAndTheCutTrimmedNumberWithTheHash)
{
    const struct {
        LoginAnswer answer;
        int choice;
        const char* number;  // null: the credentials are left as they were
        const char* pass_hash;
        unsigned box;
    } cases[] = {
        {{"  1234567  ", "password", false}, LOGIN_ACCEPTED, "1234567", pass_hash_vectors[0].pass_hash, 0},
        {{"123456789012345678", "Password", true}, LOGIN_REMEMBER, "12345678901234", pass_hash_vectors[1].pass_hash, 0},
        {{"   12345678901234", "password", false}, LOGIN_ACCEPTED, "12345678901", pass_hash_vectors[0].pass_hash, 0},
        {{"", "password", true}, LOGIN_CANCELLED, "", "", 2},
        {{"1234567", "", true}, LOGIN_CANCELLED, "", "", 2},
        {{nullptr, nullptr, true}, LOGIN_CANCELLED, nullptr, nullptr, 0},
    };
    for (const auto& c : cases) {
        memset(&app_state.credentials, 'Q', sizeof app_state.credentials);
        Played played = play(show_login_dialog, &c.answer);
        std::string row = "row " + std::to_string(&c - cases);
        EXPECT_EQ(c.choice, played.result) << row;
        EXPECT_EQ(c.box != 0 ? catalogue_utf8(c.box) : "", played.box) << row;
        if (c.number == nullptr) {
            EXPECT_TRUE(credentials_are('Q')) << row;
            continue;
        }
        EXPECT_STREQ(c.number, app_state.credentials.contract_number) << row;
        EXPECT_STREQ(c.pass_hash, app_state.credentials.pass_hash) << row;
    }
}

// The Base64 and percent-encoding stages cannot fail with their fixed sizes
// (pass_hash.cpp proves it when it compiles); the crypto service's steps can.
TEST_F(LoginDialog, AFailingHashStageShowsText5WithItsCodeAndKeepsTheDialog)
{
    const struct {
        const char* function;
        void* refusal;
        unsigned code;
    } stages[] = {
        {"CryptAcquireContextA", reinterpret_cast<void*>(no_context), 22},
        {"CryptCreateHash", reinterpret_cast<void*>(no_hash_object), 23},
        {"CryptHashData", reinterpret_cast<void*>(no_hashing), 24},
        {"CryptGetHashParam", reinterpret_cast<void*>(no_digest), 25},
    };
    const LoginAnswer answer = {"1234567", "password", true};
    for (const auto& stage : stages) {
        void* system = replace_import(stage.function, stage.refusal);
        ASSERT_NE(nullptr, system) << stage.function;
        Played played = play(show_login_dialog, &answer);
        replace_import(stage.function, system);
        char box[256];
        snprintf(box, sizeof box, catalogue_utf8(5).c_str(), static_cast<unsigned long>(stage.code));
        EXPECT_EQ(box, played.box) << stage.function;
        EXPECT_EQ(LOGIN_CANCELLED, played.result) << stage.function;
        EXPECT_STREQ("", app_state.credentials.contract_number) << stage.function;
        EXPECT_STREQ("", app_state.credentials.pass_hash) << stage.function;
    }
}
}  // namespace
