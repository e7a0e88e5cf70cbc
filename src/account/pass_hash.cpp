#include "account/pass_hash.h"

#include "common/heap_text.h"

namespace {
const char base64_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char hex_digits[] = "0123456789ABCDEF";

const size_t base64_scratch_size = 29;  // 28 characters for a 20-byte digest + NUL
const size_t pass_hash_size = 85;       // Credentials.pass_hash
// So the Base64 and percent-encoding stages of make_pass_hash never fail.
static_assert(base64_scratch_size >= (sha1_size - 1) / 3 * 4 + 5, "room for the Base64 text");
static_assert(pass_hash_size > 3 * (base64_scratch_size - 1), "room for every character encoded");

bool is_unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
        || c == '-' || c == '.' || c == '_' || c == '~';
}

// Writes the four characters of one group of up to three bytes, with "=" for
// the bytes that are missing.
void encode_group(const unsigned char* data, size_t count, char* out)
{
    unsigned long bits = static_cast<unsigned long>(data[0]) << 16;
    if (count > 1) {
        bits |= static_cast<unsigned long>(data[1]) << 8;
    }
    if (count > 2) {
        bits |= data[2];
    }
    out[0] = base64_alphabet[(bits >> 18) & 0x3F];
    out[1] = base64_alphabet[(bits >> 12) & 0x3F];
    out[2] = count > 1 ? base64_alphabet[(bits >> 6) & 0x3F] : '=';
    out[3] = count > 2 ? base64_alphabet[bits & 0x3F] : '=';
}

// A stage's failure code within make_pass_hash's codes.
int staged(PassHashStage stage, int code)
{
    return code == HASH_DONE ? HASH_DONE : stage + code;
}
}  // namespace

int base64_encode(const unsigned char* data, size_t length, char* out, size_t capacity)
{
    if (data == nullptr || length == 0 || out == nullptr || capacity == 0) {
        return HASH_BAD_ARGUMENT;
    }
    if (capacity < (length - 1) / 3 * 4 + 5) {
        return ENCODE_NO_ROOM;
    }
    size_t j = 0;
    for (size_t i = 0; i < length; i += 3, j += 4) {
        encode_group(data + i, length - i < 3 ? length - i : 3, out + j);
    }
    out[j] = '\0';
    return 0;
}

int url_encode(const char* text, char* out, size_t capacity)
{
    if (text == nullptr || out == nullptr || capacity == 0) {
        return HASH_BAD_ARGUMENT;
    }
    size_t needed = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        needed += is_unreserved(static_cast<unsigned char>(*c)) ? 1 : 3;
    }
    if (needed >= capacity) {
        return ENCODE_NO_ROOM;
    }
    size_t j = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        unsigned char byte = static_cast<unsigned char>(*c);
        if (is_unreserved(byte)) {
            out[j++] = *c;
        } else {
            out[j++] = '%';
            out[j++] = hex_digits[byte >> 4];
            out[j++] = hex_digits[byte & 0x0F];
        }
    }
    out[j] = '\0';
    return 0;
}

int make_pass_hash(const char* password, char* out)
{
    if (password == nullptr || out == nullptr || password[0] == '\0') {
        return HASH_BAD_ARGUMENT;
    }
    size_t length = 0;
    while (password[length] != '\0') {
        ++length;
    }
    unsigned char digest[sha1_size];
    char scratch[base64_scratch_size];
    int code = staged(STAGE_SHA1, sha1_digest(reinterpret_cast<const unsigned char*>(password), length, digest));
    if (code == HASH_DONE) {
        code = staged(STAGE_BASE64, base64_encode(digest, sha1_size, scratch, sizeof scratch));
    }
    if (code == HASH_DONE) {
        code = staged(STAGE_URL_ENCODE, url_encode(scratch, out, pass_hash_size));
    }
    // Both are the pass-hash in other forms.
    secure_wipe(digest, sizeof digest);
    secure_wipe(scratch, sizeof scratch);
    return code;
}
