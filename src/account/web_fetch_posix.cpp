#include "account/web_fetch.h"

#include "common/heap_text.h"
#include "common/heap_text_posix.h"

char* resize_buffer(char* buffer, size_t size)
{
    if (size == 0) {
        free_text(buffer);
        return nullptr;
    }
    if (buffer == nullptr) {
        return alloc_text(size);
    }
    return realloc_text(buffer, size);
}
