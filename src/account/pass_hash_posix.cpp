#include "account/pass_hash.h"

#include <openssl/evp.h>

// libcrypto's failures map onto the stages of the Windows crypto service:
// no digest context 2, no SHA-1 set-up 3, hashing 4, result 5.
int sha1_digest(const unsigned char* data, size_t length, unsigned char* digest)
{
    if (data == nullptr || length == 0 || digest == nullptr) {
        return 1;
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) {
        return 2;
    }
    int code = 0;
    unsigned int delivered = 0;
    if (EVP_DigestInit_ex(context, EVP_sha1(), nullptr) != 1) {
        code = 3;
    } else if (EVP_DigestUpdate(context, data, length) != 1) {
        code = 4;
    } else if (EVP_DigestFinal_ex(context, digest, &delivered) != 1 || delivered != sha1_size) {
        code = 5;
    }
    EVP_MD_CTX_free(context);
    return code;
}
