// Linux side of the heap text buffers: what only Linux code asks of them.
#pragma once

#include <cstddef>

// The size a buffer was allocated with; 0 for null.
size_t text_capacity(const void* buffer);
