#include "account/web_fetch.h"

#include <windows.h>

char* resize_buffer(char* buffer, size_t size)
{
    if (size == 0) {
        if (buffer != nullptr) {
            LocalFree(buffer);
        }
        return nullptr;
    }
    if (buffer == nullptr) {
        return static_cast<char*>(LocalAlloc(LPTR, size));
    }
    return static_cast<char*>(LocalReAlloc(buffer, size, LMEM_MOVEABLE | LMEM_ZEROINIT));
}
