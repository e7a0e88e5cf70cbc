#include "account/pass_hash.h"

#include "common/charset_posix.h"
#include "common/heap_text.h"
#include "common/heap_text_posix.h"
#include "common/texts_posix.h"

#include <cstring>

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

int hash_typed_password(const char* password, const char* charset, char* out)
{
    size_t length = strlen(password);
    if (length > typed_password_max) {
        return TYPED_TOO_LONG;
    }
    char* ansi = nullptr;
    switch (convert_exact(password, length, charset, "WINDOWS-1251", &ansi)) {
    case CONVERT_DONE:
        break;
    case CONVERT_UNAVAILABLE:
        return TYPED_NO_CONVERTER;
    case CONVERT_LOSSY:
        return TYPED_NOT_1251;
    default:
        return 1;  // as a failed hash
    }
    int code = make_pass_hash(ansi, out);
    secure_wipe(ansi, text_capacity(ansi));
    free_text(ansi);
    return code;
}

const char* typed_password_refusal(int code)
{
    if (code == TYPED_NOT_1251) {
        return N_("The password holds a character that Windows-1251 cannot represent, so its hash would not be the "
                  "one the provider knows. Type it again.");
    }
    return code == TYPED_TOO_LONG ? N_("The password is longer than 1023 bytes. Type it again.") : nullptr;
}
