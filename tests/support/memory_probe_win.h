// From inside a Windows test program: secrets left on the stack; system functions swapped for stand-ins.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// Runs `call` pages below the caller's frame, so that the caller's later probes do not write over its traces.
template <typename Call>
__attribute__((noinline)) void call_deeper(Call call)
{
    volatile char pad[8192];
    pad[0] = 0;
    call();
    pad[sizeof pad - 1] = 0;
}

// Whether the committed stack below the caller holds `secret` anywhere.
__attribute__((noinline)) inline bool stack_holds(const std::string& secret)
{
    const char* high = static_cast<const char*>(__builtin_frame_address(0));
    const char* low = high;
    MEMORY_BASIC_INFORMATION page = {};
    while (VirtualQuery(low - 1, &page, sizeof page) != 0 && page.State == MEM_COMMIT && !(page.Protect & PAGE_GUARD)) {
        low = static_cast<const char*>(page.BaseAddress);
    }
    return std::search(low, high, secret.begin(), secret.end()) != high;
}

// Points this program's import of `function` at `replacement`; returns the old target (null: no such import).
// System libraries call through their own imports and are not affected.
inline void* replace_import(const char* function, void* replacement)
{
    char* base = reinterpret_cast<char*>(GetModuleHandleA(nullptr));
    const IMAGE_NT_HEADERS* headers =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); module->Name != 0; ++module) {
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name, function) == 0) {
                void* before = reinterpret_cast<void*>(slot->u1.Function);
                DWORD protection = 0;
                VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &protection);
                slot->u1.Function = static_cast<decltype(slot->u1.Function)>(reinterpret_cast<uintptr_t>(replacement));
                VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
                return before;
            }
        }
    }
    return nullptr;
}

// Looked for in every block the program frees while watch_frees is on, as on Linux.
inline std::vector<std::string> freed_secrets;
inline int freed_holding_secret = 0;  // the blocks found holding one
inline decltype(&LocalFree) system_local_free = nullptr;

inline HLOCAL WINAPI checking_local_free(HLOCAL block)
{
    std::string bytes(block != nullptr ? static_cast<const char*>(block) : "", LocalSize(block));
    for (const std::string& secret : freed_secrets) {
        freed_holding_secret += bytes.find(secret) != std::string::npos;
    }
    return system_local_free(block);
}

// Puts the checking stand-in before LocalFree, or takes it away; false when there is no such import.
inline bool watch_frees(bool on)
{
    void* before = replace_import("LocalFree", on ? reinterpret_cast<void*>(checking_local_free)
                                                  : reinterpret_cast<void*>(system_local_free));
    if (on) {
        system_local_free = reinterpret_cast<decltype(&LocalFree)>(before);
    }
    return before != nullptr;
}
