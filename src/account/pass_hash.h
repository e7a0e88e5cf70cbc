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

#if !defined(_WIN32)
// Linux: a typed password refused before any hashing.
enum TypedPasswordRefusal {
    TYPED_NOT_1251 = -3,      // no exact Windows-1251 form
    TYPED_TOO_LONG = -4,      // longer than typed_password_max bytes
    TYPED_NO_CONVERTER = -5,  // no Windows-1251 converter at all
};
const size_t typed_password_max = 1023;

// The pass-hash of `password`, typed in `charset`, made over its Windows-1251
// bytes as the Windows program makes it, so that both give the same pass-hash:
// make_pass_hash's code or a TypedPasswordRefusal.
int hash_typed_password(const char* password, const char* charset, char* out);

// What the user is told of TYPED_NOT_1251 and TYPED_TOO_LONG, in English for
// translate(); null for any other code.
const char* typed_password_refusal(int code);
#endif
