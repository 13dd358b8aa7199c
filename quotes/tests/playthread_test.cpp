// The playback thread: a missing file leaves playback idle; a file plays
// through to its end into the record, skipping the days before the start;
// a close ends a paused playback.
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "data/tests/status_capture.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/thread.h"
#include "quotes/playthread.h"
#include "quotes/tests/quotes_fixture.h"
#include "settings/datadirs.h"
#include "platform/testing/wait.h"

namespace {

const int32_t DAY1 = 1704153600;  // 2024-01-02 00:00
std::atomic<int> g_bid_asks;

class PlayThreadTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    // Starting and closing the thread wait 5 s for it; at the fixture's
    // thousandth a loaded machine misses those 5 ms, so these tests run their
    // waits at a fiftieth.
    kv_set_time_scale(0.02);
    g_bid_asks = 0;
    g_playback = {};
    g_playback_hooks = {};
    g_playback_hooks.bid_ask = [](mqt*, float, float) { g_bid_asks++; };
    g_playback_state = 0;
    snprintf(g_playback.symbol, sizeof g_playback.symbol, "ES");
    g_playback.speed = 1000;
    r = create_multiquote_struct("ES");
    r->tick_size = 0.25;
  }
  void TearDown() override {
    close_playback();
    g_playback_hooks = {};
    QuotesTest::TearDown();
  }
  void write_ticks(const std::vector<uint32_t>& w) {
    char dir[1024], path[1100];
    data_folder_path(dir, sizeof dir, KV_DIR_HDATA, nullptr);
    kv_make_dirs(dir, nullptr);
    snprintf(path, sizeof path, "%s/ES.tsdata", dir);
    std::vector<uint8_t> b(w.size() * 4);
    tick_words_to_bytes(w.data(), (int)w.size(), b.data());
    ASSERT_EQ(kv_write_file_atomic(path, b.data(), b.size(), nullptr), 1);
  }
  static void full(std::vector<uint32_t>& w, int kind, uint32_t size, int32_t t, float p) {
    uint32_t f[3];
    encode_full_tick(f, kind, size, t, p);
    w.insert(w.end(), f, f + 3);
  }
  // Bounded wait for the end of the data (the thread clears the flag).
  bool wait_end() {
    return kv_wait_until([] { return !g_playback_running; }, 20000);
  }
  mqt* r = nullptr;
};

TEST_F(PlayThreadTest, MissingFileLeavesPlaybackIdle) {
  StatusCapture status;
  EXPECT_EQ(init_playback(), 0);
  EXPECT_TRUE(status.saw("Can't open tick file: "));
  EXPECT_EQ(g_playback_thread_id.load(), 0u);
  EXPECT_FALSE(g_playback_state & PLAYBACK_INITIALISED);
  EXPECT_FALSE(r->flags & MQT_PLAYBACK);
  EXPECT_EQ(start_playback(r), 0);
  snprintf(g_playback.symbol, sizeof g_playback.symbol, "NOPE");  // no record: nothing happens
  EXPECT_EQ(init_playback(), 0);
}

TEST_F(PlayThreadTest, PlaysToTheEndAfterTheSkippedDay) {
  std::vector<uint32_t> w;
  full(w, 0, 10, DAY1 + 10 * 3600, 100.0f);         // day 1: skipped at once
  full(w, 0, 20, DAY1 + 86400 + 8 * 3600, 101.0f);  // day 2 before the start time
  full(w, TICK_BID, 5, DAY1 + 86400 + 9 * 3600, 100.75f);
  full(w, 0, 30, DAY1 + 86400 + 9 * 3600 + 1, 101.0f);
  w.push_back(encode_compact_tick(0, 40, 2, 1));
  w.push_back(encode_paired_trades(1, 1, 1, 1, -1, 2));
  write_ticks(w);
  g_playback.days_to_skip = 1;
  g_playback.start_time = 9 * 3600;
  StatusCapture status;
  ASSERT_EQ(init_playback(), 1);
  EXPECT_TRUE(g_playback_state & PLAYBACK_INITIALISED);
  EXPECT_TRUE(r->flags & MQT_PLAYBACK);
  ASSERT_EQ(start_playback(r), 1);
  ASSERT_TRUE(wait_end());
  EXPECT_TRUE(status.saw("End of playback data"));
  EXPECT_FLOAT_EQ(r->last, 101.25f);
  EXPECT_EQ(r->volume, 20 + 30 + 40 + 1 + 2);  // the second day from its first tick; day 1 is reset
  EXPECT_EQ(g_bid_asks.load(), 1);
  EXPECT_EQ(playback_tick_count(), 7);
  close_playback();
  EXPECT_TRUE(status.saw("playback thread is exiting"));
  EXPECT_FALSE(r->flags & MQT_PLAYBACK);
  EXPECT_EQ(g_playback_thread_id.load(), 0u);
}

// At the end of the data the thread ends without being told and gives its
// record back; a new playback can start without a close.
TEST_F(PlayThreadTest, EndsByItselfAtTheEndOfTheData) {
  std::vector<uint32_t> w;
  full(w, 0, 10, DAY1 + 10 * 3600, 100.0f);
  full(w, 0, 20, DAY1 + 10 * 3600 + 1, 101.0f);
  write_ticks(w);
  StatusCapture status;
  ASSERT_EQ(init_playback(), 1);
  EXPECT_EQ(r->users, 2);
  ASSERT_EQ(start_playback(r), 1);
  kv_wait_until([&] { return status.saw("playback thread is exiting"); }, 20000);
  EXPECT_TRUE(status.saw("End of playback data"));
  ASSERT_TRUE(status.saw("playback thread is exiting"));
  kv_wait_until([] { return g_playback_thread_id.load() == 0; }, 20000);
  EXPECT_EQ(g_playback_thread_id.load(), 0u);
  EXPECT_FALSE(g_playback_state & PLAYBACK_INITIALISED);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_FALSE(r->flags & MQT_PLAYBACK);
    EXPECT_EQ(r->users, 1);
  }
  EXPECT_EQ(r->volume, 30);
  ASSERT_EQ(init_playback(), 1);
  EXPECT_EQ(start_playback(r), 1);
}

TEST_F(PlayThreadTest, StartsAfterTheTicksTheChartsShow) {
  std::vector<uint32_t> w;
  full(w, 0, 10, DAY1 + 10 * 3600, 100.0f);
  full(w, 0, 20, DAY1 + 10 * 3600 + 5, 101.0f);
  full(w, 0, 30, DAY1 + 10 * 3600 + 6, 102.0f);
  w.push_back(encode_compact_tick(0, 40, 2, 1));
  write_ticks(w);
  g_playback_hooks.highest_shown_tick = [](mqt*) { return (int32_t)2; };
  StatusCapture status;
  ASSERT_EQ(init_playback(), 1);
  ASSERT_EQ(start_playback(r), 1);
  EXPECT_TRUE(status.saw("Playback starting at tick #2  20240102 "));
  ASSERT_TRUE(wait_end());
  EXPECT_EQ(r->volume, 30 + 40);  // the shown ticks are not stored again
  EXPECT_FLOAT_EQ(r->last, 102.25f);
}

TEST_F(PlayThreadTest, ClosingEndsAPausedPlayback) {
  std::vector<uint32_t> w;
  full(w, 0, 1, DAY1 + 3600, 50.0f);
  write_ticks(w);
  ASSERT_EQ(init_playback(), 1);
  stop_playback();
  close_playback();  // never started: the thread ends on the exit message
  EXPECT_EQ(g_playback_thread_id.load(), 0u);
  EXPECT_EQ(r->volume, 0);
  EXPECT_EQ(init_playback(), 1);  // and a new one can start
}

}  // namespace
