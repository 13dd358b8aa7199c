// Cost per bar of a MACD back-test (price step 0) over one-minute charts of
// 1,000 and of 100,000 bars: the per-bar cost of the long run is compared
// with the short one's, which is the baseline.  A run costs the same per
// bar whatever the chart's length when studies are computed only for the
// bars that change.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/xsystems.h"
#include "data/chart.h"
#include "platform/files.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "studies/study.h"

namespace {

void setup_root() {
  static bool done = false;
  if (done) return;
  done = true;
  char tmpl[] = "/tmp/kv_bench_systems_XXXXXX";
  std::string root = mkdtemp(tmpl);
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root.c_str());
  kv_make_dirs((root + "/ACCOUNTS").c_str(), nullptr);
}

void backtest(benchmark::State& state) {
  setup_root();
  int n = (int)state.range(0);
  std::vector<chart_bar> bars(n);
  for (int i = 0; i < n; i++) {
    // A wave that crosses its averages every few dozen bars.
    float p = 100 + 5 * std::sin(i / 7.0f) + 2 * std::sin(i / 3.1f);
    bars[i] = chart_bar{};
    bars[i].open = p;
    bars[i].high = p + 0.5f;
    bars[i].low = p - 0.5f;
    bars[i].close = p + 0.25f * std::sin((float)i);
    bars[i].volume = 1000;
    bars[i].time = 1704186000 + 60 * i;
  }
  for (auto _ : state) {
    state.PauseTiming();
    mqt* r = create_multiquote_struct("BX");
    r->tick_size = 0.25;
    r->multiplier = 1;
    chart_rec c;
    memset(&c, 0, sizeof c);
    std::vector<chart_bar> storage = bars;
    c.bars = storage.data();
    c.header.bar_count = n;
    c.header.time_unit = 1;
    snprintf(c.header.symbol, sizeof c.header.symbol, "BX");
    c.mqt = r;
    strategy_ctx s{};
    snprintf(s.typed_account, sizeof s.typed_account, "MACD1");
    s.flags = STRATEGY_TRADE_LONG | STRATEGY_TRADE_SHORT;
    s.max_lots = 1;
    s.lot_size = 1;
    state.ResumeTiming();
    for (const trading_system* t = g_trading_systems; t->name; t++)
      if (strcmp(t->name, "MACD") == 0) t->start(&c, &s);
    state.PauseTiming();
    free_study_list(c.studies);
    close_all_accounts();
    free_all_mqts();
    state.ResumeTiming();
  }
  state.counters["ns_per_bar"] = benchmark::Counter(
      (double)n * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

BENCHMARK(backtest)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
