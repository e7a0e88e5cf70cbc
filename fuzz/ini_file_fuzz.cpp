// Arbitrary settings texts through the INI reader and writer: values read back
// fit their buffers, a value written reads back, and writing one key of
// the section leaves the other as it was.
#include "account/ini_file.h"
#include "common/heap_text.h"

#include <cstdint>
#include <cstring>

namespace {
const char section[] = "General";
const char username[] = "12345678901234";
const char passhash[] = "Zm9v%2Bbar_-.~";

// ini_get into a heap buffer of exactly `size` bytes, so that a write past it is caught.
void get_value(const char* text, const char* key, char* copy, size_t size)
{
    char* out = alloc_text(size);
    memset(out, 'x', size);
    ini_get(text, section, key, out, size);
    if (strnlen(out, size) == size) {
        __builtin_trap();
    }
    copy_text(copy, out, 85);
    free_text(out);
}

void expect_value(const char* text, const char* key, const char* expected, size_t size)
{
    char value[85];
    get_value(text, key, value, size);
    if (strcmp(value, expected) != 0) {
        __builtin_trap();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The file's text up to its first NUL byte (the reader refuses files with one).
    char* text = alloc_text(size + 1);
    memcpy(text, data, size);
    char old_hash[85];
    get_value(text, "passhash", old_hash, sizeof old_hash);
    char value[85];
    get_value(text, "username", value, 15);
    get_value(text, "username", value, 1);
    get_value(text, "", value, 3);

    char* with_user = ini_set(text, section, "username", username);
    expect_value(with_user, "username", username, 15);
    expect_value(with_user, "passhash", old_hash, sizeof old_hash);
    char* with_both = ini_set(with_user, section, "passhash", passhash);
    expect_value(with_both, "username", username, 15);
    expect_value(with_both, "passhash", passhash, sizeof old_hash);

    // Setting what is already there changes nothing.
    char* again = ini_set(with_both, section, "passhash", passhash);
    if (strcmp(again, with_both) != 0) {
        __builtin_trap();
    }
    free_text(again);
    free_text(with_both);
    free_text(with_user);
    free_text(text);
    return 0;
}
