// The paper-trading engine and the order bookkeeping: fill rules, queue
// depth, OCA groups, letters, aging and the window messages.
#include <cmath>
#include <string>

#include "broker/tests/orders_fixture.h"
#include "data/tests/status_capture.h"
#include "platform/messages.h"

namespace {

class PaperOrders : public OrdersTest {};

// The fill rules of one quote, as a table: the order is placed on a record
// quoted bid 10.00 x 300 / ask 10.25 x 200, last 10.00, and then sees the
// second quote.
TEST_F(PaperOrders, FillRulesOfEachTypeAndSide) {
  struct {
    const char *name;
    int action, type, tif, qty;
    double limit, aux;
    double bid, ask, last;  // the second quote
    int bid_size, ask_size;
    uint32_t status;
    int filled;
    double price;
  } cases[] = {
      {"MKT BUY takes the ask size", ORDER_BUY, ORDER_MKT, ORDER_DAY, 500, 0, 0, 10, 10.25, 10, 300,
       200, ORDER_SUBMITTED, 200, 10.25},
      {"MKT SELL takes the bid", ORDER_SELL, ORDER_MKT, ORDER_DAY, 100, 0, 0, 10, 10.25, 10, 300,
       200, ORDER_FILLED, 100, 10},
      {"LMT BUY at the ask", ORDER_BUY, ORDER_LMT, ORDER_DAY, 100, 10.5, 0, 10, 10.25, 10, 300, 200,
       ORDER_FILLED, 100, 10.25},
      {"LMT BUY above a trade below it", ORDER_BUY, ORDER_LMT, ORDER_DAY, 100, 10.25, 0, 9.75, 10.5,
       10, 300, 200, ORDER_FILLED, 100, 10.25},
      {"LMT SELL waits above the bid", ORDER_SELL, ORDER_LMT, ORDER_DAY, 100, 10.5, 0, 10, 10.75,
       10.25, 300, 200, ORDER_SUBMITTED, 0, 0},
      {"LMT SELL below a trade above it", ORDER_SELL, ORDER_LMT, ORDER_DAY, 100, 10.25, 0, 10,
       10.75, 10.5, 300, 200, ORDER_FILLED, 100, 10.25},
      {"STP SELL triggered at the bid", ORDER_SELL, ORDER_STP, ORDER_DAY, 100, 0, 9.75, 9.5, 9.75,
       9.75, 300, 200, ORDER_FILLED, 100, 9.5},
      {"STPLMT BUY becomes a limit", ORDER_BUY, ORDER_STPLMT, ORDER_DAY, 100, 10.5, 10.25, 10.25,
       10.75, 10.25, 300, 200, ORDER_FILLED, 100, 10.5},
      {"MIT BUY below its trigger", ORDER_BUY, ORDER_MIT, ORDER_DAY, 100, 0, 9.75, 9.5, 9.75, 9.5,
       300, 200, ORDER_FILLED, 100, 9.75},
      {"LIT SELL above its trigger", ORDER_SELL, ORDER_LIT, ORDER_DAY, 100, 10.5, 10.5, 10.5, 10.75,
       10.5, 300, 200, ORDER_FILLED, 100, 10.5},
      {"IOC not filled is cancelled", ORDER_BUY, ORDER_LMT, ORDER_IOC, 100, 9.5, 0, 10, 10.25, 10,
       300, 200, ORDER_CANCELLED, 0, 0},
      {"REL is not simulated", ORDER_BUY, ORDER_REL, ORDER_DAY, 100, 0, 0, 10, 10.25, 10, 300, 200,
       ORDER_CANCELLED, 0, 0},
      // An empty ask books nothing: a fill needs at least one.
      {"MKT BUY with no ask size waits", ORDER_BUY, ORDER_MKT, ORDER_DAY, 100, 0, 0, 10, 10.25, 10,
       300, 0, ORDER_SUBMITTED, 0, 0},
  };
  for (auto &c : cases) {
    mqt *r = quoted("IBM", 10, 10.25, 10, 300, 0);  // no ask size: nothing fills at placing
    r->ask_size = 0;
    order_rec *o = paper(r, c.action, c.type, c.qty, c.limit, c.aux, "", c.tif);
    ASSERT_EQ(place_order(o), 1) << c.name;
    quote(r, c.bid, c.ask, c.last, c.bid_size, c.ask_size);
    update_orders_on_quote(r);
    EXPECT_EQ(o->status, c.status) << c.name;
    EXPECT_EQ(o->filled, c.filled) << c.name;
    if (c.filled) {
      EXPECT_DOUBLE_EQ(o->avg_fill_price, c.price) << c.name;
    }
    delete_order(o);
    free_all_mqts();
  }
}

TEST_F(PaperOrders, QueuedLimitFillsOnlyAfterTheSizeAheadHasTraded) {
  mqt *r = quoted("IBM", 10, 10.25, 10.25, 300, 200);
  r->depth_bids[0] = {10.0, 300};
  order_rec *o = paper(r, ORDER_BUY, ORDER_LMT, 100, 10.0);
  ASSERT_EQ(place_order(o), 1);
  EXPECT_EQ(o->status, (uint32_t)ORDER_SUBMITTED);
  EXPECT_EQ(o->queue_depth, 300);

  quote(r, 10, 10.25, 10, 300, 200, 200);  // 200 traded at the limit
  update_orders_on_quote(r);
  EXPECT_EQ(o->queue_depth, 100);
  EXPECT_EQ(o->filled, 0);
  quote(r, 10, 10.25, 10, 300, 200, 150);  // 150 more: 50 of ours trade
  update_orders_on_quote(r);
  EXPECT_EQ(o->filled, 50);
  EXPECT_EQ(o->remaining, 50);
  EXPECT_EQ(o->status, (uint32_t)ORDER_SUBMITTED);
  EXPECT_TRUE(o->flags & ORDER_F_PARTLY_FILLED);
}

TEST_F(PaperOrders, SmallerDepthAtTheLimitLowersTheQueue) {
  mqt *r = quoted("IBM", 10, 10.25, 10.25, 300, 200);
  r->depth_bids[0] = {10.0, 300};
  order_rec *o = paper(r, ORDER_BUY, ORDER_LMT, 100, 10.0);
  place_order(o);
  order_depth_update(r, 1, 10.0, 50);  // the other side: no change
  order_depth_update(r, 0, 9.75, 50);  // another price: no change
  EXPECT_EQ(o->queue_depth, 300);
  order_depth_update(r, 0, 10.0, 120);
  EXPECT_EQ(o->queue_depth, 120);
  order_depth_update(r, 0, 10.0, 200);  // a larger size does not raise it
  EXPECT_EQ(o->queue_depth, 120);
}

TEST_F(PaperOrders, QueueDepthWalksTheRowsOfTheOrdersSide) {
  struct {
    const char *name;
    int action;
    double limit;
    int depth;
  } cases[] = {
      {"BUY at a bid row", ORDER_BUY, 9.75, 40},
      {"BUY above the best bid is first", ORDER_BUY, 10.5, 0},
      {"BUY below every row: a tenth of the sum", ORDER_BUY, 8, (100 + 40) / 10},
      {"SELL at an ask row", ORDER_SELL, 11, 70},
      // As for a BUY: an ask row above the limit ends the walk.
      {"SELL below the best ask is first", ORDER_SELL, 10.75, 0},
      {"SELL above every row", ORDER_SELL, 12, (60 + 70) / 10},
  };
  for (auto &c : cases) {
    mqt *r = quoted("IBM", 10, 10.75, 10.25, 0, 0);
    r->depth_bids[0] = {10, 100};
    r->depth_bids[1] = {9.75, 40};
    r->depth_asks[0] = {10.8, 60};
    r->depth_asks[1] = {11, 70};
    order_rec *o = paper(r, c.action, ORDER_LMT, 100, c.limit);
    place_order(o);
    EXPECT_EQ(o->queue_depth, c.depth) << c.name;
    free_all_mqts();
  }
}

TEST_F(PaperOrders, StopIsPreSubmittedThenFillsAsAMarketOrderAtTheAsk) {
  mqt *r = quoted("IBM", 10, 10.25, 10, 300, 200);
  order_rec *o = paper(r, ORDER_BUY, ORDER_STP, 100, 0, 10.5);
  place_order(o);
  EXPECT_EQ(o->status, (uint32_t)ORDER_PRE_SUBMITTED);
  quote(r, 10.25, 10.5, 10.25, 300, 200);
  update_orders_on_quote(r);
  EXPECT_EQ(o->status, (uint32_t)ORDER_PRE_SUBMITTED);
  quote(r, 10.5, 10.75, 10.5, 300, 200);
  update_orders_on_quote(r);
  EXPECT_EQ(order_type(o), ORDER_MKT);
  EXPECT_EQ(o->status, (uint32_t)ORDER_FILLED);
  EXPECT_DOUBLE_EQ(o->avg_fill_price, 10.75);
  EXPECT_EQ(sounds().back(), 3);
}

TEST_F(PaperOrders, TrailingStopFollowsTheTradeAndFills) {
  mqt *r = quoted("IBM", 10, 10.25, 10, 300, 200);
  order_rec *o = paper(r, ORDER_SELL, ORDER_TRAIL, 100, 10, 0.5);
  place_order(o);
  EXPECT_DOUBLE_EQ(o->trail_stop, 9.5);
  EXPECT_DOUBLE_EQ(o->relay.limit, 0);
  quote(r, 11, 11.25, 11, 300, 200);  // up: the stop follows
  update_orders_on_quote(r);
  EXPECT_DOUBLE_EQ(o->trail_stop, 10.5);
  quote(r, 10.75, 11, 10.75, 300, 200);  // down: it stays
  update_orders_on_quote(r);
  EXPECT_DOUBLE_EQ(o->trail_stop, 10.5);
  EXPECT_EQ(o->filled, 0);
  quote(r, 10.25, 10.5, 10.5, 300, 200);
  update_orders_on_quote(r);
  EXPECT_EQ(o->status, (uint32_t)ORDER_FILLED);
  EXPECT_DOUBLE_EQ(o->avg_fill_price, 10.25);
}

// Without a starting price a BUY trail starts at the first trade, not at
// "0 + aux", which every price is above.
TEST_F(PaperOrders, BuyTrailWithoutStartingPriceStartsAtTheTrade) {
  mqt *r = quoted("IBM", 10, 10.25, 10, 300, 200);
  order_rec *o = paper(r, ORDER_BUY, ORDER_TRAIL, 100, 0, 0.5);
  place_order(o);
  EXPECT_EQ(o->filled, 0);
  EXPECT_DOUBLE_EQ(o->trail_stop, 10.5);
  quote(r, 9.5, 9.75, 9.5, 300, 200);  // down: the stop follows
  update_orders_on_quote(r);
  EXPECT_DOUBLE_EQ(o->trail_stop, 10);
  EXPECT_EQ(o->filled, 0);
  quote(r, 10, 10.25, 10, 300, 200);
  update_orders_on_quote(r);
  EXPECT_EQ(o->status, (uint32_t)ORDER_FILLED);
  EXPECT_DOUBLE_EQ(o->avg_fill_price, 10.25);
}

TEST_F(PaperOrders, FilledParentReleasesItsChildren) {
  mqt *r = quoted("IBM", 10, 10.25, 10, 300, 0);
  r->ask_size = 0;
  order_rec *parent = paper(r, ORDER_BUY, ORDER_LMT, 100, 10.25);
  parent->relay.type &= ~ORDER_TRANSMIT;
  place_order(parent);
  order_rec *stop = paper(r, ORDER_SELL, ORDER_STP, 100, 0, 9.5);
  stop->relay.parent_id = parent->relay.order_id;
  place_order(stop);
  EXPECT_TRUE(stop->flags & ORDER_F_WAITING);
  EXPECT_EQ(stop->group_id, parent->relay.order_id);
  quote(r, 10, 10.25, 10, 300, 200);
  update_orders_on_quote(r);
  EXPECT_EQ(parent->status, (uint32_t)ORDER_FILLED);
  EXPECT_EQ(stop->status, (uint32_t)ORDER_PRE_SUBMITTED);
  EXPECT_FALSE(stop->flags & ORDER_F_WAITING);
}

TEST_F(PaperOrders, OcaGroupAcrossSymbolsIsReducedThenCancelled) {
  mqt *ibm = quoted("IBM", 10, 10.25, 10, 300, 0);
  mqt *msft = quoted("MSFT", 20, 20.25, 20, 300, 0);
  ibm->ask_size = msft->ask_size = 0;
  order_rec *a = paper(ibm, ORDER_BUY, ORDER_MKT, 100, 0);
  order_rec *b = paper(msft, ORDER_BUY, ORDER_LMT, 100, 19);
  // Sixteen characters: the whole field, compared over its width.
  strcpy(a->relay.oca, "0123456789ABCDEF");
  strcpy(b->relay.oca, "0123456789ABCDEF");
  place_order(a);
  place_order(b);
  quote(ibm, 10, 10.25, 10, 300, 40);
  update_orders_on_quote(ibm);
  EXPECT_EQ(a->filled, 40);
  EXPECT_EQ(b->remaining, 60);
  EXPECT_EQ(b->status, (uint32_t)ORDER_SUBMITTED);
  quote(ibm, 10, 10.25, 10, 300, 500);
  update_orders_on_quote(ibm);
  EXPECT_EQ(a->status, (uint32_t)ORDER_FILLED);
  EXPECT_EQ(b->remaining, 0);
  EXPECT_EQ(b->status, (uint32_t)ORDER_CANCELLED);
}

TEST_F(PaperOrders, CancellingAnOcaMemberCancelsEachOtherMemberOnce) {
  mqt *ibm = quoted("IBM", 10, 10.25, 10, 300, 0);
  mqt *msft = quoted("MSFT", 20, 20.25, 20, 300, 0);
  ibm->ask_size = msft->ask_size = 0;
  std::vector<order_rec *> group = {paper(ibm, ORDER_BUY, ORDER_LMT, 100, 9),
                                    paper(msft, ORDER_BUY, ORDER_LMT, 100, 19),
                                    paper(msft, ORDER_SELL, ORDER_LMT, 100, 21)};
  order_rec *other = paper(msft, ORDER_BUY, ORDER_LMT, 100, 18);
  for (order_rec *o : group) place_order(o);
  place_order(other);
  ASSERT_EQ(cancel_order(group[2]), 1);  // cancelled before it joins the group
  for (order_rec *o : group) strcpy(o->relay.oca, "G1");
  sounds().clear();
  ASSERT_EQ(cancel_order(group[0]), 1);
  for (order_rec *o : group) EXPECT_EQ(o->status, (uint32_t)ORDER_CANCELLED);
  EXPECT_EQ(other->status, (uint32_t)ORDER_SUBMITTED);
  EXPECT_EQ(sounds(), (std::vector<int>{4, 4}));  // the two still working, once each
}

TEST_F(PaperOrders, LettersRunOutAfterTheTwentySixth) {
  mqt *r = quoted("IBM", 10, 10.25, 10);
  for (int i = 0; i < 26; i++) {
    int letter = next_order_letter(r);
    ASSERT_EQ(letter, 'A' + i);
    set_order_letter(create_order(r), letter);
  }
  EXPECT_EQ(next_order_letter(r), 0);
  // A freed letter is given again.
  order_rec *c = r->orders->next->next;
  cancel_order(c);
  delete_order(c);
  EXPECT_EQ(next_order_letter(r), 'C');
}

TEST_F(PaperOrders, BrokerOrdersTakeTheirFamilysLetters) {
  mqt *r = quoted("IBM", 10, 10.25, 10);
  order_rec *parent = create_order(r);
  parent->relay.order_id = 10;
  order_rec *child = create_order(r);
  child->relay.order_id = 11;
  child->relay.parent_id = 10;
  order_rec *single = create_order(r);
  single->relay.order_id = 12;
  assign_order_letter(parent);  // a parent gives its letter to its children
  EXPECT_EQ(parent->letter, 'a');
  EXPECT_EQ(child->letter, 'a');
  EXPECT_TRUE(child->flags & ORDER_F_WAITING);
  assign_order_letter(single);
  EXPECT_EQ(single->letter, 'b');
  order_rec *late = create_order(r);  // reported after its parent
  late->relay.order_id = 13;
  late->relay.parent_id = 10;
  assign_order_letter(late);
  EXPECT_EQ(late->letter, 'A');
}

TEST_F(PaperOrders, RealTrailingStopIsTrailedHere) {
  mqt *r = quoted("IBM", 10, 10.25, 10);
  order_rec *o = create_order(r);
  o->relay.type = order_type_word(ORDER_BUY, ORDER_GTC, ORDER_TRAIL) | ORDER_TRANSMIT;
  o->relay.quantity = 100;
  o->relay.aux = 0.5;
  o->trail_stop = 10.5;
  o->status = ORDER_PRE_SUBMITTED;
  quote(r, 9.5, 9.75, 9.5, 100, 100);
  update_orders_on_quote(r);
  EXPECT_DOUBLE_EQ(o->trail_stop, 10);
  quote(r, 10, 10.25, 10.25, 100, 100);  // up: a BUY's stop stays
  update_orders_on_quote(r);
  EXPECT_DOUBLE_EQ(o->trail_stop, 10);
  EXPECT_EQ(o->filled, 0);
  EXPECT_EQ(sounds(), (std::vector<int>{7}));
}

TEST_F(PaperOrders, OcaTextsStayWithinTheirField) {
  mqt *r = quoted("VERYLONGSYMBOLNAME.EXCHANGE", 10, 10.25, 10);
  order_rec *a = create_order(r);
  set_order_letter(a, 'B');
  char oca[ORDER_TEXT_OCA + 1];
  order_oca_group(a, oca);
  EXPECT_EQ(std::string(oca), "B_VERYLONGSYMBOL");
  strcpy(a->relay.oca, oca);
  a->oca_number = 7;
  order_rec *b = create_order(r);
  set_order_letter(b, 'B');
  order_oca_group(b, oca);
  EXPECT_EQ(std::string(oca), "B_VERYLONGSYMBOL");
  EXPECT_EQ(b->oca_number, 7);
}

TEST_F(PaperOrders, WindowsAreToldByTheOrdersSerialAndDoneOrdersAgeAway) {
  MessageSink sink;
  mqt *r = quoted("IBM", 10, 10.25, 10, 300, 200);
  r->quote_epoch = 1000;
  order_rec *o = paper(r, ORDER_BUY, ORDER_MKT, 100, 0);
  o->window = sink.wnd;
  uint32_t serial = o->serial;
  place_order(o);
  ASSERT_EQ(o->status, (uint32_t)ORDER_FILLED);
  ASSERT_GT(sink.count(WM_ORDER_STATUS), 0);
  for (auto &m : sink.got) EXPECT_EQ(m.lparam, (kv_lparam)serial);
  EXPECT_EQ(find_order_by_serial(serial), o);

  r->quote_epoch = 1003;  // 3 s after the fill: stale
  update_orders_on_quote(r);
  EXPECT_TRUE(o->flags & ORDER_F_STALE);
  EXPECT_EQ(sink.count(WM_ORDER_REMOVED), 1);
  r->quote_epoch = 1018;  // 15 s later: finished
  update_orders_on_quote(r);
  EXPECT_TRUE(o->flags & ORDER_F_FINISHED);
  EXPECT_EQ(get_mqt_orders(r), nullptr);
  EXPECT_EQ(find_order_by_serial(serial), nullptr);
  EXPECT_EQ(sink.got.back().lparam, (kv_lparam)serial);
}

TEST_F(PaperOrders, PaperIdsComeFromACounterKeptInTheSettings) {
  mqt *r = quoted("IBM", 10, 10.25, 10, 300, 0);
  r->ask_size = 0;
  order_rec *a = paper(r, ORDER_BUY, ORDER_LMT, 10, 9);
  order_rec *b = paper(r, ORDER_BUY, ORDER_LMT, 10, 9);
  place_order(a);
  place_order(b);
  EXPECT_EQ(b->perm_id, a->perm_id + 1);
  EXPECT_EQ(a->relay.order_id, a->perm_id);
  EXPECT_NE(a->serial, b->serial);
}

TEST_F(PaperOrders, RepricingAStudyOrderNeverDividesByZero) {
  struct {
    const char *name;
    double tick;
    int multiple, offset, down;
    double line, limit;
    int result;
  } cases[] = {
      {"multiple 0 counts as 1", 0.25, 0, 0, 1, 10.3, 10.25, 1},
      {"rounded up to two ticks", 0.25, 2, 0, 0, 10.3, 10.5, 1},
      {"offset in ticks", 0.25, 1, -2, 1, 10.3, 9.75, 1},
      {"no tick: nothing moves", 0, 1, 0, 1, 10.3, 9, 0},
  };
  for (auto &c : cases) {
    mqt *r = quoted("IBM", 10, 10.25, 10, 300, 0);
    r->ask_size = 0;
    order_rec *o = paper(r, ORDER_BUY, ORDER_LMT, 100, 9);
    place_order(o);
    EXPECT_EQ(reprice_study_order(o, c.line, c.tick, c.multiple, c.offset, c.down), c.result)
        << c.name;
    EXPECT_DOUBLE_EQ(o->relay.limit, c.limit) << c.name;
    free_all_mqts();
  }
}

// A triggered BUY stop on a spread buys the first leg, sells the second and
// hedges the value difference; a hedge without a price gets no order.
TEST_F(PaperOrders, TriggeredSpreadOrderBecomesLegOrders) {
  for (double hedge_last : {400.0, 0.0}) {
    mqt *es = quoted("ES", 4999.75, 5000.25, 5000, 10, 10);
    es->multiplier = 50;
    mqt *ym = quoted("YM", 39999, 40001, 40000, 10, 10);
    ym->multiplier = 5;
    mqt *dia = quoted("DIA", 399.5, 400.5, hedge_last, 1000, 1000);
    mqt *s = quoted("S~ES~YM", 1, 2, 1.5, 10, 10);
    s->flags |= MQT_SPREAD;
    s->leg1 = es;
    s->leg2 = ym;
    s->leg_ratio[0] = 1;
    s->leg_ratio[1] = -10;
    order_rec *o = paper(s, ORDER_BUY, ORDER_STP, 2, 0, 2.0);
    order_rec *child = paper(s, ORDER_SELL, ORDER_STP, 2, 0, 1.0);  // its protective stop
    place_order(o);
    child->relay.parent_id = o->relay.order_id;
    place_order(child);
    EXPECT_EQ(o->status, (uint32_t)ORDER_PRE_SUBMITTED);
    update_orders_on_quote(s);
    EXPECT_EQ(es->orders, nullptr);  // not yet triggered
    s->last = 2;
    update_orders_on_quote(s);
    EXPECT_EQ(o->status, (uint32_t)ORDER_CANCELLED);
    EXPECT_EQ(child->status, (uint32_t)ORDER_PRE_SUBMITTED);
    EXPECT_FALSE(child->flags & ORDER_F_WAITING);
    ASSERT_NE(es->orders, nullptr);
    ASSERT_NE(ym->orders, nullptr);
    EXPECT_EQ(order_action(es->orders), ORDER_BUY);
    EXPECT_EQ(es->orders->filled, 2);  // paper legs fill at once
    EXPECT_EQ(order_action(ym->orders), ORDER_SELL);
    EXPECT_EQ(order_tif(ym->orders), ORDER_GTC);
    if (hedge_last > 0) {
      // |50 x 5000 - 5 x 40000| / 400
      ASSERT_NE(dia->orders, nullptr);
      EXPECT_EQ(order_action(dia->orders), ORDER_SELL);
      EXPECT_EQ(dia->orders->filled, 125);
    } else {
      EXPECT_EQ(dia->orders, nullptr);
    }
    free_all_mqts();
  }
  EXPECT_EQ(hedge_quantity(100, 0), 0);
  EXPECT_EQ(hedge_quantity(100, -1), 0);
  EXPECT_EQ(hedge_quantity(-100, 40), 3);
}

TEST_F(PaperOrders, StatusOfAnUnknownIdIsReported) {
  StatusCapture status;
  g_tws_error_hooks.set_status_by_id(4242, ORDER_CANCELLED);
  EXPECT_TRUE(status.saw("Can't find order id 4242"));
  EXPECT_EQ(copy_advisor_fields(nullptr, nullptr), 0);
  EXPECT_TRUE(status.saw("NULL order pointer"));
}

}  // namespace
