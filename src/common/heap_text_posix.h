// Linux side of the heap text buffers, for the growth operation of the web fetch.
#pragma once

#include <cstddef>

// The size a buffer was allocated with; 0 for null.
size_t text_capacity(const void* buffer);

// Grows or shrinks a non-null buffer, zero-filling added bytes; null on failure
// (the old buffer then stays valid).
char* realloc_text(char* buffer, size_t size);
