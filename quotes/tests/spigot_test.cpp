// The relay's input thread, the quote ring and the record handlers, with a
// fake relay pushing real records down a real data socket.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/tests/status_capture.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/testing/wait.h"
#include "quotes/booksubs.h"
#include "quotes/livechart.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "quotes/tests/fake_relay.h"
#include "quotes/tssubs.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

const char kRelayName[] = "KvRelayS";

void put_f32(uint8_t* p, float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  put_le32(p, u);
}

std::vector<uint8_t> trade_rec(int symbol, int kind, float price, int32_t size, int32_t volume,
                               int32_t time = 36000, int op = 0, int32_t key = 0) {
  std::vector<uint8_t> r(36, 0);
  r[0] = QR_TICK;
  put_le16(&r[2], (uint16_t)symbol);
  r[6] = (uint8_t)op;
  r[7] = (uint8_t)kind;
  put_le32(&r[8], (uint32_t)time);
  put_le32(&r[12], (uint32_t)key);
  put_f32(&r[16], price);
  put_le32(&r[20], (uint32_t)size);
  put_le32(&r[24], (uint32_t)volume);
  return r;
}

std::vector<uint8_t> bid_ask_rec(int symbol, float bid, float ask, int bid_size, int ask_size) {
  std::vector<uint8_t> r = trade_rec(symbol, TS_KIND_BID_ASK, bid, 0, 0);
  put_f32(&r[20], ask);
  put_le16(&r[24], (uint16_t)bid_size);
  put_le16(&r[26], (uint16_t)ask_size);
  r[29] = 1;
  return r;
}

// A stock quote: prices in hundredths (scale 2), sizes in units of 100.
std::vector<uint8_t> quote_rec(int symbol, int32_t last_cents, int32_t volume) {
  std::vector<uint8_t> r(144, 0);
  r[0] = QR_QUOTE;
  put_le16(&r[2], (uint16_t)symbol);
  r[9] = 2;
  r[10] = 10;
  r[11] = 30;
  put_le32(&r[12], (uint32_t)last_cents);
  put_le32(&r[16], 9000);
  put_le32(&r[20], (uint32_t)volume);
  put_le32(&r[24], (uint32_t)(last_cents - 1));
  put_le32(&r[28], (uint32_t)(last_cents + 1));
  put_le32(&r[32], 3);
  put_le32(&r[36], 4);
  put_le16(&r[80], 100);
  return r;
}

class SpigotTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    kv_set_time_scale(0.02);
    configure(0x217);
    g_qr_hostname[0] = 0;
    g_pref_flags &= ~((uint32_t)PREF_START_RELAY | PREF_TRADE_BAND | PREF_GARBLED_REPORT);
    g_qr_hooks = {};
    install_spigot_hooks();
    memset(g_symbol_slots, 0, sizeof g_symbol_slots);
  }
  void TearDown() override {
    stop_spigot_input_thread();
    {
      kv_lock guard(g_router_lock);
      qr_close();
    }
    free_quote_ring();
    g_qr_hooks = {};
    g_spigot_hooks = {};
    memset(g_symbol_slots, 0, sizeof g_symbol_slots);
    g_pref_flags &= ~(PREF_TRADE_BAND | PREF_GARBLED_REPORT);
    free_quote_source_cfgs();
    free_srcdata_cfg();
    QuotesTest::TearDown();
  }
  void configure(uint32_t caps, const char* more = "") {
    char cfg[320];
    snprintf(cfg, sizeof cfg,
             "router_capabilities 0x%x\nrouter_name %s\nexchange_times 9:30 16:00\n"
             "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n%s",
             caps, kRelayName, more);
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
    root_.write("CONFIG/relay.cfg", cfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    g_settings.MultiQuoteSource = 0;
  }
  // A record known to the relay as number n.
  mqt* numbered(const char* symbol, int n) {
    mqt* r = create_multiquote_struct(symbol);
    kv_lock guard(g_chart_lock);
    r->symbol_slot = n;
    g_symbol_slots[n - 1] = r;
    return r;
  }
  void dispatch(const std::vector<uint8_t>& rec) {
    kvqr_dispatch_records(rec.data(), (int)rec.size());
  }
};

// ---- the quote ring ---------------------------------------------------------

TEST_F(SpigotTest, RingKeepsRecordsWholeAndWrapsAfterTheLongOneAtTheEnd) {
  alloc_quote_ring();
  std::vector<uint8_t> small(36, 0), book(540, 0), out(QUOTE_RING_SLOTS * QUOTE_RING_SLOT);
  small[0] = QR_RELAY_STATUS;
  for (int i = 0; i < 9990; i++) {
    ASSERT_EQ(ticker_put_record(36, small.data()), 1) << i;
    if (i % 5000 == 4999) {
      EXPECT_EQ(quote_ring_take(out.data()), 5000 * 36);
    }
  }
  EXPECT_EQ(quote_ring_take(out.data()), 4990 * 36);
  for (int i = 0; i < 540; i++) book[i] = (uint8_t)(i * 7 + 1);
  book[0] = QR_ORDER_BOOK;
  ASSERT_EQ(ticker_put_record(540, book.data()), 1);
  quote_ring_state s = quote_ring_snapshot();
  EXPECT_EQ(s.put, 0);  // slots 9,990..10,004 taken, putting restarts at 0
  EXPECT_EQ(s.wrap_mark, 10005);
  EXPECT_EQ(s.unread, 15);
  ASSERT_EQ(ticker_put_record(36, small.data()), 1);
  EXPECT_EQ(quote_ring_snapshot().put, 1);
  // The reader takes the long record whole up to the wrap mark, then slot 0.
  ASSERT_EQ(quote_ring_take(out.data()), 540);
  EXPECT_EQ(memcmp(out.data(), book.data(), 540), 0);
  s = quote_ring_snapshot();
  EXPECT_EQ(s.read, 0);
  EXPECT_EQ(s.wrap_mark, QUOTE_RING_WRAP);
  EXPECT_EQ(quote_ring_take(out.data()), 36);
  EXPECT_EQ(quote_ring_take(out.data()), 0);
}

TEST_F(SpigotTest, FullRingDropsPutsAndReportsTheLossWithTheNextPut) {
  StatusCapture status;
  alloc_quote_ring();
  std::vector<uint8_t> rec(36, 0), out(QUOTE_RING_SLOTS * QUOTE_RING_SLOT);
  rec[0] = QR_RELAY_STATUS;
  for (int i = 0; i < 9990; i++) ASSERT_EQ(ticker_put_record(36, rec.data()), 1);
  for (int i = 0; i < 3; i++) EXPECT_EQ(ticker_put_record(36, rec.data()), 0);
  EXPECT_EQ(quote_ring_snapshot().lost, 3);
  EXPECT_TRUE(status.saw("Data Input Overflow"));
  EXPECT_FALSE(status.saw("messages from TWS lost"));
  quote_ring_take(out.data());
  ASSERT_EQ(ticker_put_record(36, rec.data()), 1);
  EXPECT_TRUE(status.saw("     3 messages from TWS lost at "));
  EXPECT_EQ(quote_ring_snapshot().lost, 0);
}

TEST_F(SpigotTest, HeartbeatGoesIntoTheRingOnlyWhenItExists) {
  queue_heartbeat_record();  // no ring: nothing
  alloc_quote_ring();
  queue_heartbeat_record();
  std::vector<uint8_t> out(QUOTE_RING_SLOTS * QUOTE_RING_SLOT);
  ASSERT_EQ(quote_ring_take(out.data()), 36);
  EXPECT_EQ(out[0], QR_RELAY_STATUS);
  EXPECT_EQ(get_le16(&out[2]), QR_STATUS_TICK);
}

// ---- handlers -----------------------------------------------------------------

TEST_F(SpigotTest, TradesFillTheRingClassifyAndReachSubscribedWindows) {
  mqt* r = numbered("IBM", 7);
  MessageSink sink;
  {
    kv_lock guard(g_chart_lock);
    r->ts_windows[0] = sink.wnd;
    r->ts_kinds[0] = TS_WANT_TRADES;
  }
  dispatch(bid_ask_rec(7, 100.0f, 100.5f, 3, 4));
  EXPECT_FLOAT_EQ(r->bid, 100.0f);
  EXPECT_FLOAT_EQ(r->ask, 100.5f);
  EXPECT_EQ(r->bid_size, 3);
  EXPECT_EQ(r->ts_next, 0);  // a bid/ask entry does not advance the ring
  struct {
    float price;
    uint8_t flags;
  } trades[] = {{100.5f, TS_AT_ASK},
                {100.0f, TS_AT_BID},
                {100.25f, TS_BETWEEN},
                {101.0f, TS_ABOVE_ASK},
                {99.0f, TS_BELOW_BID}};
  int i = 0;
  for (auto& t : trades) {
    dispatch(trade_rec(7, TS_KIND_TRADE, t.price, 200, 1000 + i, 36000 + i, 0, 50 + i));
    EXPECT_EQ(r->ts_ring[i].trade_flags, t.flags) << t.price;
    EXPECT_FLOAT_EQ(r->last, t.price);
    i++;
  }
  EXPECT_EQ(r->ts_next, 5);
  EXPECT_EQ(r->volume, 1004);
  EXPECT_EQ(r->last_size, -200);  // below the bid: a sale
  // Cancel by key; the window gets a copy of each entry.
  dispatch(trade_rec(7, TS_KIND_TRADE, 0, 0, 0, 0, TS_OP_CANCEL, 51));
  EXPECT_TRUE(r->ts_ring[1].trade_flags & TS_CANCELLED);
  ASSERT_EQ(sink.count(WM_TRADE_UPDATE), 6);
  const ts_entry* last = (const ts_entry*)sink.got.back().lparam;
  EXPECT_EQ(last->key, 51);
  EXPECT_TRUE(last->trade_flags & TS_CANCELLED);
  EXPECT_EQ(last->operation, TS_OP_CANCEL);  // not a new trade to the window
  EXPECT_EQ(r->ts_ring[1].operation, TS_OP_NEW);
  for (auto& m : sink.got)
    if (m.message == WM_TRADE_UPDATE) free((void*)m.lparam);
}

TEST_F(SpigotTest, TradeOutsideTheBandIsHeldUntilTheBandReachesIt) {
  mqt* r = numbered("IBM", 7);
  g_pref_flags = (g_pref_flags & ~0x0FF00000u) | PREF_TRADE_BAND | (2u << 20) | (1u << 24);
  dispatch(bid_ask_rec(7, 100.0f, 100.5f, 3, 4));
  dispatch(trade_rec(7, TS_KIND_TRADE, 100.25f, 100, 1000));
  EXPECT_FLOAT_EQ(r->last, 100.25f);
  dispatch(trade_rec(7, TS_KIND_TRADE, 150.0f, 100, 1100));  // far outside
  EXPECT_FLOAT_EQ(r->last, 100.25f);
  EXPECT_TRUE(r->ts_ring[1].trade_flags & TS_HELD_BACK);
  // The market moves up to the held price: it is applied with the next trade.
  dispatch(bid_ask_rec(7, 149.5f, 150.5f, 3, 4));
  dispatch(trade_rec(7, TS_KIND_TRADE, 150.25f, 100, 1200));
  EXPECT_FLOAT_EQ(r->last, 150.25f);
  EXPECT_TRUE(r->ts_ring[1].trade_flags & TS_CORRECTED);
  EXPECT_FALSE(r->ts_ring[1].trade_flags & TS_HELD_BACK);
  g_pref_flags &= ~0x0FF00000u;
}

TEST_F(SpigotTest, QuoteDetailsAndCutRecords) {
  StatusCapture status;
  mqt* r = numbered("IBM", 7);
  dispatch(quote_rec(7, 12345, 50));
  EXPECT_FLOAT_EQ(r->last, 123.45f);
  EXPECT_FLOAT_EQ(r->prev_close, 90.0f);
  EXPECT_EQ(r->volume, 5000);
  EXPECT_EQ(r->bid_size, 300);
  // Sizes that overflow saturate.
  dispatch(quote_rec(7, 12345, 0x7FFFFFF0));
  EXPECT_EQ(r->volume, INT32_MAX);
  // The fields without a named use are carried as they came.
  std::vector<uint8_t> q = quote_rec(7, 12345, 50);
  put_le32(&q[56], 2050);
  put_le32(&q[60], (uint32_t)-125);
  q[67] = 3;
  q[68] = 250;
  put_le32(&q[72], 1500);
  put_le32(&q[76], (uint32_t)-2);
  put_le32(&q[100], 0xDEADBEEF);
  dispatch(q);
  EXPECT_FLOAT_EQ(r->relay_price[0], 20.5f);
  EXPECT_FLOAT_EQ(r->relay_price[1], -1.25f);
  EXPECT_EQ(r->relay_byte[0], 3);
  EXPECT_EQ(r->relay_byte[1], 250);
  EXPECT_FLOAT_EQ(r->relay_thousandths[0], 1.5f);
  EXPECT_FLOAT_EQ(r->relay_thousandths[1], -0.002f);
  EXPECT_EQ(r->relay_word, 0xDEADBEEFu);

  // Details: the local symbol is the record's last 24 bytes, terminated.
  std::vector<uint8_t> d(36, 'X');
  d[0] = QR_SYMBOL_DETAILS;
  d[1] = 0;
  put_le16(&d[2], 7);
  put_le32(&d[4], 0);
  put_f32(&d[8], 0.01f);
  dispatch(d);
  EXPECT_EQ(std::string(r->broker_local_symbol), std::string(24, 'X'));
  EXPECT_EQ(r->multiplier, 1);
  EXPECT_NEAR(r->tick_size, 0.01, 1e-9);
  EXPECT_TRUE(r->flags & MQT_DETAILS_RECEIVED);

  // Any record cut off by its block ends the block, reported when asked.
  g_pref_flags |= PREF_GARBLED_REPORT;
  for (int code : {QR_QUOTE, QR_ORDER_STATUS, QR_INFO_BLOCK, QR_TICK}) {
    std::vector<uint8_t> cut =
        code == QR_QUOTE ? quote_rec(7, 99900, 1) : std::vector<uint8_t>(72, 0);
    cut[0] = (uint8_t)code;
    put_le16(&cut[2], 7);
    cut.resize(code == QR_TICK ? 30 : 60);
    float before = r->last;
    dispatch(cut);
    EXPECT_FLOAT_EQ(r->last, before) << code;
  }
  const auto& lines = status.take();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) {
                            return l.find("Garbled communication with router") != l.npos;
                          }),
            4);
}

TEST_F(SpigotTest, MinuteBarFillsTheSkippedMinutesAndReplacesItsOwn) {
  configure(0x217, "source_codes 21 1 0 0 0 0\n");  // code byte 21, flag 0x100
  mqt* r = numbered("IBM", 7);
  const int32_t day = 1767571200;  // 5 January 2026
  {
    kv_lock guard(g_chart_lock);
    r->quote_date = 20260105;
    r->quote_time = 9 * 3600 + 33 * 60;
    r->session_start = 34200;
    r->last = 20.0f;
  }
  // A 1-minute chart of the symbol is rebuilt from the ring after the
  // block's last record.
  g_mqt_hooks.rebuild_minute_charts = rebuild_minute_charts;
  chart_rec* chart = new_chart("IBM", TU_1MIN);
  ASSERT_NE(chart, nullptr);
  {
    kv_lock guard(g_chart_lock);
    chart->mqt = r;
    r->intraday_charts = chart;
    r->users++;
  }
  std::vector<uint8_t> b(36, 0);
  b[0] = uint8_t(int(QR_MINUTE_BAR) | int(QR_LAST_RECORD));
  put_le16(&b[2], 7);
  put_le32(&b[4], (uint32_t)(day + 34320));  // 9:32
  put_f32(&b[8], 20.5f);
  put_f32(&b[12], 21.0f);
  put_f32(&b[16], 20.0f);
  put_f32(&b[20], 20.75f);
  put_le32(&b[24], 1500);
  {
    kv_lock guard(g_chart_lock);
    r->volume = 30000;
    r->session_volume[2] = 10000;  // usually 10,000 by the third minute
  }
  dispatch(b);
  kv_lock guard(g_chart_lock);
  ASSERT_EQ(r->recent_count, 3);  // 9:30, 9:31 flat, 9:32 the relay's bar
  EXPECT_EQ(r->recent_bars[0].time, day + 34200);
  const chart_bar& last = r->recent_bars[2];
  EXPECT_EQ(last.time, day + 34320);
  EXPECT_FLOAT_EQ(last.high, 21.0f);
  EXPECT_FLOAT_EQ(last.close, 20.75f);
  EXPECT_EQ(last.volume, 1500);
  EXPECT_EQ(last.flags, 0x5F8115u);  // the relay's bar flag word, last of its block
  EXPECT_TRUE(r->flags & MQT_1MIN_CHANGED);
  EXPECT_EQ(r->relative_volume, 300);
  ASSERT_EQ(chart->header.bar_count, 3);
  EXPECT_EQ(chart->bars[2].time, day + 34320);
  EXPECT_FLOAT_EQ(chart->bars[2].close, 20.75f);
  EXPECT_EQ(chart->bars[2].volume, 1500);

  // A bar that is not the last of its block is marked so; an index has no
  // volume; the pace stays where the usual volume is unknown.
  b[0] = QR_MINUTE_BAR;
  put_le32(&b[4], (uint32_t)(day + 34260));  // 9:31
  b[28] = 1;
  r->volume = 50000;
  dispatch(b);
  const chart_bar& mid = r->recent_bars[1];
  EXPECT_EQ(mid.flags, 0x5F9115u);
  EXPECT_FLOAT_EQ(mid.close, 20.75f);
  EXPECT_EQ(mid.volume, 0);
  EXPECT_EQ(r->relative_volume, 300);
  free_chart_data(chart);
}

TEST_F(SpigotTest, BookRecordsFillTheWindowBuffersAndMergeTheQuote) {
  mqt* r = numbered("IBM", 7);
  MessageSink sink;
  std::vector<uint8_t> plain(512, 0), merged(512, 0);
  {
    kv_lock guard(g_chart_lock);
    r->bid = 10.5f;
    r->bid_size = 900;
  }
  configure(0x237);
  ASSERT_TRUE(subscribe_orderbook("IBM", sink.wnd, plain.data(), 0));
  ASSERT_TRUE(
      subscribe_orderbook("IBM", sink.wnd + 1000, merged.data(), BOOK_OPTION_INSIDE_MARKET));
  std::vector<uint8_t> book(540, 0);
  book[0] = QR_ORDER_BOOK;
  put_le16(&book[2], 7);
  // Entries: word, size, price.
  put_le32(&book[32], 36000);
  put_le32(&book[36], 100);
  put_f32(&book[40], 10.25f);  // best bid of the book below the quote's bid
  dispatch(book);
  EXPECT_EQ(memcmp(plain.data(), book.data(), 512), 0);
  EXPECT_EQ(get_le32(&merged[32]) >> 24, 8u);  // the quote's bid in front
  EXPECT_EQ(get_le32(&merged[36]), 900u);
  EXPECT_FLOAT_EQ(*(float*)&merged[40], 10.5f);
  EXPECT_FLOAT_EQ(*(float*)&merged[52], 10.25f);
  EXPECT_EQ(sink.count(WM_ORDERBOOK_UPDATE), 1);
  const int users = r->users;
  unsubscribe_orderbook(r, sink.wnd);
  unsubscribe_orderbook(r, sink.wnd + 1000);
  EXPECT_EQ(r->users, users - 2);  // each window's user given back
  kv_dispatch_posted(-1);
  delete_multiquote(r);
}

// ---- the input thread over the data socket ---------------------------------------

TEST_F(SpigotTest, RelayPushesRecordsDownTheDataSocket) {
  FakeRelay relay(kRelayName);
  ASSERT_TRUE(relay.start());
  mqt* r = numbered("IBM", 7);
  MessageSink sink;
  {
    kv_lock guard(g_chart_lock);
    r->ts_windows[0] = sink.wnd;
    r->ts_kinds[0] = TS_WANT_TRADES;
  }
  ASSERT_EQ(kvqr_connect(), 1);
  ASSERT_TRUE(kv_wait_until([&] { return relay.data_clients == 1; }));
  ASSERT_TRUE(spigot_input_running());
  // Two records in one packet, then one more.
  std::vector<uint8_t> packet = quote_rec(7, 5000, 10);
  std::vector<uint8_t> t = trade_rec(7, TS_KIND_TRADE, 50.5f, 300, 2000);
  packet.insert(packet.end(), t.begin(), t.end());
  ASSERT_TRUE(relay.push(packet));
  ASSERT_TRUE(kv_pump_until([&] { return sink.count(WM_TRADE_UPDATE) == 1; }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_FLOAT_EQ(r->last, 50.5f);
    EXPECT_EQ(r->ts_next, 1);
  }
  for (auto& m : sink.got)
    if (m.message == WM_TRADE_UPDATE) free((void*)m.lparam);
  // The relay going away ends the thread and forgets its numbers.
  relay.stop();
  ASSERT_TRUE(kv_wait_until([&] { return !spigot_input_running(); }));
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(r->symbol_slot, 0);
  EXPECT_EQ(g_symbol_slots[6], nullptr);
}

TEST_F(SpigotTest, RingModeDrainsWhatTheBrokerClientPuts) {
  configure(0x10217);
  mqt* r = numbered("IBM", 7);
  alloc_quote_ring();
  ASSERT_EQ(start_spigot_input_thread(), 1);
  std::vector<uint8_t> q = quote_rec(7, 4200, 10);
  ASSERT_EQ(ticker_put_record((int)q.size(), q.data()), 1);
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return r->last == 42.0f;
  }));
  stop_spigot_input_thread();
  EXPECT_FALSE(spigot_input_running());
}

}  // namespace
