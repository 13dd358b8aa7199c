// Graphical trading in a real chart window of TEST: the mouse picks a strip
// button and drags to a price, picks an order line and moves it with its
// children, the keys change quantities and reset, the quick-order keys
// send IOC orders; orders are read from the symbol's order list and fills
// from the paper account's trades.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QShortcut>
#include <QTimer>
#include <memory>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "broker/executions.h"
#include "broker/orddef.h"
#include "broker/orders.h"
#include "broker/positions.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "chartwin/tradeview.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/pricefmt.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/qt/frames.h"
#include "platform/qt/services_qt.h"
#include "platform/services.h"
#include "platform/testing/wait.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "settings/datadirs.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "studies/study.h"
#include "studies/studyapi.h"

namespace {

std::vector<std::string> s_boxes;
// Whether a quote thread could take the chart lock while each box was up:
// a box waits for the user and must not hold the lock.
std::vector<bool> s_lock_free;
int record_box(void*, const char* text, const char*, unsigned) {
  s_boxes.emplace_back(text);
  bool free_lock = false;
  std::thread other([&] {
    free_lock = g_chart_lock.try_lock();
    if (free_lock) g_chart_lock.unlock();
  });
  other.join();
  s_lock_free.push_back(free_lock);
  return IDYES;
}

class TradeViewTest : public ChartWinTest {
 protected:
  void SetUp() override {
    ChartWinTest::SetUp();
    s_boxes.clear();
    s_lock_free.clear();
    kv_services s{};
    s.message_box = record_box;
    kv_services_install(&s);
  }
  void TearDown() override {
    close_all_accounts();
    kv_services_reset();
    ChartWinTest::TearDown();
  }

  // A chart of TEST with a quote of 19.90 / 20.10 last 20.00, a paper
  // order definition (account PAPER1, lots of 100) and trading shown.
  CKvChartView* open_test() {
    write_price_file("TEST", TU_DAILY, wave_bars(120));
    CKvChartDoc* doc = new_chart();
    if (!doc) return nullptr;
    CKvChartView* v = view_of(doc);
    type_symbol(v, "TEST");
    if (!doc->m_chart || !doc->m_chart->mqt) return nullptr;
    rec = doc->m_chart->mqt;
    {
      kv_lock guard(g_chart_lock);
      rec->bid = 19.9f, rec->ask = 20.1f, rec->last = 20.0f;
      rec->bid_size = rec->ask_size = 500;
      rec->last_size = 100;
      rec->tick_size = 0.01;
      rec->flags |= MQT_QUOTE_STORED;
    }
    // The record outlives a test: no orders or position of an earlier one.
    delete_orders(rec);
    {
      kv_lock guard(g_chart_lock);
      rec->paper_quantity = rec->paper_avg_price = rec->paper_profit = 0;
    }
    def = g_orddef_store.GetForSymbol(rec);
    if (!def) return nullptr;
    snprintf(def->account, sizeof def->account, "PAPER1");
    def->flags = ORDDEF_MODE_PAPER;
    def->lot_size = 100;
    def->increment = 100;
    def->tick_size = 0;
    if (!v->OnCmdMsg(33213)) return nullptr;  // Trading/Show Graphical Trading
    paint(v);
    return v;
  }
  static void paint(CKvChartView* v) {
    v->Invalidate(true);
    v->repaint();
  }
  static void mouse(CKvChartView* v, QEvent::Type type, int x, int y) {
    QPointF p(x, y);
    Qt::MouseButton b = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, p, v->mapToGlobal(p), b, held, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
  }
  static void click(CKvChartView* v, int x, int y) {
    mouse(v, QEvent::MouseMove, x, y);
    mouse(v, QEvent::MouseButtonPress, x, y);
    mouse(v, QEvent::MouseButtonRelease, x, y);
  }
  // Press at (x, y1), drag to y2, release.
  static void drag(CKvChartView* v, int x, int y1, int y2) {
    mouse(v, QEvent::MouseMove, x, y1);
    mouse(v, QEvent::MouseButtonPress, x, y1);
    mouse(v, QEvent::MouseMove, x, (y1 + y2) / 2);
    mouse(v, QEvent::MouseMove, x, y2);
    mouse(v, QEvent::MouseButtonRelease, x, y2);
  }
  static void key(CKvChartView* v, int k, const QString& text = QString(),
                  Qt::KeyboardModifiers m = Qt::NoModifier) {
    QKeyEvent e(QEvent::KeyPress, k, m, text);
    QCoreApplication::sendEvent(v, &e);
  }
  KvRect data_rect(CKvChartView* v) {
    for (int slot = 0; slot < 4; slot++)
      if (v->Settings()->pane_shown[slot] && (v->Settings()->pane_content[slot] & 1))
        return v->Panes().panes[slot].data_rect;
    return KvRect();
  }
  KvRect trade_rect(CKvChartView* v) {
    KvRect r;
    v->Panes().getActiveGrTradeRect(1, &r);
    return r;
  }
  std::vector<order_rec> orders() {
    std::vector<order_rec> out;
    kv_lock guard(g_chart_lock);
    for (order_rec* o = rec->orders; o; o = o->next) out.push_back(*o);
    return out;
  }
  // Picks the strip button and drags from the chart's middle to y.
  void place_with_button(CKvChartView* v, int button, int y) {
    KvRect b = v->GrTrade()->ButtonRect(button);
    click(v, b.left + 7, b.top + 7);
    KvRect d = data_rect(v);
    drag(v, d.left + d.Width() / 3, d.top + d.Height() / 2, y);
  }
  int paper_trades() {
    int n = 0;
    for_each_account_trade(
        "PAPER1", [](const position_trade*, void* ctx) { ++*static_cast<int*>(ctx); }, &n);
    return n;
  }

  mqt* rec = nullptr;
  OrderDef* def = nullptr;
};

TEST_F(TradeViewTest, DraggingTheBuyLimitButtonPlacesAPaperLimitOrderAtTheRoundedPrice) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  KvRect b = t->ButtonRect(GR_BUY_LIMIT);
  ASSERT_FALSE(b.IsRectEmpty());
  click(v, b.left + 7, b.top + 7);
  EXPECT_TRUE(v->m_view_flags & GR_ARMED);
  EXPECT_EQ(t->Selection().kind, GR_HIT_BUTTON);
  EXPECT_EQ(t->StatusText(), QStringLiteral("BUY 100 LMT none none"));

  KvRect d = data_rect(v);
  int y = d.top + d.Height() * 3 / 4;
  int x = d.left + d.Width() / 3;
  mouse(v, QEvent::MouseMove, x, d.top + d.Height() / 2);
  mouse(v, QEvent::MouseButtonPress, x, d.top + d.Height() / 2);
  EXPECT_TRUE(v->m_view_flags & GR_DRAGGING);
  mouse(v, QEvent::MouseMove, x, y);
  // The price box follows the cursor, its bottom at the cursor.
  EXPECT_EQ(t->DragBox().bottom, y);
  double expect = t->RoundToTick(t->YToPrice(y));
  EXPECT_DOUBLE_EQ(t->DragPrice(), expect);
  mouse(v, QEvent::MouseButtonRelease, x, y);
  EXPECT_FALSE(v->m_view_flags & (GR_DRAGGING | GR_ARMED | GR_BOX_SHOWN));

  std::vector<order_rec> o = orders();
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(order_type(&o[0]), ORDER_LMT);
  EXPECT_EQ(order_action(&o[0]), ORDER_BUY);
  EXPECT_TRUE(o[0].relay.type & ORDER_SIMULATED);
  EXPECT_STREQ(o[0].relay.account, "PAPER1");
  EXPECT_EQ(o[0].relay.quantity, 100);
  EXPECT_NEAR(o[0].relay.limit, expect, 1e-9);
  EXPECT_NEAR(std::round(o[0].relay.limit * 100), o[0].relay.limit * 100, 1e-6);
  EXPECT_EQ(o[0].status, (uint32_t)ORDER_SUBMITTED);  // below the ask: it rests

  // Its line is hit as an order, never as a strip button, whatever its
  // paper id (the first paper orders are numbered 1 to 7).
  paint(v);
  KvRect tr = trade_rect(v);
  grtrade_hit h = t->IsOverGrTrade(tr.left + 7, t->PriceToY(o[0].relay.limit));
  EXPECT_EQ(h.kind, GR_HIT_ORDER);
  EXPECT_EQ(h.value, o[0].serial);
  EXPECT_LE(o[0].relay.order_id, 7);
}

TEST_F(TradeViewTest, DraggingAnOrderLineMovesItAndItsChildrenByTheSameShift) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  // A bracket: stop 0.50 under and target 0.50 over the entry.
  def->flags |= 1u << ORDDEF_STOP_SHIFT | 1u << ORDDEF_TARGET_SHIFT;
  def->stop_offset = 0.5;
  def->target_offset = 0.5;
  KvRect d = data_rect(v);
  // The entry rests under the market; its children wait for its fill
  // however the market stands to them.
  place_with_button(v, GR_BUY_LIMIT, t->PriceToY(18.0));
  std::vector<order_rec> o = orders();
  ASSERT_EQ(o.size(), 3u);
  EXPECT_EQ(o[0].status, (uint32_t)ORDER_SUBMITTED);
  EXPECT_EQ(o[2].status, (uint32_t)ORDER_PRE_SUBMITTED);  // the target waits under the bid
  EXPECT_EQ(o[2].filled, 0);
  double entry = o[0].relay.limit;
  EXPECT_EQ(order_type(&o[1]), ORDER_STP);
  EXPECT_NEAR(o[1].relay.aux, entry - 0.5, 1e-9);
  EXPECT_EQ(order_type(&o[2]), ORDER_LMT);
  EXPECT_NEAR(o[2].relay.limit, entry + 0.5, 1e-9);
  EXPECT_EQ(o[1].relay.parent_id, o[0].relay.order_id);
  EXPECT_EQ(o[2].relay.parent_id, o[0].relay.order_id);

  // A stop-limit child: its two prices keep their distance when moved.
  order_rec* child = create_order(rec);
  ASSERT_TRUE(child);
  {
    kv_lock guard(g_chart_lock);
    child->relay.type =
        order_type_word(ORDER_SELL, ORDER_DAY, ORDER_STPLMT) | ORDER_SIMULATED | ORDER_TRANSMIT;
    child->relay.quantity = 100;
    child->relay.aux = entry - 1.0;
    child->relay.limit = entry - 1.1;
    child->relay.parent_id = o[0].relay.order_id;
    place_order(child);
  }

  paint(v);
  KvRect tr = trade_rect(v);
  int y0 = t->PriceToY(entry);
  click(v, tr.left + 7, y0);
  ASSERT_EQ(t->Selection().kind, GR_HIT_ORDER);
  EXPECT_EQ(t->Selection().value, o[0].serial);
  int y1 = y0 + d.Height() / 10;
  drag(v, d.left + d.Width() / 2, y0, y1);

  o = orders();
  ASSERT_EQ(o.size(), 4u);
  double moved = o[0].relay.limit, shift = moved - entry;
  EXPECT_LT(shift, 0);
  EXPECT_NEAR(moved, t->RoundToTick(t->YToPrice(y1)), 1e-9);
  EXPECT_NEAR(o[1].relay.aux, entry - 0.5 + shift, 1e-6);
  EXPECT_NEAR(o[2].relay.limit, entry + 0.5 + shift, 1e-6);
  EXPECT_NEAR(o[3].relay.aux, entry - 1.0 + shift, 1e-6);
  EXPECT_NEAR(o[3].relay.limit, entry - 1.1 + shift, 1e-6);
  EXPECT_NEAR(o[3].relay.aux - o[3].relay.limit, 0.1, 1e-6);
}

TEST_F(TradeViewTest, CtrlBSendsAnIocAtTheMidPriceAndEscapeResets) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  def->hotkey_buy_offset = 0.1;  // mid 20.00 + 0.10 meets the ask
  // The accelerator of the main frame, as the key reaches it.
  QShortcut* ctrl_b = nullptr;
  for (QShortcut* s : theApp->MainFrame()->findChildren<QShortcut*>())
    if (s->key() == QKeySequence(QStringLiteral("Ctrl+B"))) ctrl_b = s;
  ASSERT_TRUE(ctrl_b);
  v->GetParentFrame()->activateWindow();
  v->setFocus();
  emit ctrl_b->activated();
  std::vector<order_rec> o = orders();
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(order_tif(&o[0]), ORDER_IOC);
  EXPECT_EQ(order_action(&o[0]), ORDER_BUY);
  EXPECT_NEAR(o[0].relay.limit, 20.10, 1e-6);
  EXPECT_EQ(o[0].status, (uint32_t)ORDER_FILLED);
  EXPECT_EQ(paper_trades(), 1);
  EXPECT_EQ(rec->paper_quantity, 100);

  // Sell at mid without an offset: nobody bids 20.00, the IOC is cancelled.
  {
    kv_lock guard(g_chart_lock);
    rec->last = 19.95f;
  }
  ASSERT_TRUE(v->OnCmdMsg(33219));
  o = orders();
  ASSERT_EQ(o.size(), 2u);
  EXPECT_EQ(o[1].status, (uint32_t)ORDER_CANCELLED);
  EXPECT_EQ(paper_trades(), 1);

  // Escape drops a picked button.
  KvRect b = t->ButtonRect(GR_SELL_LIMIT);
  click(v, b.left + 7, b.top + 7);
  ASSERT_TRUE(v->m_view_flags & GR_ARMED);
  EXPECT_EQ(t->StatusText(), QStringLiteral("SELL 100 LMT closing none none"));
  key(v, Qt::Key_Escape);
  EXPECT_FALSE(v->m_view_flags & (GR_ARMED | GR_DRAGGING | GR_OVER_TARGET));
  EXPECT_EQ(t->Selection().kind, GR_HIT_NONE);
  EXPECT_TRUE(t->StatusText().isEmpty());
}

TEST_F(TradeViewTest, F4RotatesTheTargetKindOnlyWhileTradingIsShown) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  auto target = [this] { return (def->flags >> ORDDEF_TARGET_SHIFT) & ORDDEF_KIND_MASK; };
  // The chart claims F4 from the frame's Status Messages shortcut.
  auto f4 = [v](QEvent::Type type) {
    QKeyEvent e(type, Qt::Key_F4, Qt::NoModifier);
    e.ignore();
    QCoreApplication::sendEvent(v, &e);
    return e.isAccepted();
  };
  EXPECT_TRUE(f4(QEvent::ShortcutOverride));
  f4(QEvent::KeyPress);
  EXPECT_EQ(target(), 1u);
  EXPECT_TRUE(def->flags & ORDDEF_MODIFIED);
  f4(QEvent::KeyPress);
  f4(QEvent::KeyPress);
  EXPECT_EQ(target(), 0u);  // LMT, MIT, back to none
  // Trading hidden: F4 is left to the frame and nothing rotates.
  ASSERT_TRUE(v->OnCmdMsg(33213));
  EXPECT_FALSE(f4(QEvent::ShortcutOverride));
  f4(QEvent::KeyPress);
  EXPECT_EQ(target(), 0u);
}

TEST_F(TradeViewTest, ClosingSellLimitWithABracketPlacesOneOrder) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  {
    kv_lock guard(g_chart_lock);
    rec->paper_quantity = 100;
    rec->paper_avg_price = 19.0;
  }
  def->flags |= 1u << ORDDEF_STOP_SHIFT | 1u << ORDDEF_TARGET_SHIFT;
  def->stop_offset = def->target_offset = 0.5;
  EXPECT_EQ(v->GrTrade()->BracketText(GR_SELL_LIMIT), QStringLiteral("LMT closing STP LMT"));
  KvRect d = data_rect(v);
  place_with_button(v, GR_SELL_LIMIT, d.top + d.Height() / 4);
  std::vector<order_rec> o = orders();
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(order_action(&o[0]), ORDER_SELL);
  EXPECT_EQ(o[0].relay.parent_id, 0);
}

TEST_F(TradeViewTest, QuantityKeysNeverGoBelowTheLotOrBelowOne) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  KvRect b = t->ButtonRect(GR_BUY_LIMIT);
  click(v, b.left + 7, b.top + 7);
  key(v, 0, QStringLiteral("3"));
  EXPECT_EQ(t->PreparedQuantity(), 300);
  key(v, 0, QStringLiteral("-"));
  key(v, 0, QStringLiteral("-"));
  key(v, 0, QStringLiteral("-"));
  EXPECT_EQ(t->PreparedQuantity(), 100);  // floored at the lot
  key(v, 0, QStringLiteral("+"));
  EXPECT_EQ(t->PreparedQuantity(), 200);
  KvRect d = data_rect(v);
  drag(v, d.left + 30, d.top + d.Height() / 2, d.top + d.Height() * 3 / 4);
  std::vector<order_rec> o = orders();
  ASSERT_EQ(o.size(), 1u);
  EXPECT_EQ(o[0].relay.quantity, 200);

  // On an existing order "-" stops above 0: the order keeps its size.
  paint(v);
  KvRect tr = trade_rect(v);
  click(v, tr.left + 7, t->PriceToY(o[0].relay.limit));
  ASSERT_EQ(t->Selection().kind, GR_HIT_ORDER);
  key(v, 0, QStringLiteral("-"));
  key(v, 0, QStringLiteral("-"));
  key(v, 0, QStringLiteral("-"));
  o = orders();
  EXPECT_EQ(o[0].relay.quantity, 100);
  EXPECT_TRUE(t->StatusText().contains(QStringLiteral("below 1")));

  // A lot size of 0 never makes an empty order.
  key(v, Qt::Key_Escape);
  def->lot_size = 0;
  click(v, b.left + 7, b.top + 7);
  EXPECT_FALSE(v->m_view_flags & GR_ARMED);  // refused before arming
  EXPECT_EQ(orders().size(), 1u);
  ASSERT_FALSE(s_boxes.empty());
  EXPECT_EQ(s_boxes.back(), "Lotsize is 0 in Order Definition Dialog");
}

TEST_F(TradeViewTest, PickingAFilledOrderRemovesItAndRemoveAsksOnlyForLiveOrders) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  KvRect d = data_rect(v);
  place_with_button(v, GR_BUY_LIMIT, d.top + d.Height() * 3 / 4);
  place_with_button(v, GR_BUY_LIMIT, d.top + d.Height() * 7 / 8);
  std::vector<order_rec> o = orders();
  ASSERT_EQ(o.size(), 2u);
  {
    kv_lock guard(g_chart_lock);
    set_order_status(rec->orders, ORDER_FILLED);
  }
  paint(v);
  KvRect tr = trade_rect(v);
  click(v, tr.left + 7, t->PriceToY(o[0].relay.limit));
  EXPECT_EQ(t->Selection().kind, GR_HIT_NONE);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(rec->orders->flags & (ORDER_F_FINISHED | ORDER_F_STALE),
              (uint32_t)(ORDER_F_FINISHED | ORDER_F_STALE));
  }

  // "Remove Order" on the live one asks first.
  s_boxes.clear();
  paint(v);
  t->IsOverGrTrade(tr.left + 7, t->PriceToY(o[1].relay.limit));
  ASSERT_TRUE(v->OnCmdMsg(33245));
  ASSERT_EQ(s_boxes.size(), 1u);
  EXPECT_NE(s_boxes[0].find("removes the order from Korvane only"), std::string::npos);
  o = orders();
  ASSERT_EQ(o.size(), 1u);  // the filled one was freed by the listing
  EXPECT_TRUE(o[0].flags & ORDER_F_STALE);
  EXPECT_EQ(o[0].status, (uint32_t)ORDER_SUBMITTED);  // never cancelled

  // A cancelled one goes without a question.
  place_with_button(v, GR_BUY_LIMIT, d.top + d.Height() * 3 / 4);
  order_rec* live = nullptr;
  {
    kv_lock guard(g_chart_lock);
    for (order_rec* p = rec->orders; p; p = p->next)
      if (!(p->flags & ORDER_F_STALE)) live = p;
    ASSERT_TRUE(live);
    cancel_order(live);
  }
  paint(v);
  s_boxes.clear();
  double price;
  {
    kv_lock guard(g_chart_lock);
    price = live->relay.limit;
  }
  t->IsOverGrTrade(tr.left + 7, t->PriceToY(price));
  ASSERT_TRUE(v->OnCmdMsg(33245));
  EXPECT_TRUE(s_boxes.empty());
}

// A right click over trading's area opens the order menu about the order
// under the pointer; its commands go to the chart. Elsewhere the chart menu.
TEST_F(TradeViewTest, RightClickOverTheTradingAreaOpensTheOrderMenuOfTheOrderUnderIt) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  KvRect d = data_rect(v);
  place_with_button(v, GR_BUY_LIMIT, d.top + d.Height() * 3 / 4);
  std::vector<order_rec> o = orders();
  ASSERT_EQ(o.size(), 1u);
  {
    kv_lock guard(g_chart_lock);
    snprintf(rec->orders->relay.oca, sizeof rec->orders->relay.oca, "GRP7");
  }
  paint(v);
  KvRect tr = trade_rect(v);
  ASSERT_FALSE(tr.IsRectEmpty());
  const int x = tr.left + 7, y_order = t->PriceToY(o[0].relay.limit);
  const int y_empty = y_order > d.top + 40 ? d.top + 20 : d.bottom - 20;

  struct shown_menu {
    bool seen = false;
    QString first;
    bool attach = false;      // "Attach Study..." enabled
    bool chart_menu = false;  // the chart menu's pane items
  };
  // Right-clicks at (x, y) and chooses the command (0: closes the menu).
  auto right_click = [&](int cx, int cy, unsigned choose) {
    shown_menu m;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      m.seen = true;
      const QList<QAction*> actions = menu->actions();
      m.first = actions.isEmpty() ? QString() : actions.front()->text();
      for (QAction* a : actions) {
        if (a->objectName() == QLatin1String("cmd33323")) m.attach = a->isEnabled();
        if (a->objectName() == QLatin1String("cmd32773")) m.chart_menu = true;
        if (choose && a->objectName() == QStringLiteral("cmd%1").arg(choose))
          menu->setActiveAction(a);
      }
      QKeyEvent k(QEvent::KeyPress, choose ? Qt::Key_Return : Qt::Key_Escape, Qt::NoModifier);
      QCoreApplication::sendEvent(menu, &k);
    });
    QPointF p(cx, cy);
    QMouseEvent e(QEvent::MouseButtonPress, p, v->mapToGlobal(p), Qt::RightButton, Qt::RightButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
    return m;
  };

  // Over the order: its group named; no studies, so nothing to attach.
  shown_menu m = right_click(x, y_order, 0);
  ASSERT_TRUE(m.seen);
  EXPECT_FALSE(m.chart_menu);
  EXPECT_EQ(m.first, QStringLiteral("OCA=\"GRP7\""));
  EXPECT_FALSE(m.attach);
  // In the area but over no order; outside the area the chart menu.
  m = right_click(x, y_empty, 0);
  EXPECT_EQ(m.first, QStringLiteral("No Order"));
  m = right_click(d.left + d.Width() / 3, y_order, 0);
  ASSERT_TRUE(m.seen);
  EXPECT_TRUE(m.chart_menu);

  // With a study on the chart an order under the pointer may take it.
  {
    kv_lock guard(g_chart_lock);
    ASSERT_TRUE(find_or_create_study(v->GetDocument()->m_chart, STUDY_SMA, 10, PRICE_CLOSE, 0.0));
  }
  bool attached = false;
  v->MapCommand(33323, [&] { attached = true; });
  EXPECT_TRUE(right_click(x, y_order, 0).attach);
  EXPECT_FALSE(right_click(x, y_empty, 0).attach);
  EXPECT_TRUE(right_click(x, y_order, 33323).seen);
  EXPECT_TRUE(attached);

  // "Remove Order" asks for the live order, then takes it off the chart.
  s_boxes.clear();
  ASSERT_TRUE(right_click(x, y_order, 33245).seen);
  ASSERT_EQ(s_boxes.size(), 1u);
  EXPECT_NE(s_boxes[0].find("removes the order from Korvane only"), std::string::npos);
  o = orders();
  ASSERT_EQ(o.size(), 1u);
  EXPECT_TRUE(o[0].flags & ORDER_F_STALE);
  EXPECT_EQ(o[0].status, (uint32_t)ORDER_SUBMITTED);

  // "Remove All Cancelled" from the menu takes every cancelled order away.
  place_with_button(v, GR_BUY_LIMIT, d.top + d.Height() * 3 / 4);
  {
    kv_lock guard(g_chart_lock);
    for (order_rec* p = rec->orders; p; p = p->next)
      if (!(p->flags & ORDER_F_STALE)) cancel_order(p);
  }
  paint(v);
  ASSERT_TRUE(right_click(x, y_empty, 33267).seen);
  for (const order_rec& r : orders()) EXPECT_TRUE(r.flags & ORDER_F_STALE);
}

// A symbol dropped on the chart leaves no order picked on the old one.
TEST_F(TradeViewTest, ADroppedSymbolDropsThePickedButton) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  KvRect b = v->GrTrade()->ButtonRect(GR_BUY_LIMIT);
  click(v, b.left + 7, b.top + 7);
  ASSERT_TRUE(v->m_view_flags & GR_ARMED);
  std::unique_ptr<QMimeData> data(kv_text_drag_data(QStringLiteral("TEST"), 0));
  KvRect d = data_rect(v);
  QPoint at(d.left + 40, d.top + 40);
  QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton,
                        Qt::NoModifier);
  QCoreApplication::sendEvent(v, &enter);
  QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton,
                  Qt::NoModifier);
  QCoreApplication::sendEvent(v, &drop);
  EXPECT_FALSE(v->m_view_flags & (GR_ARMED | GR_DRAGGING));
  EXPECT_EQ(v->GrTrade()->Selection().kind, GR_HIT_NONE);
}

// Showing graphical trading makes the symbol's order definition; a
// definition file that cannot be written is reported with the chart lock
// free, and trading is shown all the same.
TEST_F(TradeViewTest, ShowingTradingReportsAnUnwritableDefinitionWithTheLockFree) {
  write_price_file("TEST", TU_DAILY, wave_bars(120));
  CKvChartDoc* doc = new_chart();
  ASSERT_TRUE(doc);
  CKvChartView* v = view_of(doc);
  type_symbol(v, "TEST");
  ASSERT_TRUE(doc->m_chart && doc->m_chart->mqt);
  ASSERT_FALSE(g_orddef_store.FindKey("TEST"));
  // A folder where the definition file goes: no file can be written there.
  char path[1024];
  ASSERT_TRUE(data_folder_path(path, sizeof path, KV_DIR_DATA, "TEST.orddef"));
  ASSERT_TRUE(kv_make_dirs(path, nullptr));

  ASSERT_TRUE(v->OnCmdMsg(33213));  // Trading/Show Graphical Trading
  ASSERT_EQ(s_boxes.size(), 1u);
  EXPECT_TRUE(s_lock_free[0]);
  EXPECT_TRUE(v->GrTradeOn());
  EXPECT_TRUE(g_orddef_store.FindKey("TEST"));
  EXPECT_EQ(v->GrTrade()->Quote(), doc->m_chart->mqt);
}

TEST_F(TradeViewTest, StatusColoursAndTheTwoLinesOfAStopLimitOrder) {
  order_rec o{};
  o.relay.type = order_type_word(ORDER_BUY, ORDER_DAY, ORDER_STPLMT);
  struct {
    uint32_t status;
    int line;
    COLORREF colour;
  } cases[] = {
      {ORDER_PENDING_SUBMIT, GR_LINE_LIMIT, 0xFFFF00},
      {ORDER_PENDING_CANCEL, GR_LINE_LIMIT, 0xFF00FF},
      {ORDER_PRE_SUBMITTED, GR_LINE_LIMIT, 0x000080},
      {ORDER_PRE_SUBMITTED, GR_LINE_AUX, 0x800000},
      {ORDER_SUBMITTED, GR_LINE_LIMIT, 0x00FF00},
      {ORDER_CANCELLED, GR_LINE_LIMIT, 0x0000FF},
      {ORDER_FILLED, GR_LINE_LIMIT, 0xC0C0C0},
      {ORDER_INACTIVE, GR_LINE_LIMIT, 0xC0C0C0},
      {99, GR_LINE_LIMIT, 0x00FFFF},
  };
  for (const auto& c : cases) {
    o.status = c.status;
    EXPECT_EQ(CKvGrTradeView::StatusColor(&o, c.line), c.colour) << c.status << " " << c.line;
  }
  o.relay.type = order_type_word(ORDER_BUY, ORDER_DAY, ORDER_STP);
  o.status = ORDER_PRE_SUBMITTED;
  EXPECT_EQ(CKvGrTradeView::StatusColor(&o, GR_LINE_LIMIT), 0x800000u);
}

TEST_F(TradeViewTest, StopLimitLinesAndThePositionLineAreDrawnInTheirColours) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  KvRect d = data_rect(v);
  double hi = t->YToPrice(d.top + d.Height() / 4), lo = t->YToPrice(d.top + d.Height() / 2);
  order_rec* o = create_order(rec);
  ASSERT_TRUE(o);
  {
    kv_lock guard(g_chart_lock);
    o->relay.type =
        order_type_word(ORDER_BUY, ORDER_DAY, ORDER_STPLMT) | ORDER_SIMULATED | ORDER_TRANSMIT;
    o->relay.quantity = 100;
    o->relay.aux = t->RoundToTick(hi);
    o->relay.limit = t->RoundToTick(lo);
    rec->bid_size = rec->ask_size = 0;  // no market to trigger it: it waits
    place_order(o);
    ASSERT_EQ(o->status, (uint32_t)ORDER_PRE_SUBMITTED);
    rec->paper_quantity = 100;
    rec->paper_avg_price = t->RoundToTick(t->YToPrice(d.top + d.Height() * 3 / 4));
  }
  v->Settings()->position_colors[0] = 0x00A000;
  paint(v);
  QImage img = v->backing();
  auto row_has = [&](double price, COLORREF c) {
    int y = t->PriceToY(price);
    int hits = 0;
    for (int x = d.left + 40; x < d.right - 40; x++)
      if ((kv_colorref(img.pixelColor(x, y)) & 0xFFFFFF) == c) hits++;
    return hits;
  };
  double aux, limit, avg;
  {
    kv_lock guard(g_chart_lock);
    aux = o->relay.aux, limit = o->relay.limit, avg = rec->paper_avg_price;
  }
  EXPECT_GT(row_has(aux, 0x800000), (d.Width() - 80) / 2);    // the stop line, navy
  EXPECT_GT(row_has(limit, 0x000080), (d.Width() - 80) / 2);  // the limit line, dark red
  EXPECT_GT(row_has(avg, 0x00A000), (d.Width() - 80) / 4);    // dotted position line
  {
    kv_lock guard(g_chart_lock);
    set_order_status(o, ORDER_SUBMITTED);
  }
  paint(v);
  img = v->backing();
  EXPECT_EQ(row_has(aux, 0x800000), 0);
  EXPECT_GT(row_has(limit, 0x00FF00), (d.Width() - 80) / 2);
}

TEST_F(TradeViewTest, RoundingToTheTickAndThirtySecondsShownAsSixtyFourths) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvGrTradeView* t = v->GrTrade();
  struct {
    double tick, price, rounded;
  } cases[] = {
      {0.25, 10.125, 10.0},  // halfway rounds down
      {0.25, 10.13, 10.25}, {0.25, 10.12, 10.0},
      {0.5, 7.8, 8.0},      {0, 10.1234, 10.1234},  // no tick: the price stays
  };
  for (const auto& c : cases) {
    def->tick_size = c.tick;
    {
      kv_lock guard(g_chart_lock);
      rec->tick_size = c.tick;
    }
    EXPECT_DOUBLE_EQ(t->RoundToTick(c.price), c.rounded) << c.tick << " " << c.price;
  }
  {
    kv_lock guard(g_chart_lock);
    rec->tick_size = 1.0 / 32;
  }
  char expect[64];
  format_price(100.5 + 1.0 / 64, expect, PRICE_CODE_64THS, 0);
  EXPECT_EQ(t->PriceText(100.5 + 1.0 / 64), QString::fromLatin1(expect));
}

}  // namespace
