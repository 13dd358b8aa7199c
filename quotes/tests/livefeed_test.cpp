// Live charts without a relay: the TEST contract, fed once per web poll,
// moves the bars of its listed 1-minute and 5-minute charts and grows its
// ".1min" file; after the chart writer rewrites the file the one-minute
// state is seeded again from it and goes on without repeating a minute.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "quotes/livechart.h"
#include "quotes/randomfeed.h"
#include "quotes/webquotes.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

const int DAY = 20240102;
const int OPEN = 9 * 3600 + 30 * 60;

class LiveFeedTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    strcpy(g_data_root, root_.path().c_str());
    g_settings.MultiQuoteSource = 0;
    g_settings.KeepIntradayData = 1;
    g_keep_ext_hours = 0;
    g_cycle_phase = 0;
    // Polling itself is off (no flags word): only the test feed runs.
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  web web.cfg\n");
    root_.write("CONFIG/web.cfg", "no_clock_sync\nexchange_times 9:30 16:00\n[MAIN]\n");
    free_srcdata_cfg();
    free_quote_source_cfgs();
    kv_clock_set_local_offset(0);
    kv_clock_set_utc_ms(date_to_seconds(DAY, 10 * 3600) * 1000);
    install_mqt_chart_hooks();
    install_live_chart_hooks();
    close_random_source();
    g_random_data_path = "/nonexistent/random.data1";
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    // Twenty minutes of the morning are stored.
    chart_rec *seed = new_chart("TEST", TU_1MIN);
    for (int m = 0; m < 20; m++) {
      chart_bar b{};
      b.open = b.high = b.low = b.close = 1000;
      b.volume = 10;
      b.flags = 0x1e0000;
      b.time = (int32_t)date_to_seconds(DAY, OPEN + m * 60);
      seed->bars[seed->header.bar_count++] = b;
      seed->spare--;
    }
    set_chart_dates(seed);
    EXPECT_EQ(write_chart_file(seed), 0);
    free(seed->bars);
    free(seed);
  }
  void TearDown() override {
    close_random_source();
    free_quote_source_cfgs();
    free_srcdata_cfg();
    kv_clock_reset();
    QuotesTest::TearDown();
  }
  std::vector<chart_bar> stored_minutes() {
    std::vector<chart_bar> out;
    char path[CHART_PATH_SIZE];
    chart_file_name(path, "TEST", TU_1MIN);
    int fd = open(path, O_RDONLY);
    if (fd < 0) return out;
    chart_rec *c = alloc_chart_rec();
    if (read_chart_header(c, fd) && !read_chart_body(c, fd, TU_1MIN, path))
      out.assign(c->bars, c->bars + c->header.bar_count);
    close(fd);
    free_linked_blocks(c->extensions);
    free(c->bars);
    free(c);
    return out;
  }
  static void expect_one_bar_per_slot(const chart_bar *bars, int n, int seconds) {
    for (int i = 1; i < n; i++) ASSERT_LT(bars[i - 1].time / seconds, bars[i].time / seconds) << i;
  }
};

TEST_F(LiveFeedTest, TestFeedGrowsChartsAndTheMinuteFile) {
  chart_rec *m1 = create_intraday_chart("TEST", 1, 0);
  chart_rec *m5 = create_intraday_chart("TEST", 5, 0);
  ASSERT_NE(m1, nullptr);
  ASSERT_NE(m5, nullptr);
  ASSERT_EQ(m1->header.bar_count, 20);
  int n5 = m5->header.bar_count;
  mqt *r = find_mqt("TEST");
  ASSERT_NE(r, nullptr);

  // Five seconds a tick: 180 polls are fifteen minutes.
  for (int i = 0; i < 181; i++) poll_web_quotes();
  ASSERT_TRUE(r->flags & MQT_1MIN_INIT);
  EXPECT_GE(m1->header.bar_count, 20 + 14);
  EXPECT_GE(m5->header.bar_count, n5 + 2);
  expect_one_bar_per_slot(m1->bars, m1->header.bar_count, 60);
  expect_one_bar_per_slot(m5->bars, m5->header.bar_count, 300);
  std::vector<chart_bar> file = stored_minutes();
  EXPECT_GT(file.size(), 20u);  // written while quotes came in
  expect_one_bar_per_slot(file.data(), (int)file.size(), 60);

  // The chart writer rewrites the file; the ring is seeded from it again.
  ASSERT_EQ(write_chart_file(m1), 0);
  EXPECT_EQ(r->written_count, MQT_RECENT_BARS);
  EXPECT_EQ(r->recent_bars[MQT_RECENT_BARS - 1].time, m1->bars[m1->header.bar_count - 1].time);
  EXPECT_TRUE(r->flags & MQT_1MIN_WRITABLE);
  for (int i = 0; i < 120; i++) poll_web_quotes();
  write_1min_bars(r);
  file = stored_minutes();
  expect_one_bar_per_slot(file.data(), (int)file.size(), 60);
  // The file holds each minute of the chart, once.
  ASSERT_EQ((int)file.size(), m1->header.bar_count);
  for (int i = 0; i < m1->header.bar_count; i++) {
    EXPECT_EQ(file[i].time, m1->bars[i].time) << i;
    EXPECT_EQ(file[i].close, m1->bars[i].close) << i;
  }
  free_chart_data(m5);
  free_chart_data(m1);
}

// Each chart holds one use of its record however often it is taken: the
// 5-minute chart and the seeding take the listed 1-minute chart and give it
// back, and closing the charts gives the record back.
TEST_F(LiveFeedTest, TakingTheListedMinuteChartAgainHoldsNoFurtherUse) {
  chart_rec *m1 = create_intraday_chart("TEST", 1, 0);
  ASSERT_NE(m1, nullptr);
  mqt *r = find_mqt("TEST");
  ASSERT_NE(r, nullptr);
  int alone = r->users;
  chart_rec *m5 = create_intraday_chart("TEST", 5, 0);
  ASSERT_NE(m5, nullptr);
  EXPECT_EQ(m1->references, 1);
  EXPECT_EQ(r->users, alone + 1);
  init_mqt_from_1min(r, nullptr);
  chart_rec *again = get_1min_chart("TEST", 0);
  EXPECT_EQ(again, m1);
  free_chart_data(again);
  EXPECT_EQ(m1->references, 1);
  EXPECT_EQ(r->users, alone + 1);
  free_chart_data(m5);
  EXPECT_EQ(r->users, alone);
  free_chart_data(m1);
  EXPECT_EQ(find_mqt("TEST"), nullptr);
}

}  // namespace
