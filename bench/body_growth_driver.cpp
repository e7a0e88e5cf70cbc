// Measures, under Wine, how reading a body without Content-Length grows from
// 1 MiB to 16 MiB: through the shared reader over LocalReAlloc, and, given URLs
// serving such bodies, through WinINet.  Prints milliseconds and the ratio.
//   body_growth_driver [URL_1MiB URL_16MiB]
#include "account/web_fetch.h"
#include "common/heap_text.h"
#include "filler_body.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {
double now_ms()
{
    LARGE_INTEGER count;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double time_reader(uint32_t size)
{
    double start = now_ms();
    FillerBody source = {size};
    BodyReader reader;
    body_start(&reader, nullptr);
    pull_body(&reader, read_filler, &source);
    uint32_t status = 0;
    free_text(body_finish(&reader, &status));
    return now_ms() - start;
}

double time_fetch(const char* url)
{
    double start = now_ms();
    uint32_t status = 0;
    char* body = http_get(url, &status);
    double elapsed = now_ms() - start;
    if (body == nullptr) {
        printf("fetch of %s failed, status %u\n", url, status);
    }
    free_text(body);
    return elapsed;
}
}  // namespace

int main(int argc, char** argv)
{
    double small = time_reader(1u << 20);
    double large = time_reader(16u << 20);
    printf("reader: 1 MiB %.1f ms, 16 MiB %.1f ms, ratio %.1f\n", small, large, large / small);
    if (argc == 3) {
        time_fetch(argv[1]);  // the first secure connection loads the TLS libraries
        small = time_fetch(argv[1]);
        large = time_fetch(argv[2]);
        printf("http_get: 1 MiB %.1f ms, 16 MiB %.1f ms, ratio %.1f\n", small, large, large / small);
    }
    return 0;
}
