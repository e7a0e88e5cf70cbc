// The login dialog as the user meets it (user_play checks its icons, password style and focus), and the menu.
#include "account/login_dialog.h"
#include "account/pass_hash.h"
#include "common/texts.h"
#include "memory_probe_win.h"
#include "user_play.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

namespace {
BOOL WINAPI no_crypto_context(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD) { return FALSE; }

// Only the crypto service's hashing steps can fail (Base64 and percent-encoding have fixed sizes).
// A box keeps the dialog; the player cancels it.
TEST(LoginDialog, AnswersGiveTheChoiceTheCutTrimmedNumberAndTheHashOrABox)
{
    const struct {
        LoginAnswer answer;
        int choice;
        const char* number;
        const char* pass_hash;
        unsigned box;        // catalogue text, 0 for none
        bool no_crypto;      // the crypto service fails; its code is shown in the box
    } cases[] = {
#define LOGIN_ROW(number, password, remember, choice, stored, pass_hash, box) \
    {{number, password, remember}, choice, stored, pass_hash, box, false},
#include "login_rows.inc"
#undef LOGIN_ROW
        {{"1234567", "password", true}, LOGIN_CANCELLED, "", "", TEXT_HASH_ERROR, true},
    };
    freed_secrets = {"assword"};  // a typed "password" or "Password"
    ASSERT_TRUE(watch_frees(true));
    for (const auto& c : cases) {
        memset(&app_state.credentials, 'Q', sizeof app_state.credentials);
        std::string row = "row " + std::to_string(&c - cases);
        void* system = c.no_crypto ? replace_import("CryptAcquireContextA", reinterpret_cast<void*>(no_crypto_context))
                                   : nullptr;
        Played played = play(show_login_dialog, &c.answer);
        if (system != nullptr) {
            replace_import("CryptAcquireContextA", system);
        }
        char box[256] = "";
        snprintf(box, sizeof box, catalogue_utf8(c.box).c_str(),
                 static_cast<unsigned long>(STAGE_SHA1 + DIGEST_NO_CONTEXT));
        EXPECT_EQ(c.choice, played.result) << row;
        EXPECT_EQ(c.box != 0 ? box : "", played.box) << row;
        EXPECT_STREQ(c.number, app_state.credentials.contract_number) << row;
        EXPECT_STREQ(c.pass_hash, app_state.credentials.pass_hash) << row;
    }
    watch_frees(false);
    EXPECT_EQ(0, freed_holding_secret);
}

// The tray menu's items carry the commands the main window acts on.
TEST(Resources, MenuItemsCarryTheirCommands)
{
    HMENU items = GetSubMenu(LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(100)), 0);
    EXPECT_EQ(102u, GetMenuItemID(items, 0));
    EXPECT_EQ(101u, GetMenuItemID(GetSubMenu(items, 2), 0));
    EXPECT_EQ(103u, GetMenuItemID(GetSubMenu(items, 2), 1));
}
}  // namespace
