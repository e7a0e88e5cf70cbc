// Makes the test prefix trust a test CA: adds the PEM certificate named on the
// command line (a Windows path) to the machine's "ROOT" store of this prefix.
// Exit 0 when added, 1 otherwise.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <vector>

namespace {
typedef BOOL(WINAPI* StringToBinary)(LPCSTR, DWORD, DWORD, BYTE*, DWORD*, DWORD*, DWORD*);
typedef HCERTSTORE(WINAPI* OpenStore)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*);
typedef BOOL(WINAPI* AddEncoded)(HCERTSTORE, DWORD, const BYTE*, DWORD, DWORD, PCCERT_CONTEXT*);
typedef BOOL(WINAPI* CloseStore)(HCERTSTORE, DWORD);

// void (*)(void) stands for any function type.
template <typename Function>
Function find_proc(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::vector<char> read_file(const char* path)
{
    std::vector<char> text;
    FILE* file = fopen(path, "rb");
    if (file == nullptr) {
        return text;
    }
    char chunk[4096];
    for (size_t count; (count = fread(chunk, 1, sizeof chunk, file)) > 0;) {
        text.insert(text.end(), chunk, chunk + count);
    }
    fclose(file);
    text.push_back('\0');
    return text;
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: trust_ca_driver CA.pem\n");
        return 1;
    }
    std::vector<char> pem = read_file(argv[1]);
    HMODULE crypt32 = LoadLibraryA("crypt32.dll");
    if (pem.empty() || crypt32 == nullptr) {
        fprintf(stderr, "trust_ca_driver: cannot read %s or load crypt32\n", argv[1]);
        return 1;
    }
    auto to_binary = find_proc<StringToBinary>(crypt32, "CryptStringToBinaryA");
    auto open_store = find_proc<OpenStore>(crypt32, "CertOpenStore");
    auto add_encoded = find_proc<AddEncoded>(crypt32, "CertAddEncodedCertificateToStore");
    auto close_store = find_proc<CloseStore>(crypt32, "CertCloseStore");
    if (to_binary == nullptr || open_store == nullptr || add_encoded == nullptr || close_store == nullptr) {
        fprintf(stderr, "trust_ca_driver: crypt32 lacks a certificate store function\n");
        return 1;
    }
    DWORD size = 0;
    if (!to_binary(pem.data(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        fprintf(stderr, "trust_ca_driver: %s holds no PEM certificate\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(size);
    to_binary(pem.data(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr);
    HCERTSTORE root = open_store(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "ROOT");
    if (root == nullptr) {
        fprintf(stderr, "trust_ca_driver: cannot open the ROOT store (%lu)\n", GetLastError());
        return 1;
    }
    BOOL added = add_encoded(root, X509_ASN_ENCODING, der.data(), size, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    close_store(root, 0);
    if (!added) {
        fprintf(stderr, "trust_ca_driver: cannot add the certificate (%lu)\n", GetLastError());
        return 1;
    }
    return 0;
}
