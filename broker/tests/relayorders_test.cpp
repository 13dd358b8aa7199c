// Order records from the relay's data socket: order status and executions
// pushed by a fake relay reach the order list, its window and the account
// file.
#include <cstring>
#include <string>
#include <vector>

#include "broker/relayorders.h"
#include "quotes/spigot.h"
#include "broker/tests/orders_fixture.h"
#include "data/lefield.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/clock.h"
#include "platform/testing/wait.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/relayhist.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "quotes/tests/fake_relay.h"

namespace {

const char kRelayName[] = "KvRelayR";

std::vector<uint8_t> status_rec(int32_t id, int32_t filled, int32_t remaining, int status,
                                double price) {
  std::vector<uint8_t> r(72, 0);
  r[0] = QR_ORDER_STATUS;
  put_led(&r[8], price);
  put_led(&r[16], price);
  put_le32(&r[24], (uint32_t)id);
  put_le32(&r[28], (uint32_t)filled);
  put_le32(&r[32], (uint32_t)remaining);
  put_le32(&r[36], 555);
  put_le32(&r[44], (uint32_t)status);
  return r;
}

class RelayOrders : public OrdersTest {
 protected:
  void SetUp() override {
    OrdersTest::SetUp();
    kv_set_time_scale(0.02);
    char cfg[256];
    snprintf(cfg, sizeof cfg, "router_capabilities 0x217\nrouter_name %s\n", kRelayName);
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
    root_.write("CONFIG/relay.cfg", cfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    g_settings.MultiQuoteSource = 0;
    g_qr_hostname[0] = 0;
    g_qr_hooks = {};
    install_spigot_hooks();
    install_relay_order_hooks();
    memset(g_symbol_slots, 0, sizeof g_symbol_slots);
  }
  void TearDown() override {
    stop_spigot_input_thread();
    {
      kv_lock guard(g_router_lock);
      qr_close();
    }
    g_qr_hooks = {};
    g_spigot_hooks = {};
    memset(g_symbol_slots, 0, sizeof g_symbol_slots);
    free_quote_source_cfgs();
    free_srcdata_cfg();
    OrdersTest::TearDown();
  }
};

TEST_F(RelayOrders, StatusAndExecutionFromTheDataSocket) {
  FakeRelay relay(kRelayName);
  ASSERT_TRUE(relay.start());
  MessageSink sink;
  mqt* r = quoted("IBM", 10, 10.5, 10.25);
  uint32_t serial;
  {
    kv_lock guard(g_chart_lock);
    r->symbol_slot = 7;
    g_symbol_slots[6] = r;
    order_rec* o = create_order(r);
    o->relay.type = order_type_word(ORDER_BUY, ORDER_DAY, ORDER_LMT) | ORDER_TRANSMIT;
    o->relay.order_id = 4242;
    o->relay.quantity = 100;
    o->status = ORDER_SUBMITTED;
    o->flags |= ORDER_F_UNCONFIRMED;
    o->window = sink.wnd;
    serial = o->serial;
  }
  ASSERT_EQ(kvqr_connect(), 1);
  ASSERT_TRUE(kv_wait_until([&] { return relay.data_clients == 1; }));

  execution_rec e;
  memset(&e, 0, sizeof e);
  e.code = QR_EXECUTION;
  e.symbol_number = 7;
  e.f.price = 10.25;
  e.f.quantity = 100;
  e.f.exec_time = 1767600000;
  strcpy(e.f.side, "BOT");
  strcpy(e.f.account, "ACC1");
  strcpy(e.f.symbol, "IBM");
  strcpy(e.f.sec_type, "STK");
  strcpy(e.f.exec_id, "X.1");
  std::vector<uint8_t> packet = status_rec(4242, 100, 0, ORDER_FILLED, 10.25);
  std::vector<uint8_t> ex(EXECUTION_SIZE);
  encode_execution(&e, ex.data());
  packet.insert(packet.end(), ex.begin(), ex.end());
  ASSERT_TRUE(relay.push(packet));

  ASSERT_TRUE(kv_pump_until([&] { return sink.count(WM_ORDER_STATUS) >= 1; }));
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(serial);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->status, (uint32_t)ORDER_FILLED);
    EXPECT_EQ(o->filled, 100);
    EXPECT_EQ(o->perm_id, 555);
    EXPECT_FALSE(o->flags & ORDER_F_UNCONFIRMED);
  }
  for (auto& m : sink.got) EXPECT_EQ((uint32_t)m.lparam, serial);
  // The execution is booked: its trade reaches the account file.
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return get_account("ACC1") && get_account("ACC1")->count == 1;
  }));
  close_all_accounts();
  std::string file = root_.read("ACCOUNTS/ACC1.trades");
  ASSERT_EQ(file.size(), (size_t)TRADE_SIZE);
  EXPECT_EQ(file.substr(96, 3), "X.1");
  relay.stop();
}

TEST_F(RelayOrders, UnknownOrderIdAndQuietRefreshPostNothing) {
  MessageSink sink;
  mqt* r = quoted("IBM", 10, 10.5, 10.25);
  {
    kv_lock guard(g_chart_lock);
    r->symbol_slot = 7;
    g_symbol_slots[6] = r;
    order_rec* o = create_order(r);
    o->relay.order_id = 9;
    o->window = sink.wnd;
  }
  auto rec = status_rec(8, 0, 100, ORDER_SUBMITTED, 0);
  kvqr_dispatch_records(rec.data(), (int)rec.size());
  g_status_posts_quiet_until = kv_monotonic_ms() + 60000;
  rec = status_rec(9, 0, 100, 0, 0);
  kvqr_dispatch_records(rec.data(), (int)rec.size());
  g_status_posts_quiet_until = 0;
  EXPECT_EQ(sink.count(WM_ORDER_STATUS), 0);
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(find_order_by_id(9)->status, (uint32_t)ORDER_PENDING_SUBMIT);  // status 0
}

TEST_F(RelayOrders, ExecutionOfAnAccountPastTheSlotsIsKeptInTheFirst) {
  mqt* r = quoted("IBM", 10, 10.5, 10.25);
  g_account_slot_hook = [](const char*) { return 40; };
  execution_rec e;
  memset(&e, 0, sizeof e);
  e.code = QR_EXECUTION;
  e.f.price = 10.0;
  e.f.quantity = 5;
  e.f.exec_time = 1767600000;
  strcpy(e.f.side, "SLD");
  strcpy(e.f.account, "ACC2");
  strcpy(e.f.symbol, "IBM");
  strcpy(e.f.sec_type, "STK");
  strcpy(e.f.exec_id, "X.2");
  EXPECT_EQ(book_execution(&e, r), 1);
  g_account_slot_hook = nullptr;
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(r->account_positions[0].quantity, -5);
  EXPECT_EQ(r->account_positions[0].avg_price, 10.0);
}

// The quote and trade records keep the queue ahead of own resting limit
// orders: paper orders take the size now shown at their price, broker
// orders lose what traded at their limit (with the trade-depth option).
TEST_F(RelayOrders, QueueDepthFollowsTheQuoteAndTradesAtTheLimit) {
  mqt* r = quoted("IBM", 10, 10.5, 10.25);
  order_rec *buy, *sell;
  {
    kv_lock guard(g_chart_lock);
    r->symbol_slot = 7;
    g_symbol_slots[6] = r;
    buy = paper(r, ORDER_BUY, ORDER_LMT, 100, 9.5);
    buy->status = ORDER_SUBMITTED;
    buy->queue_depth = 800;
    sell = create_order(r);
    sell->relay.type = order_type_word(ORDER_SELL, ORDER_DAY, ORDER_LMT) | ORDER_TRANSMIT;
    sell->relay.limit = 10.75;
    sell->relay.quantity = 100;
    sell->status = ORDER_SUBMITTED;
    sell->queue_depth = 600;
  }
  auto tick = [](int kind, float price, float ask, int size_or_sizes) {
    std::vector<uint8_t> t(36, 0);
    t[0] = QR_TICK;
    put_le16(&t[2], 7);
    t[7] = (uint8_t)kind;
    put_le32(&t[8], 36000);
    uint32_t u;
    memcpy(&u, &price, 4);
    put_le32(&t[16], u);
    if (kind == TS_KIND_BID_ASK) {
      memcpy(&u, &ask, 4);
      put_le32(&t[20], u);
      put_le16(&t[24], (uint16_t)size_or_sizes);
      put_le16(&t[26], (uint16_t)size_or_sizes);
      t[29] = 1;
    } else {
      put_le32(&t[20], (uint32_t)size_or_sizes);
    }
    kvqr_dispatch_records(t.data(), (int)t.size());
  };
  tick(TS_KIND_BID_ASK, 9.5f, 10.75f, 300);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(buy->queue_depth, 300);
    EXPECT_EQ(sell->queue_depth, 600);  // a broker order's queue is the broker's
  }
  uint32_t saved = g_pref_flags1;
  tick(TS_KIND_TRADE, 10.75f, 0, 100);  // without the option: unchanged
  g_pref_flags1 |= 0x20;
  tick(TS_KIND_TRADE, 10.75f, 0, 250);
  tick(TS_KIND_TRADE, 10.70f, 0, 250);  // not at the limit
  tick(TS_KIND_TRADE, 10.75f, 0, 1000);
  g_pref_flags1 = saved;
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(sell->queue_depth, 0);  // 600 - 250, then all of it
  EXPECT_EQ(buy->queue_depth, 300);
}

// In broker-socket mode an order refresh asks for executions and open
// orders, then has the windows that show orders draw them again.
TEST_F(RelayOrders, BrokerRefreshAsksForOrdersAndRedrawsTheirWindows) {
  char cfg[256];
  snprintf(cfg, sizeof cfg, "router_capabilities 0x10217\nrouter_name %s\n", kRelayName);
  root_.write("CONFIG/relay.cfg", cfg);
  free_srcdata_cfg();
  free_quote_source_cfgs();
  static std::vector<std::string> asked;
  asked.clear();
  g_qr_hooks.req_executions = [] { asked.push_back("executions"); };
  g_qr_hooks.req_all_open_orders = [] { asked.push_back("open orders"); };
  MessageSink sink;
  mqt* a = quoted("IBM", 10, 10.5, 10.25);
  mqt* b = quoted("MSFT", 20, 20.5, 20.25);
  uint32_t serial;
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = create_order(a);
    o->window = sink.wnd;
    serial = o->serial;
    create_order(b)->window = sink.wnd;
  }
  EXPECT_EQ(kvqr_refresh_orders(), 1);
  EXPECT_EQ(asked, (std::vector<std::string>{"executions", "open orders"}));
  EXPECT_GT(g_status_posts_quiet_until.load(), kv_monotonic_ms());
  g_status_posts_quiet_until = 0;
  kv_dispatch_posted(-1);
  // Once in all: the window shows every record's orders.
  ASSERT_EQ(sink.count(WM_ORDER_STATUS), 1);
  for (const auto& m : sink.got)
    if (m.message == WM_ORDER_STATUS) EXPECT_EQ(m.lparam, (kv_lparam)serial);
}

}  // namespace
