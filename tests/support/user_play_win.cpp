// The dialog is played by login_dialog_driver; the boxes are read by a thread
// of this process while the call's modal loop runs.
#include "user_play.h"

#include "billing_sim.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "login_driver_win.h"

namespace {
struct BoxWatch {
    volatile LONG stop;
    bool refuse_login;
    std::string text;
    std::string caption;
};

BOOL CALLBACK find_own_dialog(HWND window, LPARAM found)
{
    char class_name[16] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    GetClassNameA(window, class_name, sizeof class_name);
    if (process != GetCurrentProcessId() || strcmp(class_name, "#32770") != 0 || !IsWindowVisible(window)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The text the window keeps, in the ANSI code page, read without a message: a
// WM_GETTEXT sent to the box's thread can stay unanswered under 32-bit Wine.
std::string kept_text(HWND window)
{
    wchar_t wide[4096] = L"";
    InternalGetWindowText(window, wide, 4096);
    char text[4096 * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

DWORD WINAPI watch_boxes(void* context)
{
    BoxWatch* watch = static_cast<BoxWatch*>(context);
    for (int i = 0; i < 300 && watch->stop == 0; ++i, Sleep(100)) {
        HWND window = nullptr;
        EnumWindows(find_own_dialog, reinterpret_cast<LPARAM>(&window));
        if (window != nullptr && GetDlgItem(window, 100) != nullptr) {
            if (watch->refuse_login) {
                PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
            }
        } else if (window != nullptr && GetDlgItem(window, IDOK) != nullptr) {  // not a half-made login dialog
            Sleep(200);  // let the box finish its own set-up
            watch->text = kept_text(GetDlgItem(window, 0xFFFF));
            watch->caption = kept_text(window);
            PostMessageA(window, WM_COMMAND, IDOK, 0);
            return 0;
        }
    }
    return 0;
}
std::string ansi_to_utf8(const std::string& text)
{
    std::wstring wide(text.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    std::string utf8(4 * text.size() + 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), length, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    return utf8.c_str();
}
}  // namespace

Played play(int (*call)(WindowHandle), const LoginAnswer* answer)
{
    HWND owner = make_owner("Tarvelon v2.6");
    BoxWatch watch = {0, answer == nullptr, "", ""};
    HANDLE thread = CreateThread(nullptr, 0, watch_boxes, &watch, 0, nullptr);
    Played played = {-100, "", false};
    if (answer == nullptr) {
        played.result = call(owner);
    } else if (answer->number == nullptr) {
        played.result = run_with_driver(call, owner, {"wait", "click=2"});
    } else {
        std::vector<std::string> steps = {"wait", std::string("set=100=") + answer->number,
                                          std::string("set=101=") + answer->password};
        if (answer->remember) {
            steps.push_back("tick=102");
        }
        steps.push_back("click=1");
        played.result = run_with_driver(call, owner, steps);
    }
    InterlockedExchange(&watch.stop, 1);
    WaitForSingleObject(thread, 35000);
    CloseHandle(thread);
    DestroyWindow(owner);
    played.box = ansi_to_utf8(watch.text);
    played.wiped = credentials_wiped();
    if (!watch.text.empty()) {
        char* title = load_text(TEXT_TITLE);
        EXPECT_STREQ(title, watch.caption.c_str()) << "the box's caption";
        free_text(title);
    }
    return played;
}

std::string catalogue_utf8(unsigned id)
{
    char* text = load_text(id);
    std::string copy = ansi_to_utf8(text != nullptr ? text : "");
    free_text(text);
    return copy;
}

bool can_play()
{
    const char* display = getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}
