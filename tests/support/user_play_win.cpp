// The user is a timer of this thread: the modal loops of the login dialog and
// of the boxes dispatch it, so it plays them without a second thread or process.
#include "user_play.h"

#include "billing_sim.h"
#include "memory_probe_win.h"

#include <windows.h>

namespace {
// A tick comes only while a modal loop waits for messages: never between a
// window's creation and its set-up, nor before what the player posted is handled.
struct Player {
    const LoginAnswer* answer;
    HWND login;        // the login dialog answered
    std::string text;  // of the first box
};
Player player;

BOOL CALLBACK find_dialog(HWND window, LPARAM found)
{
    char class_name[16] = "";
    GetClassNameA(window, class_name, sizeof class_name);
    if (strcmp(class_name, "#32770") != 0 || !IsWindowVisible(window)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return GetDlgItem(window, 100) != nullptr;  // a box over the login dialog wins
}

std::string utf8_of(const wchar_t* text)
{
    char utf8[8192] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

std::string text_of(HWND window)
{
    wchar_t text[2048] = L"";
    GetWindowTextW(window, text, 2048);
    return utf8_of(text);
}

// Back after a box, the dialog is cancelled.
void play_login(HWND dialog)
{
    EXPECT_EQ("Просмотр баланса лицевого счёта", text_of(dialog));
    EXPECT_EQ(GetDlgItem(dialog, 100), GetFocus()) << "the focus";
    EXPECT_NE(0, GetWindowLongA(GetDlgItem(dialog, 101), GWL_STYLE) & ES_PASSWORD);
    const LoginAnswer* answer = player.answer;
    if (answer == nullptr || answer->number == nullptr || dialog == player.login) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    } else {
        SetDlgItemTextA(dialog, 100, answer->number);
        SetDlgItemTextA(dialog, 101, answer->password);
        CheckDlgButton(dialog, 102, answer->remember ? BST_CHECKED : BST_UNCHECKED);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }
    player.login = dialog;
}

// Wine leaves a box's modality and z-order flags unapplied: they are checked as given.
decltype(&MessageBoxA) system_box;
int WINAPI checked_box(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    EXPECT_EQ(UINT{MB_TASKMODAL | MB_TOPMOST}, type & (MB_MODEMASK | MB_TOPMOST)) << "a task-modal, topmost box";
    return system_box(owner, text, caption, type);
}

VOID CALLBACK play_tick(HWND, UINT, UINT_PTR, DWORD)
{
    HWND window = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), find_dialog, reinterpret_cast<LPARAM>(&window));
    if (window != nullptr && GetDlgItem(window, 100) != nullptr) {
        play_login(window);
    } else if (window != nullptr) {
        if (player.text.empty()) {
            player.text = text_of(GetDlgItem(window, 0xFFFF));
        }
        EXPECT_EQ(text_of(GetWindow(window, GW_OWNER)), text_of(window)) << "the box's caption";
        PostMessageA(window, WM_COMMAND, IDOK, 0);
    }
}
}  // namespace

Played play(int (*call)(WindowHandle), const LoginAnswer* answer)
{
    player = Player();
    player.answer = answer;
    // A stand-in for the main window: only its title is seen, in the boxes' captions.
    HWND owner = CreateWindowExA(0, "STATIC", "Tarvelon v2.6", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    UINT_PTR timer = SetTimer(nullptr, 0, 100, play_tick);
    system_box = reinterpret_cast<decltype(&MessageBoxA)>(
        replace_import("MessageBoxA", reinterpret_cast<void*>(checked_box)));
    Played played = {call(owner), player.text, credentials_wiped()};
    replace_import("MessageBoxA", reinterpret_cast<void*>(system_box));
    KillTimer(nullptr, timer);
    DestroyWindow(owner);
    return played;
}

std::string catalogue_utf8(unsigned id)
{
    wchar_t text[2048] = L"";
    LoadStringW(GetModuleHandleA(nullptr), id, text, 2048);
    return utf8_of(text);
}
