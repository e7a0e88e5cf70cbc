// The login dialog as the user meets it: shown here, driven from a second
// process (login_dialog_driver) that types, clicks and reads the boxes.
#include "account/login_dialog.h"
#include "login_driver_win.h"
#include "memory_probe_win.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
// Wine answers WM_GETICON from another process with 0: the icons are looked at from inside.
LRESULT seen_big_icon = 0;
LRESULT seen_small_icon = 0;

BOOL CALLBACK look_at_dialog_icons(HWND window, LPARAM)
{
    if (GetDlgItem(window, 100) != nullptr) {
        seen_big_icon = SendMessageA(window, WM_GETICON, ICON_BIG, 0);
        seen_small_icon = SendMessageA(window, WM_GETICON, ICON_SMALL, 0);
    }
    return TRUE;
}

VOID CALLBACK look_at_icons(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), look_at_dialog_icons, 0);
}

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
        if (getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "no X display";
        }
        owner = make_owner("Tarvelon v2.6");
        memset(&app_state.credentials, 'Q', sizeof app_state.credentials);
    }
    void TearDown() override { DestroyWindow(owner); }
    int run_dialog(const std::vector<std::string>& steps) { return run_with_driver(show_login_dialog, owner, steps); }
    HWND owner = nullptr;
};

TEST_F(LoginDialog, EmptyFieldsShowText2AndKeepTheDialogWithFocusOnTheNumber)
{
    EXPECT_EQ(LOGIN_CANCELLED, run_dialog({"wait", "focus=100", "click=1", "box=2", "focus=100", "set=101=password",
                                           "click=1", "box=2", "focus=100", "click=2", "gone"}));
    EXPECT_STREQ("", app_state.credentials.contract_number);
    EXPECT_STREQ("", app_state.credentials.pass_hash);
}

// The number is cut to 14 characters, then trimmed.
TEST_F(LoginDialog, AcceptedNumbersAreCutTrimmedAndThePasswordHashed)
{
    const struct {
        const char* number;
        const char* password;
        bool remember;
        int choice;
        const char* valid_number;
        const char* pass_hash;
    } cases[] = {
        {"  1234567  ", "password", false, LOGIN_ACCEPTED, "1234567", pass_hash_vectors[0].pass_hash},
        {"123456789012345678", "Password", true, LOGIN_REMEMBER, "12345678901234", pass_hash_vectors[1].pass_hash},
        {"   12345678901234", "password", false, LOGIN_ACCEPTED, "12345678901", pass_hash_vectors[0].pass_hash},
    };
    for (const auto& c : cases) {
        std::vector<std::string> steps = {"wait", std::string("set=100=") + c.number,
                                          std::string("set=101=") + c.password};
        if (c.remember) {
            steps.push_back("tick=102");
        }
        steps.insert(steps.end(), {"click=1", "gone"});
        EXPECT_EQ(c.choice, run_dialog(steps)) << c.number;
        EXPECT_STREQ(c.valid_number, app_state.credentials.contract_number);
        EXPECT_STREQ(c.pass_hash, app_state.credentials.pass_hash);
    }
}

TEST_F(LoginDialog, CancelEscAndTheCloseBoxGive0AndLeaveTheCredentials)
{
    for (const char* ending : {"click=2", "key=esc", "close"}) {
        EXPECT_EQ(LOGIN_CANCELLED,
                  run_dialog({"wait", "set=100=1234567", "set=101=password", "tick=102", ending, "gone"}))
            << ending;
        EXPECT_TRUE(credentials_are('Q')) << ending;
    }
}

// The Base64 and percent-encoding stages cannot fail with their fixed sizes
// (pass_hash.cpp proves it when it compiles); the crypto service's steps can.
TEST_F(LoginDialog, AFailingHashStageShowsText5WithItsCodeAndKeepsTheDialog)
{
    const struct {
        const char* function;
        void* refusal;
        const char* box;
    } stages[] = {
        {"CryptAcquireContextA", reinterpret_cast<void*>(no_context), "box=5:22"},
        {"CryptCreateHash", reinterpret_cast<void*>(no_hash_object), "box=5:23"},
        {"CryptHashData", reinterpret_cast<void*>(no_hashing), "box=5:24"},
        {"CryptGetHashParam", reinterpret_cast<void*>(no_digest), "box=5:25"},
    };
    for (const auto& stage : stages) {
        void* system = replace_import(stage.function, stage.refusal);
        ASSERT_NE(nullptr, system) << stage.function;
        int choice = run_dialog({"wait", "set=100=1234567", "set=101=password", "tick=102", "click=1", stage.box,
                                 "focus=100", "click=2", "gone"});
        replace_import(stage.function, system);
        EXPECT_EQ(LOGIN_CANCELLED, choice) << stage.function;
        EXPECT_STREQ("", app_state.credentials.contract_number) << stage.function;
        EXPECT_STREQ("", app_state.credentials.pass_hash) << stage.function;
    }
}

// Also leaves a picture of the dialog in the build tree for a person to look at.
TEST_F(LoginDialog, ShowsTheOwnersIconsAndTheRussianTexts)
{
    const char* build = getenv("TARVELON_BUILD_DIR");
    ASSERT_NE(nullptr, build);
    std::string directory = std::string(build) + "/screenshots";
    CreateDirectoryA(("Z:" + directory).c_str(), nullptr);
    UINT_PTR look = SetTimer(nullptr, 0, 200, look_at_icons);
    EXPECT_EQ(LOGIN_CANCELLED, run_dialog({"wait", "texts", "set=100=1234567", "set=101=password", "tick=102",
                                           "shot=" + directory + "/login_dialog.png", "click=2", "gone"}));
    KillTimer(nullptr, look);
    EXPECT_EQ(static_cast<LRESULT>(GetClassLongPtrA(owner, GCLP_HICON)), seen_big_icon);
    EXPECT_EQ(static_cast<LRESULT>(GetClassLongPtrA(owner, GCLP_HICONSM)), seen_small_icon);
    EXPECT_NE(0, seen_small_icon);
}
}  // namespace
