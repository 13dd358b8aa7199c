// A stored quote moving a linked 1-minute chart with three studies: the
// quote that updates the last bar must cost about the same on a chart of
// 1,000,000 bars as on one of 1,000 (the studies go on from the changed
// bar), and a quote that opens a new minute recomputes from that bar only.
// BM_Baseline (1,000 bars, last bar updated) is the figure the others are
// read against: the 1,000,000-bar update should stay within twice it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/dates.h"
#include "platform/files.h"
#include "quotes/livechart.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "settings/settings.h"
#include "studies/study.h"
#include "studies/study_types.h"

namespace {

const int DAY = 20240102;
const int OPEN = 9 * 3600 + 30 * 60;

struct bench_root {
  char path[64] = "/tmp/kv_bench_livechart_XXXXXX";
  bench_root() {
    if (!mkdtemp(path)) abort();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", path);
    g_settings.KeepNumDays1Min = 0;  // nothing pruned
    install_live_chart_hooks();
    install_study_chart_hooks();
  }
  ~bench_root() {
    std::string cmd = std::string("rm -rf ") + path;
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path);
  }
};

StudyDef templ(int type, int period) {
  StudyDef t;
  memset(&t, 0, sizeof t);
  t.type = type;
  t.period = period;
  t.price_type = 4;
  t.p2 = 1;
  return t;
}

// A 1-minute chart of n bars ending at today's opening minute, linked to
// a record, with an SMA, an EMA and an RSI. The record's one-minute ring
// is left out: only the chart path is measured.
struct live_chart {
  mqt* r;
  chart_rec* c;
  explicit live_chart(int n) {
    r = create_multiquote_struct("BENCH");
    r->flags |= MQT_1MIN_INIT;  // no seeding from a file
    r->session_start = 0;
    r->session_end = 86400;
    c = new_chart("BENCH", TU_1MIN);
    if (n + 64 > c->spare && !grow_chart_bars(c, n + 64 - c->spare)) abort();
    int64_t end = date_to_seconds(DAY, OPEN);
    for (int i = 0; i < n; i++) {
      chart_bar& b = c->bars[i];
      b.open = b.high = b.low = b.close = 100.0f + (float)(i % 17);
      b.high += 1;
      b.volume = 100;
      b.flags = 0x1e0000;
      b.time = (int32_t)(end - (int64_t)(n - 1 - i) * 60);
    }
    c->header.bar_count = n;
    c->spare -= n;
    c->pruned_today = 1;
    c->mqt = r;
    r->intraday_charts = c;
    const StudyDef t[] = {templ(STUDY_SMA, 50), templ(STUDY_EMA, 50), templ(STUDY_RSI, 14)};
    for (const StudyDef& s : t)
      if (!create_study(c, &s)) abort();
    recalc_studies(c, 1);
    r->quote_date = DAY;
    r->feed_flags = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE;
    r->last_size = 1;
  }
  ~live_chart() {
    r->intraday_charts = nullptr;
    free_study_list(c->studies);
    free(c->bars);
    free(c);
    delete_multiquote(r);
  }
  void quote(int time, float price) {
    r->trade_time = r->quote_time = time;
    r->last = price;
    update_mqt_charts(r);
  }
};

bench_root g_root;

// A quote inside the last bar's minute.
void update_last_bar(benchmark::State& state) {
  live_chart lc((int)state.range(0));
  int k = 0;
  for (auto _ : state) lc.quote(OPEN + 30, 100.0f + (float)(k++ & 7) * 0.25f);
}

void BM_Baseline(benchmark::State& state) {
  update_last_bar(state);
}
void BM_UpdateLastBar(benchmark::State& state) {
  update_last_bar(state);
}

// A quote opening the next minute: one bar appended each time (the chart
// is rebuilt outside the timing when its room runs out).
void BM_AppendBar(benchmark::State& state) {
  int n = (int)state.range(0);
  live_chart* lc = new live_chart(n);
  int t = OPEN + 60;
  for (auto _ : state) {
    if (lc->c->spare == 0 || t >= 86400) {
      state.PauseTiming();
      delete lc;
      lc = new live_chart(n);
      t = OPEN + 60;
      state.ResumeTiming();
    }
    lc->quote(t, 100.5f);
    t += 60;
  }
  delete lc;
}

}  // namespace

BENCHMARK(BM_Baseline)->Arg(1000);
BENCHMARK(BM_UpdateLastBar)->Arg(1000)->Arg(1000000);
BENCHMARK(BM_AppendBar)->Arg(1000)->Arg(1000000)->Iterations(40);

BENCHMARK_MAIN();
