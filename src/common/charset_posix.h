// Charset conversion for the Linux build (iconv).
#pragma once

#include <cstddef>

// The charset of the current locale (nl_langinfo(CODESET)).
const char* locale_charset();

// `length` bytes of `text` converted from charset `from` to `to`, in a fresh
// heap text; unreadable characters and those that `to` lacks become "?".
// Null when the conversion cannot be opened or memory runs out.
char* convert_text(const char* text, size_t length, const char* from, const char* to);

// A NUL-terminated UTF-8 text in the locale's charset, as convert_text gives it.
char* utf8_to_locale(const char* text);
