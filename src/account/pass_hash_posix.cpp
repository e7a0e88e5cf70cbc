#include "account/pass_hash.h"

#include "common/charset_posix.h"
#include "common/heap_text.h"
#include "common/heap_text_posix.h"
#include "common/texts_posix.h"

#include <cstring>

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
        return HASH_BAD_ARGUMENT;  // as a failed hash
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
