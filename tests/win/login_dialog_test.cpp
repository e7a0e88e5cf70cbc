// The login dialog as the user meets it: shown here, driven from a second
// process (login_dialog_driver) that types, clicks and reads the boxes.
#include "account/login_dialog.h"
#include "login_driver_win.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
// The icons the dialog carries, looked at from inside: Wine answers WM_GETICON
// from another process with 0.
LRESULT seen_big_icon = 0;
LRESULT seen_small_icon = 0;

VOID CALLBACK look_at_icons(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM) -> BOOL {
            if (GetDlgItem(window, 100) != nullptr) {
                seen_big_icon = SendMessageA(window, WM_GETICON, ICON_BIG, 0);
                seen_small_icon = SendMessageA(window, WM_GETICON, ICON_SMALL, 0);
            }
            return TRUE;
        },
        0);
}

class LoginDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!have_display()) {
            GTEST_SKIP() << "no X display";
        }
        owner = make_owner("Tarvelon v2.6");
        ASSERT_NE(owner, nullptr);
    }
    void TearDown() override
    {
        if (owner != nullptr) {
            DestroyWindow(owner);
        }
    }

    int run_dialog(const std::vector<std::string>& steps)
    {
        return run_with_driver(show_login_dialog, owner, steps);
    }

    HWND owner = nullptr;
};

void fill_credentials(char pattern)
{
    memset(&app_state.credentials, pattern, sizeof app_state.credentials);
}

bool credentials_are(char pattern)
{
    const char* bytes = reinterpret_cast<const char*>(&app_state.credentials);
    for (size_t i = 0; i < sizeof app_state.credentials; ++i) {
        if (bytes[i] != pattern) {
            return false;
        }
    }
    return true;
}

// A DLGTEMPLATE text or ordinal: returns the text (ordinals as "#N") and moves on.
std::wstring take_text(const WORD** at)
{
    if (**at == 0xFFFF) {
        std::wstring ordinal = L"#" + std::to_wstring((*at)[1]);
        *at += 2;
        return ordinal;
    }
    std::wstring text = reinterpret_cast<const wchar_t*>(*at);
    *at += text.size() + 1;
    return text;
}

struct ControlLayout {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    const wchar_t* window_class;
    const wchar_t* text;
};
}  // namespace

TEST(LoginDialogResource, MatchesTheLayoutTable)
{
    HRSRC found = FindResourceExA(nullptr, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(100), MAKELANGID(0x19, 0x01));
    ASSERT_NE(found, nullptr) << "dialog 100, language Russian";
    const DLGTEMPLATE* dialog = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, found)));
    EXPECT_EQ(dialog->style, 0x80C808C0u);
    EXPECT_EQ(dialog->cx, 200);
    EXPECT_EQ(dialog->cy, 115);
    ASSERT_EQ(dialog->cdit, 7);
    const WORD* at = reinterpret_cast<const WORD*>(dialog + 1);
    EXPECT_EQ(take_text(&at), L"");  // no menu
    EXPECT_EQ(take_text(&at), L"");  // the dialog class
    EXPECT_EQ(take_text(&at), L"Просмотр баланса лицевого счёта");
    EXPECT_EQ(*at++, 8);
    EXPECT_EQ(take_text(&at), L"MS Sans Serif");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const ControlLayout expected[] = {
        {child | WS_GROUP | SS_LEFT, 10, 10, 70, 8, 0xFFFF, L"#130", L"Номер договора:"},
        {child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, 20, 170, 13, 100, L"#129", L""},
        {child | WS_GROUP | SS_LEFT, 10, 40, 70, 8, 0xFFFF, L"#130", L"Пароль:"},
        {child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, 10, 50, 170, 13, 101, L"#129", L""},
        {child | WS_TABSTOP | BS_AUTOCHECKBOX, 10, 70, 120, 13, 102, L"#128", L"Запомнить указанные данные"},
        {child | WS_TABSTOP | BS_DEFPUSHBUTTON, 55, 90, 45, 15, 1, L"#128", L"OK"},
        {child | WS_TABSTOP | BS_PUSHBUTTON, 105, 90, 45, 15, 2, L"#128", L"Отмена"},
    };
    for (const ControlLayout& control : expected) {
        at = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(at) + 3) & ~uintptr_t(3));
        const DLGITEMTEMPLATE* item = reinterpret_cast<const DLGITEMTEMPLATE*>(at);
        SCOPED_TRACE(testing::Message() << "control " << control.id);
        EXPECT_EQ(item->style, control.style);
        EXPECT_EQ(item->x, control.x);
        EXPECT_EQ(item->y, control.y);
        EXPECT_EQ(item->cx, control.cx);
        EXPECT_EQ(item->cy, control.cy);
        EXPECT_EQ(item->id, control.id);
        at = reinterpret_cast<const WORD*>(item + 1);
        EXPECT_EQ(take_text(&at), control.window_class);
        EXPECT_EQ(take_text(&at), control.text);
        at += 1 + *at / sizeof(WORD);  // creation data
    }
}

TEST_F(LoginDialog, EmptyFieldsShowText2AndKeepTheDialogWithFocusOnTheNumber)
{
    fill_credentials('Q');
    int choice = run_dialog({"wait", "focus=100", "click=1", "box=2@dialog", "focus=100", "set=101=password",
                             "click=1", "box=2@dialog", "focus=100", "click=2", "gone"});
    EXPECT_EQ(choice, LOGIN_CANCELLED);
    EXPECT_STREQ(app_state.credentials.contract_number, "");
    EXPECT_STREQ(app_state.credentials.pass_hash, "");
}

TEST_F(LoginDialog, NumberWithSpacesIsTrimmedAndThePasswordHashed)
{
    int choice = run_dialog({"wait", "set=100=  1234567  ", "set=101=password", "click=1", "gone", "nobox"});
    EXPECT_EQ(choice, LOGIN_ACCEPTED);
    EXPECT_STREQ(app_state.credentials.contract_number, "1234567");
    EXPECT_STREQ(app_state.credentials.pass_hash, pass_hash_vectors[0].pass_hash);
}

TEST_F(LoginDialog, NumberIsCutTo14CharactersBeforeItIsTrimmed)
{
    EXPECT_EQ(run_dialog({"wait", "set=100=123456789012345678", "set=101=Password", "click=1", "gone"}),
              LOGIN_ACCEPTED);
    EXPECT_STREQ(app_state.credentials.contract_number, "12345678901234");
    EXPECT_STREQ(app_state.credentials.pass_hash, pass_hash_vectors[1].pass_hash);

    EXPECT_EQ(run_dialog({"wait", "set=100=   12345678901234", "set=101=a", "click=1", "gone"}), LOGIN_ACCEPTED);
    EXPECT_STREQ(app_state.credentials.contract_number, "12345678901");
}

TEST_F(LoginDialog, RememberTickedGives2AndEnterAccepts)
{
    EXPECT_EQ(run_dialog({"wait", "set=100=7654321", "set=101=password", "tick=102", "click=1", "gone"}),
              LOGIN_REMEMBER);
    EXPECT_STREQ(app_state.credentials.contract_number, "7654321");
    EXPECT_EQ(run_dialog({"wait", "set=100=7654321", "set=101=password", "key=enter", "gone"}), LOGIN_ACCEPTED);
}

TEST_F(LoginDialog, CancelEscAndTheCloseBoxGive0AndLeaveTheCredentials)
{
    const std::vector<std::string> endings[] = {{"click=2"}, {"key=esc"}, {"close"}};
    for (const std::vector<std::string>& ending : endings) {
        fill_credentials('Q');
        std::vector<std::string> steps = {"wait", "set=100=1234567", "set=101=password", "tick=102"};
        steps.insert(steps.end(), ending.begin(), ending.end());
        steps.push_back("gone");
        EXPECT_EQ(run_dialog(steps), LOGIN_CANCELLED) << ending[0];
        EXPECT_TRUE(credentials_are('Q')) << ending[0];
    }
}

// Also leaves a picture of the dialog in the build tree for a person to look at.
TEST_F(LoginDialog, ShowsTheOwnersIconAndTheRussianTexts)
{
    const char* build = getenv("TARVELON_BUILD_DIR");
    ASSERT_NE(build, nullptr);
    std::string directory = std::string(build) + "/screenshots";
    CreateDirectoryA(("Z:" + directory).c_str(), nullptr);
    UINT_PTR look = SetTimer(nullptr, 0, 200, look_at_icons);
    EXPECT_EQ(run_dialog({"wait", "texts", "set=100=1234567", "set=101=password", "tick=102",
                          "shot=" + directory + "/login_dialog.png", "set=100=", "click=1", "seebox",
                          "shot=" + directory + "/login_dialog_box.png", "box=2@dialog", "click=2", "gone"}),
              LOGIN_CANCELLED);
    KillTimer(nullptr, look);
    EXPECT_EQ(seen_big_icon, static_cast<LRESULT>(GetClassLongPtrA(owner, GCLP_HICON)));
    EXPECT_EQ(seen_small_icon, static_cast<LRESULT>(GetClassLongPtrA(owner, GCLP_HICONSM)));
    EXPECT_NE(seen_small_icon, 0);
}
