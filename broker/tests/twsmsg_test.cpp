// TWS's incoming messages against the fake TWS: ticks into trade, quote and
// summary records; order status, open orders and executions through the
// record handlers into the orders and the account file; market depth;
// history into the chart of the request; the next order id.
#include <cmath>

#include "broker/tests/tws_data_fixture.h"
#include "data/chart.h"
#include "data/dates.h"
#include "data/exchclock.h"
#include "platform/messages.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

using fields = std::vector<std::string>;

struct tick_rec {
  int kind;
  float price;
  int size;
};

tick_rec decode_tick(const std::vector<uint8_t>& r) {
  tick_rec t;
  t.kind = r[7];
  t.price = get_lef(r.data() + 16);
  t.size = t.kind == 0 ? (int32_t)get_le32(r.data() + 20) : get_le16(r.data() + 24);
  return t;
}

class TwsMsgTest : public TwsDataTest {};

TEST_F(TwsMsgTest, TicksMakeTradeQuoteAndSummaryRecords) {
  mqt* r = stock("IBM", 3);
  connect();
  // A last price and its size make one trade.
  deliver({"1", "6", "3", "4", "101.5", "2", "0"});
  EXPECT_TRUE(taken().empty());
  deliver({"2", "6", "3", "5", "300"});
  auto recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_EQ(QR_TICK, qr_record_code(recs[0].data()));
  EXPECT_EQ(3, qr_record_symbol(recs[0].data()));
  tick_rec t = decode_tick(recs[0]);
  EXPECT_EQ(0, t.kind);
  EXPECT_FLOAT_EQ(101.5f, t.price);
  EXPECT_EQ(300, t.size);
  // Two last prices without a size: the first goes out with the second.
  deliver({"1", "6", "3", "4", "102", "0", "0"});
  deliver({"1", "6", "3", "4", "103", "0", "0"});
  recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_FLOAT_EQ(102.0f, decode_tick(recs[0]).price);
  deliver({"2", "6", "3", "5", "100"});
  ASSERT_EQ(1u, taken().size());
  // A bid price is held until a size changes; then the quote goes out.
  deliver({"1", "6", "3", "1", "100.25", "0", "0"});
  EXPECT_TRUE(taken().empty());
  deliver({"2", "6", "3", "0", "7"});
  recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_EQ(1, decode_tick(recs[0]).kind);
  EXPECT_FLOAT_EQ(100.25f, decode_tick(recs[0]).price);
  EXPECT_EQ(7, decode_tick(recs[0]).size);
  // Previous close puts the summary record; the handlers store it.
  deliver({"1", "6", "3", "9", "99.5", "0", "0"});
  recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_EQ(2, recs[0][7]);
  kvqr_dispatch_records(recs[0].data(), (int)recs[0].size());
  EXPECT_FLOAT_EQ(99.5f, r->prev_close);
  // Data arrived on the record.
  EXPECT_TRUE(r->flags & MQT_QUOTE_STORED);
}

TEST_F(TwsMsgTest, IdsAtOrBelowZeroHaveNoTicker) {
  stock("IBM", 300);
  for (int id : {0, -1, -300}) {
    EXPECT_EQ(0, tws_fold_id(id));
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(nullptr, tws_id_record(id));
  }
  EXPECT_EQ(300, tws_fold_id(600));
  EXPECT_EQ(5, tws_fold_id(305));
  tws_tick_price(0, 4, 10);
  tws_tick_size(-300, 5, 10);
  EXPECT_TRUE(taken().empty());
}

TEST_F(TwsMsgTest, OrderStatusOpenOrderAndExecutionReachOrdersAndAccountFile) {
  g_pref_flags1 |= 0x8;  // trading on
  mqt* r = stock("IBM", 4);
  order_rec* o;
  {
    kv_lock guard(g_chart_lock);
    o = create_order(r);
    o->relay.type = order_type_word(ORDER_BUY, ORDER_DAY, ORDER_LMT) | ORDER_TRANSMIT;
    o->relay.quantity = 100;
    o->relay.order_id = 41;
    o->status = ORDER_PENDING_SUBMIT;
  }
  MessageSink sink;
  {
    kv_lock guard(g_chart_lock);
    o->window = sink.wnd;
  }
  connect();
  // Status of another client is not ours.
  deliver({"3", "6", "41", "Filled", "100", "0", "10.5", "9", "0", "10.5", "3", ""});
  EXPECT_TRUE(taken().empty());
  deliver({"3", "6", "41", "Submitted", "40", "60", "10.5", "9", "0", "10.5", "7", ""});
  dispatch_taken();
  EXPECT_EQ((uint32_t)ORDER_SUBMITTED, o->status);
  EXPECT_EQ(40, o->filled);
  EXPECT_EQ(60, o->remaining);
  EXPECT_GE(sink.count(WM_ORDER_STATUS), 1);

  // An open order of a stock on SMART names "M~IBM" ... the ticker of IBM
  // is found by its name without the prefix.
  fields open = {"5",    "8",   "42",   "IBM", "STK", "",   "0",   "",    "SMART",
                 "USD",  "IBM", "SELL", "200", "STP", "0",  "9.5", "GTC", "OCA1",
                 "U123", "O",   "0",    "ref", "7",   "77", "0",   "0",   "0",
                 "",     "",    "",     "",    "",    "",   ""};
  deliver(open);
  auto recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_EQ(QR_OPEN_ORDER, qr_record_code(recs[0].data()));
  EXPECT_EQ(4, qr_record_symbol(recs[0].data()));
  kvqr_dispatch_records(recs[0].data(), (int)recs[0].size());
  {
    kv_lock guard(g_chart_lock);
    order_rec* got = find_order_by_id(42);
    ASSERT_NE(nullptr, got);
    EXPECT_EQ(ORDER_SELL, order_action(got));
    EXPECT_EQ(ORDER_STP, order_type(got));
    EXPECT_EQ(ORDER_GTC, order_tif(got));
    EXPECT_EQ(200, got->relay.quantity);
    EXPECT_DOUBLE_EQ(9.5, got->relay.aux);
    EXPECT_STREQ("U123", got->relay.account);
  }

  // An execution of this client goes into the account's trade file.
  // Version 7: request id, order id, contract id, contract, execution,
  // liquidation, cumulative quantity and average price.
  deliver({"11",
           "7",
           "1",
           "41",
           "8314",
           "IBM",
           "STK",
           "",
           "0",
           "",
           "SMART",
           "USD",
           "IBM",
           "0001f4e8.4c0a.01",
           "20261210  10:15:30",
           "U123",
           "ISLAND",
           "BOT",
           "40",
           "10.5",
           "9",
           "7",
           "0",
           "40",
           "10.5"});
  recs = taken();
  ASSERT_EQ(1u, recs.size());
  EXPECT_EQ(QR_EXECUTION, qr_record_code(recs[0].data()));
  execution_rec e;
  decode_execution(recs[0].data(), &e);
  EXPECT_EQ(4, e.symbol_number);
  EXPECT_STREQ("0001f4e8.4c0a.01", e.f.exec_id);
  EXPECT_EQ(10 * 3600 + 15 * 60 + 30, e.f.quote_time);
  EXPECT_EQ(date_to_seconds(20261210, 10 * 3600 + 15 * 60 + 30), e.f.exec_time);
  kvqr_dispatch_records(recs[0].data(), (int)recs[0].size());
  {
    kv_lock guard(g_chart_lock);
    account_rec* a = get_account("U123");
    ASSERT_NE(nullptr, a);
    ASSERT_EQ(1, a->count);
    EXPECT_EQ(40, a->trades[0].f.quantity);
    EXPECT_TRUE(append_new_trades(a));
  }
  char path[512];
  ASSERT_NE(nullptr, account_file_path(path, sizeof path, "U123"));
  FILE* f = fopen(path, "rb");
  ASSERT_NE(nullptr, f);
  fseek(f, 0, SEEK_END);
  EXPECT_EQ(TRADE_SIZE, ftell(f));
  fclose(f);
}

// Messages of the versions a newer TWS sends carry fields this program
// drops; each is read whole, so the message after it is read as sent.
TEST_F(TwsMsgTest, NewerMessageVersionsAreReadWhole) {
  g_pref_flags1 |= 0x8;  // trading on
  mqt* r = stock("IBM", 4);
  connect();
  struct versioned {
    const char* what;
    fields msg;
  };
  const versioned cases[] = {
      {"execution 10",
       {"11",
        "10",
        "1",
        "41",
        "8314",
        "IBM",
        "STK",
        "",
        "0",
        "",
        "100",
        "SMART",
        "USD",
        "IBM",
        "IBM",
        "ex.10",
        "20261210  10:15:30",
        "U123",
        "ISLAND",
        "BOT",
        "40",
        "10.5",
        "9",
        "7",
        "0",
        "40",
        "10.5",
        "ref",
        "rule",
        "1.5"}},
      {"execution 6", {"11",   "6",      "41",    "8314", "IBM",  "STK",  "",
                       "0",    "",       "SMART", "USD",  "IBM",  "ex.6", "20261210  10:15:31",
                       "U123", "ISLAND", "SLD",   "10",   "10.6", "9",    "7",
                       "0",    "10",     "10.6"}},
      {"contract details 8",
       {"10",
        "8",
        "3",
        "IBM",
        "STK",
        "",
        "0",
        "",
        "SMART",
        "USD",
        "IBM",
        "NMS",
        "IBM",
        "8314",
        "0.01",
        "1",
        "LMT,MKT",
        "SMART,ISLAND",
        "1",
        "0",
        "Intl Bus Mach",
        "NYSE",
        "",
        "Tech",
        "Computers",
        "Hardware",
        "EST",
        "0930-1600",
        "0930-1600",
        "rule",
        "2.0",
        "2",
        "ISIN",
        "US4592001014",
        "CUSIP",
        "459200101"}},
      {"portfolio 8", {"7",   "8",   "8314", "IBM", "STK", "",      "0",   "",     "1",  "NYSE",
                       "USD", "IBM", "IBM",  "300", "110", "33000", "100", "3000", "50", "U123"}},
      {"option computation 6",
       {"21", "6", "4", "10", "0.3", "0.5", "2.1", "0", "0.02", "0.1", "-0.05", "100"}},
      {"contract details 2",
       {"10", "2", "IBM", "STK", "", "0", "", "SMART", "USD", "IBM", "NMS", "IBM", "8314", "0.01",
        "1", "LMT", "SMART", "1"}},
  };
  int next = 100;
  for (const versioned& c : cases) {
    SCOPED_TRACE(c.what);
    fields both = c.msg;
    for (const char* f : {"9", "1"}) both.push_back(f);
    both.push_back(std::to_string(++next));
    deliver(both);
    ASSERT_TRUE(kv_wait_until([] { return tws_process_message() != 0; }));
    EXPECT_EQ(next, g_tws_next_order_id.load());
    EXPECT_TRUE(g_tws_connected.load());
  }
  // What the handlers kept of them.
  auto recs = taken();
  ASSERT_EQ(2u, recs.size());
  execution_rec e;
  decode_execution(recs[0].data(), &e);
  EXPECT_STREQ("ex.10", e.f.exec_id);
  EXPECT_EQ(40, e.f.quantity);
  decode_execution(recs[1].data(), &e);
  EXPECT_STREQ("ex.6", e.f.exec_id);
  EXPECT_STREQ("SLD", e.f.side);
  EXPECT_STREQ("NMS", r->market_name);
  EXPECT_DOUBLE_EQ(300, r->account_positions[0].quantity);
}

TEST_F(TwsMsgTest, NextValidIdNeverMovesDown) {
  connect();
  deliver({"9", "1", "50"});
  EXPECT_EQ(50, g_tws_next_order_id.load());
  deliver({"9", "1", "20"});
  EXPECT_EQ(50, g_tws_next_order_id.load());
  deliver({"9", "1", "60"});
  EXPECT_EQ(60, g_tws_next_order_id.load());
}

TEST_F(TwsMsgTest, DuplicateOrderIdCancelsTheOrderWithItsLine) {
  mqt* r = stock("IBM", 4);
  order_rec* o;
  {
    kv_lock guard(g_chart_lock);
    o = create_order(r);
    o->relay.order_id = 77;
    o->status = ORDER_PENDING_SUBMIT;
  }
  connect();
  deliver({"4", "2", "77", "103", "Duplicate order id"});
  EXPECT_EQ((uint32_t)ORDER_CANCELLED, o->status);
  EXPECT_TRUE(has_status("IB Error(103): Duplicate order id"));
}

TEST_F(TwsMsgTest, MarketDepthRowsAndOutOfRangePositions) {
  mqt* r = stock("IBM", 2);
  connect();
  for (int i = 0; i < 10; i++)
    deliver({"12", "1", "2", std::to_string(i), "0", "1", std::to_string(100 - i), "10"});
  // Position 9 with operation 0 replaces the last row.
  deliver({"12", "1", "2", "9", "0", "1", "50", "99"});
  EXPECT_DOUBLE_EQ(50, r->depth_bids[9].price);
  EXPECT_EQ(99, r->depth_bids[9].size);
  EXPECT_DOUBLE_EQ(92, r->depth_bids[8].price);
  // Insert at 0 moves every row down one; the last falls off.
  deliver({"12", "1", "2", "0", "0", "1", "101", "5"});
  EXPECT_DOUBLE_EQ(101, r->depth_bids[0].price);
  EXPECT_DOUBLE_EQ(100, r->depth_bids[1].price);
  EXPECT_DOUBLE_EQ(92, r->depth_bids[9].price);
  mqt_depth_row before[10];
  memcpy(before, r->depth_bids, sizeof before);
  // Position 10, a negative position, side 2: dropped.
  for (fields m : {fields{"12", "1", "2", "10", "0", "1", "1", "1"},
                   fields{"12", "1", "2", "-1", "0", "1", "1", "1"},
                   fields{"12", "1", "2", "3", "1", "2", "1", "1"}})
    deliver(m);
  EXPECT_EQ(0, memcmp(before, r->depth_bids, sizeof before));
  // Delete clears the row without moving the others; asks are side 0.
  deliver({"12", "1", "2", "1", "2", "1", "0", "0"});
  EXPECT_EQ(0, r->depth_bids[1].size);
  EXPECT_DOUBLE_EQ(101, r->depth_bids[0].price);
  deliver({"12", "1", "2", "0", "1", "0", "102", "3"});
  EXPECT_DOUBLE_EQ(102, r->depth_asks[0].price);
}

// A chart of the unit with room for bars.
chart_rec* fetch_chart(const char* symbol, int unit) {
  chart_rec* c = new_chart_with_slots(symbol, unit, 16);
  return c;
}

TEST_F(TwsMsgTest, HistoryFillsTheChartOfItsRequestOnly) {
  mqt* r = stock("IBM", 5);
  connect();
  chart_rec* daily = fetch_chart("IBM", 390);
  std::thread req([&] { EXPECT_EQ(1, IBReqIntradayData(daily, r, 30, "20261210 21:00:00 UTC")); });
  auto got = peer_.read_fields(21);
  req.join();
  ASSERT_EQ(21u, got.size());
  EXPECT_EQ("20", got[0]);
  EXPECT_EQ("305", got[2]);
  EXPECT_EQ("1 day", got[15]);
  EXPECT_EQ("30 D", got[16]);
  EXPECT_EQ("TRADES", got[18]);
  // A daily bar dated yyyymmdd becomes that day; stock volume x 100.
  deliver({"17", "3", "305", "a", "b", "1", "20261209", "10", "12", "9", "11", "70", "10.5",
           "false", "3"});
  ASSERT_EQ(1, daily->header.bar_count);
  EXPECT_EQ(date_to_seconds(20261209, 0), daily->bars[0].time);
  EXPECT_EQ(7000, daily->bars[0].volume);
  EXPECT_FLOAT_EQ(12, daily->bars[0].high);
  // A late reply to another request fills nothing.
  deliver({"17", "3", "306", "a", "b", "1", "20261210", "10", "12", "9", "11", "70", "10.5", "true",
           "3"});
  EXPECT_EQ(1, daily->header.bar_count);
  tws_clear_hmds_target();
  destroy_chart(daily);

  // An intraday bar in seconds keeps its time plus the exchange offset.
  chart_rec* minute = fetch_chart("IBM", 1);
  std::thread req2([&] { IBReqIntradayData(minute, r, 7200, "20261210 21:00:00 UTC"); });
  got = peer_.read_fields(21);
  req2.join();
  EXPECT_EQ("1 min", got[15]);
  EXPECT_EQ("7200", got[16]);
  int offset = exchange_local_seconds(r->market, kv_now_utc_seconds());
  deliver({"17", "3", "305", "a", "b", "1", "1765400000", "10", "12", "9", "11", "70", "10.5",
           "true", "3"});
  ASSERT_EQ(1, minute->header.bar_count);
  EXPECT_EQ(1765400000 + offset, minute->bars[0].time);
  EXPECT_TRUE(minute->bars[0].flags & 0x8000000);
  tws_clear_hmds_target();
  destroy_chart(minute);
}

TEST_F(TwsMsgTest, VolumeChartWithoutSizeTakesOneBarPerHistoryBar) {
  mqt* r = stock("IBM", 5);
  connect();
  for (int n : {0, 1000}) {
    chart_rec* c = fetch_chart("IBM", TU_VOLUME_BASE - n);
    std::thread req([&] { IBReqIntradayData(c, r, 1, "20261210 21:00:00 UTC"); });
    peer_.read_fields(21);
    req.join();
    deliver({"17", "3",  "305", "a",  "b",    "2",     "1765400000", "10",
             "12", "9",  "11",  "25", "10.5", "false", "3",          "1765400060",
             "11", "13", "10",  "12", "10",   "11.5",  "false",      "3"});
    // 2500 and 1000 shares: size 0 keeps both bars; size 1000 pours them
    // into three full bars and a part.
    if (n == 0) {
      EXPECT_EQ(2, c->header.bar_count);
    } else {
      ASSERT_EQ(4, c->header.bar_count);
      EXPECT_EQ(1000, c->bars[0].volume);
      EXPECT_EQ(500, c->bars[3].volume);
      EXPECT_FLOAT_EQ(13, c->bars[2].high);
    }
    tws_clear_hmds_target();
    destroy_chart(c);
  }
}

TEST_F(TwsMsgTest, UnknownMessageIdDumpsAndReports505) {
  connect();
  deliver({"77", "1", "2"});
  EXPECT_TRUE(has_status("505 Fatal Error: Unknown message id"));
}

}  // namespace
