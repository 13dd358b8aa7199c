// Drawing of chart panes through the pane container: bars of every chart
// type, overlays, volume, studies, the newest-bar redraw, and the
// container's layout, splitters and scale binding.
// The chart fixture names a variable "slots", which Qt's headers define away.
#include "studies/tests/study_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "chart/axisscale.h"
#include "chart/basicchart.h"
#include "chart/linerec.h"
#include "chart/pane.h"
#include "data/axis_scale.h"
#include "data/chartload.h"
#include "data/chartsettings.h"
#include "data/drawdefs.h"
#include "data/exchclock.h"
#include "quotes/mqt_record.h"
#include "platform/qt/canvas.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "studies/study.h"

namespace {

class Owner : public KvCanvasView {
 public:
  void OnDraw(KvDC&) override {}
};

const COLORREF BG = 0xFFFFFF, UP = 0x00C000, DOWN = 0xC00000, WICK = 0x808000, OUTLINE = 0x000000,
               MARK = 0x0000FF;

class Draw : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    owner = std::make_unique<Owner>();
    default_chart_settings(&s, 20261210);
    s.window_kind = WINDOW_KIND_CHART;
    s.candle_size = 1;  // pitch 7, gaps 1 and 1, centre 3, width 1
    s.bg_color = BG, s.up_color = UP, s.down_color = DOWN, s.wick_color = WICK,
    s.outline_color = OUTLINE;
    s.up_volume_color = 0x00A000, s.down_volume_color = 0xA00000, s.oi_color = 0x00A0A0;
    s.flags &= ~(CS_FLAG_TIME_COLOURS | CS_FLAG_HIDE_LABELS);
    s.display_flags = 0;
    s.percent = 0;
    saved_flags = g_pref_flags, saved_flags2 = g_pref_flags2;
    saved_left = g_price_lab_left, saved_grid = g_show_gridlines;
    g_pref_flags = 0, g_pref_flags2 = 0, g_price_lab_left = 0, g_show_gridlines = 0;
    image = QImage(600, 400, QImage::Format_RGB32);
    image.fill(Qt::black);
    dc = std::make_unique<KvDC>(&image);
    pane.SetChartData(&chart_ptr, &n_overlays, overlay_list);
    pane.AttachWindow(&s, &view_flags, owner.get());
  }
  void TearDown() override {
    g_pref_flags = saved_flags, g_pref_flags2 = saved_flags2;
    g_price_lab_left = saved_left, g_show_gridlines = saved_grid;
    free(chart.rec.axis_marks);  // made by the layout; the test chart does not own them
    chart.rec.axis_marks = nullptr;
    dc.reset();
    owner.reset();
    TempRootTest::TearDown();
  }
  // Shows panes with the given contents (0 = slot hidden) and all bars.
  void show(std::initializer_list<int> contents) {
    int k = 0;
    for (int c : contents) {
      s.pane_shown[k] = c != 0;
      s.pane_content[k] = c;
      k++;
    }
    for (; k < 4; k++) s.pane_shown[k] = 0, s.pane_content[k] = 0;
    KvScrollInfo si;
    si.min = 0, si.max = chart.count() - 1, si.page = chart.count(), si.pos = 0;
    owner->SetScrollInfo(si, false);
  }
  void redraw() {
    pane.CalcPaneRects(KvRect(0, 0, image.width(), image.height()), 1, 0);
    pane.CalcLayouts(dc.get());
    pane.Draw(dc.get());
  }
  CBasicChart& p(int slot = 0) { return pane.panes[slot]; }
  int row(double price, int slot = 0) {
    return p(slot).data_rect.bottom - axis_pixels(&p(slot).own_price, price);
  }
  int left_of(int i, int slot = 0) {
    return p(slot).data_rect.left + candle_pitch(p(slot).candle_def) * (i - s.m_nFirst);
  }
  COLORREF px(int x, int y) { return dc->GetPixel(x, y); }

  ChartSettings s;
  std::unique_ptr<Owner> owner;
  test_chart chart{600, TU_DAILY};
  chart_rec* chart_ptr = chart.chart();
  int n_overlays = 0;
  chart_rec* overlay_list[24] = {};
  uint32_t view_flags = 0;
  CPane pane;
  QImage image;
  std::unique_ptr<KvDC> dc;
  uint32_t saved_flags, saved_flags2;
  int32_t saved_left, saved_grid;
};

// A study in the chart's list (freed with the chart); values are set by the test.
StudyDef* add_study(chart_rec* c, int type) {
  StudyDef t = study_template(type, 14);
  StudyDef* s = create_study(c, &t);
  if (!s)
    for (s = c->studies; s && s->type != type; s = s->next) {
    }
  if (!s) abort();
  s->state = 0;
  s->line_width = 1;
  return s;
}

// Bars with wide bodies: an up bar 20..40 in a 10..50 range, then a down bar.
void add_sample_bars(test_chart& c, int n) {
  for (int i = 0; i < n; i++) {
    if (i % 2 == 0)
      c.add(20, 50, 10, 40, 1000 + 100 * i);
    else
      c.add(40, 50, 10, 20, 500 + 50 * i);
  }
}

TEST_F(Draw, FiguresOfEveryChartType) {
  add_sample_bars(chart, 40);
  show({CONTENT_PRICE});
  // Checks at bar 10 (up: open 20, close 40; previous close 20).
  for (int type = 0; type <= 10; type++) {
    SCOPED_TRACE("type " + std::to_string(type));
    s.chart_type = type;
    image.fill(Qt::black);
    // Heikin-Ashi bars grow the bar array as the loader's records do.
    chart_bar* own = nullptr;
    if (type == 10) {
      own = (chart_bar*)malloc(sizeof(chart_bar) * chart.storage.size());
      memcpy(own, chart.rec.bars, sizeof(chart_bar) * chart.storage.size());
      chart.rec.bars = own;
    }
    redraw();
    int i = 10, l = left_of(i), x = l + 3;
    ASSERT_GT(p().own_price.pixels_per_unit, 0);
    int yh = row(50), yl = row(10), yo = row(20), yc = row(40), ymid = row(30);
    // The column left of the data area's first bar and the gaps stay background.
    EXPECT_EQ(px(l, row(45)), BG);
    switch (type) {
      case 0:
        EXPECT_EQ(px(x, yh), WICK);
        EXPECT_EQ(px(x, row(11)), WICK);
        EXPECT_EQ(px(l + 2, ymid), UP);  // body inside its outline
        EXPECT_EQ(px(l + 1, ymid), OUTLINE);
        EXPECT_EQ(px(l + 2, row(30, 0) + 0), UP);
        EXPECT_EQ(px(l + 7 + 2, ymid), DOWN);  // the down bar after it
        break;
      case 1:
        EXPECT_EQ(px(l + 2, row(45)), WICK);  // the high-low block
        EXPECT_EQ(px(l + 2, ymid), UP);
        break;
      case 2:
      case 3:
        EXPECT_EQ(px(x, yh), UP);
        EXPECT_EQ(px(l + 5, yc), UP);  // close tick
        EXPECT_EQ(px(l + 1, yo), type == 2 ? UP : BG);
        break;
      case 4:
        EXPECT_EQ(px(x, yc), WICK);  // marker centre
        EXPECT_EQ(px(x + 1, yc), MARK);
        EXPECT_EQ(px(x + 3, yc), OUTLINE);
        EXPECT_EQ(px(x - 3, (yc + yo) / 2), BG);  // no line
        break;
      case 5:
        EXPECT_EQ(px(x - 7, yo), WICK);  // the segment starts at the previous point
        EXPECT_EQ(px(x + 1, yc), BG);    // no marker
        break;
      case 6:
        EXPECT_EQ(px(x + 1, yc), MARK);
        break;
      case 7:
        EXPECT_EQ(px(x - 2, yo), WICK);  // across at the previous close
        EXPECT_EQ(px(x, ymid), WICK);    // then up to this close
        break;
      case 8:
        EXPECT_EQ(px(x, ymid), WICK);
        EXPECT_EQ(px(x + 1, yc), MARK);
        break;
      case 9:
        // Without volume-weighted prices the bar's price is its close; the
        // open is the previous close (20): an up body from 20 to 40.
        EXPECT_EQ(px(l + 2, ymid), UP);
        break;
      case 10: {
        // The Heikin-Ashi body sits near 30, the plain bar's spans 20..40.
        const chart_bar* ha = calc_heikin_ashi(chart.chart(), 0);
        ASSERT_LT(std::fabs(ha[i].close - 30), 2);
        ASSERT_LT(std::fabs(ha[i].open - 30), 2);
        EXPECT_EQ(px(l + 1, row(ha[i].close)), OUTLINE);
        EXPECT_EQ(px(l + 1, row(38)), BG);
        EXPECT_EQ(px(x, row(48)), WICK);
        free(chart.rec.bars);
        chart.rec.bars = chart.storage.data();
        break;
      }
    }
  }
}

TEST_F(Draw, LineChartBarZeroAndCandleSizes) {
  add_sample_bars(chart, 30);
  show({CONTENT_PRICE});
  // Line chart: bar 0's previous point lies left of the data area.
  s.chart_type = 5;
  redraw();
  for (int y = p().data_rect.top; y < p().data_rect.bottom; y++)
    EXPECT_EQ(px(left_of(0), y), BG) << y;
  // Small bars (index 0): solid bodies, no outline.
  s.chart_type = 0;
  s.candle_size = 0;
  redraw();
  EXPECT_EQ(px(left_of(4), row(30)), UP);
  // A custom word of pitch 3 with gaps 1 and 1: wick only.
  s.candle_size = 3;
  uint32_t saved = g_custom_candle;
  g_custom_candle = make_candle_def(3, 1, 1, 1, 1);
  redraw();
  EXPECT_EQ(px(left_of(4) + 1, row(30)), WICK);
  EXPECT_EQ(px(left_of(4), row(30)), BG);
  EXPECT_EQ(px(left_of(4) + 2, row(30)), BG);
  g_custom_candle = saved;
  // A 1-tick chart draws tick blocks coloured by the extra word's sign.
  s.candle_size = 1;
  chart.rec.header.time_unit = -101;
  for (int i = 0; i < chart.count(); i++) chart.rec.bars[i].extra = i % 3 - 1;
  redraw();
  const COLORREF by_sign[3] = {DOWN, WICK, UP};
  for (int i = 3; i < 6; i++) EXPECT_EQ(px(left_of(i) + 2, row(30)), by_sign[i % 3]) << i;
}

TEST_F(Draw, VwapCandleRaisesItsHighToTheOpen) {
  for (int i = 0; i < 20; i++) {
    chart_bar& b = chart.add(20, 30, 10, 25, 100);
    b.flags |= BAR_EXTRA_VWAP;
    b.vwap = 22;
  }
  chart.rec.bars[9].vwap = 30;  // previous weighted price at the high...
  chart.rec.bars[10].high = 28, chart.rec.bars[10].vwap = 21;  // ...above this bar's high
  show({CONTENT_PRICE});
  s.chart_type = 9;
  redraw();
  int l = left_of(10);
  EXPECT_EQ(px(l + 2, row(29)), DOWN);  // body from the open 30 down to 21
  EXPECT_EQ(px(l + 3, row(30)), OUTLINE);
  EXPECT_EQ(px(l + 3, row(30) - 1), BG);  // the high is the open: no wick above
}

TEST_F(Draw, VolumeBlocksAndStudyPanes) {
  add_sample_bars(chart, 40);
  for (int i = 0; i < 40; i++) {
    chart.rec.bars[i].flags |= BAR_VOLUME_VALID | 0x800000;
    chart.rec.bars[i].extra = 300;
  }
  // An RSI-like study pane and a MACD histogram.
  StudyDef* line = add_study(chart.chart(), STUDY_RSI);
  StudyDef* hist = add_study(chart.chart(), STUDY_MACD);
  for (int i = 0; i < 40; i++) line->outputs[i] = 50 + (i % 2 ? 10 : -10);
  for (int i = 0; i < 40; i++) hist->outputs[i] = (i % 2 ? 5 : -5);
  line->pane_group = 0x04, line->color = 0x8000FF, line->line_width = 1, line->state = 0;
  hist->pane_group = 0x08, hist->color = 0x0080FF, hist->line_width = 1, hist->state = 0;
  // Pitch 6 (custom word): insets 1 and 2, open interest 2 further right.
  s.candle_size = 3;
  uint32_t saved = g_custom_candle;
  g_custom_candle = make_candle_def(6, 1, 1, 2, 1);
  show({CONTENT_PRICE, CONTENT_VOLUME, 0x04, 0x08});
  redraw();
  CBasicChart& v = p(1);
  int i = 12, l = left_of(i, 1), db = v.data_rect.bottom;
  int vol_top = db - axis_pixels(&v.own_volume, chart.rec.bars[i].volume);
  EXPECT_EQ(px(l, db - 1), BG);
  EXPECT_EQ(px(l + 1, db - 1), 0x00A000);  // up volume from left + 1
  EXPECT_EQ(px(l + 1, vol_top), 0x00A000);
  EXPECT_EQ(px(l + 1, vol_top - 1), BG);
  EXPECT_EQ(px(l + 5, db - 1), 0x00A0A0);  // open interest block ends at right - 2 + 2
  EXPECT_EQ(px(l + 6, db - 1), v.data_rect.right > l + 6 ? BG : px(l + 6, db - 1));
  g_custom_candle = saved;
  // Study line from column centre to column centre.
  CBasicChart& st = p(2);
  const axis_scale* sc = st.StudyScale(line);
  ASSERT_TRUE(sc);
  int pitch = candle_pitch(st.candle_def), sl = left_of(i, 2);
  EXPECT_EQ(px(sl + pitch - pitch / 2, st.data_rect.bottom - axis_pixels(sc, line->outputs[i])),
            0x8000FF);
  // Histogram block between the zero row and the value.
  CBasicChart& h = p(3);
  const axis_scale* hc = h.StudyScale(hist);
  ASSERT_TRUE(hc);
  int hl = left_of(i + 1, 3), zero = h.data_rect.bottom - axis_pixels(hc, 0),
      top = h.data_rect.bottom - axis_pixels(hc, 5);
  EXPECT_EQ(px(hl + 2, (zero + top) / 2), 0x0080FF);
  // Each study pane binds its study's scale.
  EXPECT_EQ(pane.scale_source(2, 1), sc);
}

TEST_F(Draw, PercentOverlaysBeyondTheColourTable) {
  add_sample_bars(chart, 30);
  std::vector<std::unique_ptr<test_chart>> others;
  for (int j = 0; j < 21; j++) {
    others.push_back(std::make_unique<test_chart>(64, TU_DAILY));
    for (int i = 0; i < 30; i++) others[j]->add_close(100 + j + i % 3);
    snprintf(others[j]->rec.header.symbol, sizeof others[j]->rec.header.symbol, "OV%d", j);
    overlay_list[j] = others[j]->chart();
  }
  n_overlays = 20;
  s.percent = 1;
  s.display_flags = 0;  // base: the first bar
  show({CONTENT_PRICE});
  redraw();
  for (int j = 0; j < 20; j++) EXPECT_TRUE(std::isfinite(overlay_list[j]->percent_base)) << j;
  // The 20th overlay takes the last entry (black) and keeps its own row.
  EXPECT_NE(p().overlay_rows[19], 0);
  // An overlay with a zero base is skipped, the chart still draws.
  others[5]->rec.percent_base = 0;
  for (int i = 0; i < 30; i++) others[5]->rec.bars[i].open = 0;
  redraw();
  EXPECT_NE(px(left_of(10) + 3, p().data_rect.bottom - axis_pixels(&p().own_price, 0) - 1),
            0xFFFFFFFFu);
}

TEST_F(Draw, OverlayFiguresAndLegendsByChartType) {
  add_sample_bars(chart, 30);
  test_chart other(64, TU_DAILY);
  for (int i = 0; i < 30; i++) other.add_close(i == 0 ? 100 : i % 2 ? 130 : 104);
  for (int i = 0; i < 30; i++) other.rec.bars[i].time = chart.rec.bars[i].time;
  snprintf(other.rec.header.symbol, sizeof other.rec.header.symbol, "OV");
  snprintf(chart.rec.header.symbol, sizeof chart.rec.header.symbol, "MAIN");
  overlay_list[0] = other.chart();
  n_overlays = 1;
  s.percent = 1;
  show({CONTENT_PRICE});
  const COLORREF OVER = 0x000080;  // the first overlay colour
  // Heikin-Ashi bars grow the bar array as the loader's records do.
  chart.rec.bars = (chart_bar*)malloc(sizeof(chart_bar) * chart.storage.size());
  memcpy(chart.rec.bars, chart.storage.data(), sizeof(chart_bar) * chart.storage.size());
  // Stairs for the close and stairstep types, lines for the others.
  for (int type = 0; type <= 10; type++) {
    SCOPED_TRACE("type " + std::to_string(type));
    s.chart_type = type;
    image.fill(Qt::black);
    pane.CalcPaneRects(KvRect(0, 0, image.width(), image.height()), 2, 0);
    pane.CalcLayouts(dc.get());
    pane.Draw(dc.get());
    const axis_scale* sc = &p().own_price;
    auto y_of = [&](double v) {
      return p().data_rect.bottom - axis_pixels(sc, (v - 100) / 100 * 100);
    };
    int i = 11, x = left_of(i) + 3, yp = y_of(104), y = y_of(130);
    bool stairs = type == 4 || type == 7 || type == 8;
    EXPECT_EQ(px(x - 2, yp) == OVER, stairs);
    EXPECT_EQ(px(x, (yp + y) / 2) == OVER, stairs);
    EXPECT_EQ(px(x - 3, (yp + y) / 2) == OVER || px(x - 4, (yp + y) / 2) == OVER, !stairs);
    // The legends in the column opposite the price labels: the symbol's in
    // the column's colour, the overlay's in its own, each at its row.
    const KvRect& col = p().label_rect[0];
    ASSERT_FALSE(col.IsRectEmpty());
    auto has = [&](COLORREF c, int row) {
      int th = dc->GetTextExtent("0").cy;
      int top = std::max(std::min(col.bottom - row, col.bottom - th), col.top);
      for (int yy = top; yy < top + th; yy++)
        for (int xx = col.left; xx < col.right; xx++)
          if (px(xx, yy) == c) return true;
      return false;
    };
    EXPECT_TRUE(has(OVER, p().overlay_rows[0]));
    EXPECT_EQ(p().overlay_rows[0], p().data_rect.bottom - y_of(other.rec.bars[29].close));
  }
  free(chart.rec.bars);
  chart.rec.bars = chart.storage.data();
}

TEST_F(Draw, NewestBarRedrawMatchesAFullRedraw) {
  add_sample_bars(chart, 50);
  g_show_gridlines = 1;
  show({CONTENT_PRICE | CONTENT_VOLUME, CONTENT_VOLUME, 0x04, 0x20});
  StudyDef* rsi = add_study(chart.chart(), STUDY_RSI);
  StudyDef* hist = add_study(chart.chart(), STUDY_MACD);
  rsi->pane_group = 0x04, hist->pane_group = 0x20, hist->color = 0x0080FF;
  for (int i = 0; i < 50; i++) rsi->outputs[i] = 40 + i % 7, hist->outputs[i] = i % 5 - 2;
  for (int i = 0; i < 50; i++) chart.rec.bars[i].flags |= BAR_VOLUME_VALID;
  redraw();
  // The quote moves the newest close, and the studies' newest values, within the scales.
  chart.rec.bars[49].close = 35;
  rsi->outputs[49] = 41, hist->outputs[49] = -2;
  ASSERT_EQ(pane.DrawLastPoint(dc.get()), 1);
  QImage partial = image.copy();
  redraw();
  int l = left_of(49);
  for (int slot = 0; slot < 4; slot++)
    for (int y = p(slot).data_rect.top; y < p(slot).data_rect.bottom; y++)
      for (int x = l; x < l + 7; x++)
        ASSERT_EQ(partial.pixel(x, y), image.pixel(x, y)) << slot << " " << x << "," << y;
  // A high far above the scale: the caller must redraw everything.
  image.fill(Qt::black);
  chart.rec.bars[49].high = 5000;
  EXPECT_EQ(pane.DrawLastPoint(dc.get()), 0);
  EXPECT_EQ(px(l + 3, p().data_rect.top + 5), 0u);  // nothing drawn
}

TEST_F(Draw, PerWindowScalesForConversions) {
  add_sample_bars(chart, 30);
  show({CONTENT_PRICE});
  redraw();
  double y = pane.PriceToY(0, 30);
  float price = pane.PointToPrice(0, 0, row(30));
  // Another window of the same chart lays out into the shared block.
  chart.rec.price_scale.minimum = -1000;
  chart.rec.price_scale.pixels_per_unit = 0.01;
  EXPECT_EQ(pane.PriceToY(0, 30), y);
  EXPECT_EQ(pane.PointToPrice(0, 0, row(30)), price);
  EXPECT_NEAR(price, 30, 1 / p().own_price.pixels_per_unit + 1e-6);
  EXPECT_EQ(pane.PointToPrice(-1, 0, 0), 0);
  EXPECT_STREQ(pane.PointToSymbol(-1, 0, 0), "?");
  EXPECT_EQ(pane.PointToBar(0, left_of(3) + 1, row(30)), 3);
}

TEST_F(Draw, BidAskBandAndFreshnessSquare) {
  add_sample_bars(chart, 30);
  mqt* q = (mqt*)calloc(1, sizeof(mqt));
  chart.rec.mqt = q;
  s.display_flags = CS_SHOW_BIDASK;
  s.bidask_color = 0x00FFFF, s.last_mark_color = 0xFF00FF;
  show({CONTENT_PRICE});
  int64_t saved_clock = g_exchange_seconds;
  struct Case {
    float bid, ask, last;
    int age;
    COLORREF square;
  } cases[] = {
      {30, 40, 40, 0, 0x00FF00},   // last at the ask: mark from its row down
      {30, 40, 30, 11, 0x00FFFF},  // last at the bid: mark above it
      {30, 40, 35, 61, 0x0000FF},
      {40, 30, 35, 5, 0x00FF00},  // bid above ask: background only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bid << "/" << c.ask << "/" << c.last);
    q->bid = c.bid, q->ask = c.ask, q->last = c.last;
    g_exchange_seconds = 1000 * 86400 + 40000;
    q->quote_time = 40000 - c.age;
    image.fill(Qt::black);
    redraw();
    const KvRect& b = p().bidask_rect;
    ASSERT_FALSE(b.IsRectEmpty());
    auto y = [&](double v) { return b.bottom - axis_pixels(&p().own_price, v); };
    int x = b.left + 1;
    if (c.bid > c.ask) {
      for (int r = y(45); r < y(25); r++) EXPECT_EQ(px(x, r), BG) << r;
    } else {
      EXPECT_EQ(px(x, y(33)), 0x00FFFFu);
      EXPECT_EQ(px(x, y(45)), BG);
      int mark = c.last == c.ask ? y(c.last) : c.last == c.bid ? y(c.last) - 2 : y(c.last) - 1;
      EXPECT_EQ(px(x, mark), 0xFF00FFu);
      EXPECT_EQ(px(x, mark + 1), 0xFF00FFu);
      EXPECT_NE(px(x, mark + 2), 0xFF00FFu);
    }
    // The square at the pane's bottom-left corner, framed in the axis colour.
    EXPECT_EQ(px(2, p().pane_rect.bottom - 3), c.square);
    EXPECT_EQ(px(0, p().pane_rect.bottom - 3), s.axis_color);
  }
  g_exchange_seconds = saved_clock;
  chart.rec.mqt = nullptr;
  free(q);
}

TEST(SignalBitmaps, Precedence) {
  struct Case {
    uint32_t word;
    int sell, buy;
  } cases[] = {
      {0x8000000 | 0x80000000, 0, IDB_BUY_MULTI},  // buy-open with buy-stop
      {0x80000000 | 0x40000000, 0, IDB_BUY_TARGET},
      {0x10000000, 0, IDB_BUY_CLOSE},
      {0x8000000, 0, IDB_BUY_OPEN},
      {0x400000 | 0x800000, IDB_SELL_MULTI, 0},
      {0x2000000 | 0x4000000, IDB_SELL_TARGET, 0},
      {0x4000000 | 0x800000, IDB_SELL_STOP, 0},
      {0x800000, IDB_SELL_CLOSE, 0},
      {0x1FFF, 0, 0},  // a position alone
  };
  for (const Case& c : cases) {
    EXPECT_EQ(signal_bitmap_id(c.word, 0), c.sell) << std::hex << c.word;
    EXPECT_EQ(signal_bitmap_id(c.word, 1), c.buy) << std::hex << c.word;
  }
}

TEST_F(Draw, SignalsPositionsAndDailyLines) {
  add_sample_bars(chart, 30);
  StudyDef* sig = add_study(chart.chart(), STUDY_TRADE_SIGNALS);
  sig->color = 0x404040, sig->pane_group = 0x04;
  auto put = [&](int i, uint32_t w) { memcpy(&sig->outputs[i], &w, 4); };
  chart.rec.bars[10].open = 40, chart.rec.bars[10].low = 30, chart.rec.bars[10].close = 45;
  put(10, 0x8000000 | 3);      // buy-open, long 3
  put(11, 0x400000 | 0x1FFE);  // sell-open, short 2
  show({CONTENT_PRICE, 0x04});
  redraw();
  // The buy bitmap's top is 5 pixels below bar 10's low; its pixels are
  // the resource's with the background recoloured (within the bar's own
  // column: the next bars' wicks cross the rest).
  QImage bmp = kv_res_bitmap(IDB_BUY_OPEN);
  int bx = left_of(10) + 3 - 7, by = row(30) + 5;
  int matched = 0;
  for (int y = 0; y < bmp.height(); y++)
    for (int x = 4; x < 11; x++) {
      COLORREF want = kv_colorref_from_rgb(bmp.pixel(x, y));
      if (want == 0xFFFFFF) want = BG;
      matched += px(bx + x, by + y) == want;
    }
  EXPECT_EQ(matched, 7 * bmp.height());
  // The position going from 3 to -2 draws one block from row 3 to row -2.
  CBasicChart& sp = p(1);
  const axis_scale* sc = sp.StudyScale(sig);
  ASSERT_TRUE(sc);
  int l = left_of(11, 1), y3 = sp.data_rect.bottom - axis_pixels(sc, 3),
      ym2 = sp.data_rect.bottom - axis_pixels(sc, -2);
  EXPECT_EQ(px(l + 3, (y3 + ym2) / 2), 0x404040u);
  EXPECT_EQ(px(l + 3, std::min(y3, ym2) - 2), BG);
}

TEST_F(Draw, DailyReferenceLineFromTheLastDay) {
  // Two days of minute bars; the line starts at the last day's first bar.
  chart.rec.header.time_unit = 1;
  for (int i = 0; i < 40; i++) {
    int day = i < 25 ? 1000 : 1001;
    chart.add(20, 50, 10, 40, 100, day * 86400 + 34200 + 60 * (i % 25));
  }
  StudyDef* d = add_study(chart.chart(), 0x8010013);
  d->value = 35, d->color = 0xFF8000, d->line_style = 0, d->line_width = 1;
  show({CONTENT_PRICE});
  redraw();
  int y = row(35);
  EXPECT_EQ(px(left_of(30) + 1, y), 0xFF8000u);
  EXPECT_EQ(px(p().data_rect.right - 1, y), 0xFF8000u);
  EXPECT_NE(px(left_of(20) + 1, y), 0xFF8000u);  // not before the last day
}

TEST_F(Draw, StoredLinesCrossingTheView) {
  add_sample_bars(chart, 200);
  chart_extension ext[2] = {};
  auto line = [&](int k, int type, int b1, float p1, int b2, float p2, COLORREF c) {
    line_record l{};
    l.kind = 1, l.type = type, l.color = c, l.width = 1;
    l.time1 = chart.rec.bars[b1].time, l.price1 = p1;
    l.time2 = chart.rec.bars[b2].time, l.price2 = p2;
    line_record_encode(&l, ext[k].block);
  };
  line(0, ANNOT_FINITE, 10, 20, 150, 40, 0xFF0000);  // both ends outside the view
  line(1, ANNOT_HOR, 5, 45, 5, 45, 0x00FFFF);        // first bar scrolled out
  ext[0].next = &ext[1];
  chart.rec.extensions = &ext[0];
  show({CONTENT_PRICE});
  KvScrollInfo si;
  si.min = 0, si.max = 199, si.page = 60, si.pos = 50;
  owner->SetScrollInfo(si, false);
  pane.CalcPaneRects(KvRect(0, 0, image.width(), image.height()), 1, 0);
  pane.CalcLayouts(dc.get());
  pane.Draw(dc.get());
  ASSERT_EQ(s.m_nFirst, 50);
  int x = left_of(80) + 3, y = row(20 + 20.0 * 70 / 140);
  int hits = 0;
  for (int dy = -2; dy <= 2; dy++)
    hits += px(x - 3, y + dy) == 0xFF0000u || px(x + 3, y + dy) == 0xFF0000u;
  EXPECT_GT(hits, 0);
  EXPECT_EQ(px(p().data_rect.left + 2, row(45)), 0x00FFFFu);
  chart.rec.extensions = nullptr;
}

// The pixels of a resource bitmap at (x, y) as a pane draws it: its white
// background turned into the pane's. skip_x: a column not compared.
int bitmap_mismatches(KvDC& dc, int id, int x, int y, int skip_x = -1) {
  QImage bmp = kv_res_bitmap(id);
  int bad = 0;
  for (int r = 0; r < bmp.height(); r++)
    for (int c = 0; c < bmp.width(); c++) {
      if (x + c == skip_x) continue;
      COLORREF want = kv_colorref_from_rgb(bmp.pixel(c, r));
      if (want == 0xFFFFFF) want = BG;
      bad += dc.GetPixel(x + c, y + r) != want;
    }
  return bad;
}

TEST_F(Draw, QuoteLineTextsArrowAndCounters) {
  add_sample_bars(chart, 30);
  mqt* q = (mqt*)calloc(1, sizeof(mqt));
  q->last = 12.5f, q->bid = 12.25f, q->ask = 12.75f, q->price_decimals = 2;
  q->bid_change = 0, q->ask_change = -0.5f;
  chart.rec.header.unit_count1 = 42, chart.rec.header.unit_count2 = 7;
  int32_t saved_cont = g_cont_update;
  g_cont_update = 1;
  s.text_color = 0x202020;
  const COLORREF RED = 0x040AEC, GREEN = 0x23C73C, TEXT = 0x202020;
  show({CONTENT_PRICE});
  struct Case {
    int unit;
    bool quote;
    float last_change;
    const char *label, *count;
  } cases[] = {
      {TU_DAILY, true, 0.25f, "", ""},
      {1, true, -0.25f, " SR: ", "42"},
      {-5, true, 0, " SR: ", "42"},                    // seconds
      {-110, true, 0.25f, " TR: ", "42"},              // 10-tick bars
      {TU_VOLUME_BASE - 500, true, -1, " VR: ", "7"},  // volume bars: the second counter
      {1, false, 0, "", ""},                           // no quotes: "n/a ", no counter
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "unit " << c.unit);
    chart.rec.header.time_unit = c.unit;
    chart.rec.mqt = c.quote ? q : nullptr;
    q->last_change = c.last_change;
    image.fill(Qt::black);
    redraw();
    const KvRect& r = p().quotes_rect;
    ASSERT_FALSE(r.IsRectEmpty());
    // The texts one after another, each in its colour, from 15 pixels in.
    struct Part {
      const char* text;
      COLORREF color;
    } parts[] = {{" Last: ", TEXT},
                 {c.quote ? "12.50" : "n/a ", c.quote ? (c.last_change < 0 ? RED : GREEN) : TEXT},
                 {" Bid: ", TEXT},
                 {c.quote ? "12.25" : "n/a ", c.quote ? GREEN : TEXT},
                 {" Ask: ", TEXT},
                 {c.quote ? "12.75" : "n/a ", c.quote ? RED : TEXT},
                 {c.label, TEXT},
                 {c.count, TEXT}};
    QImage ref(image.size(), QImage::Format_RGB32);
    ref.fill(kv_qcolor(BG));
    {
      KvDC rd(&ref);
      rd.SelectFont(KvFont::StockVariable());
      rd.SetBkColor(BG);
      rd.SetBkMode(OPAQUE);
      int x = r.left + 15;
      for (const Part& part : parts) {
        if (!*part.text) continue;
        rd.SetTextColor(part.color);
        rd.TextOut(x, r.top, part.text);
        x += rd.GetTextExtent(part.text).cx;
      }
    }
    int bad = 0;
    for (int y = r.top; y < r.bottom; y++)
      for (int x = r.left + 15; x < r.right; x++) bad += image.pixel(x, y) != ref.pixel(x, y);
    EXPECT_EQ(bad, 0);
    // The arrow column: rising unless the last price fell.
    int arrow = c.quote && c.last_change < 0 ? IDB_SELL_OPEN : IDB_BUY_OPEN;
    QImage bmp = kv_res_bitmap(arrow);
    int mismatch = 0;
    for (int y = 0; y < std::min(r.Height(), bmp.height()); y++)
      for (int x = 0; x < bmp.width(); x++) {
        COLORREF want = kv_colorref_from_rgb(bmp.pixel(x, y));
        mismatch += px(r.left + x, r.top + y) != (want == 0xFFFFFF ? BG : want);
      }
    EXPECT_EQ(mismatch, 0);
  }
  g_cont_update = saved_cont;
  chart.rec.mqt = nullptr;
  free(q);
}

TEST_F(Draw, FillAndLevelMarks) {
  add_sample_bars(chart, 30);
  mqt* q = (mqt*)calloc(1, sizeof(mqt));
  q->tick_size = 0.5;
  chart.rec.mqt = q;
  StudyDef* sig = add_study(chart.chart(), STUDY_TRADE_SIGNALS);
  StudyDef* lev = add_study(chart.chart(), STUDY_ORDER_PRICE);
  sig->pane_group = lev->pane_group = 0;
  auto put = [](StudyDef* st, int i, uint32_t w) { memcpy(&st->outputs[i], &w, 4); };
  for (int i = 0; i < 30; i++) put(sig, i, 0), put(lev, i, 0);
  // Filled 4 ticks above bar 12's open (20), and 6 below bar 13's (40).
  put(sig, 12, 0x8000000 | 4u << 13);
  put(sig, 13, 0x800000 | (uint32_t(-6) & 0x1FF) << 13);
  // Levels in ticks: bar 14 both, bar 15 the lower alone (not drawn), the
  // last bar the lower alone (drawn).
  put(lev, 14, 90u << 16 | 30u);
  put(lev, 15, 30u);
  put(lev, 29, 30u);
  show({CONTENT_PRICE});
  redraw();
  EXPECT_EQ(bitmap_mismatches(*dc, IDB_FILL_MARK, left_of(12) + 3 - 4, row(22) - 4), 0);
  EXPECT_EQ(bitmap_mismatches(*dc, IDB_FILL_MARK, left_of(13) + 3 - 4, row(37) - 4), 0);
  // The level marks lie under the bar's wick, drawn after them.
  int c14 = left_of(14) + 3;
  EXPECT_EQ(bitmap_mismatches(*dc, IDB_LEVEL_HIGH, c14 - 2, row(45) - 2, c14), 0);
  EXPECT_EQ(bitmap_mismatches(*dc, IDB_LEVEL_LOW, c14 - 2, row(15) - 2, c14), 0);
  EXPECT_EQ(px(c14, row(45)), WICK);
  EXPECT_EQ(px(left_of(15) + 1, row(15)), BG);
  EXPECT_EQ(bitmap_mismatches(*dc, IDB_LEVEL_LOW, left_of(29) + 1, row(15) - 2, left_of(29) + 3),
            0);
  chart.rec.mqt = nullptr;
  free(q);
}

TEST_F(Draw, VolumeBlockInsetsByPitch) {
  add_sample_bars(chart, 40);
  const int i = 12;
  chart.rec.bars[i].flags |= BAR_VOLUME_VALID | 0x800000;
  chart.rec.bars[i].extra = chart.rec.bars[i].volume / 2;
  uint32_t saved = g_custom_candle;
  s.candle_size = 3;
  struct Case {
    int pitch;
    bool print;
    int li, ri, shift;
  } cases[] = {{3, false, 0, 1, 1},
               {5, false, 1, 1, 1},
               {6, false, 1, 2, 2},
               {9, false, 2, 2, 2},
               {14, true, 2, 5, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "pitch " << c.pitch << (c.print ? " printing" : ""));
    g_custom_candle = make_candle_def(c.pitch, 1, 1, c.pitch / 2, 1);
    view_flags = c.print ? 0x08 : 0;
    show({CONTENT_PRICE, CONTENT_VOLUME});
    image.fill(Qt::black);
    redraw();
    CBasicChart& v = p(1);
    ASSERT_EQ(candle_pitch(v.candle_def), c.pitch);
    int l = left_of(i, 1), r = l + c.pitch, y = v.data_rect.bottom - 1;
    std::string want, got;
    for (int x = l - 2; x < r + 4; x++) {
      bool vol = x >= l + c.li && x < r - c.ri;
      bool oi = x >= l + c.li + c.shift && x < r - c.ri + c.shift;
      want += vol ? 'V' : oi ? 'O' : '.';
      COLORREF pix = px(x, y);
      got += pix == 0x00A000 ? 'V' : pix == 0x00A0A0 ? 'O' : pix == BG ? '.' : '?';
    }
    EXPECT_EQ(got, want);
  }
  view_flags = 0;
  g_custom_candle = saved;
}

TEST_F(Draw, FibonacciLevelsAndChannels) {
  add_sample_bars(chart, 60);
  uint8_t saved_defs[DRAW_DEFAULTS_SIZE];
  memcpy(saved_defs, g_settings.PrefDrawDef, sizeof saved_defs);
  draw_defaults dd;
  draw_defaults_builtin(&dd);
  const COLORREF level_colors[9] = {0x00AA00, 0xAA0000, 0x0000AA, 0xAA00AA, 0x00AAAA,
                                    0x555555, 0x777777, 0x999999, 0xBBBBBB};
  for (int k = 0; k < 9; k++) dd.levels[k].color = level_colors[k], dd.levels[k].style = 0;
  dd.channel_devs = 1.5f;
  draw_defaults_encode(&dd, g_settings.PrefDrawDef);
  chart_extension ext{};
  line_record l{};
  l.kind = 1, l.width = 1, l.color = 0xFF00FF;
  auto store = [&] {
    line_record_encode(&l, ext.block);
    chart.rec.extensions = &ext;
  };
  show({CONTENT_PRICE});
  // Fibonacci from 20 to 50: lines at 0, 38.2, 50, 61.8 and 100 %, labelled
  // in 7-point Arial with their bottoms on the rows.
  l.type = ANNOT_FIBONACCI;
  l.time1 = chart.rec.bars[10].time, l.price1 = 20;
  l.time2 = chart.rec.bars[20].time, l.price2 = 50;
  store();
  redraw();
  int y1 = row(20), y2 = row(50);
  struct Level {
    double fraction;
    const char* text;
    COLORREF color;
  } levels[] = {{0, "0%", 0xFF00FF},
                {0.382, "38.2%", level_colors[1]},
                {0.5, "50%", level_colors[2]},
                {0.618, "61.8%", level_colors[3]},
                {1, "100%", 0xFF00FF}};
  const KvRect& d = p().data_rect;
  for (const Level& lv : levels) {
    SCOPED_TRACE(lv.text);
    int y = y1 + (int)((y2 - y1) * (double)(float)lv.fraction);
    EXPECT_EQ(px(d.right - 2, y), lv.color);
    QImage ref(100, 30, QImage::Format_RGB32);
    ref.fill(kv_qcolor(BG));
    KvDC rd(&ref);
    rd.SelectFont(KvFont(QStringLiteral("Arial"), 7));
    rd.SetTextColor(lv.color);
    rd.SetBkColor(BG);
    rd.SetBkMode(OPAQUE);
    KvSize ext = rd.GetTextExtent(lv.text);
    rd.TextOut(0, 0, lv.text);
    int bad = 0;
    for (int yy = 0; yy < ext.cy; yy++)
      for (int xx = 0; xx < ext.cx; xx++)
        bad += px(d.left + 1 + xx, y - ext.cy + yy) != rd.GetPixel(xx, yy);
    EXPECT_EQ(bad, 0);
  }
  // The 23.6 % level is off: nothing on its row.
  EXPECT_NE(px(d.right - 2, y1 + (int)((y2 - y1) * 0.236f)), level_colors[0]);

  // A channel through (10, 20) and (20, 30), its record deviation 2: the
  // lines at +-3 run as rays from point 1 (from point 2 when swapped).
  l.type = ANNOT_CHANNEL;
  l.price2 = 30;
  l.channel_dev = 2;
  for (int swapped = 0; swapped < 2; swapped++) {
    SCOPED_TRACE(swapped ? "swapped" : "plain");
    l.flags = swapped ? LINE_FLAG_SWAPPED : 0;
    store();
    image.fill(Qt::black);
    redraw();
    auto near = [&](int bar, double price) {
      int x = left_of(bar) + 3, y = row(price), n = 0;
      for (int dy = -2; dy <= 2; dy++) n += px(x, y + dy) == 0xFF00FFu;
      return n > 0;
    };
    for (double shift : {3.0, -3.0}) {
      EXPECT_TRUE(near(15, 25 + shift)) << shift;
      EXPECT_EQ(near(30, 40 + shift), !swapped) << shift;  // beyond point 2
      EXPECT_EQ(near(4, 14 + shift), !!swapped) << shift;  // before point 1
    }
    // The dotted middle line.
    int dots = 0;
    for (int bar = 11; bar < 20; bar++) dots += near(bar, 20 + (bar - 10));
    EXPECT_GT(dots, 0);
  }
  chart.rec.extensions = nullptr;
  memcpy(g_settings.PrefDrawDef, saved_defs, sizeof saved_defs);
}

TEST_F(Draw, BitmapsFollowTheBackground) {
  // A background of a mark's own colour, then another: the mark keeps its colour.
  QImage res = kv_res_bitmap(IDB_BUY_OPEN);
  COLORREF mark = 0xFFFFFF;
  for (int y = 0; y < res.height() && mark == 0xFFFFFF; y++)
    for (int x = 0; x < res.width() && mark == 0xFFFFFF; x++)
      mark = kv_colorref_from_rgb(res.pixel(x, y));
  ASSERT_NE(mark, 0xFFFFFFu);
  for (COLORREF bg : {mark, COLORREF(0x000000), COLORREF(0xFFFFFF)}) {
    s.bg_color = bg;
    const QImage* img = p().PaneBitmap(IDB_BUY_OPEN);
    ASSERT_TRUE(img);
    int bad = 0;
    for (int y = 0; y < res.height(); y++)
      for (int x = 0; x < res.width(); x++) {
        COLORREF want = kv_colorref_from_rgb(res.pixel(x, y));
        bad += kv_colorref_from_rgb(img->pixel(x, y)) != (want == 0xFFFFFF ? bg : want);
      }
    EXPECT_EQ(bad, 0) << std::hex << bg;
  }
}

TEST_F(Draw, AreasOfTheLastMatchingPane) {
  add_sample_bars(chart, 20);
  g_pref_flags = 0x1;  // alert-line area on
  s.display_flags = CS_SHOW_GRTRADE;
  show({CONTENT_PRICE, CONTENT_VOLUME, 0x04});
  StudyDef* a = add_study(chart.chart(), STUDY_RSI);
  a->pane_group = 0x04;
  redraw();
  KvRect r;
  pane.getActiveAlertsRect(CONTENT_PRICE | CONTENT_VOLUME, &r);
  EXPECT_EQ(r, p(1).alerts_rect);
  EXPECT_FALSE(r.IsRectEmpty());
  pane.getActiveGrTradeRect(CONTENT_PRICE, &r);
  EXPECT_EQ(r, p(0).grtrade_rect);
  pane.getGrTradeStatRect(CONTENT_PRICE, &r);
  EXPECT_EQ(r, p(0).grtrade_stat_rect);
  EXPECT_FALSE(r.IsRectEmpty());
  pane.getActiveAlertsRect(-1, &r);
  EXPECT_TRUE(r.IsRectEmpty());
  pane.getActiveAlertsRect(0x20, &r);
  EXPECT_TRUE(r.IsRectEmpty());
}

// ---------------------------------------------------------------------------
// The container's layout.

TEST_F(Draw, LayoutsOfOneToFourPanes) {
  struct Case {
    int shown[4];
    int top;
    float splits[3];
    int pane_tops[4], pane_bottoms[4];
  } cases[] = {
      {{1, 0, 0, 0}, 0, {0, 0, 0}, {0}, {400}},
      {{1, 1, 0, 0}, 0, {0, 0, 0}, {0, 203}, {197, 400}},
      {{1, 1, 0, 0}, 20, {0, 0, 0}, {20, 213}, {207, 400}},  // client top above 0
      {{1, 0, 1, 1}, 0, {0.25f, 0.5f, 0}, {0, 103, 203}, {97, 197, 400}},
      {{1, 1, 1, 1}, 0, {0.25f, 0.5f, 0.75f}, {0, 103, 203, 303}, {97, 197, 297, 400}},
      {{1, 1, 1, 0}, 0, {0.8f, 0.2f, 0}, {0, 136, 269}, {130, 263, 400}},     // not rising: even
      {{1, 1, 1, 1}, 0, {0, 0, 0}, {0, 103, 203, 303}, {97, 197, 297, 400}},  // never saved: even
      {{1, 1, 1, 0}, 0, {NAN, 0.5f, 0}, {0, 136, 269}, {130, 263, 400}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.shown[1] << c.shown[2] << c.shown[3] << " top " << c.top);
    memset(s.saved_splits, 0, sizeof s.saved_splits);
    for (int k = 0; k < 4; k++) s.pane_shown[k] = c.shown[k];
    int n = c.shown[0] + c.shown[1] + c.shown[2] + c.shown[3];
    s.pane_count = n;
    memcpy(s.splits, c.splits, sizeof s.splits);
    pane.CalcPaneRects(KvRect(0, c.top, 300, 400), 1, 0);
    EXPECT_EQ(s.pane_count, n);
    for (int k = 0; k < n; k++) {
      EXPECT_EQ(s.pane_rects[k][1], c.pane_tops[k]) << k;
      EXPECT_EQ(s.pane_rects[k][3], c.pane_bottoms[k]) << k;
      EXPECT_EQ(s.pane_rects[k][0], 0);
      EXPECT_EQ(s.pane_rects[k][2], 300);
      if (k < n - 1) {
        EXPECT_EQ(s.splitter_rects[k][1], c.pane_bottoms[k]);
        EXPECT_EQ(s.splitter_rects[k][3], c.pane_tops[k + 1]);
      }
    }
    for (int k = n; k < 4; k++) EXPECT_EQ(s.pane_rects[k][3] - s.pane_rects[k][1], 0) << k;
  }
}

TEST_F(Draw, SplitsFollowThePaneCountAndMoves) {
  memset(s.saved_splits, 0, sizeof s.saved_splits);
  memset(s.splits, 0, sizeof s.splits);
  s.pane_count = 1;
  s.pane_shown[0] = 1, s.pane_shown[1] = 1, s.pane_shown[2] = 0, s.pane_shown[3] = 0;
  pane.CalcPaneRects(KvRect(0, 0, 300, 300), 1, 0);
  pane.MoveSplitters(0.6f, 0, 0);
  pane.CalcPaneRects(KvRect(0, 0, 300, 300), 1, 0);
  EXPECT_EQ(s.splitter_rects[0][1], 177);
  // Two to three panes: split 2-3 where the two-pane splitter was, 1-2 at two thirds of it.
  s.pane_shown[2] = 1;
  pane.CalcPaneRects(KvRect(0, 0, 300, 300), 1, 0);
  EXPECT_FLOAT_EQ(s.splits[1], 0.6f);
  EXPECT_FLOAT_EQ(s.splits[0], 0.6f - 0.6f * 0.33333334f);
  // Moves that would cross a neighbour are ignored.
  float before[3] = {s.splits[0], s.splits[1], s.splits[2]};
  pane.MoveSplitters(0, 0.2f, 0);  // 2-3 above 1-2
  pane.MoveSplitters(0.7f, 0, 0);  // 1-2 below 2-3
  EXPECT_EQ(memcmp(before, s.splits, sizeof before), 0);
  pane.MoveSplitters(0, 0.7f, 0);
  EXPECT_FLOAT_EQ(s.splits[1], 0.7f);
  // Back to two panes: the two-pane split returns.
  s.pane_shown[2] = 0;
  pane.CalcPaneRects(KvRect(0, 0, 300, 300), 1, 0);
  EXPECT_FLOAT_EQ(s.splits[0], 0.6f);
}

TEST_F(Draw, HitTestsHiddenSlotsAndSplitterLines) {
  add_sample_bars(chart, 20);
  memset(s.splits, 0, sizeof s.splits);
  memset(s.saved_splits, 0, sizeof s.saved_splits);
  show({CONTENT_PRICE, 0, CONTENT_VOLUME});  // slot 1 hidden: slot 2 takes rectangle 2
  redraw();
  EXPECT_EQ(s.rect_slots[0], 0);
  EXPECT_EQ(s.rect_slots[1], 2);
  EXPECT_EQ(s.rect_slots[2], -1);
  EXPECT_EQ(p(2).pane_rect.top, 203);
  uint32_t word = 0x100;
  pane.HitTest(10, 199, &word);  // on the splitter, not the pane above
  EXPECT_EQ(word, 0x110u);
  word = 0x100;
  pane.HitTest(10, 300, &word);
  EXPECT_EQ(word, 0x102u);
  word = 0;
  pane.HitTest(-5, 300, &word);
  EXPECT_EQ(word, 7u);
  EXPECT_EQ(pane.PaneFromPoint(10, 10), 0);
  // The splitter's five lines; the sixth row is the pane's.
  const COLORREF lines[6] = {0xC0C0C0, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0};
  image.fill(Qt::black);
  pane.Draw(dc.get());
  for (int k = 0; k < 6; k++) EXPECT_EQ(px(150, 197 + k), lines[k]) << k;
}

TEST_F(Draw, ScalesBindToSides) {
  add_sample_bars(chart, 20);
  for (int i = 0; i < 20; i++) chart.rec.bars[i].flags |= BAR_VOLUME_VALID;
  StudyDef* a = add_study(chart.chart(), STUDY_RSI);
  a->pane_group = 0x04, a->state = 0;
  for (int i = 0; i < 20; i++) a->outputs[i] = 40 + i;
  for (int left = 0; left < 2; left++) {
    g_price_lab_left = left;
    show({CONTENT_PRICE | CONTENT_VOLUME, 0x04, 0});
    redraw();
    int pref = left ? 0 : 1;
    EXPECT_EQ(pane.scale_source(0, pref), &p(0).own_price) << left;
    EXPECT_EQ(pane.scale_source(0, 1 - pref), &p(0).own_volume) << left;
    EXPECT_EQ(pane.scale_source(1, pref), p(1).StudyScale(a)) << left;
    EXPECT_EQ(pane.scale_source(1, 1 - pref), nullptr) << left;
    // Price and volume and a study group in one pane: the group finds no side.
    show({CONTENT_PRICE | CONTENT_VOLUME | 0x04});
    redraw();
    EXPECT_EQ(pane.scale_source(0, pref), &p(0).own_price);
    EXPECT_EQ(pane.scale_source(0, 1 - pref), &p(0).own_volume);
  }
}

TEST_F(Draw, SampleChartPicture) {
  // Candles, volume, a moving average, Bollinger bands, an RSI pane and an
  // overlay, written to the build folder to look at.
  for (int i = 0; i < 120; i++) {
    double c = 100 + 10 * std::sin(i / 9.0) + (i % 5);
    chart.add(c - 1, c + 2, c - 3, c + (i % 3 - 1), 1000 + 37 * (i % 11));
    chart.rec.bars[i].flags |= BAR_VOLUME_VALID;
  }
  StudyDef* ma = add_study(chart.chart(), STUDY_SMA);
  StudyDef* up = add_study(chart.chart(), STUDY_BB_UPPER);
  StudyDef* lo = add_study(chart.chart(), STUDY_BB_LOWER);
  StudyDef* rsi = add_study(chart.chart(), STUDY_RSI);
  for (int i = 0; i < 120; i++) {
    double m = 100 + 10 * std::sin(i / 9.0);
    ma->outputs[i] = m, up->outputs[i] = m + 6, lo->outputs[i] = m - 6;
    rsi->outputs[i] = 50 + 30 * std::sin(i / 5.0);
  }
  ma->pane_group = up->pane_group = lo->pane_group = 1;
  ma->color = 0xFF0000, up->color = lo->color = 0x00A0A0, rsi->color = 0x8000FF;
  rsi->pane_group = 0x04;
  for (StudyDef* st : {ma, up, lo, rsi}) st->state = 0, st->line_width = 1;
  // An overlay symbol on the percent axis, its legend in the left column.
  test_chart other(200, TU_DAILY);
  for (int i = 0; i < 120; i++) {
    double c = 50 + 4 * std::cos(i / 11.0);
    other.add(c, c + 1, c - 1, c, 0, chart.rec.bars[i].time);
  }
  snprintf(other.rec.header.symbol, sizeof other.rec.header.symbol, "OTHER");
  snprintf(chart.rec.header.symbol, sizeof chart.rec.header.symbol, "SAMPLE");
  overlay_list[0] = other.chart();
  n_overlays = 1;
  s.percent = 1;
  show({CONTENT_PRICE, CONTENT_VOLUME, 0x04});
  g_show_gridlines = 1;
  dc.reset();
  image = QImage(900, 600, QImage::Format_RGB32);
  dc = std::make_unique<KvDC>(&image);
  pane.CalcPaneRects(KvRect(0, 0, image.width(), image.height()), 2, 0);
  pane.CalcLayouts(dc.get());
  pane.Draw(dc.get());
  EXPECT_EQ(p().overlay_rows[0] != 0, true);
  int high = p().data_rect.bottom -
             axis_pixels(&p().own_price, (chart.rec.bars[60].high - chart.rec.percent_base) /
                                             chart.rec.percent_base * 100);
  EXPECT_EQ(px(left_of(60) + 3, high + 1), WICK);
  EXPECT_TRUE(image.save(QString::fromLatin1(KV_BINARY_DIR "/sample_chart.png")));
}

}  // namespace
