// Storing quotes: price, VWAP, session values, volumes, valuation and
// profits, notices, alerts, bad input, spreads and concurrent stores.
#include <cmath>
#include <cstring>
#include <limits>
#include <thread>

#include "data/chart_flags.h"
#include "data/dates.h"
#include "data/markets.h"
#include "platform/locks.h"
#include "data/tests/status_capture.h"
#include "platform/messages.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

const int DAY = 20240102;
const uint32_t TRADE = FEED_DATE | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE;

void trade(mqt *r, int time, float price, int size, uint32_t extra = 0, int date = DAY) {
  r->quote_date = date;
  r->trade_time = time;
  r->last = price;
  r->last_size = size;
  r->feed_flags = TRADE | extra;
}

struct Calls {
  static std::vector<std::string> log;
  static std::vector<double> alert_prices;
  static std::vector<int> sounds;
  static void orders(mqt *r) { log.push_back(std::string("orders ") + r->symbol); }
  static void minute(mqt *r) { log.push_back(std::string("1min ") + r->symbol); }
  static void charts(mqt *r) { log.push_back(std::string("charts ") + r->symbol); }
  static void alerts(mqt *, double p) { alert_prices.push_back(p); }
  static void sound(int s) { sounds.push_back(s); }
};
std::vector<std::string> Calls::log;
std::vector<double> Calls::alert_prices;
std::vector<int> Calls::sounds;

class SaveQuoteTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    Calls::log.clear();
    Calls::alert_prices.clear();
    Calls::sounds.clear();
    g_mqt_hooks.update_orders_on_quote = Calls::orders;
    g_mqt_hooks.update_1min_data = Calls::minute;
    g_mqt_hooks.update_mqt_charts = Calls::charts;
    g_mqt_hooks.test_alerts = Calls::alerts;
    g_mqt_hooks.queue_sound = Calls::sound;
    r = create_multiquote_struct("IBM");
  }
  mqt *r = nullptr;
};

TEST_F(SaveQuoteTest, TradesMakeTheSessionValues) {
  trade(r, 34200, 100, 200);
  ASSERT_EQ(save_mqt_data(r, 3), 1);
  EXPECT_EQ(r->last, 100);
  EXPECT_EQ(r->open, 100);
  EXPECT_EQ(r->high, 100);
  EXPECT_EQ(r->low, 100);
  EXPECT_EQ(r->volume, 200);
  EXPECT_EQ(r->day_close, 100);
  EXPECT_TRUE(r->flags & MQT_QUOTE_STORED);
  EXPECT_EQ(r->stored_date, DAY);
  EXPECT_EQ(r->quote_time, 34200);  // taken from the trade time
  EXPECT_EQ(r->trade_epoch, date_to_seconds(DAY, 34200));

  trade(r, 34260, 102, 100);
  save_mqt_data(r, 3);
  trade(r, 34320, 99, 100);
  save_mqt_data(r, 3);
  EXPECT_EQ(r->open, 100);
  EXPECT_EQ(r->high, 102);
  EXPECT_EQ(r->low, 99);
  EXPECT_EQ(r->volume, 400);
  EXPECT_FLOAT_EQ(r->vwap, (100 * 200 + 102 * 100 + 99 * 100) / 400.0f);
  EXPECT_FLOAT_EQ(r->last_change, -3);
  EXPECT_EQ(r->prev_last, 99);

  // The quote's own open, high and low are taken when they make sense.
  trade(r, 34380, 101, 100, FEED_OPEN | FEED_HIGH | FEED_LOW);
  r->open = 98;
  r->high = 105;
  r->low = 97;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->open, 98);
  EXPECT_EQ(r->high, 105);
  EXPECT_EQ(r->low, 97);
  // A high of twice the price or a low of under half of it is not.
  trade(r, 34440, 101, 100, FEED_HIGH | FEED_LOW);
  r->high = 300;
  r->low = 40;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->high, 105);
  EXPECT_EQ(r->low, 97);
  EXPECT_EQ(Calls::log.size(), 3u * 5);  // orders, one-minute data, charts per quote
}

TEST_F(SaveQuoteTest, ANewDayStartsTheSessionAfresh) {
  trade(r, 50000, 100, 500);
  save_mqt_data(r, 3);
  trade(r, 50100, 90, 500);
  save_mqt_data(r, 3);
  trade(r, 34200, 95, 10, 0, DAY + 1);
  save_mqt_data(r, 3);
  EXPECT_EQ(r->open, 95);
  EXPECT_EQ(r->high, 95);
  EXPECT_EQ(r->low, 95);
  EXPECT_EQ(r->volume, 10);
  EXPECT_FLOAT_EQ(r->vwap, 95);
}

TEST_F(SaveQuoteTest, NetChangeGivesThePreviousCloseAndPercentages) {
  trade(r, 34200, 110, 1, FEED_CHANGE);
  r->change = 10;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->prev_close, 100);
  EXPECT_FLOAT_EQ(r->pct_last, 10);
  EXPECT_FLOAT_EQ(r->pct_high, 10);
  EXPECT_GE(g_max_high_pct, 10);

  // Official-close records count the change from their "close" value.
  mqt *o = create_multiquote_struct("MSFT");
  trade(o, 34200, 50, 1, FEED_CHANGE | FEED_CLOSE | FEED_KIND_OFFICIAL_CLOSE);
  o->close = 48;
  o->change = 3;
  save_mqt_data(o, 3);
  EXPECT_EQ(o->prev_close, 45);
}

TEST_F(SaveQuoteTest, QuoteWithoutTradeKeepsTheDaysPrice) {
  r->prev_close = 90;
  // Nothing traded yet: the price is the previous close.
  r->quote_date = DAY;
  r->quote_time = 34000;
  r->bid = 89;
  r->ask = 91;
  r->feed_flags = FEED_DATE | FEED_TIME | FEED_BID | FEED_ASK;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->last, 90);
  trade(r, 34200, 100, 10);
  save_mqt_data(r, 3);
  // A later bid and ask do not put the previous close back.
  r->quote_time = 34300;
  r->bid = 99;
  r->ask = 101;
  r->feed_flags = FEED_DATE | FEED_TIME | FEED_BID | FEED_ASK;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->last, 100);
  EXPECT_EQ(r->low, 90);
  EXPECT_EQ(r->day_close, 100);
}

TEST_F(SaveQuoteTest, ValuationAndProfits) {
  MessageSink sink;
  chart_rec *c = new_chart("IBM", TU_1MIN);
  ASSERT_EQ(link_chart_to_mqt(c), r);
  c->owner_window = sink.wnd;
  c->header.flags |= CHART_GRTRADE_SHOWN;

  r->paper_quantity = 10;
  r->paper_avg_price = 100;
  struct {
    float last, bid, ask;
    double valuation;
  } cases[] = {{10, 10.5f, 11, 10.75}, {10, 9, 11, 10}, {101, 0, 0, 101}};
  for (auto &k : cases) {
    trade(r, 34200, k.last, 1, FEED_BID | FEED_ASK);
    r->bid = k.bid;
    r->ask = k.ask;
    save_mqt_data(r, 3);
    EXPECT_DOUBLE_EQ(r->valuation_price, k.valuation) << k.last;
  }
  EXPECT_DOUBLE_EQ(r->paper_profit, 10.0);
  int posts = sink.count(WM_PORTFOLIO_UPDATE);
  EXPECT_GE(posts, 1);
  save_mqt_data(r, 3);  // nothing changed: no notice
  EXPECT_EQ(sink.count(WM_PORTFOLIO_UPDATE), posts);

  r->paper_quantity = -10;  // short
  save_mqt_data(r, 3);
  EXPECT_DOUBLE_EQ(r->paper_profit, -10.0);
  r->paper_quantity = 0;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->paper_profit, 0);
  EXPECT_EQ(r->paper_avg_price, 0);

  // Futures value broker positions with their multiplier.
  mqt *f = create_multiquote_struct("ESZ3");
  f->account_positions[3].quantity = 2;
  f->account_positions[3].avg_price = 4000;
  trade(f, 34200, 4010, 1);
  save_mqt_data(f, 3);
  EXPECT_DOUBLE_EQ(f->account_positions[3].profit, 10 * 2 * 50.0);
  free_chart_data(c);
}

TEST_F(SaveQuoteTest, MidpointRecordDropsAWideQuoteWhole) {
  mqt *m = create_multiquote_struct("M~IBM");
  m->tick_size = 0.01;
  trade(m, 34200, 100.5f, 0, FEED_BID | FEED_ASK);
  m->feed_flags &= ~(FEED_LAST | FEED_LAST_SIZE);
  m->bid = 100;
  m->ask = 100.2f;
  ASSERT_EQ(save_mqt_data(m, 3), 1);
  float stored_bid = m->bid;
  Calls::log.clear();
  m->bid = 100;
  m->ask = 101;  // 1.00 apart: more than 50 ticks
  m->trade_time = 34300;
  EXPECT_EQ(save_mqt_data(m, 3), 0);
  EXPECT_EQ(m->bid, stored_bid);
  EXPECT_FLOAT_EQ(m->ask, 100.2f);
  EXPECT_TRUE(Calls::log.empty());  // no orders, no charts
}

TEST_F(SaveQuoteTest, BadInputNeverEntersTheSession) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  trade(r, 34200, 100, 10, FEED_BID | FEED_ASK);
  r->bid = 99;
  r->ask = 101;
  save_mqt_data(r, 3);

  struct {
    float last, bid;
  } bad[] = {{nan, 98}, {inf, 98}, {-inf, 98}, {-5, 98}, {0, 98}, {100.5f, nan}};
  for (auto &b : bad) {
    trade(r, 34300, b.last, 10, FEED_BID);
    r->bid = b.bid;
    save_mqt_data(r, 3);
    SCOPED_TRACE(b.last);
    EXPECT_TRUE(std::isfinite(r->last));
    EXPECT_TRUE(std::isfinite(r->bid));
    EXPECT_TRUE(std::isfinite(r->vwap));
    EXPECT_EQ(r->low, 99.0f > r->last ? r->last : r->low);
    EXPECT_GT(r->low, 0);
    EXPECT_GT(r->last, 0);
  }
  EXPECT_EQ(r->high, 100.5f);
  EXPECT_EQ(r->low, 100);
  EXPECT_EQ(r->volume, 10 + 10);  // only the good trade's size
  // A record whose prices may go below zero takes them.
  mqt *t = create_multiquote_struct("TICK-NYSE");
  trade(t, 34200, -300, 0);
  t->feed_flags &= ~FEED_LAST_SIZE;
  EXPECT_EQ(save_mqt_data(t, 3), 1);
  EXPECT_EQ(t->last, -300);
  // Its session values follow its signed prices.
  float ticks[] = {200, -500, 0};
  for (float v : ticks) {
    trade(t, 34300, v, 0);
    t->feed_flags &= ~FEED_LAST_SIZE;
    save_mqt_data(t, 3);
  }
  EXPECT_EQ(t->open, -300);
  EXPECT_EQ(t->high, 200);
  EXPECT_EQ(t->low, -500);
  EXPECT_EQ(t->last, 0);
  trade(t, 34200, -10, 0, 0, DAY + 1);  // a new day starts from its first price
  t->feed_flags &= ~FEED_LAST_SIZE;
  save_mqt_data(t, 3);
  EXPECT_EQ(t->high, -10);
  EXPECT_EQ(t->low, -10);
  EXPECT_EQ(t->open, -10);
  EXPECT_EQ(save_mqt_data(nullptr, 3), 0);
}

TEST_F(SaveQuoteTest, SignedTradeSizesCountAsVolume) {
  trade(r, 34200, 100, -300);  // a sale at the bid
  save_mqt_data(r, 3);
  trade(r, 34201, 101, 100);
  save_mqt_data(r, 3);
  EXPECT_EQ(r->volume, 400);
  EXPECT_EQ(r->vwap_volume, 400);
  EXPECT_FLOAT_EQ(r->vwap, (300 * 100 + 100 * 101) / 400.0f);
}

TEST_F(SaveQuoteTest, VolumesPerMinute) {
  const int n = MQT_VOLUME_MINUTES;
  trade(r, 600 * 60 + 5, 10, 100, FEED_VOLUME);
  r->volume = 1000;
  save_mqt_data(r, 3);
  trade(r, 600 * 60 + 30, 10, 50, FEED_VOLUME);
  r->volume = 1050;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->newest_minute, 600);
  EXPECT_EQ(r->minute_volume[n - 1], 150);
  EXPECT_EQ(r->minute_cum_volume[n - 1], 1050);

  // Two minutes on: the arrays move, the minute between is empty.
  trade(r, 602 * 60, 10, 20, FEED_VOLUME);
  r->volume = 1070;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->minute_volume[n - 3], 150);
  EXPECT_EQ(r->minute_volume[n - 2], 0);
  EXPECT_EQ(r->minute_volume[n - 1], 20);

  // A day count that runs backwards keeps counting from the last minute.
  trade(r, 603 * 60, 10, 5, FEED_VOLUME);
  r->volume = 10;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->minute_cum_volume[n - 1], 1070 + 5);
  // A summary quote belongs to its quote time; a time before the newest
  // minute starts a new day.
  trade(r, 0, 10, 7, FEED_SUMMARY | FEED_TIME);
  r->quote_time = 100 * 60;
  save_mqt_data(r, 3);
  EXPECT_EQ(r->newest_minute, 100);
  EXPECT_EQ(r->minute_volume[n - 1], 7);
  EXPECT_EQ(r->minute_volume[n - 2], 0);
  // A time that is no time of day leaves the arrays alone.
  trade(r, 999999, 10, 7);
  save_mqt_data(r, 3);
  EXPECT_EQ(r->newest_minute, 100);
}

TEST_F(SaveQuoteTest, StatusNoticesOncePerNewTime) {
  MessageSink main;
  hmainwnd.store(main.wnd);
  market_rec market = {};
  strcpy(market.name, "NYSE");
  market.minutes[570] = MINUTE_MAIN | MINUTE_OPEN;
  market.minutes[959] = MINUTE_MAIN | MINUTE_CLOSE;
  r->market = &market;
  r->flags &= ~MQT_NOT_STREAMABLE;

  trade(r, 570 * 60 + 1, 100, 1);
  save_mqt_data(r, 3);
  trade(r, 570 * 60 + 1, 100, 1);  // the same trade time again
  save_mqt_data(r, 3);
  trade(r, 570 * 60 + 2, 100, 1);
  save_mqt_data(r, 3);
  EXPECT_EQ(main.count(WM_CONT_UPDATE_STATUS), 2);
  trade(r, 959 * 60 + 1, 100, 1);
  save_mqt_data(r, 3);
  trade(r, 959 * 60 + 5, 100, 1);
  save_mqt_data(r, 3);
  EXPECT_EQ(Calls::sounds, (std::vector<int>{14, 15}));  // open and close, once each
  int opens = 0, closes = 0;
  kv_dispatch_posted(-1);
  for (auto &m : main.got)
    if (m.message == WM_STATUS_MSG) {
      std::string text = (const char *)m.lparam;
      opens += text.find("MARKET OPEN") != std::string::npos;
      closes += text.find("MARKET CLOSE") != std::string::npos;
    }
  EXPECT_EQ(opens, 1);
  EXPECT_EQ(closes, 1);

  // Playback records tell nobody.
  r->flags |= MQT_PLAYBACK;
  trade(r, 40000, 100, 1);
  save_mqt_data(r, 3);
  EXPECT_EQ(main.count(WM_CONT_UPDATE_STATUS), 4);
  hmainwnd.store(0);
}

TEST_F(SaveQuoteTest, AlertsOnRealTradesOnly) {
  alert_rec *some_alert = (alert_rec *)r;  // any non-null record stands for one
  r->alert = some_alert;
  trade(r, 34200, 100, 10);
  save_mqt_data(r, 3);
  trade(r, 34201, 101, 0);  // no shares traded
  save_mqt_data(r, 3);
  trade(r, 34202, 102, 0);
  r->feed_flags &= ~FEED_LAST_SIZE;  // no size at all: a trade
  save_mqt_data(r, 3);
  EXPECT_EQ(Calls::alert_prices, (std::vector<double>{100, 102}));
  save_mqt_data(r, 2);  // without charts: still tested
  EXPECT_EQ(Calls::alert_prices.size(), 3u);
  r->flags |= MQT_PLAYBACK;
  save_mqt_data(r, 3);
  EXPECT_EQ(Calls::alert_prices.size(), 3u);
  r->alert = nullptr;
}

TEST_F(SaveQuoteTest, ModesChooseTheWork) {
  trade(r, 34200, 100, 10);
  save_mqt_data(r, 0);  // price and session values only
  EXPECT_TRUE(Calls::log.empty());
  EXPECT_EQ(r->volume, 0);
  EXPECT_EQ(r->high, 100);
  save_mqt_data(r, 1);
  EXPECT_EQ(Calls::log, (std::vector<std::string>{"1min IBM", "charts IBM"}));
  r->flags |= MQT_PLAYBACK;  // playback feeds its charts but writes no minutes
  Calls::log.clear();
  save_mqt_data(r, 3);
  EXPECT_EQ(Calls::log, (std::vector<std::string>{"orders IBM", "charts IBM"}));
}

TEST_F(SaveQuoteTest, SpreadsFollowTheirLegs) {
  root_.write("CONFIG/spreads.cfg", "R~AB AAA BBB 2 1\nS~CD CCC DDD 1 -1\n");
  mqt *s = get_multiquote("R~AB");
  ASSERT_NE(s, nullptr);
  mqt *a = find_mqt("AAA"), *b = find_mqt("BBB");
  trade(b, 34200, 50, 10, FEED_BID | FEED_ASK);
  b->bid = 49;
  b->ask = 51;
  save_mqt_data(b, 3);
  trade(a, 34230, 100, 7, FEED_BID | FEED_ASK);
  a->bid = 99;
  a->ask = 101;
  save_mqt_data(a, 3);
  EXPECT_FLOAT_EQ(s->last, 2 * 100 / 50.0f);
  EXPECT_FLOAT_EQ(s->bid, 2 * 99 / 51.0f);
  EXPECT_FLOAT_EQ(s->ask, 2 * 101 / 49.0f);
  EXPECT_EQ(s->last_size, 7);
  EXPECT_TRUE(s->flags & MQT_QUOTE_STORED);
  EXPECT_EQ(s->trade_time, 34230);

  // Legs more than 60 s apart: the fields follow, nothing more.
  mqt *d = get_multiquote("S~CD");
  ASSERT_NE(d, nullptr);  // an "S~" name is no built spread: a plain record
  EXPECT_EQ(d->leg1, nullptr);
  Calls::log.clear();
  trade(a, 34400, 104, 1, FEED_BID | FEED_ASK);
  save_mqt_data(a, 3);
  EXPECT_FLOAT_EQ(s->last, 2 * 104 / 50.0f);
  EXPECT_EQ(Calls::log, (std::vector<std::string>{"orders AAA", "1min AAA", "charts AAA"}));

  // A leg without a quote gives the ratio spread no bid or ask.
  b->ask = 0;
  trade(a, 34401, 104, 1);
  save_mqt_data(a, 3);
  EXPECT_EQ(s->bid, -1.0f);
  EXPECT_TRUE(std::isfinite(s->last));
}

TEST_F(SaveQuoteTest, ThreadsStoreQuotesTogether) {
  mqt *shared = r;
  const int per_thread = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([&, t] {
      char sym[8];
      snprintf(sym, sizeof sym, "T%d", t);
      mqt *own = create_multiquote_struct(sym);
      for (int i = 0; i < per_thread; i++) {
        kv_lock guard(g_chart_lock);  // the source fills the record under the lock
        trade(shared, 34200 + i, 100.0f + (i % 10), 1);
        save_mqt_data(shared, 3);
        trade(own, 34200 + i, 50.0f + t, 2);
        save_mqt_data(own, 3);
      }
    });
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(shared->volume, 4 * per_thread);
  EXPECT_EQ(shared->high, 109);
  EXPECT_EQ(shared->low, 100);
  EXPECT_EQ(g_save_depth, 0);
  for (int t = 0; t < 4; t++) {
    char sym[8];
    snprintf(sym, sizeof sym, "T%d", t);
    EXPECT_EQ(find_mqt(sym)->volume, 2 * per_thread);
  }
}

}  // namespace
