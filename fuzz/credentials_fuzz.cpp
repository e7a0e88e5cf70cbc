// Arbitrary field contents through the field rules: validation must leave both
// fields empty or both valid, and never read or write outside them.
#include "account/credentials.h"
#include "common/app_state.h"

#include <cstdint>
#include <cstring>

namespace {
bool only(const char* text, bool url_safe)
{
    for (; *text != '\0'; ++text) {
        char c = *text;
        bool digit = c >= '0' && c <= '9';
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!(digit || (url_safe && (letter || strchr("%-._~", c) != nullptr)))) {
            return false;
        }
    }
    return true;
}
}  // namespace

// Input: up to 14 bytes of contract number, then up to 84 bytes of pass-hash.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Credentials& credentials = app_state.credentials;
    wipe_credentials();
    size_t number_length = size < 14 ? size : 14;
    memcpy(credentials.contract_number, data, number_length);
    size_t hash_length = size - number_length < 84 ? size - number_length : 84;
    memcpy(credentials.pass_hash, data + number_length, hash_length);

    validate_credentials();
    bool number_empty = credentials.contract_number[0] == '\0';
    bool hash_empty = credentials.pass_hash[0] == '\0';
    if (number_empty != hash_empty || !only(credentials.contract_number, false)
        || !only(credentials.pass_hash, true)) {
        __builtin_trap();
    }
    wipe_credentials();
    return 0;
}
