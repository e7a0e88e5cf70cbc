#include "common/heap_text.h"

#include <windows.h>

#include <cstdarg>

char* alloc_text(size_t size)
{
    return static_cast<char*>(LocalAlloc(LPTR, size));
}

void free_text(void* buffer)
{
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
}

char* realloc_text(char* buffer, size_t size)
{
    return static_cast<char*>(LocalReAlloc(buffer, size, LMEM_MOVEABLE | LMEM_ZEROINIT));
}

void secure_wipe(void* buffer, size_t size)
{
    if (buffer != nullptr) {
        SecureZeroMemory(buffer, size);
    }
}

void format_text(char* out, size_t size, const char* format, ...)
{
    char scratch[1024];  // the most wvsprintfA ever writes
    va_list args;
    va_start(args, format);
    wvsprintfA(scratch, format, args);
    va_end(args);
    copy_text(out, scratch, size);
    // It held the login URL with the pass-hash, or the token.
    secure_wipe(scratch, sizeof scratch);
}
