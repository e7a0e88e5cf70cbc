#include "common/ui.h"

#include <cstdio>

int show_box(WindowHandle, const char* text, unsigned icon)
{
    FILE* stream = icon == BOX_ERROR ? stderr : stdout;
    fprintf(stream, "%s\n", text);
    fflush(stream);
    return BOX_PRESSED_OK;
}
