// A temporary data root with the order and account seams set, sounds
// recorded, and every order sender, account and record gone afterwards.
#pragma once

#include <cstring>
#include <vector>

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/positions.h"
#include "broker/twserrors.h"
#include "platform/locks.h"
#include "quotes/tests/quotes_fixture.h"

class OrdersTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    sounds().clear();
    install_order_hooks();
    g_mqt_hooks.queue_sound = [](int n) { sounds().push_back(n); };
  }
  void TearDown() override {
    stop_order_sender();
    close_all_accounts();
    kv_dispatch_posted(-1);
    g_position_hooks = {};
    g_tws_error_hooks = {};
    QuotesTest::TearDown();
  }
  static std::vector<int> &sounds() {
    static std::vector<int> s;
    return s;
  }

  // A record with a two-sided quote and a trade.
  mqt *quoted(const char *symbol, double bid, double ask, double last, int bid_size = 500,
              int ask_size = 500) {
    mqt *r = create_multiquote_struct(symbol);
    strcpy(r->sec_type, "STK");
    strcpy(r->currency, "USD");
    r->multiplier = 1;
    r->tick_size = 0.01;
    quote(r, bid, ask, last, bid_size, ask_size);
    return r;
  }
  static void quote(mqt *r, double bid, double ask, double last, int bid_size, int ask_size,
                    int last_size = 100) {
    r->bid = (float)bid;
    r->ask = (float)ask;
    r->last = (float)last;
    r->bid_size = bid_size;
    r->ask_size = ask_size;
    r->last_size = last_size;
  }
  // A paper order, transmitted, on the account.
  order_rec *paper(mqt *r, int action, int type, int qty, double limit, double aux = 0,
                   const char *account = "PAPER1", int tif = ORDER_DAY) {
    order_rec *o = create_order(r);
    o->relay.type = order_type_word(action, tif, type) | ORDER_SIMULATED | ORDER_TRANSMIT;
    o->relay.quantity = qty;
    o->relay.limit = limit;
    o->relay.aux = aux;
    strcpy(o->relay.account, account);
    return o;
  }
};
