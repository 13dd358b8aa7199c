// The quote cycle thread, market hours and the ordered exit.
#include <atomic>
#include <cstring>

#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "platform/testing/wait.h"
#include "quotes/mqtthread.h"
#include "quotes/qrclient.h"
#include "quotes/router.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

// 5 January 2026 was a Monday.
constexpr int64_t kMonday = 1767571200;

class MqtThreadTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    saved_days_ = g_market_days;
    memcpy(saved_times_, g_settings.AutoRun, sizeof saved_times_);
    saved_interval_ = g_quote_interval;
    g_quote_interval = 5000;
    g_quote_thread_hooks = {};
    g_qr_hooks = {};
    g_manual_override = 0;
    kv_clock_set_local_offset(0);
    previous_main_ = hmainwnd.exchange(sink_.wnd);
  }
  void TearDown() override {
    program_exit();
    EXPECT_TRUE(wait_program_exit(10000));
    kv_dispatch_posted(-1);
    hmainwnd.store(previous_main_);
    g_market_days = saved_days_;
    memcpy(g_settings.AutoRun, saved_times_, sizeof saved_times_);
    g_quote_interval = saved_interval_;
    free_quote_source_cfgs();
    free_srcdata_cfg();
    kv_clock_reset();
    QuotesTest::TearDown();
  }
  // The start waits a scaled moment for the quote thread's queue; a loaded
  // machine may not have run the thread by then, and posts to it fail
  // until it has.  Ask until it takes the post.
  static bool post_refresh_all() {
    return kv_wait_until(
        [] { return kv_post_thread_message(mqt_thread_id(), WM_REQUEST_REFRESH, 1, 0) == 1; });
  }
  void set_times(int day, int32_t t1, int32_t t2, int32_t t3) {
    int32_t t[3] = {t1, t2, t3};
    for (int i = 0; i < 3; i++) put_le32(g_settings.AutoRun + (day * 3 + i) * 4, (uint32_t)t[i]);
  }
  void configure(uint32_t caps) {
    char cfg[256];
    snprintf(cfg, sizeof cfg, "router_capabilities 0x%x\nrouter_name KvRelayM\n", caps);
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
    root_.write("CONFIG/relay.cfg", cfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    g_settings.MultiQuoteSource = 0;
  }

  MessageSink sink_;
  kv_hwnd previous_main_ = 0;
  uint8_t saved_days_ = 0;
  uint8_t saved_times_[AUTORUN_SIZE];
  int32_t saved_interval_ = 0;
};

TEST_F(MqtThreadTest, MarketHoursMapMarksTheSessionsOfEnabledDays) {
  struct {
    int32_t t1, t2, t3;
    int first, last;  // marked minutes of Monday, -1 none
    int evening;      // first marked minute of the evening session, -1 none
  } cases[] = {
      {9 * 3600 + 1800, 16 * 3600, 0, 570, 959, -1},     // T3 = 0: only [T1, T2)
      {9 * 3600, 9 * 3600, 0, -1, -1, -1},               // T1 = T2: nothing
      {9 * 3600, 10 * 3600, 20 * 3600, 540, 599, 1200},  // an evening session to midnight
      {9 * 3600, 10 * 3600, 86400, 540, 599, -1},        // T3 past the day's end: none
  };
  g_market_days = 0x3;  // automatic, Monday only
  for (auto& c : cases) {
    set_times(1, c.t1, c.t2, c.t3);
    set_times(2, c.t1, c.t2, c.t3);
    build_market_hours_map();
    const uint8_t* mon = g_market_hours_map + MARKET_HOURS_MINUTES;
    int first = -1, last = -1;
    for (int m = 0; m < (c.evening >= 0 ? c.evening : 1440); m++)
      if (mon[m]) {
        if (first < 0) first = m;
        last = m;
      }
    EXPECT_EQ(first, c.first) << c.t1 << " " << c.t2 << " " << c.t3;
    EXPECT_EQ(last, c.last) << c.t1;
    if (c.evening >= 0) {
      EXPECT_EQ(mon[c.evening - 1], 0);
      EXPECT_EQ(mon[1439], 1);
    }
    for (int m = 0; m < 1440; m++) ASSERT_EQ(g_market_hours_map[2 * 1440 + m], 0) << m;
  }
  EXPECT_EQ(market_day_enabled(0), 0);
  g_market_days = 0x80;
  EXPECT_EQ(market_day_enabled(0), 1);
  EXPECT_EQ(market_day_enabled(7), 0);
  EXPECT_EQ(market_day_enabled(-1), 0);
}

TEST_F(MqtThreadTest, MarketHoursSwitchCollectionOnlyWithRecordsAndWithoutOverride) {
  g_market_days = 0x3;
  set_times(1, 9 * 3600, 16 * 3600, 0);
  build_market_hours_map();
  kv_clock_set_utc_ms((kMonday + 8 * 3600) * 1000);
  g_cont_update = 0;
  market_hours_check();
  kv_clock_set_utc_ms((kMonday + 10 * 3600) * 1000);
  market_hours_check();
  EXPECT_EQ(g_cont_update, 0);  // an empty list never switches on
  mqt* r = create_multiquote_struct("IBM");
  market_hours_check();
  EXPECT_EQ(g_cont_update, 1);
  EXPECT_EQ(sink_.count(WM_CONT_UPDATE_STATUS), 1);
  // The user switched off: the hours leave it until the map changes.
  stop_quote_collection();
  market_hours_check();
  EXPECT_EQ(g_cont_update, 0);
  kv_clock_set_utc_ms((kMonday + 17 * 3600) * 1000);
  market_hours_check();  // closed now: the override is cleared, collection stays off
  EXPECT_EQ(g_manual_override.load(), 0);
  g_cont_update = 1;
  market_hours_check();
  EXPECT_EQ(g_cont_update, 0);
  delete_multiquote(r);
}

TEST_F(MqtThreadTest, CycleWithoutRelayFeedsTestAndTellsTheMainWindow) {
  g_market_days = 0;  // no automatic switching
  g_cont_update = 1;
  mqt* r = create_multiquote_struct("TEST");
  start_quote_threads();
  ASSERT_NE(mqt_thread_id(), 0u);
  EXPECT_NE(g_router_thread_id.load(), 0u);
  ASSERT_TRUE(kv_pump_until([&] { return sink_.count(WM_MQT_DONE) >= 3; }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_GT(r->last, 0);
  }
  delete_multiquote(r);
  // Every worker ends, and the main window hears of it.
  program_exit();
  ASSERT_TRUE(wait_program_exit(10000));
  EXPECT_TRUE(kv_pump_until([&] { return sink_.count(WM_THREAD_IS_DEAD) == 1; }));
  EXPECT_EQ(mqt_thread_id(), 0u);
  EXPECT_EQ(g_router_thread_id.load(), 0u);
}

TEST_F(MqtThreadTest, RefreshOfAllPostsDoneForSixIdleCycles) {
  g_market_days = 0;
  g_cont_update = 0;
  configure(0x4);
  start_quote_threads();
  ASSERT_TRUE(post_refresh_all());
  ASSERT_TRUE(kv_pump_until([&] { return sink_.count(WM_MQT_DONE) == 6; }));
  program_exit();
  ASSERT_TRUE(wait_program_exit(10000));
  EXPECT_EQ(sink_.count(WM_MQT_DONE), 6);
}

TEST_F(MqtThreadTest, RefreshOfAllWithoutStreamsStillPolls) {
  g_market_days = 0;
  g_cont_update = 0;
  configure(0x1);
  start_quote_threads();
  ASSERT_TRUE(post_refresh_all());
  EXPECT_TRUE(kv_pump_until([&] { return sink_.count(WM_MQT_DONE) == 1; }));
  EXPECT_GE(sink_.count(WM_CONT_UPDATE_STATUS), 1);
}

// A request thread stuck in a transaction: the exit gives up on it.
TEST_F(MqtThreadTest, ExitGivesUpOnARouterThreadThatNeverEnds) {
  kv_event release(KV_MANUAL_RESET);
  std::atomic<kv_thread_id> stuck_id{0};
  struct ctx_t {
    kv_event* release;
    std::atomic<kv_thread_id>* id;
  } ctx{&release, &stuck_id};
  kv_thread* stuck = kv_thread_start(
      "stuck_router",
      [](void* p) {
        auto* c = (ctx_t*)p;
        kv_queue_create();
        c->id->store(kv_current_thread_id());
        c->release->wait(-1);
        return 0;
      },
      &ctx);
  ASSERT_TRUE(kv_wait_until([&] { return stuck_id.load() != 0; }));
  g_router_thread_id = stuck_id.load();
  program_exit();
  ASSERT_TRUE(wait_program_exit(10000));
  EXPECT_TRUE(kv_pump_until([&] { return sink_.count(WM_THREAD_IS_DEAD) == 1; }));
  EXPECT_EQ(kv_queue_length(stuck_id.load()), 2);  // the refresh and the exit
  g_router_thread_id = 0;
  release.set();
  kv_thread_join(stuck, -1, nullptr);
  kv_thread_free(stuck);
}

}  // namespace
