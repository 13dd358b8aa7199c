#include "data/quotecfg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>

#include "data/dates.h"
#include "data/exchclock.h"
#include "data/markets.h"
#include "data/scramble.h"
#include "data/srcdata.h"
#include "data/tests/status_capture.h"
#include "data/tokenfile.h"
#include "platform/clock.h"
#include "platform/testing/fixture.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

namespace {

const char kSrcdata[] =
    "HISTORIC_DAILY 1\n"
    "  daily daily.cfg\n"
    "MULTIQUOTE 3\n"
    "  relay relay.cfg\n"
    "  other other.cfg\n"
    "  missing missing.cfg\n";

// New York rule: UTC-5, daylight time (UTC-4) from the second Sunday in
// March to the first Sunday in November.
const char kRelay[] =
    "# live quotes through the relay\n"
    "initfunc 3\n"
    "termfunc 4\n"
    "openfunc 5\n"
    "closefunc 6\n"
    "maxquotes 200\n"
    "router_capabilities 0x232\n"
    "router_name QRelay\n"
    "no_update_chk\n"
    "source_codes 7 1 0 3 0 1\n"
    "exchange_times 9:30 16:00\n"
    "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n"
    "main_hours 9:30 16:00   # ignored: no market yet\n"
    "data_source_msg\n"
    "Quotes are delayed.\n"
    "  Second line.\n"
    "End_Msg.\n"
    "market NYSE\n"
    "exchange_times 9:00 17:00\n"
    "exchange_days 0x3E\n"
    "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n"
    "main_hours 9:30 16:00\n"
    "extended_hours 4:00 20:00\n"
    "market GLOBEX\n"
    "exchange_timezone 360 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n"
    "main_hours 0:00 24:00\n"
    "[MAIN]\n"
    "body line one\n"
    "body line two\n";

class QuoteCfgTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    strcpy(g_data_root, root_.path().c_str());
    root_.write("CONFIG/srcdata.cfg", kSrcdata);
    root_.write("CONFIG/relay.cfg", kRelay);
    free_srcdata_cfg();
    free_quote_source_cfgs();
  }
  void TearDown() override {
    free_quote_source_cfgs();
    free_srcdata_cfg();
    clear_markets();
    reset_settings();
    kv_clock_reset();
    TempRootTest::TearDown();
  }
};

TEST_F(QuoteCfgTest, HeaderKeys) {
  quote_source_cfg *cfg = read_quote_source_cfg(100000);
  ASSERT_NE(cfg, nullptr);
  EXPECT_EQ(cfg->initfunc, 3);
  EXPECT_EQ(cfg->termfunc, 4);
  EXPECT_EQ(cfg->openfunc, 5);
  EXPECT_EQ(cfg->closefunc, 6);
  EXPECT_EQ(cfg->maxquotes, 200);
  EXPECT_EQ(cfg->router_capabilities, 0x232u);
  EXPECT_STREQ(cfg->router_name, "QRelay");
  EXPECT_EQ(cfg->flags, (uint32_t)QUOTE_CFG_NO_UPDATE_CHK);
  EXPECT_EQ(cfg->source_codes, 7u | 0x100 | 0x400 | 0x1000);
  EXPECT_EQ(cfg->exchange_days, 62u);  // the default
  // Times before any market line are the configuration's own.
  EXPECT_EQ(cfg->open_time, 34200);
  EXPECT_EQ(cfg->close_time, 57600);
  EXPECT_EQ(cfg->tz.bias, 300);
  EXPECT_EQ(cfg->tz.standard_date.month, 11);
  EXPECT_EQ(cfg->tz.standard_date.day, 1);
  EXPECT_EQ(cfg->tz.standard_date.hour, 2);
  EXPECT_EQ(cfg->tz.daylight_date.month, 3);
  EXPECT_EQ(cfg->tz.daylight_date.day, 2);
  EXPECT_EQ(cfg->tz.daylight_bias, -60);
  EXPECT_STREQ(cfg->data_source_msg, "Quotes are delayed.\nSecond line.\n");
  EXPECT_STREQ(cfg->body, "body line one\nbody line two\n");
  char line[64];
  EXPECT_STREQ(cfg_read_line(line, sizeof line, &cfg->cursor), "body line one\n");
  // The same slot comes back without reading the file again.
  EXPECT_EQ(read_quote_source_cfg(100000), cfg);
}

TEST_F(QuoteCfgTest, MarketsAndTheirMinuteTables) {
  ASSERT_NE(read_quote_source_cfg(100000), nullptr);
  market_rec *nyse = find_market("nyse");
  ASSERT_NE(nyse, nullptr);
  EXPECT_EQ(nyse->open_time, 9 * 3600);
  EXPECT_EQ(nyse->close_time, 17 * 3600);
  EXPECT_EQ(nyse->days, 0x3Eu);
  EXPECT_EQ(nyse->tz.bias, 300);
  struct Case {
    int minute, bits;
  } cases[] = {
      {569, MINUTE_EXTENDED},
      {570, MINUTE_OPEN | MINUTE_MAIN | MINUTE_EXTENDED},
      {571, MINUTE_MAIN | MINUTE_EXTENDED},
      {959, MINUTE_MAIN | MINUTE_EXTENDED},
      {960, MINUTE_CLOSE | MINUTE_EXTENDED},
      {239, 0},
      {240, MINUTE_EXTENDED},
      {1199, MINUTE_EXTENDED},
      {1200, 0},
  };
  for (const Case &c : cases) EXPECT_EQ(nyse->minutes[c.minute], c.bits) << c.minute;
  // An end of 24:00 closes the day inside the table.
  market_rec *globex = find_market("GLOBEX");
  ASSERT_NE(globex, nullptr);
  EXPECT_EQ(globex->minutes[0], MINUTE_OPEN | MINUTE_MAIN);
  EXPECT_EQ(globex->minutes[1439], MINUTE_MAIN);
  EXPECT_EQ(globex->tz.bias, 360);
  // Only markets that were named exist.
  EXPECT_EQ(find_market("LSE"), nullptr);
}

TEST_F(QuoteCfgTest, MarketTableHoldsThirtyThreeMarkets) {
  std::string text =
      "exchange_times 9:30 16:00\nexchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n";
  for (int i = 0; i < 40; i++)
    text += "market M" + std::to_string(i) +
            "\nmain_hours 9:00 10:00\nexchange_times 8:00 9:00\nexchange_days 0x7F\n"
            "exchange_timezone -60 0/0/10/5 3:00 0 0/0/3/5 2:00 -60\n";
  root_.write("CONFIG/relay.cfg", text);
  quote_source_cfg *cfg = read_quote_source_cfg(100000);
  ASSERT_NE(cfg, nullptr);
  EXPECT_NE(find_market("M32"), nullptr);
  EXPECT_EQ(find_market("M33"), nullptr);
  EXPECT_EQ(g_markets[32].minutes[540], MINUTE_OPEN | MINUTE_MAIN);
  EXPECT_EQ(g_markets[32].tz.bias, -60);
  // The lines of markets that found no record leave the source's own
  // times, days and zone as they were.
  EXPECT_EQ(cfg->open_time, 34200);
  EXPECT_EQ(cfg->close_time, 57600);
  EXPECT_EQ(cfg->exchange_days, 62u);
  EXPECT_EQ(cfg->tz.bias, 300);
}

TEST_F(QuoteCfgTest, HeaderEndsAtTheFirstUnknownWord) {
  root_.write("CONFIG/relay.cfg", "maxquotes 5\nhttp://quotes.example/q?s=%s\n");
  quote_source_cfg *cfg = read_quote_source_cfg(100000);
  ASSERT_NE(cfg, nullptr);
  EXPECT_EQ(cfg->maxquotes, 5);
  EXPECT_STREQ(cfg->body, "maxquotes 5\nhttp://quotes.example/q?s=%s\n");
  EXPECT_EQ(cfg->data_source_msg, nullptr);
}

TEST_F(QuoteCfgTest, ScrambledFileReadsAsThePlainOne) {
  // Written with CR LF line ends: carriage returns are no table steps.
  std::string body;
  for (const char *p = kRelay; *p; p++)
    body += *p == '\n' ? std::string("\r\n") : std::string(1, *p);
  scramble_locked(body.data());
  root_.write("CONFIG/relay.cfg", "#! scrambled\r\n" + body);
  quote_source_cfg *cfg = read_quote_source_cfg(100000);
  ASSERT_NE(cfg, nullptr);
  EXPECT_STREQ(cfg->router_name, "QRelay");
  EXPECT_STREQ(cfg->data_source_msg, "Quotes are delayed.\nSecond line.\n");
  EXPECT_STREQ(cfg->body, "body line one\nbody line two\n");
  ASSERT_NE(find_market("NYSE"), nullptr);
  EXPECT_EQ(find_market("NYSE")->minutes[570], MINUTE_OPEN | MINUTE_MAIN | MINUTE_EXTENDED);
}

TEST_F(QuoteCfgTest, ChosenSourceDecidesTheFileAndTheCache) {
  root_.write("CONFIG/other.cfg", "router_name Other\n[MAIN]\n");
  quote_source_cfg *cfg = read_quote_source_cfg(100000);
  ASSERT_NE(cfg, nullptr);
  EXPECT_STREQ(cfg->router_name, "QRelay");
  g_settings.MultiQuoteSource = 1;
  cfg = read_quote_source_cfg(100000);
  ASSERT_NE(cfg, nullptr);
  EXPECT_STREQ(cfg->router_name, "Other");
  // Reading the relay file was a multiquote load: the market table was cleared.
  EXPECT_EQ(find_market("NYSE"), nullptr);
  // A changed file is read again only on reload.
  root_.write("CONFIG/other.cfg", "router_name Changed\n[MAIN]\n");
  EXPECT_STREQ(read_quote_source_cfg(100000)->router_name, "Other");
  EXPECT_STREQ(reload_quote_source_cfg()->router_name, "Changed");
  // Every unit outside the history classes shares the multiquote slot.
  EXPECT_EQ(quote_cfg_slot(123), quote_cfg_slot(100000));
  EXPECT_EQ(quote_cfg_slot(1), quote_cfg_slot(78));
  EXPECT_NE(quote_cfg_slot(1), quote_cfg_slot(390));
}

TEST_F(QuoteCfgTest, MissingFileIsReported) {
  StatusCapture status;
  g_settings.MultiQuoteSource = 2;
  EXPECT_EQ(read_quote_source_cfg(100000), nullptr);
  EXPECT_TRUE(status.saw("can't open file: " + root_.path() + "/CONFIG/missing.cfg"));
}

TEST_F(QuoteCfgTest, NoSourceFileIsLookedForWithoutSrcdata) {
  StatusCapture status;
  unlink(root_.file("CONFIG/srcdata.cfg").c_str());
  free_srcdata_cfg();
  for (int unit : {1, 390, 100000}) EXPECT_EQ(read_quote_source_cfg(unit), nullptr) << unit;
  EXPECT_FALSE(status.saw("can't open file:"));
  EXPECT_TRUE(status.saw("srcdata.cfg"));
}

TEST_F(QuoteCfgTest, ShortTimeZoneLineIsReported) {
  StatusCapture status;
  root_.write("CONFIG/relay.cfg", "exchange_timezone 300 0/0/11\n[MAIN]\n");
  quote_source_cfg *cfg = read_quote_source_cfg(100000);
  ASSERT_NE(cfg, nullptr);
  EXPECT_EQ(cfg->tz.bias, 300);
  EXPECT_EQ(cfg->tz.standard_date.month, 11);
  EXPECT_EQ(cfg->tz.daylight_bias, 0);
  EXPECT_TRUE(status.saw("TZ parse error"));
}

TEST_F(QuoteCfgTest, SourceCode254SwitchesHolidaysOff) {
  root_.write("CONFIG/relay.cfg", "source_codes 254 0 0 0 0 0\n[MAIN]\n");
  ASSERT_NE(read_quote_source_cfg(100000), nullptr);
  EXPECT_FALSE(is_holiday(20061225));
  free_quote_source_cfgs();
  EXPECT_TRUE(is_holiday(20061225));
}

// ---- exchange clock -------------------------------------------------------

void set_utc(int date, int time) {
  kv_clock_set_utc_ms((date_to_seconds(date, time)) * 1000);
}

TEST_F(QuoteCfgTest, GlobalClockFollowsTheSourcesZone) {
  set_utc(20070315, 13 * 3600 + 45 * 60);  // daylight time: 09:45 in New York
  EXPECT_EQ(update_exchange_clock(), 20070315);
  EXPECT_EQ(g_exchange_time, 9 * 3600 + 45 * 60);
  EXPECT_EQ(g_exchange_weekday, 4);  // Thursday, 0 = Sunday
  EXPECT_EQ(g_exchange_seconds, date_to_seconds(20070315, 9 * 3600 + 45 * 60));
  EXPECT_EQ(g_utc_seconds, date_to_seconds(20070315, 13 * 3600 + 45 * 60));
  EXPECT_EQ(g_exchange_clock.utc_minute, 13 * 60 + 45);
  set_utc(20070102, 3 * 3600);  // winter: 22:00 the evening before
  EXPECT_EQ(exchange_date(nullptr), 20070101);
  EXPECT_EQ(exchange_time_of_day(nullptr), 22 * 3600);
  EXPECT_EQ(exchange_weekday(nullptr), 1);
}

TEST_F(QuoteCfgTest, MarketHoursOfARecord) {
  ASSERT_NE(read_quote_source_cfg(100000), nullptr);
  mqt *rec = new mqt{};
  strcpy(rec->symbol, "IBM");
  rec->market = find_market("NYSE");
  struct Case {
    int utc_date, utc_time, open;
  } cases[] = {
      {20070315, 13 * 3600 + 29 * 60, 0},  // 09:29 local
      {20070315, 13 * 3600 + 30 * 60, 1},  // 09:30
      {20070315, 19 * 3600 + 59 * 60, 1},  // 15:59
      {20070315, 20 * 3600, 0},            // 16:00
      {20070317, 15 * 3600, 0},            // Saturday
      {20070704, 15 * 3600, 0},            // holiday
      {20070109, 15 * 3600, 1},            // winter, 10:00 local
  };
  for (const Case &c : cases) {
    set_utc(c.utc_date, c.utc_time);
    EXPECT_EQ(exchange_is_open(rec), c.open) << c.utc_date << " " << c.utc_time;
  }
  EXPECT_EQ(rec->market->date, 20070109);
  EXPECT_EQ(rec->market->weekday, 2);
  delete rec;
}

TEST_F(QuoteCfgTest, CurrentTradingDate) {
  struct Case {
    int utc_date, utc_time, date;
  } cases[] = {
      {20070317, 15 * 3600, 20070316},  // Saturday: the Friday before
      {20070318, 15 * 3600, 20070316},  // Sunday
      {20070319, 13 * 3600, 20070316},  // Monday 09:00, before the open
      {20070319, 14 * 3600, 20070319},  // Monday 10:00
      {20061226, 13 * 3600, 20061222},  // Tuesday before the open; Monday a holiday
      {20061225, 18 * 3600, 20061222},  // the holiday itself
  };
  for (const Case &c : cases) {
    set_utc(c.utc_date, c.utc_time);
    EXPECT_EQ(current_trading_date(nullptr), c.date) << c.utc_date;
  }
}

TEST_F(QuoteCfgTest, RecordWithoutMarketIsReported) {
  StatusCapture status;
  mqt *rec = new mqt{};
  strcpy(rec->symbol, "LOST");
  EXPECT_EQ(exchange_date(rec), 0);
  EXPECT_TRUE(status.saw("lost timezone info for LOST"));
  // A market entry cleared since the record took it is lost as well.
  ASSERT_NE(read_quote_source_cfg(100000), nullptr);
  strcpy(rec->symbol, "IBM");
  rec->market = find_market("NYSE");
  set_utc(20070315, 15 * 3600);
  EXPECT_EQ(exchange_date(rec), 20070315);
  clear_markets();
  EXPECT_EQ(exchange_date(rec), 0);
  EXPECT_TRUE(status.saw("lost timezone info for IBM"));
  delete rec;
  set_utc(20070715, 0);
  free_quote_source_cfgs();
  g_settings.MultiQuoteSource = 2;  // no configuration at all
  EXPECT_EQ(update_exchange_clock(), 0);
}

TEST_F(QuoteCfgTest, LocalOffsetOfAMarket) {
  ASSERT_NE(read_quote_source_cfg(100000), nullptr);
  EXPECT_EQ(exchange_local_seconds(find_market("GLOBEX"), date_to_seconds(20070115, 0)), -6 * 3600);
  EXPECT_EQ(exchange_local_seconds(nullptr, date_to_seconds(20070715, 0)), -4 * 3600);
}

}  // namespace
