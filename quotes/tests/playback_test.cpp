// Tick files and playback: decoding the three record forms into a live
// record, damaged files, loading, pauses between stores, the session
// minute map and the store of a decoded tick.
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "data/dates.h"
#include "data/tests/status_capture.h"
#include "platform/files.h"
#include "quotes/playback.h"
#include "quotes/playbackdata.h"
#include "quotes/playthread.h"
#include "quotes/tests/quotes_fixture.h"
#include "quotes/tickfile.h"
#include "settings/datadirs.h"

namespace {

const int32_t T0 = 1704206700;  // 2024-01-02 14:45:00

struct Trade {
  float price;
  int32_t size;
  int32_t time;
};

std::vector<uint8_t> bytes_of(const std::vector<uint32_t>& words) {
  std::vector<uint8_t> b(words.size() * 4);
  tick_words_to_bytes(words.data(), (int)words.size(), b.data());
  return b;
}

void append_full(std::vector<uint32_t>& w, int kind, uint32_t size, int32_t time, float price) {
  uint32_t f[3];
  encode_full_tick(f, kind, size, time, price);
  w.insert(w.end(), f, f + 3);
}

class PlaybackTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    r = create_multiquote_struct("ES");
    r->tick_size = 0.25;
  }
  void TearDown() override {
    free_tick_data(&st);
    QuotesTest::TearDown();
  }
  std::vector<Trade> play(const std::vector<uint32_t>& words) {
    std::vector<uint8_t> b = bytes_of(words);
    int whole = 0;
    EXPECT_EQ(set_tick_words(&st, b.data(), b.size(), 0.25, &whole), (int32_t)words.size());
    EXPECT_EQ(whole, 1);
    return drain();
  }
  std::vector<Trade> drain() {
    std::vector<Trade> out;
    while (next_playback_tick(r, &st)) out.push_back({r->last, r->last_size, r->trade_epoch});
    return out;
  }
  void write_tick_file(const char* symbol, const std::vector<uint8_t>& b) {
    char dir[1024], path[1100];
    data_folder_path(dir, sizeof dir, KV_DIR_HDATA, nullptr);
    kv_make_dirs(dir, nullptr);
    snprintf(path, sizeof path, "%s/%s.tsdata", dir, symbol);
    ASSERT_EQ(kv_write_file_atomic(path, b.data(), b.size(), nullptr), 1);
  }
  mqt* r = nullptr;
  tick_state st{};
};

TEST_F(PlaybackTest, DecodesEveryRecordForm) {
  std::vector<uint32_t> w;
  append_full(w, 0, 5, T0, 100.0f);                      // trade 100 x5
  w.push_back(encode_compact_tick(TICK_BID, 7, 1, -2));  // bid 99.5
  w.push_back(encode_compact_tick(TICK_ASK, 9, 0, 3));   // ask 100.25
  w.push_back(encode_compact_tick(0, 300, 2, 1));        // trade 100.5
  w.push_back(encode_paired_trades(1, -1, 4, 3, 2, 6));  // 100.25 then 100.75
  append_full(w, TICK_BID, 2, T0 + 60, 101.0f);          // bid 101 >= ask: ask moves up
  w.push_back(encode_compact_tick(0, 1, 4, -20));        // trade 96: under the bid

  std::vector<Trade> got = play(w);
  std::vector<Trade> want = {{100.0f, 5, T0},
                             {100.5f, 300, T0 + 3},
                             {100.25f, 4, T0 + 4},
                             {100.75f, 6, T0 + 7},
                             {96.0f, 1, T0 + 64}};
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    SCOPED_TRACE(i);
    EXPECT_FLOAT_EQ(got[i].price, want[i].price);
    EXPECT_EQ(got[i].size, want[i].size);
    EXPECT_EQ(got[i].time, want[i].time);
  }
  EXPECT_EQ(st.ticks, 8);  // every record, bids and asks too
  EXPECT_FLOAT_EQ(r->bid, 96.0f);
  EXPECT_FLOAT_EQ(r->ask, 96.25f);
  EXPECT_EQ(r->quote_date, 20240102);
  EXPECT_EQ(r->quote_time, (T0 + 64) % 86400);
  EXPECT_EQ(next_playback_tick(r, &st), 0);  // stays at the end
}

TEST_F(PlaybackTest, BidAndAskKeepEachOtherApart) {
  st.notify = 1;
  st.bid_ask_hook = [](mqt* rec, float bid, float ask) {
    rec->open_interest++;  // counts calls
    (void)bid;
    (void)ask;
  };
  std::vector<uint32_t> w;
  append_full(w, TICK_ASK, 1, T0, 50.0f);
  append_full(w, TICK_BID, 1, T0, 50.0f);   // bid reaches the ask: ask one tick up
  append_full(w, TICK_ASK, 1, T0, 49.75f);  // ask at or under the bid: bid one tick down
  EXPECT_TRUE(play(w).empty());
  EXPECT_FLOAT_EQ(r->ask, 49.75f);
  EXPECT_FLOAT_EQ(r->bid, 49.5f);
  EXPECT_EQ(r->open_interest, 3);
  EXPECT_EQ(st.ticks, 3);
}

TEST_F(PlaybackTest, PairedWordWithZeroTopByteIsOneTrade) {
  std::vector<uint32_t> w;
  append_full(w, 0, 1, T0, 10.0f);
  w.push_back(encode_paired_trades(2, 1, 8, 5, 3, 0));
  append_full(w, 0, 1, T0 + 100, 11.0f);
  std::vector<Trade> got = play(w);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_FLOAT_EQ(got[1].price, 10.25f);
  EXPECT_EQ(got[1].size, 8);
  EXPECT_EQ(got[1].time, T0 + 2);
  EXPECT_FLOAT_EQ(got[2].price, 11.0f);
}

TEST_F(PlaybackTest, DamagedDataEndsAtTheLastWholeRecord) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::vector<uint32_t> tail;  // after one good trade and one compact trade
    size_t cut;                  // bytes cut from the end
  } cases[] = {
      {"full record cut short", {0, (uint32_t)T0}, 0},
      {"partial word", {0, (uint32_t)T0, 0}, 10},
      {"not-a-number price", {}, 0},
      {"infinite price", {}, 0},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<uint32_t> w;
    append_full(w, 0, 1, T0, 20.0f);
    w.push_back(encode_compact_tick(0, 2, 1, 1));
    if (c.tail.empty()) append_full(w, 0, 1, T0 + 5, strcmp(c.what, "infinite price") ? nan : inf);
    w.insert(w.end(), c.tail.begin(), c.tail.end());
    std::vector<uint8_t> b = bytes_of(w);
    b.resize(b.size() - c.cut);
    int whole = 1;
    EXPECT_EQ(set_tick_words(&st, b.data(), b.size(), 0.25, &whole), 4);
    EXPECT_EQ(whole, 0);
    std::vector<Trade> got = drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FLOAT_EQ(got[1].price, 20.25f);
  }
}

TEST_F(PlaybackTest, TickSizeMustBeUsable) {
  std::vector<uint8_t> b = bytes_of({encode_compact_tick(0, 1, 1, 1)});
  for (double size : {0.0, -0.25, std::nan(""), (double)INFINITY})
    EXPECT_EQ(set_tick_words(&st, b.data(), b.size(), size, nullptr), 0) << size;
}

TEST_F(PlaybackTest, LoadingTheFile) {
  StatusCapture status;
  EXPECT_EQ(load_tick_file("ES", 0.25, &st), 0);
  EXPECT_TRUE(status.saw("Can't open tick file: "));
  EXPECT_EQ(load_tick_file("../ES", 0.25, &st), 0);

  std::vector<uint32_t> w;
  append_full(w, 0, 3, T0, 100.0f);
  w.push_back(encode_compact_tick(0, 1, 1, 1));
  write_tick_file("ES", bytes_of(w));
  ASSERT_EQ(load_tick_file("ES", 0.25, &st), 1);
  EXPECT_EQ(drain().size(), 2u);
  EXPECT_FALSE(status.saw("Error reading tick data"));

  // Damage after whole records is reported and the whole records kept;
  // a file with no whole record does not load.
  std::vector<uint8_t> b = bytes_of(w);
  b.push_back(0);
  write_tick_file("ES", b);
  ASSERT_EQ(load_tick_file("ES", 0.25, &st), 1);
  EXPECT_TRUE(status.saw("Error reading tick data"));
  EXPECT_EQ(drain().size(), 2u);
  write_tick_file("ES", std::vector<uint8_t>(b.begin(), b.begin() + 9));
  EXPECT_EQ(load_tick_file("ES", 0.25, &st), 0);
}

TEST_F(PlaybackTest, PausesBetweenStores) {
  struct Case {
    int32_t gap;
    int speed;
    int64_t spent;
    int after_skip, fast, stored;
    int want;
  } cases[] = {
      {10, 4, 0, 0, 0, 1, 2000},                                // 2.5 s is cut to the longest wait
      {6, 4, 0, 0, 0, 1, 1500},    {6, 4, 400, 0, 0, 1, 1100},  // less the time already spent
      {1, 1, 995, 0, 0, 1, 10},                                 // at least 10 ms
      {1, 1, 5000, 0, 0, 1, 10},                                // negative
      {0, 1, 0, 1, 0, 1, 500},                                  // after a skip
      {1, 1, 5000, 1, 0, 1, 500},  {3, 0, 0, 0, 0, 1, 2000},    // speed below 1 counts as 1
      {3, -5, 2500, 0, 0, 1, 500}, {10, 1, 0, 0, 1, 100, 20},   // fast mode: every 100th tick
      {10, 1, 0, 0, 1, 101, 0},    {10, 1, 0, 0, 1, 0, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(playback_pause_ms(T0 + c.gap, T0, c.speed, c.spent, c.after_skip, c.fast, c.stored),
              c.want)
        << c.gap << " s at speed " << c.speed << ", " << c.spent << " ms spent";
}

TEST_F(PlaybackTest, SessionMinuteMap) {
  // Four ranges: one unset (-1, as an empty field stores it) plays nothing.
  const int32_t sessions[PLAYBACK_SESSIONS][2] = {
      {9 * 3600 + 30 * 60, 16 * 3600}, {0, 0}, {23 * 3600, 90000}, {-1, 3 * 3600}};
  uint8_t map[1440];
  memset(map, 7, sizeof map);
  build_playback_minute_map(sessions, map);
  int open = 0;
  for (uint8_t m : map) open += m;
  EXPECT_EQ(open, 390 + 60);
  EXPECT_EQ(map[9 * 60 + 29], 0);
  EXPECT_EQ(map[9 * 60 + 30], 1);
  EXPECT_EQ(map[16 * 60 - 1], 1);
  EXPECT_EQ(map[16 * 60], 0);
  EXPECT_EQ(map[1439], 1);
  EXPECT_TRUE(playback_minute_open(map, 1704153600 + 10 * 3600));  // 10:00
  EXPECT_FALSE(playback_minute_open(map, 1704153600 + 8 * 3600));
}

// The stored record, field by field at its offsets, and what the playback
// thread is set up from it: all four ranges reach the minute map.
TEST_F(PlaybackTest, RecordDecodesAndSetsUpThePlaybackWithFourRanges) {
  uint8_t image[PBD_SIZE];
  for (int i = 0; i < PBD_SIZE; i++) image[i] = 0;
  memcpy(image, "ES", 2);
  const uint32_t start = (uint32_t)date_to_seconds(20450103, 10 * 3600 + 5);  // after 2038
  const int32_t words[][2] = {
      {PBD_FLAGS, 0x40}, {PBD_DAY_OFFSET, 2}, {PBD_SPARE, 77}, {PBD_RATE, 25},
      {52, 9 * 3600},    {56, 12 * 3600},     {60, -1},        {64, 20 * 3600},
      {68, 11 * 3600},   {72, 13 * 3600},     {76, -1},        {80, 21 * 3600}};
  for (const auto& w : words)
    for (int b = 0; b < 4; b++) image[w[0] + b] = (uint8_t)((uint32_t)w[1] >> (8 * b));
  for (int b = 0; b < 4; b++) image[PBD_START + b] = (uint8_t)(start >> (8 * b));

  PlaybackData d;
  playback_data_decode(image, &d);
  EXPECT_STREQ(d.name, "ES");
  EXPECT_EQ(d.start, start);
  uint8_t again[PBD_SIZE];
  playback_data_encode(&d, again);
  EXPECT_EQ(memcmp(image, again, PBD_SIZE), 0);

  playback_settings s{};
  playback_settings_from_data(&d, &s);
  EXPECT_STREQ(s.symbol, "ES");
  EXPECT_EQ(s.days_to_skip, 2);
  EXPECT_EQ(s.start_time, 10 * 3600 + 5);
  EXPECT_EQ(s.speed, 25);
  uint8_t map[1440];
  build_playback_minute_map(s.sessions, map);
  int open = 0;
  for (uint8_t m : map) open += m;
  EXPECT_EQ(open, 120 + 60 + 60);  // 9-11, 12-13, 20-21; the unset third plays nothing
  EXPECT_EQ(map[20 * 60 + 30], 1);
}

TEST_F(PlaybackTest, DecodedTickIsStoredAsATrade) {
  std::vector<uint32_t> w;
  append_full(w, TICK_BID, 4, T0, 99.75f);
  append_full(w, 0, 200, T0 + 1, 100.0f);
  w.push_back(encode_compact_tick(0, 100, 1, 2));
  std::vector<uint8_t> b = bytes_of(w);
  set_tick_words(&st, b.data(), b.size(), 0.25, nullptr);
  while (next_playback_tick(r, &st)) ASSERT_EQ(store_playback_tick(r), 1);
  EXPECT_FLOAT_EQ(r->last, 100.5f);
  EXPECT_EQ(r->volume, 300);
  EXPECT_FLOAT_EQ(r->high, 100.5f);
  EXPECT_FLOAT_EQ(r->low, 100.0f);
  EXPECT_EQ(r->stored_date, 20240102);
}

}  // namespace
