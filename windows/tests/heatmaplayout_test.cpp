// The heat map's engine on its own: grid sizes, spectrum bounds, the
// sort order, cell colours, strokes and mini charts drawn into an image,
// daily ranges and marks; a picture is written for a person to look at.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <vector>

#include "data/chart.h"
#include "platform/qt/color.h"
#include "platform/qt/dc.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"
#include "quotes/alerts.h"
#include "quotes/mqt_record.h"
#include "windows/heatmaplayout.h"

namespace {

class HeatMap : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    std::fill(std::begin(cells), std::end(cells), HeatMapCell{});
  }
  void TearDown() override {
    for (chart_rec* c : charts) free_chart_data(c);
    TempRootTest::TearDown();
  }
  // A record with the regular session's last at last (the day's close).
  mqt* record(const char* symbol, float prev_close, float last, float open = 0) {
    records.push_back(std::make_unique<mqt>());
    mqt* r = records.back().get();
    snprintf(r->symbol, sizeof r->symbol, "%s", symbol);
    snprintf(r->local_symbol, sizeof r->local_symbol, "%s", symbol);
    r->prev_close = prev_close;
    r->open = open;
    r->last = r->day_close = last;
    r->pct_day_close = r->pct_last = prev_close ? (last - prev_close) * 100 / prev_close : 0;
    return r;
  }
  void fill(const std::vector<mqt*>& rs) {
    for (size_t i = 0; i < rs.size(); i++) cells[i].record = rs[i];
    layout.SetCells(0, (int)rs.size(), cells);
  }
  void layout_in(int w, int h) {
    image = QImage(w, h, QImage::Format_RGB32);
    image.fill(Qt::gray);
    KvDC dc(&image);
    layout.CalcLayouts(dc, KvRect(0, 0, w, h));
  }
  void draw() {
    KvDC dc(&image);
    layout.DrawAll(dc);
  }
  COLORREF px(int x, int y) const { return kv_colorref_from_rgb(image.pixel(x, y)); }
  // A pixel inside a cell away from its text and border.
  COLORREF cell_px(int i) const { return px(cells[i].cell.left + 3, cells[i].cell.top + 3); }

  HeatMapCell cells[HEATMAP_CELLS_MAX];
  CHeatMapLayout layout;
  std::vector<std::unique_ptr<mqt>> records;
  std::vector<chart_rec*> charts;
  QImage image;
};

TEST_F(HeatMap, GridOfShownCellsAndConstraints) {
  struct Case {
    int shown, mode, fixed, columns, rows;
  } cases[] = {
      {0, HEATMAP_FREE, 0, 1, 1},
      {3, HEATMAP_FREE, 0, 3, 1},
      {5, HEATMAP_FREE, 0, 2, 3},
      {7, HEATMAP_FREE, 0, 3, 3},
      {16, HEATMAP_FREE, 0, 4, 4},
      {10, HEATMAP_ROWS_FIXED, 4, 3, 4},
      {10, HEATMAP_COLUMNS_FIXED, 4, 4, 3},
      {10, HEATMAP_ROWS_FIXED, 0, 10, 1},
      {10, HEATMAP_COLUMNS_FIXED, -3, 1, 10},
      {0, HEATMAP_ROWS_FIXED, 4, 1, 4},
  };
  for (const Case& c : cases) {
    std::fill(std::begin(cells), std::end(cells), HeatMapCell{});
    for (int i = 0; i < c.shown; i++) cells[i].record = nullptr;
    // A hidden and a deleted cell never take a place.
    cells[c.shown].flags = HEATMAP_HIDDEN;
    cells[c.shown + 1].flags = HEATMAP_DELETED;
    layout.SetCells(0, c.shown + 2, cells);
    layout.SetConstraint(c.mode, c.fixed, c.fixed);
    layout_in(400, 300);
    EXPECT_EQ(c.columns, layout.columns) << c.shown << " mode " << c.mode << " fixed " << c.fixed;
    EXPECT_EQ(c.rows, layout.rows) << c.shown << " mode " << c.mode << " fixed " << c.fixed;
    EXPECT_GT(layout.cell_width, 0);
  }
  // Five cells, one excluded: it keeps its grid place.
  std::fill(std::begin(cells), std::end(cells), HeatMapCell{});
  cells[1].flags = HEATMAP_EXCLUDED;
  layout.SetCells(0, 5, cells);
  layout.SetConstraint(HEATMAP_FREE, 0, 0);
  layout_in(400, 300);
  EXPECT_EQ(1, cells[1].column);
  EXPECT_EQ(0, cells[2].column);
  EXPECT_EQ(1, cells[2].row);
  EXPECT_EQ(1, layout.CellAt(cells[1].cell.left + 1, cells[1].cell.top + 1));
}

TEST_F(HeatMap, SpectrumFollowsTheWindowBothWays) {
  fill({record("A", 10, 11)});
  layout_in(230, 200);
  EXPECT_EQ(10, layout.step_width);
  EXPECT_EQ(7, layout.step_width2);
  layout_in(800, 200);
  EXPECT_EQ(16, layout.step_width);
  EXPECT_EQ(12, layout.step_width2);
  EXPECT_EQ(400 - 11 * 16 - 8, layout.spectrum.left);
  EXPECT_EQ(200 - 26, layout.spectrum.top);
  EXPECT_EQ(layout.spectrum.top - 5, layout.map.bottom);
  // The slot under the pointer at the left shows the step painted there.
  EXPECT_EQ(0, layout.StepAt(layout.spectrum.left, layout.spectrum.top));
  EXPECT_EQ(22, CHeatMapLayout::StepInSlot(0));
}

TEST_F(HeatMap, SpectrumBoundsAndSteps) {
  fill({record("UP", 100, 110), record("DN", 100, 95), record("FLAT", 100, 100)});
  layout.ComputeValues();
  EXPECT_FLOAT_EQ(10.0001f, layout.steps[22].upper);
  EXPECT_FLOAT_EQ(-10.0023f, layout.steps[0].lower);
  float d = 20.0f / 23;
  EXPECT_FLOAT_EQ(-d / 2, layout.steps[11].lower);
  EXPECT_FLOAT_EQ(d / 2, layout.steps[11].upper);
  EXPECT_EQ(22, layout.StepOf(10));
  EXPECT_EQ(0, layout.StepOf(-10));
  EXPECT_EQ(11, layout.StepOf(0));
  EXPECT_EQ(-1, layout.StepOf(NAN));
  // Nothing to range over: every bound 0 but the widened ends; 0 is white.
  cells[0].flags = cells[1].flags = cells[2].flags = HEATMAP_EXCLUDED;
  layout.ComputeValues();
  EXPECT_FLOAT_EQ(0, layout.steps[5].lower);
  EXPECT_FLOAT_EQ(0.0001f, layout.steps[22].upper);
  EXPECT_FLOAT_EQ(-0.0023f, layout.steps[0].lower);
  EXPECT_EQ(11, layout.StepOf(0));
}

TEST_F(HeatMap, SortOrdersEmptySlotsAndNonNumbersLast) {
  mqt* a = record("AAA", 100, 101);
  mqt* b = record("BBB", 100, 105);
  mqt* c = record("CCC", 100, 101);
  mqt* n = record("NAN", 100, 100);
  n->pct_day_close = NAN;
  // Slots: empty, a, n, b, c.
  cells[1].record = a, cells[2].record = n, cells[3].record = b, cells[4].record = c;
  layout.SetCells(0, 5, cells);
  layout.ComputeValues();
  layout.Sort(HEATMAP_KEY_PCT_PREV_CLOSE);
  const mqt* want[] = {b, a, c, n, nullptr};  // ties keep their order
  for (int i = 0; i < 5; i++) EXPECT_EQ(want[i], cells[i].record) << i;

  layout.Sort(HEATMAP_KEY_NAME);
  EXPECT_EQ(a, cells[0].record);
  EXPECT_EQ(n, cells[3].record);
  EXPECT_EQ(nullptr, cells[4].record);
  layout.Sort(HEATMAP_KEY_LAST);
  EXPECT_EQ(b, cells[0].record);
  // A key outside the table sorts nothing.
  layout.Sort(99);
  EXPECT_EQ(b, cells[0].record);
}

TEST_F(HeatMap, CellColoursStrokeAndAlerts) {
  mqt* up = record("UP", 100, 110);
  mqt* dn = record("DN", 100, 90);
  mqt* ex = record("EX", 100, 150);
  mqt* al = record("AL", 100, 101);
  mqt* flat = record("FLAT", 100, 100);
  alert_rec alert{};
  alert.fired = 0x1;
  al->alert = &alert;
  fill({up, dn, ex, al, flat});
  cells[2].flags = HEATMAP_EXCLUDED;
  layout_in(600, 400);
  draw();
  EXPECT_EQ(RGB(32, 119, 17), cell_px(0));    // the top of the range: darkest green
  EXPECT_EQ(RGB(194, 27, 39), cell_px(1));    // the bottom: darkest red
  EXPECT_EQ(RGB(255, 255, 255), cell_px(2));  // excluded
  EXPECT_EQ(RGB(253, 240, 81), cell_px(3));   // a fired alert
  EXPECT_EQ(RGB(255, 255, 255), cell_px(4));  // no change
  // The excluded cell (150) stayed out of the range, and has its stroke.
  EXPECT_FLOAT_EQ(10.0001f, layout.steps[22].upper);
  const KvRect& t = cells[2].text;
  int sx = t.left + (t.right - t.left) * 9 / 10, sy = t.bottom - (t.bottom - t.top) * 9 / 10;
  int black = 0;
  for (int y = sy - 2; y <= sy + 2; y++)
    for (int x = sx - 2; x <= sx + 2; x++) black += px(x, y) == RGB(0, 0, 0);
  EXPECT_GT(black, 2) << "the stroke near the top-right corner";
  // Every drawn cell at or above 0 counts up, below 0 down (the excluded
  // one keeps its value slot: 0).
  EXPECT_EQ(3, layout.balance);
  // The bar is mirrored: the greens on the left.
  EXPECT_EQ(RGB(32, 119, 17), px(layout.spectrum.left + 2, layout.spectrum.top + 2));
  EXPECT_EQ(RGB(194, 27, 39), px(layout.spectrum.right - 3, layout.spectrum.top + 2));
  kv_save_png(image, QString::fromLatin1(KV_BINARY_DIR) + "/heatmap_layout.png");

  // Last price: every cell white.
  layout.Sort(HEATMAP_KEY_LAST);
  draw();
  for (int i = 0; i < 5; i++) {
    if (!(cells[i].record->alert)) {
      EXPECT_EQ(RGB(255, 255, 255), cell_px(i)) << i;
    }
  }
}

TEST_F(HeatMap, MiniChartsStayInsideTheirCell) {
  // Prices above 99999, and a flat series.
  mqt* big = record("BIG", 150000, 151000);
  mqt* flat = record("FLAT", 100, 100);
  for (int i = 0; i < 30; i++) {
    big->recent_bars[i].close = 150000 + 100 * (i % 7);
    flat->recent_bars[i].close = 100;
  }
  big->recent_count = flat->recent_count = 30;
  fill({big, flat});
  layout.options |= HEATMAP_MINI_CHARTS;
  layout_in(400, 300);
  ASSERT_FALSE(cells[0].chart.IsRectEmpty());
  draw();
  for (int i = 0; i < 2; i++) {
    const KvRect& ch = cells[i].chart;
    int ink = 0, outside = 0;
    for (int y = ch.top - 40; y < ch.bottom + 20; y++)
      for (int x = ch.left + 1; x < ch.right - 1; x++) {
        if (y < 0 || y >= image.height()) continue;
        bool line = px(x, y) == RGB(0, 0, 0) || px(x, y) == RGB(255, 255, 255);
        if (y >= ch.top && y < ch.bottom - 0 && line && px(x, y) != cell_px(i)) ink++;
        if (y < cells[i].cell.top && line) outside++;
      }
    EXPECT_GT(ink, 10) << i;
    EXPECT_EQ(0, outside) << i;
  }
  // The flat series lies on the chart's last row, nothing above it.
  const KvRect& fc = cells[1].chart;
  for (int x = fc.left + 2; x < fc.right - 2; x++) {
    EXPECT_EQ(RGB(0, 0, 0), px(x, fc.bottom - 1)) << x;
    EXPECT_EQ(cell_px(1), px(x, fc.bottom - 3)) << x;
  }
  // Excluded with a stale falling value: a white cell, its chart still black.
  cells[1].values[HEATMAP_SLOT_PCT_PREV_CLOSE] = -50;
  cells[1].flags |= HEATMAP_EXCLUDED;
  draw();
  EXPECT_EQ(RGB(255, 255, 255), cell_px(1));
  EXPECT_EQ(RGB(0, 0, 0), px(fc.left + fc.Width() / 2, fc.bottom - 1));
}

TEST_F(HeatMap, DailyRangesFromLinkedChartOrNone) {
  mqt* linked = record("LNK", 10, 11);
  mqt* empty = record("EMP", 10, 11);
  mqt* none = record("NON", 10, 11);
  chart_rec* c = new_chart("LNK", TU_DAILY);
  charts.push_back(c);
  c->header.bar_count = 2;
  c->bars[0].high = 12, c->bars[0].low = 10;
  c->bars[1].high = 15, c->bars[1].low = 11;
  linked->daily_charts = c;
  chart_rec* e = new_chart("EMP", TU_DAILY);
  charts.push_back(e);
  empty->daily_charts = e;
  fill({none, empty, linked});
  layout.Sort(HEATMAP_KEY_DAILY_RANGE);
  EXPECT_EQ(linked, cells[0].record);
  EXPECT_FLOAT_EQ(3, cells[0].values[HEATMAP_SLOT_DAILY_RANGE]);
  EXPECT_FLOAT_EQ(0, cells[1].values[HEATMAP_SLOT_DAILY_RANGE]);
  EXPECT_FLOAT_EQ(0, cells[2].values[HEATMAP_SLOT_DAILY_RANGE]);
  // A map of one symbol shows its range too once the key is chosen.
  std::fill(std::begin(cells), std::end(cells), HeatMapCell{});
  fill({linked});
  layout.Sort(HEATMAP_KEY_DAILY_RANGE);
  EXPECT_FLOAT_EQ(3, cells[0].values[HEATMAP_SLOT_DAILY_RANGE]);
  linked->daily_charts = empty->daily_charts = nullptr;
}

TEST_F(HeatMap, MarksAndChangesFromThem) {
  mqt* a = record("A", 100, 110, 105);
  fill({a});
  layout.options |= HEATMAP_SPARE;
  layout.SetMark(HEATMAP_MARK_PREV_CLOSE, 0);
  EXPECT_FLOAT_EQ(100, cells[0].mark_price);
  EXPECT_EQ(0u, layout.options & HEATMAP_SPARE);
  layout.SetMark(HEATMAP_MARK_OPEN, 0);
  EXPECT_FLOAT_EQ(105, cells[0].mark_price);
  layout.sort_key = HEATMAP_KEY_PCT_MARK;
  layout.ComputeValues();
  EXPECT_NEAR(100.0 * 5 / 105, cells[0].values[HEATMAP_SLOT_PCT_MARK], 1e-4);
  layout.SetMark(HEATMAP_MARK_NOW, 0);
  EXPECT_FLOAT_EQ(110, cells[0].mark_price);
  EXPECT_EQ(HEATMAP_MARK_NOW, cells[0].mark_type);
  layout.SetMark(7, 0);
  EXPECT_EQ(0, cells[0].mark_type);
  // A candle mark without a one-minute chart: price and change 0.
  layout.SetMark(HEATMAP_MARK_CANDLE, 1000);
  EXPECT_FLOAT_EQ(0, cells[0].mark_price);
}

TEST_F(HeatMap, SymbolAtAndPreferredSize) {
  fill({record("IBM", 1, 1), record("MSFT", 1, 1)});
  layout_in(400, 300);
  const KvRect& r = cells[1].cell;
  EXPECT_STREQ("MSFT", layout.SymbolAt(r.left + 1, r.top + 1, 0));
  EXPECT_STREQ("\"MSFT\"", layout.SymbolAt(r.left + 1, r.top + 1, 1));
  EXPECT_EQ(nullptr, layout.SymbolAt(-5, -5, 0));
  KvDC dc(&image);
  int a = (int)(1.5 * dc.GetTextExtent("XXXX").cx);
  KvSize s = layout.PreferredSize(dc);
  EXPECT_EQ(2 * a, s.cx);
  EXPECT_EQ(42 + a, s.cy);
}

}  // namespace
