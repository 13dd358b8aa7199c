// Requests to the fake TWS, field by field: market data with its
// suppression lists and server-version gates, cancels, history durations,
// placing an advisor order, and the pacing of history requests.
#include <dirent.h>
#include <sys/stat.h>

#include <fstream>

#include "broker/tests/tws_data_fixture.h"
#include "broker/twshooks.h"
#include "quotes/qrclient.h"
#include "data/chartload.h"
#include "data/tokenfile.h"

namespace {

class TwsReqTest : public TwsDataTest {
 protected:
  void write_config(const char* name, const char* text) {
    char path[1024];
    data_path(path, "CONFIG", nullptr);
    mkdir(path, 0755);
    data_path(path, "CONFIG", name);
    std::ofstream(path) << text;
  }
};

TEST_F(TwsReqTest, MarketDataFieldsByServerVersion) {
  for (int server : {45, 30}) {
    SCOPED_TRACE(server);
    mqt* r = stock(server == 45 ? "IBM" : "MSFT", server == 45 ? 1 : 2);
    connect();
    g_tws_server_version = server;  // the handshake refuses below 37
    int id;
    {
      kv_lock guard(g_chart_lock);
      id = ReqMktData(r);
    }
    EXPECT_EQ(server == 45 ? 1 : 2, id);
    auto got = peer_.read_fields(server >= 31 ? 14 : 13);
    ASSERT_EQ(server >= 31 ? 14u : 13u, got.size());
    EXPECT_EQ("1", got[0]);
    EXPECT_EQ("6", got[1]);
    EXPECT_EQ(std::to_string(id), got[2]);
    EXPECT_EQ(r->symbol, got[3]);
    EXPECT_EQ("STK", got[4]);
    EXPECT_EQ("0.000000", got[6]);
    EXPECT_EQ("SMART", got[9]);
    EXPECT_EQ("USD", got[11]);
    if (server >= 31) EXPECT_EQ("100,101,104,106", got[13]);
    // Contract details follow.
    auto details = peer_.read_fields(10);
    EXPECT_EQ("9", details[0]);
    tws_disconnect();
    peer_.close_client();
  }
}

TEST_F(TwsReqTest, SuppressionListsAndSymbolMods) {
  write_config("allow.txt", "OPT[AB]*\n");
  write_config("inhibit.txt", "BAD*\n");
  write_config("symbolmods.txt", "VOD - LSE\nSAP EURO123 IBIS_LONG_NAME\n");
  g_pref_flags1 |= 0x80;  // options suppressed
  mqt* opt_a = stock("OPTA1", 1);
  mqt* opt_c = stock("OPTC1", 2);
  mqt* bad = stock("BADCO", 3);
  mqt* vod = stock("VOD", 4);
  mqt* sap = stock("SAP", 5);
  opt_a->sec_code = opt_c->sec_code = 4;
  connect();
  {
    kv_lock guard(g_chart_lock);
    ReqMktData(opt_c);
    ReqMktData(bad);
    ReqMktData(opt_a);
  }
  EXPECT_TRUE(opt_c->flags & MQT_NOT_STREAMABLE);
  EXPECT_TRUE(bad->flags & MQT_NOT_STREAMABLE);
  EXPECT_FALSE(opt_a->flags & MQT_NOT_STREAMABLE);
  auto got = peer_.read_fields(14);
  EXPECT_EQ("1", got[2]);  // only the allowed option went out
  peer_.read_fields(10);
  // "-" keeps the currency; texts are cut to the record's fields.
  EXPECT_EQ(1, apply_symbol_mods(vod));
  EXPECT_STREQ("USD", vod->currency);
  EXPECT_STREQ("LSE", vod->exchange);
  EXPECT_EQ(1, apply_symbol_mods(sap));
  EXPECT_STREQ("EUR", sap->currency);
  EXPECT_STREQ("IBIS_LON", sap->exchange);
  EXPECT_EQ(0, apply_symbol_mods(bad));
}

TEST_F(TwsReqTest, CancelWithDepthSendsTwoCancelsDataFirst) {
  mqt* r = stock("IBM", 6);
  connect();
  EXPECT_EQ(6, ReqMktDepth(r));
  auto got = peer_.read_fields(13);
  EXPECT_EQ("10", got[0]);
  EXPECT_TRUE(r->flags & 0x200);
  CancelMktData(6);
  got = peer_.read_fields(6);
  EXPECT_EQ((std::vector<std::string>{"2", "2", "6", "11", "1", "6"}), got);
  EXPECT_FALSE(r->flags & 0x200);
}

// An order refresh asks the link for executions and all open orders
// through the relay's hooks.
TEST_F(TwsReqTest, RefreshHooksSendExecutionsAndOpenOrdersRequests) {
  qr_hooks saved = g_qr_hooks;
  chart_load_hooks saved_load = g_chart_load_hooks;
  tws_error_hooks saved_err = g_tws_error_hooks;
  order_hooks saved_order = g_order_hooks;
  auto saved_slot = g_account_slot_hook;
  install_tws_hooks();
  connect();
  ASSERT_NE(nullptr, g_qr_hooks.req_executions);
  ASSERT_NE(nullptr, g_qr_hooks.req_all_open_orders);
  g_qr_hooks.req_executions();
  EXPECT_EQ((std::vector<std::string>{"7", "1"}), peer_.read_fields(2));
  g_qr_hooks.req_all_open_orders();
  EXPECT_EQ((std::vector<std::string>{"16", "1"}), peer_.read_fields(2));
  g_qr_hooks = saved;
  g_chart_load_hooks = saved_load;
  g_tws_error_hooks = saved_err;
  g_order_hooks = saved_order;
  g_account_slot_hook = saved_slot;
}

TEST_F(TwsReqTest, HistoryDurationsAndBarSizes) {
  struct {
    int unit, duration;
    const char* text;
  } cases[] = {{390, 90, "1 Y"}, {390, 30, "30 D"}, {1, 3, "3 D"}, {1, 7200, "7200"}};
  for (auto& c : cases) {
    char text[24];
    tws_history_duration(c.unit, c.duration, text, sizeof text);
    EXPECT_STREQ(c.text, text);
  }
  EXPECT_STREQ("30 secs", tws_history_bar_size(-30));
  EXPECT_STREQ("15 secs", tws_history_bar_size(-15));
  // Server 30: no include-expired field.
  mqt* r = stock("IBM", 5);
  connect();
  g_tws_server_version = 30;
  chart_rec* c = new_chart_with_slots("IBM", 390, 4);
  std::thread req([&] { IBReqIntradayData(c, r, 90, "20261210 21:00:00 UTC"); });
  auto got = peer_.read_fields(20);
  req.join();
  EXPECT_EQ("20261210 21:00:00 UTC", got[13]);
  EXPECT_EQ("1 day", got[14]);
  EXPECT_EQ("1 Y", got[15]);
  tws_clear_hmds_target();
  destroy_chart(c);
}

// The fields of an order message from the id on (after "3", "25").
std::vector<std::string> read_order(fake_tws_peer& peer, int server) {
  int n = 2 + 63 + (server < 38) + (server > 34 ? 3 : 0) + (server > 38 ? 2 : 0) + (server > 35);
  return peer.read_fields(n);
}

TEST_F(TwsReqTest, AdvisorGroupLimitOrderFieldByField) {
  mqt* r = stock("IBM", 8);
  connect(45);
  g_tws_next_order_id = 500;
  order_rec* o;
  {
    kv_lock guard(g_chart_lock);
    o = create_order(r);
    o->relay.type = order_type_word(ORDER_BUY, ORDER_GTC, ORDER_LMT) | ORDER_TRANSMIT;
    o->relay.quantity = 300;
    o->relay.limit = 25.5;
    snprintf(o->relay.oca, sizeof o->relay.oca, "A1");
    snprintf(o->relay.order_ref, sizeof o->relay.order_ref, "ref9");
    o->advisor_mode = ADVISOR_GROUP;
    snprintf(o->advisor_string, sizeof o->advisor_string, "GrowthM15");
    snprintf(o->advisor_method, sizeof o->advisor_method, "PctChange");
  }
  order_rec copy;
  {
    kv_lock guard(g_chart_lock);
    copy = *o;
  }
  ASSERT_EQ(1, IBPlaceOrder(&copy));
  auto f = read_order(peer_, 45);
  std::vector<std::string> want = {
      "3",         "25",        "500", "IBM", "STK", "",     "0.000000", "",          "1",
      "SMART",     "",          "USD", "",    "BUY", "300",  "LMT",      "25.500000", "0.000000",
      "GTC",       "A1",        "",    "",    "0",   "ref9", "1",        "0",         "0",
      "0",         "0",         "0",   "0",   "0",   "",     "",         "",          "",
      "GrowthM15", "PctChange", "-15", "",    "",    "",     "2",        "I",         "",
      "0",         "",          "",    "0",   "1",   "",     "",         "",          "",
      "",          "",          "",    "0",   "",    "",     "",         "",          "",
      "",          "",          "",    "",    "",    "",     "",         "0"};
  EXPECT_EQ(want, f);
  EXPECT_EQ(501, g_tws_next_order_id.load());
  EXPECT_EQ(500, o->relay.order_id);
  EXPECT_EQ(300, o->remaining);
  auto ids = peer_.read_fields(3);
  EXPECT_EQ((std::vector<std::string>{"8", "1", "1"}), ids);
  // Re-sending (a modification) keeps the order's id.
  {
    kv_lock guard(g_chart_lock);
    copy = *o;
  }
  copy.relay.limit = 26;
  ASSERT_EQ(1, IBPlaceOrder(&copy));
  f = read_order(peer_, 45);
  ASSERT_GT(f.size(), 3u);
  EXPECT_EQ("500", f[2]);
  EXPECT_EQ(501, g_tws_next_order_id.load());
}

TEST_F(TwsReqTest, PctChangeWithoutNumberHoldsTheOrder) {
  mqt* r = stock("IBM", 8);
  connect(45);
  order_rec o = {};
  o.record = r;
  o.relay.type = order_type_word(ORDER_SELL, ORDER_DAY, ORDER_MKT) | ORDER_TRANSMIT;
  o.relay.quantity = 1;
  o.advisor_mode = ADVISOR_GROUP;
  snprintf(o.advisor_string, sizeof o.advisor_string, "Growth");
  snprintf(o.advisor_method, sizeof o.advisor_method, "PctChange");
  ASSERT_EQ(1, IBPlaceOrder(&o));
  auto f = read_order(peer_, 45);
  EXPECT_EQ("0", f[24]);  // transmit cleared
  EXPECT_EQ("", f[38]);   // no percentage
}

TEST_F(TwsReqTest, RequestsWhileDisconnectedReport504) {
  mqt* r = stock("IBM", 1);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(1, ReqMktData(r));
  }
  EXPECT_EQ(0, IBCancelOrder(4));
  EXPECT_TRUE(has_status("504 Not connected"));
}

TEST_F(TwsReqTest, PacingCountsSixtyRequestsThenRefusesWithoutWaiting) {
  hmds_reset_count();
  for (int i = 0; i < 60; i++) ASSERT_EQ(1, hmds_pacing_wait(0));
  EXPECT_EQ(0, hmds_pacing_wait(0));
  // Notice 2107 restarts the count.
  tws_error(0, 2107, "HMDS data farm connection is inactive", 0);
  hmds_reset_count();
  EXPECT_EQ(1, hmds_pacing_wait(0));
  hmds_reset_count();
}

}  // namespace

namespace {

int count_entries(const char* dir) {
  int n = 0;
  if (DIR* d = opendir(dir)) {
    while (readdir(d)) n++;
    closedir(d);
  }
  return n;
}

TEST_F(TwsReqTest, ThousandConnectsLeaveDescriptorsAndThreadsAsTheyWere) {
  connect();
  tws_disconnect();
  peer_.close_client();
  int fds = count_entries("/proc/self/fd"), threads = count_entries("/proc/self/task");
  for (int i = 0; i < 1000; i++) {
    ASSERT_EQ(1, connect_peer(peer_, 45, 7));
    ASSERT_EQ(1, start_socket_input_thread());
    tws_disconnect();
    peer_.close_client();
  }
  EXPECT_EQ(fds, count_entries("/proc/self/fd"));
  EXPECT_EQ(threads, count_entries("/proc/self/task"));
}

}  // namespace
