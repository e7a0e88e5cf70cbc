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
