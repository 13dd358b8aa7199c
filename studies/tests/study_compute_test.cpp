// Each built-in study against values worked out by hand from its formula:
// warm-up slots, seeding, smoothing, and the edge cases of each family.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <initializer_list>
#include <random>
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

namespace {

// The formulas bar by bar in doubles, each as its plain definition: the
// references for long runs, which take sums and smoothings four bars at a
// time.  ref[i] is the value of bar i, NaN where the study has none.
struct long_input {
  std::vector<double> close, high, low;
  const float *other = nullptr;  // the study's series 2 (%D: the %K)
};
using ref_fn = void (*)(const long_input &in, const StudyDef &t, std::vector<double> &ref);

void ref_sma(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  const std::vector<double> &x = in.close;
  int n = t.period;
  for (size_t i = n - 1; i < x.size(); i++) {
    double s = 0;
    for (int k = 0; k < n; k++) s += x[i - k];
    ref[i] = s / n;
  }
}

// The exponential average of x from bar `seed` on (its first value x[seed]).
void ema(const std::vector<double> &x, int n, size_t seed, std::vector<double> &out) {
  double k = 2.0 / (n + 1), s = x[seed];
  for (size_t i = seed; i < x.size(); i++) {
    if (i > seed) s = k * x[i] + (1 - k) * s;
    out[i] = s;
  }
}

void ref_ema(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  std::vector<double> e(in.close.size());
  ema(in.close, t.period, 0, e);
  for (size_t i = t.period - 1; i < e.size(); i++) ref[i] = e[i];
}

void ref_wma(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  const std::vector<double> &x = in.close;
  int n = t.period;
  for (size_t i = n - 1; i < x.size(); i++) {
    double s = 0;
    for (int k = 0; k < n; k++) s += (n - k) * x[i - k];
    ref[i] = s / (n * (n + 1) / 2.0);
  }
}

void ref_tma(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  const std::vector<double> &x = in.close;
  int m = (t.period + 2) / 2;
  for (size_t i = 2 * m - 2; i < x.size(); i++) {
    double s = 0;
    for (int k = 0; k < 2 * m - 1; k++) s += (k < m ? k + 1 : 2 * m - 1 - k) * x[i - k];
    ref[i] = s / ((double)m * m);
  }
}

// Window mean and population deviation, then by the study's p1 and p2:
// the deviation itself, the band, %B (smoothed when p1 is above 1) or the
// bandwidth, chosen by `kind` 0-3.
template <int kind>
void ref_deviation(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  const std::vector<double> &x = in.close;
  int n = t.period;
  double smooth = 0, c = 2.0 / (t.p1 + 1);
  bool smoothing = false;
  for (size_t i = n - 1; i < x.size(); i++) {
    double sum = 0, sq = 0;
    for (int k = 0; k < n; k++) sum += x[i - k];
    double mean = sum / n;
    for (int k = 0; k < n; k++) sq += (x[i - k] - mean) * (x[i - k] - mean);
    double sd = std::sqrt(sq / n), k = kind == 1 ? t.p2 : std::fabs(t.p2);
    double upper = mean + k * sd, lower = mean - k * sd;
    if (kind == 0) ref[i] = sd;
    if (kind == 1) ref[i] = upper;
    if (kind == 3) ref[i] = (upper - lower) / mean * 100;
    if (kind == 2 && upper != lower) {
      double b = (x[i] - lower) / (upper - lower) * 100;
      smooth = !(t.p1 > 1) ? b : smoothing ? c * b + (1 - c) * smooth : b;
      smoothing = true;
      ref[i] = smooth;
    }
  }
}

// MACD from bar p2 - 1; with `signal` its average over p3 from there.
template <bool signal>
void ref_macd(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  size_t count = in.close.size(), slow_n = (size_t)t.p2, sig_n = (size_t)t.p3;
  std::vector<double> fast(count), slow(count), m(count);
  ema(in.close, t.period, 0, fast);
  ema(in.close, (int)slow_n, 0, slow);
  for (size_t i = 0; i < count; i++) m[i] = fast[i] - slow[i];
  if (signal) ema(m, (int)sig_n, slow_n - 1, m);
  for (size_t i = signal ? sig_n + slow_n - 2 : slow_n - 1; i < count; i++) ref[i] = m[i];
}

// RSI: gains and losses of the last n changes.
void ref_rsi(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  const std::vector<double> &x = in.close;
  int n = t.period;
  for (size_t i = n; i < x.size(); i++) {
    double up = 0, down = 0;
    for (int k = 0; k < n; k++) {
      double d = x[i - k] - x[i - k - 1];
      (d > 0 ? up : down) += std::fabs(d);
    }
    ref[i] = up + down > 0 ? 100 * up / (up + down) : 50;
  }
}

// VHF: the window's range of n prices against its summed n changes.
void ref_vhf(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  const std::vector<double> &x = in.close;
  int n = t.period;
  for (size_t i = n; i < x.size(); i++) {
    double hi = x[i], lo = x[i], moves = 0;
    for (int k = 0; k < n; k++) {
      hi = std::max(hi, x[i - k]);
      lo = std::min(lo, x[i - k]);
      moves += std::fabs(x[i - k] - x[i - k - 1]);
    }
    ref[i] = moves > 0 ? std::fabs(hi - lo) / moves : NAN;
  }
}

// The variable average: an exponential average over n whose factor is
// scaled by the window's efficiency ratio (series 2 with `ratio`).
template <bool ratio>
void ref_vma(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  const std::vector<double> &x = in.close;
  int n = t.period;
  double s = x[0];
  for (size_t i = 1; i < x.size(); i++) {
    double a = 2.0 / (n + 1), er = NAN;
    if ((int)i >= n) {
      double hi = x[i], lo = x[i], moves = 0;
      for (int k = 0; k < n; k++) {
        hi = std::max(hi, x[i - k]);
        lo = std::min(lo, x[i - k]);
        moves += std::fabs(x[i - k] - x[i - k - 1]);
      }
      if (moves > 0) er = (hi - lo) / moves;
      if (er > 0) a *= er;
    }
    s = a * x[i] + (1 - a) * s;
    if ((int)i >= n) ref[i] = ratio ? er : s * t.p2;
  }
}

// %K: the close (or the median of the last three) in the range of the
// window's highs and lows, smoothed over p1 when p1 is beyond 1 either way.
void ref_stoch_k(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  int n = t.period, ip = (int)std::fabs(t.p1);
  double f = 2 / std::max(std::fabs(t.p1) + 1, 2.0), s = 0;
  for (size_t i = n - 1; i < in.close.size(); i++) {
    double hh = in.high[i], ll = in.low[i], v = in.close[i];
    for (int k = 0; k < n; k++) {
      hh = std::max(hh, in.high[i - k]);
      ll = std::min(ll, in.low[i - k]);
    }
    if (t.p1 < 0 && i >= 2) {
      double a = in.close[i - 2], b = in.close[i - 1];
      v = std::max(std::min(a, b), std::min(std::max(a, b), v));
    }
    double raw = hh != ll ? (v - ll) / (hh - ll) * 100 : 50;
    s = (int)i == n - 1 ? raw : (1 - f) * s + f * raw;
    if ((int)i >= std::max(ip, 1) + n - 2) ref[i] = s;
  }
}

// %D: the study's own %K series (series 2, checked as %K above) averaged by
// the study's method over p2, shown from p2 bars past the first %K.
void ref_stoch_d(const long_input &in, const StudyDef &t, std::vector<double> &ref) {
  int n = t.period, ip = (int)std::fabs(t.p1), dn = (int)t.p2;
  size_t first = std::max(ip, 1) + n - 2, count = in.close.size();
  long_input k;
  for (size_t i = first; i < count; i++) k.close.push_back(in.other[i]);
  StudyDef a = t;
  a.period = dn;
  std::vector<double> avg(k.close.size(), NAN);
  const ref_fn by_method[4] = {ref_sma, ref_ema, ref_wma, ref_tma};
  by_method[t.method](k, a, avg);
  for (size_t i = first + dn; i < count; i++) ref[i] = avg[i - first];
}

struct long_case {
  const char *what;
  StudyDef t;
  ref_fn ref;
  double level = 4000;  // the price level of the differences in the study
  int series = 0;
};

}  // namespace

// Long runs take their running sums and smoothings four bars at a time, in
// another order than the formula's bar by bar: over a long chart with
// prices far from zero, moves small and large, every value is the
// formula's (worked bar by bar in doubles) to within one unit in the last
// place of its float, plus 1e-12 of the level of the values it is made
// from (the prices; 100 for an oscillator), for a difference near zero.
// The doubles' own rounding is some 1e-16 of that level: a float's last
// place is 6e-8 of the value.
TEST(StudyValues, LongRunsEqualTheFormulasBarByBar) {
  const int count = 6000;
  test_chart c(count);
  std::mt19937 rng(17);
  std::uniform_real_distribution<float> step(-1.0f, 1.0f);
  float price = 4000;
  long_input in;
  for (int i = 0; i < count; i++) {
    float open = price;
    // calm and lively stretches, and flat ones where every window is flat
    int regime = i / 500 % 4;
    if (regime != 3) price += step(rng) * (regime == 1 ? 40.0f : 0.5f);
    float hi = regime == 3 ? price : std::max(open, price) + 0.25f;
    float lo = regime == 3 ? price : std::min(open, price) - 0.25f;
    c.add(regime == 3 ? price : open, hi, lo, price, 1000 + (int)(rng() % 9000));
    in.close.push_back(price);
    in.high.push_back(hi);
    in.low.push_back(lo);
  }
  const long_case cases[] = {
      {"simple average", T(STUDY_SMA, 50, 4, 0, 0, 1), ref_sma},
      {"simple average of 3", T(STUDY_SMA, 3, 4, 0, 0, 1), ref_sma},
      {"exponential average", T(STUDY_EMA, 50, 4, 0, 0, 1), ref_ema},
      {"exponential average of 2", T(STUDY_EMA, 2, 4, 0, 0, 1), ref_ema},
      {"weighted average", T(STUDY_WMA, 50, 4, 0, 0, 1), ref_wma},
      {"weighted average of 5", T(STUDY_WMA, 5, 4, 0, 0, 1), ref_wma},
      {"triangular average", T(STUDY_TMA, 50, 4, 0, 0, 1), ref_tma},
      {"triangular average of 4", T(STUDY_TMA, 4, 4, 0, 0, 1), ref_tma},
      {"standard deviation", T(STUDY_STDDEV, 50, 4, 0, 0, 1), ref_deviation<0>},
      {"upper band", T(STUDY_BB_UPPER, 20, 4, 0, 1, 2), ref_deviation<1>},
      {"lower band", T(STUDY_BB_LOWER, 20, 4, 0, 1, -2), ref_deviation<1>},
      {"%B", T(STUDY_BB_PERCENT, 20, 4, 0, 1, 2), ref_deviation<2>, 100},
      {"%B smoothed", T(STUDY_BB_PERCENT, 20, 4, 0, 3, 2), ref_deviation<2>, 100},
      {"bandwidth", T(STUDY_BB_WIDTH, 20, 4, 0, 1, 2), ref_deviation<3>, 100},
      {"MACD", T(STUDY_MACD, 12, 4, 0, 0, 26), ref_macd<false>},
      {"MACD signal line", T(STUDY_MACD_SIGNAL, 12, 4, 0, 0, 26, 9), ref_macd<true>},
      {"RSI", T(STUDY_RSI, 14, 4, 0, 0, 0), ref_rsi, 100},
      {"VHF", T(STUDY_VHF, 28, 4, 0, 0, 0), ref_vhf, 1},
      {"%K", T(STUDY_STOCH_K, 10, 4, 0, 1, 0), ref_stoch_k, 100},
      {"%K smoothed", T(STUDY_STOCH_K, 10, 4, 0, 3, 0), ref_stoch_k, 100},
      {"%K of the median", T(STUDY_STOCH_K, 7, 4, 0, -2, 0), ref_stoch_k, 100},
      {"%D simple", T(STUDY_STOCH_D, 10, 4, 0, 3, 10), ref_stoch_d, 100},
      {"%D exponential", T(STUDY_STOCH_D, 10, 4, 1, 1, 5), ref_stoch_d, 100},
      {"%D weighted", T(STUDY_STOCH_D, 8, 4, 2, -2, 4), ref_stoch_d, 100},
      {"%D triangular", T(STUDY_STOCH_D, 8, 4, 3, 1, 6), ref_stoch_d, 100},
      {"variable average", T(STUDY_VMA, 50, 4, 0, 0, 1), ref_vma<false>},
      {"variable average's efficiency", T(STUDY_VMA, 50, 4, 0, 0, 1), ref_vma<true>, 1, 1},
  };
  for (const long_case &lc : cases) {
    SCOPED_TRACE(lc.what);
    StudyComputeFn fn = study_compute_for_type(lc.t.type);
    test_study ts(lc.t, count, fn);
    fn(c.chart(), ts.s, 1);
    std::vector<double> ref(count, NAN);
    in.other = study_output_count(ts.s) > 1 ? study_series(ts.s, 1) : nullptr;
    lc.ref(in, lc.t, ref);
    int checked = 0;
    for (int i = 0; i < count; i++) {
      if (std::isnan(ref[i])) {
        ASSERT_TRUE(study_is_missing(ts.at(i, lc.series))) << "slot " << i << ": " << ts.at(i);
        continue;
      }
      float want = (float)ref[i];
      double ulp = std::nextafter(std::fabs(want), INFINITY) - std::fabs(want);
      ASSERT_LE(std::fabs(ts.at(i, lc.series) - ref[i]), ulp + lc.level * 1e-12)
          << "slot " << i << ": " << ts.at(i, lc.series) << " vs " << ref[i];
      checked++;
    }
    EXPECT_GT(checked, count / 2);
  }
}
