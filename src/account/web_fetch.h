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

// The reading loop that both platform clients share: the client asks for room,
// reads at most that many bytes into it and reports how many arrived.
// A body with an announced length is read until it is filled or a read delivers
// nothing; one without is read in chunks of at most 1024 bytes, its buffer
// growing geometrically, and may not exceed max_body_size.
struct BodyReader {
    char* body;
    uint32_t length;     // bytes received
    uint32_t capacity;   // bytes allocated, terminator included
    uint32_t announced;  // the Content-Length, when has_length
    bool has_length;
    bool ended;          // filled, or a read delivered nothing
    bool failed;
    uint32_t status;     // FetchStatus once failed
};

// Starts reading a reply whose Content-Length is `content_length` (null: none).
// A length over max_body_size, or one whose buffer cannot be had, fails the
// reader with FETCH_FAILED.
void body_start(BodyReader* reader, const uint64_t* content_length);

// Where the next read goes and (in `size`) how much it may deliver; null once
// the body has ended or failed.
char* body_room(BodyReader* reader, uint32_t* size);

// Records `count` bytes read into the last room; 0 ends the body.
void body_advance(BodyReader* reader, uint32_t count);

// Pulls the whole body through `read`, which returns the bytes it delivered.
typedef uint32_t (*BodyRead)(void* context, char* buffer, uint32_t size);
void pull_body(BodyReader* reader, BodyRead read, void* context);

// Copies `size` pushed bytes into the body; bytes beyond an announced length are
// dropped.  False once the reader has failed.
bool push_body(BodyReader* reader, const char* data, size_t size);

// The body, NUL-terminated and `length` + 1 bytes long, or null; with
// length_or_status as http_get reports it (the announced length when there was
// one).  The reader is left empty.
char* body_finish(BodyReader* reader, uint32_t* length_or_status);
