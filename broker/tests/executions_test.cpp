// Executions and the account trade files: the bytes on disk, duplicates,
// the open-account table, commissions, writes that fail half-way, and a
// paper fill from stored quotes all the way to the position summary.
#include <signal.h>
#include <sys/resource.h>

#include <cmath>
#include <string>

#include "broker/orddef.h"
#include "broker/tests/orders_fixture.h"
#include "data/tests/status_capture.h"
#include "platform/files.h"
#include "platform/messages.h"

namespace {

// One trade record written byte by byte: commission, 4 zero bytes, then the
// execution's bytes 8..127.
std::string trade_bytes(int commission, double price, int qty, int exec_time, const char *side,
                        const char *symbol, const char *exec_id, const char *account = "ACC1") {
  std::string b(128, '\0');
  auto put32 = [&](int off, uint32_t v) {
    for (int i = 0; i < 4; i++) b[off + i] = (char)(v >> (8 * i));
  };
  auto text = [&](int off, const char *s) { memcpy(&b[off], s, strlen(s)); };
  put32(0, (uint32_t)commission);
  uint64_t bits;
  memcpy(&bits, &price, 8);
  put32(8, (uint32_t)bits);
  put32(12, (uint32_t)(bits >> 32));
  put32(16, 77);  // perm id
  put32(20, (uint32_t)qty);
  put32(24, 34200);
  put32(28, (uint32_t)exec_time);
  put32(36, 1);  // multiplier
  text(44, side);
  text(48, "USD");
  text(52, account);
  text(62, "SMART");
  text(72, symbol);
  text(88, "STK");
  text(96, exec_id);
  b[124] = 2 << 2;  // two price decimals
  return b;
}

execution_rec execution(const char *account, const char *exec_id, int qty, double price,
                        int exec_time = 1700000000) {
  execution_rec e;
  memset(&e, 0, sizeof e);
  e.code = 18;
  e.f.price = price;
  e.f.quantity = qty;
  e.f.exec_time = exec_time;
  e.f.multiplier = 1;
  strcpy(e.f.side, qty < 0 ? "SLD" : "BOT");
  strcpy(e.f.account, account);
  strcpy(e.f.symbol, "IBM");
  strcpy(e.f.sec_type, "STK");
  strcpy(e.f.exec_id, exec_id);
  return e;
}

// Runs fn while no file may grow past limit bytes.
template <class F>
void with_file_limit(rlim_t limit, F fn) {
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit small = old_limit;
  small.rlim_cur = limit;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  fn();
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
}

class Accounts : public OrdersTest {};

TEST_F(Accounts, TradeFileIsReadFieldByField) {
  StatusCapture status;
  root_.write("ACCOUNTS/ACC1.trades",
              trade_bytes(1000, 101.25, 100, 1700000000, "BOT", "IBM", "E1") +
                  trade_bytes(2500, 102.5, -40, 1700000100, "SLD", "IBMLONGSYM", "E2") +
                  std::string(50, 'x'));  // a cut-off third record
  kv_lock guard(g_chart_lock);
  account_rec *a = get_account("acc1");  // names are found without case
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->count, 2);
  EXPECT_EQ(a->written, 2);
  EXPECT_EQ(a->capacity, 2 + 256);
  const trade_rec &t = a->trades[1];
  EXPECT_EQ(t.commission, 2500);
  EXPECT_DOUBLE_EQ(t.f.price, 102.5);
  EXPECT_EQ(t.f.perm_id, 77);
  EXPECT_EQ(t.f.quantity, -40);
  EXPECT_EQ(t.f.quote_time, 34200);
  EXPECT_EQ(t.f.exec_time, 1700000100);
  EXPECT_STREQ(t.f.side, "SLD");
  EXPECT_STREQ(t.f.symbol, "IBMLONGS");  // eight characters, no more
  EXPECT_STREQ(t.f.exchange, "SMART");
  EXPECT_STREQ(t.f.exec_id, "E2");
  EXPECT_EQ((t.f.flags & EXEC_DECIMALS_MASK) >> EXEC_DECIMALS_SHIFT, 2);
  EXPECT_TRUE(status.saw("Partial trade record"));

  // Written back, the bytes are the same.
  uint8_t out[TRADE_SIZE];
  encode_trade(&a->trades[0], out);
  EXPECT_EQ(std::string((const char *)out, TRADE_SIZE),
            trade_bytes(1000, 101.25, 100, 1700000000, "BOT", "IBM", "E1"));

  // A new trade goes over the cut-off record: the file stays whole records,
  // and read again it has all three.
  execution_rec e = execution("ACC1", "E3", 10, 103, 1700000200);
  EXPECT_EQ(record_execution(&e), 1);
  EXPECT_EQ(root_.read("ACCOUNTS/ACC1.trades").size(), 3u * 128);
  close_all_accounts();
  a = get_account("ACC1");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->count, 3);
  EXPECT_STREQ(a->trades[2].f.exec_id, "E3");
}

TEST_F(Accounts, EmptyFileGivesAnEmptyAccountWithRoom) {
  root_.write("ACCOUNTS/EMPTY.trades", "");
  kv_lock guard(g_chart_lock);
  account_rec *a = get_account("EMPTY");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->count, 0);
  EXPECT_EQ(a->capacity, 256);
  EXPECT_EQ(get_account(""), nullptr);
  EXPECT_EQ(get_account(nullptr), nullptr);
}

TEST_F(Accounts, NamesThatAreNotFileNamesOpenNothing) {
  for (const char *name : {"../x", "a/b", "a\\b", "..", "a\tb"}) {
    EXPECT_FALSE(account_name_ok(name)) << name;
    EXPECT_EQ(get_account(name), nullptr) << name;
  }
  EXPECT_TRUE(account_name_ok("DU12345"));
}

TEST_F(Accounts, ThirtyThirdAccountFindsTheTableFull) {
  StatusCapture status;
  kv_lock guard(g_chart_lock);
  for (int i = 0; i < 32; i++)
    ASSERT_NE(get_account(("A" + std::to_string(i)).c_str()), nullptr) << i;
  EXPECT_EQ(get_account("A32"), nullptr);
  EXPECT_TRUE(status.saw("Open account table full"));
  EXPECT_NE(get_account("a5"), nullptr);  // an open one is still found
  EXPECT_EQ(close_all_accounts(), 32);
}

TEST_F(Accounts, SameExecutionTwiceIsRecordedOnce) {
  execution_rec e = execution("ACC1", "0001.01", 100, 10.5);
  EXPECT_EQ(record_execution(&e), 1);
  EXPECT_EQ(record_execution(&e), 0);
  execution_rec other = execution("ACC1", "0001.02", -100, 11);
  EXPECT_EQ(record_execution(&other), 1);
  std::string file = root_.read("ACCOUNTS/ACC1.trades");
  ASSERT_EQ(file.size(), 256u);
  // Commission of 100 shares: 100 x 10 thousandths.
  EXPECT_EQ(file.substr(0, 8), std::string("\xE8\x03\0\0\0\0\0\0", 8));
  EXPECT_EQ(file.substr(96, 7), "0001.01");
  // No account: nothing to record, and not a duplicate.
  execution_rec none = execution("", "X", 1, 1);
  EXPECT_EQ(record_execution(&none), 1);
}

TEST_F(Accounts, ArrayGrowsBy256AndWindowsGetCopies) {
  MessageSink sink;
  {
    kv_lock guard(g_chart_lock);
    get_account("BIG")->window = sink.wnd;
  }
  for (int i = 0; i < 300; i++) {
    execution_rec e = execution("BIG", ("id" + std::to_string(i)).c_str(), 1, 10, 1700000000 + i);
    ASSERT_EQ(record_execution(&e), 1);
  }
  {
    kv_lock guard(g_chart_lock);
    account_rec *a = get_account("BIG");
    EXPECT_EQ(a->count, 300);
    EXPECT_EQ(a->capacity, 512);
  }
  EXPECT_EQ(root_.read("ACCOUNTS/BIG.trades").size(), 300u * 128);
  ASSERT_EQ(sink.count(WM_ORDER_EXECUTION), 300);
  const trade_rec *last = (const trade_rec *)sink.got.back().lparam;
  EXPECT_STREQ(last->f.exec_id, "id299");
  for (auto &m : sink.got) free((void *)m.lparam);
}

TEST_F(Accounts, AppendCutShortLeavesTheFileAndKeepsTheRecordsUnwritten) {
  StatusCapture status;
  execution_rec first = execution("ACC1", "first", 10, 10);
  record_execution(&first);
  std::string before = root_.read("ACCOUNTS/ACC1.trades");
  ASSERT_EQ(before.size(), 128u);
  with_file_limit(128 + 64, [&] {
    execution_rec e = execution("ACC1", "second", 10, 10);
    EXPECT_EQ(record_execution(&e), 1);
  });
  EXPECT_EQ(root_.read("ACCOUNTS/ACC1.trades"), before);
  EXPECT_TRUE(status.saw("Can't write account file: "));
  {
    kv_lock guard(g_chart_lock);
    account_rec *a = get_account("ACC1");
    EXPECT_EQ(a->count, 2);
    EXPECT_EQ(a->written, 1);
    EXPECT_EQ(append_new_trades(a), 1);  // room again: written now
  }
  EXPECT_EQ(root_.read("ACCOUNTS/ACC1.trades").size(), 256u);
}

TEST_F(Accounts, DeletingATradeReplacesTheFileWhole) {
  root_.write("ACCOUNTS/ACC1.trades", trade_bytes(1, 10, 1, 100, "BOT", "IBM", "A") +
                                          trade_bytes(2, 11, 1, 200, "BOT", "IBM", "B") +
                                          trade_bytes(3, 12, 1, 300, "BOT", "IBM", "C"));
  std::string before = root_.read("ACCOUNTS/ACC1.trades");
  EXPECT_EQ(delete_account_trade("ACC1", "B", 999), 0);  // the id at another time is not it
  with_file_limit(200, [&] { EXPECT_EQ(delete_account_trade("ACC1", "B", 200), 0); });
  EXPECT_EQ(root_.read("ACCOUNTS/ACC1.trades"), before);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(get_account("ACC1")->count, 3);
  }
  EXPECT_EQ(delete_account_trade("ACC1", "B", 200), 1);
  EXPECT_EQ(root_.read("ACCOUNTS/ACC1.trades"), before.substr(0, 128) + before.substr(256));
}

TEST_F(Accounts, ResetDropsTheTradesAndMakesAnEmptyFile) {
  execution_rec e = execution("ACC1", "x", 10, 10);
  record_execution(&e);
  EXPECT_EQ(reset_account_file("ACC1", 1), 1);
  EXPECT_EQ(kv_file_size(root_.file("ACCOUNTS/ACC1.trades").c_str()), 0);
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(get_account("ACC1")->count, 0);
  EXPECT_EQ(reset_account_file("ACC1", 0), 1);
  EXPECT_LT(kv_file_size(root_.file("ACCOUNTS/ACC1.trades").c_str()), 0);
}

TEST_F(Accounts, CommissionBySecurityTypeAndExchange) {
  struct {
    const char *type, *exchange;
    int qty;
    int commission;
  } cases[] = {
      {"STK", "SMART", 100, 1000},
      {"STK", "SMART", -500, 5000},
      {"STK", "NYSE", 501, 2500 + 2505},
      {"FUT", "GLOBEX", 2, 4800},
      {"FUT", "NYMEX", -1, 2950},
      {"FUT", "HKFE", 1, 30000},
      {"FUT", "SNFE", 1, 5000},
      {"FUT", "ECBOT", 3, 7200},
      {"FUT", "EUREXUS", 1, 2400},
      {"FUT", "CFE", 1, 2400},
      {"FUT", "DTB", 1, 1000},
      {"FOP", "GLOBEX", 3, 3000},
      {"OPT", "CBOE", 10, 0},
      {"IND", "CBOE", 1, 0},
      {"CASH", "IDEAL", 1000, 0},
      {"STK", "SMART", 2147483647, 2147483647},
  };
  for (auto &c : cases) {
    execution_fields f;
    memset(&f, 0, sizeof f);
    strcpy(f.sec_type, c.type);
    strcpy(f.exchange, c.exchange);
    f.quantity = c.qty;
    EXPECT_EQ(trade_commission(&f), c.commission) << c.type << " " << c.exchange << " " << c.qty;
  }
}

TEST_F(Accounts, BrokerExecutionsMoveTheAccountSlotsPosition) {
  g_account_slot_hook = [](const char *) { return 2; };
  mqt *r = quoted("IBM", 10, 10.25, 10);
  struct {
    const char *side;
    int qty;
    double price;
    double position, average;
  } steps[] = {
      {"BOT", 100, 10, 100, 10}, {"BOT", 100, 12, 200, 11}, {"SLD", 50, 13, 150, 11},
      {"SLD", 200, 9, -50, 9},   {"BOT", 50, 8, 0, 0},
  };
  int n = 0;
  for (auto &s : steps) {
    execution_rec e = execution("ACC1", ("b" + std::to_string(n++)).c_str(), s.qty, s.price);
    strcpy(e.f.side, s.side);
    ASSERT_EQ(book_execution(&e, r), 1);
    EXPECT_DOUBLE_EQ(r->account_positions[2].quantity, s.position) << n;
    EXPECT_DOUBLE_EQ(r->account_positions[2].avg_price, s.average) << n;
  }
  execution_rec again = execution("ACC1", "b0", 100, 10);
  EXPECT_EQ(book_execution(&again, r), 0);
  EXPECT_DOUBLE_EQ(r->account_positions[2].quantity, 0);
  g_account_slot_hook = nullptr;
}

TEST_F(Accounts, TradeFindsItsRecord) {
  mqt *r = quoted("IBM", 10, 10.25, 10);
  trade_rec t;
  memset(&t, 0, sizeof t);
  strcpy(t.f.symbol, "IBM");
  strcpy(t.f.sec_type, "STK");
  strcpy(t.f.exchange, "OTHER");
  EXPECT_EQ(find_mqt_for_trade(&t), r);
  strcpy(t.f.sec_type, "FUT");
  EXPECT_EQ(find_mqt_for_trade(&t), nullptr);
}

// The road of a paper order: quotes stored the usual way fill it, its trade
// lands in the account file with its commission, and the position summary
// read from that file shows the position.
TEST_F(Accounts, PaperLimitBuyFilledFromStoredQuotesReachesThePositionSummary) {
  mqt *r = create_multiquote_struct("IBM");
  strcpy(r->sec_type, "STK");
  strcpy(r->currency, "USD");
  strcpy(r->exchange, "SMART");
  r->multiplier = 1;
  r->tick_size = 0.01;
  auto store = [&](int time, float bid, float ask, float last, int ask_size) {
    r->quote_date = 20240102;
    r->trade_time = time;
    r->bid = bid;
    r->ask = ask;
    r->last = last;
    r->bid_size = 300;
    r->ask_size = ask_size;
    r->last_size = 100;
    r->feed_flags = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE | FEED_BID | FEED_ASK |
                    FEED_BID_SIZE | FEED_ASK_SIZE;
    return save_mqt_data(r, SAVE_MQT_FULL);
  };
  ASSERT_EQ(store(34200, 50.0f, 50.5f, 50.5f, 400), 1);
  order_rec *o = paper(r, ORDER_BUY, ORDER_LMT, 300, 50.25, 0, "PAPER1");
  ASSERT_EQ(place_order(o), 1);
  EXPECT_EQ(o->status, (uint32_t)ORDER_SUBMITTED);
  ASSERT_EQ(store(34260, 50.0f, 50.25f, 50.25f, 400), 1);
  EXPECT_EQ(o->status, (uint32_t)ORDER_FILLED);

  std::string file = root_.read("ACCOUNTS/PAPER1.trades");
  ASSERT_EQ(file.size(), 128u);
  trade_rec t;
  decode_trade((const uint8_t *)file.data(), &t);
  EXPECT_EQ(t.commission, 3000);
  EXPECT_EQ(t.f.quantity, 300);
  EXPECT_DOUBLE_EQ(t.f.price, 50.25);
  EXPECT_STREQ(t.f.side, "BOT");
  EXPECT_TRUE(t.f.flags & EXEC_LOCAL);
  EXPECT_EQ(strlen(t.f.exec_id), 20u);
  EXPECT_EQ(t.f.exec_time, r->quote_epoch);

  close_all_accounts();  // the summary reads the file afresh
  OrderDef def;
  memset(&def, 0, sizeof def);
  strcpy(def.account, "PAPER1");
  PositionSummaryTable table;
  table.LoadSymbol(r, &def);
  ASSERT_EQ(table.count(), 1);
  EXPECT_EQ(table.entry(0).net, 300);
  EXPECT_DOUBLE_EQ(table.entry(0).commission, 3000);
  EXPECT_DOUBLE_EQ(r->paper_quantity, 300);
  EXPECT_DOUBLE_EQ(r->paper_avg_price, 50.25);
}

}  // namespace
