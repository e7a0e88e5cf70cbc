// One status_text call next to one raw dump of the two tables, with 1, 16 and 64
// addresses.  No address has both flags, so the choice visits every row and asks
// for the interface table once per row: the cost should grow with the rows.
// Changes the addresses of the network namespace it runs in: start it through
// bench/status_bench.sh, which gives it a namespace of its own.
#include "common/heap_text.h"
#include "status/status_summary.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
const int address_counts[] = {1, 16, 64};

// Permanent addresses 10.77.i.1/24 on b0; the loopback row is skipped by the choice.
bool set_addresses(int count)
{
    FILE* batch = popen("ip -batch -", "w");
    if (batch == nullptr) {
        return false;
    }
    fprintf(batch, "address flush dev b0\n");
    for (int i = 0; i < count; ++i) {
        fprintf(batch, "address add 10.77.%d.1/24 dev b0\n", i);
    }
    if (pclose(batch) != 0) {
        return false;
    }
    uint32_t rows = 0;
    free_text(read_address_rows(&rows));
    return rows == static_cast<uint32_t>(count) + 1;
}

void status_text_call(benchmark::State& state, int count)
{
    if (!set_addresses(count)) {
        state.SkipWithError("cannot set the addresses");
        return;
    }
    for (auto _ : state) {
        char* text = status_text(0);
        benchmark::DoNotOptimize(text);
        free_text(text);
    }
    state.counters["rows"] = count + 1;
}

void raw_table_dump(benchmark::State& state, int count)
{
    if (!set_addresses(count)) {
        state.SkipWithError("cannot set the addresses");
        return;
    }
    for (auto _ : state) {
        uint32_t addresses = 0;
        uint32_t interfaces = 0;
        AddressRow* address_rows = read_address_rows(&addresses);
        InterfaceRow* interface_rows = read_interface_rows(&interfaces);
        benchmark::DoNotOptimize(address_rows);
        benchmark::DoNotOptimize(interface_rows);
        free_text(address_rows);
        free_text(interface_rows);
    }
    state.counters["rows"] = count + 1;
}
}  // namespace

int main(int argc, char** argv)
{
    const char* private_namespace = getenv("TARVELON_BENCH_NETNS");
    if (private_namespace == nullptr || strcmp(private_namespace, "1") != 0) {
        fprintf(stderr, "status_bench changes the addresses of its namespace: run bench/status_bench.sh\n");
        return 77;
    }
    if (system("ip link add b0 type veth peer name b1 && ip link set b0 up") != 0) {
        fprintf(stderr, "status_bench: cannot create the veth pair (root needed)\n");
        return 1;
    }
    for (int count : address_counts) {
        std::string suffix = "/addresses:" + std::to_string(count);
        benchmark::RegisterBenchmark(("status_text" + suffix).c_str(), status_text_call, count);
        benchmark::RegisterBenchmark(("raw_table_dump" + suffix).c_str(), raw_table_dump, count);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
