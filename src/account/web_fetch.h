// One HTTP or HTTPS GET, and the growth of heap text buffers.
#pragma once

#include <cstddef>
#include <cstdint>

// length_or_status after a failed http_get
enum FetchStatus : uint32_t {
    FETCH_FAILED = 0,
    FETCH_TLS_FAILED = 1,  // the secure connection was refused or reset
    FETCH_NO_MEMORY = 2,   // a body without announced length outgrew memory or the cap
};

// No reply body larger than this is accepted.
const uint32_t max_body_size = 16u * 1024 * 1024;

// Fetches `url` (http or https; the port is always 80 or 443) and returns the body,
// NUL-terminated, in a fresh heap text; or null.  `length_or_status` receives the
// body length on success and a FetchStatus on failure.
char* http_get(const char* url, uint32_t* length_or_status);

// Size 0 frees `buffer` and gives null; a null `buffer` gives a fresh zero-filled
// one; otherwise the buffer is resized (it may move) with added bytes zero-filled.
// On failure null, and the old buffer is still valid and still the caller's.
char* resize_buffer(char* buffer, size_t size);
