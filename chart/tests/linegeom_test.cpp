// Line geometry: end points, parallels, strokes and placing stored lines on bars.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "chart/linegeom.h"
#include "chart/linerec.h"
#include "data/chart.h"
#include "platform/qt/test_harness.h"

namespace {

TEST(LineGeometry, PenStylesAndWidths) {
  struct Case {
    int style, wide, pen, width;
  } cases[] = {
      {0, 7, PS_SOLID, 1},   {1, 7, PS_DASH, 1},       {2, 3, PS_DOT, 1},
      {3, 3, PS_DASHDOT, 1}, {4, 3, PS_DASHDOTDOT, 1}, {5, 1, PS_SOLID, 2},
      {6, 4, PS_DASH, 4},    {9, 0, PS_DASHDOTDOT, 2}, {10, 9, PS_SOLID, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LineStylePen(c.style), c.pen) << c.style;
    EXPECT_EQ(LineStyleWidth(c.style, c.wide), c.width) << c.style;
  }
}

TEST(LineGeometry, EndPointsAcrossTheRectangle) {
  KvRect r(0, 0, 200, 100);
  KvPoint a, b;
  // Equal x spans top to bottom whatever the order of the points.
  Calc2PtInfinite(r, {50, 80}, {50, 20}, &a, &b);
  EXPECT_EQ(a.x, 50);
  EXPECT_EQ(a.y, 0);
  EXPECT_EQ(b.y, 100);
  Calc2PtInfinite(r, {10, 50}, {20, 40}, &a, &b);  // slope 1 upward
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(a.y, 60);
  EXPECT_EQ(b.x, 200);
  EXPECT_EQ(b.y, -140);
  // A ray from (50, 50) through (40, 60) ends on the left edge, below the start.
  Calc2PtRay(r, {50, 50}, {40, 60}, &a, &b);
  EXPECT_EQ(b.x, 0);
  EXPECT_EQ(b.y, 100);
  Calc2PtRay(r, {50, 50}, {50, 10}, &a, &b);
  EXPECT_EQ(b.y, 0);
  Calc1PtHor(r, 7, 33, &a, &b);
  EXPECT_EQ(a.x, 0);
  EXPECT_EQ(b.x, 200);
  EXPECT_EQ(b.y, 33);
}

TEST(LineGeometry, ParallelLinesAndSlopes) {
  int x1 = 0, y1 = 0, x2 = 100, y2 = 0;
  CalcParallelLine(&x1, &y1, &x2, &y2, 5);
  EXPECT_EQ(y1, 5);
  EXPECT_EQ(y2, 5);
  EXPECT_EQ(x1, 0);
  x1 = 0, y1 = 0, x2 = 100, y2 = 0;
  CalcParallelLine(&x1, &y1, &x2, &y2, -5);
  EXPECT_EQ(y1, -5);
  EXPECT_EQ(y2, -5);
  EXPECT_EQ(LineSlope({0, 0}, {10, 0}), 1.7976931348623157e308);
  EXPECT_DOUBLE_EQ(LineAngle({0, 0}, {0, 10}), -M_PI / 2);
  EXPECT_DOUBLE_EQ(LineAngle({0, 10}, {0, 0}), M_PI / 2);
  EXPECT_TRUE(PointInLineBand({0, 50}, {100, 50}, {50, 53}));
  EXPECT_FALSE(PointInLineBand({0, 50}, {100, 50}, {50, 56}));
}

TEST(LineGeometry, SequenceRestartsAtOne) {
  ResetLineSeq();
  EXPECT_EQ(NextLineSeq(), 1);
  EXPECT_EQ(NextLineSeq(), 2);
}

TEST(LineGeometry, WideDottedHorizontalLineGetsStrokesAboveAndBelow) {
  kv_test_app();
  QImage img(40, 200, QImage::Format_RGB32);
  img.fill(Qt::white);
  KvDC dc(&img);
  dc.SelectPen(KvPen(PS_DOT, 1, 0));
  dc.SetBkMode(TRANSPARENT);
  Draw2PtHor(dc, {0, 100}, {30, 100}, PS_DOT, 4);
  auto black_in_row = [&](int y) {
    for (int x = 0; x < 40; x++)
      if (kv_colorref_from_rgb(img.pixel(x, y)) == 0) return true;
    return false;
  };
  for (int y : {98, 99, 100, 101}) EXPECT_TRUE(black_in_row(y)) << y;
  for (int y : {97, 102}) EXPECT_FALSE(black_in_row(y)) << y;
}

TEST(LineGeometry, RecolouringABitmap) {
  kv_test_app();
  QImage img(4, 4, QImage::Format_RGB32);
  img.fill(kv_qcolor(0xFFFFFF));
  img.setPixel(1, 1, kv_rgb_from_colorref(0x0000FF));
  EXPECT_EQ(ReplaceBitmapColor(&img, 0xFFFFFF, 0x000000), 1);
  EXPECT_EQ(kv_colorref_from_rgb(img.pixel(0, 0)), 0u);
  EXPECT_EQ(kv_colorref_from_rgb(img.pixel(1, 1)), 0x0000FFu);
  EXPECT_EQ(ReplaceBitmapColor(nullptr, 0, 1), 0);
}

// Bars every 60 seconds from t0.
std::vector<chart_bar> minute_bars(int n, int t0 = 36000) {
  std::vector<chart_bar> bars(n);
  for (int i = 0; i < n; i++) bars[i].time = t0 + 60 * i;
  return bars;
}

TEST(LineGeometry, StoredLinesFindTheirBars) {
  std::vector<chart_bar> bars = minute_bars(10);
  struct Case {
    int type, time1, time2, bar1, bar2;
  } cases[] = {
      {ANNOT_HOR, 0, 0, 3, 8},             // the visible range
      {ANNOT_VER, 36000 + 120, 0, 2, 0},   // exact time
      {ANNOT_VER, 36000 + 150, 0, 2, 0},   // inside bar 2's minute
      {ANNOT_VER, 36000 + 999, 0, -1, 0},  // after the last bar
      {ANNOT_FINITE, 36000 + 60, 36000 + 300, 1, 5},
      {ANNOT_RAY, 36000 + 300, 36000 + 60, 5, 1},  // time 2 before time 1: searched from bar 0
      {ANNOT_INFINITE, 36000 + 60, 36000 + 9999, 1, 9},  // time 2 after the last bar: the last bar
      {ANNOT_CHANNEL, 36000 + 9999, 36000 + 120, -1, 2},
      {ANNOT_TEXT, 36000, 36000, -1, -1},
  };
  for (const Case& c : cases) {
    line_record l{};
    l.type = c.type;
    l.time1 = c.time1;
    l.time2 = c.time2;
    int b1 = 99, b2 = 99;
    FindLineBars(bars.data(), 10, 3, 8, 60, &l, &b1, &b2);
    EXPECT_EQ(b1, c.bar1) << "type " << c.type << " time " << c.time1;
    EXPECT_EQ(b2, c.bar2) << "type " << c.type << " time " << c.time2;
  }
  line_record v{};
  v.type = ANNOT_VER;
  int b1, b2;
  FindLineBars(bars.data(), 1, 0, 0, 60, &v, &b1, &b2);
  EXPECT_EQ(b1, -1);
  EXPECT_EQ(b2, 0);
}

TEST(LineGeometry, LineRecordFieldsRoundTripAndCarryTheRest) {
  uint8_t block[LINE_RECORD_SIZE];
  for (int i = 0; i < LINE_RECORD_SIZE; i++) block[i] = (uint8_t)(i * 13 + 5);
  line_record l;
  line_record_decode(block, &l);
  uint8_t out[LINE_RECORD_SIZE];
  memcpy(out, block, sizeof out);
  out[20] = 0;  // a named field changed by decode/encode must come back
  line_record_encode(&l, out);
  EXPECT_EQ(memcmp(out, block, sizeof out), 0);
}

}  // namespace
