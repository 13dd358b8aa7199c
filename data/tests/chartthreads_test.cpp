// The chart-loading threads: requests reach the threads from the first
// call on, results reach the asking window in order, a chart whose window
// is gone is released, full rings refuse, and the threads end when asked.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/chart.h"
#include "data/chartload.h"
#include "data/chartthreads.h"
#include "data/tests/price_image.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/testing/fixture.h"
#include "platform/testing/wait.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"

namespace {

// A chart window that records the symbols of the charts it receives and
// releases them, as the chart view does with one it does not keep.
struct test_window {
  kv_hwnd id = 0;
  std::vector<std::string> symbols;  // "" for a failed load

  test_window() { id = kv_window_create(&test_window::handler, this); }
  ~test_window() { kv_window_destroy(id); }

  static kv_lresult handler(void* ctx, kv_hwnd, unsigned message, kv_wparam wparam, kv_lparam) {
    if (message != WM_GET_CHART_COMPLETE) return 0;
    chart_rec* chart = (chart_rec*)wparam;
    ((test_window*)ctx)->symbols.push_back(chart ? chart->header.symbol : "");
    free_chart_data(chart);
    return 0;
  }
};

class ChartThreadsTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    g_settings.AutoUpdate = 0;
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    saved_hooks_ = g_chart_load_hooks;
    g_chart_load_hooks = chart_load_hooks{};
    kv_dispatch_posted(-1);
  }
  void TearDown() override {
    stop_chart_threads();
    kv_dispatch_posted(-1);
    while (g_chart_list) {
      g_chart_list->references = 1;
      free_chart_data(g_chart_list);
    }
    g_chart_load_hooks = saved_hooks_;
    TempRootTest::TearDown();
  }
  void store_daily(const char* symbol) {
    file_image img(symbol, 390, 1);
    img.bar(tbar(DAY0, 10));
    root_.write((std::string("DATA/") + symbol + ".dyd").c_str(), img.sealed());
  }
  // Delivers posted messages until both rings are served. A loader posts
  // its chart before it lowers its ring's count, so once both counts are
  // zero one more delivery hands over everything.
  bool drain() {
    bool served = kv_pump_until(
        [] { return g_update_pending.load() == 0 && g_refresh_pending.load() == 0; }, kWaitMs);
    kv_dispatch_posted(-1);
    return served;
  }
  // Only a hung thread runs into this: a machine loaded by parallel
  // sanitizer builds can take many seconds for a few hundred loads.
  static constexpr int kWaitMs = 120000;

  SettingsSaver settings_saver_;  // g_settings put back after the test
  chart_load_hooks saved_hooks_;
};

TEST_F(ChartThreadsTest, RequestsFromTheFirstCallOnArriveInOrder) {
  test_window w;
  const char* symbols[] = {"AAA", "BBB", "CCC", "DDD", "EEE"};
  for (const char* s : symbols) store_daily(s);
  // The threads start with the first request; none of these is lost while
  // their queues come into being.
  std::vector<std::string> want;
  for (const char* s : symbols) {
    std::string text = s;  // the request keeps its own copy
    ASSERT_EQ(queue_chart_request(w.id, text.c_str(), 390, 0, 0, 0, nullptr, nullptr, 0), 1);
    want.push_back(s);
  }
  ASSERT_EQ(queue_chart_request(w.id, "MISSING", 390, 0, 0, 0, nullptr, nullptr, 0), 1);
  want.push_back("");
  ASSERT_TRUE(drain());
  EXPECT_EQ(w.symbols, want);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(ChartThreadsTest, ChartForAWindowThatIsGoneIsReleased) {
  store_daily("AAA");
  store_daily("BBB");
  {
    // Closed before the load ends: the thread keeps the chart and frees it.
    kv_lock hold(g_chart_lock);
    test_window* w = new test_window;
    ASSERT_EQ(queue_chart_request(w->id, "AAA", 390, 0, 0, 0, nullptr, nullptr, 0), 1);
    delete w;
  }
  ASSERT_TRUE(drain());
  EXPECT_EQ(g_chart_list, nullptr);

  // Closed after the chart was posted: the queued message releases it.
  test_window* w = new test_window;
  ASSERT_EQ(queue_chart_request(w->id, "BBB", 390, 0, 0, 0, nullptr, nullptr, 0), 1);
  kv_wait_until([&] { return kv_posted_count(w->id) != 0; }, kWaitMs);
  ASSERT_EQ(kv_posted_count(w->id), 1);
  delete w;
  EXPECT_EQ(g_chart_list, nullptr);
  // No window at all.
  ASSERT_EQ(queue_chart_request(0, "AAA", 390, 0, 0, 0, nullptr, nullptr, 0), 1);
  ASSERT_TRUE(drain());
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(ChartThreadsTest, FullRingsRefuseAndLeaveNothingQueued) {
  test_window w;
  {
    // The loaders wait for the chart lock: nothing is served meanwhile.
    kv_lock hold(g_chart_lock);
    for (int i = 0; i < CHART_REFRESH_RING_SLOTS; i++)
      ASSERT_EQ(queue_chart_request(w.id, "AAA", 5, 0, 0, 0, nullptr, nullptr, 0), 1);
    EXPECT_EQ(g_refresh_pending.load(), 20);
    EXPECT_EQ(g_update_pending.load(), 20);
    // The 21st intraday request is refused and reaches neither ring.
    EXPECT_EQ(queue_chart_request(w.id, "AAA", 5, 0, 0, 0, nullptr, nullptr, 0), 0);
    EXPECT_EQ(g_update_pending.load(), 20);
    // Daily and background requests go to the update ring alone.
    for (int i = 20; i < CHART_UPDATE_RING_SLOTS; i++)
      ASSERT_EQ(queue_chart_request(w.id, "AAA", 390, 0, 0, i % 2 ? CHART_REQ_BACKGROUND : 0,
                                    nullptr, nullptr, 0),
                1);
    EXPECT_EQ(g_refresh_pending.load(), 20);
    EXPECT_EQ(queue_chart_request(w.id, "AAA", 390, 0, 0, 0, nullptr, nullptr, 0), 0);
    EXPECT_EQ(g_update_pending.load(), 200);
  }
  ASSERT_TRUE(drain());
  EXPECT_EQ(w.symbols.size(), 220u);
  // The rings went round: they take requests again.
  ASSERT_EQ(queue_chart_request(w.id, "AAA", 5, 0, 0, 0, nullptr, nullptr, 0), 1);
  ASSERT_TRUE(drain());
  EXPECT_EQ(w.symbols.size(), 222u);
}

TEST_F(ChartThreadsTest, StoppingJoinsTheThreadsAndALaterRequestStartsThemAgain) {
  test_window w;
  store_daily("AAA");
  {
    kv_lock hold(g_chart_lock);
    ASSERT_EQ(queue_chart_request(w.id, "AAA", 390, 0, 0, 0, nullptr, nullptr, 0), 1);
  }
  stop_chart_threads();
  EXPECT_EQ(g_update_pending.load(), 0);
  EXPECT_EQ(g_refresh_pending.load(), 0);
  kv_dispatch_posted(-1);

  ASSERT_EQ(queue_chart_request(w.id, "AAA", 390, 0, 0, 0, nullptr, nullptr, 0), 1);
  ASSERT_TRUE(drain());
  ASSERT_FALSE(w.symbols.empty());
  EXPECT_EQ(w.symbols.back(), "AAA");
}

}  // namespace
