#include "account/credentials.h"

#include "common/app_state.h"
#include "common/heap_text.h"

namespace {
bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_url_safe(char c)
{
    return is_digit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
        || c == '%' || c == '-' || c == '.' || c == '_' || c == '~';
}
}  // namespace

void trim_spaces(char* text)
{
    if (text == nullptr) {
        return;
    }
    size_t start = 0;
    while (text[start] == ' ') {
        ++start;
    }
    size_t length = 0;  // up to and including the last non-space
    for (size_t i = start; text[i] != '\0'; ++i) {
        text[i - start] = text[i];
        if (text[i] != ' ') {
            length = i - start + 1;
        }
    }
    text[length] = '\0';
}

void sanitize_field(char* text, bool url_safe)
{
    if (text == nullptr) {
        return;
    }
    trim_spaces(text);
    for (const char* c = text; *c != '\0'; ++c) {
        if (!(url_safe ? is_url_safe(*c) : is_digit(*c))) {
            text[0] = '\0';
            return;
        }
    }
}

void validate_credentials()
{
    Credentials& credentials = app_state.credentials;
    sanitize_field(credentials.contract_number, false);
    sanitize_field(credentials.pass_hash, true);
    if (credentials.contract_number[0] == '\0' || credentials.pass_hash[0] == '\0') {
        credentials.contract_number[0] = '\0';
        credentials.pass_hash[0] = '\0';
    }
}

void wipe_credentials()
{
    secure_wipe(&app_state.credentials, sizeof app_state.credentials);
}
