#include "common/ui_win.h"

#include "common/heap_text.h"

#include <windows.h>

int show_box(WindowHandle owner, const char* text, unsigned icon)
{
    const unsigned modality = MB_TASKMODAL | MB_SETFOREGROUND | MB_TOPMOST;  // 0x52000
    char* caption = window_text_copy(owner);
    int pressed = MessageBoxA(static_cast<HWND>(owner), text, caption, icon | modality);
    free_text(caption);
    return pressed;
}

char* window_text_copy(WindowHandle window)
{
    int length = GetWindowTextLengthA(static_cast<HWND>(window));
    char* text = alloc_text(static_cast<size_t>(length) + 1);
    if (text != nullptr) {
        GetWindowTextA(static_cast<HWND>(window), text, length + 1);
    }
    return text;
}
