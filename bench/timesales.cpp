// The time-and-sales tape: one trade into a full 1,000-row tape (the
// bottom row dropped, the new one coloured and put on top) against one
// into a tape of 10 rows kept at 10, its bottom row dropped the same way.
// The full tape must stay within 100 us a trade and not grow with the
// rows. Redraws are Qt's, merged over the trades of one event-loop turn,
// and measured by the market list's one-screen benchmark.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>

#include "quotes/mqt_record.h"
#include "quotes/mqtthread.h"
#include "windows/timesalesview.h"

namespace {

QApplication* app() {
  static int argc = 1;
  static char name[] = "bench_timesales";
  static char* argv[] = {name, nullptr};
  static QApplication* a = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return a;
}

// A new trade of this key as the relay's handler posts it: a heap copy
// the window owns.
ts_entry* trade(int key) {
  auto* e = static_cast<ts_entry*>(calloc(1, sizeof(ts_entry)));
  e->operation = TS_OP_NEW;
  e->time = 36000 + key % 20000;
  e->key = key;
  e->price = 100.0f + float(key % 50) / 100;
  e->size = 100;
  e->volume = key * 100;
  e->trade_flags = key % 2 ? TS_AT_ASK : TS_AT_BID;
  return e;
}

void BM_TradeIntoTape(benchmark::State& state) {
  app();
  set_cont_update(1);  // no "quotes are off" message a trade
  const int rows = int(state.range(0));
  CKvTimeSalesView v;
  v.resize(320, 400);
  v.OnInitialUpdate();
  v.show();
  int key = 1;
  for (; key <= rows; key++) v.OnUpdateFromThread(trade(key));
  QApplication::processEvents();
  CListViewEx* list = v.ListView();
  for (auto _ : state) {
    v.OnUpdateFromThread(trade(key++));
    // Below the tape's limit the window keeps every row: drop the bottom
    // one here so that both runs hold their row count.
    if (list->GetItemCount() > rows) list->DeleteItem(list->GetItemCount() - 1);
  }
  QApplication::processEvents();
  if (list->GetItemCount() != rows) state.SkipWithError("the tape did not keep its rows");
}
BENCHMARK(BM_TradeIntoTape)->Arg(10)->Arg(TS_ROWS_MAX)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
