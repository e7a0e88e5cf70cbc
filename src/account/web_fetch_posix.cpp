#include "account/web_fetch.h"

#include "common/heap_text.h"
#include "common/heap_text_posix.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <strings.h>

namespace {
const long connect_timeout_seconds = 60;
const long stall_timeout_seconds = 30;
const int max_redirects = 100;

struct Transfer {
    CURL* curl;
    BodyReader reader;
    bool started;
};

// "http" or "https", the host and the path with its query, as WinINet would
// split them; false for any other scheme, an empty host or a missing path.
// `host` and `path` need strlen(url) + 1 bytes each.
bool split_url(const char* url, bool* secure, char* host, char* path)
{
    const char* authority = strstr(url, "://");
    if (authority == nullptr) {
        return false;
    }
    size_t scheme_length = static_cast<size_t>(authority - url);
    if (scheme_length == 5 && strncasecmp(url, "https", 5) == 0) {
        *secure = true;
    } else if (scheme_length == 4 && strncasecmp(url, "http", 4) == 0) {
        *secure = false;
    } else {
        return false;
    }
    authority += 3;
    size_t authority_length = strcspn(authority, "/?#");
    const char* host_start = authority;
    for (size_t i = 0; i < authority_length; ++i) {
        if (authority[i] == '@') {
            host_start = authority + i + 1;
        }
    }
    const char* authority_end = authority + authority_length;
    const char* host_end = host_start;
    if (*host_start == '[') {
        host_end = static_cast<const char*>(memchr(host_start, ']', authority_end - host_start));
        host_end = host_end != nullptr ? host_end + 1 : authority_end;
    } else {
        while (host_end < authority_end && *host_end != ':') {
            ++host_end;
        }
    }
    memcpy(host, host_start, host_end - host_start);
    host[host_end - host_start] = '\0';
    size_t path_length = *authority_end == '/' ? strlen(authority_end) : 0;
    memcpy(path, authority_end, path_length);
    path[path_length] = '\0';
    return host[0] != '\0' && path[0] != '\0';
}

// The chain must lead to a trusted root; a certificate outside its dates is
// accepted, as a wrong host name is (CURLOPT_SSL_VERIFYHOST 0).
CURLcode accept_any_dates(CURL*, void* ssl_ctx, void*)
{
    X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(static_cast<SSL_CTX*>(ssl_ctx)), X509_V_FLAG_NO_CHECK_TIME);
    return CURLE_OK;
}

void start_reader(Transfer* transfer)
{
    curl_off_t length = -1;
    curl_easy_getinfo(transfer->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    uint64_t announced = static_cast<uint64_t>(length);
    body_start(&transfer->reader, length >= 0 ? &announced : nullptr);
    transfer->started = true;
}

size_t on_data(char* data, size_t size, size_t count, void* context)
{
    Transfer* transfer = static_cast<Transfer*>(context);
    if (!transfer->started) {
        start_reader(transfer);
    }
    return push_body(&transfer->reader, data, size * count) ? size * count : 0;
}

// Refused or reset is what a client with TLS switched off sees.  Like WinINet,
// this is judged by the scheme the caller asked for, whatever a redirect chose.
uint32_t failure_status(bool secure, CURLcode result, long os_error)
{
    if (secure && (result == CURLE_COULDNT_CONNECT || os_error == ECONNRESET)) {
        return FETCH_TLS_FAILED;
    }
    return FETCH_FAILED;
}

// Only Host and "Connection: Close" go out beside the request line, directly,
// without cookies.  A certificate's name and dates are let pass only when the
// caller asked for https (a redirect from http to https checks them: WinINet's
// flags come from the first request).
void set_request_options(CURL* curl, bool lenient_tls, curl_slist* headers)
{
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stall_timeout_seconds);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, lenient_tls ? 0L : 2L);
    if (lenient_tls) {
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, accept_any_dates);
    }
}

// WinINet (measured under Wine) follows these answers to a GET, any number of
// times; 308 and the other 3xx are returned like any page.
bool is_followed(long code)
{
    return code == 301 || code == 302 || code == 303 || code == 307;
}

// One exchange.  `target`, when given, goes on the request line as it is.  On a
// followed redirect `*next` receives the absolute URL to go to (a fresh heap
// text) and the result is null.
char* exchange(CURL* curl, const char* url, const char* target, bool secure, uint32_t* length_or_status,
               char** next)
{
    Transfer transfer = {};
    transfer.curl = curl;
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_data);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    CURLcode result = curl_easy_perform(curl);
    long http_code = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &http_code);
    const char* location = nullptr;
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_URL, &location);
    if (http_code == 0) {
        long os_error = 0;
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &os_error);
        *length_or_status = failure_status(secure, result, os_error);
        return nullptr;
    }
    if (!transfer.started) {
        start_reader(&transfer);
    }
    if (is_followed(http_code) && location != nullptr) {
        size_t size = strlen(location) + 1;
        *next = alloc_text(size);
        if (*next != nullptr) {
            copy_text(*next, location, size);
        }
        uint32_t ignored = 0;
        free_text(body_finish(&transfer.reader, &ignored));
        return nullptr;
    }
    // A reply arrived: whatever its body gave is the result, even if the
    // connection ended early.
    return body_finish(&transfer.reader, length_or_status);
}

bool is_https(const char* url)
{
    return strncasecmp(url, "https:", 6) == 0;
}

// `url` is the first request's, its path going on the request line as
// `target`.  Redirects go wherever their Location says, port included, as
// WinINet goes; but from https to http, which WinINet on Windows refuses (Wine's
// follows it), they do not: the login URL would go out in clear.
char* fetch(const char* url, const char* target, bool secure, uint32_t* length_or_status)
{
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Accept:");
    curl_slist* more = headers != nullptr ? curl_slist_append(headers, "Connection: Close") : nullptr;
    char* body = nullptr;
    if (curl != nullptr && more != nullptr) {
        set_request_options(curl, secure, headers);
        char* next = nullptr;
        body = exchange(curl, url, target, secure, length_or_status, &next);
        for (int hop = 0; next != nullptr; ++hop) {
            char* here = next;
            next = nullptr;
            bool downgrade = secure && !is_https(here);
            // A bound WinINet does not have: a redirect loop would never end.
            if (hop < max_redirects && !downgrade) {
                body = exchange(curl, here, nullptr, secure, length_or_status, &next);
            }
            secure_wipe(here, strlen(here));
            free_text(here);
        }
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return body;
}

// The path as WinINet puts it on the request line (measured under Wine): cut at
// a line feed, without tabs and without trailing blanks or control characters,
// backslashes made slashes and spaces written "%20".  Every other byte, "#",
// "%" and bytes from 0x80 up included, goes out as it is.
void wire_target(const char* path, char* out)
{
    size_t length = strcspn(path, "\n");
    while (length > 0 && static_cast<unsigned char>(path[length - 1]) <= ' ') {
        --length;
    }
    for (size_t i = 0; i < length; ++i) {
        if (path[i] == ' ') {
            memcpy(out, "%20", 3);
            out += 3;
        } else if (path[i] != '\t') {
            *out++ = path[i] == '\\' ? '/' : path[i];
        }
    }
    *out = '\0';
}

// The URL libcurl parses for the host and to resolve a relative Location:
// scheme, host and the request line's path with the bytes its parser refuses
// escaped.  `out` needs room for strlen(host) + 3 * strlen(target) + 9 bytes.
void origin_url(bool secure, const char* host, const char* target, char* out)
{
    out += sprintf(out, "%s://%s", secure ? "https" : "http", host);
    for (; *target != '\0'; ++target) {
        unsigned char c = static_cast<unsigned char>(*target);
        out += c <= ' ' || c == 0x7F || c == '#' ? sprintf(out, "%%%02X", c) : sprintf(out, "%c", c);
    }
}
}  // namespace

char* http_get(const char* url, uint32_t* length_or_status)
{
    if (length_or_status == nullptr) {
        return nullptr;
    }
    *length_or_status = FETCH_FAILED;
    if (url == nullptr) {
        return nullptr;
    }
    size_t url_length = strlen(url);
    char* host = alloc_text(url_length + 1);
    char* path = alloc_text(url_length + 1);
    size_t target_size = url_length * 3 + 1;
    char* target = alloc_text(target_size);
    char* origin = alloc_text(target_size * 3 + url_length + 9);
    bool secure = false;
    char* body = nullptr;
    if (host != nullptr && path != nullptr && target != nullptr && origin != nullptr &&
        split_url(url, &secure, host, path)) {
        // The port written in the URL, if any, is dropped: the scheme's own is used.
        wire_target(path, target);
        origin_url(secure, host, target, origin);
        body = fetch(origin, target, secure, length_or_status);
    }
    // The path may carry the credentials of a login request.
    secure_wipe(path, path != nullptr ? url_length + 1 : 0);
    secure_wipe(target, target != nullptr ? target_size : 0);
    secure_wipe(origin, text_capacity(origin));
    free_text(host);
    free_text(path);
    free_text(target);
    free_text(origin);
    return body;
}
