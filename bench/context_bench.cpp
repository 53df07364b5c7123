// Label text codec against the plainest code doing the same work: snprintf of
// the five fields for contextToString, strtoull of the eleven numbers for
// stringToContext.
#include <vorxlabelmgr/label_context.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

namespace {

context_t sample()
{
    return context_t{{0x0123456789abcdefULL, 0x1122334455667788ULL, 0xfedcba9876543210ULL},
                     {0, 0x42, 0xffffffffffffffffULL},
                     {0xa0a0a0a0a0a0a0a0ULL, 0x5555555555555555ULL, 0x1ULL},
                     0xdeadbeef,
                     0x00c0ffee};
}

void BM_contextToString(benchmark::State& state)
{
    const context_t ctx = sample();
    for (auto _ : state) {
        std::string text = contextToString(ctx);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_contextToString);

// The same text with snprintf into a string of its own, as a caller would.
void BM_baseline_snprintf(benchmark::State& state)
{
    const context_t ctx = sample();
    for (auto _ : state) {
        char buf[171];
        int n = snprintf(buf, sizeof buf,
                         "%016" PRIx64 "-%016" PRIx64 "-%016" PRIx64 ":%08" PRIx32 ":%016" PRIx64 "-%016" PRIx64
                         "-%016" PRIx64 ":%08" PRIx32 ":%016" PRIx64 "-%016" PRIx64 "-%016" PRIx64,
                         ctx.sid.part0, ctx.sid.part1, ctx.sid.part2, ctx.value_a, ctx.mid_id.part0, ctx.mid_id.part1,
                         ctx.mid_id.part2, ctx.value_b, ctx.creator_oid.part0, ctx.creator_oid.part1,
                         ctx.creator_oid.part2);
        std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_baseline_snprintf);

void BM_stringToContext(benchmark::State& state)
{
    const std::string text = contextToString(sample());
    context_t ctx{};
    for (auto _ : state) {
        // A failure would log; the text is always valid, so none happens here.
        if (stringToContext(text, ctx) != 0) {
            state.SkipWithError("stringToContext refused its own text");
            break;
        }
        benchmark::DoNotOptimize(&ctx);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_stringToContext);

// Eleven strtoull calls, each stepping over the separator after the number.
void BM_baseline_strtoull(benchmark::State& state)
{
    const std::string text = contextToString(sample());
    uint64_t numbers[11];
    for (auto _ : state) {
        const char* p = text.c_str();
        for (uint64_t& n : numbers) {
            char* end;
            n = strtoull(p, &end, 16);
            p = *end != '\0' ? end + 1 : end;
        }
        benchmark::DoNotOptimize(numbers);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_baseline_strtoull);

}  // namespace

BENCHMARK_MAIN();
