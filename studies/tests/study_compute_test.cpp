// Each built-in study against values worked out by hand from its formula:
// warm-up slots, seeding, smoothing, and the edge cases of each family.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <initializer_list>
#include <vector>

#include "studies/study_types.h"
#include "study_fixture.h"

namespace {

constexpr float M = MISSING_VALUE;

struct bar_in {
  float high, low, close;
  int volume;
};

struct value_case {
  const char *what;
  StudyDef t;
  std::vector<bar_in> bars;  // empty: use closes with high = low = close
  std::vector<float> closes;
  std::vector<float> expect;   // series 1
  std::vector<float> expect2;  // series 2 when given
};

StudyDef T(int type, int period, int price, int method, double p1, double p2, double p3 = 0) {
  return study_template(type, period, price, method, p1, p2, p3);
}

std::vector<bar_in> ramp_hl(std::initializer_list<float> closes) {
  std::vector<bar_in> v;
  for (float c : closes) v.push_back({c + 1, c - 1, c, 0});
  return v;
}

const double sd3 = 0.816496580927726;  // population deviation of 1, 2, 3

std::vector<value_case> cases() {
  return {
      {"simple average", T(STUDY_SMA, 3, 4, 0, 0, 1), {}, {1, 2, 3, 4, 5}, {M, M, 2, 3, 4}, {}},
      {"simple average, multiplier",
       T(STUDY_SMA, 3, 4, 0, 0, 2),
       {},
       {1, 2, 3, 4, 5},
       {M, M, 4, 6, 8},
       {}},
      {"simple average on exactly its period",
       T(STUDY_SMA, 3, 4, 0, 0, 1),
       {},
       {1, 2, 3},
       {M, M, 2},
       {}},
      {"exponential average seeds at bar 0",
       T(STUDY_EMA, 3, 4, 0, 0, 1),
       {},
       {1, 2, 3, 4, 5},
       {M, M, 2.25f, 3.125f, 4.0625f},
       {}},
      {"weighted average",
       T(STUDY_WMA, 3, 4, 0, 0, 1),
       {},
       {1, 2, 3, 4, 5},
       {M, M, 14 / 6.f, 20 / 6.f, 26 / 6.f},
       {}},
      {"triangular average, period 4: weights 1 2 3 2 1",
       T(STUDY_TMA, 4, 4, 0, 0, 1),
       {},
       {1, 2, 3, 4, 5, 6},
       {M, M, M, M, 3, 4},
       {}},
      {"triangular average, period 5 is the same",
       T(STUDY_TMA, 5, 4, 0, 0, 1),
       {},
       {1, 2, 3, 4, 5, 6},
       {M, M, M, M, 3, 4},
       {}},
      {"variable average and efficiency ratio",
       T(STUDY_VMA, 2, 4, 0, 0, 1),
       {},
       {1, 2, 3, 2},
       {M, M, 2.1111111f, 2.0740741f},
       {M, M, 0.5f, 0.5f}},
      {"standard deviation",
       T(STUDY_STDDEV, 3, 4, 0, 0, 5),
       {},
       {1, 2, 3, 4, 5},
       {M, M, (float)sd3, (float)sd3, (float)sd3},
       {}},
      {"upper band",
       T(STUDY_BB_UPPER, 3, 4, 0, 1, 2),
       {},
       {1, 2, 3, 4, 5},
       {M, M, (float)(2 + 2 * sd3), (float)(3 + 2 * sd3), (float)(4 + 2 * sd3)},
       {}},
      {"midline is the simple average",
       T(STUDY_BB_MID, 3, 4, 0, 1, 0),
       {},
       {1, 2, 3, 4, 5},
       {M, M, 2, 3, 4},
       {}},
      {"lower band",
       T(STUDY_BB_LOWER, 3, 4, 0, 1, -2),
       {},
       {1, 2, 3, 4, 5},
       {M, M, (float)(2 - 2 * sd3), (float)(3 - 2 * sd3), (float)(4 - 2 * sd3)},
       {}},
      {"%B unsmoothed; a flat window has no %B",
       T(STUDY_BB_PERCENT, 3, 4, 0, 1, 2),
       {},
       {1, 2, 3, 3, 3},
       {M, M, 80.618622f, 67.677670f, M},
       {}},
      {"%B smoothed over 3 starts with the raw value",
       T(STUDY_BB_PERCENT, 3, 4, 0, 3, -2),
       {},
       {1, 2, 3, 3, 3},
       {M, M, 80.618622f, 74.148146f, M},
       {}},
      {"bandwidth",
       T(STUDY_BB_WIDTH, 3, 4, 0, 1, 2),
       {},
       {1, 2, 3, 4, 5},
       {M, M, 163.29932f, 108.86621f, 81.649658f},
       {}},
      {"bandwidth of a zero mean", T(STUDY_BB_WIDTH, 2, 4, 0, 1, 2), {}, {-1, 1}, {M, M}, {}},
      {"MACD",
       T(STUDY_MACD, 2, 4, 0, 0, 3),
       {},
       {1, 2, 3, 4, 5},
       {M, M, 0.30555556f, 0.39351852f, 0.44367284f},
       {}},
      {"MACD signal line",
       T(STUDY_MACD_SIGNAL, 2, 4, 0, 0, 3, 2),
       {},
       {1, 2, 3, 4, 5},
       {M, M, M, 0.36419753f, 0.41718107f},
       {}},
      {"%K",
       T(STUDY_STOCH_K, 3, 4, 0, 1, 0),
       ramp_hl({1, 2, 3, 2, 1}),
       {},
       {M, M, 75, 33.333333f, 25},
       {}},
      {"%K smoothed over 3",
       T(STUDY_STOCH_K, 3, 4, 0, 3, 0),
       ramp_hl({1, 2, 3, 2, 1}),
       {},
       {M, M, M, M, 39.583333f},
       {}},
      {"%K of the median of three prices",
       T(STUDY_STOCH_K, 3, 4, 0, -3, 0),
       ramp_hl({1, 2, 3, 2, 1}),
       {},
       {M, M, M, M, 45.833333f},
       {}},
      {"%K of a flat window is 50",
       T(STUDY_STOCH_K, 2, 4, 0, 1, 0),
       {},
       {5, 5, 5},
       {M, 50, 50},
       {}},
      {"%K of negative prices", T(STUDY_STOCH_K, 3, 4, 0, 1, 0), {}, {-5, -7, -6}, {M, M, 50}, {}},
      {"%D",
       T(STUDY_STOCH_D, 3, 4, 0, 1, 2),
       ramp_hl({1, 2, 3, 2, 1}),
       {},
       {M, M, M, M, 29.166667f},
       {M, M, 75, 33.333333f, 25}},
      {"RSI", T(STUDY_RSI, 3, 4, 0, 0, 0), {}, {1, 2, 3, 2, 4}, {M, M, M, 66.666667f, 75}, {}},
      {"RSI of a rising window", T(STUDY_RSI, 2, 4, 0, 0, 0), {}, {1, 2, 3}, {M, M, 100}, {}},
      {"RSI of an unchanged window", T(STUDY_RSI, 2, 4, 0, 0, 0), {}, {2, 2, 2}, {M, M, 50}, {}},
      {"CCI", T(STUDY_CCI, 3, 4, 0, 0, 0), {}, {1, 2, 3, 5}, {M, M, 100, 100}, {}},
      {"CCI of a flat window", T(STUDY_CCI, 3, 4, 0, 0, 0), {}, {2, 2, 2}, {M, M, M}, {}},
      {"VHF", T(STUDY_VHF, 3, 4, 0, 0, 0), {}, {1, 2, 3, 2, 4}, {M, M, M, 1 / 3.f, 0.5f}, {}},
      {"VHF of an unchanged window", T(STUDY_VHF, 2, 4, 0, 0, 0), {}, {2, 2, 2}, {M, M, M}, {}},
      {"on balance volume",
       T(STUDY_OBV, 2, 0, 0, 0, 0),
       {{1, 1, 1, 10}, {2, 2, 2, 20}, {1, 1, 1, 30}, {1, 1, 1, 40}, {3, 3, 3, 50}},
       {},
       {M, M, -10, -30, 50},
       {}},
      {"price volume trend; a zero close adds nothing",
       T(STUDY_PVT, 2, 0, 0, 0, 0),
       {{1, 1, 1, 10}, {2, 2, 2, 20}, {1, 1, 1, 30}, {0, 0, 0, 40}, {3, 3, 3, 50}},
       {},
       {M, M, 5, -55, -40},
       {}},
      {"accumulation/distribution; a flat bar adds nothing",
       T(STUDY_AD_LINE, 0, 0, 0, 0, 0),
       {{2, 0, 2, 10}, {2, 0, 0, 10}, {1, 1, 1, 10}, {4, 0, 3, 8}},
       {},
       {10, 0, 0, 4},
       {}},
      {"Chaikin oscillator",
       T(STUDY_CHAIKIN, 0, 0, 0, 0, 0),
       {{2, 0, 2, 10},
        {2, 0, 0, 10},
        {2, 0, 1, 5},
        {2, 0, 2, 4},
        {2, 0, 2, 6},
        {2, 0, 0, 2},
        {2, 0, 2, 3},
        {2, 0, 1, 1},
        {2, 0, 2, 5},
        {2, 0, 0, 7},
        {2, 0, 2, 2}},
       {},
       {M, M, M, M, M, M, M, M, M, 2.7236206f, 2.2253096f},
       {}},
      {"relative volume",
       T(STUDY_REL_VOLUME, 2, 0, 0, 0, 0),
       {{1, 1, 1, 10}, {1, 1, 1, 30}, {1, 1, 1, 10}, {1, 1, 1, 10}},
       {},
       {M, 150, 50, 100},
       {M, 150, 50, 100}},
      {"relative volume smoothed over 2",
       T(STUDY_REL_VOLUME, 2, 0, 0, 2, 0),
       {{1, 1, 1, 10}, {1, 1, 1, 30}, {1, 1, 1, 10}, {1, 1, 1, 10}},
       {},
       {M, M, 100, 75},
       {M, 150, 50, 100}},
      {"average volume",
       T(STUDY_AVG_VOLUME, 2, 0, 0, 0, 0),
       {{1, 1, 1, 10}, {1, 1, 1, 30}, {1, 1, 1, 20}},
       {},
       {M, 20, 25},
       {}},
  };
}

void load(test_chart &c, const value_case &vc) {
  if (!vc.bars.empty()) {
    for (const bar_in &b : vc.bars) c.add(b.close, b.high, b.low, b.close, b.volume);
  } else {
    for (float v : vc.closes) c.add_close(v);
  }
}

void expect_series(const test_study &ts, int series, const std::vector<float> &want,
                   const char *what) {
  for (size_t i = 0; i < want.size(); i++) {
    float got = ts.at((int)i, series);
    if (study_is_missing(want[i]))
      EXPECT_TRUE(study_is_missing(got))
          << what << " series " << series + 1 << " slot " << i << ": " << got;
    else
      EXPECT_NEAR(got, want[i], 1e-4 * std::max(1.0f, std::fabs(want[i])))
          << what << " series " << series + 1 << " slot " << i;
  }
}

}  // namespace

TEST(StudyValues, HandWorkedValues) {
  for (const value_case &vc : cases()) {
    test_chart c(16);
    load(c, vc);
    StudyComputeFn fn = study_compute_for_type(vc.t.type);
    ASSERT_NE(fn, nullptr) << vc.what;
    test_study ts(vc.t, 16, fn);
    EXPECT_EQ(fn(c.chart(), ts.s, 1), 1) << vc.what;
    expect_series(ts, 0, vc.expect, vc.what);
    if (!vc.expect2.empty()) expect_series(ts, 1, vc.expect2, vc.what);
  }
}

TEST(StudyValues, MidlineEqualsSimpleAverage) {
  test_chart c(200);
  for (int i = 0; i < 200; i++) c.add_close(100 + 7.25f * std::sin(i * 0.3f));
  test_study mid(T(STUDY_BB_MID, 20, 4, 0, 1, 0), 200, compute_bollinger);
  test_study sma(T(STUDY_SMA, 20, 4, 0, 0, 1), 200, compute_moving_average);
  compute_bollinger(c.chart(), mid.s, 1);
  compute_moving_average(c.chart(), sma.s, 1);
  for (int i = 0; i < 200; i++) EXPECT_EQ(mid.at(i), sma.at(i)) << i;
}

TEST(StudyValues, SimpleAverageShorterChartStaysMissing) {
  test_chart c(16);
  for (int i = 0; i < 9; i++) c.add_close((float)i);
  test_study ts(T(STUDY_SMA, 10, 4, 0, 0, 1), 16, compute_moving_average);
  compute_moving_average(c.chart(), ts.s, 1);
  for (int i = 0; i < 16; i++) EXPECT_TRUE(study_is_missing(ts.at(i))) << i;
  c.add_close(9);
  compute_moving_average(c.chart(), ts.s, 0);
  for (int i = 0; i < 9; i++) EXPECT_TRUE(study_is_missing(ts.at(i))) << i;
  EXPECT_FLOAT_EQ(ts.at(9), 4.5f);
}

TEST(StudyValues, TrueRangeOfTheFirstBarIsItsRange) {
  test_chart c(8);
  c.add(5, 7, 4, 6);
  c.add(6, 8, 7, 7.5f);  // gap: previous close 6 below the low
  test_study ts(T(STUDY_SMA, 1, PRICE_TRUE_RANGE, 0, 0, 1), 8, compute_moving_average);
  compute_moving_average(c.chart(), ts.s, 1);
  EXPECT_FLOAT_EQ(ts.at(0), 3);
  EXPECT_FLOAT_EQ(ts.at(1), 2);
}

// A bar without volume has no open interest per volume; the averages over
// that price recover once the bar leaves their window.
TEST(StudyValues, ZeroVolumeBarLeavesTheAverageWindow) {
  test_chart c(8);
  for (int i = 0; i < 6; i++) c.add_close(10, i == 1 ? 0 : 100).extra = 50;
  for (int method : {MA_SIMPLE, MA_WEIGHTED, MA_TRIANGULAR}) {
    test_study ts(T(STUDY_SMA + method, 2, PRICE_OI_PER_VOLUME, 0, 0, 1), 8,
                  compute_moving_average);
    compute_moving_average(c.chart(), ts.s, 1);
    EXPECT_FLOAT_EQ(ts.at(5), 0.5f) << "method " << method;
  }
}

// Periods below 1 (below 2 where a deviation is taken) and parameters that
// are not numbers give missing values, never reads outside the bars.
TEST(StudyValues, BadParametersGiveMissingOutput) {
  const double nan = std::nan("");
  const StudyDef bad[] = {
      T(STUDY_SMA, 0, 4, 0, 0, 1),
      T(STUDY_EMA, -3, 4, 0, 0, 1),
      T(STUDY_WMA, 0, 4, 0, 0, 1),
      T(STUDY_TMA, -1, 4, 0, 0, 1),
      T(STUDY_VMA, 0, 4, 0, 0, 1),
      T(STUDY_STDDEV, 1, 4, 0, 0, 1),
      T(STUDY_BB_UPPER, 1, 4, 0, 1, 2),
      T(STUDY_BB_PERCENT, 0, 4, 0, 1, 2),
      T(STUDY_BB_WIDTH, -5, 4, 0, 1, 2),
      T(STUDY_MACD, 12, 4, 0, 0, nan),
      T(STUDY_MACD, 0, 4, 0, 0, 26),
      T(STUDY_MACD_SIGNAL, 12, 4, 0, 0, 26, nan),
      T(STUDY_MACD_SIGNAL, 12, 4, 0, 0, -26, 9),
      T(STUDY_STOCH_K, 0, 4, 0, 1, 0),
      T(STUDY_STOCH_K, -2, 4, 0, -1, 0),
      T(STUDY_STOCH_D, 5, 4, 0, 1, nan),
      T(STUDY_STOCH_D, 5, 4, 9, 1, 3),
      T(STUDY_RSI, 0, 4, 0, 0, 0),
      T(STUDY_CCI, -1, 4, 0, 0, 0),
      T(STUDY_VHF, 0, 4, 0, 0, 0),
      T(STUDY_OBV, 0, 0, 0, 0, 0),
      T(STUDY_PVT, -1, 0, 0, 0, 0),
      T(STUDY_REL_VOLUME, 0, 0, 0, nan, 0),
      T(STUDY_NET_VOLUME_RATIO, 0, 0, 0, 0, 0),
      T(STUDY_AVG_VOLUME, 0, 0, 0, 0, 0),
  };
  test_chart c(40);
  for (int i = 0; i < 30; i++) c.add(10.f + i, 12.f + i, 9.f + i, 11.f + i, 100 + i);
  for (const StudyDef &t : bad) {
    StudyComputeFn fn = study_compute_for_type(t.type);
    test_study ts(t, 40, fn);
    fn(c.chart(), ts.s, 1);
    int series = study_output_count(&t);
    // %D with a bad average still has its %K series
    if (t.type == STUDY_STOCH_D && t.period > 0) series = 1;
    for (int k = 0; k < series; k++)
      for (int i = 0; i < 40; i++)
        EXPECT_TRUE(study_is_missing(ts.at(i, k)))
            << std::hex << t.type << std::dec << " slot " << i;
  }
}

// Periods and parameters at the ends of their ranges (from a stored layout)
// neither overflow nor read outside the bars.
TEST(StudyValues, ExtremePeriodsAndParameters) {
  test_chart c(40, 5);
  for (int i = 0; i < 30; i++)
    c.add(10.f + i, 12.f + i, 9.f + i, 11.f + i, 100 + i, 20000 * 86400 + i * 300);
  for (int i = 0; i < g_study_type_count; i++) {
    const study_type_entry &e = g_study_types[i];
    if (e.series == 0) continue;
    for (int period : {INT_MAX, INT_MIN, 5})
      for (double q : {2e9, -2e9, 1e300, -1e300}) {
        test_study ts(T(e.type, period, 4, 3, q, q, q), 40, e.compute);
        e.compute(c.chart(), ts.s, 1);
        e.compute(c.chart(), ts.s, 0);
        for (int k = 0; k < e.series; k++)
          for (int j = 0; j < 30; j++) {
            float v = ts.at(j, k);
            EXPECT_TRUE(std::isfinite(v) && (v == MISSING_VALUE || v > -1e19f))
                << e.what << " " << period;
          }
      }
  }
  float in[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, out[10];
  for (int method = MA_SIMPLE; method <= MA_TRIANGULAR; method++) {
    ASSERT_EQ(study_moving_average(out, in, 0, 0, 10, method, INT_MAX), 1);
    for (float v : out) EXPECT_TRUE(study_is_missing(v)) << "method " << method;
  }
}

// Flat bars, zero volume and zero prices: every output of every study is a
// finite number or missing.
TEST(StudyValues, OutputsAreFiniteOrMissing) {
  test_chart c(80, 5);
  for (int i = 0; i < 70; i++) {
    float p = i < 35 ? 0.f : 3.f;
    chart_bar &b =
        c.add(p, p, p, p, i % 3 ? 0 : 10, (20000 + i / 10) * 86400 + 34200 + (i % 10) * 300);
    b.extra = 0;
  }
  for (int i = 0; i < g_study_type_count; i++) {
    const study_type_entry &e = g_study_types[i];
    if (e.series == 0) continue;
    StudyDef t = T(e.type, 5, e.type == STUDY_CCI ? 6 : 4, 0, 3, 2, 3);
    test_study ts(t, 80, e.compute);
    e.compute(c.chart(), ts.s, 1);
    for (int k = 0; k < e.series; k++)
      for (int j = 0; j < 70; j++) {
        float v = ts.at(j, k);
        EXPECT_TRUE(std::isfinite(v) && (v == MISSING_VALUE || v > -1e19f))
            << e.what << " series " << k + 1 << " slot " << j << ": " << v;
      }
  }
}
