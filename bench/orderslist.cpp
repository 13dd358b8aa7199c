// The orders window's Executions tab over an account of 100,000 trades:
// a rebuild (copying the trades out, one row each, newest first, and the
// texts of a screenful of rows) against
// the same number of plain rows put into the list, the list's own cost.
// The rebuild must stay within 200 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabBar>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/executions.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/qt/reportview.h"
#include "settings/settings.h"
#include "windows/ordersview.h"

namespace {

QApplication* app() {
  static int argc = 1;
  static char name[] = "bench_orderslist";
  static char* argv[] = {name, nullptr};
  static QApplication* a = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return a;
}

// An account folder with BENCH.trades of n trades of the last hour.
void write_account(int n) {
  static char dir[] = "/tmp/kv_bench_ordersXXXXXX";
  static bool made = false;
  if (!made) {
    if (!mkdtemp(dir)) abort();
    made = true;
  }
  snprintf(g_accounts_dir, sizeof g_accounts_dir, "%s", dir);
  std::string bytes((size_t)n * TRADE_SIZE, '\0');
  int64_t now = kv_now_local_seconds();
  for (int i = 0; i < n; i++) {
    trade_rec t;
    memset(&t, 0, sizeof t);
    t.commission = 1000;
    t.f.price = 10 + (i % 100) * 0.01;
    t.f.quantity = i % 2 ? -100 : 100;
    t.f.exec_time = (int32_t)(now - 3600 + i % 3600);
    t.f.flags = EXEC_LOCAL | (2 << EXEC_DECIMALS_SHIFT);
    snprintf(t.f.side, sizeof t.f.side, "%s", i % 2 ? "SLD" : "BOT");
    snprintf(t.f.symbol, sizeof t.f.symbol, "S%d", i % 50);
    snprintf(t.f.sec_type, sizeof t.f.sec_type, "STK");
    snprintf(t.f.currency, sizeof t.f.currency, "USD");
    snprintf(t.f.exec_id, sizeof t.f.exec_id, "E%d", i);
    encode_trade(&t, reinterpret_cast<uint8_t*>(&bytes[(size_t)i * TRADE_SIZE]));
  }
  std::string path = std::string(dir) + "/BENCH.trades";
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
}

void BM_ExecutionsTab(benchmark::State& state) {
  app();
  write_account(int(state.range(0)));
  CKvOrdersView v;
  v.FillAccountList();
  v.OnAccountChange();
  v.tabs()->setCurrentIndex(ORD_TAB_EXECUTIONS);
  int page = 40;
  for (auto _ : state) {
    v.RefreshTab();
    // What the first screen shows.
    for (int r = 0; r < page && r < v.list()->GetItemCount(); r++)
      for (int c = 0; c < v.list()->GetColumnCount(); c++)
        benchmark::DoNotOptimize(v.list()->GetItemText(r, c));
  }
  state.counters["rows"] = v.list()->GetItemCount();
  close_all_accounts();
}
BENCHMARK(BM_ExecutionsTab)->Arg(100000)->Unit(benchmark::kMillisecond);

// Baseline: the same number of rows of nine texts into a report list.
void BM_PlainRows(benchmark::State& state) {
  app();
  KvReportView list;
  for (int c = 0; c < 9; c++) list.InsertColumn(c, c, QStringLiteral("C"), LVCFMT_LEFT, 50);
  int n = int(state.range(0));
  for (auto _ : state) {
    list.DeleteAllItems();
    for (int i = 0; i < n; i++) {
      int r = list.InsertItem(-1, QString());
      for (int c = 0; c < 9; c++) list.SetItemText(r, c, QStringLiteral("10.00"));
    }
  }
}
BENCHMARK(BM_PlainRows)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
