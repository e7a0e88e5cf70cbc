// The login dialog as the user meets it (user_play checks its icons, password style and focus).
#include "account/login_dialog.h"
#include "memory_probe_win.h"
#include "pass_hash_vectors.h"
#include "user_play.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>
#include <utility>

namespace {
// Stand-ins for the crypto service's four steps, each failing.
BOOL WINAPI no_context(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD) { return FALSE; }
BOOL WINAPI no_hash_object(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*) { return FALSE; }
BOOL WINAPI no_hashing(HCRYPTHASH, const BYTE*, DWORD, DWORD) { return FALSE; }
BOOL WINAPI no_digest(HCRYPTHASH, DWORD, BYTE*, DWORD*, DWORD) { return FALSE; }

// Of the hashing stages only the crypto service's steps can fail: Base64 and percent-encoding cannot with
// their fixed sizes (pass_hash.cpp proves it when it compiles).  A box keeps the dialog; the player cancels.
TEST(LoginDialog, AnswersGiveTheChoiceTheCutTrimmedNumberAndTheHashOrABox)
{
    if (!can_play()) {
        GTEST_SKIP() << "no X display";
    }
    const std::pair<const char*, void*> failing_steps[] = {  // function, its refusal
        {"CryptAcquireContextA", reinterpret_cast<void*>(no_context)},
        {"CryptCreateHash", reinterpret_cast<void*>(no_hash_object)},
        {"CryptHashData", reinterpret_cast<void*>(no_hashing)},
        {"CryptGetHashParam", reinterpret_cast<void*>(no_digest)},
    };
    const LoginAnswer typed = {"1234567", "password", true};
    const struct {
        LoginAnswer answer;
        int choice;
        const char* number;  // null: the credentials are left as they were
        const char* pass_hash;
        unsigned box;  // catalogue text; over 5, the code in text 5 (failing_steps[code - 22] fails)
    } cases[] = {
        {{"  1234567  ", "password", false}, LOGIN_ACCEPTED, "1234567", pass_hash_vectors[0].pass_hash, 0},
        {{"123456789012345678", "Password", true}, LOGIN_REMEMBER, "12345678901234", pass_hash_vectors[1].pass_hash, 0},
        {{"   12345678901234", "password", false}, LOGIN_ACCEPTED, "12345678901", pass_hash_vectors[0].pass_hash, 0},
        {{"", "password", true}, LOGIN_CANCELLED, "", "", 2},
        {{"1234567", "", true}, LOGIN_CANCELLED, "", "", 2},
        {{nullptr, nullptr, true}, LOGIN_CANCELLED, nullptr, nullptr, 0},
        {typed, LOGIN_CANCELLED, "", "", 22},
        {typed, LOGIN_CANCELLED, "", "", 23},
        {typed, LOGIN_CANCELLED, "", "", 24},
        {typed, LOGIN_CANCELLED, "", "", 25},
    };
    for (const auto& c : cases) {
        memset(&app_state.credentials, 'Q', sizeof app_state.credentials);
        std::string row = "row " + std::to_string(&c - cases);
        const char* failing = c.box > 5 ? failing_steps[c.box - 22].first : nullptr;
        void* system = failing != nullptr ? replace_import(failing, failing_steps[c.box - 22].second) : nullptr;
        ASSERT_TRUE(failing == nullptr || system != nullptr) << row;
        Played played = play(show_login_dialog, &c.answer);
        if (failing != nullptr) {
            replace_import(failing, system);
        }
        char box[256] = "";
        snprintf(box, sizeof box, catalogue_utf8(c.box > 5 ? 5 : c.box).c_str(), static_cast<unsigned long>(c.box));
        EXPECT_EQ(c.choice, played.result) << row;
        EXPECT_EQ(c.box != 0 ? box : "", played.box) << row;
        if (c.number == nullptr) {
            const std::string untouched(sizeof app_state.credentials, 'Q');
            EXPECT_EQ(0, memcmp(&app_state.credentials, untouched.data(), untouched.size())) << row;
            continue;
        }
        EXPECT_STREQ(c.number, app_state.credentials.contract_number) << row;
        EXPECT_STREQ(c.pass_hash, app_state.credentials.pass_hash) << row;
    }
}
}  // namespace
