#include "common/heap_text.h"

#include <windows.h>

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

void secure_wipe(void* buffer, size_t size)
{
    if (buffer != nullptr) {
        SecureZeroMemory(buffer, size);
    }
}
