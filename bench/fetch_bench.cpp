// http_get reading bodies of 1 KiB, 1 MiB and 16 MiB from the billing simulator
// on loopback, with and without Content-Length, next to `curl -s -o /dev/null`
// on the same URLs.  The time should grow with the body, not faster: the
// reading loop grows its buffer geometrically.  Run it through
// bench/fetch_bench.sh, which starts the simulators in a namespace of its own
// and names them on the command line as ADDRESS:SIZE:length|none.
#include "account/web_fetch.h"
#include "common/heap_text.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>

extern char** environ;

namespace {
struct Source {
    std::string address;
    uint32_t size;
    bool has_length;
};

std::string size_name(uint32_t size)
{
    return size >= (1u << 20) ? std::to_string(size >> 20) + "MiB" : std::to_string(size >> 10) + "KiB";
}

void fetch_with_http_get(benchmark::State& state, std::string url, uint32_t size)
{
    for (auto _ : state) {
        uint32_t length = 0;
        char* body = http_get(url.c_str(), &length);
        if (body == nullptr || length != size) {
            state.SkipWithError(("http_get failed on " + url).c_str());
            free_text(body);
            return;
        }
        free_text(body);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void fetch_with_curl(benchmark::State& state, std::string url, uint32_t size)
{
    char* argv[] = {const_cast<char*>("curl"), const_cast<char*>("-s"), const_cast<char*>("-o"),
                    const_cast<char*>("/dev/null"), const_cast<char*>(url.c_str()), nullptr};
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        if (posix_spawnp(&child, "curl", nullptr, nullptr, argv, environ) != 0
            || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError(("curl failed on " + url).c_str());
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

bool parse_source(const char* text, Source* source)
{
    char address[16];
    unsigned long size = 0;
    char mode[8];
    if (sscanf(text, "%15[0-9.]:%lu:%7s", address, &size, mode) != 3 || size > max_body_size
        || (strcmp(mode, "length") != 0 && strcmp(mode, "none") != 0)) {
        return false;
    }
    *source = Source{address, static_cast<uint32_t>(size), strcmp(mode, "length") == 0};
    return true;
}

void register_source(const Source& source)
{
    for (const char* scheme : {"http", "https"}) {
        std::string url = std::string(scheme) + "://" + source.address + "/user/v1/getDynamicInfo";
        std::string name = std::string(scheme) + "/" + size_name(source.size) + "/"
            + (source.has_length ? "length" : "no-length");
        benchmark::RegisterBenchmark(("http_get/" + name).c_str(), fetch_with_http_get, url, source.size)
            ->UseRealTime()->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("curl/" + name).c_str(), fetch_with_curl, url, source.size)
            ->UseRealTime()->Unit(benchmark::kMillisecond);
    }
}
}  // namespace

int main(int argc, char** argv)
{
    const char* private_namespace = getenv("TARVELON_BENCH_NETNS");
    if (private_namespace == nullptr || strcmp(private_namespace, "1") != 0) {
        fprintf(stderr, "fetch_bench needs the simulators on ports 80 and 443: run bench/fetch_bench.sh\n");
        return 77;
    }
    benchmark::Initialize(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        Source source;
        if (!parse_source(argv[i], &source)) {
            fprintf(stderr, "fetch_bench: expected ADDRESS:SIZE:length|none, got %s\n", argv[i]);
            return 2;
        }
        register_source(source);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
