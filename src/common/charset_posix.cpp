#include "common/charset_posix.h"

#include "common/heap_text.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>

const char* locale_charset()
{
    return nl_langinfo(CODESET);
}

namespace {
// Converts as much as fits into `room` bytes.  A character that cannot be read or
// that the target lacks becomes "?"; an incomplete character at the end is dropped.
void run_conversion(iconv_t cd, const char* text, size_t length, char* out, size_t room)
{
    char* in = const_cast<char*>(text);
    size_t in_left = length;
    size_t out_left = room;
    while (in_left > 0 && iconv(cd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
        if (errno != EILSEQ || out_left == 0) {
            return;
        }
        size_t skip = 1;
        while (skip < in_left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) {
            ++skip;
        }
        in += skip;
        in_left -= skip;
        *out++ = '?';
        --out_left;
    }
}
}  // namespace

char* convert_text(const char* text, size_t length, const char* from, const char* to)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return nullptr;
    }
    // No 8-bit or UTF-8 target needs more than four bytes per input byte.
    size_t room = length * 4;
    char* out = alloc_text(room + 1);
    if (out != nullptr) {
        run_conversion(cd, text, length, out, room);
    }
    iconv_close(cd);
    return out;
}

int convert_exact(const char* text, size_t length, const char* from, const char* to, char** out)
{
    *out = nullptr;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return CONVERT_UNAVAILABLE;
    }
    size_t room = length * 4;
    char* converted = alloc_text(room + 1);
    int result = CONVERT_NO_MEMORY;
    if (converted != nullptr) {
        char* in = const_cast<char*>(text);
        char* at = converted;
        size_t in_left = length;
        size_t out_left = room;
        // Any irreversible conversion counts as a loss too.
        bool exact = iconv(cd, &in, &in_left, &at, &out_left) == 0 && in_left == 0;
        result = exact ? CONVERT_DONE : CONVERT_LOSSY;
    }
    if (result == CONVERT_DONE) {
        *out = converted;
    } else {
        secure_wipe(converted, converted != nullptr ? room + 1 : 0);  // part of a password, maybe
        free_text(converted);
    }
    iconv_close(cd);
    return result;
}

char* utf8_to_locale(const char* text)
{
    return convert_text(text, strlen(text), "UTF-8", locale_charset());
}
