// The login dialog as the user meets it (user_play checks its icons, password style and focus).
#include "account/login_dialog.h"
#include "account/pass_hash.h"
#include "common/texts.h"
#include "memory_probe_win.h"
#include "user_play.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstring>
#include <string>

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
    const LoginAnswer typed = {"1234567", "password", true};
    const struct {
        LoginAnswer answer;
        int choice;
        const char* number;  // null: the credentials are left as they were
        const char* pass_hash;
        unsigned box;           // catalogue text, 0 for none
        const char* failing;    // the crypto service's step made to fail
        void* refusal;
        int code;               // shown in the hash-error box
    } cases[] = {
#define LOGIN_ROW(number, password, remember, choice, stored, pass_hash, box) \
    {{number, password, remember}, choice, stored, pass_hash, box, nullptr, nullptr, 0},
#include "login_rows.inc"
#undef LOGIN_ROW
        {{nullptr, nullptr, true}, LOGIN_CANCELLED, nullptr, nullptr, 0, nullptr, nullptr, 0},
        {typed, LOGIN_CANCELLED, "", "", TEXT_HASH_ERROR, "CryptAcquireContextA", reinterpret_cast<void*>(no_context),
         STAGE_SHA1 + DIGEST_NO_CONTEXT},
        {typed, LOGIN_CANCELLED, "", "", TEXT_HASH_ERROR, "CryptCreateHash", reinterpret_cast<void*>(no_hash_object),
         STAGE_SHA1 + DIGEST_NO_HASH_OBJECT},
        {typed, LOGIN_CANCELLED, "", "", TEXT_HASH_ERROR, "CryptHashData", reinterpret_cast<void*>(no_hashing),
         STAGE_SHA1 + DIGEST_HASHING_FAILED},
        {typed, LOGIN_CANCELLED, "", "", TEXT_HASH_ERROR, "CryptGetHashParam", reinterpret_cast<void*>(no_digest),
         STAGE_SHA1 + DIGEST_NOT_DELIVERED},
    };
    for (const auto& c : cases) {
        memset(&app_state.credentials, 'Q', sizeof app_state.credentials);
        std::string row = "row " + std::to_string(&c - cases);
        void* system = c.failing != nullptr ? replace_import(c.failing, c.refusal) : nullptr;
        ASSERT_TRUE(c.failing == nullptr || system != nullptr) << row;
        Played played = play(show_login_dialog, &c.answer);
        if (c.failing != nullptr) {
            replace_import(c.failing, system);
        }
        char box[256] = "";
        snprintf(box, sizeof box, catalogue_utf8(c.box).c_str(), static_cast<unsigned long>(c.code));
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
