#include "shell/tray_icon.h"

#include "common/heap_text.h"
#include "shell/main_window.h"
#include "status/status_summary.h"

#include <windows.h>
#include <shellapi.h>

#include <cstddef>

// The record is handed to the shell as it is: it must be NOTIFYICONDATAA's first form.
static_assert(sizeof(TrayRecord) == NOTIFYICONDATAA_V1_SIZE, "first form of NOTIFYICONDATAA");
static_assert(offsetof(TrayRecord, hWnd) == offsetof(NOTIFYICONDATAA, hWnd), "hWnd");
static_assert(offsetof(TrayRecord, uID) == offsetof(NOTIFYICONDATAA, uID), "uID");
static_assert(offsetof(TrayRecord, uFlags) == offsetof(NOTIFYICONDATAA, uFlags), "uFlags");
static_assert(offsetof(TrayRecord, uCallbackMessage) == offsetof(NOTIFYICONDATAA, uCallbackMessage),
              "uCallbackMessage");
static_assert(offsetof(TrayRecord, hIcon) == offsetof(NOTIFYICONDATAA, hIcon), "hIcon");
static_assert(offsetof(TrayRecord, szTip) == offsetof(NOTIFYICONDATAA, szTip), "szTip");
#if !defined(_WIN64)
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "88 bytes on 32-bit");
#endif

namespace {
uint32_t tick_count()
{
    return GetTickCount();
}

void shell_notify(unsigned operation, TrayRecord* record)
{
    Shell_NotifyIconA(operation, reinterpret_cast<NOTIFYICONDATAA*>(record));
}

void show_context_menu(HWND window)
{
    POINT pointer = {};
    GetCursorPos(&pointer);
    SetForegroundWindow(window);
    HMENU menu = GetSubMenu(GetMenu(window), 0);
    // Without TPM_RETURNCMD the chosen item arrives as a command once this returns.
    TrackPopupMenu(menu, 0, pointer.x, pointer.y, 0, window, nullptr);
    drop_to_bottom(window);
}
}  // namespace

void init_tray_record(WindowHandle window)
{
    TrayRecord& tray = app_state.tray;
    tray = TrayRecord{};
    tray.cbSize = sizeof tray;
    tray.hWnd = window;
    tray.uID = tray_icon_id;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = tray_callback_message;
    tray.hIcon = reinterpret_cast<void*>(GetClassLongPtrA(static_cast<HWND>(window), GCLP_HICONSM));
}

void refresh_tip()
{
    char* text = status_text(app_state.external_address);
    if (text != nullptr) {
        copy_text(app_state.tray.szTip, text, sizeof app_state.tray.szTip);
        free_text(text);
    }
}

void notify_icon_retry(unsigned operation, TrayRecord* record)
{
    repeat_slow_calls(operation, record, shell_notify, tick_count);
}

void on_tray_callback(WindowHandle window, uintptr_t icon_id, uintptr_t mouse_message)
{
    if (icon_id != tray_icon_id) {
        return;
    }
    refresh_tip();
    notify_icon_retry(TRAY_MODIFY, &app_state.tray);
    HWND main_window = static_cast<HWND>(window);
    if (mouse_message == WM_LBUTTONDBLCLK) {
        // Posted, so the Balance command runs from the loop, not inside this callback.
        PostMessageA(main_window, WM_COMMAND, COMMAND_BALANCE, 0);
    } else if (mouse_message == WM_RBUTTONDOWN) {
        show_context_menu(main_window);
    }
}

void on_taskbar_created()
{
    notify_icon_retry(TRAY_ADD, &app_state.tray);
}
