#include "account/pass_hash.h"

#include <windows.h>
#include <wincrypt.h>

int sha1_digest(const unsigned char* data, size_t length, unsigned char* digest)
{
    if (data == nullptr || length == 0 || digest == nullptr) {
        return 1;
    }
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        return 2;
    }
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        CryptReleaseContext(provider, 0);
        return 3;
    }
    int code = 0;
    DWORD delivered = sha1_size;
    if (!CryptHashData(hash, data, static_cast<DWORD>(length), 0)) {
        code = 4;
    } else if (!CryptGetHashParam(hash, HP_HASHVAL, digest, &delivered, 0)) {
        code = 5;
    }
    CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return code;
}
