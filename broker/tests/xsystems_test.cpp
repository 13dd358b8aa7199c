// Trading-system runs over hand-made charts: orders through the paper
// bookkeeping, the report and trade files, the plots, and the rules' edges.
#include "broker/xsystems.h"

#include <array>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>

#include "broker/tests/orders_fixture.h"
#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/tests/status_capture.h"
#include "platform/files.h"
#include "data/markets.h"
#include "quotes/livechart.h"
#include "quotes/randomfeed.h"
#include "quotes/tickfile.h"
#include "settings/datadirs.h"
#include "studies/tests/study_fixture.h"

namespace {

class SystemsTest : public OrdersTest {
 protected:
  void SetUp() override {
    OrdersTest::SetUp();
    record_ = quoted("TST", 100, 100, 100);
    record_->tick_size = 0.25;
    chart_.rec.mqt = record_;
    snprintf(chart_.rec.header.symbol, sizeof chart_.rec.header.symbol, "TST");
  }
  void TearDown() override {
    free_study_list(chart_.rec.studies);
    chart_.rec.studies = nullptr;
    OrdersTest::TearDown();
  }
  // Daily bars from 2 January 2024 on, one a day.
  void bars(std::initializer_list<std::array<float, 4>> rows) {
    for (const auto& r : rows) {
      int n = chart_.count();
      chart_.add(r[0], r[1], r[2], r[3], 1000, (int)date_to_seconds(20240102, 0) + n * 86400);
    }
  }
  const trading_system* entry(const char* name) {
    for (const trading_system* t = g_trading_systems; t->name; t++)
      if (strcmp(t->name, name) == 0) return t;
    return nullptr;
  }
  int run(const char* name, strategy_ctx* s) {
    s->system_name = name;
    return entry(name)->start(chart_.chart(), s);
  }
  std::string read(const char* file) {
    char path[1024];
    data_folder_path(path, sizeof path, KV_DIR_ACCOUNTS, file);
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static strategy_ctx ctx(const char* account) {
    strategy_ctx s{};
    snprintf(s.typed_account, sizeof s.typed_account, "%s", account);
    s.flags = STRATEGY_TRADE_LONG | STRATEGY_TRADE_SHORT;
    s.max_lots = 1;
    s.lot_size = 1;
    return s;
  }

  mqt* record_ = nullptr;
  test_chart chart_{256};
};

TEST(TickRounding, SnapsNearWholeStepsBothWays) {
  struct row {
    double price, tick, down, up;
  } rows[] = {
      {1.1, 0.1, 1.1, 1.1},
      {1.15, 0.1, 1.1, 1.2},
      {100.3, 0.25, 100.25, 100.5},
      {-1.1, 0.1, -1.1, -1.1},
      {0.7, 0.1, 0.7, 0.7},
      {99.99, 1.0, 99, 100},
      {1.0 / 64 * 3, 1.0 / 64, 3.0 / 64, 3.0 / 64},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.price);
    EXPECT_DOUBLE_EQ(round_down_to_tick(r.price, r.tick), r.down);
    EXPECT_DOUBLE_EQ(round_up_to_tick(r.price, r.tick), r.up);
  }
}

TEST(StrategyMoney, OneSignAndUnsignedCents) {
  char buf[64];
  EXPECT_STREQ(strategy_money(buf, sizeof buf, -12.34), "-12.34");
  EXPECT_STREQ(strategy_money(buf, sizeof buf, 12.3), "12.30");
  EXPECT_STREQ(strategy_money(buf, sizeof buf, -0.5), "-0.50");
  EXPECT_STREQ(strategy_money(buf, sizeof buf, 0), "0.00");
}

TEST(StrategyLots, MaxLotsLimits) {
  EXPECT_EQ(strategy_max_lots(7), 4);
  EXPECT_EQ(strategy_max_lots(-4), 4);
  EXPECT_EQ(strategy_max_lots(0), 1);
  EXPECT_EQ(strategy_max_lots(3), 3);
  EXPECT_EQ(strategy_max_lots(-2), 2);
}

TEST_F(SystemsTest, MacdBacktestWritesReportTradesAndPlots) {
  bars({{100, 101, 99, 100},
        {100, 102, 99, 101},
        {101, 103, 100, 102},
        {102, 104, 101, 103},
        {103, 104, 98, 99},
        {99, 100, 95, 96},
        {96, 97, 93, 94},
        {94, 95, 92, 93},
        {93, 98, 93, 97},
        {97, 101, 96, 100},
        {100, 103, 99, 102},
        {102, 103, 97, 98},
        {98, 99, 94, 95}});
  strategy_ctx s = ctx("MACD1");
  s.args[0] = 6;
  s.args[1] = 3;
  s.args[2] = 2;
  s.slippage = 0.25;
  std::vector<chart_bar> before(chart_.rec.bars, chart_.rec.bars + chart_.count());
  ASSERT_TRUE(run("MACD", &s));
  EXPECT_EQ(read("MACD1_TST_Report.txt"),
            "MACD1 backtest for TST daily chart\n"
            "Test data dates: 20240102 to 20240114\n"
            "Tick size=0.25  Multiplier=1  Slippage=0.25 points/contract\n"
            "\n"
            "Entry: When MACD crosses signal line\n"
            "MACD(3,6,2)  Hysteresis = 0.00\n"
            "\n"
            "Candle   Date   Time   Dir  -----Order-----     Pos     P&L         Total\n"
            "=========================================================================\n"
            "    8 10Jan24 16:00:00 BOT  O   1 @   97.00   1.00\n"
            "   11 13Jan24 16:00:00 SLD  R   2 @   98.00  -1.00       0.50         0.50\n"
            "Gross Profit.....................1.25\n"
            "Commissions & Slippage...........-0.75\n"
            "Net Profit ......................0.50\n"
            "Total contracts......   3\n"
            "Total trades.........   2\n"
            "Long trades..........   1    50% 0.50\n"
            "Short trades.........   1    50% 0.00\n"
            "Exit condition hits..   0     0% 0.00\n"
            "Breakeven stop hits..   0     0% 0.00\n"
            "Trailing stop hits...   0     0% 0.00\n"
            "Initial stop hits....   1    50% 0.50\n"
            "Lot 0 profit.................... 0.50\n"
            "Winning trades.......   1    50%\n"
            "Losing trades........   0     0%\n"
            "Max consecutive wins.   1\n"
            "Max consec.losses....   0\n"
            "Max drawdown ........0.00\n"
            "Max drawdown pct.....0.00%\n"
            "Percent in market....100.00%\n");

  // Both fills went to the paper account's file.
  char path[1024];
  ASSERT_TRUE(account_file_path(path, sizeof path, "MACD1"));
  trade_rec* trades;
  int32_t count, capacity;
  ASSERT_TRUE(read_account_file(path, &trades, &count, &capacity));
  ASSERT_EQ(count, 2);
  EXPECT_EQ(trades[0].f.quantity, 1);
  EXPECT_EQ(trades[1].f.quantity, -2);
  EXPECT_DOUBLE_EQ(trades[1].f.price, 98.0);
  free(trades);

  // Signals and equity stay in the plot studies; the chart is as it was.
  StudyDef *signals = nullptr, *equity = nullptr;
  for (StudyDef* st = chart_.rec.studies; st; st = st->next) {
    if (st->type == STUDY_TRADE_SIGNALS) signals = st;
    if (st->type == STUDY_EQUITY) equity = st;
  }
  ASSERT_TRUE(signals && equity);
  auto word = [&](int i) {
    uint32_t w;
    memcpy(&w, &signals->outputs[i], 4);
    return w;
  };
  EXPECT_EQ(word(8) & (SIG_LONG_ENTRY | SIG_POSITION_MASK), SIG_LONG_ENTRY | 1);
  EXPECT_EQ(word(11) & SIG_LONG_REVERSED, SIG_LONG_REVERSED);
  EXPECT_EQ(word(11) & SIG_POSITION_MASK, 0x1FFFu);  // -1
  EXPECT_EQ(word(7), 0u);
  EXPECT_FLOAT_EQ(equity->outputs[10], 0.0f);
  EXPECT_FLOAT_EQ(equity->outputs[12], 0.5f);
  ASSERT_EQ(chart_.count(), (int)before.size());
  EXPECT_EQ(memcmp(chart_.rec.bars, before.data(), before.size() * sizeof(chart_bar)), 0);
  EXPECT_EQ(chart_.rec.header.flags & CHART_SYSTEM_RUNNING, 0u);
  EXPECT_EQ(chart_.rec.strategy, nullptr);
  EXPECT_EQ(record_->update_callbacks, nullptr);
  EXPECT_EQ(record_->orders, nullptr);

  // A later run starts on cleared plots: BBAND begins at bar 50, so the
  // MACD run's equity and signals before it are gone, not drawn as its own.
  for (int i = 0; i < 40; i++) bars({{95, 95.5f, 94.5f, 95}});
  strategy_ctx b = ctx("BB");
  b.flags = STRATEGY_TRADE_LONG;
  ASSERT_TRUE(run("BBAND", &b));
  for (StudyDef* st = chart_.rec.studies; st; st = st->next) {
    if (st->type == STUDY_TRADE_SIGNALS) signals = st;
    if (st->type == STUDY_EQUITY) equity = st;
  }
  EXPECT_FLOAT_EQ(equity->outputs[12], 0.0f);
  EXPECT_EQ(word(8), 0u);
}

std::vector<std::pair<float, uint32_t>> s_steps;
int record_steps(strategy_ctx* s) {
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  if (bar == 0)
    s_steps.push_back({s->record->last, s->flags & (STRATEGY_OPEN_STEP | STRATEGY_CLOSE_STEP)});
  return 1;
}

TEST_F(SystemsTest, Playback1WalksEachBarInTicksAndTellsTheChartWindow) {
  bars({{100, 101, 99, 100.5f}, {100.5f, 102, 100, 101.75f}});
  MessageSink window;
  chart_.rec.owner_window = (uintptr_t)window.wnd;
  strategy_ctx s = ctx("PB1");
  s.mode = STRATEGY_PLAYBACK1;
  s.tick_size = 0.5;
  s.run = record_steps;
  s.term = detach_trading_system;
  s_steps.clear();
  ASSERT_TRUE(strategy_attach(chart_.chart(), &s, 8, "PB1"));
  strategy_start(&s, 0);
  // An up bar: open, down to the low, up to the high, back to the close.
  std::vector<std::pair<float, uint32_t>> want = {{100, STRATEGY_OPEN_STEP},
                                                  {99.5f, 0},
                                                  {99, 0},
                                                  {99.5f, 0},
                                                  {100, 0},
                                                  {100.5f, 0},
                                                  {101, 0},
                                                  {100.5f, 0},
                                                  {100.5f, STRATEGY_CLOSE_STEP}};
  // (1000 shares share out over 7 steps plus 3 with nothing left over: no
  // second close step.)
  EXPECT_EQ(s_steps, want);
  EXPECT_GE(window.count(WM_UPDATE_FROM_THREAD), 1);
}

// A run driven by hand on a record in Simulate mode.
class ManualRunTest : public SystemsTest {
 protected:
  void start(strategy_ctx* s) {
    s->mode = STRATEGY_SIMULATE;
    s->term = detach_trading_system;
    ASSERT_TRUE(strategy_attach(chart_.chart(), s, 8, "TEST"));
    EXPECT_EQ(chart_.rec.strategy, s);
    strategy_start(s, 0);
  }
};

TEST_F(ManualRunTest, BusyLotRefusedOnceAndReversalBooksTwoTrades) {
  bars({{100, 100, 100, 100}});
  strategy_ctx s = ctx("HAND");
  s.slippage = 0;
  start(&s);
  StatusCapture status;
  strategy_open_long(&s, 0, 1, 100, 98, 0.25);
  EXPECT_EQ(s.pending, 1);
  strategy_open_long(&s, 0, 1, 100, 98, 0.25);
  EXPECT_TRUE(status.saw("Lot 0 in use, can't open long[0]"));
  EXPECT_EQ(s.position, 1);
  EXPECT_EQ(s.pending, 0);  // the refused open left nothing pending
  EXPECT_EQ(s.total_trades, 1);
  EXPECT_EQ(std::count(sounds().begin(), sounds().end(), 5), 1);
  ASSERT_TRUE(s.lots[0].stop);
  EXPECT_EQ(s.lots[0].stop->status, (uint32_t)ORDER_PRE_SUBMITTED);  // protective stop placed
  std::string first_oca = s.lots[0].stop->relay.oca;
  EXPECT_LE(first_oca.size(), (size_t)ORDER_TEXT_OCA);

  quote(record_, 101, 101, 101, 500, 500);
  strategy_reverse(&s, 0, 2.0);
  strategy_check_orders(&s, -1);
  EXPECT_EQ(s.position, -1);
  EXPECT_EQ(s.total_trades, 2);
  EXPECT_EQ(s.initial_stop_hits, 1);
  EXPECT_DOUBLE_EQ(s.net_profit, 1.0);
  // The reversal's stop protects the new short 2.00 above the fill.
  ASSERT_TRUE(s.lots[0].stop);
  EXPECT_EQ(s.lots[0].stop->kind, 'S');
  EXPECT_EQ(order_action(s.lots[0].stop), ORDER_BUY);
  EXPECT_DOUBLE_EQ(s.lots[0].stop->relay.aux, 103.0);
  EXPECT_NE(first_oca, s.lots[0].stop->relay.oca);  // the new stop is a new group

  // A second open before the lot is free is refused too; nothing doubles.
  strategy_open_short(&s, 0, 1, 101, 103, 0.25);
  EXPECT_TRUE(status.saw("Lot 0 in use, can't open short[0]"));
  EXPECT_EQ(s.pending, 0);
  detach_trading_system(&s);
  std::string report = read("HAND_TST_Report.txt");
  EXPECT_NE(report.find("SLD  R   2 @  101.00  -1.00       1.00         1.00\n"), std::string::npos)
      << report;
  EXPECT_NE(report.find("Total trades.........   2\n"), std::string::npos);
}

TEST_F(ManualRunTest, ReversalWhileAnotherLotHoldsClosesNoTrade) {
  bars({{100, 100, 100, 100}});
  strategy_ctx s = ctx("TWO");
  s.max_lots = 2;
  s.slippage = 0;
  start(&s);
  strategy_open_long(&s, 0, 1, 100, 98, 0.25);
  strategy_open_long(&s, 1, 1, 100, 98, 0.25);
  strategy_check_orders(&s, -1);
  ASSERT_EQ(s.position, 2);
  quote(record_, 101, 101, 101, 500, 500);
  strategy_reverse(&s, 0, 2.0);
  strategy_check_orders(&s, -1);
  EXPECT_EQ(s.lots[0].position, -1);
  EXPECT_EQ(s.lots[1].position, 1);
  EXPECT_EQ(s.winning_trades + s.losing_trades, 0);  // lot 1 kept the run long halfway
  detach_trading_system(&s);
  std::string report = read("TWO_TST_Report.txt");
  EXPECT_NE(report.find(" SLD  R   2 @  101.00   0.00\n"), std::string::npos) << report;
}

TEST_F(ManualRunTest, LiveEntryThatCannotBeSentLeavesTheLotFree) {
  bars({{100, 100, 100, 100}});
  strategy_ctx s = ctx("REAL");
  s.mode = STRATEGY_LIVE;
  s.term = detach_trading_system;
  ASSERT_TRUE(strategy_attach(chart_.chart(), &s, 8, "REAL"));
  strategy_start(&s, 0);
  record_->symbol_slot = 0;  // no symbol at the broker: the order can't go out
  StatusCapture status;
  strategy_open_long(&s, 0, 1, 100, 98, 0.25);
  EXPECT_TRUE(status.saw("place_order failed in strategy"));
  EXPECT_EQ(s.pending, 0);
  EXPECT_FALSE(s.lots[0].entry);
  EXPECT_FALSE(s.lots[0].stop);
  EXPECT_EQ(record_->orders, nullptr);
  strategy_open_long(&s, 0, 1, 100, 98, 0.25);  // tried again, not refused as busy
  EXPECT_FALSE(status.saw("in use"));
  detach_trading_system(&s);
}

TEST_F(ManualRunTest, MarketCloseTakesOverAWorkingTargetOrder) {
  bars({{100, 100, 100, 100}});
  strategy_ctx s = ctx("TGT");
  s.slippage = 0;
  start(&s);
  strategy_open_long(&s, 0, 1, 100, 98, 0.25);
  strategy_check_orders(&s, -1);
  ASSERT_EQ(s.position, 1);
  strategy_close_lot(&s, 0, 110, 0);  // a target above the market: it waits
  strategy_check_orders(&s, -1);
  ASSERT_TRUE(s.lots[0].close);
  EXPECT_EQ(s.position, 1);
  strategy_exit_lot(&s, 0, 0);  // at market: the same order, priced through the market
  strategy_check_orders(&s, -1);
  EXPECT_EQ(s.position, 0);
  EXPECT_FALSE(s.lots[0].close);
  EXPECT_EQ(s.condition_hits, 1);
  EXPECT_EQ(s.signal & SIG_LONG_CLOSED, (uint32_t)SIG_LONG_CLOSED);
  detach_trading_system(&s);
  EXPECT_EQ(record_->orders, nullptr);
}

int s_opened;
int open_on_first_step(strategy_ctx* s) {
  int bar, new_bar;
  if (!strategy_bar_step(s, &bar, &new_bar)) return 0;
  if (!s_opened++) strategy_open_long(s, 0, 1, s->record->last, s->record->last - 2, 0.25);
  return 1;
}

TEST_F(ManualRunTest, SimulateRunsOnStoredQuotesWithPaperOrdersAndSounds) {
  bars({{100, 100, 100, 100}});
  g_mqt_hooks.update_mqt_charts = update_mqt_charts;
  strategy_ctx s = ctx("SIM");
  s.run = open_on_first_step;
  s_opened = 0;
  start(&s);
  record_->quote_date = 20240102;
  record_->quote_time = 34200;
  record_->trade_time = 34200;
  record_->last = 100;
  record_->last_size = 100;
  record_->feed_flags = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE;
  save_mqt_data(record_, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
  EXPECT_EQ(s_opened, 1);
  EXPECT_EQ(std::count(sounds().begin(), sounds().end(), 5), 1);
  ASSERT_TRUE(s.lots[0].entry);
  EXPECT_TRUE(s.lots[0].entry->relay.type & ORDER_SIMULATED);
  EXPECT_EQ(s.lots[0].entry->flags & ORDER_F_SILENT, 0u);
  save_mqt_data(record_, SAVE_MQT_CHARTS | SAVE_MQT_FULL);  // books the fill
  EXPECT_EQ(s.position, 1);
  detach_trading_system(&s);
  EXPECT_EQ(record_->update_callbacks, nullptr);
  EXPECT_EQ(record_->orders, nullptr);
}

TEST_F(ManualRunTest, Playback2ReplaysStoredMinutesToItsSummary) {
  bars({{100, 100, 100, 100}});
  // Two one-minute records; the count field claims three.
  std::vector<uint8_t> file(128 + 2 * 24, 0);
  file[124] = 3;
  const float prices[2][4] = {{100, 101, 99, 100.5f}, {100.5f, 102, 100, 101.75f}};
  for (int i = 0; i < 2; i++) {
    uint8_t* p = &file[128 + i * 24];
    int32_t t = (int32_t)date_to_seconds(20240102, 34200 + 60 * i);
    memcpy(p, &t, 4);
    memcpy(p + 4, prices[i], 16);
    int32_t v = 400;
    memcpy(p + 20, &v, 4);
  }
  char path[1024];
  data_folder_path(path, sizeof path, KV_DIR_HDATA, "");
  kv_make_dirs(path, nullptr);
  data_folder_path(path, sizeof path, KV_DIR_HDATA, "TST.ccmdata");
  ASSERT_TRUE(kv_write_file_atomic(path, file.data(), file.size(), nullptr));
  g_mqt_hooks.update_mqt_charts = update_mqt_charts;
  strategy_ctx s = ctx("PB2");
  s.run = open_on_first_step;
  s.term = detach_trading_system;
  s.mode = STRATEGY_PLAYBACK2;
  s_opened = 0;
  ASSERT_TRUE(strategy_attach(chart_.chart(), &s, 8, "PB2"));
  strategy_start(&s, 0);
  std::string report = read("PB2_TST_Report.txt");
  EXPECT_NE(report.find(" BOT  O   1 @  100.00   1.00\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Total trades.........   1\n"), std::string::npos) << report;
  EXPECT_EQ(record_->update_callbacks, nullptr);
  EXPECT_EQ(record_->flags & MQT_PLAYBACK, 0u);
}

TEST_F(OrdersTest, PlaybackTicksBuildsTheChartAndRunsToItsSummary) {
  install_live_chart_hooks();
  market_rec market;
  memset(&market, 0, sizeof market);
  strcpy(market.name, "NYSE");
  market.days = 0x3e;
  mark_market_hours(&market, 34200, 57600, 0);
  mqt* r = quoted("TKS", 100, 100, 100);
  r->market = &market;
  r->session_start = 34200;
  r->session_end = 57600;
  r->tick_size = 0.25;
  chart_rec* c = new_chart("TKS", 1);
  c->mqt = r;
  append_chart_link(&r->intraday_charts, c);
  // Trades one minute apart: 100, 101, 102.
  std::vector<uint32_t> words;
  for (int i = 0; i < 3; i++) {
    uint32_t w[3];
    encode_full_tick(w, 0, 100, (int32_t)date_to_seconds(20240102, 34200 + 60 * i), 100.0f + i);
    words.insert(words.end(), w, w + 3);
  }
  std::vector<uint8_t> bytes(words.size() * 4);
  tick_words_to_bytes(words.data(), (int)words.size(), bytes.data());
  char path[1024];
  data_folder_path(path, sizeof path, KV_DIR_HDATA, "");
  kv_make_dirs(path, nullptr);
  data_folder_path(path, sizeof path, KV_DIR_HDATA, "TKS.tsdata");
  ASSERT_TRUE(kv_write_file_atomic(path, bytes.data(), bytes.size(), nullptr));

  strategy_ctx s{};
  snprintf(s.typed_account, sizeof s.typed_account, "TICKS");
  s.flags = STRATEGY_TRADE_LONG;
  s.mode = STRATEGY_PLAYBACK_TICKS;
  s.run = open_on_first_step;
  s.term = detach_trading_system;
  s_opened = 0;
  ASSERT_TRUE(strategy_attach(c, &s, 8, "TICKS"));
  strategy_start(&s, 0);
  EXPECT_EQ(c->header.bar_count, 3);
  EXPECT_EQ(s_opened, 3);  // once per replayed trade, never while the chart was built
  char report_path[1024];
  data_folder_path(report_path, sizeof report_path, KV_DIR_ACCOUNTS, "TICKS_TKS_Report.txt");
  std::string report;
  kv_read_file(report_path, &report, nullptr);
  EXPECT_NE(report.find("    2 02Jan24 09:31:00 BOT  O   1 @"), std::string::npos) << report;
  EXPECT_NE(report.find("Total trades.........   1\n"), std::string::npos) << report;
  r->intraday_charts = nullptr;
  free_study_list(c->studies);
  free(c->bars);
  free(c->axis_marks);
  free(c);
}

TEST_F(OrdersTest, PlaybackTicksOfTheTestContractRunsOnTheRandomFeed) {
  install_live_chart_hooks();
  const char* saved_path = g_random_data_path;
  g_random_data_path = "no-such-random-data";  // the seeded generator
  market_rec market;
  memset(&market, 0, sizeof market);
  strcpy(market.name, "GLOBEX");
  market.days = 0x3e;
  mark_market_hours(&market, 34200, 57600, 0);
  mqt* r = quoted("TEST", 850, 850, 850);
  r->market = &market;
  r->session_start = 34200;
  r->session_end = 57600;
  chart_rec* c = new_chart("TEST", 1);
  c->mqt = r;
  append_chart_link(&r->intraday_charts, c);
  strategy_ctx s{};
  snprintf(s.typed_account, sizeof s.typed_account, "RND");
  s.flags = STRATEGY_TRADE_LONG;
  s.mode = STRATEGY_PLAYBACK_TICKS;
  s.tick_size = 0.25;
  s.start_date = s.stop_date = 20240102;
  s.run = open_on_first_step;
  s.term = detach_trading_system;
  s_opened = 0;
  ASSERT_TRUE(strategy_attach(c, &s, 8, "RND"));
  strategy_start(&s, 0);
  g_random_data_path = saved_path;
  // One day of generated ticks from 850 on: a bar a minute, one trade.
  EXPECT_GT(c->header.bar_count, 300);
  EXPECT_LE(c->header.bar_count, 391);
  EXPECT_EQ(seconds_to_date(c->bars[0].time), 20240102);
  EXPECT_GT(s_opened, 300);
  char report_path[1024];
  data_folder_path(report_path, sizeof report_path, KV_DIR_ACCOUNTS, "RND_TEST_Report.txt");
  std::string report;
  kv_read_file(report_path, &report, nullptr);
  EXPECT_NE(report.find("    0 02Jan24 09:30:"), std::string::npos) << report;
  EXPECT_NE(report.find("Total trades.........   1\n"), std::string::npos) << report;
  EXPECT_EQ(g_random_running, 0);
  r->intraday_charts = nullptr;
  free_study_list(c->studies);
  free(c->bars);
  free(c->axis_marks);
  free(c);
}

TEST_F(SystemsTest, ReportNameWithPathCharactersIsRefused) {
  bars({{100, 100, 100, 100}});
  StatusCapture status;
  strategy_ctx s = ctx("../x");
  EXPECT_FALSE(run("MACD", &s));
  EXPECT_TRUE(status.saw("can't open report file"));
  EXPECT_EQ(chart_.rec.header.flags & CHART_SYSTEM_RUNNING, 0u);
}

TEST_F(SystemsTest, MafDefaultsAndDeltaNReportsAsMaf) {
  for (int i = 0; i < 8; i++) bars({{100, 101, 99, 100}});
  strategy_ctx s = ctx("");
  ASSERT_TRUE(run("MAF", &s));
  EXPECT_EQ(s.args[0], 5);
  EXPECT_EQ(s.args[1], 2);
  EXPECT_EQ(s.args[2], 10);
  EXPECT_EQ(s.args[3], 20);
  EXPECT_EQ(s.args[4], 3);
  EXPECT_EQ(s.multiplier, 5);
  EXPECT_NE(read("MAF_TST_Report.txt").find("side of MA 5 we are on\n"), std::string::npos);

  strategy_ctx d = ctx("");
  ASSERT_TRUE(run("DeltaN", &d));
  EXPECT_STREQ(d.account, "MAF");
  EXPECT_NE(read("MAF_TST_Report.txt").find("MAF backtest for TST daily chart\n"),
            std::string::npos);
}

// A close below the lows of the two bars before it, still above the
// 5-bar average (no reversal signal), breaks the window: option 1 closes
// the long lot at market, option 2 reverses it, no option keeps it.
TEST_F(SystemsTest, MafStopAndSarOnBreakOfThePreviousBarsExtremes) {
  struct row {
    uint32_t option, signal;
  } rows[] = {
      {0, 0}, {STRATEGY_OPTION1, SIG_LONG_CLOSED}, {STRATEGY_OPTION1 << 1, SIG_LONG_REVERSED}};
  for (int i = 0; i < 5; i++) bars({{100, 100.5f, 99.5f, 100}});
  for (float c : {110.f, 120.f, 130.f, 140.f}) bars({{c - 0.5f, c + 0.5f, c - 0.5f, c}});
  bars({{139, 140, 126, 127}});
  for (const row& r : rows) {
    SCOPED_TRACE(r.option);
    strategy_ctx s = ctx("MAFB");
    s.flags = STRATEGY_TRADE_LONG | STRATEGY_TRADE_SHORT | r.option;
    ASSERT_TRUE(run("MAF", &s));
    EXPECT_EQ(s.position, 1);
    EXPECT_EQ(s.signal & (SIG_LONG_CLOSED | SIG_LONG_REVERSED), r.signal);
    detach_trading_system(&s);
  }
}

TEST_F(SystemsTest, BbandEntersOnThePullbackAfterThreeBarsAboveTheBand) {
  // Quiet bars, three that break out above the upper band, then a bar that
  // falls back below the 10-bar average (at its low, mid-bar).
  for (int i = 0; i < 52; i++) {
    float c = i % 2 ? 101 : 99;
    bars({{c, c + 0.25f, c - 0.25f, c}});
  }
  bars({{100, 106, 100, 105}, {105, 110, 104, 109}, {109, 115, 108, 114}});
  bars({{114, 114, 100, 101}, {101, 102, 100, 101}});
  strategy_ctx s = ctx("");
  s.flags = STRATEGY_TRADE_LONG;
  ASSERT_TRUE(run("BBAND", &s));
  std::string report = read("BBand_TST_Report.txt");
  EXPECT_NE(report.find("   55 26Feb24 16:00:00 BOT  O   1 @  100.00   1.00\n"), std::string::npos)
      << report;
  EXPECT_EQ(s.long_trades, 1);
}

// Daily bars with an imported %IMS series from the sixth bar (the first
// traded) on: 50, 25, 30, 35, 40.
class ImsTest : public SystemsTest {
 protected:
  void SetUp() override {
    SystemsTest::SetUp();
    for (int i = 0; i < 10; i++) bars({{100, 101, 99, 100}});
    std::string csv;
    const int values[] = {50, 25, 30, 35, 40};
    for (int i = 0; i < 5; i++) {
      int date = seconds_to_date(chart_.rec.bars[5 + i].time);
      csv += std::to_string(date / 100 % 100) + "/" + std::to_string(date % 100) + "/" +
             std::to_string(date / 10000) + "," + std::to_string(values[i]) + "\n";
    }
    std::string dir = root_.file("Import");
    kv_make_dirs(dir.c_str(), nullptr);
    std::string path = dir + "/IMS.csv";
    ASSERT_TRUE(kv_write_file_atomic(path.c_str(), csv.data(), csv.size(), nullptr));
  }
  std::string first_fill(const char* account) {
    std::string report = read((std::string(account) + "_TST_Report.txt").c_str());
    size_t at = report.find("====\n");
    if (at == std::string::npos) return "";
    at += 5;
    return report.substr(at, report.find('\n', at) - at);
  }
};

TEST_F(ImsTest, IdleOnItsFirstTwoDaysThenActsOnTheRulesStep) {
  struct row {
    const char* account;
    const char* fill;
  } rows[] = {
      // turned up on the third day (25 after 50, then 30): the first trade
      {"IMS110", "    7 09Jan24 16:00:00 BOT  O   1 @  100.00   1.00"},
      // basic and wave both 1: the sum reaches 2
      {"IMS510", "    7 09Jan24 16:00:00 BOT  O   1 @  100.00   1.00"},
      // the same at the bar's open
      {"IMS610", "    7 09Jan24 09:30:00 BOT  O   1 @  100.00   1.00"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.account);
    strategy_ctx s = ctx(r.account);
    ASSERT_TRUE(run("IMS", &s));
    EXPECT_EQ(first_fill(r.account), r.fill);
    EXPECT_EQ(s.short_trades, 0);  // day two never read a missing value as a turn down
    free_study_list(chart_.rec.studies);
    chart_.rec.studies = nullptr;
  }
}

TEST_F(ImsTest, IntradayStepActsFromFifteenFiftyNineFiftyOne) {
  chart_.rec.header.time_unit = 1;
  strategy_ctx s = ctx("IMS110");
  s.mode = STRATEGY_SIMULATE;
  ASSERT_TRUE(run("IMS", &s));
  record_->quote_time = 57590;
  s.run(&s);
  EXPECT_EQ(s.flags & STRATEGY_CLOSE_STEP, 0u);
  record_->quote_time = 57591;
  s.run(&s);
  EXPECT_EQ(s.flags & STRATEGY_CLOSE_STEP, (uint32_t)STRATEGY_CLOSE_STEP);
  detach_trading_system(&s);
}

TEST_F(ImsTest, SizeFromMarginAndCushion) {
  strategy_ctx s = ctx("IMS110");
  s.mode = STRATEGY_SIMULATE;
  s.args[2] = 3000;  // margin
  s.args[3] = 1000;  // assumed initial loss
  s.beginning_balance = 10000;
  ASSERT_TRUE(run("IMS", &s));
  EXPECT_EQ(s.beginning_balance, 9000);
  EXPECT_EQ(strategy_ims_size(&s), 3);  // (9000 - 3000) / 3000 + 1
  s.net_profit = -4000;                 // 5000: 1 without the cushion
  EXPECT_EQ(strategy_ims_size(&s), 1);
  s.net_profit = -2000;  // 7000: 2
  EXPECT_EQ(strategy_ims_size(&s), 2);
  s.flags |= STRATEGY_OPTION1 << 2;  // Use Cushion: a drop allows half a margin
  s.net_profit = -4000;              // (5000 - 1500) / 3000 + 1
  EXPECT_EQ(strategy_ims_size(&s), 2);
  detach_trading_system(&s);
}

TEST_F(SystemsTest, VtsRuleThreePrintsTmvpAndWaitsForItsSeries) {
  // Rule 3 reads a library series that no library here provides: the run
  // reports its rule and waits; rule 4 trades on the same bars.
  for (int i = 0; i < 40; i++) {
    float c = 100 + i * 0.5f;
    bars({{c - 0.25f, c + 0.5f, c - 0.5f, c}});
  }
  strategy_ctx s = ctx("VTS310");
  ASSERT_TRUE(run("VTS", &s));
  std::string report = read("VTS310_TST_Report.txt");
  EXPECT_NE(report.find("Entry: TMVP 3 ema cross over 5 ema\n"), std::string::npos) << report;
  EXPECT_NE(report.find("Stop: Initial stop at 2.00 2.0 * StdDev[20]\n"), std::string::npos);
  EXPECT_EQ(s.total_trades, 0);
  EXPECT_EQ(s.multiplier, 50);

  free_study_list(chart_.rec.studies);
  chart_.rec.studies = nullptr;
  strategy_ctx v = ctx("VTS410");
  ASSERT_TRUE(run("VTS", &v));
  EXPECT_NE(read("VTS410_TST_Report.txt").find("Entry: SAR whenever VWAP crosses ema10\n"),
            std::string::npos);
  EXPECT_GE(v.long_trades, 1);
  EXPECT_EQ(v.short_trades, 0);
}

TEST_F(SystemsTest, Eod1BuysTheOpenBelowTheLowerBandSizedByItsMoney) {
  for (int i = 0; i < 205; i++) {
    float c = i % 2 ? 101 : 99;
    bars({{c, c + 0.5f, c - 0.5f, c}});
  }
  bars({{90, 96, 89, 95}});
  strategy_ctx s = ctx("");
  s.flags = STRATEGY_TRADE_LONG;
  s.max_lots = 2;
  ASSERT_TRUE(run("EOD1", &s));
  std::string report = read("EOD1_TST_Report.txt");
  // 10000 / 90 = 111 contracts, half to each of the two lots.
  EXPECT_NE(report.find("  205 25Jul24 09:30:00 BOT  O  55 @   90.00  55.00\n"), std::string::npos)
      << report;
  EXPECT_NE(report.find("  205 25Jul24 09:30:00 BOT 1O  55 @   90.00  110.00\n"),
            std::string::npos);
  // Lot 0 leaves at the close above its fill; lot 1 keeps a breakeven stop.
  EXPECT_NE(report.find("  205 25Jul24 16:00:00 SLD  C  55 @   95.00  55.00\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(s.lots[1].stop_price, 85.0);  // 2 x 90 - 95
}

TEST(CcmData, CountTrustedOnlyAsFarAsTheFileHolds) {
  std::vector<uint8_t> file(128 + 24 * 2 + 10, 0);
  file[124] = 50;  // claims 50 records
  float open = 10.5f;
  memcpy(&file[128 + 24 + 4], &open, 4);
  file[128 + 24 + 20] = 7;
  std::vector<cc_record> out;
  ASSERT_TRUE(parse_ccmdata(file.data(), file.size(), &out));
  ASSERT_EQ(out.size(), 2u);
  EXPECT_FLOAT_EQ(out[1].open, 10.5f);
  EXPECT_EQ(out[1].volume, 7);
  EXPECT_FALSE(parse_ccmdata(file.data(), 100, &out));
  file[127] = 0x80;  // a negative count: nothing
  ASSERT_TRUE(parse_ccmdata(file.data(), file.size(), &out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
