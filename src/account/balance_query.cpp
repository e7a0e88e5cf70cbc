#include "account/balance_query.h"

#include "account/credentials.h"
#include "account/web_fetch.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "common/ui.h"

#include <cstring>

namespace {
const size_t base_limit = 1024;    // characters of the base URL kept
const size_t method_size = 1024;   // a formatted method part, terminator included
const size_t value_limit = 1024;   // characters of `out` that inserted values may reach
const size_t template_limit = 1024;

char lower_ascii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name(const char* text, const char* name, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (lower_ascii(text[i]) != lower_ascii(name[i])) {
            return false;
        }
    }
    return true;
}

// tag_value over a name given by pointer and length, so that a name inside a
// template can be looked up where it stands.
char* find_tag(const char* name, size_t length, const char* text)
{
    if (length == 0 || text == nullptr || text[0] == '\0') {
        return nullptr;
    }
    for (const char* open = strchr(text, '<'); open != nullptr; open = strchr(open + 1, '<')) {
        if (same_name(open + 1, name, length) && open[1 + length] == '>') {
            const char* value = open + length + 2;
            size_t value_length = strcspn(value, "<");
            char* copy = alloc_text(value_length + 1);
            if (copy != nullptr) {
                memcpy(copy, value, value_length);
            }
            return copy;
        }
    }
    return nullptr;
}

// Appends `value` at `out` + `length`, cut so that `out` holds at most
// value_limit characters; returns the new length.
size_t insert_value(char* out, size_t length, const char* value)
{
    if (length >= value_limit) {
        return length;
    }
    size_t count = strlen(value);
    count = count < value_limit - length ? count : value_limit - length;
    memcpy(out + length, value, count);
    return length + count;
}

// Formats catalogue text `id` with two texts at `at`, cut to method_size - 1
// characters.  False when the text is missing.
bool format_method(char* at, unsigned id, const char* first, const char* second)
{
    char* format = load_text(id);
    if (format == nullptr) {
        return false;
    }
    // The formats are our own catalogue texts.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    format_text(at, method_size, format, first, second);
#pragma GCC diagnostic pop
    free_text(format);
    return true;
}

// Copies the base URL into `work`; the method part goes right behind it.
char* put_base_url(char* work)
{
    char* base = load_text(TEXT_API_URL);
    if (base == nullptr) {
        return nullptr;
    }
    copy_text(work, base, base_limit + 1);
    free_text(base);
    return work + strlen(work);
}

// The token as it goes into the second URL, in a fresh heap text: a bare CR
// or another control byte would go on the request line raw, where a server or
// proxy may take it for a line end, so it is written %XX.  Tab and line feed are
// left to the client, which drops the one and cuts at the other.
char* escape_controls(const char* token)
{
    char* out = token != nullptr ? alloc_text(strlen(token) * 3 + 1) : nullptr;
    for (size_t i = 0, j = 0; out != nullptr && token[i] != '\0'; ++i) {
        unsigned char c = static_cast<unsigned char>(token[i]);
        if ((c < ' ' && c != '\t' && c != '\n') || c == 0x7F) {
            format_text(out + j, 4, "%%%02X", c);
            j += 3;
        } else {
            out[j++] = token[i];
        }
    }
    return out;
}

// The login request; QUERY_SHOWN with the token, else the query_balance code.
int log_in(char* work, char* method, char** token)
{
    const Credentials& credentials = app_state.credentials;
    if (!format_method(method, TEXT_LOGIN_QUERY, credentials.contract_number, credentials.pass_hash)) {
        return QUERY_BAD_CREDENTIALS;
    }
    uint32_t status = FETCH_FAILED;
    char* reply = http_get(work, &status);
    if (reply == nullptr) {
        // Only the statuses http_get defines count; the sum must never wrap
        // round to the success code.
        return status <= FETCH_NO_MEMORY ? QUERY_FETCH_FAILED + static_cast<int>(status) : QUERY_FETCH_FAILED;
    }
    char* found = tag_value("token", reply);
    *token = escape_controls(found);
    // The token is the session's key.
    secure_wipe(reply, status + 1);
    free_text(reply);
    secure_wipe(found, found != nullptr ? strlen(found) : 0);
    free_text(found);
    return *token != nullptr ? QUERY_SHOWN : QUERY_BAD_CREDENTIALS;
}

// Fetches the dynamic information and renders it into `work`; QUERY_SHOWN when
// the result is not empty, else QUERY_FETCH_FAILED.
int fetch_balance(char* work, char* method, const char* token)
{
    // A missing text 9 leaves the login request in place, to be sent again.
    format_method(method, TEXT_DYNAMIC_INFO_QUERY, token, nullptr);
    uint32_t status = FETCH_FAILED;
    char* reply = http_get(work, &status);
    if (reply == nullptr) {
        return QUERY_FETCH_FAILED;
    }
    utf8_to_ansi(reply);
    work[0] = '\0';
    char* balance_template = load_text(TEXT_BALANCE_TEMPLATE);
    if (balance_template != nullptr) {
        expand_template(work, balance_template, reply);
    }
    free_text(balance_template);
    free_text(reply);
    return work[0] != '\0' ? QUERY_SHOWN : QUERY_FETCH_FAILED;
}
}  // namespace

int query_balance(WindowHandle owner)
{
    validate_credentials();
    if (app_state.credentials.contract_number[0] == '\0' || app_state.credentials.pass_hash[0] == '\0') {
        return QUERY_BAD_CREDENTIALS;
    }
    char* work = alloc_text(balance_work_size);
    if (work == nullptr) {
        return QUERY_FETCH_FAILED;
    }
    int code = query_balance_in(owner, work);
    free_text(work);
    return code;
}

int query_balance_in(WindowHandle owner, char* work)
{
    char* method = put_base_url(work);
    char* token = nullptr;
    int code = method != nullptr ? log_in(work, method, &token) : QUERY_BAD_CREDENTIALS;
    if (code == QUERY_SHOWN) {
        code = fetch_balance(work, method, token);
        secure_wipe(token, strlen(token));
        free_text(token);
    }
    if (code == QUERY_SHOWN) {
        message_box(owner, work, BOX_INFORMATION);
    }
    // The login URL held the contract number and the pass-hash.
    secure_wipe(work, balance_work_size);
    return code;
}

char* tag_value(const char* name, const char* text)
{
    if (name == nullptr) {
        return nullptr;
    }
    return find_tag(name, strlen(name), text);
}

void expand_template(char* out, const char* template_text, const char* source)
{
    if (out == nullptr || template_text == nullptr || source == nullptr) {
        return;
    }
    size_t i = 0;
    size_t j = 0;
    while (template_text[i] != '\0') {
        char c = template_text[i++];
        if (c == '#') {
            const char* end = strchr(template_text + i, '$');
            if (end == nullptr) {
                break;
            }
            char* value = find_tag(template_text + i, static_cast<size_t>(end - (template_text + i)), source);
            if (value != nullptr) {
                j = insert_value(out, j, value);
                free_text(value);
            }
            i = static_cast<size_t>(end - template_text) + 1;
        } else if (c != '$') {
            out[j++] = c;
        }
        if (i > template_limit) {
            break;
        }
    }
    out[j] = '\0';
}
