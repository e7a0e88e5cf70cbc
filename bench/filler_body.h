// A body source for the reading loop that hands out `left` filler bytes.
#pragma once

#include <cstdint>
#include <cstring>

struct FillerBody {
    uint32_t left;
};

inline uint32_t read_filler(void* context, char* buffer, uint32_t size)
{
    FillerBody* body = static_cast<FillerBody*>(context);
    uint32_t count = size < body->left ? size : body->left;
    memset(buffer, 'x', count);
    body->left -= count;
    return count;
}
