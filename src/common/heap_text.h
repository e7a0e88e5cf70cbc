// Heap text buffers: zero-filled on allocation, owned and freed by the caller.
#pragma once

#include <cstddef>

// A fresh zero-filled buffer of `size` bytes, or null.
char* alloc_text(size_t size);

// Frees a buffer from alloc_text or resize_buffer; null is ignored.
void free_text(void* buffer);

// Size 0 frees `buffer` and gives null; a null `buffer` gives a fresh zero-filled
// one; otherwise the buffer is resized (it may move) with added bytes zero-filled.
// On failure null, and the old buffer is still valid and still the caller's.
char* resize_buffer(char* buffer, size_t size);

// Platform side of resize_buffer: grows or shrinks a non-null buffer,
// zero-filling added bytes; null on failure (the old buffer then stays valid).
char* realloc_text(char* buffer, size_t size);

// Overwrites `size` bytes with zeros in a way the compiler cannot drop.
void secure_wipe(void* buffer, size_t size);

// Copies at most `size` - 1 bytes of `source` and always terminates (lstrcpynA).
void copy_text(char* destination, const char* source, size_t size);

// printf-style formatting into `out`, cut to `size` - 1 characters and always
// terminated.  Windows formats with wvsprintfA (at most 1023 characters), which
// keeps the C runtime's large printf out of the program.
void format_text(char* out, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
