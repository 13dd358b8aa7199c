// Daily reference lines, the intraday volume studies, the trading-system
// series and studies read from a dated text file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/tests/status_capture.h"
#include "platform/testing/fixture.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "study_fixture.h"
#include "settings/testing/settings_saver.h"

namespace {

constexpr float M = MISSING_VALUE;

int at(int date, int seconds) {
  return (int)date_to_seconds(date, seconds);
}

// Two days of 5-minute bars: (open, high, low, close).
void two_days(test_chart &c) {
  c.add(10, 12, 9, 11, 100, at(20240102, 34200));
  c.add(11, 13, 10, 12, 100, at(20240102, 34500));
  c.add(12, 14, 11, 13, 100, at(20240103, 34200));
  c.add(13, 15, 12, 14, 100, at(20240103, 34500));
}

float line_value(chart_rec *chart, int type) {
  StudyDef *s = find_or_create_study(chart, type);
  if (!s) {
    StudyDef t = study_template(type);
    s = create_study(chart, &t);
  }
  return s ? s->value : 0;
}

}  // namespace

TEST(StudyDaily, DayLinesFromTheBars) {
  test_chart c(8, 5);
  two_days(c);
  const struct {
    int type;
    float want;
  } cases[] = {
      {STUDY_PREV_CLOSE, 12},
      {STUDY_DAY_HIGH, 15},
      {STUDY_DAY_MID, 13},
      {STUDY_DAY_LOW, 11},
      {STUDY_DAY_OPEN, 12},
      {STUDY_PIVOT, 34 / 3.f},
      {STUDY_SUPPORT1, 68 / 3.f - 13},
      {STUDY_SUPPORT2, 34 / 3.f - 4},
      {STUDY_RESIST1, 68 / 3.f - 9},
      {STUDY_RESIST2, 34 / 3.f + 4},
      {STUDY_PREV_HIGH, 13},
      {STUDY_PREV_LOW, 9},
  };
  for (auto &cs : cases) {
    StudyDef t = study_template(cs.type);
    StudyDef *s = create_study(c.chart(), &t);
    ASSERT_NE(s, nullptr) << std::hex << cs.type;
    EXPECT_FLOAT_EQ(s->value, cs.want) << std::hex << cs.type;
  }
  EXPECT_EQ(c.rec.day_stats.first_index, 2);
  StudyDef *pivot = c.rec.studies;
  while (pivot && pivot->type != STUDY_PIVOT) pivot = pivot->next;
  ASSERT_NE(pivot, nullptr);
  EXPECT_FLOAT_EQ((float)pivot->p1, 34 / 3.f);
}

TEST(StudyDaily, ChartsOwnPreviousCloseWins) {
  test_chart c(8, 5);
  two_days(c);
  c.rec.header.prev_close = 11.5f;
  EXPECT_FLOAT_EQ(line_value(c.chart(), STUDY_PREV_CLOSE), 11.5f);
}

TEST(StudyDaily, OneDayHasNoPreviousDay) {
  test_chart c(8, 5);
  c.add(10, 12, 9, 11, 100, at(20240102, 34200));
  c.add(11, 13, 10, 12, 100, at(20240102, 34500));
  EXPECT_TRUE(study_is_missing(line_value(c.chart(), STUDY_PREV_CLOSE)));
  EXPECT_FLOAT_EQ(line_value(c.chart(), STUDY_DAY_OPEN), 10);
  StudyDef t = study_template(STUDY_PIVOT);
  StudyDef *p = create_study(c.chart(), &t);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(study_is_missing(p->value));
  EXPECT_EQ(p->compute(c.chart(), p, 1), 0);
}

TEST(StudyDaily, VwapAndLiveQuoteFill) {
  test_chart c(8, 5);
  two_days(c);
  EXPECT_TRUE(study_is_missing(line_value(c.chart(), STUDY_DAY_VWAP)));
  std::unique_ptr<mqt> rec(new mqt());
  rec->vwap = 12.75f;
  rec->high = 99;
  c.rec.mqt = rec.get();
  StudyDef *v = find_or_create_study(c.chart(), STUDY_DAY_VWAP);
  v->compute(c.chart(), v, 1);
  EXPECT_FLOAT_EQ(v->value, 12.75f);
  update_day_stats(c.chart(), 1);
  EXPECT_FLOAT_EQ(rec->prev_close, 12);  // empty fields filled from the day
  EXPECT_FLOAT_EQ(rec->open, 12);
  EXPECT_FLOAT_EQ(rec->low, 11);
  EXPECT_FLOAT_EQ(rec->high, 99);  // a field with a value is kept
  c.rec.mqt = nullptr;
}

// On a daily chart the intraday studies show nothing, also in slots the
// chart gains later.
TEST(StudyDaily, IntradayStudiesStayMissingOnDailyCharts) {
  test_chart c(16, TU_DAILY);
  for (int i = 0; i < 6; i++) c.add(1, 2, 0.5f, 1.5f, 100 + i);
  c.rec.spare = 0;
  StudyDef *rel = find_or_create_study(c.chart(), STUDY_INTRADAY_REL_VOLUME, 2, 0.0);
  StudyDef *acc = find_or_create_study(c.chart(), STUDY_INTRADAY_ACC_VOLUME, 2);
  ASSERT_NE(rel, nullptr);
  ASSERT_NE(acc, nullptr);
  ASSERT_EQ(resize_chart_studies(c.chart(), 10), 1);
  c.add(1, 2, 0.5f, 1.5f, 100);
  recalc_studies(c.chart(), 0);
  for (StudyDef *s = c.rec.studies; s; s = s->next) {
    EXPECT_EQ(s->compute(c.chart(), s, 0), 0);
    for (int k = 0; k < study_output_count(s); k++)
      for (int i = 0; i < s->output_len; i++)
        EXPECT_TRUE(study_is_missing(study_series(s, k)[i]))
            << std::hex << s->type << " " << k << " " << i;
  }
}

// A long computation takes the earlier days from one pass by time of day,
// a live update searches back bar by bar: on days that miss some times and
// repeat others (the day's last bar at a time counts), every value of the
// long computation is the one the live chart had for that bar.  (The long
// computation stops, going back, at the last bar with too few earlier
// days, so on such days it has fewer values.)
TEST(StudyDaily, IntradayRelativeVolumeOnIrregularDays) {
  test_chart full(400, 5), live(400, 5);
  std::srand(9);
  int day = 0, slot = 0;
  while (full.count() < 300) {
    int t = at(20240102, 34200 + 300 * slot) + day * 86400;
    if (std::rand() % 7 != 0) full.add(1, 1, 1, 1, 1 + std::rand() % 1000, t);
    if (std::rand() % 11 == 0 && full.count() < 300)
      full.add(1, 1, 1, 1, 1 + std::rand() % 1000, t);
    if (++slot == 12) slot = 0, day++;
  }
  StudyDef t = study_template(STUDY_INTRADAY_REL_VOLUME, 3);
  test_study whole(t, 400, compute_intraday_rel_volume), inc(t, 400, compute_intraday_rel_volume);
  ASSERT_EQ(compute_intraday_rel_volume(full.chart(), whole.s, 1), 1);
  for (int i = 0; i < 300; i++) {
    live.add(0, 0, 0, 0) = full.storage[i];
    ASSERT_EQ(compute_intraday_rel_volume(live.chart(), inc.s, i == 0), 1);
  }
  int values = 0;
  for (int i = 0; i < 300; i++) {
    float a = whole.at(i), b = inc.at(i);
    if (study_is_missing(a)) continue;
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0) << "slot " << i << ": " << a << " vs " << b;
    values++;
  }
  EXPECT_GT(values, 100);
}

// Days laid out as the days before them are taken a whole day at a time;
// a day that breaks the layout (a time missing, repeated, moved or added,
// a short day, a day's volume past 2^24) is taken bar by bar.  Around
// every break, each value of the long computation is the one the live
// chart had for that bar.
TEST(StudyDaily, IntradayVolumesOnRegularDaysWithBreaks) {
  // r: the twelve times; m: one missing; d: one repeated; s: the first
  // seven only; e: one moved; x: one added after the last; b: volumes
  // whose running sum passes 2^24
  const char *days = "xrxrexrxerrrrrrmrrrrrdrrrrsrrrrrrbrrmrrrrbbrrrdrrrrr";
  test_chart full(700, 5);
  for (int d = 0; days[d]; d++) {
    char kind = days[d];
    for (int k = 0; k < 13; k++) {
      if ((k == 12 && kind != 'x') || (k == 4 && kind == 'm') || (k >= 7 && kind == 's')) continue;
      int sec = 34200 + 300 * k + (k == 9 && kind == 'e' ? 60 : 0);
      int t = at(20240102, sec) + d * 86400;
      full.add(1, 1, 1, 1, kind == 'b' ? 3000001 + k : 1 + (d * 131 + k * 17) % 997, t);
      if (k == 6 && kind == 'd') full.add(1, 1, 1, 1, 5 + d, t);
    }
  }
  struct study_case {
    int type;
    StudyComputeFn fn;
    int series;
    int min_values;  // of series 1: the relative volume stops at its last bar without
  } cases[] = {{STUDY_INTRADAY_REL_VOLUME, compute_intraday_rel_volume, 2, 400},
               {STUDY_INTRADAY_ACC_VOLUME, compute_intraday_acc_volume, 3, 500}};
  for (const study_case &sc : cases) {
    for (int n : {1, 3, 5}) {
      SCOPED_TRACE(testing::Message() << std::hex << sc.type << std::dec << " period " << n);
      test_chart live(700, 5);
      StudyDef t = study_template(sc.type, n);
      test_study whole(t, 700, sc.fn), inc(t, 700, sc.fn);
      ASSERT_EQ(sc.fn(full.chart(), whole.s, 1), 1);
      int values = 0;
      for (int i = 0; i < full.count(); i++) {
        live.add(0, 0, 0, 0) = full.storage[i];
        int done = sc.fn(live.chart(), inc.s, i == 0);
        ASSERT_EQ(done, i > 0 || sc.series == 2 ? 1 : 0);  // the accumulation needs two bars
        if (study_is_missing(whole.at(i))) continue;
        values++;
        for (int k = 0; k < sc.series; k++) {
          float a = whole.at(i, k), b = inc.at(i, k);
          EXPECT_EQ(memcmp(&a, &b, sizeof a), 0)
              << "slot " << i << " series " << k << ": " << a << " vs " << b;
        }
      }
      EXPECT_GT(values, sc.min_values);
    }
  }
}

// Quotes that change the last bar again reuse the earlier days' sum the
// update before found for it; a last bar that now stands at another time
// (the slot taken over by a later bar) is searched for again.  Every step
// equals a computation from the first bar.
TEST(StudyDaily, IntradayRelativeVolumeFollowsTheLastBar) {
  test_chart c(64, 5);
  for (int d = 0; d < 4; d++)
    for (int k = 0; k < (d < 3 ? 6 : 5); k++)  // the last day stops a slot early
      c.add(1, 1, 1, 1, 100 + 37 * d + 11 * k, at(20240102 + d, 34200 + 300 * k));
  StudyDef t = study_template(STUDY_INTRADAY_REL_VOLUME, 3);
  test_study inc(t, 64, compute_intraday_rel_volume);
  ASSERT_EQ(compute_intraday_rel_volume(c.chart(), inc.s, 1), 1);
  chart_bar &last = c.storage[c.count() - 1];
  struct change {
    int volume, time_step;  // the last bar's new volume; its time moved on by slots
  } steps[] = {{500, 0}, {900, 0}, {40, 1}, {41, 0}, {700, 1}, {0, 0}};
  for (const change &ch : steps) {
    last.volume = ch.volume;
    last.time += 300 * ch.time_step;
    ASSERT_EQ(compute_intraday_rel_volume(c.chart(), inc.s, 0), 1);
    test_study whole(t, 64, compute_intraday_rel_volume);
    ASSERT_EQ(compute_intraday_rel_volume(c.chart(), whole.s, 1), 1);
    float a = inc.at(c.count() - 1), b = whole.at(c.count() - 1);
    EXPECT_EQ(memcmp(&a, &b, sizeof a), 0)
        << ch.volume << "/" << ch.time_step << ": " << a << " vs " << b;
  }
}

TEST(StudyDaily, IntradayRelativeAndAccumulatedVolume) {
  test_chart c(16, 5);
  const int vols[3][2] = {{10, 20}, {30, 40}, {40, 90}};
  for (int d = 0; d < 3; d++)
    for (int k = 0; k < 2; k++) c.add(1, 1, 1, 1, vols[d][k], at(20240102 + d, 34200 + 300 * k));
  test_study rel(study_template(STUDY_INTRADAY_REL_VOLUME, 2), 16, compute_intraday_rel_volume);
  EXPECT_EQ(compute_intraday_rel_volume(c.chart(), rel.s, 1), 1);
  const float want_rel[6] = {M, M, M, M, 200, 300};  // 40 / mean(30, 10), 90 / mean(40, 20)
  for (int i = 0; i < 6; i++) {
    if (study_is_missing(want_rel[i])) {
      EXPECT_TRUE(study_is_missing(rel.at(i))) << i;
    } else {
      EXPECT_FLOAT_EQ(rel.at(i), want_rel[i]) << i;
      EXPECT_FLOAT_EQ(rel.at(i, 1), want_rel[i]) << i;
    }
  }

  // period 1: a = 1, so series 3 is the day's running volume at that time
  test_study acc(study_template(STUDY_INTRADAY_ACC_VOLUME, 1), 16, compute_intraday_acc_volume);
  EXPECT_EQ(compute_intraday_acc_volume(c.chart(), acc.s, 1), 1);
  const float running[6] = {10, 30, 30, 70, 40, 130};
  const float ratio[6] = {M, M, 300, 70 / 30.f * 100, 40 / 30.f * 100, 130 / 70.f * 100};
  for (int i = 0; i < 6; i++) {
    EXPECT_FLOAT_EQ(acc.at(i, 1), running[i]) << i;
    EXPECT_FLOAT_EQ(acc.at(i, 2), running[i]) << i;
    if (study_is_missing(ratio[i]))
      EXPECT_TRUE(study_is_missing(acc.at(i))) << i;
    else
      EXPECT_FLOAT_EQ(acc.at(i), ratio[i]) << i;
  }

  // no smoothing without a period
  for (int period : {0, -1}) {
    test_study bad(study_template(STUDY_INTRADAY_ACC_VOLUME, period), 16,
                   compute_intraday_acc_volume);
    compute_intraday_acc_volume(c.chart(), bad.s, 1);
    for (int k = 0; k < 3; k++)
      for (int i = 0; i < 6; i++)
        EXPECT_TRUE(study_is_missing(bad.at(i, k))) << period << " " << k << " " << i;
  }
}

// The day's volume so far is a float sum taken bar by bar: once it passes
// 2^24 each bar's sum is rounded (16777216 + 1 stays 16777216), in a full
// computation and in a live update that goes on from a sum past 2^24.
TEST(StudyDaily, IntradayAccumulatedVolumeRoundsPastTwoToThe24) {
  const int vols[] = {16777215, 1, 1, 1, 2, 5};
  const float running[] = {16777215, 16777216, 16777216, 16777216, 16777218, 16777224};
  test_chart c(16, 5);
  StudyDef t = study_template(STUDY_INTRADAY_ACC_VOLUME, 1);
  test_study whole(t, 16, compute_intraday_acc_volume), live(t, 16, compute_intraday_acc_volume);
  for (int i = 0; i < 6; i++) {
    c.add(1, 1, 1, 1, vols[i], at(20240102, 34200 + 300 * i));
    if (i >= 1) {
      ASSERT_EQ(compute_intraday_acc_volume(c.chart(), live.s, i == 1), 1);
    }
  }
  ASSERT_EQ(compute_intraday_acc_volume(c.chart(), whole.s, 1), 1);
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(whole.at(i, 1), running[i]) << i;
    EXPECT_EQ(live.at(i, 1), running[i]) << i;
  }
}

TEST(StudyDaily, TradingSeriesCarryTheLastValue) {
  test_chart c(8, 5);
  for (int i = 0; i < 3; i++) c.add_close(1);
  StudyDef *sig = find_or_create_study(c.chart(), STUDY_TRADE_SIGNALS);
  StudyDef *eq = find_or_create_study(c.chart(), STUDY_EQUITY);
  uint32_t word = 0xFFC00005u;
  memcpy(&sig->outputs[1], &word, 4);
  eq->outputs[1] = 1234.5f;
  recalc_studies(c.chart(), 0);  // the window is not recomputing: nothing moves
  EXPECT_TRUE(study_is_missing(eq->outputs[2]));
  c.rec.header.flags |= CHART_RECALC;
  recalc_studies(c.chart(), 0);
  EXPECT_FLOAT_EQ(eq->outputs[2], 1234.5f);
  uint32_t got;
  memcpy(&got, &sig->outputs[2], 4);
  EXPECT_EQ(got, 5u);
}

class StudyDataFile : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
  }
  SettingsSaver settings_saver_;  // g_settings put back after the test
};

TEST_F(StudyDataFile, ValuesLandOnTheBarsOfTheirDate) {
  root_.write("IMPORT/signal.txt",
              "1/2/2024 5.5\n"
              "1/4/2024,7\r\n"
              "1/5/2024\t-1.25\n"  // no bar that day
              "not a date 3\n"
              "1/3/2024 8\n"
              "1/2/2024 6.5\n");  // the later line wins
  test_chart c(16, 5);
  for (int d = 0; d < 3; d++)
    for (int k = 0; k < 2; k++) c.add_close(1, 0).time = at(20240102 + d, 34200 + 300 * k);
  StudyDef *s =
      find_or_create_study(c.chart(), STUDY_DATA_FILE, "IMPORT\\signal.txt", "SIGNAL12", 0x700);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->type, STUDY_DATA_FILE | 0x700);
  EXPECT_EQ(memcmp(s->abbrev, "SIGNAL12", 8), 0);
  EXPECT_EQ(s->pane_group, 4u);
  const float want[6] = {6.5f, 6.5f, 8, 8, 7, 7};
  for (int i = 0; i < 6; i++) EXPECT_FLOAT_EQ(s->outputs[i], want[i]) << i;
  EXPECT_TRUE(study_is_missing(s->outputs[6]));
}

TEST_F(StudyDataFile, MissingFileIsReported) {
  test_chart c(4, 390);
  c.add_close(1);
  StatusCapture cap;
  StudyDef *s = find_or_create_study(c.chart(), STUDY_DATA_FILE, "IMPORT/none.txt", "X", 0);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(cap.saw("can't open file:"));
  EXPECT_TRUE(study_is_missing(s->outputs[0]));
}
