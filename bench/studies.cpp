// Study computation speed: full computation over long charts (per bar),
// the same over a tenth of the bars (linearity), and the update for one new
// quote (restart 0 on the last bar) on a short and a long chart.  The
// baseline is one pass over the same bars that reads each close and writes
// one float: a study's per-bar figure is read as a ratio to it, measured in
// the same run.  The Ferlume1 studies run from the plug-in, loaded as the
// program loads it (dlopen) with the engine's callback table.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "data/chart.h"
#include "platform/dynlib.h"
#include "studies/study.h"
#include "studies/study_internal.h"
#include "studies/study_types.h"

namespace {

struct bench_chart {
  chart_rec rec;
  std::vector<chart_bar> bars;
  explicit bench_chart(int n) {
    memset(&rec, 0, sizeof rec);
    bars.resize(n + 16);
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> step(-1.0f, 1.0f);
    float p = 1000;
    for (int i = 0; i < n; i++) {
      chart_bar &b = bars[i];
      b.open = p;
      p += step(rng);
      b.close = p;
      b.high = std::max(b.open, b.close) + std::fabs(step(rng));
      b.low = std::min(b.open, b.close) - std::fabs(step(rng));
      b.volume = 1000 + (int)(rng() % 5000);
      b.extra = (int)(rng() % 2000) - 1000;
      b.time = (15000 + i / 390) * 86400 + 34200 + (i % 390) * 60;  // one-minute bars
    }
    rec.bars = bars.data();
    rec.header.bar_count = n;
    rec.spare = 16;
    rec.header.time_unit = 1;
  }
};

struct bench_study {
  StudyDef *s;
  bench_study(const StudyDef &t, int slots) {
    int series = study_output_count(&t);
    s = (StudyDef *)calloc(1, sizeof(StudyDef) + (size_t)slots * series * sizeof(float));
    memcpy(s, &t, sizeof t);
    s->output_len = slots;
    study_bind_outputs(s);
  }
  ~bench_study() { free(s); }
};

StudyDef make(int type, int period, int price, int method, double p1, double p2, double p3) {
  StudyDef t;
  memset(&t, 0, sizeof t);
  t.type = type;
  t.period = period;
  t.price_type = price;
  t.method = method;
  t.p1 = p1;
  t.p2 = p2;
  t.p3 = p3;
  return t;
}

// The studies measured, with their default parameters (indices 0-24).
const StudyDef kStudies[] = {
    make(STUDY_SMA, 50, 4, 0, 0, 1, 0),
    make(STUDY_EMA, 50, 4, 0, 0, 1, 0),
    make(STUDY_WMA, 50, 4, 0, 0, 1, 0),
    make(STUDY_TMA, 50, 4, 0, 0, 1, 0),
    make(STUDY_BB_UPPER, 20, 4, 0, 1, 2, 0),
    make(STUDY_BB_PERCENT, 20, 4, 0, 3, 2, 0),
    make(STUDY_BB_WIDTH, 20, 4, 0, 1, 2, 0),
    make(STUDY_STDDEV, 50, 4, 0, 0, 1, 0),
    make(STUDY_RSI, 14, 4, 0, 0, 0, 0),
    make(STUDY_MACD, 12, 4, 0, 0, 26, 0),
    make(STUDY_MACD_SIGNAL, 12, 4, 0, 0, 26, 9),
    make(STUDY_STOCH_K, 10, 4, 0, 1, 0, 0),
    make(STUDY_STOCH_D, 10, 4, 0, 1, 10, 0),
    make(STUDY_VMA, 50, 4, 0, 0, 1, 0),
    make(STUDY_CCI, 14, 6, 0, 0, 0, 0),
    make(STUDY_VHF, 28, 4, 0, 0, 0, 0),
    make(STUDY_AVG_VOLUME, 20, 9, 0, 0, 0, 0),
    make(STUDY_OBV, 20, 0, 0, 0, 0, 0),
    make(STUDY_PVT, 20, 0, 0, 0, 0, 0),
    make(STUDY_AD_LINE, 0, 0, 0, 0, 0, 0),
    make(STUDY_CHAIKIN, 0, 0, 0, 0, 0, 0),
    make(STUDY_REL_VOLUME, 20, 0, 0, 3, 0, 0),
    make(STUDY_NET_VOLUME_RATIO, 10, 0, 0, 0, 0, 0),
    make(STUDY_INTRADAY_REL_VOLUME, 3, 0, 0, 0, 0, 0),
    make(STUDY_INTRADAY_ACC_VOLUME, 3, 0, 0, 0, 0, 0),
    // the stochastics again with %K smoothing over 3 bars
    make(STUDY_STOCH_K, 10, 4, 0, 3, 0, 0),
    make(STUDY_STOCH_D, 10, 4, 0, 3, 10, 0),
};
const int kStudyCount = sizeof kStudies / sizeof kStudies[0];

// Ferlume1 studies by index with their default parameters (the Keltner
// channel draws on other studies of a chart's list and is left out).
struct lib_case {
  int index;
  const char *what;
};
const lib_case kLibStudies[] = {
    {0, "Ferlume1 UOSC"},  {1, "Ferlume1 CVI"},  {2, "Ferlume1 ATR"},  {3, "Ferlume1 TSI"},
    {4, "Ferlume1 TSIsl"}, {5, "Ferlume1 TSF"},  {6, "Ferlume1 TSFB"}, {7, "Ferlume1 TSFD"},
    {8, "Ferlume1 TEF"},   {10, "Ferlume1 SAR"}, {11, "Ferlume1 +DI"}, {12, "Ferlume1 -DI"},
    {13, "Ferlume1 ADX"},  {14, "Ferlume1 MMA"}, {15, "Ferlume1 MOM"}, {16, "Ferlume1 HH"},
};
const int kLibCount = sizeof kLibStudies / sizeof kLibStudies[0];

// The plug-in's default record of study `index`, bound to its compute
// function; the callbacks are handed over once.
StudyDef lib_template(int index) {
  static kv_dynlib *lib = [] {
    kv_dynlib *l = kv_dynlib_open(KV_BINARY_DIR "/bin/Ferlumes", "Ferlume1");
    if (!l) {
      fprintf(stderr, "bench_studies: %s\n", kv_dynlib_error());
      abort();
    }
    auto put = (StudyLibPutCallbacksFn)kv_dynlib_symbol(l, "putCallbacks");
    put(&g_study_callbacks);
    return l;
  }();
  auto get = (StudyLibGetParamValuesFn)kv_dynlib_symbol(lib, "getParamValues");
  StudyDef t;
  memset(&t, 0, sizeof t);
  get(index, &t);
  return t;
}

// Case k: the built-in studies first, then the library's.
StudyDef case_template(int k) {
  return k < kStudyCount ? kStudies[k] : lib_template(kLibStudies[k - kStudyCount].index);
}

const char *case_what(int k) {
  if (k >= kStudyCount) return kLibStudies[k - kStudyCount].what;
  for (int i = 0; i < g_study_type_count; i++)
    if (g_study_types[i].type == kStudies[k].type) return g_study_types[i].what;
  return "?";
}

StudyComputeFn case_compute(int k, const StudyDef &t) {
  return k < kStudyCount ? study_compute_for_type(t.type) : t.compute;
}

bench_chart &chart_of(int n) {
  static bench_chart small(1000), medium(100000), large(1000000);
  return n == 1000 ? small : n == 100000 ? medium : large;
}

void per_bar_counter(benchmark::State &state, int n) {
  // seconds per bar (shown with its SI prefix, e.g. "4.2n" for 4.2 ns)
  state.counters["per_bar"] =
      benchmark::Counter((double)n * (double)state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetItemsProcessed(state.iterations() * n);
}

// The baseline: read each bar's close, write one float.
void BM_baseline(benchmark::State &state) {
  int n = (int)state.range(0);
  bench_chart &c = chart_of(n);
  std::vector<float> out(n);
  const chart_bar *bars = c.rec.bars;
  for (auto _ : state) {
    float *o = out.data();
    for (int i = 0; i < n; i++) o[i] = bars[i].close;
    benchmark::DoNotOptimize(o);
    benchmark::ClobberMemory();
  }
  per_bar_counter(state, n);
}

// Full computation (restart 1); the counter per_bar is the figure.
void BM_full(benchmark::State &state) {
  const StudyDef t = case_template((int)state.range(0));
  int n = (int)state.range(1);
  bench_chart &c = chart_of(n);
  bench_study bs(t, n + 16);
  StudyComputeFn fn = case_compute((int)state.range(0), t);
  state.SetLabel(case_what((int)state.range(0)));
  for (auto _ : state) {
    fn(&c.rec, bs.s, 1);
    benchmark::DoNotOptimize(bs.s->outputs[n - 1]);
  }
  per_bar_counter(state, n);
}

// One new quote: the last bar's close changes and the study goes on from
// where it stopped (restart 0).  The same for 1,000 and 1,000,000 bars.
void BM_update(benchmark::State &state) {
  const StudyDef t = case_template((int)state.range(0));
  int n = (int)state.range(1);
  bench_chart &c = chart_of(n);
  bench_study bs(t, n + 16);
  StudyComputeFn fn = case_compute((int)state.range(0), t);
  state.SetLabel(case_what((int)state.range(0)));
  fn(&c.rec, bs.s, 1);
  float base = c.bars[n - 1].close;
  int k = 0;
  for (auto _ : state) {
    c.bars[n - 1].close = base + (float)(k++ & 7) * 0.25f;
    fn(&c.rec, bs.s, 0);
    benchmark::DoNotOptimize(bs.s->outputs[n - 1]);
  }
  c.bars[n - 1].close = base;
}

void full_args(benchmark::internal::Benchmark *b) {
  for (int i = 0; i < kStudyCount + kLibCount; i++) {
    b->Args({i, 100000});
    b->Args({i, 1000000});
  }
}

void update_args(benchmark::internal::Benchmark *b) {
  for (int i = 0; i < kStudyCount + kLibCount; i++) {
    b->Args({i, 1000});
    b->Args({i, 1000000});
  }
}

}  // namespace

BENCHMARK(BM_baseline)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_full)->Apply(full_args)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_update)->Apply(update_args)->Unit(benchmark::kNanosecond);

BENCHMARK_MAIN();
