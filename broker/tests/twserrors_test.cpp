// Reactions to TWS's error and notice codes.
#include "broker/tests/tws_fixture.h"

#include <string.h>

#include "platform/locks.h"

namespace {

mqt *g_records[TWS_TICKERS + 1];
std::vector<std::pair<int, std::string>> g_controls;
std::vector<std::pair<int, int>> g_order_status;
int g_account_requests;

class TwsErrorsTest : public TwsTest {
 protected:
  void SetUp() override {
    TwsTest::SetUp();
    memset(g_records, 0, sizeof g_records);
    g_controls.clear();
    g_order_status.clear();
    g_account_requests = 0;
    g_tws_error_hooks.ticker_record = [](int t) {
      return t >= 1 && t <= TWS_TICKERS ? g_records[t] : nullptr;
    };
    g_tws_error_hooks.put_control_record = [](int kind, const char *text) {
      g_controls.push_back({kind, text ? text : ""});
    };
    g_tws_error_hooks.set_status_by_id = [](int id, int st) { g_order_status.push_back({id, st}); };
    g_tws_error_hooks.req_account_updates = [] { g_account_requests++; };
    g_tws_error_hooks.router_thread = [] { return kv_current_thread_id(); };
    kv_queue_create();
    kv_msg m;
    while (kv_peek_message(&m, 0, 0, 1)) {
    }
    g_hmds_event.reset();
  }
  void TearDown() override {
    for (mqt *&r : g_records) {
      delete r;
      r = nullptr;
    }
    TwsTest::TearDown();
  }
  mqt *record(int ticker, const char *symbol, uint32_t streams = 0x11) {
    mqt *r = new mqt();
    snprintf(r->symbol, sizeof r->symbol, "%s", symbol);
    r->streams_held = streams;
    g_records[ticker] = r;
    return r;
  }
  std::vector<unsigned> router_messages() {
    std::vector<unsigned> v;
    kv_msg m;
    while (kv_peek_message(&m, 0, 0, 1)) v.push_back(m.message);
    return v;
  }
};

TEST_F(TwsErrorsTest, FarmSoundsOnlyWhenItsStateChanges) {
  tws_error(1, 2103, "farm broken", -1);
  tws_error(1, 2104, "farm OK", -1);  // first OK of a run sounds
  tws_error(1, 2104, "farm OK", -1);
  tws_error(1, 2103, "farm broken", -1);
  tws_error(1, 2103, "farm broken", -1);
  tws_error(1, 2104, "farm OK", -1);
  EXPECT_EQ((std::vector<int>{TWS_SOUND_CONNECTED, TWS_SOUND_DISCONNECTED, TWS_SOUND_CONNECTED}),
            sounds());
  EXPECT_EQ(STATMSG_MISSING, status_level("Market data farm is disconnected"));
  EXPECT_FALSE(has_status("IB Error"));
}

TEST_F(TwsErrorsTest, ConnectivityCodesGoToTheRingAndTheRouter) {
  tws_error(1, 1100, "lost", -1);
  EXPECT_EQ((std::vector<std::pair<int, std::string>>{{TWS_CTL_LOST, ""}}), g_controls);
  g_controls.clear();
  tws_error(1, 1101, "restored, data lost", -1);
  EXPECT_EQ((std::vector<unsigned>{WM_TWS_RESUBSCRIBE, WM_TWS_RESTORED}), router_messages());
  tws_error(1, 1102, "restored, data kept", -1);
  EXPECT_EQ((std::vector<unsigned>{WM_TWS_RESTORED}), router_messages());
  EXPECT_EQ((std::vector<std::pair<int, std::string>>{{TWS_CTL_RESTORED, "TWS"},
                                                      {TWS_CTL_RESTORED, "TWS"}}),
            g_controls);
}

TEST_F(TwsErrorsTest, HistoryErrorsNameTheFoldedTickerAndWakeTheLoader) {
  record(5, "SYM5");
  tws_error(1, 162, "pacing", 305);
  EXPECT_EQ(162, g_hist_data_error.load());
  EXPECT_EQ(1, g_hmds_event.wait(0));
  EXPECT_EQ(STATMSG_MISSING, status_level("No HMDS data for [SYM5] (pacing violation)"));

  tws_error(1, 366, "no data", 305);
  EXPECT_EQ(366, g_hist_data_error.load());
  EXPECT_EQ(1, g_hmds_event.wait(0));
  EXPECT_TRUE(has_status("No historical data found for:"));
  EXPECT_TRUE(has_status("SYM5"));
}

TEST_F(TwsErrorsTest, GeneralPathAndItsExceptions) {
  record(7, "SYM7");
  g_settings.Flags |= 0x2000;
  const std::string long_text = std::string(45, '.') + "the tail";
  struct {
    int is_error, code, id;
    const char *text;
    std::vector<std::string> lines;  // status lines, in order
  } cases[] = {
      {0, 999, 7, "odd", {"TickerID[07] SYM7", "IB Error(999): odd"}},
      {1, 201, 1234, "rejected", {"IB Error(201): rejected"}},
      {1, 202, 1234, "Order Canceled - reason:", {}},
      {1, 202, 1234, "Order Canceled", {"Order Canceled"}},
      {1, 200, 7, "no security", {}},
      {1, 2109, 7, "outside hours", {}},  // needs Flags 0x4000
      {1, 2100, 0, "unsubscribed", {"Re-requesting Account Updates"}},
      {1, 110, 0, long_text.c_str(), {"IB Msg(165): the tail"}},
      {1, 316, 7, "halted", {"Re-subscribed mkt depth[07] SYM7"}},
      {1, 317, 7, "reset", {"IB(317): Market depth data reset for SYM7"}},
      {1, 10035, 0, "timed out", {"Prior msgid=", "IB Error(10035): timed out"}},
  };
  static std::vector<std::string> depth_calls;
  depth_calls.clear();
  g_tws_error_hooks.resubscribe_depth = [](mqt *r) {
    depth_calls.push_back(std::string("sub ") + r->symbol);
  };
  g_tws_error_hooks.clear_depth_book = [](mqt *r) {
    depth_calls.push_back(std::string("clear ") + r->symbol);
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.code);
    statuses_.clear();
    tws_error(c.is_error, c.code, c.text, c.id);
    pump();
    // Error lines come as a source piece and the text.
    std::string all;
    for (auto &st : statuses_) all += st.text + "|";
    if (c.lines.empty()) {
      EXPECT_EQ("", all);
    }
    size_t at = 0;
    for (auto &l : c.lines) {
      at = all.find(l, at);
      EXPECT_NE(std::string::npos, at) << l << " in " << all;
    }
  }
  EXPECT_EQ((std::vector<std::pair<int, int>>{{1234, TWS_ORDER_CANCELLED}}), g_order_status);
  EXPECT_EQ(1, g_account_requests);
  EXPECT_EQ((std::vector<std::string>{"sub SYM7", "clear SYM7"}), depth_calls);
  // Errors are logged as errors, notices as notices.
  statuses_.clear();
  tws_error(1, 201, "rejected", 1234);
  tws_error(0, 998, "notice", 0);
  EXPECT_EQ(STATMSG_ERROR, status_level("IB Error(201)"));
  EXPECT_EQ(STATMSG_NOTICE, status_level("IB Error(998)"));
}

TEST_F(TwsErrorsTest, TickerNotFoundIsOnlyTracedForIdleRecords) {
  record(3, "IDLE", 0);
  record(4, "LIVE", 0x11);
  tws_error(1, 300, "ticker not found", 3);
  EXPECT_FALSE(has_status("IB Error(300)"));
  tws_error(1, 300, "ticker not found", 4);
  EXPECT_TRUE(has_status("IB Error(300)"));
  statuses_.clear();
  g_cont_update = 0;
  tws_error(1, 300, "ticker not found", 4);
  EXPECT_FALSE(has_status("IB Error(300)"));
}

}  // namespace
