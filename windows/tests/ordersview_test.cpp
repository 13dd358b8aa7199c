// The orders window in a started application on Qt's offscreen platform:
// opened by its command, orders entered through the form and placed by the
// real order bookkeeping in paper accounts, paper fills booked into the
// account file, and the Orders, Executions and Summary tabs read back.
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <cstring>
#include <string>
#include <vector>

#include "broker/executions.h"
#include "broker/orders.h"
#include "data/chartthreads.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/reportview.h"
#include "platform/qt/wnd.h"
#include "platform/services.h"
#include "platform/testing/wait.h"
#include "quotes/qrclient.h"
#include "quotes/tests/fake_relay.h"
#include "data/lefield.h"
#include "platform/sync.h"
#include "quotes/mqt.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/ordersview.h"

namespace {

struct fixture_trade {
  const char* symbol;
  int quantity;
  double price;
  int32_t commission;
  int64_t exec_time;
  const char* sec_type = "STK";
};

std::string trade_bytes(const std::vector<fixture_trade>& trades) {
  std::string out;
  int n = 0;
  for (const fixture_trade& t : trades) {
    trade_rec r;
    memset(&r, 0, sizeof r);
    r.commission = t.commission;
    r.f.price = t.price;
    r.f.quantity = t.quantity;
    r.f.exec_time = (int32_t)t.exec_time;
    r.f.multiplier = 1;
    r.f.flags = EXEC_LOCAL | (2 << EXEC_DECIMALS_SHIFT);
    snprintf(r.f.side, sizeof r.f.side, "%s", t.quantity > 0 ? "BOT" : "SLD");
    snprintf(r.f.currency, sizeof r.f.currency, "USD");
    snprintf(r.f.symbol, sizeof r.f.symbol, "%s", t.symbol);
    snprintf(r.f.sec_type, sizeof r.f.sec_type, "%s", t.sec_type);
    snprintf(r.f.exec_id, sizeof r.f.exec_id, "X%d", ++n);
    uint8_t b[TRADE_SIZE];
    encode_trade(&r, b);
    out.append(reinterpret_cast<const char*>(b), TRADE_SIZE);
  }
  return out;
}

std::vector<std::string> s_messages;
int record_box(void*, const char* text, const char*, unsigned) {
  s_messages.emplace_back(text);
  return IDOK;
}

const int64_t kNow = 1767787200;  // 2026-01-07 12:00:00, local = UTC here

class OrdersWindowTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    s_messages.clear();
    kv_services s{};
    s.message_box = record_box;
    kv_services_install(&s);
    kv_clock_set_local_offset(0);
    kv_clock_set_utc_ms(kNow * 1000);
  }
  void TearDown() override {
    close_all_accounts();
    stop_chart_threads();
    kv_services_reset();
    kv_clock_reset();
    ShellTest::TearDown();
  }
  void write_account(const char* name, const std::vector<fixture_trade>& trades) {
    write_data((std::string("ACCOUNTS/") + name + ".trades").c_str(), trade_bytes(trades));
  }
  // A live record with a quote: bid 50.00 x 500, ask 51.00 x 500, last 50.50.
  static mqt* quote(const char* symbol, const char* sec_type = "STK", double tick = 0.01) {
    kv_lock guard(g_chart_lock);
    mqt* r = create_multiquote_struct(symbol);
    if (!r) return nullptr;
    snprintf(r->sec_type, sizeof r->sec_type, "%s", sec_type);
    r->contract_root[0] = 0;
    r->broker_local_symbol[0] = 0;
    r->tick_size = tick;
    r->multiplier = 1;
    r->bid = 50.00f;
    r->ask = 51.00f;
    r->last = 50.50f;
    r->bid_size = r->ask_size = 500;
    r->last_size = 100;
    r->quote_epoch = (int32_t)kNow;
    return r;
  }
  // The window as a user opens it: Trading/Paper Trading or Real Trading.
  CKvOrdersView* open_window(CKvChartApp* app, int kind = KIND_PAPER_ORDERS) {
    EXPECT_TRUE(app->OnCmdMsg(kind == KIND_PAPER_ORDERS ? 33177 : 33155));
    kv_flush_posted();
    QCoreApplication::processEvents();
    std::vector<CKvWindowDoc*> docs = kv_window_docs(kind);
    if (docs.size() != 1) return nullptr;
    return dynamic_cast<CKvOrdersView*>(docs[0]->GetFirstView());
  }
  static void choose_type(CKvOrdersView* v, const char* text) {
    KvComboBox* box = v->type_box();
    box->SetCurSel(box->FindStringExact(-1, QString::fromLatin1(text)));
    v->OnOrderTypeChange();
  }
  static void type_into(CKvOrdersView* v, int id, const char* text) {
    v->Item<QLineEdit>(id)->setText(QString::fromLatin1(text));
  }
  static void choose_account(CKvOrdersView* v, const char* name) {
    KvComboBox* box = v->account_box();
    box->SetCurSel(box->FindStringExact(-1, QString::fromLatin1(name)));
    v->OnAccountChange();
  }
  static std::string cell(CKvOrdersView* v, int row, int id) {
    int c = v->list()->ColumnIndex(id);
    return c < 0 ? "" : v->list()->GetItemText(row, c).toStdString();
  }
  static bool enabled(CKvOrdersView* v, int id) { return v->GetDlgItem(id)->isEnabled(); }
  static void pump() {
    kv_flush_posted();
    QCoreApplication::processEvents();
  }
  static std::vector<order_rec> orders_of(mqt* r) {
    kv_lock guard(g_chart_lock);
    std::vector<order_rec> out;
    for (order_rec* o = r->orders; o; o = o->next) out.push_back(*o);
    return out;
  }
  std::vector<std::string> exec_ids_in_file(const char* account) {
    std::string bytes =
        read_all(data_file((std::string("ACCOUNTS/") + account + ".trades").c_str()));
    std::vector<std::string> out;
    for (size_t i = 0; i + TRADE_SIZE <= bytes.size(); i += TRADE_SIZE) {
      trade_rec t;
      decode_trade(reinterpret_cast<const uint8_t*>(bytes.data()) + i, &t);
      out.emplace_back(t.f.exec_id);
    }
    return out;
  }
};

// Composite orders: the main LMT of the form's action, then the children
// with their prices worked from the limit, aux and aux2.
TEST_F(OrdersWindowTest, CompositeOrdersPlaceTheirGroups) {
  struct child {
    const char* action;
    const char* type;
    double limit, aux;
  };
  struct composite_case {
    const char* type;
    bool buy;
    const char *limit, *aux, *aux2;
    std::vector<child> orders;
  };
  const composite_case cases[] = {
      {".BRCKET",
       true,
       "50.00",
       "1.00",
       "0.50",
       {{"BUY", "LMT", 50.00, 0}, {"SELL", "LMT", 51.00, 0}, {"SELL", "STP", 0, 49.50}}},
      {".TARGET",
       false,
       "20.00",
       "0.25",
       "",
       {{"SELL", "LMT", 20.00, 0}, {"BUY", "LMT", 19.75, 0}}},
      {".LMT+ST", true, "50.00", "0.40", "", {{"BUY", "LMT", 50.00, 0}, {"SELL", "STP", 0, 49.60}}},
      {".BOUNC2",
       true,
       "50.00",
       "0.30",
       "",
       {{"BUY", "LMT", 50.00, 0}, {"SELL", "LMT", 50.30, 0}, {"BUY", "LMT", 50.00, 0.30}}},
  };
  write_account("PAPER1", {});
  CKvChartApp* app = start();
  CKvOrdersView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(g_paper_orders_view, v);
  int n = 0;
  for (const composite_case& c : cases) {
    SCOPED_TRACE(c.type);
    std::string sym = "CMP" + std::to_string(n++);
    mqt* r = quote(sym.c_str());
    ASSERT_TRUE(r);
    ASSERT_TRUE(v->DropSymbol(QString::fromStdString(sym)));
    choose_type(v, c.type);
    type_into(v, IDC_ORD_LIMIT, c.limit);
    type_into(v, IDC_ORD_AUX, c.aux);
    if (c.aux2[0]) type_into(v, IDC_ORD_AUX2, c.aux2);
    type_into(v, IDC_ORD_QTY, "100");
    v->OnCmdMsg(c.buy ? IDC_ORD_BUY : IDC_ORD_SELL);
    pump();
    std::vector<order_rec> placed = orders_of(r);
    ASSERT_EQ(placed.size(), c.orders.size());
    for (size_t i = 0; i < placed.size(); i++) {
      const order_rec& o = placed[i];
      EXPECT_STREQ(order_action_name(order_action(&o)), c.orders[i].action) << i;
      EXPECT_STREQ(order_type_name(order_type(&o)), c.orders[i].type) << i;
      EXPECT_NEAR(o.relay.limit, c.orders[i].limit, 1e-9) << i;
      EXPECT_NEAR(o.relay.aux, c.orders[i].aux, 1e-9) << i;
      EXPECT_TRUE(o.relay.type & ORDER_SIMULATED);
      EXPECT_STREQ(o.relay.account, "PAPER1");
      if (i > 0) {
        EXPECT_NE(o.relay.parent_id, 0) << i;
      }
    }
    // The group went out with its last order.
    EXPECT_TRUE(placed.back().relay.type & ORDER_TRANSMIT);
    if (std::string(c.type) == ".BRCKET") {
      char id[16];
      snprintf(id, sizeof id, "%d", placed[0].relay.order_id);
      EXPECT_STREQ(placed[1].relay.oca, id);
      EXPECT_STREQ(placed[2].relay.oca, id);
      // The Orders tab lists them as the trader reads them.
      std::vector<uint32_t> rows = v->OrderRows();
      ASSERT_GE(rows.size(), 3u);
      int first = (int)rows.size() - 3;
      EXPECT_EQ(cell(v, first, 39), "BUY");
      EXPECT_EQ(cell(v, first, 59), "LMT");
      EXPECT_EQ(cell(v, first, 57), "50.00");
      EXPECT_EQ(cell(v, first + 1, 39), "SELL");
      EXPECT_EQ(cell(v, first + 1, 57), "51.00");
      EXPECT_EQ(cell(v, first + 2, 59), "STP");
      EXPECT_EQ(cell(v, first + 2, 57), "MARKET");
      EXPECT_EQ(cell(v, first + 2, 58), "49.50");
      EXPECT_EQ(cell(v, first + 2, 45), "PreSubmitted");
    }
  }
}

// Every refusal is a message and leaves the form as typed; an order that
// is refused is never placed.
TEST_F(OrdersWindowTest, RefusedFormsPlaceNothingAndKeepTheText) {
  write_account("PAPER1", {});
  CKvChartApp* app = start();
  mqt* r = quote("IBM");
  CKvOrdersView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  struct refusal {
    const char* type;
    const char *qty, *limit, *aux;
    const char* message;
  };
  const refusal cases[] = {
      {"LMT", "100", "0", nullptr, "Limit Price missing or incorrect"},
      {"LMT", "0", "50.00", nullptr, "Quantity missing or incorrect"},
      {"LMT", "abc", "50.00", nullptr, "Quantity missing or incorrect"},
      {"STP", "100", nullptr, "0", "Aux Price missing or incorrect"},
      {"STPLMT", "100", "50.00", "nan", "Aux Price missing or incorrect"},
  };
  ASSERT_TRUE(v->DropSymbol(QStringLiteral("IBM")));
  for (const refusal& c : cases) {
    SCOPED_TRACE(c.message);
    choose_type(v, c.type);
    type_into(v, IDC_ORD_QTY, c.qty);
    if (c.limit) type_into(v, IDC_ORD_LIMIT, c.limit);
    if (c.aux) type_into(v, IDC_ORD_AUX, c.aux);
    s_messages.clear();
    v->OnCmdMsg(IDC_ORD_BUY);
    ASSERT_EQ(s_messages.size(), 1u);
    EXPECT_EQ(s_messages[0], c.message);
    EXPECT_TRUE(orders_of(r).empty());
    EXPECT_EQ(v->GetDlgItemText(IDC_ORD_QTY).toStdString(), c.qty);
  }
  // An MKT order needs only the quantity; typing a limit into it is
  // refused at once and the placeholder comes back.
  choose_type(v, "MKT");
  s_messages.clear();
  type_into(v, IDC_ORD_LIMIT, "50");
  ASSERT_EQ(s_messages.size(), 1u);
  EXPECT_EQ(s_messages[0], "Limit Price not used for MKT order");
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_LIMIT).toStdString(), kOrdPlaceholder);
  type_into(v, IDC_ORD_QTY, "100");
  v->OnCmdMsg(IDC_ORD_BUY);
  pump();
  EXPECT_EQ(orders_of(r).size(), 1u);
}

// A short position of 300 (two paper sales): CLOSE POSITION offers only a
// 300 MKT buy, REVERSE POSITION 600; the stock's quantity spin steps 100
// and never goes below 0, a future's steps 1; a price spin leaves the
// placeholder alone.
TEST_F(OrdersWindowTest, CloseReverseAndSpins) {
  write_account("PAPER1", {{"IBM", -100, 50, 1000, kNow - 60}, {"IBM", -200, 50, 2000, kNow - 30}});
  CKvChartApp* app = start();
  quote("IBM");
  quote("ESZ6", "FUT", 0.25);
  CKvOrdersView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(v->DropSymbol(QStringLiteral("IBM")));
  EXPECT_EQ(v->NetPosition(), -300);
  EXPECT_TRUE(v->positionText().endsWith(QStringLiteral("-300")));
  EXPECT_TRUE(enabled(v, IDC_ORD_CLOSE));
  v->OnCmdMsg(IDC_ORD_CLOSE);
  EXPECT_TRUE(enabled(v, IDC_ORD_BUY));
  EXPECT_FALSE(enabled(v, IDC_ORD_SELL));
  EXPECT_FALSE(enabled(v, IDC_ORD_CLOSE));
  EXPECT_FALSE(enabled(v, IDC_ORD_REVERSE));
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_QTY).toStdString(), "300");
  EXPECT_EQ(v->type_box()->currentText().toStdString(), "MKT");
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_LIMIT).toStdString(), kOrdPlaceholder);
  v->OnCmdMsg(IDC_ORD_INIT);
  v->OnCmdMsg(IDC_ORD_REVERSE);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_QTY).toStdString(), "600");

  type_into(v, IDC_ORD_QTY, "100");
  v->OnSpin(IDC_ORD_QTY_SPIN, -1);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_QTY).toStdString(), "200");
  for (int i = 0; i < 3; i++) v->OnSpin(IDC_ORD_QTY_SPIN, +1);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_QTY).toStdString(), "0");
  v->OnSpin(IDC_ORD_LIMIT_SPIN, -1);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_LIMIT).toStdString(), kOrdPlaceholder);

  ASSERT_TRUE(v->DropSymbol(QStringLiteral("ESZ6")));
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_QTY).toStdString(), "1");
  v->OnSpin(IDC_ORD_QTY_SPIN, -1);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_QTY).toStdString(), "2");
  type_into(v, IDC_ORD_LIMIT, "4000.00");
  v->OnSpin(IDC_ORD_LIMIT_SPIN, -1);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_LIMIT).toStdString(), "4000.25");
}

// Paper fills come back through the real bookkeeping: the execution is in
// the account file and on top of the Executions tab, the position and the
// Summary follow.  The account "REAL" gives its orders no account.
TEST_F(OrdersWindowTest, PaperFillsReachTheAccountAndTheTabs) {
  write_account("PAPER1", {{"IBM", 100, 50, 1000, kNow - 3600}});
  write_account("REAL", {});
  CKvChartApp* app = start();
  mqt* r = quote("IBM");
  CKvOrdersView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  // The frame opens at the size of its form.
  KvChildFrame* frame = v->GetParentFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->size(), frame->sizeHint());
  choose_account(v, "PAPER1");
  ASSERT_TRUE(v->DropSymbol(QStringLiteral("IBM")));
  EXPECT_EQ(v->NetPosition(), 100);
  // Title: the kind, the position text and the document's own title text.
  auto* doc = dynamic_cast<CKvChartDoc*>(v->GetDocument());
  ASSERT_NE(doc, nullptr);
  QString title = doc->GetTitle();
  EXPECT_TRUE(title.startsWith(QStringLiteral("Paper Trading - IBM STK"))) << title.toStdString();
  EXPECT_TRUE(title.endsWith(QString::fromLatin1(doc->GetTitleText()).simplified()))
      << title.toStdString();
  EXPECT_EQ(frame->windowTitle(), title);
  v->tabs()->setCurrentIndex(ORD_TAB_EXECUTIONS);
  ASSERT_EQ(v->list()->GetItemCount(), 1);

  choose_type(v, "MKT");
  type_into(v, IDC_ORD_QTY, "200");
  v->OnCmdMsg(IDC_ORD_BUY);
  ASSERT_TRUE(kv_pump_until([&] { return v->list()->GetItemCount() == 2; }));
  EXPECT_EQ(cell(v, 0, 48), "BOT");
  EXPECT_EQ(cell(v, 0, 40), "200");
  EXPECT_EQ(cell(v, 0, 5), "51.00");
  EXPECT_EQ(cell(v, 1, 5), "50.00");
  EXPECT_EQ(exec_ids_in_file("PAPER1").size(), 2u);
  EXPECT_EQ(v->NetPosition(), 300);

  v->tabs()->setCurrentIndex(ORD_TAB_SUMMARY);
  ASSERT_EQ(v->list()->GetItemCount(), 1);
  EXPECT_EQ(cell(v, 0, 60), "IBM");
  EXPECT_EQ(cell(v, 0, 53), "300");

  v->tabs()->setCurrentIndex(ORD_TAB_ORDERS);
  ASSERT_EQ(v->OrderRows().size(), 1u);
  EXPECT_EQ(cell(v, 0, 45), "200");  // a filled order shows its filled quantity

  choose_account(v, "REAL");
  v->DropSymbol(QStringLiteral("IBM"));
  choose_type(v, "LMT");
  type_into(v, IDC_ORD_LIMIT, "40.00");
  type_into(v, IDC_ORD_QTY, "100");
  v->OnCmdMsg(IDC_ORD_BUY);
  pump();
  std::vector<order_rec> all = orders_of(r);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_STREQ(all[1].relay.account, "");

  // The picture a trader sees.
  choose_account(v, "PAPER1");
  if (KvChildFrame* f = v->GetParentFrame()) {
    f->showNormal();
    QCoreApplication::processEvents();
    EXPECT_TRUE(f->grab().save(QStringLiteral(KV_BINARY_DIR "/orders_window.png")));
  }
}

// Executions of the last 24 hours: 86,400 seconds ago is shown, 86,401 is
// not, newest first; Show All Executions shows both.  Deleting two selected
// records leaves exactly the others in the file.
TEST_F(OrdersWindowTest, ExecutionsWindowAndDeletion) {
  write_account("PAPER1", {{"IBM", 100, 10, 0, kNow - 86401},
                           {"IBM", 100, 11, 0, kNow - 86400},
                           {"MSFT", 50, 12, 0, kNow - 100},
                           {"IBM", -100, 13, 0, kNow - 10}});
  CKvChartApp* app = start();
  CKvOrdersView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  v->tabs()->setCurrentIndex(ORD_TAB_EXECUTIONS);
  ASSERT_EQ(v->list()->GetItemCount(), 3);
  EXPECT_EQ(cell(v, 0, 5), "13.00");
  EXPECT_EQ(cell(v, 2, 5), "11.00");
  v->ToggleOption(ORD_OPT_ALL_EXECUTIONS);
  ASSERT_EQ(v->list()->GetItemCount(), 4);
  EXPECT_EQ(cell(v, 3, 5), "10.00");

  // Rows 0 and 2 (X4 and X2) selected; the array closes up after the first
  // delete, the second is still found by its id.
  auto* sel = v->list()->selectionModel();
  sel->select(v->list()->model()->index(0, 0),
              QItemSelectionModel::Select | QItemSelectionModel::Rows);
  sel->select(v->list()->model()->index(2, 0),
              QItemSelectionModel::Select | QItemSelectionModel::Rows);
  v->DeleteSelectedExecutions();
  EXPECT_EQ(exec_ids_in_file("PAPER1"), (std::vector<std::string>{"X1", "X3"}));
  EXPECT_EQ(v->list()->GetItemCount(), 2);
}

// Summary: 100 at 10.00 and 100 at 10.50 with commissions of 2,000 give
// 10.000, 10.500, a flat 0 and 48.00.  With 101 contracts the 101st is not
// listed, but a listed contract's later trades still count.
TEST_F(OrdersWindowTest, SummaryAveragesProfitAndAFullTable) {
  std::vector<fixture_trade> many = {{"IBM", 100, 10.00, 1000, kNow - 50},
                                     {"IBM", -100, 10.50, 1000, kNow - 40}};
  static char names[101][8];
  for (int i = 0; i < 100; i++) {
    snprintf(names[i], sizeof names[i], "S%03d", i);
    many.push_back({names[i], 1, 1.0, 0, kNow - 30});
  }
  many.push_back({"S000", -1, 3.0, 0, kNow - 20});
  write_account("PAPER1", many);
  CKvChartApp* app = start();
  CKvOrdersView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  v->tabs()->setCurrentIndex(ORD_TAB_SUMMARY);
  ASSERT_EQ(v->list()->GetItemCount(), 100);
  EXPECT_EQ(cell(v, 0, 60), "IBM");
  EXPECT_EQ(cell(v, 0, 63), "10.000");
  EXPECT_EQ(cell(v, 0, 64), "10.500");
  EXPECT_EQ(cell(v, 0, 62), "0");
  EXPECT_EQ(cell(v, 0, 65), "48.00");
  EXPECT_EQ(cell(v, 1, 60), "S000");
  EXPECT_EQ(cell(v, 1, 62), "0");
  EXPECT_EQ(cell(v, 1, 65), "2.00");
}

// Cancel Order skips an order already PendingCancel; an order modified
// with a refused form stays as it was; a valid modification is placed
// again; a status for an order bookkeeping has freed changes nothing.
TEST_F(OrdersWindowTest, CancelModifyAndVanishedOrders) {
  write_account("PAPER1", {});
  CKvChartApp* app = start();
  mqt* r = quote("IBM");
  CKvOrdersView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(v->DropSymbol(QStringLiteral("IBM")));
  for (const char* limit : {"45.00", "44.00", "43.00"}) {
    choose_type(v, "LMT");
    type_into(v, IDC_ORD_LIMIT, limit);
    type_into(v, IDC_ORD_QTY, "100");
    v->OnCmdMsg(IDC_ORD_BUY);
  }
  pump();
  std::vector<uint32_t> rows = v->OrderRows();
  ASSERT_EQ(rows.size(), 3u);

  // Modify the first: a refused form leaves it alone.
  ASSERT_TRUE(v->ModifyOrder(rows[0]));
  EXPECT_EQ(v->Mode(), 0);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_BUY).toStdString(), "TRANSMIT");
  EXPECT_FALSE(enabled(v, IDC_ORD_SELL));
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_LIMIT).toStdString(), "45.00");
  type_into(v, IDC_ORD_QTY, "0");
  type_into(v, IDC_ORD_LIMIT, "46.00");
  s_messages.clear();
  v->OnCmdMsg(IDC_ORD_BUY);
  ASSERT_EQ(s_messages.size(), 1u);
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(rows[0]);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->relay.quantity, 100);
    EXPECT_DOUBLE_EQ(o->relay.limit, 45.00);
  }
  type_into(v, IDC_ORD_QTY, "300");
  v->OnCmdMsg(IDC_ORD_BUY);
  pump();
  EXPECT_EQ(v->Mode(), 1);
  {
    kv_lock guard(g_chart_lock);
    order_rec* o = find_order_by_serial(rows[0]);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->relay.quantity, 300);
    EXPECT_DOUBLE_EQ(o->relay.limit, 46.00);
    EXPECT_EQ(cell(v, 0, 40), "300");
    // The second order waits for a broker's cancel.
    find_order_by_serial(rows[1])->status = ORDER_PENDING_CANCEL;
  }
  auto* sel = v->list()->selectionModel();
  for (int row : {1, 2})
    sel->select(v->list()->model()->index(row, 0),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  v->CancelSelectedOrders();
  pump();
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(find_order_by_serial(rows[0])->status, (uint32_t)ORDER_SUBMITTED);
    EXPECT_EQ(find_order_by_serial(rows[1])->status, (uint32_t)ORDER_PENDING_CANCEL);
    EXPECT_EQ(find_order_by_serial(rows[2])->status, (uint32_t)ORDER_CANCELLED);
  }
  EXPECT_EQ(cell(v, 2, 45), "Cancelled");

  // The order being modified is freed by bookkeeping: its messages and the
  // transmit find nothing and change nothing.
  ASSERT_TRUE(v->ModifyOrder(rows[2]));
  {
    kv_lock guard(g_chart_lock);
    delete_order(find_order_by_serial(rows[2]));
  }
  v->OnOrderStatus(rows[2]);
  v->OnOrderRemoved(rows[2]);
  EXPECT_EQ(v->Mode(), 1);
  EXPECT_EQ(orders_of(r).size(), 2u);
  EXPECT_FALSE(v->ModifyOrder(rows[2]));
}

// A real-trading window with trading off keeps its order buttons disabled
// and says so.
TEST_F(OrdersWindowTest, RealTradingWindowWithTradingOff) {
  write_account("PAPER1", {});
  CKvChartApp* app = start();
  quote("IBM");
  g_pref_flags1 &= ~0x08u;
  CKvOrdersView* v = open_window(app, KIND_REAL_ORDERS);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(g_real_orders_view, v);
  EXPECT_EQ(v->Kind(), KIND_REAL_ORDERS);
  EXPECT_EQ(v->GetDlgItemText(IDC_ORD_TRADING_LABEL).toStdString(), "REAL TRADING");
  v->DropSymbol(QStringLiteral("IBM"));
  type_into(v, IDC_ORD_QTY, "100");
  v->UpdateOrderButtons();
  for (int id : {IDC_ORD_BUY, IDC_ORD_SELL, IDC_ORD_INIT, IDC_ORD_UPDATE_PRICES, IDC_ORD_CLOSE,
                 IDC_ORD_REVERSE})
    EXPECT_FALSE(enabled(v, id)) << id;
  // The command of an open window brings it up again with a fresh form.
  EXPECT_EQ(open_window(app, KIND_REAL_ORDERS), v);
}

// A real composite order through a fake quote relay speaking the real
// place-order request: the target waits until the relay has given the main
// order its id, and then names that id as its parent.
TEST_F(OrdersWindowTest, RealCompositeChildWaitsForTheParentsRelayId) {
  set_hooks();  // no quote threads: the relay sees only the orders
  write_data("CONFIG/live.cfg",
             "router_capabilities 0x217\nrouter_name KvRelayW\nexchange_times 9:30 16:00\n");
  FakeRelay relay("KvRelayW");
  std::atomic<int> placed{0};
  relay.respond = [&](const std::vector<uint8_t>& req) {
    if (req[0] != QR_REQ_PLACE_ORDER) return FakeRelay::answer{};
    std::vector<uint8_t> r(36, 0);
    r[0] = (uint8_t)((int)QR_PLACE_ORDER | (int)QR_LAST_RECORD);
    put_le32(&r[4], (uint32_t)(4711 + placed++));
    return FakeRelay::answer{{r}};
  };
  ASSERT_TRUE(relay.start());
  CKvChartApp* app = start();
  g_pref_flags1 |= 0x08u;  // trading on
  mqt* r = quote("IBM");
  r->symbol_slot = 3;
  CKvOrdersView* v = open_window(app, KIND_REAL_ORDERS);
  ASSERT_NE(v, nullptr);
  ASSERT_TRUE(v->DropSymbol(QStringLiteral("IBM")));
  choose_type(v, ".TARGET");
  type_into(v, IDC_ORD_LIMIT, "50.00");
  type_into(v, IDC_ORD_AUX, "1.00");
  type_into(v, IDC_ORD_QTY, "100");
  v->OnCmdMsg(IDC_ORD_BUY);
  // Nothing delivered to the window yet: only the main order exists.
  EXPECT_EQ(orders_of(r).size(), 1u);
  ASSERT_TRUE(kv_pump_until([&] { return relay.taken().size() >= 2; }));
  std::vector<std::vector<uint8_t>> reqs = relay.taken();
  ASSERT_EQ(reqs[0].size(), (size_t)ORDER_RELAY_SIZE);
  order_relay_part main_req, child_req;
  decode_relay_part(reqs[0].data(), &main_req);
  decode_relay_part(reqs[1].data(), &child_req);
  EXPECT_EQ(main_req.parent_id, 0);
  EXPECT_EQ(main_req.type & ORDER_ACTION_MASK, (uint32_t)ORDER_BUY);
  EXPECT_FALSE(main_req.type & ORDER_SIMULATED);
  EXPECT_EQ(child_req.parent_id, 4711);
  EXPECT_EQ(child_req.type & ORDER_ACTION_MASK, (uint32_t)ORDER_SELL);
  EXPECT_DOUBLE_EQ(child_req.limit, 51.00);
  EXPECT_TRUE(child_req.type & ORDER_TRANSMIT);
  stop_order_sender();
  {
    kv_lock guard(g_router_lock);
    qr_close();
  }
}

}  // namespace
