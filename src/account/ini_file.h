// A small reader and writer of the settings file's INI format, with the
// profile-string rules that matter here (the Linux side of the settings file).
#pragma once

#include <cstddef>

// Copies into `out` (at most `size` - 1 characters, always terminated) the value
// of `key` in the first section named `section` of the INI text `text`.  Names
// compare without regard to ASCII case; the value is the rest of the line after
// "=" without surrounding blanks and without one pair of enclosing quotes,
// dropped after the cut as the profile API drops them.  An empty text when the
// section or key is missing.
void ini_get(const char* text, const char* section, const char* key, char* out, size_t size);

// `text` with `key` of `section` set to `value`, in a fresh heap text; every
// other line is kept byte for byte.  A missing key is added behind the last
// entry of the section, a missing section at the end of the text.  New lines end
// like the text's first line (CRLF when there is none).  Null when memory runs out.
char* ini_set(const char* text, const char* section, const char* key, const char* value);

#if !defined(_WIN32)
// The whole file at `path` in a fresh heap text; an empty text when there is no
// such file; null when it cannot be read (errno says why: EILSEQ for a file
// holding a NUL byte, as UTF-16 text does, which the text could not keep;
// EISDIR for a directory, ENOTSUP for a FIFO or a device, which is not waited
// on).
char* ini_load(const char* path);

// Replaces the file at `path` (through symbolic links: the file they lead to)
// by `length` bytes of `text` so that a crash leaves either the old file or the
// new one: a temporary file beside it (mode 0600, unnamed while it is written
// where the system allows) is flushed to disk and renamed over it; stale
// temporary files of earlier writers are removed.  0 done; 1 failed (errno
// says why), the old file untouched.
int ini_replace(const char* path, const char* text, size_t length);
#endif
