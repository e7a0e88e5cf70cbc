// Arbitrary field contents through the field rules: validation must leave both
// fields empty or both valid (valid ones pass it again unchanged), and never
// read or write outside them.
#include "account/credentials.h"
#include "common/app_state.h"

#include <cstdint>
#include <cstring>

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
    const Credentials valid = credentials;
    validate_credentials();
    bool number_empty = credentials.contract_number[0] == '\0';
    bool hash_empty = credentials.pass_hash[0] == '\0';
    if (number_empty != hash_empty || memcmp(&valid, &credentials, sizeof valid) != 0) {
        __builtin_trap();
    }
    wipe_credentials();
    return 0;
}
