#include "account/web_fetch_win.h"

#include "common/heap_text.h"

#include <windows.h>
#include <wininet.h>

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(URL_COMPONENTSA) == 60, "URL_COMPONENTSA is the 60-byte record");
#endif

namespace {
const DWORD request_flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
const DWORD secure_flags =
    INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID | INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(request_flags == 0x04080200 && (request_flags | secure_flags) == 0x04883200,
              "request flags");

const char close_header[] = "Connection: Close";
static_assert(sizeof close_header - 1 == 17, "the extra header goes out as 17 bytes");

uint32_t read_request(void* request, char* buffer, uint32_t size)
{
    DWORD count = 0;
    // The success flag is not consulted: a failed read delivers nothing and ends the body.
    InternetReadFile(static_cast<HINTERNET>(request), buffer, size, &count);
    return count;
}

char* read_reply(HINTERNET request, uint32_t* length_or_status)
{
    DWORD length = 0;
    DWORD size = sizeof length;
    DWORD index = 0;
    uint64_t announced = 0;
    const uint64_t* content_length = nullptr;
    if (HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, &index)) {
        announced = length;
        content_length = &announced;
    }
    BodyReader reader;
    body_start(&reader, content_length);
    pull_body(&reader, read_request, request);
    return body_finish(&reader, length_or_status);
}

char* fetch(HINTERNET connection, const char* path, bool secure, uint32_t* length_or_status)
{
    DWORD flags = request_flags | (secure ? secure_flags : 0);
    HINTERNET request = HttpOpenRequestA(connection, nullptr, path, "HTTP/1.0", nullptr, nullptr, flags, 0);
    if (request == nullptr) {
        return nullptr;
    }
    char* body = nullptr;
    if (HttpSendRequestA(request, close_header, sizeof close_header - 1, nullptr, 0)) {
        body = read_reply(request, length_or_status);
    } else {
        *length_or_status = send_failure_status(secure, GetLastError());
    }
    InternetCloseHandle(request);
    return body;
}

char* connect_and_fetch(const char* host, const char* path, bool secure, uint32_t* length_or_status)
{
    HINTERNET internet = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    if (internet == nullptr) {
        return nullptr;
    }
    char* body = nullptr;
    // The port is fixed by the scheme; one written in the URL is not used.
    INTERNET_PORT port = secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    HINTERNET connection = InternetConnectA(internet, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (connection != nullptr) {
        body = fetch(connection, path, secure, length_or_status);
        InternetCloseHandle(connection);
    }
    InternetCloseHandle(internet);
    return body;
}
}  // namespace

// Refused or reset is what a client with TLS switched off sees.
uint32_t send_failure_status(bool secure, unsigned long error)
{
    if (secure && (error == ERROR_INTERNET_CANNOT_CONNECT || error == ERROR_INTERNET_CONNECTION_RESET)) {
        return FETCH_TLS_FAILED;
    }
    return FETCH_FAILED;
}

char* http_get(const char* url, uint32_t* length_or_status)
{
    if (length_or_status == nullptr) {
        return nullptr;
    }
    *length_or_status = FETCH_FAILED;
    if (url == nullptr) {
        return nullptr;
    }
    DWORD url_length = lstrlenA(url);
    char* host = alloc_text(url_length + 1);
    char* path = alloc_text(url_length + 1);
    URL_COMPONENTSA parts = {};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = url_length;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = url_length;
    char* body = nullptr;
    if (host != nullptr && path != nullptr && InternetCrackUrlA(url, url_length, 0, &parts) &&
        (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) && host[0] != '\0' &&
        path[0] != '\0') {
        body = connect_and_fetch(host, path, parts.nScheme == INTERNET_SCHEME_HTTPS, length_or_status);
    }
    // The path may carry the credentials of a login request.
    secure_wipe(path, path != nullptr ? url_length + 1 : 0);
    free_text(host);
    free_text(path);
    return body;
}
