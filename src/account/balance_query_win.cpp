#include "account/balance_query.h"

#include "common/heap_text.h"

#include <windows.h>

void utf8_to_ansi(char* text)
{
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    int wide_length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (wide_length <= 0) {
        return;
    }
    wchar_t* wide = reinterpret_cast<wchar_t*>(alloc_text(static_cast<size_t>(wide_length) * sizeof(wchar_t)));
    if (wide == nullptr) {
        return;
    }
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, wide_length);
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, lstrlenA(text) + 1, nullptr, nullptr);
    free_text(wide);
}
