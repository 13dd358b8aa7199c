// History, text pages and market statistics from a fake relay over real
// sockets.
#include <cstring>
#include <string>
#include <vector>

#include "data/chart.h"
#include "data/dates.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/relayhist.h"
#include "quotes/tests/fake_relay.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

const char kRelayName[] = "KvRelayH";
constexpr int32_t kMonday = 1767571200;  // 5 January 2026, 00:00

void put_f32(uint8_t* p, float f) {
  uint32_t u;
  memcpy(&u, &f, 4);
  put_le32(p, u);
}

std::vector<uint8_t> bar(int code, int32_t time, float price, int32_t volume, bool last) {
  std::vector<uint8_t> r(36, 0);
  r[0] = (uint8_t)(code | (last ? QR_LAST_RECORD : 0));
  put_le32(&r[4], (uint32_t)time);
  for (int off : {8, 12, 16, 20}) put_f32(&r[off], price);
  put_le32(&r[24], (uint32_t)volume);
  return r;
}

class RelayHistTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    kv_set_time_scale(0.02);
    char cfg[256];
    snprintf(cfg, sizeof cfg, "router_capabilities 0x17\nrouter_name %s\n", kRelayName);
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
    root_.write("CONFIG/relay.cfg", cfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    g_settings.MultiQuoteSource = 0;
    g_qr_hostname[0] = 0;
    g_qr_hooks = {};
    ASSERT_TRUE(relay_.start());
  }
  void TearDown() override {
    {
      kv_lock guard(g_router_lock);
      qr_close();
    }
    relay_.stop();
    if (chart_) {
      free(chart_->bars);
      free(chart_);
    }
    free_quote_source_cfgs();
    free_srcdata_cfg();
    QuotesTest::TearDown();
  }
  chart_rec* chart(int unit) {
    chart_ = (chart_rec*)calloc(1, sizeof(chart_rec));
    snprintf(chart_->header.symbol, sizeof chart_->header.symbol, "IBM");
    chart_->header.time_unit = unit;
    chart_->header.session_start = 34200;
    chart_->header.session_end = 57600;
    return chart_;
  }
  std::vector<std::vector<uint8_t>> requests(int code) {
    std::vector<std::vector<uint8_t>> out;
    for (auto& r : relay_.taken())
      if (r[0] == code) out.push_back(r);
    return out;
  }

  FakeRelay relay_{kRelayName};
  chart_rec* chart_ = nullptr;
};

TEST_F(RelayHistTest, TwentyDaysAreAskedAsFifteen) {
  relay_.respond = [](const std::vector<uint8_t>& req) {
    int day = (int32_t)get_le32(&req[40]);
    FakeRelay::answer a;
    a.packets.push_back(bar(2, kMonday - day * 86400 + 57540, 10.0f, 100, true));
    return a;
  };
  chart_rec* c = chart(TU_1MIN);
  EXPECT_EQ(kvqr_intraday_data(c, 20, 34200, 0), 0);
  auto got = requests(QR_REQ_INTRADAY);
  ASSERT_EQ(got.size(), 15u);
  for (int k = 0; k < 15; k++) EXPECT_EQ((int32_t)get_le32(&got[k][40]), k);
  EXPECT_EQ(std::string((const char*)&got[0][2]), "IBM");
  // Each day flat from the session start up to its one record at 15:59.
  ASSERT_EQ(c->header.bar_count, 15 * 390);
  for (int i = 1; i < 15 * 390; i++) ASSERT_LT(c->bars[i - 1].time, c->bars[i].time);  // sorted
  EXPECT_EQ(c->bars[0].flags & RELAY_BAR_FLAGS, (uint32_t)RELAY_BAR_FLAGS);
  EXPECT_EQ(c->bars[15 * 390 - 1].volume, 100);
  EXPECT_EQ(c->header.last_date, seconds_to_date(kMonday));
}

TEST_F(RelayHistTest, EarlyLastRecordIsFollowedByFlatBarsToTheSessionEnd) {
  relay_.respond = [](const std::vector<uint8_t>&) {
    FakeRelay::answer a;
    std::vector<uint8_t> p = bar(2, kMonday + 34200, 10.0f, 100, false);
    // 9:31 is missing: a flat bar at the previous close fills it.
    std::vector<uint8_t> b = bar(2, kMonday + 34320, 11.0f, 200, true);
    p.insert(p.end(), b.begin(), b.end());
    a.packets.push_back(p);
    return a;
  };
  chart_rec* c = chart(TU_1MIN);
  EXPECT_EQ(kvqr_day_bars(c, 1, 34200, 57600, RELAY_BAR_FLAGS), 0);
  ASSERT_EQ(c->header.bar_count, 390);
  EXPECT_EQ(c->bars[1].time, kMonday + 34260);
  EXPECT_FLOAT_EQ(c->bars[1].close, 10.0f);
  EXPECT_EQ(c->bars[1].volume, 0);
  EXPECT_EQ(c->bars[2].volume, 200);
  EXPECT_EQ(c->bars[389].time, kMonday + 57540);
  EXPECT_FLOAT_EQ(c->bars[389].close, 11.0f);
  EXPECT_EQ(c->bars[389].volume, 0);
}

TEST_F(RelayHistTest, HistoryStopsWhenTheRelayDoesNotGoBack) {
  // Every block answers the same 255 days, whatever date is asked.
  relay_.respond = [](const std::vector<uint8_t>& req) {
    FakeRelay::answer a;
    int count = (int32_t)get_le32(&req[36]);
    std::vector<uint8_t> p;
    for (int i = 0; i < count; i++) {
      auto b = bar(8, kMonday - (count - i) * 86400, 5.0f, 10, i == count - 1);
      p.insert(p.end(), b.begin(), b.end());
      if (p.size() == 36 * 28 || i == count - 1) {
        a.packets.push_back(p);
        p.clear();
      }
    }
    return a;
  };
  chart_rec* c = chart(TU_DAILY);
  EXPECT_EQ(kvqr_hist_data(c, 20000101, 20260105), 1);
  auto got = requests(QR_REQ_HISTORY);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ((int32_t)get_le32(&got[0][36]), 255);
  EXPECT_EQ((int32_t)get_le32(&got[0][40]), 20260105);
  EXPECT_EQ((int32_t)get_le32(&got[0][44]), 1);
  EXPECT_EQ(got[0][48], 1);
  EXPECT_EQ((int32_t)get_le32(&got[1][40]), add_days(c->header.first_date, -1));
}

TEST_F(RelayHistTest, TextPageKeepsWhatFitsAndStaysInStep) {
  int served = 0;
  relay_.respond = [&](const std::vector<uint8_t>& req) {
    FakeRelay::answer a;
    std::string page((const char*)&req[2]);
    if (page == "101.2") {
      std::vector<uint8_t> first(1024, 'a');
      first[0] = QR_TEXT_PAGE;
      first[1] = 0;
      put_le16(&first[2], 3000);
      a.packets.push_back(first);
      a.packets.push_back(std::vector<uint8_t>(1024, 'b'));
      a.packets.push_back(std::vector<uint8_t>(3000 - 1020 - 1024, 'c'));
    } else {
      std::vector<uint8_t> r = {QR_TEXT_PAGE, 0, 2, 0, 'o', 'k'};
      a.packets.push_back(r);
    }
    served++;
    return a;
  };
  char buf[2000];
  ASSERT_EQ(kvqr_text_page(buf, sizeof buf, 101, 2), 1);
  EXPECT_EQ(strlen(buf), 1999u);
  EXPECT_EQ(buf[1019], 'a');
  EXPECT_EQ(buf[1020], 'b');
  ASSERT_EQ(kvqr_text_page(buf, sizeof buf, 7, 0), 1);
  EXPECT_STREQ(buf, "ok");
  EXPECT_EQ(served, 2);
}

TEST(MarketStats, PageLinesParseWithDashesAsZerosAndFilters) {
  char page[MARKET_STATS_PAGE];
  memset(page, ' ', sizeof page);
  auto line = [&](int n, const char* text) {
    memcpy(page + n * MARKET_STATS_LINE, text, strlen(text));
  };
  line(0, "header lines are skipped -- even with dashes");
  line(3, "IBM   123.50  1.25  1.02    12345     5000 999 124.00 122.00 150.00100.00 10:30");
  line(4, "MSFT   50.00    --    --      300      100  --  51.00  49.00  60.00 40.00 --:--");
  line(5, "TEST1  10.00  0.10  1.00     1000     1000 100  10.00  10.00  10.00 10.00 09:30");
  line(6, "ibm    99.00  0.10  1.00     1000     1000 100  10.00  10.00  10.00 10.00 09:30");
  line(7, "CHEAP   0.50  0.10  1.00     1000     1000 100  10.00  10.00  10.00 10.00 09:30");
  market_stat table[MARKET_STATS_MAX] = {};
  int stored = 0;
  parse_market_stats_page(page, 3, 100, 1.0, table, &stored);
  ASSERT_EQ(stored, 2);
  const market_stat& a = table[0];
  EXPECT_STREQ(a.symbol, "IBM");
  EXPECT_FLOAT_EQ(a.last, 123.5f);
  EXPECT_FLOAT_EQ(a.pct_change, 1.02f);
  EXPECT_EQ(a.volume, 1234500);  // not a multiple of 100: in hundreds
  EXPECT_EQ(a.prev_volume, 5000);
  EXPECT_NEAR(a.pct_prev_volume, 1234500.0 / 5000 * 100 - 100, 0.01);
  EXPECT_EQ(a.news_time, 10 * 3600 + 30 * 60);
  const market_stat& b = table[1];
  EXPECT_STREQ(b.symbol, "MSFT");
  EXPECT_FLOAT_EQ(b.change, 0);
  EXPECT_FLOAT_EQ(b.pct_change, 0);
  EXPECT_FLOAT_EQ(b.pct_prev_volume, 0);
  EXPECT_FLOAT_EQ(b.year_low, 40.0f);
  EXPECT_EQ(b.news_time, 0);
  // Scans 9 and 10 give the gap in place of the % change.
  memset(table, 0, sizeof table);
  stored = 0;
  memset(page, ' ', sizeof page);
  line(3, "IBM   123.50  1.25  1.02    12300     5000 100 124.00 122.00 150.00100.00 10:30");
  parse_market_stats_page(page, 9, 0, 0, table, &stored);
  ASSERT_EQ(stored, 1);
  EXPECT_FLOAT_EQ(table[0].gap, 1.02f);
  EXPECT_FLOAT_EQ(table[0].pct_change, 0);
}

}  // namespace
