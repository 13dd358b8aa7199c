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

}  // namespace
