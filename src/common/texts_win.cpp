#include "common/texts.h"

#include "common/heap_text.h"

#include <windows.h>

namespace {
// A string-table block holds 16 counted UTF-16 strings back to back.
const WCHAR* find_block(unsigned id)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC block = FindResourceA(module, MAKEINTRESOURCEA(id / 16 + 1), MAKEINTRESOURCEA(6));
    if (block == nullptr) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(module, block);
    return loaded == nullptr ? nullptr : static_cast<const WCHAR*>(LockResource(loaded));
}
}  // namespace

char* load_text(unsigned id)
{
    const WCHAR* entry = find_block(id);
    if (entry == nullptr) {
        return nullptr;
    }
    for (unsigned i = 0; i < id % 16; ++i) {
        entry += 1 + *entry;
    }
    int length = *entry;
    int bytes = length == 0 ? 0
        : WideCharToMultiByte(CP_ACP, 0, entry + 1, length, nullptr, 0, nullptr, nullptr);
    char* text = alloc_text(static_cast<size_t>(bytes) + 1);
    if (text != nullptr && bytes > 0) {
        WideCharToMultiByte(CP_ACP, 0, entry + 1, length, text, bytes, nullptr, nullptr);
    }
    return text;
}
