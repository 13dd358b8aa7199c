// Chart loading through get_chart_data: price files written byte by byte
// under a temporary data root, and a fake history source standing in for the
// web import, so that the missing span, the request flags, the merge and the
// write-back show.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/alias.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartload.h"
#include "data/importfmt.h"
#include "data/markets.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/dates.h"
#include "data/statmsg.h"
#include "data/tests/price_image.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"

namespace {

// 2024-03-08, a Friday, 20:00 UTC: "today" of these tests.
constexpr int TODAY = 20240308;
constexpr int64_t NOW_UTC_MS = (int64_t)(DAY0 + 4 * 86400 + 20 * 3600) * 1000;

// The fake web import: records what it is asked and answers with the bars
// set for it.
struct fake_source {
  struct call {
    int unit;
    std::string symbol;
    int first, last, options;
  };
  static std::vector<call> calls;
  static std::vector<test_bar> bars;
  static chart_rec* import(int unit, const char* symbol, int first, int last, uint32_t options,
                           const char*, const char*) {
    calls.push_back({unit, symbol, first, last, (int)options});
    if (bars.empty()) return nullptr;
    chart_rec* c = make_chart(symbol, unit, bars);
    snprintf(c->header.description, CHART_DESCRIPTION_SIZE, "Fetched");
    return c;
  }
};
std::vector<fake_source::call> fake_source::calls;
std::vector<test_bar> fake_source::bars;

std::string log_since(size_t from) {
  std::string out;
  for (size_t i = from; i < g_statmsg_cursor; i++)
    out += g_statmsg_ring[i] ? g_statmsg_ring[i] : '\n';
  return out;
}

class ChartLoadTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    g_settings.AutoUpdate = 0;
    g_settings.ContUpdate = 0;
    g_settings.KeepNumDays1Min = 10;
    g_settings.StartDateDaily = 20230101;
    g_settings.StartDateWeekly = 20200101;
    g_settings.StartDateMonthly = 20100101;
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    kv_clock_set_local_offset(0);
    kv_clock_set_utc_ms(NOW_UTC_MS);
    g_settings.AliasTitle[0] = 0;
    free_alias_table();
    saved_hooks_ = g_chart_load_hooks;
    g_chart_load_hooks = chart_load_hooks{};
    g_chart_load_hooks.web_import = fake_source::import;
    fake_source::calls.clear();
    fake_source::bars.clear();
    log_start_ = g_statmsg_cursor;
  }
  void TearDown() override {
    // Every listed chart goes, whatever references the test left.
    while (g_chart_list) {
      g_chart_list->references = 1;
      free_chart_data(g_chart_list);
    }
    g_chart_load_hooks = saved_hooks_;
    free_alias_table();
    kv_clock_reset();
    TempRootTest::TearDown();
  }
  std::string logged() const { return log_since(log_start_); }

  // DATA/<name> holding the bars, sealed.
  void write_price_file(const char* name, const char* symbol, int unit,
                        const std::vector<test_bar>& bars, int claimed = -1) {
    file_image img(symbol, unit, claimed < 0 ? (int)bars.size() : claimed);
    for (const test_bar& b : bars) img.bar(b);
    if (!bars.empty()) {
      put32(img.bytes, 108, (uint32_t)seconds_to_date(bars.front().time));
      put32(img.bytes, 112, (uint32_t)seconds_to_date(bars.back().time));
    }
    root_.write((std::string("DATA/") + name).c_str(), img.sealed());
  }
  std::string data_file(const char* name) const {
    return root_.read((std::string("DATA/") + name).c_str());
  }

  SettingsSaver settings_saver_;  // g_settings put back after the test
  chart_load_hooks saved_hooks_;
  size_t log_start_ = 0;
};

// Three daily bars, Monday to Wednesday of the test week.
std::vector<test_bar> three_days() {
  return {tbar(DAY0, 10), tbar(DAY0 + 86400, 11), tbar(DAY0 + 2 * 86400, 12)};
}

// ---- stored files ---------------------------------------------------------

TEST_F(ChartLoadTest, StoredDailyFileIsListedWithOneReferenceAndLeftAsItWas) {
  write_price_file("ABC.dyd", "ABC", 390, three_days());
  std::string before = data_file("ABC.dyd");

  // A quoted symbol is the text between the quotes.
  chart_rec* c = get_chart_data("\"abc\" extra", 390, 0, 0, 0, nullptr, nullptr, 1);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 3);
  EXPECT_EQ(c->header.last_date, 20240306);
  EXPECT_EQ(c->references, 1);
  EXPECT_TRUE(c->header.flags & CHART_LISTED);
  EXPECT_EQ(c->axis_density, 1);
  EXPECT_TRUE(fake_source::calls.empty());
  EXPECT_EQ(data_file("ABC.dyd"), before);

  // A second load shares the listed record.
  chart_rec* again = get_chart_data("ABC", 390, 0, 0, 0, nullptr, nullptr, 0);
  EXPECT_EQ(again, c);
  EXPECT_EQ(c->references, 2);
  free_chart_data(again);
  free_chart_data(c);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(ChartLoadTest, NothingStoredAndNothingFetchedGivesNull) {
  EXPECT_EQ(get_chart_data("NONE", 390, 0, 0, 0, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(get_chart_data("", 390, 0, 0, 0, nullptr, nullptr, 0), nullptr);
  EXPECT_NE(logged().find("Invalid symbol"), std::string::npos);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(ChartLoadTest, HeaderOnlyReadsTheHeaderAndFetchesNothing) {
  // The header claims 40 bars; only the header is looked at.
  write_price_file("ABC.dyd", "ABC", 390, three_days(), 40);
  chart_rec* h = get_chart_data("ABC", 390, 0, 0, CHART_REQ_HEADER_ONLY | CHART_REQ_FETCH, nullptr,
                                nullptr, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(h->header.flags & CHART_HEADER_ONLY);
  EXPECT_FALSE(h->header.flags & CHART_LISTED);
  EXPECT_EQ(h->header.bar_count, 40);
  EXPECT_EQ(h->bars, nullptr);
  EXPECT_TRUE(fake_source::calls.empty());
  free_chart_data(h);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(ChartLoadTest, PriceFileSourceGivesSymbolAndUnitFromItsHeader) {
  write_price_file("XYZ.wyd", "XYZ", 2730, three_days());
  std::string path = root_.file("DATA/XYZ.wyd");

  chart_rec* h = get_chart_data("", 0, 0, 0, CHART_REQ_SOURCE_FILE | CHART_REQ_HEADER_ONLY,
                                path.c_str(), nullptr, 0);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(h->header.symbol, "XYZ");
  free_chart_data(h);

  // The named file is not a data source: nothing is fetched.
  chart_rec* c = get_chart_data("", 0, 0, 0, CHART_REQ_SOURCE_FILE, path.c_str(), nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.time_unit, 2730);
  EXPECT_EQ(c->header.bar_count, 3);
  EXPECT_TRUE(fake_source::calls.empty());
  free_chart_data(c);

  EXPECT_EQ(get_chart_data("", 0, 0, 0, CHART_REQ_SOURCE_FILE, nullptr, nullptr, 0), nullptr);
}

TEST_F(ChartLoadTest, AliasNamesTheStoredSymbolAndADashNamesNone) {
  root_.write("ALIAS/daily.txt",
              "# daily   intraday\n"
              "ABCD      ABC.I\n"
              "XYZ       ABC\n"
              "NQ?       -\n");
  snprintf(g_settings.AliasTitle, sizeof g_settings.AliasTitle, "daily");
  write_price_file("ABC.dyd", "ABC", 390, three_days());

  // Daily units match the first member of a pair and load its partner.
  chart_rec* c = get_chart_data("xyz", 390, 0, 0, 0, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(c->header.symbol, "ABC");
  free_chart_data(c);
  EXPECT_EQ(get_chart_data("NQZ", 390, 0, 0, CHART_REQ_FETCH, nullptr, nullptr, 0), nullptr);
  EXPECT_TRUE(fake_source::calls.empty());
}

TEST_F(ChartLoadTest, NDayChartIsBuiltFromTheDailyFileWhichKeepsDailyBars) {
  std::vector<test_bar> days = {tbar(DAY0 - 3 * 86400, 9)};
  for (int i = 0; i < 5; i++) days.push_back(tbar(DAY0 + i * 86400, 10 + i));
  write_price_file("ABC.dyd", "ABC", 390, days);
  std::string before = data_file("ABC.dyd");

  chart_rec* c = get_chart_data("ABC", 393, 0, 0, 0, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.time_unit, 393);
  ASSERT_EQ(c->header.bar_count, 2);
  EXPECT_FLOAT_EQ(c->bars[1].close, 14);
  EXPECT_EQ(c->references, 1);
  free_chart_data(c);
  EXPECT_EQ(data_file("ABC.dyd"), before);

  // Fetched bars of an n-day request are daily bars: they go into the
  // daily file as such.
  fake_source::bars = {tbar(DAY0 + 7 * 86400, 15)};
  c = get_chart_data("ABC", 393, 0, 20240311, CHART_REQ_FETCH, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 2);
  EXPECT_FLOAT_EQ(c->bars[1].close, 15);
  free_chart_data(c);
  std::string f = data_file("ABC.dyd");
  EXPECT_EQ(get32(f, 100), 390u);
  EXPECT_EQ(file_times(f).size(), 7u);
  EXPECT_EQ(g_chart_list, nullptr);
}

// ---- fetching -------------------------------------------------------------

TEST_F(ChartLoadTest, FetchFlagsDecideWhetherTheSourceIsAsked) {
  struct row {
    uint32_t flags;
    const char* source;
    int auto_update;
    bool asked;
  } rows[] = {
      {0, nullptr, 0, false},
      {CHART_REQ_FETCH, nullptr, 0, true},
      {CHART_REQ_RELOAD, nullptr, 0, true},
      {CHART_REQ_FETCH | CHART_REQ_NEVER_FETCH, nullptr, 0, false},
      {0, nullptr, 1, true},  // AutoUpdate on
      {0, "Yahoo", 0, true},  // a named source fetches
      {CHART_REQ_NEVER_FETCH, "Yahoo", 0, false},
  };
  write_price_file("ABC.dyd", "ABC", 390, three_days());
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "flags " << r.flags << " source "
                                    << (r.source ? r.source : "-") << " auto " << r.auto_update);
    fake_source::calls.clear();
    g_settings.AutoUpdate = r.auto_update;
    chart_rec* c = get_chart_data("ABC", 390, 0, 0, r.flags, r.source, nullptr, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(!fake_source::calls.empty(), r.asked);
    free_chart_data(c);
  }
}

TEST_F(ChartLoadTest, UpdateAsksForTheMissingSpanThenMergesAndWritesTheFile) {
  write_price_file("ABC.dyd", "ABC", 390, three_days());
  // Wednesday corrected, Thursday and Friday new.
  fake_source::bars = {tbar(DAY0 + 2 * 86400, 20), tbar(DAY0 + 3 * 86400, 21),
                       tbar(DAY0 + 4 * 86400, 22)};
  chart_rec* c = get_chart_data("ABC", 390, 0, 0, CHART_REQ_FETCH, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);

  // From the stored last date, moved back 7 days for a short span, to today.
  ASSERT_EQ(fake_source::calls.size(), 1u);
  EXPECT_EQ(fake_source::calls[0].unit, 390);
  EXPECT_EQ(fake_source::calls[0].first, add_days(20240306, -7));
  EXPECT_EQ(fake_source::calls[0].last, TODAY);
  EXPECT_EQ(fake_source::calls[0].options, 0);  // the stored chart has a description

  EXPECT_EQ(c->header.bar_count, 5);
  EXPECT_FLOAT_EQ(c->bars[2].close, 20);
  EXPECT_STREQ(c->header.description, "Test description");
  EXPECT_TRUE(c->header.flags & CHART_LISTED);

  std::string f = data_file("ABC.dyd");
  EXPECT_EQ(get32(f, 104), 5u);
  EXPECT_EQ(file_times(f).back(), DAY0 + 4 * 86400);
  EXPECT_NE(logged().find("Updated data for ABC from Internet"), std::string::npos);
  free_chart_data(c);
}

TEST_F(ChartLoadTest, ImportFileNamedAsSourceIsMergedIntoTheStoredChart) {
  g_chart_load_hooks.web_import = saved_hooks_.web_import;  // the real import
  root_.write("CONFIG/srcdata.cfg", "HISTORIC_DAILY 1\n  web daily.cfg\n");
  root_.write("CONFIG/import.cfg",
              "DATEFORMAT yyyy-mm-dd\n"
              "Plain Date,Open,High,Low,Close,Volume\n");
  free_srcdata_cfg();
  free_quote_source_cfgs();
  free_import_cfg();
  write_price_file("ABC.dyd", "ABC", 390, three_days());
  root_.write("IMPORT/abc.txt",
              "2024-03-08,1,2,0.5,1.5,100\n"
              "2024-03-07,1,2,0.5,1.25,200\n");
  std::string path = root_.file("IMPORT/abc.txt");

  chart_rec* c =
      get_chart_data("ABC", 390, 0, 0, 0, path.c_str(), "Date,Open,High,Low,Close,Volume", 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 5) << logged();
  EXPECT_FLOAT_EQ(c->bars[4].close, 1.5f);
  free_chart_data(c);
  EXPECT_EQ(file_times(data_file("ABC.dyd")).size(), 5u);
  EXPECT_NE(logged().find("Updated data for ABC from " + path), std::string::npos);
  free_srcdata_cfg();
  free_quote_source_cfgs();
  free_import_cfg();
}

TEST_F(ChartLoadTest, SpanOfEachUnitAndTheLongSpanOption) {
  struct row {
    int unit;
    int first, last;  // asked
    int want_first;   // handed to the source
    int options;
  } rows[] = {
      // Weekly with 10 days missing asks for 31 days.
      {2730, 20240228, 20240308, add_days(20240228, -21), 0},
      {2730, 20230101, 20240308, 20230101, FETCH_OPT_LONG_SPAN},
      {11700, 20240201, 20240308, add_days(20240201, -90), 0},
      {11700, 20200101, 20240308, 20200101, FETCH_OPT_LONG_SPAN},
      {390, 20240101, 20240308, 20240101, FETCH_OPT_LONG_SPAN},
      {390, 20240301, 20240308, 20240301, 0},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "unit " << r.unit << " first " << r.first);
    fake_source::calls.clear();
    EXPECT_EQ(get_chart_data("NEW", r.unit, r.first, r.last, CHART_REQ_FETCH, nullptr, nullptr, 0),
              nullptr);
    ASSERT_EQ(fake_source::calls.size(), 1u);
    EXPECT_EQ(fake_source::calls[0].first, r.want_first);
    EXPECT_EQ(fake_source::calls[0].last, r.last);
    // Nothing stored: the description is asked for too.
    EXPECT_EQ(fake_source::calls[0].options, r.options | FETCH_OPT_DESCRIPTION);
  }
}

TEST_F(ChartLoadTest, ReloadFetchesTheDefaultSpanAndDropsTheStoredBars) {
  write_price_file("ABC.dyd", "ABC", 390, three_days());
  fake_source::bars = {tbar(DAY0 + 3 * 86400, 21)};
  chart_rec* c = get_chart_data("ABC", 390, 0, 0, CHART_REQ_RELOAD, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(fake_source::calls.size(), 1u);
  EXPECT_EQ(fake_source::calls[0].first, 20230101);
  EXPECT_EQ(c->header.bar_count, 1);
  EXPECT_EQ(file_times(data_file("ABC.dyd")), std::vector<int32_t>{DAY0 + 3 * 86400});
  EXPECT_NE(logged().find("Reloaded data for ABC"), std::string::npos);
  free_chart_data(c);
}

TEST_F(ChartLoadTest, FetchWhenNothingIsStoredOnlyForPlainSymbols) {
  fake_source::bars = {tbar(DAY0, 10)};
  chart_rec* c = get_chart_data("NEW", 390, 0, 0, CHART_REQ_FETCH_IF_EMPTY, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(fake_source::calls.size(), 1u);
  EXPECT_EQ(c->header.bar_count, 1);
  EXPECT_STREQ(c->header.description, "Fetched");
  free_chart_data(c);

  // Stored now: the flag asks for nothing more.
  fake_source::calls.clear();
  c = get_chart_data("NEW", 390, 0, 0, CHART_REQ_FETCH_IF_EMPTY, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(fake_source::calls.empty());
  free_chart_data(c);

  // A symbol holding "_" is built from intraday data instead, which this
  // root does not have.
  fake_source::calls.clear();
  EXPECT_EQ(get_chart_data("ES_M", 390, 0, 0, CHART_REQ_FETCH_IF_EMPTY, nullptr, nullptr, 0),
            nullptr);
  EXPECT_TRUE(fake_source::calls.empty());
  EXPECT_NE(logged().find("No data for"), std::string::npos) << logged();
}

TEST_F(ChartLoadTest, UnreadableStoredFileIsNeverReplacedByFetchedBars) {
  write_price_file("ABC.dyd", "ABC", 390, three_days());
  std::string bad = data_file("ABC.dyd");
  bad[252] ^= 1;  // checksum off by one bit
  root_.write("DATA/ABC.dyd", bad);
  fake_source::bars = {tbar(DAY0 + 4 * 86400, 22)};

  chart_rec* c = get_chart_data("ABC", 390, 20240301, 0, CHART_REQ_FETCH, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 1);
  free_chart_data(c);
  EXPECT_EQ(data_file("ABC.dyd"), bad);
  EXPECT_NE(logged().find("Invalid or corrupt data file"), std::string::npos);
}

// ---- intraday charts ------------------------------------------------------

// Live quotes through a relay that offers intraday history, New York time.
const char kRelayCfg[] =
    "router_capabilities 0x10001\n"
    "exchange_times 9:30 16:00\n"
    "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n";

// The fake quote relay and broker: record what they are asked and put the
// bars set for them into the fetch record.
struct fake_history {
  static std::vector<std::vector<int>> relay_calls;  // days, first missing
  static std::vector<int> broker_durations;
  static std::vector<int> errors;
  static std::vector<test_bar> bars;
  static int relay_code;

  static void fill(chart_rec* fetch) {
    for (const test_bar& t : bars) {
      chart_bar& b = fetch->bars[fetch->header.bar_count++];
      b = {t.open, t.high, t.low, t.close, t.volume, {t.extra}, t.flags, t.time};
      fetch->spare--;
    }
  }
  static int relay(chart_rec* fetch, int days, int first_missing, int) {
    relay_calls.push_back({days, first_missing});
    if (relay_code == 0) fill(fetch);
    return relay_code;
  }
  static void relay_error(int code, const char*) { errors.push_back(code); }
  static int connected() { return 1; }
  static int request(chart_rec* fetch, mqt*, int duration, const char*) {
    broker_durations.push_back(duration);
    fill(fetch);
    g_hmds_event.set();
    return 1;
  }
};
std::vector<std::vector<int>> fake_history::relay_calls;
std::vector<int> fake_history::broker_durations;
std::vector<int> fake_history::errors;
std::vector<test_bar> fake_history::bars;
int fake_history::relay_code;

class IntradayLoadTest : public ChartLoadTest {
 protected:
  void SetUp() override {
    ChartLoadTest::SetUp();
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
    root_.write("CONFIG/relay.cfg", kRelayCfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    g_settings.MultiQuoteSource = 0;
    g_settings.KeepNumDays1Min = 4;
    g_settings.ContUpdate = 1;
    fake_history::relay_calls.clear();
    fake_history::broker_durations.clear();
    fake_history::errors.clear();
    fake_history::bars.clear();
    fake_history::relay_code = 0;
    g_chart_load_hooks.kvqr_intraday_data = fake_history::relay;
    g_chart_load_hooks.kvqr_error_text = fake_history::relay_error;
  }
  void TearDown() override {
    ChartLoadTest::TearDown();
    free_quote_source_cfgs();
    free_srcdata_cfg();
    clear_markets();
  }
};

// Friday 2024-03-08 at a time of day, New York (UTC-5 that day).
int64_t friday_ny_ms(int seconds_of_day) {
  return (int64_t)(DAY0 + 4 * 86400 + seconds_of_day + 5 * 3600) * 1000;
}
constexpr int32_t FRIDAY = DAY0 + 4 * 86400;

// One bar a minute from `from` to `to` (seconds of day) of one day.
std::vector<test_bar> minutes(int32_t day, int from, int to, float close = 10) {
  std::vector<test_bar> bars;
  for (int t = from; t <= to; t += 60) bars.push_back(tbar(day + t, close));
  return bars;
}

TEST_F(IntradayLoadTest, StoredMinutesLoadWithSessionTimesAndCompressToNMinutes) {
  std::vector<test_bar> bars = minutes(FRIDAY - 86400, 34200, 34440);
  write_price_file("ABC.1min", "ABC", 1, bars);
  std::string before = data_file("ABC.1min");

  chart_rec* c = get_chart_data("ABC", 1, 0, 0, CHART_REQ_EXTENDED_HOURS, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 5);
  EXPECT_EQ(c->header.session_start, 34200);
  EXPECT_EQ(c->header.session_end, 57600);
  EXPECT_EQ(c->extended_hours, 1);
  EXPECT_TRUE(c->header.flags & CHART_LISTED);
  EXPECT_NE(c->axis_marks, nullptr);

  // Five-minute bars come from the listed 1-minute chart.
  chart_rec* five = get_chart_data("ABC", 5, 0, 0, CHART_REQ_EXTENDED_HOURS, nullptr, nullptr, 0);
  ASSERT_NE(five, nullptr);
  EXPECT_EQ(five->header.time_unit, 5);
  EXPECT_EQ(five->header.bar_count, 1);
  EXPECT_EQ(c->references, 1);
  free_chart_data(five);
  free_chart_data(c);
  EXPECT_EQ(g_chart_list, nullptr);
  EXPECT_TRUE(fake_history::relay_calls.empty());
  EXPECT_EQ(data_file("ABC.1min"), before);

  // Without the live-quote configuration nothing intraday loads.
  root_.write("CONFIG/srcdata.cfg", "");
  free_srcdata_cfg();
  free_quote_source_cfgs();
  EXPECT_EQ(get_chart_data("ABC", 1, 0, 0, 0, nullptr, nullptr, 0), nullptr);
  EXPECT_NE(logged().find("Could not open quote source cfg file"), std::string::npos);
}

TEST_F(IntradayLoadTest, RelayHistoryIsMergedAndWrittenBack) {
  kv_clock_set_utc_ms(friday_ny_ms(11 * 3600));
  fake_history::bars = minutes(FRIDAY, 34200, 34380, 12);
  fake_history::bars.push_back(tbar(FRIDAY + 30000, 1));  // before the session

  chart_rec* c = get_chart_data("ABC", 1, 0, 0, CHART_REQ_FETCH | CHART_REQ_EXTENDED_HOURS, nullptr,
                                nullptr, 0);
  ASSERT_NE(c, nullptr);
  // Nothing stored: the kept days from the start of their session.
  ASSERT_EQ(fake_history::relay_calls.size(), 1u);
  EXPECT_EQ(fake_history::relay_calls[0], (std::vector<int>{4, 0}));
  EXPECT_EQ(c->header.bar_count, 5);  // the extended-hours chart keeps every bar
  free_chart_data(c);
  // The file holds the session's bars.
  EXPECT_EQ(file_times(data_file("ABC.1min")).size(), 4u);
  EXPECT_EQ(file_times(data_file("ABC.1min")).front(), FRIDAY + 34200);

  // A relay error is reported and nothing is merged.
  std::string before = data_file("ABC.1min");
  fake_history::relay_code = 103;
  c = get_chart_data("ABC", 1, 0, 0, CHART_REQ_RELOAD, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(fake_history::errors, std::vector<int>{103});
  free_chart_data(c);
  EXPECT_EQ(data_file("ABC.1min"), before);

  // Never fetch means never.
  fake_history::relay_calls.clear();
  c = get_chart_data("ABC", 1, 0, 0, CHART_REQ_FETCH | CHART_REQ_NEVER_FETCH, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(fake_history::relay_calls.empty());
  free_chart_data(c);
}

TEST_F(IntradayLoadTest, ForegroundBrokerRequestAsksOnlyForTheMinutesSinceTheLastBar) {
  g_chart_load_hooks.broker_connected = fake_history::connected;
  g_chart_load_hooks.req_intraday_data = fake_history::request;
  // An old bar, then today's minutes up to the 10:00 bar.
  std::vector<test_bar> bars = {tbar(FRIDAY - 7 * 86400 + 36000, 9)};
  for (const test_bar& b : minutes(FRIDAY, 34200, 36000)) bars.push_back(b);
  write_price_file("ABC.1min", "ABC", 1, bars);

  // 10:00:30: the 10:01 bar is not due yet, nothing is asked.
  kv_clock_set_utc_ms(friday_ny_ms(36030));
  chart_rec* c = get_chart_data("ABC", 1, 0, 0, CHART_REQ_FETCH | CHART_REQ_EXTENDED_HOURS, nullptr,
                                nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(fake_history::broker_durations.empty());
  EXPECT_TRUE(fake_history::relay_calls.empty());
  free_chart_data(c);

  // 10:05:30: the seconds from 10:01 to now.
  kv_clock_set_utc_ms(friday_ny_ms(36330));
  fake_history::bars = minutes(FRIDAY, 36060, 36300, 11);
  c = get_chart_data("ABC", 1, 0, 0, CHART_REQ_FETCH | CHART_REQ_EXTENDED_HOURS, nullptr, nullptr,
                     0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(fake_history::broker_durations, std::vector<int>{270});
  EXPECT_EQ(c->bars[c->header.bar_count - 1].time, FRIDAY + 36300);
  free_chart_data(c);
}

TEST_F(IntradayLoadTest, DailyBarsOfAnIntradaySymbolAreBuiltFromItsMinutes) {
  // Thursday may be partial and is left out; Friday makes one daily bar.
  std::vector<test_bar> bars = minutes(FRIDAY - 86400, 57000, 57540);
  bars.push_back({10, 11, 9, 10.5f, 100, 0, 0, FRIDAY + 34200});
  bars.push_back({10.5f, 13, 10, 12, 200, 0, BAR_KEEP, FRIDAY + 34260});
  bars.push_back({12, 12.5f, 8, 11, 300, 0, BAR_PROVISIONAL, FRIDAY + 34320});
  write_price_file("ES_M.1min", "ES_M", 1, bars);

  chart_rec* c = get_chart_data("ES_M", 390, 0, 0, CHART_REQ_FETCH_IF_EMPTY, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(fake_source::calls.empty());
  ASSERT_EQ(c->header.bar_count, 1);
  const chart_bar& d = c->bars[0];
  EXPECT_EQ(d.time, FRIDAY);
  EXPECT_FLOAT_EQ(d.open, 10);
  EXPECT_FLOAT_EQ(d.high, 13);
  EXPECT_FLOAT_EQ(d.low, 8);
  EXPECT_FLOAT_EQ(d.close, 12);  // the close comes from kept bars only
  EXPECT_EQ(d.volume, 600);
  free_chart_data(c);
  EXPECT_EQ(file_times(data_file("ES_M.dyd")), std::vector<int32_t>{FRIDAY});
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(IntradayLoadTest, DailyChartUpdatedFromMinutesKeepsEveryStoredBar) {
  // Six stored days, more than a new daily record holds, then Friday's
  // minutes: the chart and its file hold all seven days.
  std::vector<test_bar> days;
  for (int d = 14; d >= 7; d--)
    if (!is_weekend(seconds_to_date(FRIDAY - d * 86400)))
      days.push_back(tbar(FRIDAY - d * 86400, 9));
  ASSERT_EQ(days.size(), 6u);
  write_price_file("ES_M.dyd", "ES_M", 390, days);
  std::vector<test_bar> bars = minutes(FRIDAY - 86400, 57000, 57540);
  for (const test_bar& b : minutes(FRIDAY, 34200, 34320)) bars.push_back(b);
  write_price_file("ES_M.1min", "ES_M", 1, bars);

  chart_rec* c = new_chart("ES_M", 390);
  ASSERT_NE(c, nullptr);
  ASSERT_LT(c->spare, 7);
  update_daily_from_intraday(c);
  EXPECT_EQ(c->header.bar_count, 7);
  free_chart_data(c);  // written back
  EXPECT_EQ(file_times(data_file("ES_M.dyd")).size(), 7u);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(IntradayLoadTest, TickAndVolumeChartsAreTheirOwnBase) {
  struct row {
    int unit;
    const char* file;
  } rows[] = {{-110, "ABC.tick10"}, {-1000000500, "ABC.vol500"}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.file);
    write_price_file(r.file, "ABC", r.unit, minutes(FRIDAY, 34200, 34320));
    chart_rec* c =
        get_chart_data("ABC", r.unit, 0, 0, CHART_REQ_EXTENDED_HOURS, nullptr, nullptr, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->header.bar_count, 3);
    EXPECT_EQ(c->base, c);
    EXPECT_TRUE(c->header.flags & CHART_LISTED);
    if (r.unit == -110)
      EXPECT_EQ(c->ticks_per_bar, 10);
    else
      EXPECT_EQ(c->header.volume_per_bar, 500);
    free_chart_data(c);
  }
  // Nothing stored: an empty chart all the same.
  chart_rec* c = get_chart_data("NEW", -120, 0, 0, 0, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 0);
  free_chart_data(c);
  EXPECT_EQ(g_chart_list, nullptr);
}

TEST_F(IntradayLoadTest, ClearedDayOfATickOrVolumeChartStaysClearedAfterAReload) {
  struct row {
    int unit;
    const char* file;
    int mode;
    int32_t kept_day;
  } rows[] = {{-110, "ABC.tick10", 0, FRIDAY - 86400},
              {-110, "ABC.tick10", 1, FRIDAY},
              {-1000000500, "ABC.vol500", 0, FRIDAY - 86400}};
  for (const row& r : rows) {
    SCOPED_TRACE(std::string(r.file) + " mode " + std::to_string(r.mode));
    std::vector<test_bar> bars = minutes(FRIDAY - 86400, 34200, 34320);
    for (const test_bar& b : minutes(FRIDAY, 34200, 34260)) bars.push_back(b);
    write_price_file(r.file, "ABC", r.unit, bars);
    chart_rec* c =
        get_chart_data("ABC", r.unit, 0, 0, CHART_REQ_EXTENDED_HOURS, nullptr, nullptr, 0);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(c->header.bar_count, 5);
    c->header.flags &= ~(CHART_BARS_CHANGED | CHART_REPAINT | CHART_RECALC);
    EXPECT_EQ(clear_chart_data(c, r.mode), 1);
    // Written when released, and the windows are told to redraw.
    EXPECT_EQ(c->header.flags & 0x34, 0x34u);
    free_chart_data(c);
    ASSERT_EQ(g_chart_list, nullptr);

    c = get_chart_data("ABC", r.unit, 0, 0, CHART_REQ_EXTENDED_HOURS, nullptr, nullptr, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->header.bar_count, r.mode == 0 ? 3 : 2);
    for (int i = 0; i < c->header.bar_count; i++)
      EXPECT_EQ(seconds_to_date(c->bars[i].time), seconds_to_date(r.kept_day));
    free_chart_data(c);
  }
}

TEST_F(IntradayLoadTest, UnreadableIntradayFileIsShownEmptyAndNeverOverwritten) {
  struct row {
    int unit;
    const char* file;
  } rows[] = {{1, "ABC.1min"}, {-110, "ABC.tick10"}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.file);
    write_price_file(r.file, "ABC", r.unit, minutes(FRIDAY - 86400, 34200, 34320));
    std::string bad = data_file(r.file);
    bad[252] ^= 1;  // checksum off by one bit
    root_.write((std::string("DATA/") + r.file).c_str(), bad);

    chart_rec* c =
        get_chart_data("ABC", r.unit, 0, 0, CHART_REQ_EXTENDED_HOURS, nullptr, nullptr, 0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->header.bar_count, 0);
    free_chart_data(c);
    EXPECT_EQ(g_chart_list, nullptr);
    EXPECT_TRUE(data_file(r.file) == bad) << "the unreadable file was overwritten";
  }
}

// ---- clearing and Heikin-Ashi ---------------------------------------------

TEST_F(ChartLoadTest, ClearingModesOfOneChart) {
  // Two bars on Monday, two on Tuesday.
  std::vector<test_bar> bars = {tbar(DAY0 + 36000, 1), tbar(DAY0 + 36060, 2),
                                tbar(DAY0 + 86400 + 36000, 3), tbar(DAY0 + 86400 + 36060, 4)};
  struct row {
    int mode;
    int result;
    std::vector<float> closes;
  } rows[] = {
      {0, 0, {1, 2}},
      {1, 0, {3, 4}},
      {2, 0, {}},
      {7, 5, {1, 2, 3, 4}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.mode);
    chart_rec* c = make_chart("ABC", 5, bars);
    int slots = c->header.bar_count + c->spare;
    c->header.flags &= ~0x34u;
    EXPECT_EQ(clear_chart_bars(c, r.mode), r.result);
    // To be written and redrawn whenever bars went.
    EXPECT_EQ(c->header.flags & 0x34, r.mode <= 2 ? 0x34u : 0u);
    std::vector<float> closes;
    for (int i = 0; i < c->header.bar_count; i++) closes.push_back(c->bars[i].close);
    EXPECT_EQ(closes, r.closes);
    EXPECT_EQ(c->header.bar_count + c->spare, slots);
    for (int i = c->header.bar_count; i < slots; i++) EXPECT_EQ(c->bars[i].time, 0);
    free_chart_data(c);
  }
}

TEST_F(ChartLoadTest, ClearingADailyChartDeletesItsFile) {
  write_price_file("ABC.dyd", "ABC", 390, three_days());
  chart_rec* c = get_chart_data("ABC", 390, 0, 0, 0, nullptr, nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(clear_chart_data(c, 2), 1);
  EXPECT_EQ(c->header.bar_count, 0);
  EXPECT_EQ(c->header.first_date, 0);
  EXPECT_TRUE((c->header.flags & 0x34) == 0x34);
  EXPECT_FALSE(kv_file_exists(root_.file("DATA/ABC.dyd").c_str()));
  free_chart_data(c);
}

TEST_F(ChartLoadTest, HeikinAshiBarsFollowThePlainOnes) {
  chart_rec* c = make_chart(
      "ABC", 390, {{10, 12, 9, 11, 0, 0, 0, DAY0}, {11, 13, 10, 12, 0, 0, 0, DAY0 + 86400}});
  chart_bar* ha = calc_heikin_ashi(c, 0);
  ASSERT_NE(ha, c->bars);
  EXPECT_FLOAT_EQ(ha[0].close, 10.5f);
  EXPECT_FLOAT_EQ(ha[0].open, 10.5f);
  EXPECT_FLOAT_EQ(ha[1].open, 10.5f);
  EXPECT_FLOAT_EQ(ha[1].close, 11.5f);
  EXPECT_FLOAT_EQ(ha[1].high, 13);
  EXPECT_FLOAT_EQ(ha[1].low, 10);
  EXPECT_EQ(ha[1].time, DAY0 + 86400);
  EXPECT_FLOAT_EQ(c->bars[1].close, 12);  // the plain bars stay

  // A new last bar: only it is computed again.
  c->bars[2] = {12, 15, 11, 14, 0, {0}, 0, DAY0 + 2 * 86400};
  c->header.bar_count = 3;
  c->spare--;
  ha = calc_heikin_ashi(c, 1);
  EXPECT_FLOAT_EQ(ha[2].open, 11);
  EXPECT_FLOAT_EQ(ha[2].close, 13);
  EXPECT_FLOAT_EQ(ha[2].high, 15);
  free_chart_data(c);
}

// Whatever happened to the plain bars since the last call, the Heikin-Ashi
// bars equal a full computation: several bars added at once, bars removed
// in front, the block grown.
TEST_F(ChartLoadTest, HeikinAshiBarsStayInStepWithTheirPlainBars) {
  auto bar = [](int i) {
    float o = 10.0f + (float)((i * 7) % 5), c = 10.0f + (float)((i * 3) % 4);
    return test_bar{o, (o > c ? o : c) + 1, (o < c ? o : c) - 1, c, 0, 0, 0, DAY0 + i * 86400};
  };
  auto expect_full = [](chart_rec* c, const chart_bar* ha) {
    chart_rec* fresh = copy_chart(c);
    fresh->ha_capacity = 0;
    const chart_bar* want = calc_heikin_ashi(fresh, 0);
    for (int i = 0; i < c->header.bar_count; i++) {
      SCOPED_TRACE(i);
      EXPECT_FLOAT_EQ(ha[i].open, want[i].open);
      EXPECT_FLOAT_EQ(ha[i].close, want[i].close);
      EXPECT_FLOAT_EQ(ha[i].high, want[i].high);
      EXPECT_EQ(ha[i].time, c->bars[i].time);
    }
    fresh->extensions = nullptr;
    free_chart_data(fresh);
  };
  auto set_test_bar = [](chart_bar& b, const test_bar& t) {
    b = chart_bar{};
    b.open = t.open;
    b.high = t.high;
    b.low = t.low;
    b.close = t.close;
    b.time = t.time;
  };
  chart_rec* c = make_chart("ABC", 390, {bar(0), bar(1)});
  calc_heikin_ashi(c, 0);
  ASSERT_GE(c->spare, 2);

  // Two bars arrive between two calls.
  for (int i = 2; i < 4; i++) {
    set_test_bar(c->bars[i], bar(i));
    c->header.bar_count++;
    c->spare--;
  }
  expect_full(c, calc_heikin_ashi(c, 1));

  // The first day is cleared away, then a bar arrives.
  delete_bar(c, 0);
  set_test_bar(c->bars[c->header.bar_count], bar(4));
  c->header.bar_count++;
  c->spare--;
  expect_full(c, calc_heikin_ashi(c, 1));

  // The block grows past its Heikin-Ashi half and a bar arrives.
  ASSERT_TRUE(grow_chart_bars(c, 50));
  set_test_bar(c->bars[c->header.bar_count], bar(5));
  c->header.bar_count++;
  c->spare--;
  expect_full(c, calc_heikin_ashi(c, 1));
  free_chart_data(c);
}

}  // namespace
