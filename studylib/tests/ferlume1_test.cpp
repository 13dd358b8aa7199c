// Ferlume1 loaded as the program loads it, through the host: what it
// describes of its 18 studies, each study against values worked by hand
// on small charts, and each computed bar by bar as a live chart grows
// against one computation from the first bar.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/locks.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "studies/study.h"
#include "studies/studylib_host.h"
#include "studies/tests/study_fixture.h"

namespace {

const char *const kLib = "Ferlume1";

class Ferlume1 : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    clear_study_dlls();
    snprintf(g_study_lib_dir, sizeof g_study_lib_dir, "%s", KV_BINARY_DIR "/bin/Ferlumes");
  }
  void TearDown() override {
    clear_study_dlls();
    g_study_lib_dir[0] = 0;
    TempRootTest::TearDown();
  }
};

// A library study of the chart, bound and computed by the engine.
StudyDef *lib_study(test_chart &c, int index, int period, int price, int method, double p1 = 0,
                    double p2 = 0, double p3 = 0, double p4 = 0) {
  return find_or_create_study(c.chart(), STUDY_LIBRARY, kLib, index, period, price, method, p1, p2,
                              p3, p4);
}

// Chart A: rising with one dip.  True ranges 2, 3, 2, 3; buying pressure
// 1, 2, 0, 2; closes 9, 10, 11, 10, 12.
void chart_a(test_chart &c) {
  c.add(9, 10, 8, 9);
  c.add(10, 11, 9, 10);
  c.add(10, 12, 9, 11);
  c.add(11, 12, 10, 10);
  c.add(10, 13, 11, 12);
}

// Chart B: up, down twice, up, inside bar.
void chart_b(test_chart &c) {
  c.add(9, 10, 8, 9);
  c.add(9, 12, 9, 11);
  c.add(11, 11, 7, 8);
  c.add(8, 10, 6, 7);
  c.add(7, 13, 9, 12);
  c.add(12, 12, 10, 11);
}

constexpr float M = MISSING_VALUE;

struct hand_case {
  const char *what;
  char chart;  // 'A' or 'B'
  int index, period, price, method;
  double p1, p2, p3;
  int series;
  std::vector<float> want;
};

const hand_case kHand[] = {
    {"UOSC 1/2/3", 'A', 0, 1, 0, 0, 2, 3, 0, 0, {M, M, M, 17.551020f, 56.666667f}},
    {"UOSC medium longest", 'A', 0, 1, 0, 0, 3, 2, 0, 0, {M, M, M, 17.959184f, 58.095238f}},
    {"CVI 2", 'A', 1, 2, 4, 0, 0, 0, 0, 0, {M, M, M, 11.111111f, -22.222222f}},
    {"CVI 2 ema", 'A', 1, 2, 4, 0, 0, 0, 0, 1, {M, 2, 2.6666667f, 2.2222222f, 2.0740741f}},
    {"ATR 2 simple", 'A', 2, 2, 0, 0, 0, 0, 0, 0, {M, M, 2.5f, 2.5f, 2.5f}},
    {"ATR 2 exponential", 'A', 2, 2, 0, 1, 0, 0, 0, 0, {M, M, 2.6666667f, 2.2222222f, 2.7407407f}},
    {"ATR true range", 'A', 2, 2, 0, 1, 0, 0, 0, 1, {M, 2, 3, 2, 3}},
    {"TSI 2/1", 'A', 3, 2, 4, 0, 1, 0, 0, 0, {M, M, 100, -33.333333f, 73.333333f}},
    {"TSIsl 2/1/2", 'A', 4, 2, 4, 0, 1, 2, 0, 0, {M, M, M, 11.111111f, 52.592593f}},
    {"TSF 3", 'A', 5, 3, 4, 0, 0, 0, 0, 0, {M, M, 11, 10.333333f, 11.5f}},
    {"TSFB 3", 'A', 6, 3, 4, 0, 1, 0, 0, 0, {M, M, 12.414214f}},
    {"TSFD 3", 'A', 7, 3, 4, 0, 0, 0, 0, 0, {M, M, 1.4142136f}},
    {"TEF 3", 'A', 8, 3, 4, 0, 1, 0, 0, 0, {M, M, 42.857143f, 0, 21.428571f}},
    {"TEF 3 smoothed", 'A', 8, 3, 4, 0, 2, 0, 0, 0, {M, M, M, 14.285714f, 19.047619f}},
    {"SAR", 'B', 10, 0, 4, 0, 0.02, 0.02, 0.2, 0, {M, M, 7, 7, 12, 7.12f}},
    {"+DI 2", 'B', 11, 2, 4, 0, 0, 0, 0, 0, {M, M, 28.571429f, 13.333333f, 35.897436f, 25.454545f}},
    {"-DI 2", 'B', 12, 2, 4, 0, 0, 0, 0, 0, {M, M, 28.571429f, 26.666667f, 10.256410f, 7.2727273f}},
    {"ADX 2/2", 'B', 13, 2, 4, 0, 2, 0, 0, 0, {M, M, M, 16.666667f, 36.111111f, 45.833333f}},
    {"MMA 3", 'A', 14, 3, 4, 0, 0, 0, 0, 0, {M, M, 11, 10.333333f, 11.5f}},
    {"MOM 2", 'A', 15, 2, 4, 0, 1, 0, 0, 0, {M, M, 2, 0, 1}},
    {"MOM 2 smoothed 2", 'A', 15, 2, 4, 0, 2, 0, 0, 0, {M, M, M, 1, 0.5f}},
    {"MOM change", 'A', 15, 2, 4, 0, 2, 0, 0, 1, {M, M, 2, 0, 1}},
    {"HH 3", 'A', 16, 3, 0, 0, 0, 0, 0, 0, {M, M, 13, 13, 13}},
    {"LL 3", 'A', 17, 3, 0, 0, 0, 0, 0, 0, {M, M, 9, 9, 9}},
    {"HH not below the bars", 'A', 16, 5, 0, 0, 0, 0, 0, 0, {M, M, M, M, M}},
    {"SAR on two bars", 'A', 10, 0, 4, 0, 0.02, 0.02, 0.2, 0, {M, M}},
};

// The tolerance is the hand values' own rounding (8 digits).  The
// regression studies take their line from running sums, whose double
// rounding differs from a refit's by far less than that.
void expect_series(const float *got, const std::vector<float> &want, const char *what) {
  for (size_t i = 0; i < want.size(); i++) {
    if (want[i] == M)
      EXPECT_EQ(got[i], M) << what << " slot " << i;
    else
      EXPECT_NEAR(got[i], want[i], 1e-4 * std::max(1.0f, std::fabs(want[i])))
          << what << " slot " << i;
  }
}

}  // namespace

TEST_F(Ferlume1, DescribesItsStudies) {
  struct row {
    const char *abbrev, *name;
    int32_t type;
    int outputs, period, price;
    double p1, p2, p3;
    uint32_t flags, pane;
    const char *labels[7];
  };
  const row rows[18] = {
      {"UOSC",
       "Ultimate Oscillator",
       0x4000380,
       1,
       7,
       0,
       14,
       28,
       0,
       0x133,
       4,
       {"Period", "", "", "Medium period", "Long period", "", ""}},
      {"CVI",
       "Chaikin Volatility Indicator",
       0x4000780,
       2,
       10,
       4,
       0,
       0,
       0,
       0x300,
       8,
       {"Period", "Which price", "Method", "", "", "", ""}},
      {"ATR",
       "Average True Range",
       0x4000280,
       2,
       20,
       0,
       0,
       0,
       0,
       0x500,
       8,
       {"Period", "", "Method", "", "", "", ""}},
      {"TSI",
       "True Strength Index (Ergodic osc)",
       0x4000280,
       1,
       60,
       4,
       20,
       0,
       0,
       0x211,
       4,
       {"Period", "", "", "Short period", "", "", ""}},
      {"TSIsl",
       "True Strength Index Signal line",
       0x4000280,
       1,
       60,
       4,
       20,
       10,
       0,
       0x233,
       4,
       {"Period", "", "", "Short period", "Sig Ln period", "", ""}},
      {"TSF",
       "Time Series Forcast (mov linear reg.)",
       0x4000080,
       1,
       20,
       4,
       0,
       0,
       0,
       0x300,
       1,
       {"Period", "Which price", "", "", "", "", ""}},
      {"TSFB",
       "Time Series Forcast Band",
       0x4000080,
       1,
       20,
       4,
       1,
       0,
       0,
       0x310,
       1,
       {"Period", "Which price", "", "Dev.factor", "", "", ""}},
      {"TSFD",
       "Time Series Forcast Std Dev",
       0x4000280,
       1,
       20,
       4,
       0,
       0,
       0,
       0x300,
       4,
       {"Period", "Which price", "", "", "", "", ""}},
      {"TEF",
       "Trend Efficiency",
       0x4000780,
       1,
       20,
       4,
       1,
       0,
       0,
       0x133,
       8,
       {"Period", "", "", "Smoothing", "Abs Flag", "", ""}},
      {"KCH",
       "Keltner Channel",
       0x4000080,
       1,
       20,
       4,
       1,
       0,
       0,
       0x710,
       1,
       {"Period", "Which price", "", "Offset", "", "", ""}},
      {"SAR",
       "Parabolic SAR",
       0x4000081,
       1,
       0,
       4,
       0.02,
       0.02,
       0.2,
       0x70,
       1,
       {"", "", "", "Initial AF", "AF incr.", "AF Max.", ""}},
      {"+DI",
       "+DI: Direction Indicator",
       0x4000380,
       1,
       14,
       4,
       0,
       0,
       0,
       0x100,
       4,
       {"Period", "", "", "", "", "", ""}},
      {"-DI",
       "-DI: Direction Indicator",
       0x4000380,
       1,
       14,
       4,
       0,
       0,
       0,
       0x100,
       4,
       {"Period", "", "", "", "", "", ""}},
      {"ADX",
       "ADX: Average Directional Movement",
       0x4000380,
       1,
       14,
       4,
       9,
       0,
       0,
       0x111,
       4,
       {"Period", "", "", "Smoothing", "", "", ""}},
      {"MMA",
       "Modified Moving Average",
       0x4000080,
       1,
       20,
       4,
       0,
       0,
       0,
       0x300,
       1,
       {"Period", "Which price", "", "", "", "", ""}},
      {"MOM",
       "Momentum",
       0x4000280,
       2,
       20,
       4,
       1,
       0,
       0,
       0x711,
       4,
       {"Period", "Which price", "Method", "Smoothing", "", "", ""}},
      {"HH",
       "Highest High",
       0x4000080,
       1,
       20,
       0,
       0,
       0,
       0,
       0x100,
       1,
       {"Period", "", "", "", "", "", ""}},
      {"LL",
       "Lowest Low",
       0x4000080,
       1,
       20,
       0,
       0,
       0,
       0,
       0x100,
       1,
       {"Period", "", "", "", "", "", ""}},
  };
  ASSERT_EQ(study_lib_count(kLib), 18);
  for (int i = 0; i < 18; i++) {
    const row &r = rows[i];
    study_lib_info info;
    ASSERT_EQ(study_lib_study(kLib, i, &info), 1) << i;
    EXPECT_STREQ(info.name, r.name);
    EXPECT_STREQ(info.abbrev, r.abbrev);
    EXPECT_EQ(std::string(info.defaults.abbrev, strnlen(info.defaults.abbrev, 8)), r.abbrev);
    EXPECT_EQ(info.defaults.type, r.type) << i;
    EXPECT_EQ(info.defaults.output_count, r.outputs) << i;
    EXPECT_EQ(info.defaults.period, r.period) << i;
    EXPECT_EQ(info.defaults.price_type, r.price) << i;
    EXPECT_EQ(info.defaults.method, 0) << i;
    EXPECT_EQ(info.defaults.p1, r.p1) << i;
    EXPECT_EQ(info.defaults.p2, r.p2) << i;
    EXPECT_EQ(info.defaults.p3, r.p3) << i;
    EXPECT_EQ(info.defaults.p4, 0) << i;
    EXPECT_EQ(info.defaults.param_flags, r.flags) << i;
    EXPECT_EQ(info.defaults.pane_group, r.pane) << i;
    EXPECT_NE(info.defaults.compute, nullptr) << i;
    for (int k = 0; k < 7; k++) EXPECT_STREQ(info.labels[k], r.labels[k]) << i << " label " << k;
  }
  study_lib_info none;
  EXPECT_EQ(study_lib_study(kLib, 18, &none), 0);
  EXPECT_EQ(study_lib_study(kLib, -1, &none), 0);

  // the exports' own answers outside the table
  kv_dynlib *lib = load_study_dll(kLib);
  ASSERT_NE(lib, nullptr);
  auto version = (StudyLibGetVersionFn)kv_dynlib_symbol(lib, "getVersion");
  auto labels = (StudyLibGetParamLabelsFn)kv_dynlib_symbol(lib, "getParamLabels");
  auto ptr = (StudyLibGetPtrValueFn)kv_dynlib_symbol(lib, "getPtrValue");
  ASSERT_TRUE(version && labels && ptr);
  EXPECT_EQ(version(), 7);
  EXPECT_EQ(labels(18), nullptr);
  EXPECT_EQ(labels(-1), nullptr);
  StudyDef rec;
  memset(&rec, 0, sizeof rec);
  rec.compute = (StudyComputeFn)1;
  ptr(18, &rec);
  EXPECT_EQ(rec.compute, nullptr);
  // nothing but the eight entry points is visible
  EXPECT_EQ(kv_dynlib_symbol(lib, "calcSAR"), nullptr);
  EXPECT_EQ(kv_dynlib_symbol(lib, "g_callbacks"), nullptr);
}

TEST_F(Ferlume1, StudiesMatchHandWorkedValues) {
  for (const hand_case &h : kHand) {
    test_chart c(16);
    if (h.chart == 'A')
      chart_a(c);
    else
      chart_b(c);
    if (h.want.size() < (size_t)c.count()) c.rec.header.bar_count = (int)h.want.size();
    StudyDef *s = lib_study(c, h.index, h.period, h.price, h.method, h.p1, h.p2, h.p3);
    ASSERT_NE(s, nullptr) << h.what;
    EXPECT_EQ(s->name[0], '*') << h.what;
    expect_series(study_series(s, h.series), h.want, h.what);
  }
}

// The channel draws on a simple average and the library's own average
// true range of the same chart, which it creates ahead of itself.
TEST_F(Ferlume1, KeltnerChannelIsTheAveragePlusTheTrueRange) {
  test_chart c(16);
  chart_a(c);
  StudyDef *k = lib_study(c, 9, 2, 4, 0, 2);
  ASSERT_NE(k, nullptr);
  StudyDef *ma = c.rec.studies;
  ASSERT_NE(ma, nullptr);
  EXPECT_EQ(ma->type, STUDY_SMA);
  StudyDef *atr = ma->next;
  ASSERT_NE(atr, nullptr);
  EXPECT_EQ(atr->lib_index, 2);
  EXPECT_EQ(atr->next, k);
  // MA [-, 9.5, 10.5, 10.5, 11], ATR [-, -, 2.5, 2.5, 2.5]
  expect_series(k->outputs, {M, M, 15.5f, 15.5f, 16}, "KCH");

  // its average deleted, the channel finds a new one and is made anew
  ASSERT_EQ(delete_study(c.chart(), ma), 1);
  c.add(12, 14, 12, 13);
  recalc_studies(c.chart(), 0);
  StudyDef *ma2 = atr->next->next;
  ASSERT_NE(ma2, nullptr);
  EXPECT_EQ(ma2->type, STUDY_SMA);
  expect_series(k->outputs, {M, M, 15.5f, 15.5f, 16, 17.5f}, "KCH after");
}

TEST_F(Ferlume1, HighestHighMovesWithTheChart) {
  test_chart c(16);
  chart_a(c);
  StudyDef *hh = lib_study(c, 16, 2, 0, 0);
  ASSERT_NE(hh, nullptr);
  expect_series(hh->outputs, {M, M, M, 13, 13}, "HH 2");
  // three bars at once: the slots the old window wrote are missing again
  c.add(12, 12.5f, 11, 12);
  c.add(12, 12.5f, 11, 12);
  c.add(12, 14, 11, 12);
  recalc_studies(c.chart(), 0);
  expect_series(hh->outputs, {M, M, M, M, M, M, 14, 14}, "HH 2 grown");
  // a period the chart no longer covers: the old line is not left standing
  hh->period = 8;
  recalc_studies(c.chart(), 1);
  expect_series(hh->outputs, {M, M, M, M, M, M, M, M}, "HH 8 on 8 bars");
}

namespace {

struct inc_case {
  int index, period, price, method;
  double p1, p2, p3;
  bool via_engine_average;  // moving averages seeded from a float slot
};

const inc_case kInc[] = {
    {0, 7, 0, 0, 14, 28, 0, false},        {0, 10, 0, 0, 90, 40, 0, false},
    {1, 10, 4, 0, 0, 0, 0, false},         {2, 20, 0, 0, 0, 0, 0, true},
    {2, 14, 0, 1, 0, 0, 0, true},          {2, 9, 0, 3, 0, 0, 0, true},
    {3, 25, 4, 0, 13, 0, 0, false},        {4, 25, 4, 0, 13, 9, 0, false},
    {5, 20, 4, 0, 0, 0, 0, false},         {6, 20, 6, 0, 1.5, 0, 0, false},
    {7, 20, 4, 0, 0, 0, 0, false},         {8, 20, 4, 0, 4, 1, 0, false},
    {9, 20, 4, 0, 1, 0, 0, true},          {9, 10, 4, 1, 2, 0, 0, true},
    {10, 0, 4, 0, 0.02, 0.02, 0.2, false}, {11, 14, 4, 0, 0, 0, 0, false},
    {12, 14, 4, 0, 0, 0, 0, false},        {13, 14, 4, 0, 9, 0, 0, false},
    {14, 20, 4, 0, 0, 0, 0, false},        {14, 5, 14, 0, 0, 0, 0, false},
    {15, 20, 4, 0, 1, 0, 0, true},         {15, 10, 4, 1, 5, 0, 0, true},
    {15, 10, 14, 2, 4, 0, 0, true},        {16, 20, 0, 0, 0, 0, 0, false},
    {17, 20, 0, 0, 0, 0, 0, false},
};

void fill_bars(test_chart &c, int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> step(-1.0f, 1.0f);
  float price = 100;
  for (int i = 0; i < count; i++) {
    float open = price;
    if (i % 17 != 5) price += step(rng);
    float hi = std::max(open, price) + (i % 13 == 0 ? 0 : std::fabs(step(rng)));
    float lo = std::min(open, price) - (i % 13 == 0 ? 0 : std::fabs(step(rng)));
    c.add(open, hi, lo, price, 1000);
  }
}

bool same_float(float a, float b) {
  return memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

TEST_F(Ferlume1, IncrementalEqualsFullComputation) {
  bool covered[18] = {};
  for (const inc_case &p : kInc) {
    covered[p.index] = true;
    SCOPED_TRACE(testing::Message() << "study " << p.index << " period " << p.period << " method "
                                    << p.method << " p1 " << p.p1);
    test_chart full(700);
    fill_bars(full, 600, 7);
    StudyDef *whole = lib_study(full, p.index, p.period, p.price, p.method, p.p1, p.p2, p.p3);
    ASSERT_NE(whole, nullptr);

    // the live chart grows from 150 bars to 600; a new last bar first
    // arrives with another close, then settles
    test_chart live(700);
    for (int i = 0; i < 150; i++) live.add(0, 0, 0, 0) = full.storage[i];
    StudyDef *s = lib_study(live, p.index, p.period, p.price, p.method, p.p1, p.p2, p.p3);
    ASSERT_NE(s, nullptr);
    std::mt19937 rng(3);
    int n = 150;
    while (n < 600) {
      int step = (rng() % 4 == 0) ? 1 + (int)(rng() % 5) : 1;
      if (n + step > 600) step = 600 - n;
      for (int k = 0; k < step; k++) {
        chart_bar &nb = live.add(0, 0, 0, 0);
        nb = full.storage[n + k];
        if (k == step - 1) nb.close += 0.5f;
      }
      n += step;
      recalc_studies(live.chart(), 0);
      int32_t saved;
      memcpy(&saved, s->work, sizeof saved);
      ASSERT_EQ(saved, n - 1);  // went on from where it stopped
      live.storage[n - 1].close = full.storage[n - 1].close;
      if (rng() % 2) recalc_studies(live.chart(), 0);
    }
    recalc_studies(live.chart(), 0);
    for (int k = 0; k < study_output_count(s); k++) {
      const float *a = study_series(s, k), *b = study_series(whole, k);
      for (int i = 0; i < 600; i++) {
        if (p.via_engine_average && !study_is_missing(b[i]))
          ASSERT_NEAR(a[i], b[i], 1e-4 * std::max(1.0f, std::fabs(b[i])))
              << "series " << k << " slot " << i;
        else
          ASSERT_TRUE(same_float(a[i], b[i]))
              << "series " << k << " slot " << i << ": " << a[i] << " vs " << b[i];
      }
    }
  }
  for (int i = 0; i < 18; i++) EXPECT_TRUE(covered[i]) << i;
}

// The regression studies keep running sums where the formulas refit each
// window.  Over a long chart with prices far from zero and small moves (the
// hard case for sums that are added to and taken from 40,000 times), every
// value stays within 2e-6 of the price level of a refit through the
// engine's regression of the same window (2e-6 of the value itself for the
// deviation and the efficiency): the sums' double rounding, with the
// window sums taken less the first price, stays below a float's resolution
// (6e-8 of the value) times a few.  The band and the deviation measure a
// bar's farther extreme as its distance from the middle of its range plus
// half the range, which rounds differently from the larger of the two
// distances by a double's resolution only.  The chart is long enough for
// the band's buffer of bar ranges to be moved back many times.
TEST_F(Ferlume1, RunningSumsEqualARefitOnALongChart) {
  const int count = 40000, n = 20;
  test_chart c(count);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> step(-0.25f, 0.25f);
  float price = 5000;
  for (int i = 0; i < count; i++) {
    float open = price;
    price += step(rng) + (i / 4000 % 2 ? 0.05f : -0.05f);
    c.add(open, std::max(open, price) + 0.25f, std::min(open, price) - 0.25f, price, 1000,
          1000 * 86400 + i * 60);
  }
  StudyDef *tsf = lib_study(c, 5, n, 4, 0), *tsfb = lib_study(c, 6, n, 4, 0, 1.5),
           *tsfd = lib_study(c, 7, n, 4, 0);
  StudyDef *tef = lib_study(c, 8, n, 4, 0, 1, 1), *mma = lib_study(c, 14, n, 4, 0);
  ASSERT_TRUE(tsf && tsfb && tsfd && tef && mma);
  const chart_bar *b = c.rec.bars;
  double worst = 0;
  kv_lock guard(g_chart_lock);
  for (int i = n - 1; i < count; i += 7) {
    int lo = i - n + 1;
    double slope, max_dev, rms;
    double a = study_linear_regression(c.chart(), lo, i, PRICE_CLOSE, &slope);
    study_regression_channel(c.chart(), lo, i, PRICE_CLOSE, &slope, &max_dev, &rms);
    double range = 0, sum = 0, weighted = 0;
    for (int k = 0; k < n; k++) {
      range += (double)b[i - k].high - b[i - k].low;
      sum += b[i - k].close;
      weighted += (n - 2.0 * k - 1) / 2 * b[i - k].close;
    }
    const double want[5] = {a + n * slope, a + n * slope + 1.5 * rms, rms,
                            std::fabs(n * slope) / range * 100,
                            sum / n + 6.0 / (n * (n + 1.0)) * weighted};
    const StudyDef *got[5] = {tsf, tsfb, tsfd, tef, mma};
    for (int k = 0; k < 5; k++) {
      double level = k == 2 || k == 3 ? std::max(1.0, std::fabs(want[k])) : 5000;
      double err = std::fabs(got[k]->outputs[i] - want[k]) / level;
      worst = std::max(worst, err);
      ASSERT_LT(err, 2e-6) << "study " << k << " slot " << i << ": " << got[k]->outputs[i] << " vs "
                           << want[k];
    }
  }
  EXPECT_GT(worst, 0);  // the comparison reached the values
}

// Periods and parameters from a damaged layout: nothing is read or written
// outside the chart, and every value is a number or missing.
TEST_F(Ferlume1, BadParametersGiveOnlyNumbersOrMissingValues) {
  const double nan = std::nan("");
  struct bad {
    int period, price, method;
    double p1, p2, p3;
  };
  const bad cases[] = {
      {0, 4, 0, 0, 0, 0},        {-5, 4, 0, -3, -2, -1}, {1 << 30, 4, 0, 1e12, 1e12, 1e12},
      {3, 99, 7, nan, nan, nan}, {2, 14, -1, 1, 1, 1},   {1, 15, 3, 0.5, 0.5, 0.5},
  };
  for (int index = 0; index < 18; index++) {
    for (const bad &b : cases) {
      test_chart c(40);
      fill_bars(c, 30, 11);
      c.add(50, 50, 50, 50);  // a flat bar far from the others
      StudyDef *s = lib_study(c, index, b.period, b.price, b.method, b.p1, b.p2, b.p3);
      if (!s) continue;  // refused by the engine (a Keltner source)
      recalc_studies(c.chart(), 0);
      for (int k = 0; k < study_output_count(s); k++)
        for (int i = 0; i < c.count(); i++) {
          float v = study_series(s, k)[i];
          EXPECT_TRUE(v == MISSING_VALUE || std::isfinite(v))
              << index << " period " << b.period << " slot " << i;
        }
    }
  }
}

namespace {

// A long chart of moves with price gaps between bars and flat runs of
// equal bars, where ties between moves and extremes are common.
void fill_gappy_bars(test_chart &c, int count) {
  std::mt19937 rng(21);
  std::uniform_real_distribution<float> step(-1.0f, 1.0f);
  float price = 200;
  for (int i = 0; i < count; i++) {
    int time = 1000 * 86400 + i * 60;
    if (i % 50 >= 40) {  // ten flat bars
      c.add(price, price, price, price, 100, time);
      continue;
    }
    if (i % 97 == 0) price += 8 * step(rng);  // a gap
    float open = price;
    price += std::round(4 * step(rng)) / 4;  // quarter steps: ties are common
    float hi = std::max(open, price) + std::round(2 * std::fabs(step(rng))) / 4;
    float lo = std::min(open, price) - std::round(2 * std::fabs(step(rng))) / 4;
    c.add(open, hi, lo, price, 100, time);
  }
}

// The directional lines and the stop, bar by bar as their formulas say
// (with a branch for every choice), for comparison with the library's
// branch-free kernels.
void reference_dmi(const chart_bar *b, int count, int n, int f, float *pdi_out, float *mdi_out,
                   float *adx_out) {
  double a = 1.0 / n, c = 1.0 / f, pdm_s = 0, mdm_s = 0, tr_s = 0, adx = 0;
  for (int i = 0; i < count; i++) {
    if (i == 0) {
      pdi_out[i] = mdi_out[i] = adx_out[i] = MISSING_VALUE;
      continue;
    }
    double up = (double)b[i].high - b[i - 1].high, down = (double)b[i - 1].low - b[i].low;
    double pdm = 0, mdm = 0;
    if (up > down && up > 0) pdm = up;
    if (down > up && down > 0) mdm = down;
    double cp = b[i - 1].close, tr = (double)b[i].high - b[i].low;
    if (b[i].high - cp > tr) tr = b[i].high - cp;
    if (cp - b[i].low > tr) tr = cp - b[i].low;
    if (i == 1) {
      pdm_s = pdm;
      mdm_s = mdm;
      tr_s = tr;
    } else {
      pdm_s = (1 - a) * pdm_s + a * pdm;
      mdm_s = (1 - a) * mdm_s + a * mdm;
      tr_s = (1 - a) * tr_s + a * tr;
    }
    double pdi = 0, mdi = 0, dx = 0;
    if (tr_s != 0) {
      pdi = pdm_s / tr_s * 100;
      mdi = mdm_s / tr_s * 100;
      if (pdi + mdi != 0) dx = std::fabs(pdi - mdi) / (pdi + mdi);
    }
    if (i == n)
      adx = dx;
    else if (i > n)
      adx = (1 - c) * adx + c * dx;
    pdi_out[i] = i < n ? MISSING_VALUE : (float)pdi;
    mdi_out[i] = i < n ? MISSING_VALUE : (float)mdi;
    adx_out[i] = i < f + n - 1 ? MISSING_VALUE : (float)(adx * 100);
  }
}

void reference_sar(const chart_bar *b, int count, double a0, double inc, double af_max,
                   float *out) {
  bool is_long = true;
  double sar_long = 0, sar_short = 0, hh = 0, ll = 0, af = a0;
  for (int i = 0; i < count; i++) {
    if (i < 2) {
      out[i] = MISSING_VALUE;
      continue;
    }
    double hi = b[i].high, lo = b[i].low;
    if (i == 2) {
      hh = std::max(b[1].high, b[i].high);
      ll = std::min(b[1].low, b[i].low);
      sar_long = ll;
      sar_short = hh;
    }
    double t;
    if (is_long) {
      double l2 = std::min(b[i - 1].low, b[i].low);
      t = sar_long + af * (b[i - 1].high - sar_long);
      if (t > l2) t = sar_long;
      if (hi > hh) {
        af += inc;
        hh = hi;
      }
      if (af > af_max) af = af_max;
      sar_long = t;
      if (t > lo) {
        is_long = false;
        ll = t;
        sar_short = hh;
        af = a0;
      }
    } else {
      double h2 = std::max(b[i - 1].high, b[i].high);
      t = sar_short - af * (sar_short - b[i - 1].low);
      if (t < h2) t = sar_short;
      if (lo < ll) {
        af += inc;
        ll = lo;
      }
      if (af > af_max) af = af_max;
      sar_short = t;
      if (hi > t) {
        is_long = true;
        hh = t;
        sar_long = ll;
        af = a0;
      }
    }
    out[i] = (float)t;
  }
}

}  // namespace

// The directional lines and the stop choose without branches; over a long
// chart with gaps, flat runs and ties every value is the formula's, bit
// for bit.
TEST_F(Ferlume1, BranchFreeKernelsEqualTheFormulas) {
  const int count = 30000;
  test_chart c(count);
  fill_gappy_bars(c, count);
  struct dmi_case {
    int n, f;
  };
  for (dmi_case p : {dmi_case{14, 9}, dmi_case{1, 1}, dmi_case{3, 20}}) {
    SCOPED_TRACE(testing::Message() << "DMI " << p.n << "/" << p.f);
    std::vector<float> pdi(count), mdi(count), adx(count);
    reference_dmi(c.rec.bars, count, p.n, p.f, pdi.data(), mdi.data(), adx.data());
    StudyDef *got[3] = {lib_study(c, 11, p.n, 4, 0), lib_study(c, 12, p.n, 4, 0),
                        lib_study(c, 13, p.n, 4, 0, p.f)};
    const std::vector<float> *want[3] = {&pdi, &mdi, &adx};
    for (int k = 0; k < 3; k++) {
      ASSERT_NE(got[k], nullptr);
      for (int i = 0; i < count; i++)
        ASSERT_TRUE(same_float(got[k]->outputs[i], (*want[k])[i]))
            << "line " << k << " slot " << i << ": " << got[k]->outputs[i] << " vs "
            << (*want[k])[i];
    }
  }
  struct sar_case {
    double a0, inc, max;
  };
  for (sar_case p : {sar_case{0.02, 0.02, 0.2}, sar_case{0.1, 0.05, 0.15}, sar_case{0, 0.01, 1}}) {
    SCOPED_TRACE(testing::Message() << "SAR " << p.a0 << "/" << p.inc << "/" << p.max);
    std::vector<float> want(count);
    reference_sar(c.rec.bars, count, p.a0, p.inc, p.max, want.data());
    StudyDef *s = lib_study(c, 10, 0, 4, 0, p.a0, p.inc, p.max);
    ASSERT_NE(s, nullptr);
    for (int i = 0; i < count; i++)
      ASSERT_TRUE(same_float(s->outputs[i], want[i]))
          << "slot " << i << ": " << s->outputs[i] << " vs " << want[i];
  }
}

namespace {

// A float within one unit in the last place of a value worked in doubles
// (missing where the value is no finite float).
bool within_ulp(float got, double want) {
  float w = (float)want;
  if (!std::isfinite(w)) return got == MISSING_VALUE;
  return got == w || got == std::nextafter(w, HUGE_VALF) || got == std::nextafter(w, -HUGE_VALF);
}

double true_range(const chart_bar *b, int i) {
  double cp = b[i - 1].close, tr = (double)b[i].high - b[i].low;
  return std::max({tr, b[i].high - cp, cp - b[i].low});
}

}  // namespace

// The oscillator, the volatility and the average true range take a long
// chart in groups and blocks of bars; every value is its formula's, worked
// bar by bar in doubles, to a float's last place.  The windows are both
// longer and shorter than a group, flat runs give empty ranges.
TEST_F(Ferlume1, RangeStudiesEqualTheirFormulasOnALongChart) {
  const int count = 3000;
  test_chart c(count);
  fill_gappy_bars(c, count);
  const chart_bar *b = c.rec.bars;
  struct window_case {
    int w[3];
  };
  for (window_case p : {window_case{{7, 14, 28}}, window_case{{40, 5, 3}}}) {
    SCOPED_TRACE(testing::Message() << "UOSC " << p.w[0] << "/" << p.w[1] << "/" << p.w[2]);
    StudyDef *s = lib_study(c, 0, p.w[0], 0, 0, p.w[1], p.w[2]);
    ASSERT_NE(s, nullptr);
    int first = std::max({p.w[0], p.w[1], p.w[2]});
    for (int i = first; i < count; i++) {
      double bp[3] = {}, tr[3] = {};
      for (int k = 0; k < 3; k++)
        for (int j = std::max(1, i - p.w[k] + 1); j <= i; j++) {
          bp[k] += b[j].close - std::min((double)b[j].low, (double)b[j - 1].close);
          tr[k] += true_range(b, j);
        }
      double want = (4 * bp[0] / tr[0] + 2 * bp[1] / tr[1] + bp[2] / tr[2]) * 100 / 7;
      ASSERT_TRUE(within_ulp(s->outputs[i], want)) << "slot " << i << ": " << s->outputs[i];
    }
  }
  for (int n : {10, 2}) {
    SCOPED_TRACE(testing::Message() << "CVI " << n);
    StudyDef *s = lib_study(c, 1, n, 4, 0);
    ASSERT_NE(s, nullptr);
    const float *out = study_series(s, 0), *ema = study_series(s, 1);
    double k = 2.0 / (n + 1), e = 0;
    for (int i = 0; i < count; i++) {
      double range = (double)b[i].high - b[i].low;
      e = i == 0 ? range : k * range + (1 - k) * e;
      if (i < n - 1) continue;
      ASSERT_TRUE(within_ulp(ema[i], e)) << "average slot " << i << ": " << ema[i];
      if (i < 2 * n - 1) continue;
      double want = ((double)ema[i] - ema[i - n]) / ema[i - n] * 100;
      ASSERT_TRUE(within_ulp(out[i], want)) << "slot " << i << ": " << out[i];
    }
  }
  for (int n : {20, 4}) {
    SCOPED_TRACE(testing::Message() << "ATR " << n);
    StudyDef *s = lib_study(c, 2, n, 0, MA_SIMPLE);
    ASSERT_NE(s, nullptr);
    const float *out = study_series(s, 0), *tr = study_series(s, 1);
    for (int i = 1; i < count; i++) {
      ASSERT_TRUE(same_float(tr[i], (float)true_range(b, i))) << "range slot " << i;
      if (i < n) continue;
      double sum = 0;
      for (int j = i - n + 1; j <= i; j++) sum += tr[j];
      ASSERT_TRUE(within_ulp(out[i], sum / n)) << "slot " << i << ": " << out[i];
    }
  }
}
