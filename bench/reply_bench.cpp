// The reply scanner and the renderer over replies of growing size: the time per
// byte must stay flat (one pass, no rescans).
#include "account/balance_query.h"
#include "common/heap_text.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {
// Many start tags that do not match, then the wanted elements at the very end.
std::string make_reply(size_t size)
{
    const std::string tail = "<balance>1234.56</balance><balanceInfo>31</balanceInfo>";
    const std::string filler = "<item><balanceX>0</balanceX><name>x</name></item>\n";
    std::string reply;
    reply.reserve(size);
    while (reply.size() + filler.size() + tail.size() <= size) {
        reply += filler;
    }
    reply.append(size - reply.size() - tail.size(), ' ');
    return reply + tail;
}

void BM_tag_value(benchmark::State& state)
{
    std::string reply = make_reply(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        char* value = tag_value("balanceInfo", reply.c_str());
        benchmark::DoNotOptimize(value);
        free_text(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_expand_template(benchmark::State& state)
{
    std::string reply = make_reply(static_cast<size_t>(state.range(0)));
    const char* templ = "Balance: #balance$\nDays: #balanceInfo$";
    static char out[2064];
    for (auto _ : state) {
        expand_template(out, templ, reply.c_str());
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
}  // namespace

BENCHMARK(BM_tag_value)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_expand_template)->Arg(1 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK_MAIN();
