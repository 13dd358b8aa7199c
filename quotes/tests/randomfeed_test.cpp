// The random test feed: the fixed opening moves, the byte sources, ticks
// kept inside market sessions and the quote-state reset.
#include <cstdio>
#include <string>
#include <vector>

#include "data/markets.h"
#include "platform/clock.h"
#include "quotes/randomfeed.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

struct Stored {
  float last;
  int32_t epoch;
};
std::vector<Stored> g_stored;

class RandomFeedTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    g_stored.clear();
    g_mqt_hooks.update_mqt_charts = [](mqt* rec) {
      g_stored.push_back({rec->last, rec->trade_epoch});
    };
    missing_ = root_.path() + "/no-such-random.data1";
    g_random_data_path = missing_.c_str();
    clear_markets();
    close_random_source();  // a fresh run, whatever fed the test contract before
    r = create_multiquote_struct("TEST");
  }
  void TearDown() override {
    close_random_source();
    g_random_data_path = "data/random.data1";
    clear_markets();
    kv_clock_reset();
    QuotesTest::TearDown();
  }
  std::string missing_;
  mqt* r = nullptr;
};

TEST_F(RandomFeedTest, FreshRunOpensWithNineDownAndNineUp) {
  kv_clock_set_utc_ms(1704196800000LL);  // 2024-01-02 12:00 UTC
  kv_clock_set_local_offset(0);
  random_feed(r);  // no chart: the preroll is made at once, without the file
  ASSERT_EQ((int)g_stored.size(), RANDOM_PREROLL);
  for (int i = 0; i < 18; i++) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(g_stored[i].last,
                    i < 9 ? 1000.0f - 0.25f * (i + 1) : 997.75f + 0.25f * (i - 8));
    EXPECT_EQ(g_stored[i].epoch, 1704153600 + 1800 + 5 * (i + 1));  // 00:30 of the day, 5 s apart
  }
  EXPECT_TRUE(g_random_running);
  EXPECT_STREQ(r->sec_type, "FUT");
  EXPECT_STREQ(r->exchange, "GLOBEX");
  EXPECT_EQ(r->multiplier, 50);
  EXPECT_EQ(r->tick_size, 0.25);
  random_feed(r);  // later polls make one tick each
  EXPECT_EQ((int)g_stored.size(), RANDOM_PREROLL + 1);
}

TEST_F(RandomFeedTest, FileBytesAreCombinedFromTwoBuffers) {
  std::string path = root_.path() + "/random.data1";
  std::vector<uint8_t> bytes(3 * RANDOM_BUFFER);
  for (size_t i = 0; i < bytes.size(); i++) bytes[i] = (uint8_t)(i * 7 + i / 1024);
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  fwrite(bytes.data(), 1, bytes.size(), f);
  fclose(f);
  g_random_data_path = path.c_str();
  open_random_source(r, 1, 0, 0.25f, 10.0f);
  for (int i = 0; i < RANDOM_BUFFER; i++)
    ASSERT_EQ(next_random_value(), bytes[RANDOM_BUFFER + i] ^ bytes[0]) << i;
  // B is read again and A moves on one byte.
  EXPECT_EQ(next_random_value(), bytes[2 * RANDOM_BUFFER] ^ bytes[1]);
  close_random_source();
  g_random_data_path = missing_.c_str();
}

TEST_F(RandomFeedTest, WithoutTheFileValuesAreBytes) {
  open_random_source(r, 0, 0, 0.25f, 10.0f);
  EXPECT_TRUE(g_random_running);
  for (int i = 0; i < 500; i++) {
    int v = next_random_value();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 255);
  }
}

TEST_F(RandomFeedTest, TicksStayInsideTheSessions) {
  market_rec* m = add_market("CME");
  ASSERT_TRUE(m);
  mark_market_hours(m, 8 * 3600, 9 * 3600 + 30 * 60, 1);
  mark_market_hours(m, 9 * 3600 + 30 * 60, 16 * 3600, 0);
  r->market = m;
  const int32_t day = 1704153600;
  open_random_source(r, 1, day + 16 * 3600 - 20, 0.25f, 10.0f);  // 15:59:40
  for (int i = 0; i < 400; i++) {
    random_tick(r, i & 0xff);
    int minute = (r->trade_epoch - day) % 86400 / 60;
    ASSERT_TRUE(m->minutes[minute] & (MINUTE_MAIN | MINUTE_EXTENDED))
        << i << " at minute " << minute;
    ASSERT_EQ(r->trade_time, (r->trade_epoch % 86400));
  }
  EXPECT_GT(r->trade_epoch, day + 86400);  // went on to the next day's session

  // A market without any session minute leaves the time 5 s on.
  market_rec* closed = add_market("NONE");
  r->market = closed;
  int32_t before = r->trade_epoch;
  random_tick(r, 200);
  EXPECT_EQ(r->trade_epoch, before + 5);
}

TEST_F(RandomFeedTest, BytesAboveThirtyOneLeaveThePrice) {
  open_random_source(r, 1, 1704196800, 0.5f, 20.0f);
  random_tick(r, 0xff);
  EXPECT_FLOAT_EQ(r->last, 20.0f);
  EXPECT_EQ(r->last_size, 15);
  random_tick(r, 7);
  EXPECT_FLOAT_EQ(r->last, 20.5f);
  EXPECT_FLOAT_EQ(r->bid, 20.0f);
  EXPECT_FLOAT_EQ(r->ask, 20.5f);
  EXPECT_EQ(r->bid_size, 7);
}

TEST_F(RandomFeedTest, ResetClearsTheSessionValues) {
  r->open = r->high = r->low = r->close = 5;
  r->volume = 100;
  r->stored_date = 20240102;
  reset_quote_state(r, 0xffffffffu);
  EXPECT_EQ(r->open + r->high + r->low + r->close, 0);
  EXPECT_EQ(r->volume, 0);
  EXPECT_EQ(r->stored_date, 0);
  EXPECT_EQ(r->feed_flags, 0x17bffu | 0xbf009000u);
}

}  // namespace
