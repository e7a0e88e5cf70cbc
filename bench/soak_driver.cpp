// The soak run's hands on a running Tarvelon.exe: many events in one process,
// the counters of the program's process, and the status text as this machine
// sees it now.  bench/soak.sh runs it; answers on stdout, exit status 1
// when an action fails.
//   soak_driver events CALLBACKS BALANCES   tray callbacks (moves, clicks, now and
//                                           then a context menu, closed again) with
//                                           BALANCES Balance commands spread among
//                                           them, every box closed; prints
//                                           "callbacks=N menus=M balances=B success=S error=E silent=Q"
//   soak_driver counters                    handles=H table_handles=T gdi=G user=U private=P
//                                           working=W (what Windows calls report for the
//                                           program; T counted in the system's handle table)
//   soak_driver status                      status_text(0) of this process
//   soak_driver fetch URL COUNT             COUNT http_get calls in this process, after
//                                           a few for warming up: "per_request=B", the
//                                           growth of this process's working set per call
#include "account/web_fetch.h"
#include "common/heap_text.h"
#include "status/status_summary.h"

#include "window_search.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
const char main_class[] = "TarvelonWndClass";
const UINT tray_callback = WM_USER + 1;
const WPARAM tray_id = 5000;
const WPARAM balance_command = 102;
const DWORD callback_timeout_ms = 5000;
const int balance_timeout_ms = 60000;
const int menu_timeout_ms = 5000;

struct Tally {
    int callbacks;
    int menus;
    int balances;
    int success;
    int error;
    int silent;
};

bool is_busy(HWND main_window)
{
    return GetWindowLongPtrA(main_window, GWLP_USERDATA) != 0;
}

bool send_callback(HWND main_window, UINT mouse_message)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(main_window, tray_callback, tray_id, mouse_message, SMTO_NORMAL,
                               callback_timeout_ms, &result) != 0;
}

// A right press keeps the program in its menu: posted, then the menu is
// cancelled the way EndMenu does it.
bool open_and_cancel_menu(HWND main_window, DWORD pid)
{
    PostMessageA(main_window, tray_callback, tray_id, WM_RBUTTONDOWN);
    HWND menu = nullptr;
    for (int waited = 0; waited < menu_timeout_ms && menu == nullptr; waited += 10) {
        Sleep(10);
        menu = open_popups(pid).menu;
    }
    if (menu == nullptr) {
        fprintf(stderr, "soak_driver: no context menu\n");
        return false;
    }
    PostMessageA(main_window, WM_CANCELMODE, 0, 0);
    for (int waited = 0; waited < menu_timeout_ms; waited += 10) {
        if (open_popups(pid).menu == nullptr) {
            return send_callback(main_window, WM_RBUTTONUP);
        }
        Sleep(10);
    }
    fprintf(stderr, "soak_driver: the context menu stayed open\n");
    return false;
}

// The box's text decides what it reports: the balance box names the amount.
void close_box(HWND box, Tally* tally)
{
    char text[512] = {};
    GetWindowTextA(GetDlgItem(box, 0xFFFF), text, sizeof text);
    if (strstr(text, "1234.56") != nullptr) {
        ++tally->success;
    } else {
        ++tally->error;
    }
    HWND button = GetDlgItem(box, IDOK) != nullptr ? GetDlgItem(box, IDOK) : GetDlgItem(box, IDCANCEL);
    PostMessageA(button, BM_CLICK, 0, 0);
}

// One Balance command, by a double-click or by the menu's command, until the
// program is idle again; a box on the way is closed.
bool run_balance(HWND main_window, DWORD pid, bool by_double_click, Tally* tally)
{
    if (by_double_click) {
        send_callback(main_window, WM_LBUTTONDBLCLK);
    } else {
        PostMessageA(main_window, WM_COMMAND, balance_command, 0);
    }
    bool started = false;
    bool boxed = false;
    for (int waited = 0; waited < balance_timeout_ms; waited += 10) {
        bool busy = is_busy(main_window);
        started = started || busy;
        if (started && !busy) {
            tally->silent += boxed ? 0 : 1;
            ++tally->balances;
            return true;
        }
        HWND box = open_popups(pid).box;
        if (box != nullptr && !boxed) {
            started = true;
            boxed = true;
            close_box(box, tally);
        }
        Sleep(10);
    }
    fprintf(stderr, "soak_driver: a Balance command did not end in %d ms\n", balance_timeout_ms);
    return false;
}

// Mostly moves, a left click every tenth, a context menu every hundredth.
bool run_callback(HWND main_window, DWORD pid, int index, Tally* tally)
{
    bool done = true;
    if (index % 100 == 50) {
        done = open_and_cancel_menu(main_window, pid);
        tally->menus += done ? 1 : 0;
    } else if (index % 10 == 3) {
        done = send_callback(main_window, WM_LBUTTONDOWN) && send_callback(main_window, WM_LBUTTONUP);
    } else {
        done = send_callback(main_window, WM_MOUSEMOVE);
    }
    tally->callbacks += done ? 1 : 0;
    return done;
}

int run_events(HWND main_window, int callbacks, int balances)
{
    DWORD pid = pid_of(main_window);
    Tally tally = {};
    int every = balances > 0 ? callbacks / balances : 0;
    bool ok = true;
    for (int i = 0; ok && i < callbacks; ++i) {
        ok = run_callback(main_window, pid, i, &tally);
        if (ok && every > 0 && tally.balances < balances && i % every == every - 1) {
            ok = run_balance(main_window, pid, tally.balances % 2 == 0, &tally);
        }
    }
    while (ok && tally.balances < balances) {
        ok = run_balance(main_window, pid, tally.balances % 2 == 0, &tally);
    }
    printf("callbacks=%d menus=%d balances=%d success=%d error=%d silent=%d\n", tally.callbacks,
           tally.menus, tally.balances, tally.success, tally.error, tally.silent);
    return ok ? 0 : 1;
}

typedef BOOL(WINAPI* MemoryInfo)(HANDLE, PROCESS_MEMORY_COUNTERS*, DWORD);

// void (*)(void) stands for any function type.
template <typename Function>
Function find_proc(const char* module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA(module), name)));
}

// The system's handle table (SystemHandleInformation), as ntdll lays it out.
struct HandleEntry {
    ULONG owner_pid;
    BYTE object_type;
    BYTE flags;
    USHORT value;
    void* object;
    ULONG access;
};
struct HandleTable {
    ULONG count;
    HandleEntry entries[1];
};
typedef LONG(WINAPI* QuerySystem)(ULONG, void*, ULONG, ULONG*);
const ULONG system_handle_information = 16;
const LONG status_length_mismatch = static_cast<LONG>(0xC0000004);

// The handles that `pid` holds, counted in the system's table: Wine answers
// GetProcessHandleCount with 0 for every process.  -1 when the table cannot be had.
long count_handles(DWORD pid)
{
    QuerySystem query = find_proc<QuerySystem>("ntdll.dll", "NtQuerySystemInformation");
    long count = -1;
    ULONG size = 1 << 16;
    for (int attempt = 0; query != nullptr && count < 0 && attempt < 8; ++attempt, size *= 2) {
        HandleTable* table = static_cast<HandleTable*>(HeapAlloc(GetProcessHeap(), 0, size));
        if (table == nullptr) {
            break;
        }
        LONG status = query(system_handle_information, table, size, nullptr);
        if (status == 0) {
            count = 0;
            for (ULONG i = 0; i < table->count; ++i) {
                count += table->entries[i].owner_pid == pid ? 1 : 0;
            }
        }
        HeapFree(GetProcessHeap(), 0, table);
        if (status != 0 && status != status_length_mismatch) {
            break;
        }
    }
    return count;
}

int print_counters(HWND main_window)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid_of(main_window));
    if (process == nullptr) {
        fprintf(stderr, "soak_driver: cannot open the program's process\n");
        return 1;
    }
    DWORD handles = 0;
    if (!GetProcessHandleCount(process, &handles)) {
        handles = static_cast<DWORD>(-1);
    }
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    MemoryInfo memory_info = find_proc<MemoryInfo>("kernel32.dll", "K32GetProcessMemoryInfo");
    if (memory_info == nullptr
        || !memory_info(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        memory = PROCESS_MEMORY_COUNTERS_EX{};
    }
    printf("handles=%lu table_handles=%ld gdi=%lu user=%lu private=%llu working=%llu\n", handles,
           count_handles(pid_of(main_window)), gdi, user, static_cast<unsigned long long>(memory.PrivateUsage),
           static_cast<unsigned long long>(memory.WorkingSetSize));
    CloseHandle(process);
    return 0;
}

SIZE_T own_working_set()
{
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    MemoryInfo memory_info = find_proc<MemoryInfo>("kernel32.dll", "K32GetProcessMemoryInfo");
    return memory_info != nullptr && memory_info(GetCurrentProcess(), &memory, sizeof memory)
        ? memory.WorkingSetSize : 0;
}

// What the platform's own HTTP stack keeps per call, without any of the
// program around it: the yardstick for the program's growth.
int measure_fetch(const char* url, int count)
{
    const int warm_up = 5;
    SIZE_T before = 0;
    for (int i = 0; i < warm_up + count; ++i) {
        if (i == warm_up) {
            before = own_working_set();
        }
        uint32_t length = 0;
        char* body = http_get(url, &length);
        if (body == nullptr) {
            fprintf(stderr, "soak_driver: http_get failed on %s\n", url);
            return 1;
        }
        free_text(body);
    }
    SIZE_T after = own_working_set();
    printf("per_request=%lld\n", count > 0 ? (static_cast<long long>(after) - static_cast<long long>(before)) / count : 0);
    return 0;
}

int print_status()
{
    char* text = status_text(0);
    if (text == nullptr) {
        return 1;
    }
    printf("%s\n", text);
    free_text(text);
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: soak_driver events CALLBACKS BALANCES | counters | status | fetch URL COUNT\n");
        return 2;
    }
    std::string verb = argv[1];
    if (verb == "status") {
        return print_status();
    }
    if (verb == "fetch" && argc == 4) {
        return measure_fetch(argv[2], atoi(argv[3]));
    }
    HWND main_window = FindWindowA(main_class, nullptr);
    if (main_window == nullptr) {
        fprintf(stderr, "soak_driver: no main window\n");
        return 1;
    }
    if (verb == "events" && argc == 4) {
        return run_events(main_window, atoi(argv[2]), atoi(argv[3]));
    }
    if (verb == "counters") {
        return print_counters(main_window);
    }
    fprintf(stderr, "soak_driver: unknown action\n");
    return 2;
}
