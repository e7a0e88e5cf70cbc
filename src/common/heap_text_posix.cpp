#include "common/heap_text.h"
#include "common/heap_text_posix.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Each buffer carries its size in front, so that growth can zero-fill the new
// bytes as LocalReAlloc does.
namespace {
const size_t header_size = 16;

size_t* header_of(void* buffer)
{
    return reinterpret_cast<size_t*>(static_cast<char*>(buffer) - header_size);
}
}  // namespace

char* alloc_text(size_t size)
{
    if (size > SIZE_MAX - header_size) {
        return nullptr;
    }
    char* block = static_cast<char*>(calloc(1, header_size + size));
    if (block == nullptr) {
        return nullptr;
    }
    *reinterpret_cast<size_t*>(block) = size;
    return block + header_size;
}

void free_text(void* buffer)
{
    if (buffer != nullptr) {
        free(header_of(buffer));
    }
}

void secure_wipe(void* buffer, size_t size)
{
    if (buffer != nullptr) {
        explicit_bzero(buffer, size);
    }
}

size_t text_capacity(const void* buffer)
{
    return buffer == nullptr ? 0 : *header_of(const_cast<void*>(buffer));
}

char* realloc_text(char* buffer, size_t size)
{
    if (size > SIZE_MAX - header_size) {
        return nullptr;
    }
    size_t old_size = text_capacity(buffer);
    char* block = static_cast<char*>(realloc(header_of(buffer), header_size + size));
    if (block == nullptr) {
        return nullptr;
    }
    *reinterpret_cast<size_t*>(block) = size;
    if (size > old_size) {
        memset(block + header_size + old_size, 0, size - old_size);
    }
    return block + header_size;
}

void format_text(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(out, size, format, args);
    va_end(args);
}
