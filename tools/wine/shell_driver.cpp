// Plays the user and the shell around a running Tarvelon.exe, from outside: one
// action per run, answers on stdout (UTF-8), exit status 1 when the action fails.
//   shell_driver pid                 waits for the main window (30 s); its process id
//   shell_driver hwnd                the main window's handle (hex)
//   shell_driver watch HWND          until a main window other than HWND runs and HWND
//                                    is gone (30 s): the most main windows seen at once
//   shell_driver icons [N]           the number of tray icons; with N, waits for N (15 s)
//   shell_driver tip                 the tooltip of the tray icon
//   shell_driver icon-at             the screen position of the tray icon's centre: X Y
//   shell_driver callback ID MSG     sends the tray callback (id, mouse message)
//   shell_driver command WPARAM      posts a command to the main window
//   shell_driver state               busy=B visible=V title=T
//   shell_driver popups              dialogs=D menus=M: the program's open windows
//   shell_driver box [ok]            waits for a message box (15 s): caption, then text;
//                                    with ok, presses its button
//   shell_driver rect                the screen rectangle of the program's open dialog
//                                    or box: X Y WIDTH HEIGHT
//   shell_driver login NUMBER PASSWORD [ok]   types into the open login dialog,
//                                    ticks remember; with ok, presses OK
//   shell_driver menu-click ITEM     clicks item ITEM (0 = top) of the open context menu
//   shell_driver close               sends a close request, as a new copy does
//   shell_driver forget-icon         deletes the icon from the tray as a shell restart would
//   shell_driver taskbar-created     broadcasts the shell's TaskbarCreated message
//   shell_driver opened FILE URL     stands in for the browser: appends URL to FILE
#include "window_search.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
const char main_class[] = "TarvelonWndClass";
const UINT tray_callback = WM_USER + 1;
const UINT tray_id = 5000;

void print(const std::wstring& text)
{
    std::string out(static_cast<size_t>(text.size()) * 4 + 2, '\0');
    int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                     static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(static_cast<size_t>(length));
    out += '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
}

void print(const char* text)
{
    std::wstring wide;
    for (const char* c = text; *c != '\0'; ++c) {
        wide += static_cast<wchar_t>(*c);
    }
    print(wide);
}

std::wstring text_of(HWND window)
{
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

HWND wait_main_window(int tenths)
{
    for (int i = 0; i < tenths; ++i) {
        if (HWND window = FindWindowA(main_class, nullptr)) {
            return window;
        }
        Sleep(100);
    }
    return nullptr;
}

BOOL CALLBACK count_main_window(HWND window, LPARAM count)
{
    if (class_of(window) == main_class) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

int count_main_windows()
{
    int count = 0;
    EnumWindows(count_main_window, reinterpret_cast<LPARAM>(&count));
    return count;
}

// One icon as the tray shows it.  Wine gives every icon a tooltip control owned
// by the tray window: the standalone "Wine System Tray" (a child window per
// icon) or the virtual desktop's taskbar (icons drawn in the taskbar itself).
struct TrayIcon {
    RECT rect;  // on the screen
    std::wstring tip;
};

bool is_tray_window(HWND window)
{
    std::string name = class_of(window);
    return name == "__winex11_standalone_tray" || name == "Shell_TrayWnd";
}

// TTTOOLINFOW as the tray's process lays it out: a 32-bit driver looks into the
// 64-bit tray of a 64-bit prefix.
template <typename Pointer>
struct ToolRecord {
    UINT cbSize;
    UINT uFlags;
    Pointer hwnd;
    Pointer uId;
    RECT rect;
    Pointer hinst;
    Pointer lpszText;
    Pointer lParam;
    Pointer lpReserved;
};

bool is_64bit(HANDLE process)
{
    BOOL other = FALSE;
    BOOL self = FALSE;
    IsWow64Process(process, &other);
    IsWow64Process(GetCurrentProcess(), &self);
    return (sizeof(void*) == 8 || self) && !other;
}

// The tooltip's one tool, read in the tray's own process, with the tool record
// and its text buffer placed there.
template <typename Pointer>
bool read_tool_as(HANDLE process, char* remote, HWND tooltip, TrayIcon* icon)
{
    ToolRecord<Pointer> tool = {};
    tool.cbSize = sizeof tool;
    tool.lpszText = static_cast<Pointer>(reinterpret_cast<uintptr_t>(remote + 1024));
    wchar_t text[256] = {};
    WriteProcessMemory(process, remote, &tool, sizeof tool, nullptr);
    WriteProcessMemory(process, remote + 1024, text, sizeof text, nullptr);
    if (!SendMessageW(tooltip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(remote)) ||
        !ReadProcessMemory(process, remote, &tool, sizeof tool, nullptr) ||
        !ReadProcessMemory(process, remote + 1024, text, sizeof text - sizeof(wchar_t), nullptr)) {
        return false;
    }
    icon->tip = text;
    if (tool.uFlags & TTF_IDISHWND) {
        GetWindowRect(reinterpret_cast<HWND>(static_cast<uintptr_t>(tool.uId)), &icon->rect);
    } else {
        icon->rect = tool.rect;
        MapWindowPoints(reinterpret_cast<HWND>(static_cast<uintptr_t>(tool.hwnd)), nullptr,
                        reinterpret_cast<POINT*>(&icon->rect), 2);
    }
    return true;
}

bool read_tool(HWND tooltip, TrayIcon* icon)
{
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                 PROCESS_QUERY_INFORMATION, FALSE, pid_of(tooltip));
    if (process == nullptr) {
        return false;
    }
    bool found = false;
    char* remote = static_cast<char*>(VirtualAllocEx(process, nullptr, 4096, MEM_COMMIT, PAGE_READWRITE));
    if (remote != nullptr) {
        found = is_64bit(process) ? read_tool_as<uint64_t>(process, remote, tooltip, icon)
                                  : read_tool_as<uint32_t>(process, remote, tooltip, icon);
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return found;
}

BOOL CALLBACK add_tray_icon(HWND window, LPARAM found)
{
    TrayIcon icon = {};
    if (class_of(window) == "tooltips_class32" && is_tray_window(GetWindow(window, GW_OWNER)) &&
        read_tool(window, &icon)) {
        reinterpret_cast<std::vector<TrayIcon>*>(found)->push_back(icon);
    }
    return TRUE;
}

std::vector<TrayIcon> tray_icons()
{
    std::vector<TrayIcon> icons;
    EnumWindows(add_tray_icon, reinterpret_cast<LPARAM>(&icons));
    return icons;
}

void click_at(int x, int y)
{
    SetCursorPos(x, y);
    Sleep(100);
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, input, sizeof input[0]);
}

int run(int argc, char** argv)
{
    std::string verb = argv[1];
    if (verb == "taskbar-created") {
        DWORD_PTR result = 0;
        UINT message = RegisterWindowMessageA("TaskbarCreated");
        SendMessageTimeoutA(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, 10000, &result);
        return 0;
    }
    if (verb == "opened" && argc == 4) {
        FILE* file = fopen(argv[2], "ab");
        bool written = file != nullptr && fprintf(file, "%s\n", argv[3]) > 0;
        return file != nullptr && fclose(file) == 0 && written ? 0 : 1;
    }
    if (verb == "icons") {
        int want = argc > 2 ? atoi(argv[2]) : -1;
        int count = static_cast<int>(tray_icons().size());
        for (int i = 0; i < 150 && want >= 0 && count != want; ++i) {
            Sleep(100);
            count = static_cast<int>(tray_icons().size());
        }
        print(std::to_string(count).c_str());
        return want < 0 || count == want ? 0 : 1;
    }
    if (verb == "icon-at") {
        std::vector<TrayIcon> icons = tray_icons();
        if (icons.empty()) {
            return 1;
        }
        const RECT& rect = icons[0].rect;
        print((std::to_string((rect.left + rect.right) / 2) + " " + std::to_string((rect.top + rect.bottom) / 2)).c_str());
        return 0;
    }
    if (verb == "tip") {
        std::vector<TrayIcon> icons = tray_icons();
        print(icons.empty() ? L"" : icons[0].tip);
        return 0;
    }
    HWND main_window = wait_main_window(verb == "pid" || verb == "watch" ? 300 : 1);
    if (verb == "watch") {
        HWND old_window = reinterpret_cast<HWND>(strtoull(argv[2], nullptr, 16));
        int most = 0;
        for (int i = 0; i < 1500; ++i) {
            int now = count_main_windows();
            most = now > most ? now : most;
            HWND current = FindWindowA(main_class, nullptr);
            if (current != nullptr && current != old_window && !IsWindow(old_window)) {
                print(std::to_string(most).c_str());
                return 0;
            }
            Sleep(20);
        }
        return 1;
    }
    if (main_window == nullptr) {
        fprintf(stderr, "shell_driver: no main window\n");
        return 1;
    }
    if (verb == "pid") {
        print(std::to_string(pid_of(main_window)).c_str());
        return 0;
    }
    if (verb == "hwnd") {
        char text[32];
        snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(main_window)));
        print(text);
        return 0;
    }
    if (verb == "callback" && argc == 4) {
        DWORD_PTR result = 0;
        // A right press keeps the program in its menu: the answer comes only after.
        LRESULT sent = SendMessageTimeoutA(main_window, tray_callback, strtoul(argv[2], nullptr, 0),
                                           strtoul(argv[3], nullptr, 0), SMTO_NORMAL, 3000, &result);
        print(sent != 0 ? std::to_string(result).c_str() : "pending");
        return 0;
    }
    if (verb == "command" && argc == 3) {
        return PostMessageA(main_window, WM_COMMAND, strtoul(argv[2], nullptr, 0), 0) ? 0 : 1;
    }
    if (verb == "state") {
        LONG_PTR busy = GetWindowLongPtrA(main_window, GWLP_USERDATA);
        print(L"busy=" + std::to_wstring(busy) + L" visible=" + std::to_wstring(IsWindowVisible(main_window) ? 1 : 0) +
              L" title=" + text_of(main_window));
        return 0;
    }
    DWORD pid = pid_of(main_window);
    if (verb == "popups") {
        Popups popups = open_popups(pid);
        print(("dialogs=" + std::to_string(popups.dialogs) + " menus=" + std::to_string(popups.menus)).c_str());
        return 0;
    }
    if (verb == "box") {
        HWND box = nullptr;
        for (int i = 0; i < 150 && box == nullptr; ++i) {
            box = open_popups(pid).box;
            Sleep(100);
        }
        if (box == nullptr) {
            fprintf(stderr, "shell_driver: no message box\n");
            return 1;
        }
        Sleep(300);  // drawn and filled before it is read
        print(text_of(box));
        print(text_of(GetDlgItem(box, 0xFFFF)));
        if (argc > 2 && strcmp(argv[2], "ok") == 0) {
            SendMessageA(GetDlgItem(box, IDOK) != nullptr ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDCANCEL),
                         BM_CLICK, 0, 0);
            for (int i = 0; i < 50 && IsWindow(box); ++i) {
                Sleep(100);
            }
            return IsWindow(box) ? 1 : 0;
        }
        return 0;
    }
    if (verb == "login" && argc >= 4) {
        HWND dialog = open_popups(pid).dialog;
        bool typed = SetDlgItemTextA(dialog, 100, argv[2]) && SetDlgItemTextA(dialog, 101, argv[3]) &&
            CheckDlgButton(dialog, 102, BST_CHECKED);
        return typed && (argc == 4 || PostMessageA(dialog, WM_COMMAND, IDOK, 0)) ? 0 : 1;
    }
    if (verb == "rect") {
        RECT rect = {};
        HWND dialog = open_popups(pid).dialog;
        if (dialog == nullptr || !GetWindowRect(dialog, &rect)) {
            return 1;
        }
        print((std::to_string(rect.left) + " " + std::to_string(rect.top) + " " +
               std::to_string(rect.right - rect.left) + " " + std::to_string(rect.bottom - rect.top)).c_str());
        return 0;
    }
    if (verb == "menu-click" && argc == 3) {
        HWND menu = nullptr;
        for (int i = 0; i < 100 && menu == nullptr; ++i) {
            menu = open_popups(pid).menu;
            Sleep(100);
        }
        if (menu == nullptr) {
            fprintf(stderr, "shell_driver: no menu\n");
            return 1;
        }
        // Items and separators of sub-menu 0 from the top: the menu's own layout.
        const int item_height[] = {18, 8, 18, 8, 18};
        RECT rect = {};
        GetWindowRect(menu, &rect);
        int item = atoi(argv[2]);
        int y = rect.top + 2;
        for (int i = 0; i < item && i < 5; ++i) {
            y += item_height[i];
        }
        click_at(rect.left + 30, y + item_height[item < 5 ? item : 0] / 2);
        return 0;
    }
    if (verb == "close") {
        DWORD_PTR result = 0;
        SendMessageTimeoutA(main_window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result);
        return 0;
    }
    if (verb == "forget-icon") {
        NOTIFYICONDATAW record = {};
        record.cbSize = NOTIFYICONDATAW_V1_SIZE;
        record.hWnd = main_window;
        record.uID = tray_id;
        return Shell_NotifyIconW(NIM_DELETE, &record) ? 0 : 1;
    }
    fprintf(stderr, "shell_driver: unknown action\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: shell_driver ACTION [ARG...]\n");
        return 2;
    }
    return run(argc, argv);
}
