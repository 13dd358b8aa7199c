// Redrawing a chart window: a 1600x900 window with a price pane (400
// visible candles, a moving average and a Bollinger band), a volume pane and
// an RSI pane, drawn into an image through the pane container.
//  - BM_ClearWindow: filling the whole image once (the baseline);
//  - BM_FullRedraw: laying out the panes and drawing them;
//  - BM_NewestBar: the newest-bar redraw after a quote.
// Read the last two as ratios to the baseline.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "chart/basicchart.h"
#include "chart/pane.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "platform/qt/canvas.h"
#include "studies/study.h"
#include "studies/studyapi.h"

namespace {

constexpr int kBars = 2000;
constexpr int kShown = 400;

class BenchOwner : public KvCanvasView {
 public:
  void OnDraw(KvDC&) override {}
};

struct window {
  chart_rec rec;
  std::vector<chart_bar> bars;
  chart_rec* chart = &rec;
  int overlay_count = 0;
  ChartSettings settings;
  uint32_t view_flags = 0;
  BenchOwner owner;
  QImage image{1600, 900, QImage::Format_RGB32};
  KvDC dc{&image};
  CPane pane;

  window() {
    memset(&rec, 0, sizeof rec);
    bars.resize(kBars + 16);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> step(-1.0f, 1.0f);
    float p = 1000;
    for (int i = 0; i < kBars; i++) {
      chart_bar& b = bars[i];
      b.open = p;
      p += step(rng);
      b.close = p;
      b.high = std::max(b.open, b.close) + std::fabs(step(rng));
      b.low = std::min(b.open, b.close) - std::fabs(step(rng));
      b.volume = 1000 + (int)(rng() % 5000);
      b.flags = BAR_VOLUME_VALID;
      b.time = (10000 + i) * 86400;
    }
    rec.bars = bars.data();
    rec.header.bar_count = kBars;
    rec.spare = 16;
    rec.header.time_unit = TU_DAILY;
    const int types[3] = {STUDY_SMA, STUDY_BB_UPPER, STUDY_RSI};
    for (int t : types) {
      StudyDef tmpl;
      memset(&tmpl, 0, sizeof tmpl);
      tmpl.type = t;
      tmpl.period = 20;
      tmpl.price_type = PRICE_CLOSE;
      tmpl.line_width = 1;
      tmpl.id = -1;
      StudyDef* s = create_study(&rec, &tmpl);
      if (!s) continue;
      s->state = 0;
      s->pane_group = t == STUDY_RSI ? 0x04 : 0x01;
      for (int i = 0; i < kBars; i++)
        s->outputs[i] = t == STUDY_RSI ? 50 + 30 * std::sin(i / 7.0) : bars[i].close;
    }
    default_chart_settings(&settings, 20261210);
    settings.window_kind = WINDOW_KIND_CHART;
    settings.candle_size = 0;  // pitch 3: 400 bars in the window
    settings.chart_type = 0;
    for (int k = 0; k < 3; k++) settings.pane_shown[k] = 1;
    settings.pane_content[0] = CONTENT_PRICE;
    settings.pane_content[1] = CONTENT_VOLUME;
    settings.pane_content[2] = 0x04;
    KvScrollInfo si;
    si.max = kBars - 1;
    si.page = kShown;
    si.pos = kBars - kShown;
    owner.SetScrollInfo(si, false);
    pane.SetChartData(&chart, &overlay_count, nullptr);
    pane.AttachWindow(&settings, &view_flags, &owner);
  }
  ~window() {
    free_study_list(rec.studies);
    free(rec.axis_marks);
  }
  void redraw() {
    pane.CalcPaneRects(KvRect(0, 0, 1600, 900), 1, 0);
    pane.CalcLayouts(&dc);
    pane.Draw(&dc);
  }
};

void BM_ClearWindow(benchmark::State& state) {
  window w;
  for (auto _ : state) w.dc.FillSolidRect(KvRect(0, 0, 1600, 900), 0xFFFFFF);
  state.SetLabel("baseline");
}
BENCHMARK(BM_ClearWindow)->Unit(benchmark::kMicrosecond);

void BM_FullRedraw(benchmark::State& state) {
  window w;
  w.redraw();
  if (w.settings.m_nNum < kShown) state.SkipWithError("fewer bars shown");
  for (auto _ : state) w.redraw();
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

void BM_NewestBar(benchmark::State& state) {
  window w;
  w.redraw();
  chart_bar& last = w.rec.bars[kBars - 1];
  float mid = (last.high + last.low) / 2;
  int k = 0;
  for (auto _ : state) {
    last.close = mid + ((k++ & 1) ? 0.1f : -0.1f);
    if (!w.pane.DrawLastPoint(&w.dc)) state.SkipWithError("newest bar left the scale");
  }
}
BENCHMARK(BM_NewestBar)->Unit(benchmark::kMicrosecond);

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
