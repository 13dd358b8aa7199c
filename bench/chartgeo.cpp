// Laying out and scaling a chart pane: the cost must follow the bars shown,
// not the bars held. A pane shows 400 bars of a chart with 98 stored lines
// and 5 overlay symbols; the chart holds 1,000,000 bars or 1,000 (the
// baseline). Each round lays the pane out, scales the price axis with its
// overlays (bars matched by time), the percent axis and the volume axis,
// and places every stored line on its bars.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "chart/axisscale.h"
#include "chart/basicchart.h"
#include "chart/linegeom.h"
#include "chart/linerec.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "platform/qt/canvas.h"

namespace {

constexpr int kShown = 400;
constexpr int kLines = 98;
constexpr int kOverlays = 5;

struct bench_chart {
  chart_rec rec;
  std::vector<chart_bar> bars;
  std::vector<chart_extension> lines;
  // skip: the first bars left out, so that matched indices differ.
  bench_chart(int n, int skip, uint32_t seed) {
    memset(&rec, 0, sizeof rec);
    bars.resize(n);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> step(-1.0f, 1.0f);
    float p = 1000;
    for (int i = 0; i < n; i++) {
      chart_bar& b = bars[i];
      int k = i + skip;
      b.open = p;
      p += step(rng);
      b.close = p;
      b.high = std::max(b.open, b.close) + std::fabs(step(rng));
      b.low = std::min(b.open, b.close) - std::fabs(step(rng));
      b.volume = 1000 + (int)(rng() % 5000);
      b.flags = BAR_VOLUME_VALID;
      b.time = (10000 + k / 390) * 86400 + 34200 + (k % 390) * 60;
    }
    rec.bars = bars.data();
    rec.header.bar_count = n;
    rec.header.time_unit = 1;
    rec.axis_density = 1;
  }
  // Lines spread over the whole chart, linked as the chart keeps them.
  void add_lines(int count) {
    lines.resize(count);
    int n = rec.header.bar_count;
    for (int j = 0; j < count; j++) {
      memset(&lines[j], 0, sizeof lines[j]);
      line_record l{};
      l.kind = 1;
      l.type = ANNOT_FINITE + j % 4;
      l.time1 = bars[(int64_t)n * j / count].time + 30;
      l.time2 = bars[std::min(n - 1, (int)((int64_t)n * (j + 1) / count))].time;
      line_record_encode(&l, lines[j].block);
      lines[j].next = j + 1 < count ? &lines[j + 1] : nullptr;
    }
    rec.extensions = count ? &lines[0] : nullptr;
  }
};

class BenchOwner : public KvCanvasView {
 public:
  void OnDraw(KvDC&) override {}
};

void BM_LayoutAndScale(benchmark::State& state) {
  const int n = (int)state.range(0);
  bench_chart main_chart(n, 0, 7);
  main_chart.add_lines(kLines);
  std::vector<std::unique_ptr<bench_chart>> over;
  chart_rec* over_ptr[kOverlays];
  for (int j = 0; j < kOverlays; j++) {
    over.push_back(std::make_unique<bench_chart>(n - 10 * (j + 1), 10 * (j + 1), 100 + j));
    over_ptr[j] = &over.back()->rec;
  }
  int over_count = kOverlays;
  chart_rec* chart = &main_chart.rec;

  ChartSettings settings;
  default_chart_settings(&settings, 20261210);
  settings.window_kind = WINDOW_KIND_CHART;
  settings.candle_size = 1;  // pitch 7
  BenchOwner owner;
  KvScrollInfo si;
  si.max = n - 1;
  si.page = kShown;
  si.pos = n - kShown;
  owner.SetScrollInfo(si, false);
  QImage image(kShown * 7 + 7 + 200, 400, QImage::Format_RGB32);
  KvDC dc(&image);
  KvRect pane(0, 0, (kShown + 1) * 7, 400);

  for (auto _ : state) {
    CBasicChart p;
    p.Init(1, 1, pane, &dc, &settings, &owner, &chart, &over_count, over_ptr, 0, 0);
    p.CalcHeaders();
    // Rebuild the scales each round, as after a scroll.
    chart->price_scale.label_count = 0;
    chart->volume_scale.label_max = 0;
    settings.percent = 0;
    p.CalcVerticalScale(CONTENT_PRICE, 1);
    settings.percent = 1;
    chart->price_scale.label_count = 0;
    p.CalcVerticalScale(CONTENT_PRICE, 1);
    p.CalcVerticalScale(CONTENT_VOLUME, 1);
    int placed = 0;
    for (chart_extension* e = chart->extensions; e; e = e->next) {
      line_record l;
      line_record_decode(e->block, &l);
      int b1, b2;
      FindLineBars(chart->bars, chart->header.bar_count, settings.m_nFirst, settings.m_nLast, 60,
                   &l, &b1, &b2);
      placed += b1 >= 0;
    }
    benchmark::DoNotOptimize(placed);
    if (settings.m_nNum != kShown) state.SkipWithError("wrong visible count");
  }
  state.SetLabel(n == 1000 ? "baseline" : "1M bars");
}
BENCHMARK(BM_LayoutAndScale)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
