// Charts and the one-minute ring following stored quotes: back-fill over
// the session map, same-slot, older and new-slot quotes, throttled posts,
// the 30-bar ring and its writes into the ".1min" file (deferred while
// another writer holds it, placed by time after a rewrite), the histogram
// and the per-minute volumes at the edge of their arrays.
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/markets.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "quotes/livechart.h"
#include "data/tests/status_capture.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

const int DAY = 20240102;
const uint32_t TRADE = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE;
const int OPEN = 9 * 3600 + 30 * 60;

int hm(int h, int m, int s = 0) {
  return h * 3600 + m * 60 + s;
}

class LiveChartTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    install_live_chart_hooks();
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    memset(&market, 0, sizeof market);
    strcpy(market.name, "NYSE");
    market.days = 0x3e;
    mark_market_hours(&market, OPEN, hm(16, 0), 0);
    r = create_multiquote_struct("IBM");
    r->market = &market;
    r->session_start = OPEN;
    r->session_end = hm(16, 0);
    g_settings.KeepIntradayData = 1;
    g_settings.ContUpdateDaily = 1;
    g_keep_ext_hours = 0;
    g_cycle_phase = 0;
  }
  void TearDown() override {
    for (chart_rec *c : charts) {
      free(c->bars);
      free(c->axis_marks);
      free(c);
    }
    r->intraday_charts = r->daily_charts = nullptr;
    r->flags &= ~MQT_1MIN_WRITABLE;  // nothing written while the record goes
    QuotesTest::TearDown();
  }
  chart_rec *chart(int unit) {
    chart_rec *c = new_chart("IBM", unit);
    c->mqt = r;
    append_chart_link(unit < TU_DAILY ? &r->intraday_charts : &r->daily_charts, c);
    charts.push_back(c);
    return c;
  }
  void trade(int time, float price, int size = 100, int date = DAY) {
    r->quote_date = date;
    r->trade_time = time;
    r->quote_time = time;
    r->last = price;
    r->last_size = size;
    r->feed_flags = TRADE;
    save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
  }
  static int tod(const chart_bar &b) { return b.time % 86400; }
  std::vector<int> times(chart_rec *c) {
    std::vector<int> t;
    for (int i = 0; i < c->header.bar_count; i++) t.push_back(tod(c->bars[i]));
    return t;
  }
  // The bars of the stored ".1min" file.
  std::vector<chart_bar> stored_minutes() {
    std::vector<chart_bar> out;
    char path[CHART_PATH_SIZE];
    chart_file_name(path, "IBM", TU_1MIN);
    int fd = open(path, O_RDONLY);
    if (fd < 0) return out;
    chart_rec *c = alloc_chart_rec();
    if (read_chart_header(c, fd) && !read_chart_body(c, fd, TU_1MIN, path))
      out.assign(c->bars, c->bars + c->header.bar_count);
    free_linked_blocks(c->extensions);
    free(c->bars);
    free(c);
    return out;
  }
  market_rec market;
  mqt *r = nullptr;
  std::vector<chart_rec *> charts;
};

TEST_F(LiveChartTest, FirstQuoteOfTheDayBackfillsFromTheOpeningSlotOverTheSessionMap) {
  // 9:45 to 9:55 is not a trading time.
  memset(market.minutes, 0, sizeof market.minutes);
  mark_market_hours(&market, OPEN, hm(9, 45), 0);
  mark_market_hours(&market, hm(9, 55), hm(16, 0), 0);
  chart_rec *c = chart(5);
  trade(hm(10, 2, 30), 100.0f);
  EXPECT_EQ(times(c), (std::vector<int>{hm(9, 30), hm(9, 35), hm(9, 40), hm(9, 55), hm(10, 0)}));
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(c->bars[i].flags & BAR_BACKFILLED, (uint32_t)BAR_BACKFILLED) << i;
    EXPECT_EQ(c->bars[i].close, 100.0f);
    EXPECT_EQ(c->bars[i].volume, 0);
  }
  const chart_bar &last = c->bars[4];
  EXPECT_EQ(last.flags & BAR_FLAT, 0u);  // traded in
  EXPECT_EQ(last.flags & BAR_CLOSE_TRADE, (uint32_t)BAR_CLOSE_TRADE);
  EXPECT_EQ(c->header.last_date, DAY);
  EXPECT_EQ(seconds_to_date(last.time), DAY);
}

TEST_F(LiveChartTest, SameSlotOlderAndLaterQuotes) {
  chart_rec *c = chart(5);
  trade(hm(10, 1), 100.0f);
  int n = c->header.bar_count;
  trade(hm(10, 3), 101.5f);  // same slot: the bar widens
  ASSERT_EQ(c->header.bar_count, n);
  EXPECT_EQ(c->bars[n - 1].high, 101.5f);
  EXPECT_EQ(c->bars[n - 1].close, 101.5f);
  EXPECT_EQ(c->bars[n - 1].low, 100.0f);
  trade(hm(9, 57), 90.0f);  // before the last bar: no bar changes
  EXPECT_EQ(c->header.bar_count, n);
  EXPECT_EQ(c->bars[n - 1].close, 101.5f);
  EXPECT_EQ(c->bars[n - 2].close, 100.0f);
  trade(hm(10, 12), 102.0f);  // two slots on: one flat bar, then the quote's
  ASSERT_EQ(c->header.bar_count, n + 2);
  EXPECT_EQ(tod(c->bars[n]), hm(10, 5));
  EXPECT_EQ(c->bars[n].close, 101.5f);
  EXPECT_EQ(c->bars[n].flags & BAR_FLAT, (uint32_t)BAR_FLAT);
  EXPECT_EQ(tod(c->bars[n + 1]), hm(10, 10));
  EXPECT_EQ(c->bars[n + 1].open, 102.0f);
  EXPECT_EQ(c->bars[n + 1].close, 102.0f);
  // A quote outside the session changes nothing.
  trade(hm(17, 0), 50.0f);
  EXPECT_EQ(c->header.bar_count, n + 2);
}

TEST_F(LiveChartTest, PostsAreThrottledUntilTheViewHandlesThem) {
  MessageSink sink;
  chart_rec *c = chart(1);
  c->owner_window = (uintptr_t)sink.wnd;
  for (int i = 0; i < 12; i++) trade(hm(10, 0, i), 100.0f + i * 0.01f);
  // Two posts, then two of every ten updates.
  EXPECT_EQ(sink.count(WM_UPDATE_FROM_THREAD), 4);
  c->post_count = 0;  // the view handled one
  trade(hm(10, 0, 30), 100.5f);
  EXPECT_EQ(sink.count(WM_UPDATE_FROM_THREAD), 5);
}

TEST_F(LiveChartTest, SecondsChartAfterALongGapNeverWritesPastItsBars) {
  chart_rec *c = chart(-5);
  trade(hm(9, 31), 100.0f);
  trade(hm(15, 59, 55), 101.0f);  // thousands of five-second slots at once
  ASSERT_GT(c->header.bar_count, 0);
  EXPECT_GE(c->spare, 0);
  EXPECT_EQ(tod(c->bars[c->header.bar_count - 1]), hm(15, 59, 55));
  EXPECT_EQ(c->bars[c->header.bar_count - 1].close, 101.0f);
  for (int i = 1; i < c->header.bar_count; i++) ASSERT_LT(c->bars[i - 1].time, c->bars[i].time);
}

TEST_F(LiveChartTest, VolumeBarsSpreadATradeOverFullBars) {
  chart_rec *c = chart(TU_VOLUME_BASE - 100);  // 100 shares a bar
  trade(hm(10, 0), 10.0f, 30);
  trade(hm(10, 0, 5), 12.0f, 180);  // fills the first bar, a full one and 10 shares
  ASSERT_EQ(c->header.bar_count, 3);
  EXPECT_EQ(c->bars[0].volume, 2);  // trades taken in
  EXPECT_FLOAT_EQ(c->bars[0].vwap, (10.0f * 30 + 12.0f * 70) / 100);
  EXPECT_EQ(c->bars[0].high, 12.0f);
  EXPECT_EQ(c->bars[0].close, 12.0f);
  EXPECT_EQ(c->bars[1].open, 12.0f);
  EXPECT_EQ(c->bars[1].volume, 1);
  EXPECT_EQ(c->bars[2].volume, 1);
  EXPECT_EQ(c->units_left, 90);
  trade(hm(10, 0, 9), 11.0f, 90);
  EXPECT_EQ(c->header.bar_count, 3);
  EXPECT_FLOAT_EQ(c->bars[2].vwap, (12.0f * 10 + 11.0f * 90) / 100);
  EXPECT_EQ(c->bars[2].low, 11.0f);
}

TEST_F(LiveChartTest, MinuteChartsRebuiltFromTheRing) {
  chart_rec *c1 = chart(1);
  chart_rec *c5 = chart(5);
  for (int m = 0; m < 12; m++) trade(OPEN + m * 60 + 10, 100.0f + m);
  // The relay's one-minute bars replace what the quotes made.
  for (int i = 0; i < r->recent_count; i++) {
    chart_bar &b = r->recent_bars[i];
    b.open = b.low = 50.0f + i;
    b.high = 60.0f + i;
    b.close = 55.0f + i;
    b.volume = 10;
  }
  int n1 = c1->header.bar_count, n5 = c5->header.bar_count;
  rebuild_minute_charts(r);
  ASSERT_EQ(c1->header.bar_count, n1);
  ASSERT_EQ(c5->header.bar_count, n5);
  EXPECT_EQ(c1->bars[n1 - 1].close, 55.0f + 11);
  EXPECT_EQ(times(c5), (std::vector<int>{OPEN, OPEN + 300, OPEN + 600}));
  EXPECT_EQ(c5->bars[1].open, 55.0f);  // minute 5
  EXPECT_EQ(c5->bars[1].high, 69.0f);  // minute 9
  EXPECT_EQ(c5->bars[1].low, 55.0f);
  EXPECT_EQ(c5->bars[1].close, 64.0f);
  EXPECT_EQ(c5->bars[1].volume, 50);
  EXPECT_EQ(c5->bars[2].volume, 20);
}

TEST_F(LiveChartTest, SeedingFromTheMinuteChart) {
  chart_rec *c = new_chart("IBM", TU_1MIN);
  charts.push_back(c);
  auto add = [&](int date, int time, float open, int volume) {
    chart_bar &b = c->bars[c->header.bar_count++];
    c->spare--;
    b = chart_bar{};
    b.open = b.high = b.low = b.close = open;
    b.volume = volume;
    b.time = (int32_t)date_to_seconds(date, time);
  };
  add(20240101, OPEN - 60, 90, 5);  // before the session: not counted
  for (int m = 0; m < 4; m++) add(20240101, OPEN + m * 60, 95, 10);
  add(20240101, OPEN + 6 * 60, 96, 10);  // minute 5 had no trade
  add(DAY, OPEN, 200, 7);
  add(DAY, OPEN + 60, 201, 8);

  StatusCapture status;
  c->header.time_unit = 5;
  init_mqt_from_1min(r, c);
  EXPECT_TRUE(status.saw("Wrong chart timeunit"));
  EXPECT_EQ(r->recent_count, 0);
  c->header.time_unit = TU_1MIN;

  init_mqt_from_1min(r, c);
  ASSERT_EQ(r->recent_count, 8);
  EXPECT_EQ(r->written_count, 8);
  EXPECT_EQ(r->unwritten_count, 0);
  EXPECT_EQ(r->recent_bars[7].close, 201.0f);
  EXPECT_EQ(r->open, 200.0f);
  EXPECT_EQ(r->newest_minute, OPEN / 60 + 1);
  EXPECT_EQ(r->minute_volume[MQT_VOLUME_MINUTES - 1], 8);
  EXPECT_EQ(r->minute_volume[MQT_VOLUME_MINUTES - 2], 7);
  EXPECT_EQ(r->minute_volume[MQT_VOLUME_MINUTES - 3], 0);  // yesterday's
  // Yesterday's volume by minute of the session, carried over minute 5.
  std::vector<int> curve(r->session_volume, r->session_volume + 8);
  EXPECT_EQ(curve, (std::vector<int>{10, 20, 30, 40, 40, 40, 50, 0}));
  EXPECT_TRUE((r->flags & (MQT_1MIN_INIT | MQT_1MIN_WRITABLE)) ==
              (MQT_1MIN_INIT | MQT_1MIN_WRITABLE));
}

TEST_F(LiveChartTest, DailyChartTakesTodaysBar) {
  chart_rec *d = chart(TU_DAILY);
  r->day_open = 99;
  r->day_high = 102;
  r->day_low = 98;
  r->day_close = 101;
  trade(hm(10, 0), 101.0f);
  ASSERT_EQ(d->header.bar_count, 1);
  EXPECT_EQ(seconds_to_date(d->bars[0].time), DAY);
  EXPECT_EQ(d->bars[0].open, 99.0f);
  EXPECT_EQ(d->bars[0].high, 102.0f);
  EXPECT_EQ(d->bars[0].close, 101.0f);
  EXPECT_EQ(d->bars[0].flags & BAR_PROVISIONAL, (uint32_t)BAR_PROVISIONAL);
  g_settings.ContUpdateDaily = 0;
  r->day_close = 105;
  trade(hm(10, 1), 105.0f);
  EXPECT_EQ(d->bars[0].close, 101.0f);
}

TEST_F(LiveChartTest, RingKeepsThirtyMinutesAndTheFileGrows) {
  for (int m = 0; m < 31; m++) trade(OPEN + m * 60 + 10, 100.0f + m);
  ASSERT_EQ(r->recent_count, MQT_RECENT_BARS);
  EXPECT_EQ(tod(r->recent_bars[0]), OPEN + 60);  // the oldest minute went
  EXPECT_EQ(r->recent_bars[29].close, 130.0f);
  write_1min_bars(r);
  EXPECT_EQ(r->unwritten_count, 0);
  std::vector<chart_bar> file = stored_minutes();
  ASSERT_EQ(file.size(), 31u);  // every minute once, the dropped one included
  for (int m = 0; m < 31; m++) {
    EXPECT_EQ(tod(file[m]), OPEN + m * 60);
    EXPECT_EQ(file[m].close, 100.0f + m);
  }
}

TEST_F(LiveChartTest, WriteIsDeferredWhileAnotherWriterHoldsTheFile) {
  trade(OPEN + 10, 100.0f);
  char path[CHART_PATH_SIZE];
  chart_file_name(path, "IBM", TU_1MIN);
  int fd = open(path, O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  r->unwritten_count = 1;
  write_1min_bars(r);
  EXPECT_EQ(r->unwritten_count, 1);
  EXPECT_TRUE(stored_minutes().empty());
  // The chart writer rewriting the file clears the writable flag.
  flock(fd, LOCK_UN);
  close(fd);
  r->flags &= ~MQT_1MIN_WRITABLE;
  write_1min_bars(r);
  EXPECT_EQ(r->unwritten_count, 1);
  r->flags |= MQT_1MIN_WRITABLE;
  write_1min_bars(r);
  EXPECT_EQ(r->unwritten_count, 0);
  EXPECT_EQ(stored_minutes().size(), 1u);
}

TEST_F(LiveChartTest, WritingAfterARewritePlacesTheRingByTime) {
  for (int m = 0; m < 5; m++) trade(OPEN + m * 60, 100.0f + m);
  write_1min_bars(r);
  ASSERT_EQ(stored_minutes().size(), 5u);
  // The file is rewritten with yesterday's bars in front of today's and
  // its last minutes cut: the ring's tail no longer matches the file's.
  chart_rec *rw = new_chart("IBM", TU_1MIN);
  for (int m = 0; m < 10; m++) {
    chart_bar b{};
    b.open = b.high = b.low = b.close = 50;
    b.time = (int32_t)date_to_seconds(20240101, OPEN + m * 60);
    b.flags = 0x1e0000;
    rw->bars[rw->header.bar_count++] = b;
    rw->spare--;
  }
  for (int m = 0; m < 3; m++) rw->bars[rw->header.bar_count++] = r->recent_bars[m], rw->spare--;
  set_chart_dates(rw);
  ASSERT_EQ(write_chart_file(rw), 0);
  free(rw->bars);
  free(rw);
  for (int m = 5; m < 8; m++) trade(OPEN + m * 60, 100.0f + m);
  write_1min_bars(r);
  std::vector<chart_bar> file = stored_minutes();
  ASSERT_EQ(file.size(), 18u);
  for (size_t i = 1; i < file.size(); i++) ASSERT_LT(file[i - 1].time, file[i].time) << i;
  EXPECT_EQ(file.back().close, 107.0f);
  EXPECT_EQ(file[9].close, 50.0f);
}

TEST_F(LiveChartTest, HistogramBoundsStrayPricesAndTinySteps) {
  r->quote_date = DAY;
  r->tick_size = 0.01;
  mqt_histogram_add(r, 100.0, 10);
  mqt_histogram_add(r, 100.05, 5);
  EXPECT_EQ(r->histogram[0], 10);
  EXPECT_EQ(r->histogram[5], 5);
  mqt_histogram_add(r, 99.98, 1);  // two cells below: one shift
  EXPECT_NEAR(r->histogram_base, 99.98, 1e-9);
  EXPECT_EQ(r->histogram[2], 10);
  EXPECT_EQ(r->histogram[7], 5);
  mqt_histogram_add(r, 1e-6, 7);  // a stray low print restarts it at the price
  EXPECT_DOUBLE_EQ(r->histogram_base, 1e-6);
  EXPECT_EQ(r->histogram[0], 7);
  EXPECT_EQ(r->histogram[2], 0);
  mqt_histogram_add(r, 1e12, 3);  // far above: the step doubles until it fits
  double total = 0;
  for (int v : r->histogram) total += v;
  EXPECT_EQ(total, 10);
  mqt_histogram_add(r, std::numeric_limits<double>::quiet_NaN(), 1);
  r->histogram_step = 0;
  mqt_histogram_add(r, 5.0, 1);
  total = 0;
  for (int v : r->histogram) total += v;
  EXPECT_EQ(total, 10);
}

TEST_F(LiveChartTest, MinuteVolumesAtTheEdgeOfTheArrays) {
  r->newest_minute = 600;
  for (int i = 0; i < MQT_VOLUME_MINUTES; i++) {
    r->minute_volume[i] = 2;
    r->minute_cum_volume[i] = 1000 + 2 * i;
  }
  r->feed_flags = TRADE;
  r->last = 10;
  struct {
    int bar_minute;
    int volume;
  } cases[] = {
      {600, 2},         // the newest minute: from the cumulative values
      {590, 22},        // eleven minutes
      {600 - 77, 156},  // the oldest minute with a known value before it
      {600 - 78, 158},  // no value before the array: summed minute volumes
      {400, 158},       // older than the arrays: as far as they reach
  };
  for (auto &k : cases) {
    chart_bar b{};
    b.open = b.high = b.low = b.close = 10;
    b.time = (int32_t)date_to_seconds(DAY, k.bar_minute * 60);
    update_bar_with_quote(&b, r, 1);
    EXPECT_EQ(b.volume, k.volume) << k.bar_minute;
  }
}

}  // namespace
