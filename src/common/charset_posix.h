// Charset conversion for the Linux build (iconv).
#pragma once

#include <cstddef>

// The charset of the current locale (nl_langinfo(CODESET)).
const char* locale_charset();

// `length` bytes of `text` converted from charset `from` to `to`, in a fresh
// heap text; unreadable characters and those that `to` lacks become "?".
// Null when the conversion cannot be opened or memory runs out.
char* convert_text(const char* text, size_t length, const char* from, const char* to);

enum ConvertResult { CONVERT_DONE, CONVERT_UNAVAILABLE, CONVERT_LOSSY, CONVERT_NO_MEMORY };

// `length` bytes of `text` converted from charset `from` to `to` into a fresh
// heap text at `*out`, only when every character converts exactly: a character
// that cannot be read or that `to` lacks gives CONVERT_LOSSY and no text.
int convert_exact(const char* text, size_t length, const char* from, const char* to, char** out);

// A NUL-terminated UTF-8 text in the locale's charset, as convert_text gives it.
char* utf8_to_locale(const char* text);
