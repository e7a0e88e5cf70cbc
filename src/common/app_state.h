// The program's one global record and the plain records it holds.
#pragma once

#include <cstdint>

// A window as the platform names it (HWND on Windows); opaque to portable code.
typedef void* WindowHandle;

// Filled by the login dialog or the settings file, wiped after every Balance command.
struct Credentials {
    char contract_number[15];  // at most 14 ASCII digits
    char pass_hash[85];        // at most 84 characters of the pass-hash alphabet
};

// The first form of NOTIFYICONDATAA, member for member (88 bytes on 32-bit Windows).
struct TrayRecord {
    uint32_t cbSize;
    WindowHandle hWnd;
    uint32_t uID;
    uint32_t uFlags;
    uint32_t uCallbackMessage;
    void* hIcon;
    char szTip[64];
};

struct AppState {
    uint32_t external_address;     // network byte order; 0 = none learned
    uint32_t taskbar_created_msg;  // registered "TaskbarCreated" message number
    TrayRecord tray;
    Credentials credentials;
};

extern AppState app_state;

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(TrayRecord) == 88, "the tray record is the 88-byte first form");
#endif
