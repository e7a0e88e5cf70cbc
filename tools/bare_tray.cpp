// The yardstick of tools/size_check.sh: the least a tray program needs (a hidden
// window, a tray icon, a message box), built with Tarvelon's toolchain and flags.
#include <windows.h>
#include <shellapi.h>

namespace {
NOTIFYICONDATAA tray;

LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_USER + 1 && lparam == WM_LBUTTONDBLCLK) {
        MessageBoxA(window, "Bare tray", "Bare tray", MB_ICONINFORMATION);
    } else if (message == WM_DESTROY) {
        Shell_NotifyIconA(NIM_DELETE, &tray);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}
}  // namespace

int main()
{
    HINSTANCE module = GetModuleHandleA(nullptr);
    WNDCLASSEXA window_class = {};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = window_proc;
    window_class.hInstance = module;
    window_class.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512));
    window_class.lpszClassName = "BareTray";
    RegisterClassExA(&window_class);
    HWND window = CreateWindowExA(0, "BareTray", "Bare tray", 0, 0, 0, 0, 0, nullptr, nullptr, module, nullptr);
    tray.cbSize = NOTIFYICONDATAA_V1_SIZE;
    tray.hWnd = window;
    tray.uID = 1;
    tray.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    tray.uCallbackMessage = WM_USER + 1;
    tray.hIcon = window_class.hIcon;
    lstrcpynA(tray.szTip, "Bare tray", sizeof tray.szTip);
    Shell_NotifyIconA(NIM_ADD, &tray);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    ExitProcess(0);
}
