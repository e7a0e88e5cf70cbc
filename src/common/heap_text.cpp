#include "common/heap_text.h"

void copy_text(char* destination, const char* source, size_t size)
{
    if (destination == nullptr || source == nullptr || size == 0) {
        return;
    }
    size_t i = 0;
    for (; i + 1 < size && source[i] != '\0'; ++i) {
        destination[i] = source[i];
    }
    destination[i] = '\0';
}

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
