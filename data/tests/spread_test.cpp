// Spread charts: the spreads.cfg definitions and the spread bars built from
// stored legs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/spread.h"
#include "data/statmsg.h"
#include "data/tokenfile.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"
#include "settings/testing/settings_saver.h"

namespace {

constexpr int32_t DAY0 = 1709510400;  // 2024-03-04 00:00

std::string log_since(size_t from) {
  std::string out;
  for (size_t i = from; i < g_statmsg_cursor; i++)
    out += g_statmsg_ring[i] ? g_statmsg_ring[i] : '\n';
  return out;
}

class SpreadTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    kv_make_dirs(root_.file("CONFIG").c_str(), nullptr);
    free_spread_cache();
    log_start_ = g_statmsg_cursor;
  }
  void TearDown() override {
    free_spread_cache();
    while (g_chart_list) unlist_chart(g_chart_list);
    TempRootTest::TearDown();
  }
  std::string logged() const { return log_since(log_start_); }
  // A stored daily price file of the symbol: one bar per (day, close).
  void write_daily(const char* symbol, const std::vector<std::pair<int, float>>& bars,
                   uint32_t flags = BAR_VOLUME_VALID) {
    chart_rec* c = new_chart(symbol, TU_DAILY);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(grow_chart_bars(c, (int)bars.size()));
    for (auto& [day, close] : bars) {
      chart_bar& b = c->bars[c->header.bar_count++];
      b = {};
      b.open = close - 1;
      b.high = close + 2;
      b.low = close - 2;
      b.close = close;
      b.volume = 1000 + day;
      b.flags = flags;
      b.time = DAY0 + day * 86400;
      c->spare--;
    }
    set_chart_dates(c);
    ASSERT_EQ(write_chart_file(c), 0);
    free_chart_data(c);
  }

  // A stored 1-minute price file: one bar per (minutes after 9:30, close).
  void write_minutes(const char* symbol, const std::vector<std::pair<int, float>>& bars) {
    chart_rec* c = new_chart(symbol, TU_1MIN);
    ASSERT_NE(c, nullptr);
    ASSERT_TRUE(grow_chart_bars(c, (int)bars.size()));
    for (auto& [minute, close] : bars) {
      chart_bar& b = c->bars[c->header.bar_count++];
      b = {};
      b.open = b.high = b.low = b.close = close;
      b.volume = 10;
      b.flags = BAR_VOLUME_VALID;
      b.time = DAY0 + 34200 + minute * 60;
      c->spare--;
    }
    set_chart_dates(c);
    c->header.flags |= CHART_WRITE_ALL;
    ASSERT_EQ(write_chart_file(c), 0);
    free_chart_data(c);
  }

  SettingsSaver settings_saver_;  // g_settings put back after the test
  size_t log_start_ = 0;
};

// ---- spreads.cfg ------------------------------------------------------------------

TEST_F(SpreadTest, SavingReplacesInPlaceWithoutRegardToCaseAndDeletingDropsOneLine) {
  root_.write("CONFIG/spreads.cfg",
              "# name legs ratios\n"
              "S~ONE AAA BBB 1 -1\n"
              "R~TWO CCC DDD 2.5 1\n"
              "S~SHORT XXX\n");
  spread_def d{};
  ASSERT_EQ(find_spread_definition("r~two", &d), 1);
  EXPECT_STREQ(d.name, "R~TWO");
  EXPECT_STREQ(d.leg1, "CCC");
  EXPECT_STREQ(d.leg2, "DDD");
  EXPECT_EQ(d.ratio1, 2.5);
  EXPECT_EQ(d.ratio2, 1.0);
  EXPECT_EQ(find_spread_definition("S~NONE", &d), 0);
  EXPECT_EQ(find_spread_definition("S~SHORT", &d), 0);  // too few tokens

  spread_def repl{"r~Two", "EEE", "FFF", 3, -0.5};
  ASSERT_EQ(save_spread_definition(&repl), 1);
  EXPECT_EQ(root_.read("CONFIG/spreads.cfg"),
            "S~ONE AAA BBB 1 -1\r\n"
            "r~Two EEE FFF 3.000000 -0.500000\r\n"
            "S~SHORT XXX \"\" \"\" \"\"\r\n");
  ASSERT_EQ(find_spread_definition("R~TWO", &d), 1);  // the cache was reloaded
  EXPECT_STREQ(d.leg1, "EEE");

  spread_def add{"S~NEW", "GGG", "HHH", 1, 1};
  ASSERT_EQ(save_spread_definition(&add), 1);
  ASSERT_EQ(delete_spread_definition("s~one"), 1);
  EXPECT_EQ(root_.read("CONFIG/spreads.cfg"),
            "r~Two EEE FFF 3.000000 -0.500000\r\n"
            "S~SHORT XXX \"\" \"\" \"\"\r\n"
            "S~NEW GGG HHH 1.000000 1.000000\r\n");

  char** tokens = nullptr;
  int count = get_spread_definitions(&tokens);
  ASSERT_EQ(count, 15);
  EXPECT_STREQ(tokens[10], "S~NEW");
  EXPECT_STREQ(tokens[8], "");
  free_tokens(tokens);
}

TEST_F(SpreadTest, UnusableDefinitionsAreRefusedAndAFailedWriteChangesNothing) {
  const std::string original = "S~ONE AAA BBB 1 -1\n";
  root_.write("CONFIG/spreads.cfg", original);
  const double inf = INFINITY;
  spread_def bad[] = {
      {"S~X", "AAA", "BBB", 0, 1},  // a leg without weight
      {"R~X", "AAA", "BBB", 1, 0},  // division by zero
      {"S~X", "AAA", "BBB", inf, 1},  {"S~X", "AAA", "BBB", 1, NAN},
      {"S~X", "AAA", "BBB", 1, 1e12},  // beyond a float price
      {"S~X", "AAA", "BBB", 1e-9, 1},  // written as 0
      {"S~/X", "AAA", "BBB", 1, 1},    // names that cannot be files
      {"..", "AAA", "BBB", 1, 1},     {"S~X", "../AAA", "BBB", 1, 1},
      {"S~X", "AAA", "B\\B", 1, 1},   {"S~X Y", "AAA", "BBB", 1, 1},  // would split into two tokens
      {"S~X", "AAA", "#BBB", 1, 1},                                   // would start a comment
      {"", "AAA", "BBB", 1, 1},       {"S~X", "", "BBB", 1, 1},
      {"R~X", "R~X", "BBB", 1, 1},  // a leg built from itself
      {"R~X", "AAA", "R~Y", 1, 1},  // a ratio-spread leg
  };
  for (const spread_def& d : bad)
    EXPECT_EQ(save_spread_definition(&d), 0) << d.name << " " << d.leg1 << " " << d.leg2;
  EXPECT_EQ(root_.read("CONFIG/spreads.cfg"), original);

  // Hand-edited lines with such values are not used either.
  root_.write("CONFIG/spreads.cfg",
              "R~ZERO AAA BBB 1 0\n"
              "R~NAN AAA BBB nan 1\n"
              "R~TEXT AAA BBB 1x 1\n"
              "R~PATH AAA ../BBB 1 1\n");
  free_spread_cache();
  spread_def d{};
  for (const char* name : {"R~ZERO", "R~NAN", "R~TEXT", "R~PATH"})
    EXPECT_EQ(find_spread_definition(name, &d), 0) << name;
  EXPECT_NE(logged().find("Invalid spread definition:"), std::string::npos);

  // The file cannot be created (its folder is a file): 0, cache kept.
  free_spread_cache();
  root_.write("CONFIG/spreads.cfg", original);
  ASSERT_EQ(find_spread_definition("S~ONE", &d), 1);
  std::string config = root_.file("CONFIG");
  ASSERT_EQ(rename(config.c_str(), (config + ".away").c_str()), 0);
  root_.write("CONFIG", "not a folder");
  spread_def add{"S~NEW", "GGG", "HHH", 1, 1};
  EXPECT_EQ(save_spread_definition(&add), 0);
  EXPECT_EQ(delete_spread_definition("S~ONE"), 0);
  EXPECT_EQ(find_spread_definition("S~ONE", &d), 1);
  EXPECT_EQ(root_.read("CONFIG.away/spreads.cfg"), original);
}

TEST_F(SpreadTest, BalancedLegsHaveEqualMoneyValueWithTheSecondNegative) {
  struct {
    double p1, r1, p2, r2;
    int ok;
    double out1, out2;
  } cases[] = {
      {50, 1, 25, 1, 1, 1, -2},
      {25, 1, 50, 1, 1, 2, -1},
      {10, 2, 20, 1, 1, 2, -1},  // equal values: the second branch
      {0, 1, 25, 1, 0, 0, 0},
      {50, -1, 25, 1, 0, 0, 0},
      {50, 1, NAN, 1, 0, 0, 0},
      {50, 1, 25, INFINITY, 0, 0, 0},
      {1e300, 1e300, 1e-300, 1e-300, 0, 0, 0},  // a ratio beyond any number
  };
  for (auto& c : cases) {
    double o1 = 7, o2 = 7;
    EXPECT_EQ(balance_spread_legs(c.p1, c.r1, c.p2, c.r2, &o1, &o2), c.ok) << c.p1 << " " << c.p2;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(o1, c.out1);
      EXPECT_DOUBLE_EQ(o2, c.out2);
    } else {
      EXPECT_EQ(o1, 7);
      EXPECT_EQ(o2, 7);
    }
  }
}

// ---- spread bars ---------------------------------------------------------------

TEST_F(SpreadTest, SpreadBarsCombineTheLegsOnCommonTimes) {
  write_daily("AAA", {{0, 100}, {1, 110}, {2, 120}, {4, 140}},
              BAR_VOLUME_VALID | BAR_EXTRA_ADDITIVE);
  write_daily("BBB", {{1, 50}, {2, 0.5f}, {3, 70}, {4, 0}});
  root_.write("CONFIG/spreads.cfg",
              "S~DIFF AAA BBB 1 -2\n"
              "R~RAT AAA BBB 2 1\n");

  chart_rec* diff = new_spread_chart("S~DIFF", TU_DAILY);
  ASSERT_NE(diff, nullptr);
  EXPECT_STREQ(diff->header.description, "AAA - BBB");
  EXPECT_STREQ(diff->header.leg1, "AAA");
  EXPECT_STREQ(diff->header.leg2, "BBB");
  EXPECT_EQ(diff->header.ratio2, -2.0f);
  EXPECT_TRUE(diff->header.flags & CHART_BARS_CHANGED);
  EXPECT_TRUE(diff->header.flags & CHART_MERGED2);
  EXPECT_FALSE(diff->header.flags & CHART_RATIO_SPREAD);
  ASSERT_EQ(diff->header.bar_count, 3);  // days 1, 2 and 4
  const chart_bar& b = diff->bars[0];
  EXPECT_EQ(b.time, DAY0 + 86400);
  // open 109 - 2x49, high 112 - 2x52, low 108 - 2x48, close 110 - 2x50:
  // the combined high is not the largest, so high and low are re-ordered.
  EXPECT_FLOAT_EQ(b.open, 11);
  EXPECT_FLOAT_EQ(b.close, 10);
  EXPECT_FLOAT_EQ(b.high, 12);
  EXPECT_FLOAT_EQ(b.low, 8);
  EXPECT_EQ(b.volume, 1001);                                  // leg 1's
  EXPECT_FLOAT_EQ(b.vwap, 110);                               // leg 1 close x ratio 1
  EXPECT_EQ(b.flags, BAR_VOLUME_VALID | BAR_EXTRA_ADDITIVE);  // leg 1's, as they are
  EXPECT_EQ(diff->header.first_date, 20240305);
  EXPECT_EQ(diff->header.last_date, 20240308);

  // Ratio spread: a leg-2 price of 0 gives that day no bar, never an
  // infinite price.
  chart_rec* rat = new_spread_chart("R~RAT", TU_DAILY);
  ASSERT_NE(rat, nullptr);
  EXPECT_TRUE(rat->header.flags & CHART_RATIO_SPREAD);
  EXPECT_STREQ(rat->header.description, "AAA / BBB");
  ASSERT_EQ(rat->header.bar_count, 2);  // day 4 has a leg-2 close of 0
  EXPECT_FLOAT_EQ(rat->bars[0].close, 2 * 110.0f / 50);
  for (int i = 0; i < rat->header.bar_count; i++)
    EXPECT_TRUE(std::isfinite(rat->bars[i].high) && std::isfinite(rat->bars[i].low));

  // Rebuilding after the legs changed starts from an empty chart.
  write_daily("BBB", {{4, 10}});
  build_spread_chart(diff);
  ASSERT_EQ(diff->header.bar_count, 1);
  EXPECT_FLOAT_EQ(diff->bars[0].close, 140 - 20);
  EXPECT_EQ(diff->bars[1].time, 0);  // the old bars became zeroed spare slots
  free_chart_data(diff);
  free_chart_data(rat);
}

TEST_F(SpreadTest, AMissingLegLeavesTheChartAsItWas) {
  write_daily("AAA", {{0, 100}, {1, 110}});
  root_.write("CONFIG/spreads.cfg", "S~GONE AAA NOPE 1 -1\n");
  chart_rec* c = new_spread_chart("S~GONE", TU_DAILY);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->header.bar_count, 0);
  EXPECT_NE(logged().find("No data for: "), std::string::npos);
  EXPECT_NE(logged().find("NOPE"), std::string::npos);
  EXPECT_STREQ(c->header.leg1, "");

  // Units other than intraday, daily, weekly and monthly have no legs.
  chart_rec* t = new_spread_chart("S~GONE", -110);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->header.bar_count, 0);
  // Without a definition nothing is done at all.
  chart_rec* u = new_spread_chart("S~UNDEFINED", TU_DAILY);
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->header.bar_count, 0);
  for (chart_rec* x : {c, t, u}) {
    x->header.flags &= ~(CHART_MERGED2 | CHART_BARS_CHANGED);
    free_chart_data(x);
  }
}

TEST_F(SpreadTest, IntradaySpreadsAreBuiltFromTheOneMinuteLegs) {
  // The 1-minute loader needs the live-quote source's configuration.
  root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
  root_.write("CONFIG/relay.cfg", "maxquotes 5\nexchange_times 9:30 16:00\n[MAIN]\n");
  free_srcdata_cfg();
  free_quote_source_cfgs();
  g_settings.MultiQuoteSource = 0;
  g_settings.KeepNumDays1Min = 5;
  write_minutes("AAA", {{0, 10}, {1, 11}, {2, 12}, {3, 13}, {5, 15}});
  write_minutes("BBB", {{0, 1}, {1, 2}, {3, 4}, {4, 5}, {5, 6}});
  root_.write("CONFIG/spreads.cfg", "S~MIN AAA BBB 1 -1\n");

  chart_rec* one = new_spread_chart("S~MIN", TU_1MIN);
  ASSERT_NE(one, nullptr);
  ASSERT_EQ(one->header.bar_count, 4) << logged();  // minutes 0, 1, 3, 5
  EXPECT_FLOAT_EQ(one->bars[0].close, 9);
  EXPECT_FLOAT_EQ(one->bars[2].close, 9);
  EXPECT_EQ(one->bars[3].time, DAY0 + 34200 + 5 * 60);

  // n-minute spreads combine n-minute legs: 9:30-9:32 and 9:33-9:35.
  chart_rec* three = new_spread_chart("S~MIN", 3);
  ASSERT_NE(three, nullptr);
  ASSERT_EQ(three->header.bar_count, 2);
  EXPECT_EQ(three->bars[0].time, DAY0 + 34200);
  EXPECT_FLOAT_EQ(three->bars[0].close, 12 - 2);
  EXPECT_FLOAT_EQ(three->bars[1].close, 15 - 6);
  EXPECT_FLOAT_EQ(three->bars[1].open, 13 - 4);
  for (chart_rec* x : {one, three}) {
    x->header.flags &= ~(CHART_MERGED2 | CHART_BARS_CHANGED);
    free_chart_data(x);
  }
  free_quote_source_cfgs();
  free_srcdata_cfg();
}

}  // namespace
