#include "shell/main_window.h"

#include "account/settings.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "shell/tray_icon.h"
#include "status/address_probe.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#if !defined(_WIN64)
static_assert(sizeof(WNDCLASSEXA) == 48, "the class record of the 32-bit program");
#endif

namespace {
const char class_name[] = "TarvelonWndClass";
const int busy_mark = GWLP_USERDATA;  // 1 while a Balance command runs
const WORD icon_group = 1;
const WORD class_menu = 100;

void on_create(HWND window)
{
    char* title = load_text(TEXT_TITLE);
    if (title != nullptr) {
        SetWindowTextA(window, title);
        free_text(title);
    }
    app_state.external_address = probe_statistics_site();
    init_tray_record(window);
    refresh_tip();
    notify_icon_retry(TRAY_ADD, &app_state.tray);
    SetWindowLongA(window, busy_mark, 0);
}

void on_destroy()
{
    notify_icon_retry(TRAY_DELETE, &app_state.tray);
    PostQuitMessage(0);
}

void open_catalogue_url(unsigned id)
{
    char* url = load_text(id);
    if (url != nullptr) {
        open_in_shell(nullptr, url);
        free_text(url);
    }
}

// A close request (Exit from the tray menu, or a new copy starting) can arrive
// while this command waits in its login dialog or a message box.  We let it
// act at once: the default handling destroys the main window together with the
// dialog or box it owns, the icon is deleted and the quit is posted.  The nested
// loop then ends; a dialog ended this way counts as cancelled, so nothing is
// queried or stored, and any later box ends at once on the pending quit.  If
// the query had already succeeded with "remember" ticked, the settings are
// written whole, both keys together, before the command returns.  Then the
// command leaves the destroyed window alone and the loop ends with code 0.
void run_balance_command(HWND window)
{
    SetForegroundWindow(window);
    if (GetWindowLongA(window, busy_mark) != 0) {
        return;
    }
    SetWindowLongA(window, busy_mark, 1);
    balance_command(window);
    if (IsWindow(window)) {
        drop_to_bottom(window);
        SetWindowLongA(window, busy_mark, 0);
    }
}

void run_command(HWND window, unsigned id)
{
    switch (id) {
    case COMMAND_EXIT:
        PostMessageA(window, WM_CLOSE, 0, 0);
        break;
    case COMMAND_STATISTICS:
        open_catalogue_url(TEXT_STATS_URL);
        break;
    case COMMAND_BALANCE:
        run_balance_command(window);
        break;
    case COMMAND_HOME_PAGE:
        open_catalogue_url(TEXT_HOME_URL);
        break;
    default:
        break;
    }
}

void close_running_copy()
{
    // Sent, not posted: the running copy has removed its window and icon when this returns.
    HWND running = FindWindowA(class_name, nullptr);
    if (running != nullptr) {
        SendMessageA(running, WM_CLOSE, 0, 0);
    }
}

void run_message_loop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
}  // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        on_create(window);
        break;
    case WM_DESTROY:
        on_destroy();
        return 0;
    case WM_COMMAND:
        run_command(window, LOWORD(wparam));
        break;
    case tray_callback_message:
        on_tray_callback(window, wparam, static_cast<uintptr_t>(lparam));
        return 0;
    default:
        if (message == app_state.taskbar_created_msg) {
            on_taskbar_created();
        }
        break;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

void open_in_shell(WindowHandle owner, const char* target)
{
    CoInitialize(nullptr);
    ShellExecuteA(static_cast<HWND>(owner), nullptr, target, nullptr, nullptr, SW_SHOWNORMAL);
    CoUninitialize();
}

void drop_to_bottom(WindowHandle window)
{
    SetWindowPos(static_cast<HWND>(window), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_HIDEWINDOW);  // 0x93
}

void program_entry()
{
    InitCommonControls();
    app_state.taskbar_created_msg = RegisterWindowMessageA("TaskbarCreated");
    HINSTANCE module = GetModuleHandleA(nullptr);
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = main_window_proc;
    window_class.hInstance = module;
    window_class.hIcon = LoadIconA(module, MAKEINTRESOURCEA(icon_group));
    window_class.lpszMenuName = MAKEINTRESOURCEA(class_menu);
    window_class.lpszClassName = class_name;
    close_running_copy();
    if (RegisterClassExA(&window_class) == 0) {
        ExitProcess(1);
    }
    HWND window = CreateWindowExA(0, class_name, class_name, 0, 0, 0, 0, 0,
                                  nullptr, nullptr, module, nullptr);
    if (window != nullptr) {
        run_message_loop();
    }
    UnregisterClassA(class_name, module);
    ExitProcess(0);
}
