// The numeric core that study libraries reach through the callback table:
// bar values by price code, moving averages over float series, regression.
#include <gtest/gtest.h>

#include <cmath>

#include "data/tests/status_capture.h"
#include "platform/locks.h"
#include "study_fixture.h"

TEST(StudyCore, BarValueByPriceCode) {
  chart_bar bars[2] = {};
  bars[0].close = 3;
  chart_bar &b = bars[1];
  b.open = 1;
  b.high = 4;
  b.low = 0.5f;
  b.close = 2;
  b.volume = 10;
  b.extra = 30;
  const struct {
    int code;
    double want;
  } cases[] = {
      {1, 1},       {2, 4},       {3, 0.5}, {4, 2},   {5, 2.25}, {6, 6.5 / 3},
      {7, 8.5 / 4}, {8, 6.5 / 3},                                 // no price in the extra word
      {9, 10},      {10, 30},     {11, 3},  {12, 30}, {14, 3.5},  // high - low beats high - 3 and 3
                                                                  // - low
      {13, 0},      {15, 0},      {0, 0},   {99, 0},
  };
  for (auto &c : cases) EXPECT_DOUBLE_EQ(bar_price_value(&b, c.code), c.want) << "code " << c.code;

  bars[0].close = 6;  // gap down: previous close - low is the largest
  EXPECT_DOUBLE_EQ(bar_price_value(&b, PRICE_TRUE_RANGE), 5.5);

  b.volume = 0;  // no volume: no ratio
  EXPECT_EQ(bar_price_value(&b, PRICE_OI_PER_VOLUME), 0);
}

TEST(StudyCore, VolumeWeightedPriceOnlyInsideTheBar) {
  chart_bar b = {};
  b.high = 4;
  b.low = 1;
  b.close = 4;
  b.flags = 0x1000000;
  b.vwap = 2.5f;
  EXPECT_DOUBLE_EQ(bar_price_value(&b, PRICE_VWAP), 2.5);
  b.vwap = 4.5f;
  EXPECT_DOUBLE_EQ(bar_price_value(&b, PRICE_VWAP), 3);
  b.vwap = 2.5f;
  b.flags = 0;
  EXPECT_DOUBLE_EQ(bar_price_value(&b, PRICE_VWAP), 3);
}

TEST(StudyCore, SourceValue) {
  test_chart c(8);
  c.add(5, 7, 4, 6);
  for (int i = 1; i < 6; i++) c.add(6, 9, 8, 8.5f);
  StudyDef t = study_template(STUDY_SMA, 2, 4, 0, 0, 1);
  test_study ts(t, 8, compute_moving_average);
  compute_moving_average(c.chart(), ts.s, 1);
  kv_lock guard(g_chart_lock);
  EXPECT_DOUBLE_EQ(study_source_value(c.chart(), ts.s, 0, PRICE_TRUE_RANGE), 3);
  EXPECT_DOUBLE_EQ(study_source_value(c.chart(), ts.s, 5, PRICE_TRUE_RANGE), 1);
  EXPECT_DOUBLE_EQ(study_source_value(c.chart(), ts.s, 1, PRICE_TRUE_RANGE),
                   3);  // 9 - previous close 6
  EXPECT_DOUBLE_EQ(study_source_value(c.chart(), ts.s, 3, PRICE_STUDY), 8.5);
  EXPECT_TRUE(study_is_missing(study_source_value(c.chart(), ts.s, 0, PRICE_STUDY)));
  EXPECT_DOUBLE_EQ(study_source_value(c.chart(), ts.s, 2, PRICE_HIGH), 9);
}

TEST(StudyCore, MovingAverageOfASeries) {
  const float in[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  float out[8];
  const struct {
    int method, period, start;
    float want[8];
  } cases[] = {
      {MA_SIMPLE, 3, 2, {0, 0, 2, 3, 4, 5, 6, 7}},
      {MA_SIMPLE, 3, 5, {0, 0, 0, 0, 0, 5, 6, 7}},  // later start: window sums built from before it
      {MA_WEIGHTED, 3, 2, {0, 0, 14 / 6.f, 20 / 6.f, 26 / 6.f, 32 / 6.f, 38 / 6.f, 44 / 6.f}},
      {MA_TRIANGULAR, 4, 4, {0, 0, 0, 0, 3, 4, 5, 6}},
      {MA_EXPONENTIAL, 3, 3, {0, 0, 2.25f, 3.125f, 4.0625f, 5.03125f, 6.015625f, 7.0078125f}},
  };
  for (auto &c : cases) {
    for (float &o : out) o = 0;
    EXPECT_EQ(study_moving_average(out, in, c.start, 0, 8, c.method, c.period), 1);
    for (int i = 0; i < 8; i++) {
      if (c.method == MA_EXPONENTIAL && i < c.period - 1)
        EXPECT_TRUE(study_is_missing(out[i])) << i;
      else if (c.method != MA_EXPONENTIAL && i < c.start)
        EXPECT_EQ(out[i], 0) << "method " << c.method << " slot " << i << " written before start";
      else
        EXPECT_FLOAT_EQ(out[i], c.want[i]) << "method " << c.method << " slot " << i;
    }
  }
}

TEST(StudyCore, MovingAverageSkipsLeadingMissingInputs) {
  const float in[6] = {MISSING_VALUE, MISSING_VALUE, 2, 4, 6, 8};
  float out[6] = {};
  EXPECT_EQ(study_moving_average(out, in, 0, 2, 6, MA_EXPONENTIAL, 3), 1);
  EXPECT_TRUE(study_is_missing(out[0]));
  EXPECT_TRUE(study_is_missing(out[1]));
  EXPECT_TRUE(study_is_missing(out[2]));
  EXPECT_TRUE(study_is_missing(out[3]));
  EXPECT_FLOAT_EQ(out[4], 4.5f);  // 2, then 3, then 4.5
  EXPECT_FLOAT_EQ(out[5], 6.25f);
}

// Window averages started right after the missing lead-in (as a library
// smoothing its own first values does) stay exact further on: the missing
// values never pass through the running sums.
TEST(StudyCore, WindowAveragesStartAtTheFirstValidInput) {
  float in[40];
  for (int i = 0; i < 40; i++) in[i] = i < 3 ? MISSING_VALUE : 100.0f + (i % 7);
  for (int method : {MA_SIMPLE, MA_WEIGHTED, MA_TRIANGULAR}) {
    SCOPED_TRACE(method);
    float whole[40], tail[40];
    EXPECT_EQ(study_moving_average(whole, in + 3, 0, 0, 37, method, 4), 1);
    EXPECT_EQ(study_moving_average(tail, in, 3, 3, 40, method, 4), 1);
    for (int i = 3; i < 40; i++) {
      if (study_is_missing(whole[i - 3]))
        EXPECT_TRUE(study_is_missing(tail[i])) << i;
      else
        EXPECT_FLOAT_EQ(tail[i], whole[i - 3]) << i;
    }
  }
}

TEST(StudyCore, MovingAverageRefusesAnUnknownMethod) {
  StatusCapture cap;
  float in[4] = {1, 2, 3, 4}, out[4] = {7, 7, 7, 7};
  EXPECT_EQ(study_moving_average(out, in, 0, 0, 4, 4, 2), 0);
  EXPECT_TRUE(cap.saw("Bad average method"));
  EXPECT_EQ(study_moving_average(out, in, 0, 0, 0, MA_SIMPLE, 2), 1);
  EXPECT_EQ(out[0], 7);  // count 0 writes nothing
}

TEST(StudyCore, RegressionLineAndChannel) {
  test_chart c(8);
  // closes on 2x + 1 for x = 1..5, each bar 1 above and 0.5 below its close
  for (int x = 1; x <= 5; x++) c.add(0, 2.f * x + 2, 2.f * x + 0.5f, 2.f * x + 1);
  double slope = 0;
  kv_lock guard(g_chart_lock);
  double a = study_linear_regression(c.chart(), 0, 4, PRICE_CLOSE, &slope);
  EXPECT_NEAR(slope, 2, 1e-12);
  EXPECT_NEAR(a, 1, 1e-12);
  double mx = 0, rms = 0;
  a = study_regression_channel(c.chart(), 0, 4, PRICE_CLOSE, &slope, &mx, &rms);
  EXPECT_NEAR(a, 1, 1e-12);
  EXPECT_NEAR(mx, 1, 1e-12);
  EXPECT_NEAR(rms, 1, 1e-12);
  // one bar has no slope; the line runs flat through its price
  a = study_linear_regression(c.chart(), 2, 2, PRICE_CLOSE, &slope);
  EXPECT_EQ(slope, 0);
  EXPECT_DOUBLE_EQ(a, 7);
}

TEST(StudyCore, CallbackTableOrder) {
  EXPECT_EQ(g_study_callbacks.bar_price_value, &bar_price_value);
  EXPECT_EQ(g_study_callbacks.study_source_value, &study_source_value);
  EXPECT_EQ(g_study_callbacks.study_moving_average, &study_moving_average);
  EXPECT_EQ(g_study_callbacks.study_linear_regression, &study_linear_regression);
  EXPECT_EQ(g_study_callbacks.study_regression_channel, &study_regression_channel);
  EXPECT_EQ(g_study_callbacks.find_or_create_study, &find_or_create_study);
}
