// Compressing one-minute charts into five-minute and thirteen-minute bars:
// 250,000 to 1,000,000 bars, with the fitted complexity (linear expected)
// and, as the baseline, one pass that only reads every bar.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/derived.h"
#include "settings/settings.h"

namespace {

constexpr int32_t DAY0 = 946857600;  // 2000-01-03
constexpr int BARS_PER_DAY = 390;    // 9:30 to 16:00

chart_rec* minute_chart(int count) {
  chart_rec* c = alloc_chart_rec();
  c->header.time_unit = TU_1MIN;
  snprintf(c->header.symbol, sizeof c->header.symbol, "BENCH");
  c->bars = (chart_bar*)calloc((size_t)count, sizeof(chart_bar));
  for (int i = 0; i < count; i++) {
    chart_bar& b = c->bars[i];
    float p = 100.0f + (float)(i % 97) * 0.25f;
    b.open = p;
    b.high = p + 1;
    b.low = p - 1;
    b.close = p + 0.5f;
    b.volume = 100 + i % 50;
    b.vwap = p;
    b.flags = BAR_VOLUME_VALID | BAR_EXTRA_VWAP;
    b.time = DAY0 + (i / BARS_PER_DAY) * 86400 + 34200 + (i % BARS_PER_DAY) * 60;
  }
  c->header.bar_count = count;
  return c;
}

void compress(benchmark::State& state, int unit) {
  chart_rec* src = minute_chart((int)state.range(0));
  for (auto _ : state) {
    chart_rec* c = compress_minute_chart(src, unit);
    benchmark::DoNotOptimize(c->bars);
    free_chart_data(c);
  }
  state.SetComplexityN(state.range(0));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  free_chart_data(src);
}

void BM_compress_5min(benchmark::State& state) {
  compress(state, 5);
}
void BM_compress_13min(benchmark::State& state) {
  compress(state, 13);
}

// Baseline: one read of every bar's prices and volume.
void BM_read_every_bar(benchmark::State& state) {
  chart_rec* src = minute_chart((int)state.range(0));
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < src->header.bar_count; i++)
      sum += src->bars[i].high - src->bars[i].low + src->bars[i].volume;
    benchmark::DoNotOptimize(sum);
  }
  state.SetComplexityN(state.range(0));
  free_chart_data(src);
}

}  // namespace

BENCHMARK(BM_compress_5min)->RangeMultiplier(2)->Range(250000, 1000000)->Complexity(benchmark::oN);
BENCHMARK(BM_compress_13min)->RangeMultiplier(2)->Range(250000, 1000000)->Complexity(benchmark::oN);
BENCHMARK(BM_read_every_bar)->RangeMultiplier(2)->Range(250000, 1000000)->Complexity(benchmark::oN);

int main(int argc, char** argv) {
  // Keep the large blocks on the heap so that each iteration does not pay
  // fresh page faults for a new mapping.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
