// The chart pane's layout, visible bars and frame drawing.
// The chart fixture names a variable "slots", which Qt's headers define away.
#include "studies/tests/study_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "chart/basicchart.h"
#include "chart/chart_hooks.h"
#include "data/axis_scale.h"
#include "data/chartsettings.h"
#include "platform/qt/canvas.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"

namespace {

class Owner : public KvCanvasView {
 public:
  void OnDraw(KvDC&) override {}
};

class Pane : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    owner_view = std::make_unique<Owner>();
    default_chart_settings(&settings, 20261210);
    settings.window_kind = WINDOW_KIND_CHART;
    settings.candle_size = 1;  // pitch 7
    saved_flags = g_pref_flags;
    saved_left = g_price_lab_left;
    saved_grid = g_show_gridlines;
    g_pref_flags = 0;
    g_price_lab_left = 0;
    g_show_gridlines = 1;
    image = QImage(400, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    dc = std::make_unique<KvDC>(&image);
  }
  void TearDown() override {
    g_pref_flags = saved_flags;
    g_price_lab_left = saved_left;
    g_show_gridlines = saved_grid;
    dc.reset();
    owner_view.reset();
    TempRootTest::TearDown();
  }
  void init(CBasicChart& p, const KvRect& r, int header, int time_axis, int mode) {
    p.Init(header, time_axis, r, dc.get(), &settings, owner_view.get(), &chart_ptr, &overlays,
           nullptr, mode, 0);
  }

  ChartSettings settings;
  std::unique_ptr<Owner> owner_view;
  test_chart chart{2000, 1};
  chart_rec* chart_ptr = chart.chart();
  int overlays = 0;
  QImage image;
  std::unique_ptr<KvDC> dc;
  uint32_t saved_flags;
  int32_t saved_left, saved_grid;
};

TEST(PaneGeometry, CandleWordsAndDensity) {
  EXPECT_EQ(candle_def_for_size(0, 0), 0x04100003u);
  EXPECT_EQ(candle_def_for_size(2, 0), 0x0470820Fu);
  EXPECT_EQ(candle_def_for_size(4, 0), 0x0CE0C31Du);
  EXPECT_EQ(candle_def_for_size(9, 0), 0x04304107u);
  // No usable pitch: the medium bars.
  EXPECT_EQ(candle_def_for_size(5, 0), 0x04304107u);
  EXPECT_EQ(candle_def_for_size(3, 0), 0x04304107u);
  EXPECT_EQ(candle_def_for_size(3, make_candle_def(2, 1, 1, 1, 1)), 0x04304107u);
  EXPECT_EQ(candle_def_for_size(3, make_candle_def(3, 1, 1, 1, 1)), make_candle_def(3, 1, 1, 1, 1));
  const int pitches[][2] = {{3, 0}, {6, 0}, {7, 1}, {14, 1}, {15, 2}, {29, 2}};
  for (auto& p : pitches) EXPECT_EQ(density_for_pitch(p[0]), p[1]) << p[0];
  EXPECT_EQ(day_period_color(13 * 3600 + 30 * 60), 0x6CF1F9);  // 13:25-13:35 before 11:15-14:15
  EXPECT_EQ(day_period_color(16 * 3600 + 60), -1);
  EXPECT_EQ(day_period_color(9 * 3600), -1);
}

TEST_F(Pane, VisibleBarsFollowTheScrollInformation) {
  for (int i = 0; i < 100; i++) chart.add(10, 11, 9, 10, 100, 36000 + 60 * i);
  struct Case {
    int width, max, page, pos;
    int first, last, num, page_after;
  } cases[] = {
      {13, 99, 60, 0, -1, -1, 0, 60},       // narrower than two pitches: nothing
      {357, 99, 60, 40, 50, 99, 50, 50},    // end of range: the newest bars, page shrunk
      {357, 99, 50, 10, 10, 59, 50, 50},    // inside the range
      {1000, 99, 100, 0, 0, 99, 100, 100},  // all bars fit
  };
  for (const Case& c : cases) {
    KvScrollInfo si;
    si.min = 0, si.max = c.max, si.page = c.page, si.pos = c.pos;
    owner_view->SetScrollInfo(si, false);
    CBasicChart p;
    init(p, KvRect(0, 0, c.width, 200), 0, 1, 0);
    p.CalcHeaders();
    EXPECT_EQ(settings.m_nFirst, c.first) << c.width << "/" << c.pos;
    EXPECT_EQ(settings.m_nLast, c.last) << c.width << "/" << c.pos;
    EXPECT_EQ(settings.m_nNum, c.num) << c.width << "/" << c.pos;
    EXPECT_EQ(owner_view->GetScrollInfo().page, c.page_after) << c.width;
  }
  EXPECT_EQ(chart.rec.axis_density, 1);  // pitch 7
  free(chart.rec.axis_marks);
  chart.rec.axis_marks = nullptr;
}

TEST_F(Pane, StripsOfANarrowPaneAndLabelColumns) {
  chart.add(10, 11, 9, 10);
  settings.display_flags = CS_SHOW_GRTRADE | CS_SHOW_BIDASK;
  {
    CBasicChart p;
    init(p, KvRect(0, 0, 45, 100), 0, 0, 0);
    p.CalcHeaders();
    EXPECT_TRUE(p.grtrade_rect.IsRectNull());
    EXPECT_TRUE(p.bidask_rect.IsRectNull());
  }
  {
    CBasicChart p;
    init(p, KvRect(0, 0, 100, 100), 0, 0, 0);
    p.CalcHeaders();
    EXPECT_EQ(p.grtrade_rect, KvRect(55, 0, 100, 100));
    EXPECT_EQ(p.bidask_rect, KvRect(50, 0, 55, 100));
    EXPECT_EQ(p.data_rect.right, 50);
  }
  settings.display_flags = 0;
  CBasicChart p;
  init(p, KvRect(0, 0, 300, 100), 0, 0, 1);  // one column, prices on the right
  p.CalcHeaders();
  EXPECT_TRUE(p.label_rect[0].IsRectNull());
  EXPECT_EQ(p.label_rect[1].right, 300);
  EXPECT_EQ(p.label_tick_rect[1].right, p.label_rect[1].left);
  EXPECT_EQ(p.label_tick_rect[1].Width(), 10);
  EXPECT_EQ(p.data_rect.right, p.label_tick_rect[1].left);
}

TEST_F(Pane, DistributionRowsAndVolumeAxis) {
  settings.window_kind = WINDOW_KIND_PVD;
  static pvd_record rec;
  memset(&rec, 0, sizeof rec);
  for (int i = 0; i < PVD_ROWS; i++) rec.volume[i] = 10 + i;
  CBasicChart p;
  p.Init(0, 0, KvRect(0, 0, 200, 100), dc.get(), &settings, owner_view.get(), nullptr, nullptr,
         nullptr, 0, 0, nullptr, &rec);
  p.CalcHeaders();
  p.CalcPVDLayout();
  EXPECT_EQ(g_pvd.row_count, 251);
  EXPECT_EQ(candle_pitch(g_pvd.row_def), 0);
  for (int i = 0; i < 40; i++) EXPECT_EQ((g_pvd.rows[i].flags & 2) != 0, i % 16 == 0) << i;

  // A data area narrower than one label still gets one volume label.
  {
    CBasicChart narrow;
    narrow.Init(0, 0, KvRect(0, 0, 3, 100), dc.get(), &settings, owner_view.get(), nullptr, nullptr,
                nullptr, 0, 0, nullptr, &rec);
    narrow.CalcHeaders();
    narrow.CalcPVDLayout();
    EXPECT_EQ(g_pvd.axis_count, 1);
  }

  memset(&rec, 0, sizeof rec);
  rec.volume[3] = 950;
  p.CalcPVDLayout();
  int labels = std::clamp(200 / dc->GetTextExtent("x100x").cx, 1, 100);
  EXPECT_EQ(g_pvd.axis[0].volume, 1000 / labels);
  EXPECT_GE(g_pvd.axis_count, 1);
  EXPECT_LE(g_pvd.axis_count, labels);
}

TEST_F(Pane, PercentBaseFollowsTheBaseMode) {
  // Three days of four bars; opens 100 + i, closes 200 + i.
  for (int i = 0; i < 12; i++) {
    chart_bar& b =
        chart.add(100 + i, 300, 50, 200 + i, 10, 86400 * (20000 + i / 4) + 36000 + 60 * (i % 4));
    b.flags = BAR_VOLUME_VALID;
  }
  KvScrollInfo si;
  si.max = 11, si.page = 5, si.pos = 7;
  owner_view->SetScrollInfo(si, false);
  settings.percent = 1;
  settings.percent_base_time = chart.storage[5].time - 1;
  struct Case {
    int mode, use_days, days;
    float base;
  } cases[] = {
      {0, 0, 0, 100},  // bar 0's open
      {1, 0, 0, 107},  // first visible bar
      {2, 0, 0, 207},  // close before the last day
      {3, 0, 0, 108},  // the last day's first bar
      {5, 1, 2, 104},  // two trading days back
      {5, 0, 0, 105},  // first bar after the stored time
  };
  for (const Case& c : cases) {
    settings.display_flags = (uint32_t)c.mode << CS_PERCENT_BASE_SHIFT;
    settings.use_days_back = (int16_t)c.use_days;
    settings.days_back = (int16_t)c.days;
    CBasicChart p;
    init(p, KvRect(0, 0, 42, 200), 0, 0, 0);
    p.CalcHeaders();
    ASSERT_EQ(settings.m_nFirst, 7);
    memset(&chart.rec.price_scale, 0, sizeof chart.rec.price_scale);
    EXPECT_EQ(p.CalcVerticalScale(CONTENT_PRICE, 1), 1) << c.mode;
    EXPECT_EQ(chart.rec.percent_base, c.base) << c.mode << "/" << c.use_days;
  }
}

// The colour of a pixel.
COLORREF px(const QImage& img, int x, int y) {
  return kv_colorref_from_rgb(img.pixel(x, y));
}

int events_on_bar(chart_rec*, int index) {
  return index == 2 ? 1 : 0;
}

TEST_F(Pane, FrameDrawsTicksGridStripColoursLabelsAndEvents) {
  // Minute bars from 13:28; bars 0-6 lie in the 13:25-13:35 period, bar
  // 9 at 16:37 in none.
  const int times[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 189};
  for (int i = 0; i < 10; i++)
    chart.add(10, 11, 9, 10, 100, 86400 * 20000 + 13 * 3600 + 28 * 60 + 60 * times[i]);
  chart.rec.axis_marks =
      static_cast<time_axis_mark*>(calloc(chart.storage.size(), sizeof(time_axis_mark)));
  for (int i = 0; i < 5; i++) chart.rec.axis_marks[i].level = (uint8_t)i;
  strcpy(chart.rec.axis_marks[4].label, "13:32");
  chart.rec.axis_density = 1;
  settings.axis_color = 0x0000FF;
  settings.grid_color = 0x00AA00;
  settings.text_color = 0x800000;
  settings.events_bg_color = 0xEEEEEE;
  settings.event_mark_color = 0x00CCCC;
  settings.flags = CS_FLAG_TIME_COLOURS;
  settings.display_flags = CS_SHOW_EVENTS;
  g_pref_flags = 0x2;  // title on
  g_price_lab_left = 1;

  CBasicChart p;
  init(p, KvRect(0, 0, 400, 300), 1, 1, 2);
  g_chart_hooks.count_bar_events = events_on_bar;
  struct Unhook {
    ~Unhook() { g_chart_hooks.count_bar_events = nullptr; }
  } unhook;
  p.CalcHeaders();
  p.left_attr = 0x400040;
  ASSERT_EQ(settings.m_nNum, 10);
  axis_scale list{};
  list.label_count = 4;
  const struct {
    int off;
    const char* text;
  } labels[] = {{40, "12.50"}, {80, "13.00"}, {120, "12.25"}, {p.data_rect.Height() + 30, "99.00"}};
  for (int i = 0; i < 4; i++) {
    list.labels[i].offset = (int16_t)labels[i].off;
    strcpy(list.labels[i].text, labels[i].text);
  }
  p.DrawFrame(CONTENT_PRICE, &list, nullptr);

  const KvRect& d = p.data_rect;
  const KvRect& tick = p.time_tick_rect;
  const int pitch = 7;
  // Time ticks: 4, 6, 8, 10 pixels for levels 1-4, black on a coloured strip.
  for (int k = 0; k < 5; k++) {
    int x = d.left + pitch * (k + 1) - pitch / 2 - 1;
    int len = k ? 2 + 2 * k : 0;
    for (int y = tick.top + 1; y < tick.top + len; y++)
      EXPECT_EQ(px(image, x, y), 0u) << k << "," << y;
    if (len < tick.Height()) {
      EXPECT_EQ(px(image, x, tick.top + std::max(len, 1)), 0x6CF1F9u) << k;
    }
  }
  // The strip: 13:30 coloured 0x6CF1F9, 16:37 not coloured; base line in the axis colour.
  EXPECT_EQ(px(image, d.left + 1, tick.top + 5), 0x6CF1F9u);
  EXPECT_EQ(px(image, d.left + pitch * 9 + 1, tick.top + 5), 0xFFFFFFu);
  EXPECT_EQ(px(image, d.left + 1, tick.top), 0x0000FFu);
  // Grid dots by label text: ".50" every 10, ".00" every 5, other decimals every 25.
  auto dots = [&](int off) {
    std::string s;
    for (int x = d.right - 27; x < d.right; x++)
      s += px(image, x, d.bottom - off) == 0x00AA00 ? '#' : '.';
    return s;
  };
  {
    std::string s = dots(40);
    EXPECT_EQ(s[25], '#');
    EXPECT_EQ(s[15], '#');
    EXPECT_EQ(s[5], '#');
    EXPECT_EQ(s[20], '.');
    s = dots(80);
    EXPECT_EQ(s[25], '#');
    EXPECT_EQ(s[20], '#');
    EXPECT_EQ(s[15], '#');
    EXPECT_EQ(s[22], '.');
    s = dots(120);
    EXPECT_EQ(s[25], '#');
    EXPECT_EQ(s[0], '#');
    EXPECT_EQ(s[15], '.');
  }
  // Label ticks on both columns in the axis colour, 5 pixels long.
  const KvRect& lt = p.label_tick_rect[0];
  EXPECT_EQ(px(image, lt.right - 1, lt.bottom - 40), 0x0000FFu);
  EXPECT_EQ(px(image, lt.right - 5, lt.bottom - 40), 0x0000FFu);
  EXPECT_EQ(px(image, lt.right - 6, lt.bottom - 40), 0xFFFFFFu);
  const KvRect& rt = p.label_tick_rect[1];
  EXPECT_EQ(px(image, rt.left + 4, rt.bottom - 80), 0x0000FFu);
  EXPECT_EQ(px(image, rt.left + 5, rt.bottom - 80), 0xFFFFFFu);
  // A label past the column's top is drawn at the top; nothing outside the
  // columns (the right one mirrors the left list).
  const KvRect& col = p.label_rect[0];
  const KvRect& col2 = p.label_rect[1];
  int th = 0;
  bool top_text = false, outside = false;
  for (int y = 0; y < image.height(); y++)
    for (int x = 0; x < image.width(); x++) {
      if (px(image, x, y) != 0x400040) continue;
      if (!col.PtInRect(x, y) && !col2.PtInRect(x, y)) outside = true;
      if (y < col.top + 13) top_text = true;
      th++;
    }
  EXPECT_TRUE(top_text);
  EXPECT_FALSE(outside);
  EXPECT_GT(th, 0);
  // Title text in the title strip.
  bool title = false;
  for (int x = 0; x < 400; x++)
    for (int y = p.title_rect.top; y < p.title_rect.bottom; y++)
      title |= px(image, x, y) == 0x800000;
  EXPECT_TRUE(title);
  // Events: frame, background and the mark of bar 2.
  const KvRect& ev = p.events_rect;
  EXPECT_EQ(px(image, ev.left, ev.bottom - 2), 0x0000FFu);
  EXPECT_EQ(px(image, ev.left + 2, ev.top), 0x0000FFu);
  EXPECT_EQ(px(image, ev.left + 2, ev.top + 3), 0xEEEEEEu);
  EXPECT_EQ(px(image, ev.left + pitch * 2 + 2, ev.top + 3), 0x00CCCCu);
  free(chart.rec.axis_marks);
  chart.rec.axis_marks = nullptr;
}

TEST_F(Pane, PrintingLengthensTheTimeTicks) {
  for (int i = 0; i < 5; i++) chart.add(10, 11, 9, 10, 100, 86400 * 20000 + 12 * 3600 + 60 * i);
  chart.rec.axis_marks =
      static_cast<time_axis_mark*>(calloc(chart.storage.size(), sizeof(time_axis_mark)));
  for (int i = 0; i < 5; i++) chart.rec.axis_marks[i].level = (uint8_t)i;
  chart.rec.axis_density = 1;
  settings.axis_color = 0x0000FF;
  uint32_t view_flags = 0x08;
  CBasicChart p;
  init(p, KvRect(0, 0, 200, 200), 0, 1, 0);
  p.view_flags = &view_flags;
  p.CalcHeaders();
  EXPECT_EQ(p.time_tick_rect.Height(), 25);
  p.DrawFrame(CONTENT_PRICE, nullptr, nullptr);
  const int lengths[] = {0, 10, 15, 20, 25};
  for (int k = 1; k < 5; k++) {
    int x = p.data_rect.left + 7 * (k + 1) - 3 - 1;
    EXPECT_EQ(px(image, x, p.time_tick_rect.top + lengths[k] - 1), 0x0000FFu) << k;
    if (lengths[k] < 25) {
      EXPECT_EQ(px(image, x, p.time_tick_rect.top + lengths[k]), 0xFFFFFFu) << k;
    }
  }
  free(chart.rec.axis_marks);
  chart.rec.axis_marks = nullptr;
}

TEST_F(Pane, TitleOfOneMinuteDayAndDailyUnit) {
  for (int i = 0; i < 3; i++)
    chart.add(10, 11, 9, 10, 100, 86400 * 20000 + 9 * 3600 + 1800 + 60 * i);
  CBasicChart p;
  init(p, KvRect(0, 0, 300, 100), 1, 0, 0);
  p.CalcHeaders();
  std::string t = p.TimeSpanText();
  EXPECT_EQ(t.substr(0, 5), "1 Min");
  EXPECT_NE(t.find("-09:30 to 09:32"), std::string::npos) << t;
  chart.rec.header.time_unit = TU_DAILY;
  EXPECT_EQ(std::string(p.TimeSpanText()).substr(0, 5), "Daily");
}

}  // namespace
