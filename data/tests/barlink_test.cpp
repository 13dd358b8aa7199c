#include "data/barlink.h"

#include <gtest/gtest.h>

#include <vector>

#include "data/chart.h"
#include "data/dates.h"
#include "quotes/mqt.h"

namespace {

TEST(TimeunitRatio, Table) {
  struct Case {
    int a, b, ratio;
  } cases[] = {
      {1, 390, 390},
      {5, 390, 78},
      {390, 2730, 7},
      {-110, -200, 10},                // 10-tick to 100-tick bars
      {-1000000100, -1000001000, 10},  // volume bars of 100 and 1000
      {0, 390, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(timeunit_ratio(c.a, c.b), c.ratio) << c.a << " " << c.b;
}

chart_bar bar(int time, float close) {
  chart_bar b{};
  b.open = b.high = b.low = b.close = close;
  b.high += 1;
  b.low -= 1;
  b.time = time;
  return b;
}

TEST(SyncBarToLink, OneMinuteBarReplacesTheRecentBarOfItsTime) {
  std::vector<chart_bar> bars = {bar(1000, 10), bar(1060, 11)};
  mqt *rec = new mqt{};
  rec->recent_bars[3] = bar(1060, 5);
  chart_rec chart{};
  chart.header.time_unit = 1;
  chart.header.bar_count = 2;
  chart.bars = bars.data();
  chart.mqt = rec;
  sync_bar_to_link(&chart, 1);
  EXPECT_EQ(rec->recent_bars[3].close, 11);
  sync_bar_to_link(&chart, 5);  // out of range: nothing
  delete rec;
}

TEST(SyncBarToLink, DailyLastBarOfTheRecordsDayGoesToTheDayValues) {
  int64_t day = date_to_seconds(20070315, 0);
  std::vector<chart_bar> bars = {bar((int)(day - 86400), 9), bar((int)day, 12)};
  mqt *rec = new mqt{};
  rec->day_date = 20070315;
  chart_rec chart{};
  chart.header.time_unit = 390;
  chart.header.bar_count = 2;
  chart.bars = bars.data();
  chart.mqt = rec;
  sync_bar_to_link(&chart, 0);
  EXPECT_EQ(rec->day_close, 12);
  EXPECT_EQ(rec->day_close2, 12);
  EXPECT_EQ(rec->day_high, 13);
  EXPECT_EQ(rec->day_low2, 11);
  rec->day_date = 20070316;
  bars[1].close = 20;
  sync_bar_to_link(&chart, 1);
  EXPECT_EQ(rec->day_close, 12);
  delete rec;
}

}  // namespace
