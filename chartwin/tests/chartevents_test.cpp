// Which events fall on a chart bar: intraday bars span their unit in
// minutes (seconds on a seconds chart), also for events after the last bar.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "chart/chart_hooks.h"
#include "chartwin/chartevents.h"
#include "data/chart.h"
#include "data/dates.h"

namespace {

struct Fixture {
  chart_rec chart{};
  std::vector<chart_bar> bars;
  Fixture(int unit, std::vector<int64_t> times) {
    for (int64_t t : times) {
      chart_bar b{};
      b.time = (int32_t)t;
      bars.push_back(b);
    }
    chart.bars = bars.data();
    chart.header.bar_count = (int)bars.size();
    chart.header.time_unit = unit;
  }
};

event_rec at(int date, int secs) {
  event_rec e{};
  e.time = date_to_seconds(date, secs);
  return e;
}

constexpr int D = 20260105;  // a Monday
int hm(int h, int m, int s = 0) {
  return h * 3600 + m * 60 + s;
}

TEST(ChartEvents, EventFallsOnTheBarWhoseSpanHoldsIt) {
  Fixture five(5, {date_to_seconds(D, hm(9, 30)), date_to_seconds(D, hm(9, 35)),
                   date_to_seconds(D, hm(9, 40))});
  Fixture secs(-15, {date_to_seconds(D, hm(9, 30)), date_to_seconds(D, hm(9, 30, 15))});
  Fixture daily(390, {date_to_seconds(D, 0), date_to_seconds(add_days(D, 1), 0)});
  Fixture weekly(2730, {date_to_seconds(D, 0), date_to_seconds(add_days(D, 7), 0)});
  struct Case {
    const char* name;
    Fixture* f;
    event_rec ev;
    int expected_bar;  // -1 none; bar count = after the last bar
  } cases[] = {
      {"5 min inside second bar", &five, at(D, hm(9, 37)), 1},
      {"5 min inside last bar", &five, at(D, hm(9, 44)), 2},
      {"5 min after last bar", &five, at(D, hm(9, 46)), 3},
      {"5 min next day", &five, at(add_days(D, 1), hm(10, 0)), 3},
      {"5 min midnight, first bar of day", &five, at(D, 0), 0},
      {"15 s chart", &secs, at(D, hm(9, 30, 20)), 1},
      {"15 s after last", &secs, at(D, hm(9, 30, 31)), 2},
      {"daily same day", &daily, at(add_days(D, 1), hm(8, 0)), 1},
      {"daily after last", &daily, at(add_days(D, 2), 0), 2},
      {"weekly within week", &weekly, at(add_days(D, 3), 0), 0},
  };
  int today = 20991231;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int n = c.f->chart.header.bar_count;
    for (int i = 0; i <= n; i++)
      EXPECT_EQ(CEvents::EventOnBar(&c.f->chart, i, &c.ev, today), i == c.expected_bar ? 1 : 0)
          << i;
  }
}

TEST(ChartEvents, AfterTheLastBarCountsAtMostFiveAndTheHookIsSet) {
  Fixture daily(390, {date_to_seconds(D, 0)});
  std::vector<event_rec> evs(8);
  for (int i = 0; i < 8; i++) {
    evs[i] = at(add_days(D, 1 + i), 0);
    evs[i].next = i + 1 < 8 ? &evs[i + 1] : nullptr;
  }
  event_list saved = CEvents::s_list;
  CEvents::s_list = {&evs[0], 8};
  EXPECT_EQ(CEvents::CountBarEvents(&daily.chart, 1), 5);
  EXPECT_EQ(CEvents::CountBarEvents(&daily.chart, 0), 0);
  CEvents::s_list = saved;
}

}  // namespace
