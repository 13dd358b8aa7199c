// The line editor driven with points on a real pane container: drawing,
// storing, reshaping, parallel copies, deleting, snapping, the notice for
// too many lines, and the stored records through the price file.
#include "chart/tests/annot_fixture.h"

#include <fcntl.h>

#include <cmath>
#include <cstring>

#include "chart/linegeom.h"
#include "chart/linerec.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/drawdefs.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "res/resource.h"
#include "studies/study.h"

namespace {

class Annot : public ChartFixture {
 protected:
  void SetUp() override {
    ChartFixture::SetUp();
    draw_defaults dd;
    draw_defaults_builtin(&dd);
    dd.feedback_color = 0x00FF00;
    dd.wide_width = 3;
    draw_defaults_encode(&dd, g_settings.PrefDrawDef);
    draw = {ANNOT_DRAWING_ON | (ANNOT_FINITE << ANNOT_KIND_SHIFT), 0x0000FF, 0, 77, 0};
    ResetLineSeq();
    annot.SetChartData(&chart_ptr);
    annot.pane = &pane;
    annot.settings = &s;
    annot.view_flags = &view_flags;
    annot.draw = &draw;
    annot.spacing_ref = &pane.panes[0].candle_def;
    annot.backing = &image;
    paint();
  }
  // The view's paint: panes, then the editor's steps.
  void paint() {
    paint_panes();
    pane.getChartDataRect(1, &annot.area);
    annot.InitLines();
    KvDC dc(&image);
    annot.DrawSelection(dc);
    annot.DrawButton(dc, KvRect(0, 0, image.width(), image.height()));
  }
  void kind(int k) { draw.flags = ANNOT_DRAWING_ON | (uint32_t)k << ANNOT_KIND_SHIFT; }
  // A user's drag from one point to another, then a click elsewhere to keep it.
  void drag(int x1, int y1, int x2, int y2) {
    annot.OnMouseMove(x1, y1);
    ASSERT_EQ(annot.OnLButtonDown(x1, y1), 1);
    annot.OnMouseMove((x1 + x2) / 2, (y1 + y2) / 2);
    annot.OnMouseMove(x2, y2);
    ASSERT_EQ(annot.OnLButtonUp(x2, y2), 1);
  }
  void click_empty() {
    int x = annot.area.left + 3, y = annot.area.top + 3;
    annot.OnMouseMove(x, y);
    annot.OnLButtonDown(x, y);
    annot.OnLButtonUp(x, y);
  }
  std::vector<line_record> stored() {
    std::vector<line_record> out;
    for (chart_extension* e = chart.rec.extensions; e; e = e->next) {
      line_record l;
      line_record_decode(e->block, &l);
      out.push_back(l);
    }
    return out;
  }
  chart_extension* add_stored(int type, int b1, float p1, int b2, float p2) {
    chart_extension* e = add_chart_extension(&chart.rec);
    line_record l{};
    l.kind = 1, l.type = type, l.color = 0xFF00FF, l.width = 1, l.seq = (uint32_t)NextLineSeq();
    l.time1 = chart.rec.bars[b1].time, l.price1 = p1;
    l.time2 = chart.rec.bars[b2].time, l.price2 = p2;
    line_record_encode(&l, e->block);
    return e;
  }

  annot_draw_state draw{};
  CKvAnnotView annot;
};

TEST_F(Annot, DrawnLineIsStoredWithItsFieldsSurvivesThePriceFileAndIsDrawnByThePane) {
  draw.style = 6;  // dashed, wide form
  int x1 = x_of(10), y1 = y_of(30), x2 = x_of(40), y2 = y_of(38);
  drag(x1, y1, x2, y2);
  // Accepted and selected, but not stored until the user clicks elsewhere.
  EXPECT_EQ(annot.SelectedLine(), 0);
  EXPECT_EQ(chart_extension_count(&chart.rec), 0);
  click_empty();
  ASSERT_EQ(chart_extension_count(&chart.rec), 1);
  EXPECT_TRUE(chart.rec.header.flags & CHART_EXT_CHANGED);
  line_record l = stored()[0];
  EXPECT_EQ(l.kind, 1);
  EXPECT_EQ(l.flags, 0);
  EXPECT_EQ(l.seq, 1u);
  EXPECT_EQ(l.time1, chart.rec.bars[10].time);
  EXPECT_EQ(l.time2, chart.rec.bars[40].time);
  EXPECT_EQ(y_of(l.price1), y1);
  EXPECT_EQ(y_of(l.price2), y2);
  EXPECT_EQ(l.color, 0x0000FFu);
  EXPECT_EQ(l.style, 6);
  EXPECT_EQ(l.type, ANNOT_FINITE);
  EXPECT_EQ(l.width, 3);
  EXPECT_EQ(l.draw_value, 77);
  EXPECT_STREQ(l.name, "2Pt Finite Line");
  // Byte layout of the stored block.
  const uint8_t* b = chart.rec.extensions->block;
  EXPECT_EQ(b[4], 1);
  EXPECT_EQ(b[44], ANNOT_FINITE);
  EXPECT_EQ(std::string((const char*)b + 56), "2Pt Finite Line");

  // The stored line brings the annotation button; a press on it is the view's.
  paint();
  QImage button = kv_res_bitmap(IDB_ANNOT_BUTTON);
  EXPECT_EQ(px(image.width() - 61 + 7, image.height() - 15 + 7),
            kv_colorref_from_rgb(button.pixel(7, 7)));
  EXPECT_EQ(annot.IsOverButton(image.width() - 55, image.height() - 5), 1);
  EXPECT_EQ(annot.OnLButtonDown(image.width() - 55, image.height() - 5), 1);
  EXPECT_EQ(annot.OnLButtonUp(image.width() - 55, image.height() - 5), 1);
  EXPECT_EQ(chart_extension_count(&chart.rec), 1);

  // Through the price file and back, then drawn by the pane.
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
  kv_make_dirs(root_.file("DATA").c_str(), nullptr);
  snprintf(chart.rec.header.symbol, sizeof chart.rec.header.symbol, "LINES");
  chart.rec.header.flags |= CHART_FORCE_WRITE | CHART_BARS_CHANGED;
  ASSERT_EQ(write_chart_file(&chart.rec), 0);
  int fd = open(root_.file("DATA/LINES.dyd").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  chart_rec* back = alloc_chart_rec();
  ASSERT_EQ(read_chart_header(back, fd), 1);
  ASSERT_EQ(read_chart_body(back, fd, TU_DAILY, "LINES.dyd"), nullptr);
  ASSERT_EQ(back->header.ext_count, 1);
  EXPECT_EQ(memcmp(back->extensions->block + 4, chart.rec.extensions->block + 4,
                   CHART_EXTENSION_SIZE - 4),
            0);
  chart_ptr = back;
  s.display_flags = 0;
  paint_panes();
  // A dashed line: some pixels along its middle stretch are its colour.
  int hits = 0;
  for (int bar = 20; bar <= 30; bar++) {
    int x = x_of(bar), y = y_of(l.price1 + (l.price2 - l.price1) * (bar - 10) / 30.0);
    for (int dy = -2; dy <= 2; dy++) hits += px(x, y + dy) == 0x0000FFu;
  }
  EXPECT_GT(hits, 3);
  chart_ptr = chart.chart();
  free(back->axis_marks);
  back->axis_marks = nullptr;
  destroy_chart(back);
}

TEST_F(Annot, AClickOutsideTheAreaKeepsALineJustPlacedAndDropsOneBeingDrawn) {
  int x = x_of(10), y = y_of(30);
  int ox = annot.area.right + 5, oy = annot.area.top + 10;  // on the price labels
  ASSERT_LT(ox, image.width());
  // Drawn, then a click on the labels: stored, nothing selected.
  drag(x, y, x_of(30), y_of(36));
  ASSERT_EQ(annot.SelectedLine(), 0);
  EXPECT_EQ(annot.OnLButtonDown(ox, oy), 0);
  EXPECT_EQ(annot.OnLButtonUp(ox, oy), 0);
  EXPECT_EQ(annot.SelectedLine(), -1);
  ASSERT_EQ(chart_extension_count(&chart.rec), 1);
  EXPECT_EQ(stored()[0].time2, chart.rec.bars[30].time);
  // Released outside while still being drawn: dropped.
  annot.OnLButtonDown(x, y_of(40));
  annot.OnMouseMove(x_of(30), y_of(40));
  EXPECT_EQ(annot.OnLButtonUp(ox, oy), 0);
  EXPECT_EQ(annot.SelectedLine(), -1);
  EXPECT_EQ(chart_extension_count(&chart.rec), 1);
}

TEST_F(Annot, ATwoPointLineNeedsTwentyPixelsInOneDirection) {
  struct {
    int dx, dy;
    int kept;
  } cases[] = {{19, 19, 0}, {20, 0, 1}, {0, 20, 1}, {-20, 5, 1}, {3, -19, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dx << "," << c.dy);
    annot.ResetLine(0);
    int x = x_of(20), y = y_of(35);
    drag(x, y, x + c.dx, y + c.dy);
    EXPECT_EQ(annot.SelectedLine(), c.kept ? 0 : -1);
    EXPECT_EQ(annot.HasCapture(), false);
  }
}

TEST_F(Annot, RubberBandTwiceRestoresAndHandlesPutBackWhatTheyCovered) {
  QImage before = image.copy();
  int x1 = x_of(5), y1 = y_of(26), x2 = x_of(30);
  annot.OnLButtonDown(x1, y1);
  annot.OnMouseMove(x2, y_of(40));
  EXPECT_NE(image, before);  // the band is on the image
  annot.OnMouseMove(x2 + 14, y_of(33));
  annot.OnMouseMove(x2 + 14, y_of(33));  // no move: nothing drawn
  {
    KvDC dc(&image);
    annot.InvertLine(dc);  // the band once more: gone
  }
  EXPECT_EQ(image, before);
  // Accepted: drawn, with handles over it; erasing them gives back the line.
  annot.OnLButtonUp(x2 + 14, y_of(33));
  ASSERT_EQ(annot.State() & 0x01, 0x01);
  QImage with_handles = image.copy();
  KvRect h = annot.Slot(0).from_handle;
  ASSERT_FALSE(h.IsRectEmpty());
  EXPECT_EQ(px(h.left + 1, h.top + 1), 0x000000u);  // black squares on white
  {
    KvDC dc(&image);
    annot.EraseHandles(dc);
  }
  {
    KvDC dc(&image);
    annot.DrawLine(dc);
  }
  QImage plain = image.copy();
  {
    KvDC dc(&image);
    annot.DrawHandles(dc);
    annot.EraseHandles(dc);
  }
  EXPECT_EQ(image, plain);
  EXPECT_EQ(annot.State() & 0x01, 0);
}

TEST_F(Annot, ParallelCopyTakesANewSequenceAndTheOtherFields) {
  kind(ANNOT_HOR);
  int y = y_of(30);
  drag(x_of(10), y, x_of(10), y);
  click_empty();
  ASSERT_EQ(chart_extension_count(&chart.rec), 1);
  paint();
  // Select the stored line, then copy it 20 pixels lower.
  int x = x_of(25);
  annot.OnMouseMove(x, y);
  annot.OnLButtonDown(x, y);
  annot.OnLButtonUp(x, y);
  ASSERT_EQ(annot.SelectedLine(), 1);
  view_flags |= VIEW_PARALLEL_MODE;
  annot.OnLButtonDown(x, y + 20);
  EXPECT_FALSE(view_flags & VIEW_PARALLEL_MODE);
  std::vector<line_record> ls = stored();
  ASSERT_EQ(ls.size(), 2u);
  EXPECT_EQ(ls[0].seq, 1u);
  EXPECT_EQ(ls[1].seq, 2u);
  EXPECT_EQ(ls[1].type, ANNOT_HOR);
  EXPECT_EQ(ls[1].color, ls[0].color);
  EXPECT_STREQ(ls[1].name, "Hor Line");
  EXPECT_EQ(y_of(ls[1].price1), y + 20);
  EXPECT_EQ(ls[0].flags, 0);  // the original is no longer marked selected
  EXPECT_EQ(ls[1].flags, 0);
}

TEST_F(Annot, NinetyNineLinesShowNinetyEightAndTheNoticeComesOnce) {
  for (int i = 0; i < 99; i++) add_stored(ANNOT_HOR, 1, 20 + i * 0.1f, 1, 20 + i * 0.1f);
  for (int k = 0; k < 3; k++) paint();
  EXPECT_EQ(annot.LineCount(), 99);  // slots 1..98
  EXPECT_EQ(recorded_ui::notices(), std::vector<std::string>{"Too many lines"});
  // Back to 98: quiet; past 98 again: once more.
  delete_chart_extension(&chart.rec, chart.rec.extensions);
  paint();
  EXPECT_EQ(recorded_ui::notices().size(), 1u);
  add_stored(ANNOT_HOR, 1, 40, 1, 40);
  add_stored(ANNOT_HOR, 1, 41, 1, 41);
  paint();
  paint();
  EXPECT_EQ(recorded_ui::notices().size(), 2u);
  // The default service posts: the box shows after the paint, not in it.
  chart_ui_install({nullptr, recorded_ui::move});
  add_stored(ANNOT_HOR, 1, 42, 1, 42);
  paint();
  EXPECT_TRUE(services_.boxes.empty());
  kv_pump_events(0);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "Too many lines");
}

TEST_F(Annot, ASelectedLineKeepsItsPricesOverAnotherPane) {
  show({CONTENT_PRICE, CONTENT_VOLUME});
  paint();
  add_stored(ANNOT_FINITE, 10, 28, 40, 38);
  paint();
  int x = x_of(25), y = y_of(28 + 10 * 15 / 30.0);
  annot.OnMouseMove(x, y);
  annot.OnLButtonDown(x, y);
  annot.OnLButtonUp(x, y);
  ASSERT_EQ(annot.SelectedLine(), 1);
  // The pointer rests in the volume pane while the window repaints.
  view_flags = (view_flags & ~7u) | 1;
  for (int k = 0; k < 3; k++) paint();
  EXPECT_EQ(y_of(annot.WorkLine().price1), y_of(28));
  EXPECT_EQ(y_of(annot.WorkLine().price2), y_of(38));
  click_empty();  // commit
  line_record l = stored()[0];
  EXPECT_EQ(y_of(l.price1), y_of(28));
  EXPECT_EQ(y_of(l.price2), y_of(38));
  EXPECT_EQ(l.time1, chart.rec.bars[10].time);
}

TEST_F(Annot, ALineWithAnEndOutOfSightKeepsItsBarsAndPricesWhenSelected) {
  // 120 bars, scrolled so that bar 20 is the first one shown.
  for (int i = 60; i < 120; i++)
    chart.add(20 + i * 0.5f, 22 + i * 0.5f, 18 + i * 0.5f, 21 + i * 0.5f, 1000);
  KvScrollInfo si;
  si.min = 0, si.max = 119, si.page = 70, si.pos = 20;
  owner->SetScrollInfo(si, false);
  paint();
  ASSERT_EQ(s.m_nFirst, 20);
  // From bar 5 at 20 (left of the area and below its prices) to bar 60 at 50.
  add_stored(ANNOT_FINITE, 5, 20, 60, 50);
  paint();
  ASSERT_LT(x_of(5), annot.area.left);
  ASSERT_GT(y_of(20), annot.area.bottom);
  int x = x_of(40), y = y_of(20 + 30.0 * 35 / 55);
  annot.OnMouseMove(x, y);
  annot.OnLButtonDown(x, y);
  annot.OnLButtonUp(x, y);
  ASSERT_EQ(annot.SelectedLine(), 1);
  for (int k = 0; k < 3; k++) paint();  // each paint commits the selection
  click_empty();
  line_record l = stored()[0];
  EXPECT_EQ(l.time1, chart.rec.bars[5].time);
  EXPECT_EQ(l.time2, chart.rec.bars[60].time);
  EXPECT_EQ(y_of(l.price1), y_of(20));
  EXPECT_EQ(y_of(l.price2), y_of(50));
}

TEST_F(Annot, ChannelStoresTheRegressionAndNeedsTwoBars) {
  kind(ANNOT_CHANNEL);
  // Both points on one bar (the bar is 7 pixels wide, the drag 20 pixels high).
  int x = x_of(20) - 3;
  drag(x, y_of(40), x + 6, y_of(40) + 25);
  EXPECT_EQ(annot.SelectedLine(), -1);
  drag(x_of(10), y_of(45), x_of(40), y_of(20));
  click_empty();
  ASSERT_EQ(chart_extension_count(&chart.rec), 1);
  line_record l = stored()[0];
  double slope, rms;
  double a;
  {
    kv_lock guard(g_chart_lock);
    a = study_regression_channel(&chart.rec, 10, 40, 4, &slope, nullptr, &rms);
  }
  EXPECT_FLOAT_EQ(l.price1, (float)(a + slope * 1));
  EXPECT_FLOAT_EQ(l.price2, (float)(a + slope * 31));
  EXPECT_FLOAT_EQ(l.channel_dev, (float)rms);
  EXPECT_TRUE(std::isfinite(l.price1));
}

TEST_F(Annot, DraggingARaysOriginKeepsItsDirection) {
  kind(ANNOT_RAY);
  int x1 = x_of(10), y1 = y_of(30), x2 = x_of(30), y2 = y_of(40);
  drag(x1, y1, x2, y2);
  click_empty();
  paint();
  // Select it, then drag its from handle to bar 15.
  annot.OnMouseMove(x_of(20), y_of(35));
  annot.OnLButtonDown(x_of(20), y_of(35));
  annot.OnLButtonUp(x_of(20), y_of(35));
  ASSERT_EQ(annot.SelectedLine(), 1);
  int nx = x_of(15), ny = y_of(31);
  annot.OnMouseMove(x1, y1);
  annot.OnLButtonDown(x1, y1);
  annot.OnMouseMove(nx, ny);
  annot.OnLButtonUp(nx, ny);
  click_empty();
  line_record l = stored()[0];
  EXPECT_EQ(l.time1, chart.rec.bars[15].time);  // the origin moved
  EXPECT_EQ(l.time2, chart.rec.bars[30].time);  // still through the old point 2
  EXPECT_EQ(y_of(l.price2), y2);
  EXPECT_EQ(l.flags & LINE_FLAG_SWAPPED, 0);
}

TEST_F(Annot, DeleteAndEraseAllRemoveStoredLinesAndRestartTheSequence) {
  add_stored(ANNOT_FINITE, 10, 28, 40, 38);
  add_stored(ANNOT_HOR, 5, 45, 5, 45);
  paint();
  EXPECT_EQ(annot.DeleteSelectedLine(), 0);  // nothing selected
  annot.OnMouseMove(x_of(30), y_of(45));
  annot.OnLButtonDown(x_of(30), y_of(45));
  annot.OnLButtonUp(x_of(30), y_of(45));
  ASSERT_EQ(annot.SelectedLine(), 2);
  EXPECT_EQ(annot.DeleteSelectedLine(), 1);
  ASSERT_EQ(chart_extension_count(&chart.rec), 1);
  EXPECT_EQ(stored()[0].type, ANNOT_FINITE);
  annot.EraseAllLines();
  EXPECT_EQ(chart_extension_count(&chart.rec), 0);
  EXPECT_EQ(NextLineSeq(), 1);
}

TEST_F(Annot, TheSelectionFollowsItsRecordWhenTheChainChanges) {
  chart_extension* first = add_stored(ANNOT_FINITE, 10, 28, 40, 38);
  add_stored(ANNOT_HOR, 5, 45, 5, 45);
  paint();
  annot.OnMouseMove(x_of(30), y_of(45));
  annot.OnLButtonDown(x_of(30), y_of(45));
  ASSERT_EQ(annot.SelectedLine(), 2);
  // Another window of the chart deletes the first line.
  delete_chart_extension(&chart.rec, first);
  paint();
  EXPECT_EQ(annot.SelectedLine(), 1);
  // Delete removes the selected record, not its neighbour.
  annot.OnLButtonUp(x_of(30), y_of(45));
  EXPECT_EQ(annot.DeleteSelectedLine(), 1);
  EXPECT_EQ(chart_extension_count(&chart.rec), 0);
}

TEST_F(Annot, TheMiddleHandleMovesTheWholeLine) {
  add_stored(ANNOT_FINITE, 10, 28, 30, 36);
  add_stored(ANNOT_HOR, 5, 45, 5, 45);
  paint();
  int mx = (x_of(10) + x_of(30)) / 2, my = (y_of(28) + y_of(36)) / 2;
  annot.OnMouseMove(mx, my);
  annot.OnLButtonDown(mx, my);
  annot.OnLButtonUp(mx, my);
  ASSERT_EQ(annot.SelectedLine(), 1);
  int dy = y_of(33) - y_of(28);  // 5 price units up
  annot.OnMouseMove(mx, my);
  ASSERT_EQ(annot.OnLButtonDown(mx, my), 1);
  annot.OnMouseMove(mx + 14, my + dy / 2);
  annot.OnMouseMove(mx + 14, my + dy);  // two bars right
  ASSERT_EQ(annot.OnLButtonUp(mx + 14, my + dy), 1);
  click_empty();
  line_record l = stored()[0];
  EXPECT_EQ(l.time1, chart.rec.bars[12].time);
  EXPECT_EQ(l.time2, chart.rec.bars[32].time);
  EXPECT_EQ(y_of(l.price1), y_of(28) + dy);
  EXPECT_EQ(y_of(l.price2), y_of(36) + dy);
  // A horizontal line follows the pointer's price.
  paint();
  int hx = x_of(40), hy = y_of(45);
  annot.OnMouseMove(hx, hy);
  annot.OnLButtonDown(hx, hy);
  annot.OnLButtonUp(hx, hy);
  ASSERT_EQ(annot.SelectedLine(), 2);
  KvRect mid = annot.Slot(0).mid_handle;
  ASSERT_FALSE(mid.IsRectEmpty());
  int cx = (mid.left + mid.right) / 2, cy = (mid.top + mid.bottom) / 2;
  annot.OnMouseMove(cx, cy);
  annot.OnLButtonDown(cx, cy);
  annot.OnMouseMove(cx, y_of(40));
  annot.OnLButtonUp(cx, y_of(40));
  click_empty();
  EXPECT_EQ(y_of(stored()[1].price1), y_of(40));
}

TEST(AnnotSnap, TicksAndBarPrices) {
  struct {
    double p, tick, want;
  } ticks[] = {{10.125, 0.25, 10.0},
               {10.13, 0.25, 10.25},
               {10.0, 0.25, 10.0},
               {7.3, 0, 7.3},
               {7.3, -1, 7.3}};
  for (const auto& c : ticks) EXPECT_DOUBLE_EQ(annot_snap_to_tick(c.p, c.tick), c.want) << c.p;
  chart_bar bar{}, prev{};
  bar.open = 10, bar.high = 14, bar.low = 9, bar.close = 12;
  prev.high = 11, prev.low = 9, prev.close = 10;
  // Exactly between open and close: the close wins.
  EXPECT_DOUBLE_EQ(annot_snap_to_bar(&bar, &prev, 11, SNAP_OPEN | SNAP_CLOSE), 12);
  EXPECT_DOUBLE_EQ(annot_snap_to_bar(&bar, &prev, 13.9, SNAP_OPEN | SNAP_LOW), 10);
  EXPECT_DOUBLE_EQ(annot_snap_to_bar(&bar, &prev, 13.9, 0), 13.9);
  EXPECT_DOUBLE_EQ(annot_snap_to_bar(&bar, nullptr, 13.9, SNAP_VWAP), 10);  // first bar: its open
}

TEST_F(Annot, SnappingMovesThePointerAndNeedsATick) {
  draw.snap = SNAP_PRICE | SNAP_HIGH;
  int x = x_of(20), y = y_of(31.5);
  int snapped = annot.SnapPoint(x, y);
  EXPECT_EQ(snapped, y_of(chart.rec.bars[20].high));
  ASSERT_EQ(recorded_ui::moves().size(), 1u);
  EXPECT_EQ(recorded_ui::moves()[0], snapped - y);
  // Tick snapping without a live-quote record: the point stays.
  draw.snap = SNAP_TICK;
  EXPECT_EQ(annot.SnapPoint(x, y), y);
  EXPECT_EQ(recorded_ui::moves().size(), 1u);
}

}  // namespace
