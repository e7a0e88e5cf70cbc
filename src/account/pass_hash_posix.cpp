#include "account/pass_hash.h"

#include <openssl/evp.h>

// libcrypto's failures map onto the steps of the Windows crypto service; the
// SHA-1 set-up stands for the hash object.
int sha1_digest(const unsigned char* data, size_t length, unsigned char* digest)
{
    if (data == nullptr || length == 0 || digest == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) {
        return DIGEST_NO_CONTEXT;
    }
    int code = HASH_DONE;
    unsigned int delivered = 0;
    if (EVP_DigestInit_ex(context, EVP_sha1(), nullptr) != 1) {
        code = DIGEST_NO_HASH_OBJECT;
    } else if (EVP_DigestUpdate(context, data, length) != 1) {
        code = DIGEST_HASHING_FAILED;
    } else if (EVP_DigestFinal_ex(context, digest, &delivered) != 1 || delivered != sha1_size) {
        code = DIGEST_NOT_DELIVERED;
    }
    EVP_MD_CTX_free(context);
    return code;
}
