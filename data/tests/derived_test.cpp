// Derived charts: n-minute and n-day bars from the 1-minute and daily
// charts, tick and volume bars of a multiple of the base unit; and the
// time-axis marks of every kind of chart.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/dates.h"
#include "data/derived.h"
#include "data/timemarks.h"
#include "platform/testing/fixture.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "studies/study.h"
#include "settings/testing/settings_saver.h"

namespace {

constexpr int32_t DAY0 = 1709510400;  // 2024-03-04 00:00, a Monday
constexpr int32_t H = 3600, M = 60;

struct bar_spec {
  int32_t time;
  float open, high, low, close;
  int32_t volume;
  uint32_t flags;
  float vwap;
};

class DerivedTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    g_settings.KeepNumDays1Min = 10;
    // A compressed chart takes its base chart's studies and a chart let
    // go releases its live-quote record, as at start-up.
    saved_hooks_ = g_chart_load_hooks;
    install_study_chart_hooks();
    g_chart_load_hooks.delete_multiquote = delete_multiquote;
  }
  void TearDown() override {
    for (chart_rec* c : made_) free_chart_data(c);
    while (g_chart_list) unlist_chart(g_chart_list);
    g_chart_load_hooks = saved_hooks_;
    TempRootTest::TearDown();
  }
  chart_rec* chart(int unit, const std::vector<bar_spec>& bars) {
    chart_rec* c = new_chart("TEST", unit);
    if (c->spare < (int)bars.size()) grow_chart_bars(c, (int)bars.size());
    for (const bar_spec& s : bars) {
      chart_bar& b = c->bars[c->header.bar_count++];
      b.open = s.open;
      b.high = s.high;
      b.low = s.low;
      b.close = s.close;
      b.volume = s.volume;
      b.flags = s.flags;
      b.vwap = s.vwap;
      b.time = s.time;
      c->spare--;
    }
    set_chart_dates(c);
    made_.push_back(c);
    return c;
  }
  chart_rec* keep(chart_rec* c) {
    if (c) made_.push_back(c);
    return c;
  }
  // Bars at the given times, closes 1, 2, 3 ..., volume 10 each.
  chart_rec* chart_at(int unit, const std::vector<int32_t>& times) {
    std::vector<bar_spec> bars;
    float p = 1;
    for (int32_t t : times) {
      bars.push_back({t, p, p + 0.5f, p - 0.5f, p, 10, BAR_VOLUME_VALID, 0});
      p += 1;
    }
    return chart(unit, bars);
  }

  SettingsSaver settings_saver_;  // g_settings put back after the test
  chart_load_hooks saved_hooks_;
  std::vector<chart_rec*> made_;
};

constexpr uint32_t V = BAR_VOLUME_VALID;

TEST_F(DerivedTest, MinuteBarsFormSlotsStampedWithTheSlotStart) {
  int32_t t0 = DAY0 + 9 * H + 30 * M;
  chart_rec* one =
      chart(TU_1MIN, {
                         {t0 + 0 * M, 10, 11, 9.5f, 10.5f, 100, V | BAR_EXTRA_VWAP, 10},
                         {t0 + 1 * M, 10.5f, 12, 10, 11, 300, V | BAR_EXTRA_VWAP, 11},
                         {t0 + 2 * M, 11, 11.5f, 8, 9, 0, BAR_EXTRA_VWAP, 99},  // volume not valid
                         {t0 + 3 * M, 9, 10, 9, 9.5f, 100, V, 0},
                         {t0 + 4 * M, 9.5f, 10, 9.2f, 9.8f, 100, V | BAR_PROVISIONAL, 0},
                         {t0 + 5 * M, 9.8f, 10, 9.7f, 9.9f, 50, V, 0},
                         {t0 + 86400, 20, 21, 19, 20.5f, 5, V, 0},  // next day, same time
                     });
  chart_rec* five = keep(compress_minute_chart(one, 5));
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(five->header.time_unit, 5);
  EXPECT_STREQ(five->header.symbol, "TEST");
  EXPECT_FALSE(five->header.flags & CHART_LISTED);
  EXPECT_TRUE(five->header.flags & CHART_BARS_CHANGED);
  EXPECT_EQ(five->session_offset, 0);
  EXPECT_EQ(five->spare, initial_bar_capacity(5));
  ASSERT_EQ(five->header.bar_count, 3);
  const chart_bar& b = five->bars[0];
  EXPECT_EQ(b.time, t0);
  EXPECT_FLOAT_EQ(b.open, 10);
  EXPECT_FLOAT_EQ(b.high, 12);
  EXPECT_FLOAT_EQ(b.low, 8);
  EXPECT_FLOAT_EQ(b.close, 9.8f);
  EXPECT_EQ(b.volume, 600);
  EXPECT_FLOAT_EQ(b.vwap, (10 * 100 + 11 * 300) / 400.0f);
  EXPECT_TRUE(b.flags & BAR_PROVISIONAL);
  EXPECT_EQ(five->bars[1].time, t0 + 5 * M);
  EXPECT_EQ(five->bars[1].volume, 50);
  EXPECT_EQ(five->bars[2].time, t0 + 86400);
  EXPECT_EQ(five->header.last_date, 20240305);

  // A first bar without valid volume starts the group at 0.
  chart_rec* novol = chart_at(TU_1MIN, {t0, t0 + M});
  novol->bars[0].flags = 0;
  chart_rec* two = keep(compress_minute_chart(novol, 2));
  ASSERT_EQ(two->header.bar_count, 1);
  EXPECT_EQ(two->bars[0].volume, 10);

  // Volumes beyond the 32-bit field are held at its largest value.
  chart_rec* big = chart_at(TU_1MIN, {t0, t0 + M, t0 + 2 * M});
  for (int i = 0; i < 3; i++) big->bars[i].volume = INT32_MAX;
  chart_rec* ten = keep(compress_minute_chart(big, 10));
  EXPECT_EQ(ten->bars[0].volume, INT32_MAX);
}

TEST_F(DerivedTest, UnitsOfThirteenMinutesRunFromNineThirty) {
  int32_t t0 = DAY0 + 9 * H + 30 * M;
  chart_rec* one =
      chart_at(TU_1MIN, {t0 - M, t0, t0 + 12 * M, t0 + 13 * M, t0 + 25 * M, t0 + 26 * M});
  chart_rec* c = keep(compress_minute_chart(one, 13));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->session_offset, 34200);
  ASSERT_EQ(c->header.bar_count, 4);
  EXPECT_EQ(c->bars[0].time, t0 - 13 * M);  // 9:29 falls in the slot before 9:30
  EXPECT_EQ(c->bars[1].time, t0);
  EXPECT_FLOAT_EQ(c->bars[1].close, 3);     // 9:30 and 9:42
  EXPECT_EQ(c->bars[2].time, t0 + 13 * M);  // 9:43 and 9:55
  EXPECT_EQ(c->bars[3].time, t0 + 26 * M);
  EXPECT_EQ(c->bars[2].volume, 20);

  // The slot that holds midnight is cut there: a bar of one date never
  // joins a bar of the next, and is stamped on its own date.
  int32_t late = DAY0 + 23 * H + 58 * M, early = DAY0 + 86400 + M;
  for (int unit : {13, 389}) {
    chart_rec* night = chart_at(TU_1MIN, {late, early});
    chart_rec* n = keep(compress_minute_chart(night, unit));
    ASSERT_EQ(n->header.bar_count, 2) << unit;
    EXPECT_EQ(n->bars[1].time, DAY0 + 86400) << unit;
    EXPECT_EQ(seconds_to_date(n->bars[0].time), 20240304) << unit;
  }
}

TEST_F(DerivedTest, DayUnitsGroupDailyBarsBackFromTheLast) {
  std::vector<int32_t> days;
  for (int i = 0; i < 7; i++) days.push_back(DAY0 + i * 86400);
  chart_rec* daily = chart_at(TU_DAILY, days);

  chart_rec* two = keep(compress_minute_chart(daily, TU_2DAY));
  ASSERT_NE(two, nullptr);
  ASSERT_EQ(two->header.bar_count, 3);  // the oldest bar is left out
  EXPECT_EQ(two->bars[0].time, DAY0 + 86400);
  EXPECT_FLOAT_EQ(two->bars[0].open, 2);
  EXPECT_FLOAT_EQ(two->bars[0].close, 3);
  EXPECT_FLOAT_EQ(two->bars[2].close, 7);
  EXPECT_EQ(two->header.first_date, 20240305);

  chart_rec* five = keep(compress_minute_chart(daily, TU_5DAY));
  ASSERT_EQ(five->header.bar_count, 1);
  EXPECT_FLOAT_EQ(five->bars[0].high, 7.5f);
  EXPECT_FLOAT_EQ(five->bars[0].low, 2.5f);
  EXPECT_EQ(five->bars[0].volume, 50);

  chart_rec* twenty = keep(compress_minute_chart(daily, TU_20DAY));
  EXPECT_EQ(twenty->header.bar_count, 0);
  chart_rec* weekly = keep(compress_minute_chart(daily, TU_WEEKLY));
  ASSERT_NE(weekly, nullptr);
  EXPECT_EQ(weekly->header.bar_count, 0);
  // Plain daily bars come out one for one rather than dividing by zero.
  chart_rec* same = keep(compress_minute_chart(daily, TU_DAILY));
  EXPECT_EQ(same->header.bar_count, 7);
  // An empty source gives an empty record.
  chart_rec* empty = keep(compress_minute_chart(chart_at(TU_1MIN, {}), 5));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->header.bar_count, 0);
}

TEST_F(DerivedTest, TickChartsGroupBaseBarsAndTakeTheBaseLinks) {
  const int base_unit = TU_TICK_BASE - 10;  // 10-tick bars
  std::vector<int32_t> times;
  for (int i = 0; i < 7; i++) times.push_back(DAY0 + 10 * H + i * 7);
  chart_rec* base = chart_at(base_unit, times);
  base->base = base;
  base->header.flags |= CHART_INHERITED;
  base->header.unit_count1 = 4;
  base->header.unit_count2 = 4;
  base->axis_density = 2;
  base->bars[1].flags |= BAR_PROVISIONAL;
  for (int i = 0; i < 7; i++) {
    base->bars[i].flags |= BAR_EXTRA_ADDITIVE;
    base->bars[i].extra = i + 1;
  }
  mqt* record = create_multiquote_struct(base->header.symbol);
  base->mqt = record;

  // Studies: an equity line and trade signals come from the base.
  StudyDef templ{};
  templ.type = STUDY_EQUITY;
  StudyDef* equity = create_study(base, &templ);
  templ.type = STUDY_TRADE_SIGNALS;
  StudyDef* signals = create_study(base, &templ);
  ASSERT_NE(equity, nullptr);
  ASSERT_NE(signals, nullptr);
  for (int i = 0; i < 7; i++) {
    equity->outputs[i] = 100.0f + i;
    uint32_t w = (uint32_t)i | (i == 3 ? 0x800000u : 0);
    memcpy(&signals->outputs[i], &w, 4);
  }

  chart_rec* c = compress_tick_chart(base, 3, 1);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.time_unit, TU_TICK_BASE - 30);
  EXPECT_EQ(c->ticks_per_bar, 30);
  EXPECT_TRUE(c->header.flags & CHART_LISTED);
  EXPECT_TRUE(c->header.flags & CHART_READ_ONLY);
  EXPECT_TRUE(c->header.flags & CHART_INHERITED);
  EXPECT_EQ(c->base, base);
  EXPECT_EQ(c->mqt, record);
  EXPECT_EQ(record->users, 2);
  EXPECT_EQ(record->intraday_charts, c);
  EXPECT_EQ(c->axis_density, 2);
  ASSERT_NE(c->axis_marks, nullptr);
  ASSERT_EQ(c->header.bar_count, 2);  // bars 1-3 and 4-6
  EXPECT_EQ(c->bars[0].time, times[1]);
  EXPECT_FLOAT_EQ(c->bars[0].open, 2);
  EXPECT_FLOAT_EQ(c->bars[0].close, 4);
  EXPECT_FLOAT_EQ(c->bars[0].high, 4.5f);
  EXPECT_FLOAT_EQ(c->bars[0].low, 1.5f);
  EXPECT_EQ(c->bars[0].volume, 30);
  EXPECT_EQ(c->bars[0].extra, 2 + 3 + 4);
  EXPECT_TRUE(c->bars[0].flags & BAR_PROVISIONAL);
  EXPECT_FALSE(c->bars[1].flags & BAR_PROVISIONAL);
  // The last group is full, and the base's last bar holds 4 ticks so far.
  EXPECT_EQ(c->header.unit_count1, 4 + 2 * 10);

  int found = 0;
  for (StudyDef* s = c->studies; s; s = s->next) {
    if (s->type == STUDY_EQUITY) {
      found |= 1;
      EXPECT_FLOAT_EQ(s->outputs[0], 103);
      EXPECT_FLOAT_EQ(s->outputs[1], 106);
    } else if (s->type == STUDY_TRADE_SIGNALS) {
      found |= 2;
      uint32_t w;
      memcpy(&w, &s->outputs[0], 4);
      EXPECT_EQ(w, 3u | 0x800000u);
      memcpy(&w, &s->outputs[1], 4);
      EXPECT_EQ(w, 6u);
    }
  }
  EXPECT_EQ(found, 3);

  // A last group still filling counts its full base bars too.
  base->header.unit_count1 = 0;
  chart_rec* p = keep(compress_tick_chart(base, 4, 0));
  ASSERT_EQ(p->header.bar_count, 2);
  EXPECT_EQ(p->header.unit_count1, 2 * 10);
  EXPECT_EQ(record->users, 3);

  EXPECT_EQ(base->references, 3);  // each compressed chart holds its base

  free_chart_data(c);
  EXPECT_EQ(record->users, 2);
  EXPECT_EQ(record->intraday_charts, p);
  EXPECT_EQ(base->references, 2);

  // The base's window goes first: the compressed chart still reaches the
  // annotation blocks kept on the base.
  base->mqt = nullptr;
  record->users--;
  made_.erase(made_.begin());  // the base
  free_chart_data(base);
  ASSERT_NE(add_chart_extension(p), nullptr);
  EXPECT_EQ(chart_extension_count(p), 1);
  p->header.flags &= ~CHART_EXT_CHANGED;
}

TEST_F(DerivedTest, OnlyTickAndVolumeBasesAndUnitsThatFitAreCompressed) {
  chart_rec* vol = chart_at(TU_VOLUME_BASE - 500, {DAY0, DAY0 + 1, DAY0 + 2});
  chart_rec* c = keep(compress_tick_chart(vol, 2, 0));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.time_unit, TU_VOLUME_BASE - 1000);
  EXPECT_EQ(c->header.volume_per_bar, 1000);
  EXPECT_EQ(c->header.bar_count, 2);

  EXPECT_EQ(compress_tick_chart(chart_at(TU_1MIN, {DAY0}), 2, 0), nullptr);
  EXPECT_EQ(compress_tick_chart(chart_at(-5, {DAY0}), 2, 0), nullptr);
  EXPECT_EQ(compress_tick_chart(vol, 0, 0), nullptr);
  EXPECT_EQ(compress_tick_chart(vol, 300000000, 0), nullptr);  // beyond a volume code
  chart_rec* tick = chart_at(TU_TICK_BASE - 1000, {DAY0});
  EXPECT_EQ(compress_tick_chart(tick, 1000000, 0), nullptr);  // would become a volume code
  // A first bar past the end gives an empty chart.
  chart_rec* e = keep(compress_tick_chart(tick, 2, 99));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->header.bar_count, 0);
}

// ---- time-axis marks ---------------------------------------------------------

struct mark_case {
  int unit;
  int density;
  int32_t time;  // of the marked bar; the bar before it is one unit earlier
  int level;
  const char* label;
};

TEST_F(DerivedTest, TimeMarksFollowTheTimeOfDay) {
  int32_t d = DAY0;
  mark_case cases[] = {
      {1, 0, d + 10 * H, 4, "10:00"},
      {1, 0, d + 10 * H + 5 * M, 2, ""},
      {1, 0, d + 10 * H + 1 * M, 1, ""},
      {1, 0, d + 10 * H + 10 * M, 3, ""},
      {1, 1, d + 10 * H + 10 * M, 3, "10:10"},
      {2, 1, d + 10 * H + 15 * M, 0, "10:15"},  // 900 is no level step of unit 2
      {5, 0, d + 11 * H, 4, "11"},              // the hour alone
      {5, 2, d + 11 * H + 30 * M, 3, "11:30"},
      {6, 0, d + 10 * H + 6 * M, 1, ""},  // 360 s steps at density 0
      {6, 1, d + 10 * H + 5 * M, 1, ""},
      {13, 1, d + 9 * H + 30 * M, 4, "09:30"},
      {13, 1, d + 9 * H + 43 * M, 1, ""},
      {13, 2, d + 10 * H + 35 * M, 3, "10:35"},  // 65 minutes after 9:30
      {-5, 0, d + 10 * H + 2 * M, 4, "10:02"},
      {-30, 2, d + 10 * H + 10 * M, 4, "10:10"},
  };
  for (const mark_case& k : cases) {
    int step = k.unit > 0 ? k.unit * 60 : -k.unit;
    chart_rec* c = chart_at(k.unit, {k.time - step, k.time});
    if (k.unit == 13) c->session_offset = 34200;
    c->axis_density = (int16_t)k.density;
    EXPECT_EQ(calc_time_axis_labels(c), 2);
    EXPECT_EQ(c->axis_marks[1].level, k.level) << k.unit << "/" << k.density << " " << k.label;
    EXPECT_STREQ(c->axis_marks[1].label, k.label) << k.unit << "/" << k.density;
  }
}

TEST_F(DerivedTest, TimeMarksOfLongerBarsNameDaysMonthsAndYears) {
  // 30-minute bars: the first bar of each day carries its date.
  chart_rec* c30 = chart_at(30, {DAY0 + 15 * H, DAY0 + 15 * H + 30 * M, DAY0 + 86400 + 10 * H});
  set_time_axis_density(c30, 1);
  EXPECT_EQ(c30->axis_marks[0].level, 2);
  EXPECT_STREQ(c30->axis_marks[0].label, "03/04");
  EXPECT_EQ(c30->axis_marks[1].level, 0);
  EXPECT_STREQ(c30->axis_marks[2].label, "03/05");
  // 10-minute bars at density 0 are marked the same way.
  chart_rec* c10 = chart_at(10, {DAY0 + 10 * H, DAY0 + 10 * H + 10 * M});
  set_time_axis_density(c10, 0);
  EXPECT_STREQ(c10->axis_marks[0].label, "03/04");
  EXPECT_EQ(c10->axis_marks[1].level, 0);

  // Month starts: 2023-12-29, 2024-01-02, 2024-01-03, 2024-02-01, 2024-06-03, 2024-06-04.
  const int64_t dec29 = DAY0 - 66 * 86400;
  std::vector<int32_t> t = {(int32_t)dec29,
                            (int32_t)(dec29 + 4 * 86400),
                            (int32_t)(dec29 + 5 * 86400),
                            (int32_t)(dec29 + 34 * 86400),
                            (int32_t)(DAY0 + 91 * 86400),
                            (int32_t)(DAY0 + 92 * 86400)};
  struct {
    int unit, density;
    int levels[6];
    const char* labels[6];
  } months[] = {
      {TU_DAILY, 0, {2, 2, 1, 2, 2, 1}, {"Dec", "Jan24", "", "Feb", "Jun", ""}},
      {TU_WEEKLY, 0, {2, 2, 0, 2, 2, 0}, {"", "Jan24", "", "", "Jun", ""}},
      {TU_WEEKLY, 1, {2, 2, 1, 2, 2, 1}, {"", "Jan24", "", "", "", ""}},
      {TU_3DAY, 2, {2, 2, 1, 2, 2, 1}, {"Dec", "Jan24", "", "Feb", "Jun", ""}},
      {TU_MONTHLY, 0, {2, 2, 1, 1, 1, 1}, {"2023", "2024", "", "", "", ""}},
  };
  for (auto& m : months) {
    chart_rec* c = chart_at(m.unit, t);
    set_time_axis_density(c, m.density);
    for (int i = 0; i < 6; i++) {
      EXPECT_EQ(c->axis_marks[i].level, m.levels[i]) << m.unit << "/" << m.density << " bar " << i;
      EXPECT_STREQ(c->axis_marks[i].label, m.labels[i])
          << m.unit << "/" << m.density << " bar " << i;
    }
  }
}

TEST_F(DerivedTest, TickMarksCountBars) {
  std::vector<int32_t> t(30, DAY0);
  chart_rec* c = chart_at(TU_TICK_BASE - 5, t);
  ASSERT_EQ(set_time_axis_density(c, 7), 30);  // an unknown density counts as 0
  EXPECT_EQ(c->axis_density, 0);
  EXPECT_EQ(c->axis_marks[0].level, 3);
  EXPECT_STREQ(c->axis_marks[0].label, "0");
  EXPECT_EQ(c->axis_marks[1].level, 1);
  EXPECT_EQ(c->axis_marks[5].level, 2);
  EXPECT_STREQ(c->axis_marks[20].label, "20");
  EXPECT_EQ(c->axis_marks[20].level, 3);

  std::vector<int32_t> many(10000, DAY0);
  chart_rec* m = chart_at(TU_VOLUME_BASE - 100, many);
  calc_time_axis_labels(m);
  EXPECT_STREQ(m->axis_marks[10].label, "");
  EXPECT_EQ(m->axis_marks[10].level, 2);
  EXPECT_STREQ(m->axis_marks[9975].label, "9975");
  // The array covers the spare slots too.
  EXPECT_EQ(m->axis_marks[m->header.bar_count + m->spare - 1].level, 0);
}

}  // namespace
