// The notification-area icon.
#pragma once

#include "common/app_state.h"

#include <cstdint>

enum TrayOperation : unsigned { TRAY_ADD = 0, TRAY_MODIFY = 1, TRAY_DELETE = 2 };  // NIM_*

const uint32_t tray_icon_id = 5000;
const uint32_t tray_callback_message = 0x0401;  // WM_USER + 1

// Fills app_state.tray for `window`: id, callback, the class's small icon, no tip yet.
void init_tray_record(WindowHandle window);

// Puts the current status text (at most 63 characters) into the record's tip;
// keeps the old tip when there is none.  Does not call the shell.
void refresh_tip();

// Hands the record to the shell, again while the shell takes over 3000 ms, at
// most 20 calls in all.
void notify_icon_retry(unsigned operation, TrayRecord* record);

// The main window's tray callback: `icon_id` is the callback's wparam, `mouse_message`
// its lparam.
void on_tray_callback(WindowHandle window, uintptr_t icon_id, uintptr_t mouse_message);

// The shell's taskbar was recreated: adds the icon again with the record unchanged.
void on_taskbar_created();

// The retry rule of notify_icon_retry over a shell call and a clock handed in.

const uint32_t slow_tray_call_ms = 3000;
const unsigned max_tray_calls = 20;

typedef void (*TrayCall)(unsigned operation, TrayRecord* record);
typedef uint32_t (*TickSource)();  // milliseconds, a 32-bit count that wraps

void repeat_slow_calls(unsigned operation, TrayRecord* record, TrayCall call, TickSource ticks);
