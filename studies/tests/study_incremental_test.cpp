// Every study computed bar by bar as a live chart grows, with its last bar
// changing under it, must end with exactly the outputs of one computation
// from the first bar.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "studies/study_types.h"
#include "study_fixture.h"

namespace {

struct case_params {
  int type;
  int period;
  int price_type;
  int method;
  double p1, p2, p3;
};

// Defaults of each type, and variants that take other paths.
const case_params kCases[] = {
    {STUDY_STOCH_K, 10, 4, 0, 1, 0, 0},
    {STUDY_STOCH_K, 10, 4, 0, -3, 0, 0},
    {STUDY_STOCH_K, 5, 6, 0, 3, 0, 0},
    {STUDY_STOCH_D, 10, 4, 0, 1, 10, 0},
    {STUDY_STOCH_D, 10, 4, 1, 3, 5, 0},
    {STUDY_STOCH_D, 8, 4, 2, -2, 4, 0},
    {STUDY_STOCH_D, 8, 4, 3, 1, 6, 0},
    {STUDY_BB_UPPER, 20, 4, 0, 1, 2, 0},
    {STUDY_BB_MID, 20, 4, 0, 1, 0, 0},
    {STUDY_BB_LOWER, 20, 4, 0, 1, -2, 0},
    {STUDY_BB_PERCENT, 20, 4, 0, 1, 2, 0},
    {STUDY_BB_PERCENT, 20, 4, 0, 3, 2, 0},
    {STUDY_BB_WIDTH, 20, 4, 0, 1, 2, 0},
    {STUDY_SMA, 50, 4, 0, 0, 1, 0},
    {STUDY_EMA, 50, 4, 0, 0, 1, 0},
    {STUDY_WMA, 50, 7, 0, 0, 1, 0},
    {STUDY_TMA, 50, 5, 0, 0, 1, 0},
    {STUDY_TMA, 7, 14, 0, 0, 1, 0},
    {STUDY_VMA, 50, 4, 0, 0, 1, 0},
    {STUDY_STDDEV, 50, 4, 0, 0, 1, 0},
    {STUDY_MACD, 12, 4, 0, 0, 26, 0},
    {STUDY_MACD_SIGNAL, 12, 4, 0, 0, 26, 9},
    {STUDY_AVG_VOLUME, 20, 0, 0, 0, 0, 0},
    {STUDY_AVG_VOLUME, 20, 0, 1, 0, 0, 0},
    {STUDY_AVG_VOLUME, 20, 0, 2, 0, 0, 0},
    {STUDY_AVG_VOLUME, 20, 0, 3, 0, 0, 0},
    {STUDY_OBV, 20, 0, 0, 0, 0, 0},
    {STUDY_PVT, 20, 0, 0, 0, 0, 0},
    {STUDY_REL_VOLUME, 20, 0, 0, 3, 0, 0},
    {STUDY_INTRADAY_REL_VOLUME, 3, 0, 0, 8, 0, 0},
    {STUDY_INTRADAY_ACC_VOLUME, 3, 0, 0, 0, 0, 0},
    {STUDY_NET_VOLUME_RATIO, 10, 0, 0, 0, 0, 0},
    {STUDY_AVG_NET_VOLUME, 10, 0, 0, 0, 0, 0},
    {STUDY_AD_LINE, 0, 0, 0, 0, 0, 0},
    {STUDY_CHAIKIN, 0, 0, 0, 0, 0, 0},
    {STUDY_RSI, 14, 4, 0, 0, 0, 0},
    {STUDY_VHF, 28, 4, 0, 0, 0, 0},
    {STUDY_CCI, 14, 6, 0, 0, 0, 0},
};

constexpr int kBarsPerDay = 40;
constexpr int kCapacity = 700;

// A random walk of 5-minute bars, kBarsPerDay a day, with volume and
// net volume; flat bars and repeated closes now and then.
void fill_bars(test_chart &c, int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> step(-1.0f, 1.0f);
  std::uniform_int_distribution<int> vol(0, 5000);
  float price = 100;
  for (int i = 0; i < count; i++) {
    float open = price;
    if (i % 17 != 5) price += step(rng);
    float hi = std::max(open, price) + (i % 13 == 0 ? 0 : std::fabs(step(rng)));
    float lo = std::min(open, price) - (i % 13 == 0 ? 0 : std::fabs(step(rng)));
    int day = i / kBarsPerDay, slot = i % kBarsPerDay;
    chart_bar &b = c.add(open, hi, lo, price, vol(rng), (20000 + day) * 86400 + 34200 + slot * 300);
    b.extra = vol(rng) - 2500;
  }
}

void PrintTo(const case_params &p, std::ostream *os) {
  *os << std::hex << "type 0x" << p.type << std::dec << " period " << p.period << " price "
      << p.price_type << " method " << p.method << " p1 " << p.p1 << " p2 " << p.p2 << " p3 "
      << p.p3;
}

bool same_float(float a, float b) {
  return memcmp(&a, &b, sizeof a) == 0;
}

int series_of(const case_params &p) {
  StudyDef t = study_template(p.type);
  return study_output_count(&t);
}

}  // namespace

// Every type of the table is covered by a case above.
TEST(StudyIncremental, CasesCoverTheTypeTable) {
  for (int i = 0; i < g_study_type_count; i++) {
    const study_type_entry &e = g_study_types[i];
    if (e.series == 0 || e.compute == nullptr) continue;
    if (e.type == STUDY_TRADE_SIGNALS || e.type == STUDY_ORDER_PRICE || e.type == STUDY_EQUITY)
      continue;
    bool found = false;
    for (const case_params &p : kCases) found |= p.type == e.type;
    EXPECT_TRUE(found) << std::hex << e.type;
  }
}

class StudyIncrementalTest : public ::testing::TestWithParam<case_params> {};

TEST_P(StudyIncrementalTest, EqualsFullRecompute) {
  const case_params &p = GetParam();
  StudyComputeFn fn = study_compute_for_type(p.type);
  ASSERT_NE(fn, nullptr);
  StudyDef t = study_template(p.type, p.period, p.price_type, p.method, p.p1, p.p2, p.p3);

  test_chart full(kCapacity, 5);
  fill_bars(full, 600, 7);

  // The live chart starts with the first 150 bars and grows to 600; after
  // some appends its last close changes once or twice before the next.
  test_chart live(kCapacity, 5);
  for (int i = 0; i < 150; i++) live.add(0, 0, 0, 0) = full.storage[i];
  test_study inc(t, kCapacity, fn);
  fn(live.chart(), inc.s, 1);
  std::mt19937 rng(3);
  int n = 150;
  while (n < 600) {
    int step = (rng() % 4 == 0) ? 1 + (int)(rng() % 5) : 1;
    if (n + step > 600) step = 600 - n;
    for (int k = 0; k < step; k++) {
      chart_bar b = full.storage[n + k];
      // the bar first arrives with another close, then settles
      chart_bar &nb = live.add(0, 0, 0, 0);
      nb = b;
      if (k == step - 1) nb.close = b.close + 0.5f;
    }
    n += step;
    fn(live.chart(), inc.s, 0);
    // it went on from where it stopped, keeping the last bar to do again
    int32_t saved;
    memcpy(&saved, inc.s->work, sizeof saved);
    ASSERT_EQ(saved, n - 1);
    live.storage[n - 1].close = full.storage[n - 1].close;
    if (rng() % 2) fn(live.chart(), inc.s, 0);
  }
  fn(live.chart(), inc.s, 0);

  test_study whole(t, kCapacity, fn);
  fn(full.chart(), whole.s, 1);

  int series = series_of(p);
  for (int k = 0; k < series; k++) {
    int diffs = 0;
    for (int i = 0; i < 600; i++) {
      if (!same_float(inc.at(i, k), whole.at(i, k))) {
        if (diffs++ < 5)
          ADD_FAILURE() << "series " << k << " slot " << i << ": " << inc.at(i, k)
                        << " != " << whole.at(i, k);
      }
    }
    EXPECT_EQ(diffs, 0);
  }
  // and the full computation has values (the case is not vacuous)
  int values = 0;
  for (int i = 0; i < 600; i++) values += !study_is_missing(whole.at(i, 0));
  EXPECT_GT(values, 300);
}

std::string case_name(const ::testing::TestParamInfo<case_params> &info) {
  char buf[64];
  snprintf(buf, sizeof buf, "t%X_%zu", (unsigned)info.param.type, info.index);
  return buf;
}

INSTANTIATE_TEST_SUITE_P(AllStudies, StudyIncrementalTest, ::testing::ValuesIn(kCases), case_name);
