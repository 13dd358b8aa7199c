// Storing one quote into a live-quote record: the cost must not grow with
// the number of records in the list (a quote every microsecond from a
// relay that watches hundreds of symbols).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "settings/settings.h"

namespace {

// A data root of its own, so that the records' extension-file lookups
// never reach the user's folders.
struct bench_root {
  char path[64] = "/tmp/kv_bench_quotes_XXXXXX";
  bench_root() {
    if (!mkdtemp(path)) abort();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", path);
  }
  ~bench_root() {
    std::string cmd = std::string("rm -rf ") + path;
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path);
  }
};

// Stores trades into the newest record of a list of state.range(0) records.
void BM_SaveQuote(benchmark::State &state) {
  bench_root root;
  int n = (int)state.range(0);
  mqt *record = nullptr;
  for (int i = 0; i < n; i++) {
    char sym[16];
    snprintf(sym, sizeof sym, "SYM%d", i);
    record = create_multiquote_struct(sym);
  }
  int i = 0;
  for (auto _ : state) {
    record->quote_date = 20240102;
    record->trade_time = 34200 + (i / 1000) % 20000;
    record->last = 100.0f + (float)(i % 50) * 0.01f;
    record->last_size = 100;
    record->bid = record->last - 0.01f;
    record->ask = record->last + 0.01f;
    record->feed_flags =
        FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE | FEED_BID | FEED_ASK;
    benchmark::DoNotOptimize(save_mqt_data(record, SAVE_MQT_FULL | SAVE_MQT_CHARTS));
    i++;
  }
  state.SetItemsProcessed(state.iterations());
  free_all_mqts();
}
BENCHMARK(BM_SaveQuote)->Arg(1)->Arg(300)->Arg(10000);

}  // namespace

BENCHMARK_MAIN();
