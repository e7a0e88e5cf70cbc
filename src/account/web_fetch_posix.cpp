#include "account/web_fetch.h"

#include "common/heap_text.h"
#include "common/heap_text_posix.h"

#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <strings.h>

namespace {
const long connect_timeout_seconds = 60;
const long stall_timeout_seconds = 30;

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
    size_t path_length = *authority_end == '/' ? strcspn(authority_end, "#") : 0;
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

// Refused or reset is what a client with TLS switched off sees.
uint32_t failure_status(bool secure, CURLcode result, long os_error)
{
    if (secure && (result == CURLE_COULDNT_CONNECT || os_error == ECONNRESET)) {
        return FETCH_TLS_FAILED;
    }
    return FETCH_FAILED;
}

// Only Host and "Connection: Close" go out beside the request line, to the
// port of the scheme, directly, without cookies.
void set_request_options(CURL* curl, const char* url, bool secure, curl_slist* headers)
{
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, secure ? "https" : "http");
    curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, stall_timeout_seconds);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, accept_any_dates);
}

char* fetch(const char* url, bool secure, uint32_t* length_or_status)
{
    Transfer transfer = {};
    transfer.curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, "Accept:");
    curl_slist* more = headers != nullptr ? curl_slist_append(headers, "Connection: Close") : nullptr;
    if (transfer.curl == nullptr || more == nullptr) {
        curl_slist_free_all(headers);
        curl_easy_cleanup(transfer.curl);
        return nullptr;
    }
    set_request_options(transfer.curl, url, secure, headers);
    curl_easy_setopt(transfer.curl, CURLOPT_WRITEFUNCTION, on_data);
    curl_easy_setopt(transfer.curl, CURLOPT_WRITEDATA, &transfer);
    CURLcode result = curl_easy_perform(transfer.curl);

    char* body = nullptr;
    long http_code = 0;
    curl_easy_getinfo(transfer.curl, CURLINFO_RESPONSE_CODE, &http_code);
    if (http_code != 0) {
        // A reply arrived: whatever its body gave is the result, even if the
        // connection ended early.
        if (!transfer.started) {
            start_reader(&transfer);
        }
        body = body_finish(&transfer.reader, length_or_status);
    } else {
        long os_error = 0;
        curl_easy_getinfo(transfer.curl, CURLINFO_OS_ERRNO, &os_error);
        *length_or_status = failure_status(secure, result, os_error);
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(transfer.curl);
    return body;
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
    char* target = alloc_text(url_length + 16);
    bool secure = false;
    char* body = nullptr;
    if (host != nullptr && path != nullptr && target != nullptr && split_url(url, &secure, host, path)) {
        // The port written in the URL, if any, is dropped: the scheme's own is used.
        strcpy(target, secure ? "https://" : "http://");
        strcat(target, host);
        strcat(target, path);
        body = fetch(target, secure, length_or_status);
    }
    // The path may carry the credentials of a login request.
    secure_wipe(path, path != nullptr ? url_length + 1 : 0);
    secure_wipe(target, target != nullptr ? url_length + 16 : 0);
    free_text(host);
    free_text(path);
    free_text(target);
    return body;
}

char* resize_buffer(char* buffer, size_t size)
{
    if (size == 0) {
        free_text(buffer);
        return nullptr;
    }
    if (buffer == nullptr) {
        return alloc_text(size);
    }
    return realloc_text(buffer, size);
}
