// The heat map's repaint: 200 cells with mini charts at 1600x900 should
// stay within 10 ms, and the average-daily-range key (whose values are
// computed when the key is chosen, never in a paint) costs no more per
// paint than the percent-change key.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/qt/dc.h"
#include "quotes/mqt_record.h"
#include "windows/heatmaplayout.h"

namespace {

QApplication* app() {
  static int argc = 1;
  static char name[] = "bench_heatmap";
  static char* argv[] = {name, nullptr};
  static QApplication* a = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return new QApplication(argc, argv);
  }();
  return a;
}

struct Map {
  std::vector<std::unique_ptr<mqt>> records;
  HeatMapCell cells[HEATMAP_CELLS_MAX] = {};
  CHeatMapLayout layout;
  QImage image{1600, 900, QImage::Format_RGB32};

  Map() {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> move(-5, 5);
    for (int i = 0; i < HEATMAP_CELLS_MAX; i++) {
      records.push_back(std::make_unique<mqt>());
      mqt* r = records.back().get();
      snprintf(r->symbol, sizeof r->symbol, "S%03d", i);
      snprintf(r->local_symbol, sizeof r->local_symbol, "S%03d", i);
      r->prev_close = 100;
      r->last = r->day_close = 100 + move(rng);
      r->pct_day_close = r->pct_last = r->last - 100;
      for (int b = 0; b < MQT_RECENT_BARS; b++) r->recent_bars[b].close = 100 + move(rng);
      r->recent_count = MQT_RECENT_BARS;
      cells[i].record = r;
      cells[i].values[HEATMAP_SLOT_DAILY_RANGE] = 1 + move(rng) / 10;
    }
    layout.SetCells(0, HEATMAP_CELLS_MAX, cells);
    layout.options |= HEATMAP_MINI_CHARTS;
    KvDC dc(&image);
    layout.CalcLayouts(dc, KvRect(0, 0, 1600, 900));
  }
};

void BM_PaintMap(benchmark::State& state) {
  app();
  Map m;
  m.layout.sort_key = (int)state.range(0);
  for (auto _ : state) {
    KvDC dc(&m.image);
    m.layout.DrawAll(dc);
    benchmark::DoNotOptimize(m.layout.balance);
  }
}
BENCHMARK(BM_PaintMap)
    ->Arg(HEATMAP_KEY_PCT_PREV_CLOSE)
    ->Arg(HEATMAP_KEY_DAILY_RANGE)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
