#include "account/settings.h"

#include "common/texts.h"

#include <windows.h>

namespace {
// Relative on purpose: the file of whatever directory the program runs in.
const char settings_file[] = ".\\Tarvelon.ini";
}  // namespace

void read_setting(const char* key, char* out, size_t size)
{
    GetPrivateProfileStringA(settings_section, key, "", out, static_cast<DWORD>(size), settings_file);
}

void write_setting_pair(const char* username, const char* passhash)
{
    WritePrivateProfileStringA(settings_section, username_key, username, settings_file);
    WritePrivateProfileStringA(settings_section, passhash_key, passhash, settings_file);
}

unsigned tls_failure_text()
{
    return TEXT_TLS_DISABLED;
}
