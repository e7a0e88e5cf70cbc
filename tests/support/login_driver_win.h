// Runs a call that shows the login dialog while a second process,
// tests/win/login_dialog_driver, plays the user (see its steps).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

inline BOOL CALLBACK end_dialog(HWND window, LPARAM)
{
    EndDialog(window, -99);
    return TRUE;
}

inline VOID CALLBACK end_dialogs(HWND, UINT, UINT_PTR, DWORD)
{
    EnumThreadWindows(GetCurrentThreadId(), end_dialog, 0);
}

// Calls `call`(owner) while the driver plays `steps`; the driver must succeed.
// A driver that died must not leave a modal loop waiting for ever: after 60 s
// every dialog of this thread is ended.
inline int run_with_driver(int (*call)(void*), HWND owner, const std::vector<std::string>& steps)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string line = path;
    line = "\"" + line.substr(0, line.find_last_of("\\/") + 1) + "login_dialog_driver.exe\" " +
        std::to_string(GetCurrentProcessId());
    for (const std::string& step : steps) {
        line += " \"" + step + "\"";
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION driver = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &driver)) {
        ADD_FAILURE() << "cannot start " << line;
        return -100;
    }
    UINT_PTR watchdog = SetTimer(nullptr, 0, 60000, end_dialogs);
    int result = call(owner);
    KillTimer(nullptr, watchdog);
    DWORD exit_code = 99;
    WaitForSingleObject(driver.hProcess, 30000);
    GetExitCodeProcess(driver.hProcess, &exit_code);
    CloseHandle(driver.hProcess);
    CloseHandle(driver.hThread);
    EXPECT_EQ(exit_code, 0u) << "the driver's steps: " << line;
    return result;
}

// A stand-in for the main window, with class icons.
inline HWND make_owner(const char* title)
{
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));    // IDI_APPLICATION
    window_class.hIconSm = LoadIconA(nullptr, MAKEINTRESOURCEA(32516));  // IDI_INFORMATION
    window_class.lpszClassName = "LoginDriverTestOwner";
    RegisterClassExA(&window_class);
    return CreateWindowExA(0, "LoginDriverTestOwner", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}
