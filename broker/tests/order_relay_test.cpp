// Real orders in pipe mode against a fake relay speaking the real requests
// over real sockets: the 96-byte place and 8-byte cancel requests, and a
// silent relay that must not hold up the caller.
#include <chrono>
#include <string>
#include <thread>

#include "broker/tests/orders_fixture.h"
#include "data/chartheader.h"
#include "data/lefield.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/tests/status_capture.h"
#include "platform/clock.h"
#include "platform/testing/wait.h"
#include "quotes/qrclient.h"
#include "quotes/tests/fake_relay.h"

namespace {

const char kRelayName[] = "KvRelayO";

class RealOrders : public OrdersTest {
 protected:
  void SetUp() override {
    OrdersTest::SetUp();
    // A transaction gives up after 30 s, here 600 ms: long enough that a
    // loaded machine does not miss a reply, short enough for a test.
    kv_set_time_scale(0.02);
    configure(0x217);
  }
  void configure(unsigned caps) {
    char cfg[256];
    snprintf(cfg, sizeof cfg,
             "router_capabilities 0x%x\nrouter_name %s\nexchange_times 9:30 16:00\n"
             "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n",
             caps, kRelayName);
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
    root_.write("CONFIG/relay.cfg", cfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    g_settings.MultiQuoteSource = 0;
    g_qr_hostname[0] = 0;
    g_pref_flags &= ~PREF_START_RELAY;
    g_qr_hooks = {};
  }
  void TearDown() override {
    stop_order_sender();
    {
      kv_lock guard(g_router_lock);
      qr_close();
    }
    g_qr_hooks = {};
    free_quote_source_cfgs();
    free_srcdata_cfg();
    OrdersTest::TearDown();
  }
  order_rec *real_order(mqt *r) {
    order_rec *o = create_order(r);
    o->relay.type = order_type_word(ORDER_BUY, ORDER_GTC, ORDER_LMT) | ORDER_TRANSMIT;
    o->relay.quantity = 100;
    o->relay.limit = 10.25;
    strcpy(o->relay.oca, "OCA1");
    strcpy(o->relay.account, "U1234");
    strcpy(o->relay.order_ref, "ref");
    return o;
  }
  static int32_t relay_id(uint32_t serial) {
    kv_lock guard(g_chart_lock);
    order_rec *o = find_order_by_serial(serial);
    return o ? o->relay.order_id : -1;
  }
};

TEST_F(RealOrders, PlaceAndCancelReachTheRelayAsTheirRequests) {
  FakeRelay relay(kRelayName);
  relay.respond = [](const std::vector<uint8_t> &req) {
    if (req[0] == QR_REQ_PLACE_ORDER) {
      std::vector<uint8_t> r(36, 0);
      r[0] = (uint8_t)((int)QR_PLACE_ORDER | (int)QR_LAST_RECORD);
      put_le32(&r[4], (uint32_t)4711);
      return FakeRelay::answer{{r}};
    }
    return FakeRelay::answer{{{QR_CANCEL_ORDER, 0, 0, 0}}};
  };
  ASSERT_TRUE(relay.start());
  StatusCapture status;
  mqt *r = quoted("IBM", 10, 10.25, 10);
  r->symbol_slot = 7;
  order_rec *o = real_order(r);
  uint32_t serial = o->serial;
  ASSERT_EQ(place_order(o), 1);
  EXPECT_EQ(o->status, (uint32_t)ORDER_PENDING_SUBMIT);
  ASSERT_TRUE(kv_wait_until([&] { return relay_id(serial) == 4711; }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_TRUE(o->flags & ORDER_F_ACCEPTED);
    EXPECT_EQ(o->group_id, 4711);
    EXPECT_EQ(o->status, (uint32_t)ORDER_PENDING_SUBMIT);  // until the relay reports it
  }
  std::vector<uint8_t> place = relay.taken().at(0);
  ASSERT_EQ(place.size(), 96u);
  EXPECT_EQ(place[0], 13);
  EXPECT_EQ(place[1], 0);
  EXPECT_EQ(get_le16(&place[2]), 7);
  EXPECT_EQ((int32_t)get_le32(&place[4]), 100);
  EXPECT_DOUBLE_EQ(get_led(&place[8]), 10.25);
  EXPECT_EQ((int32_t)get_le32(&place[28]), 0);  // no relay id yet
  EXPECT_EQ(get_le32(&place[36]), o->relay.type);
  EXPECT_EQ(std::string((const char *)&place[40]), "OCA1");
  EXPECT_EQ(std::string((const char *)&place[56]), "U1234");
  EXPECT_EQ(std::string((const char *)&place[72]), "ref");

  ASSERT_EQ(cancel_order(o), 1);
  EXPECT_EQ(o->status, (uint32_t)ORDER_CANCELLED);  // the relay had not reported it yet
  ASSERT_TRUE(relay.wait_requests(2));
  std::vector<uint8_t> cancel = relay.taken().at(1);
  EXPECT_EQ(cancel, (std::vector<uint8_t>{14, 0, 7, 0, 0x67, 0x12, 0, 0}));
  stop_order_sender();  // the answer is handled before it ends
  EXPECT_FALSE(status.saw("returned in"));
  EXPECT_FALSE(status.saw("Response code"));
  EXPECT_EQ(relay_id(serial), 4711);
}

TEST_F(RealOrders, SilentRelayHoldsUpNeitherTheCallerNorTheOrdersStatus) {
  FakeRelay relay(kRelayName);
  relay.respond = [](const std::vector<uint8_t> &) { return FakeRelay::answer{}; };
  ASSERT_TRUE(relay.start());
  StatusCapture status;
  mqt *r = quoted("IBM", 10, 10.25, 10);
  r->symbol_slot = 7;
  order_rec *o = real_order(r);
  uint32_t serial = o->serial;

  // Another thread is in a relay transaction: placing, even from a quote
  // path that holds g_chart_lock, must not wait for it.
  std::atomic<int> holding{0}, release{0};
  std::thread busy([&] {
    kv_lock guard(g_router_lock);
    holding = 1;
    while (!release) std::this_thread::yield();
  });
  ASSERT_TRUE(kv_wait_until([&] { return holding.load() == 1; }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(place_order(o), 1);
    EXPECT_EQ(o->status, (uint32_t)ORDER_PENDING_SUBMIT);
  }
  release = 1;
  busy.join();

  ASSERT_TRUE(relay.wait_requests(1));
  ASSERT_TRUE(kv_wait_until([&] { return status.saw("returned in place_order"); }));
  EXPECT_TRUE(status.saw("Error 125 returned in place_order"));  // ECANCELED: the time-out
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(o->status, (uint32_t)ORDER_PENDING_SUBMIT);
  EXPECT_EQ(relay_id(serial), 0);
  EXPECT_FALSE(o->flags & ORDER_F_ACCEPTED);
}

TEST_F(RealOrders, BrokerModeWithoutTheBrokerLinkIsNotConnected) {
  configure(0x10217);
  StatusCapture status;
  mqt *r = quoted("IBM", 10, 10.25, 10);
  r->symbol_slot = 7;
  order_rec *o = real_order(r);
  ASSERT_EQ(place_order(o), 1);
  ASSERT_TRUE(kv_wait_until([&] { return status.saw("Not connected"); }));
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(o->status, (uint32_t)ORDER_PENDING_SUBMIT);
}

TEST_F(RealOrders, OrderWithoutASymbolNumberIsNotSent) {
  mqt *r = quoted("IBM", 10, 10.25, 10);
  order_rec *o = real_order(r);
  EXPECT_EQ(place_order(o), 0);
  EXPECT_EQ(cancel_order(o), 0);                    // no relay connection either
  EXPECT_EQ(o->status, (uint32_t)ORDER_CANCELLED);  // it never left
}

}  // namespace
