// Finding the Windows program's windows from another process (the drivers of
// the tests, the demo and the soak run).
#pragma once

#include <windows.h>

#include <string>

inline std::string class_of(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

inline DWORD pid_of(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

// The visible dialogs of process `pid` (a message box is the one with the box's
// static text) and any open context menu (in Wine menus belong to the desktop's
// process, so any counts).
struct Popups {
    DWORD pid;
    int dialogs;
    int menus;
    HWND dialog;  // the last one seen
    HWND box;
    HWND menu;
};

// Window enumeration callbacks are named functions: the 32-bit ABI wants stdcall.
inline BOOL CALLBACK count_popup(HWND window, LPARAM found)
{
    Popups& popups = *reinterpret_cast<Popups*>(found);
    if (!IsWindowVisible(window)) {
        return TRUE;
    }
    std::string name = class_of(window);
    if (name == "#32768") {
        ++popups.menus;
        popups.menu = window;
    } else if (name == "#32770" && pid_of(window) == popups.pid) {
        ++popups.dialogs;
        popups.dialog = window;
        if (GetDlgItem(window, 0xFFFF) != nullptr) {
            popups.box = window;
        }
    }
    return TRUE;
}

inline Popups open_popups(DWORD pid)
{
    Popups popups = {};
    popups.pid = pid;
    EnumWindows(count_popup, reinterpret_cast<LPARAM>(&popups));
    return popups;
}
