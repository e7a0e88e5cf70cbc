// Reading a body without Content-Length: the time per byte must stay flat from
// 1 MiB to 16 MiB (the buffer grows geometrically, never byte by byte).
// BM_http_get also fetches such bodies from the billing simulator over HTTPS;
// it runs only inside a test namespace whose trust store holds the test CA:
//   tests/run-suite.sh style: unshare --net --mount ..., TARVELON_TEST_NETNS=1,
//   TARVELON_SOURCE_DIR=<source tree>, then body_growth_bench.
#include "account/web_fetch.h"
#include "common/heap_text.h"
#include "filler_body.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {
void BM_body_without_length(benchmark::State& state)
{
    uint32_t size = static_cast<uint32_t>(state.range(0));
    for (auto _ : state) {
        FillerBody source = {size};
        BodyReader reader;
        body_start(&reader, nullptr);
        pull_body(&reader, read_filler, &source);
        uint32_t status = 0;
        char* body = body_finish(&reader, &status);
        benchmark::DoNotOptimize(body);
        free_text(body);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * size);
}

void BM_http_get(benchmark::State& state)
{
    const char* netns = getenv("TARVELON_TEST_NETNS");
    const char* source_dir = getenv("TARVELON_SOURCE_DIR");
    if (netns == nullptr || std::string(netns) != "1" || source_dir == nullptr) {
        state.SkipWithError("needs TARVELON_TEST_NETNS=1 and TARVELON_SOURCE_DIR");
        return;
    }
    // exec: the shell gives way, so that the simulator's owner is this process.
    std::string sim = "exec " + std::string(source_dir) + "/tools/billing_sim/sim.sh";
    std::string run = "/tmp/tarvelon-bench-sim";
    std::string start = sim + " start " + run + " --address 127.0.0.61 --fault no-length --body-size " +
        std::to_string(state.range(0));
    if (system(start.c_str()) != 0) {
        state.SkipWithError("billing simulator did not start");
        return;
    }
    for (auto _ : state) {
        uint32_t status = 0;
        char* body = http_get("https://127.0.0.61/x", &status);
        if (body == nullptr || status != state.range(0)) {
            state.SkipWithError("fetch failed");
        }
        free_text(body);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
    system((sim + " stop " + run).c_str());
}
}  // namespace

BENCHMARK(BM_body_without_length)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_http_get)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
