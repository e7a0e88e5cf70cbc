// The pass-hash: SHA-1 of the password, Base64, percent-encoded.
#pragma once

#include <cstddef>

const size_t sha1_size = 20;

// 0 done; 1 bad argument; 2 no crypto context; 3 no hash object; 4 hashing failed;
// 5 digest not delivered.
int sha1_digest(const unsigned char* data, size_t length, unsigned char* digest);

// 0 done; 1 bad argument; 2 capacity too small.
int base64_encode(const unsigned char* data, size_t length, char* out, size_t capacity);

// 0 done; 1 bad argument; 2 capacity too small (room for the terminator included).
int url_encode(const char* text, char* out, size_t capacity);

// Writes the pass-hash of `password` into the 85-byte `out`.  0 done; 1 bad
// argument or empty password; else 20 + sha1 code, 30 + base64 code, 40 + url code.
int make_pass_hash(const char* password, char* out);
