// Plays the user at the login dialog and the message boxes of another process,
// from outside, as a person would.  Steps run in order; the first that fails is
// reported on stderr, everything still open is closed, and the exit status is 1.
//   login_dialog_driver PID STEP...
//   wait             the login dialog of process PID appears (10 s)
//   set=ID=TEXT      types TEXT into control ID (WM_SETTEXT)
//   tick=ID          ticks check box ID
//   click=ID         clicks button ID (posted: the click may open a modal box)
//   key=esc|enter    the key pressed in the control that has the focus
//   close            the dialog's close box
//   box=N[:CODE]     a message box with catalogue text N (formatted with CODE) captioned
//                    with the dialog's title; OK
//   focus=ID         the keyboard focus is (or comes, within 2 s) in control ID
//   texts            the dialog's title and labels read back as the Russian texts
//   shot=PATH        a screenshot of the X display into PATH (ImageMagick import)
//   gone             the dialog has closed (10 s)
#include "common/heap_text.h"
#include "common/texts.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
const wchar_t dialog_title[] = L"Просмотр баланса лицевого счёта";

DWORD host_pid = 0;
HWND dialog = nullptr;

// Asks `done` every 100 ms, at most `tenths` times.
template <typename Done>
bool poll(int tenths, Done done)
{
    for (int i = 0; i < tenths; ++i, Sleep(100)) {
        if (done()) {
            return true;
        }
    }
    return false;
}

struct Search {
    bool want_box;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM parameter)
{
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD pid = 0;
    char class_name[16] = {};
    GetWindowThreadProcessId(window, &pid);
    GetClassNameA(window, class_name, sizeof class_name);
    if (pid != host_pid || !IsWindowVisible(window) || strcmp(class_name, "#32770") != 0) {
        return TRUE;
    }
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    bool is_login = wcscmp(title, dialog_title) == 0 && GetDlgItem(window, 100) != nullptr;
    if (search->want_box ? !is_login : is_login) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND find_window(bool want_box)
{
    Search search = {want_box, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND wait_window(bool want_box, int tenths)
{
    HWND window = nullptr;
    poll(tenths, [&] { return (window = find_window(want_box)) != nullptr; });
    return window;
}

std::string window_text(HWND window)
{
    char text[2048] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string catalogue(unsigned id)
{
    char* text = load_text(id);
    std::string copy = text != nullptr ? text : "";
    free_text(text);
    return copy;
}

bool answer_box(unsigned id, const char* code)
{
    std::string expected = catalogue(id);
    if (code != nullptr) {
        char formatted[1024];
        wsprintfA(formatted, expected.c_str(), strtoul(code, nullptr, 10));
        expected = formatted;
    }
    HWND box = wait_window(true, 150);
    if (box == nullptr) {
        fprintf(stderr, "no message box appeared\n");
        return false;
    }
    Sleep(200);  // let the box finish its own set-up
    std::string text = window_text(GetDlgItem(box, 0xFFFF));
    std::string title = window_text(box);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    poll(50, [&] { return !IsWindow(box); });
    if (text != expected || title != window_text(dialog)) {
        fprintf(stderr, "box \"%s\" captioned \"%s\"\n", text.c_str(), title.c_str());
        return false;
    }
    return true;
}

HWND focused_control()
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info) ? info.hwndFocus : nullptr;
}

bool focus_is(int id)
{
    if (poll(20, [&] { return focused_control() == GetDlgItem(dialog, id); })) {
        return true;
    }
    fprintf(stderr, "focus is on control %d\n", GetDlgCtrlID(focused_control()));
    return false;
}

bool press_key(const std::string& key)
{
    WPARAM code = key == "esc" ? VK_ESCAPE : key == "enter" ? VK_RETURN : 0;
    HWND target = focused_control();
    if (code == 0 || target == nullptr) {
        return false;
    }
    PostMessageA(target, WM_KEYDOWN, code, 1);
    PostMessageA(target, WM_KEYUP, code, 0xC0000001);
    return true;
}

// The controls in template order; the edit fields (1 and 3) are not compared.
bool texts_render()
{
    const wchar_t* expected[] = {L"Номер договора:", nullptr, L"Пароль:", nullptr,
                                 L"Запомнить указанные данные", L"OK", L"Отмена"};
    wchar_t text[128] = {};
    GetWindowTextW(dialog, text, 128);
    bool ok = wcscmp(text, dialog_title) == 0;
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const wchar_t* label : expected) {
        if (control == nullptr) {
            return false;
        }
        GetWindowTextW(control, text, 128);
        ok = ok && (label == nullptr || wcscmp(text, label) == 0);
        control = GetWindow(control, GW_HWNDNEXT);
    }
    return ok;
}

// Wine runs Unix programs directly; it cannot wait for them, so the file is polled.
bool screenshot(const std::string& path)
{
    std::string dos_path = "Z:" + path;
    DeleteFileA(dos_path.c_str());
    std::string command = "Z:\\bin\\sh -c \"import -window root png:'" + path + ".tmp' && mv '" + path + ".tmp' '" +
        path + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return poll(150, [&] { return GetFileAttributesA(dos_path.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

bool run_step(const std::string& step)
{
    size_t equals = step.find('=');
    std::string verb = step.substr(0, equals);
    std::string argument = equals == std::string::npos ? "" : step.substr(equals + 1);
    if (verb == "wait") {
        dialog = wait_window(false, 100);
        Sleep(200);  // until the dialog has its focus and icons
        return dialog != nullptr;
    }
    if (verb == "gone") {
        return poll(100, [] { return !IsWindow(dialog); });
    }
    if (verb == "box") {
        size_t colon = argument.find(':');
        return answer_box(static_cast<unsigned>(atoi(argument.c_str())),
                          colon == std::string::npos ? nullptr : argument.c_str() + colon + 1);
    }
    if (verb == "shot") {
        return screenshot(argument);
    }
    if (dialog == nullptr || !IsWindow(dialog)) {
        return false;
    }
    HWND control = GetDlgItem(dialog, atoi(argument.c_str()));
    if (verb == "set") {
        std::string text = argument.substr(argument.find('=') + 1);
        return SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) != 0;
    }
    if (verb == "tick") {
        SendMessageA(control, BM_CLICK, 0, 0);
        return SendMessageA(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }
    if (verb == "click") {
        return PostMessageA(control, BM_CLICK, 0, 0) != 0;
    }
    if (verb == "key") {
        return press_key(argument);
    }
    if (verb == "close") {
        return PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
    }
    if (verb == "focus") {
        return focus_is(atoi(argument.c_str()));
    }
    if (verb == "texts") {
        return texts_render();
    }
    return false;
}

// After a failure nothing may stay open, or the host would wait for ever.
void close_everything()
{
    poll(50, [] {
        HWND box = find_window(true);
        HWND login = find_window(false);
        if (box != nullptr || login != nullptr) {
            PostMessageA(box != nullptr ? box : login, WM_COMMAND, box != nullptr ? IDOK : IDCANCEL, 0);
        }
        return box == nullptr && login == nullptr;
    });
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: login_dialog_driver PID STEP...\n");
        return 2;
    }
    host_pid = static_cast<DWORD>(strtoul(argv[1], nullptr, 10));
    for (int i = 2; i < argc; ++i) {
        if (!run_step(argv[i])) {
            fprintf(stderr, "login_dialog_driver: step %d \"%s\" failed\n", i - 1, argv[i]);
            close_everything();
            return 1;
        }
    }
    return 0;
}
