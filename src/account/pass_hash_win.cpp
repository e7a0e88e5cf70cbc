#include "account/pass_hash.h"

#include <windows.h>
#include <wincrypt.h>

int sha1_digest(const unsigned char* data, size_t length, unsigned char* digest)
{
    if (data == nullptr || length == 0 || digest == nullptr) {
        return HASH_BAD_ARGUMENT;
    }
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        return DIGEST_NO_CONTEXT;
    }
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        CryptReleaseContext(provider, 0);
        return DIGEST_NO_HASH_OBJECT;
    }
    int code = HASH_DONE;
    DWORD delivered = sha1_size;
    if (!CryptHashData(hash, data, static_cast<DWORD>(length), 0)) {
        code = DIGEST_HASHING_FAILED;
    } else if (!CryptGetHashParam(hash, HP_HASHVAL, digest, &delivered, 0)) {
        code = DIGEST_NOT_DELIVERED;
    }
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return code;
}
