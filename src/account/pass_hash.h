// The pass-hash: SHA-1 of the password, Base64, percent-encoded.
#pragma once

#include <cstddef>

const size_t sha1_size = 20;

// The results of the functions below; each adds its own failures after these.
enum HashResult {
    HASH_DONE = 0,
    HASH_BAD_ARGUMENT = 1,
};

// sha1_digest's failures, one for each step of the Windows crypto service
// (Linux maps libcrypto's onto them).
enum DigestFailure {
    DIGEST_NO_CONTEXT = 2,
    DIGEST_NO_HASH_OBJECT = 3,
    DIGEST_HASHING_FAILED = 4,
    DIGEST_NOT_DELIVERED = 5,
};

// base64_encode's and url_encode's failure: the capacity is too small (room
// for the terminator included).
const int ENCODE_NO_ROOM = 2;

// make_pass_hash's failures: the failing stage plus that stage's own code.
enum PassHashStage {
    STAGE_SHA1 = 20,
    STAGE_BASE64 = 30,
    STAGE_URL_ENCODE = 40,
};

// A HashResult or a DigestFailure.
int sha1_digest(const unsigned char* data, size_t length, unsigned char* digest);

// A HashResult or ENCODE_NO_ROOM.
int base64_encode(const unsigned char* data, size_t length, char* out, size_t capacity);

// A HashResult or ENCODE_NO_ROOM.
int url_encode(const char* text, char* out, size_t capacity);

// Writes the pass-hash of `password` into the 85-byte `out`.  A HashResult (an
// empty password is a bad argument) or a PassHashStage plus its stage's code.
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
