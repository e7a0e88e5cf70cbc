#include "account/web_fetch.h"

#include "common/heap_text.h"

#include <cstring>

namespace {
const uint32_t chunk_size = 1024;

void fail(BodyReader* reader, uint32_t status)
{
    resize_buffer(reader->body, 0);
    reader->body = nullptr;
    reader->failed = true;
    reader->status = status;
}

// Doubling keeps the copies of a growing body linear in its size.  One byte
// past the cap may be read, so that an oversized body is noticed.
bool grow_for_next_chunk(BodyReader* reader)
{
    uint32_t needed = reader->length + chunk_size + 1;
    if (needed <= reader->capacity) {
        return true;
    }
    uint32_t limit = max_body_size + 2;
    uint32_t capacity = reader->capacity * 2 > needed ? reader->capacity * 2 : needed;
    capacity = capacity < limit ? capacity : limit;
    char* grown = resize_buffer(reader->body, capacity);
    if (grown == nullptr) {
        // Without a first chunk nothing was read yet: an ordinary failure.
        fail(reader, reader->body == nullptr ? FETCH_FAILED : FETCH_NO_MEMORY);
        return false;
    }
    reader->body = grown;
    reader->capacity = capacity;
    return true;
}
}  // namespace

void body_start(BodyReader* reader, const uint64_t* content_length)
{
    *reader = BodyReader{};
    if (content_length == nullptr) {
        return;
    }
    if (*content_length > max_body_size) {
        fail(reader, FETCH_FAILED);
        return;
    }
    reader->has_length = true;
    reader->announced = static_cast<uint32_t>(*content_length);
    reader->capacity = reader->announced + 1;
    reader->body = resize_buffer(nullptr, reader->capacity);
    if (reader->body == nullptr) {
        fail(reader, FETCH_FAILED);
    }
}

char* body_room(BodyReader* reader, uint32_t* size)
{
    *size = 0;
    if (reader->ended || reader->failed) {
        return nullptr;
    }
    if (reader->has_length) {
        *size = reader->announced - reader->length;
    } else if (grow_for_next_chunk(reader)) {
        uint32_t left = max_body_size + 1 - reader->length;
        *size = left < chunk_size ? left : chunk_size;
    }
    if (*size == 0) {
        reader->ended = !reader->failed;
        return nullptr;
    }
    return reader->body + reader->length;
}

void body_advance(BodyReader* reader, uint32_t count)
{
    if (count == 0) {
        reader->ended = true;
        return;
    }
    reader->length += count;
    if (!reader->has_length && reader->length > max_body_size) {
        fail(reader, FETCH_NO_MEMORY);
    }
}

void pull_body(BodyReader* reader, BodyRead read, void* context)
{
    uint32_t size = 0;
    for (char* room = body_room(reader, &size); room != nullptr; room = body_room(reader, &size)) {
        uint32_t count = read(context, room, size);
        body_advance(reader, count < size ? count : size);
    }
}

bool push_body(BodyReader* reader, const char* data, size_t size)
{
    uint32_t room_size = 0;
    while (size > 0) {
        char* room = body_room(reader, &room_size);
        if (room == nullptr) {
            break;
        }
        uint32_t count = size < room_size ? static_cast<uint32_t>(size) : room_size;
        memcpy(room, data, count);
        body_advance(reader, count);
        data += count;
        size -= count;
    }
    return !reader->failed;
}

char* body_finish(BodyReader* reader, uint32_t* length_or_status)
{
    char* body = reader->body;
    if (reader->failed) {
        *length_or_status = reader->status;
    } else if (reader->has_length) {
        *length_or_status = reader->announced;
    } else if (reader->length == 0) {
        resize_buffer(body, 0);
        body = nullptr;
        *length_or_status = FETCH_FAILED;
    } else {
        char* fitted = resize_buffer(body, reader->length + 1);
        body = fitted != nullptr ? fitted : body;
        body[reader->length] = '\0';
        *length_or_status = reader->length;
    }
    *reader = BodyReader{};
    return body;
}
