// Entry point, the hidden main window and its commands.
#pragma once

#include "common/app_state.h"

#if defined(_WIN32)
#include <windows.h>
#endif

// The main window's commands: the menu's item ids (res/menu.rc).  Only the low
// 16 bits of a command's wparam count.
enum Command : unsigned {
    COMMAND_EXIT = 100,
    COMMAND_STATISTICS = 101,
    COMMAND_BALANCE = 102,
    COMMAND_HOME_PAGE = 103,
};

// Registers the class, replaces a running copy, runs the hidden window's loop and
// ends the process: code 1 when the class cannot be registered, else 0.
[[noreturn]] void program_entry();

// Opens `target` with the shell's default action; failures are not reported.
void open_in_shell(WindowHandle owner, const char* target);

// Hides `window` at the bottom of the z-order without moving, sizing or activating it.
void drop_to_bottom(WindowHandle window);

#if defined(_WIN32)
LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
#endif
