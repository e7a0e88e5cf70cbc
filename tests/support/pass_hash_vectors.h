// Computed outside this program: printf %s PASSWORD | openssl dgst -sha1 -binary | base64, then "+", "/", "="
// percent-encoded; Cyrillic passwords first turned into their Windows-1251 bytes with iconv -t WINDOWS-1251.
#pragma once

struct PassHashVector {
    const char* password;  // ANSI (Windows-1251) bytes, as the Windows program hashes it
    const char* pass_hash;
};

const PassHashVector pass_hash_vectors[] = {
    {"password", "W6ph5Mm5Pz8GgiULbPgzG37mj9g%3D"},
    {"Password", "i%2BPJQ7Fgn%2F%2B%2FxRqtZm0KBK34PJ0%3D"},
    {"\xCF\xE0\xF0\xEE\xEB\xFC\xA8\xB8", "%2BnSMgD1C%2FYDUG0uDXDLHw2L4t7E%3D"},  // ПарольЁё
};
