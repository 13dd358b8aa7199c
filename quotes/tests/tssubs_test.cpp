// Time-and-sales windows: the entry read from the relay's trade record,
// the copy of the stored entries a subscribing window gets, and the three
// window slots of a record.
#include <cstring>
#include <vector>

#include "data/chartheader.h"
#include "platform/locks.h"
#include "quotes/tests/quotes_fixture.h"
#include "quotes/tssubs.h"

namespace {

class TimeSalesTest : public QuotesTest {
 protected:
  // A trade (kind 0) or bid/ask (kind 1) entry stored at index i, its key
  // telling which it is.
  static void store(mqt* r, int i, int kind, int key) {
    ts_entry& e = r->ts_ring[i];
    e = {};
    e.kind = (uint8_t)kind;
    e.key = key;
  }
  static std::vector<int> keys(const ts_entry* b, int n) {
    std::vector<int> k;
    for (int i = 0; i < n; i++) k.push_back(b[i].key);
    return k;
  }
};

TEST_F(TimeSalesTest, EntryIsTheTradeRecordsFirst32Bytes) {
  uint8_t rec[36];
  for (int i = 0; i < 36; i++) rec[i] = (uint8_t)(0xA0 + i);
  rec[0] = 4 | 0x80;
  rec[1] = 0;
  put_le16(rec + 2, 17);
  rec[5] = TS_SIZE_HUNDREDS;
  rec[6] = TS_OP_CORRECT;
  rec[7] = TS_KIND_BID_ASK;
  put_le32(rec + 8, 36000);
  put_le32(rec + 12, 99);
  put_lef(rec + 16, 10.25f);
  put_lef(rec + 20, 10.5f);
  put_le16(rec + 24, 300);
  put_le16(rec + 26, 400);
  rec[28] = 'T';
  rec[29] = 100;
  ts_entry e;
  memset(&e, 0xFF, sizeof e);
  ts_entry_from_record(rec, &e);
  EXPECT_EQ(e.zero, 0);
  EXPECT_EQ(e.trade_flags, 0);
  EXPECT_EQ(e.symbol, 17);
  EXPECT_EQ(e.byte4, 0xA4);
  EXPECT_EQ(e.size_unit, TS_SIZE_HUNDREDS);
  EXPECT_EQ(e.operation, TS_OP_CORRECT);
  EXPECT_EQ(e.kind, TS_KIND_BID_ASK);
  EXPECT_EQ(e.time, 36000);
  EXPECT_EQ(e.key, 99);
  EXPECT_EQ(e.price, 10.25f);
  EXPECT_EQ(e.ask, 10.5f);
  EXPECT_EQ(e.bid_ask_size[0], 300);
  EXPECT_EQ(e.bid_ask_size[1], 400);
  EXPECT_EQ(e.condition, 'T');
  EXPECT_EQ(e.size_multiplier, 100);
  EXPECT_EQ(e.tail[0], 0xA0 + 30);
  EXPECT_EQ(e.tail[1], 0xA0 + 31);
}

// What a new window gets: the entries of its kinds, newest first, after a
// wrap on from the ring's end, at most as many as its buffer holds.
TEST_F(TimeSalesTest, SubscribingWindowGetsTheStoredEntriesNewestFirst) {
  mqt* r = create_multiquote_struct("IBM");
  store(r, 0, TS_KIND_TRADE, 1);
  store(r, 1, TS_KIND_BID_ASK, 2);
  store(r, 2, TS_KIND_TRADE, 3);
  store(r, 3, TS_KIND_SUMMARY, 4);
  store(r, 4, TS_KIND_TRADE, 5);
  r->ts_next = 5;
  // Once wrapped, the rest of the ring holds older entries, the oldest at
  // the next index.
  for (int i = 5; i < 126; i++) store(r, i, TS_KIND_TRADE, 1000 + i);
  store(r, 126, TS_KIND_TRADE, 126);
  store(r, 127, TS_KIND_BID_ASK, 127);
  struct Case {
    const char* name;
    int wrapped;
    uint8_t kinds;
    int max;
    std::vector<int> keys;
  } cases[] = {
      {"trades", 0, TS_WANT_TRADES, 10, {5, 3, 1}},
      {"bids and asks", 0, TS_WANT_BID_ASK, 10, {2}},
      {"both", 0, TS_WANT_TRADES | TS_WANT_BID_ASK, 10, {5, 3, 2, 1}},
      {"buffer of two", 0, TS_WANT_TRADES | TS_WANT_BID_ASK, 2, {5, 3}},
      {"nothing asked", 0, 0, 10, {}},
      {"wrapped", 1, TS_WANT_TRADES | TS_WANT_BID_ASK, 7, {5, 3, 2, 1, 127, 126, 1125}},
      {"wrapped, cut", 1, TS_WANT_TRADES, 4, {5, 3, 1, 126}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    r->ts_wrapped = c.wrapped;
    ts_entry buf[10];
    int n = -1;
    EXPECT_EQ(subscribe_time_sales("ibm", 21, c.kinds, buf, c.max, &n), r);
    EXPECT_EQ(keys(buf, n), c.keys);
    EXPECT_EQ(unsubscribe_time_sales(r, 21), 1);
  }
  EXPECT_EQ(r->users, 1);
  delete_multiquote(r);
}

// Three windows at most; a fourth is refused and leaves the record's users
// as they were; leaving gives each window's user back.
TEST_F(TimeSalesTest, ThreeWindowsPerSymbol) {
  mqt* r = create_multiquote_struct("ES");
  int n = -1;
  EXPECT_EQ(subscribe_time_sales("ES", 1, TS_WANT_TRADES, nullptr, 0, &n), r);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(subscribe_time_sales("ES", 2, TS_WANT_BID_ASK, nullptr, 0, nullptr), r);
  EXPECT_EQ(subscribe_time_sales("ES", 3, TS_WANT_TRADES, nullptr, 0, nullptr), r);
  EXPECT_EQ(r->users, 4);
  EXPECT_EQ(r->ts_subscribers, 3);
  EXPECT_EQ(subscribe_time_sales("ES", 4, TS_WANT_TRADES, nullptr, 0, &n), nullptr);
  EXPECT_EQ(r->users, 4);
  EXPECT_EQ(subscribe_time_sales("ES", 0, TS_WANT_TRADES, nullptr, 0, nullptr),
            nullptr);  // no window

  EXPECT_EQ(unsubscribe_time_sales(r, 4), 0);
  EXPECT_EQ(unsubscribe_time_sales(r, 2), 1);
  EXPECT_EQ(unsubscribe_time_sales(r, 2), 0);
  EXPECT_EQ(r->users, 3);
  EXPECT_EQ(r->ts_subscribers, 2);
  EXPECT_EQ(r->ts_windows[1], 0u);
  EXPECT_EQ(subscribe_time_sales("ES", 5, TS_WANT_TRADES, nullptr, 0, nullptr),
            r);  // the freed slot
  EXPECT_EQ(r->ts_windows[1], 5u);
  EXPECT_EQ(r->ts_kinds[1], TS_WANT_TRADES);

  // The last user of a record can be a window: leaving frees the record.
  for (kv_hwnd w : {1u, 3u, 5u}) EXPECT_EQ(unsubscribe_time_sales(r, w), 1);
  delete_multiquote(r);
  EXPECT_EQ(find_mqt("ES"), nullptr);
  EXPECT_EQ(subscribe_time_sales("ES", 6, TS_WANT_TRADES, nullptr, 0, nullptr) != nullptr, true);
  mqt* again = find_mqt("ES");
  EXPECT_EQ(again->users, 1);
  EXPECT_EQ(unsubscribe_time_sales(again, 6), 1);
  EXPECT_EQ(find_mqt("ES"), nullptr);
}

}  // namespace
