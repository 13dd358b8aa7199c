// The accounts window, the Trade Accounts dialog and the advisor bar in a
// started application on Qt's offscreen platform, over account files the
// tests write.
#include <QAbstractItemView>
#include <QComboBox>
#include <QGuiApplication>
#include <QScreen>
#include <QHeaderView>
#include <QMdiArea>
#include <QScrollBar>
#include <QStyle>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "broker/executions.h"
#include "broker/positions.h"
#include "broker/twsacct.h"
#include "data/chartthreads.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "platform/qt/dc.h"
#include "platform/qt/docview.h"
#include "platform/qt/frames.h"
#include "platform/qt/reportview.h"
#include "platform/qt/wnd.h"
#include "platform/services.h"
#include "quotes/mqt.h"
#include "quotes/mqt_record.h"
#include "platform/locks.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/accountsview.h"
#include "windows/accountvalue.h"
#include "windows/advisorbar.h"
#include "windows/tradeaccts.h"
#include "windows/tests/tws_link.h"

namespace {

struct fixture_trade {
  const char* sec_type;
  const char* symbol;
  const char* currency;
  int quantity;
  double price;
  int multiplier;
  const char* local_symbol = "";
};

std::string trade_bytes(const std::vector<fixture_trade>& trades) {
  std::string out;
  int n = 0;
  for (const fixture_trade& t : trades) {
    trade_rec r;
    memset(&r, 0, sizeof r);
    r.f.price = t.price;
    r.f.quantity = t.quantity;
    r.f.exec_time = 1767600000 + n++;
    r.f.multiplier = t.multiplier;
    snprintf(r.f.side, sizeof r.f.side, "%s", t.quantity > 0 ? "BOT" : "SLD");
    snprintf(r.f.currency, sizeof r.f.currency, "%s", t.currency);
    snprintf(r.f.symbol, sizeof r.f.symbol, "%s", t.symbol);
    snprintf(r.f.sec_type, sizeof r.f.sec_type, "%s", t.sec_type);
    snprintf(r.f.exec_id, sizeof r.f.exec_id, "E%d", n);
    snprintf(r.f.local_symbol, sizeof r.f.local_symbol, "%s", t.local_symbol);
    uint8_t b[TRADE_SIZE];
    encode_trade(&r, b);
    out.append(reinterpret_cast<const char*>(b), TRADE_SIZE);
  }
  return out;
}

// The bar, and on a real display the list dropped down below it, as the
// screen shows them; elsewhere the bar alone.
QPixmap advisor_picture(QToolBar* bar, QComboBox* combo) {
  QWidget* popup = combo->view()->window();
  if (QGuiApplication::platformName() != QLatin1String("xcb") || !popup->isVisible())
    return bar->grab();
  QRect area = QRect(bar->mapToGlobal(QPoint(0, 0)), bar->size()).united(popup->frameGeometry());
  return bar->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

// Pixels of a picture's rectangle dark enough to be text.
int dark_pixels(const QImage& image, const QRect& r) {
  int n = 0;
  QRect in = r.intersected(image.rect());
  for (int y = in.top(); y <= in.bottom(); y++)
    for (int x = in.left(); x <= in.right(); x++)
      if (qGray(image.pixel(x, y)) < 96) n++;
  return n;
}
// Pixels of a picture's rectangle of one colour.
int pixels_of(const QImage& image, const QRect& r, QRgb c) {
  int n = 0;
  QRect in = r.intersected(image.rect());
  for (int y = in.top(); y <= in.bottom(); y++)
    for (int x = in.left(); x <= in.right(); x++)
      if ((image.pixel(x, y) & 0xFFFFFF) == (c & 0xFFFFFF)) n++;
  return n;
}
// Pixels of a picture's rectangle with a colour of their own (not grey).
int coloured_pixels(const QImage& image, const QRect& r) {
  int n = 0;
  QRect in = r.intersected(image.rect());
  for (int y = in.top(); y <= in.bottom(); y++)
    for (int x = in.left(); x <= in.right(); x++) {
      QRgb p = image.pixel(x, y);
      n += std::max({qRed(p), qGreen(p), qBlue(p)}) - std::min({qRed(p), qGreen(p), qBlue(p)}) > 24;
    }
  return n;
}
// A child's rectangle in its window's picture.
QRect in_window(QWidget* child, QWidget* window, const QRect& r) {
  return QRect(child->mapTo(window, r.topLeft()), r.size());
}

std::vector<std::string> s_messages;
int record_box(void*, const char* text, const char*, unsigned) {
  s_messages.emplace_back(text);
  return IDOK;
}

class AccountsTest : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    s_messages.clear();
    kv_services s{};
    s.message_box = record_box;
    kv_services_install(&s);
  }
  void TearDown() override {
    close_all_accounts();
    stop_chart_threads();
    kv_services_reset();
    ShellTest::TearDown();
  }
  void write_account(const char* name, const std::vector<fixture_trade>& trades) {
    write_data((std::string("ACCOUNTS/") + name + ".trades").c_str(), trade_bytes(trades));
  }
  // The window as a user opens it: the View/Portfolio command of the frame.
  CKvAccountsView* open_window(CKvChartApp* app) {
    EXPECT_TRUE(app->OnCmdMsg(33164));
    kv_flush_posted();
    QCoreApplication::processEvents();
    std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_ACCOUNTS);
    if (docs.size() != 1) return nullptr;
    return dynamic_cast<CKvAccountsView*>(docs[0]->GetFirstView());
  }
  static std::vector<std::string> row(KvReportView* v, int r) {
    std::vector<std::string> out;
    for (int c = 0; c < 8; c++) out.push_back(v->GetItemText(r, c).toStdString());
    return out;
  }
  static QTreeWidgetItem* find_item(QTreeWidget* t, const char* text) {
    QList<QTreeWidgetItem*> l =
        t->findItems(QString::fromLatin1(text), Qt::MatchExactly | Qt::MatchRecursive);
    return l.isEmpty() ? nullptr : l[0];
  }
};

TEST_F(AccountsTest, NoAccountFilesGiveOnlyTheRootAndAnEmptyTable) {
  CKvChartApp* app = start();
  CKvAccountsView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(g_accounts_view, v);
  ASSERT_EQ(v->tree()->topLevelItemCount(), 1);
  EXPECT_EQ(v->tree()->topLevelItem(0)->text(0).toStdString(), "All Accounts");
  EXPECT_EQ(v->tree()->topLevelItem(0)->childCount(), 0);
  EXPECT_EQ(v->value_list()->GetItemCount(), 0);
  EXPECT_EQ(v->caption().toStdString(), "Market Value for all Accounts");
  EXPECT_EQ(v->value_list()->GetColumnCount(), 8);
  EXPECT_EQ(v->GetDocument()->GetTitle().toStdString().rfind("Accounts", 0), 0u);
}

// Every header reads whole, the frame shows every value column, and the
// tab's list has grid lines and columns that can be dragged.
TEST_F(AccountsTest, HeadersReadWholeAndTheFrameFitsTheForm) {
  CKvChartApp* app = start();
  app->MainFrame()->resize(1200, 900);
  app->MainFrame()->show();
  CKvAccountsView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  QCoreApplication::processEvents();
  KvReportView* list = v->value_list();
  QHeaderView* header = list->horizontalHeader();
  int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
  for (int c = 0; c < list->GetColumnCount(); c++) {
    QString title = list->model()->headerData(c, Qt::Horizontal).toString();
    SCOPED_TRACE(title.toStdString());
    EXPECT_GE(list->GetColumnWidth(c), 65);
    EXPECT_GE(list->GetColumnWidth(c), header->fontMetrics().horizontalAdvance(title) + 2 * margin);
  }
  KvChildFrame* f = v->GetParentFrame();
  ASSERT_NE(f, nullptr);
  QSize area = f->mdiArea()->viewport()->size();
  EXPECT_LE(f->width(), area.width());
  EXPECT_LE(f->height(), area.height());
  EXPECT_EQ(list->horizontalScrollBar()->maximum(), 0);  // no column out of sight
  KvReportView* tab_list = nullptr;
  for (KvReportView* r : v->findChildren<KvReportView*>())
    if (r != list) tab_list = r;
  ASSERT_NE(tab_list, nullptr);
  EXPECT_TRUE(tab_list->showGrid());
  EXPECT_TRUE(tab_list->horizontalHeader()->sectionsMovable());
}

// Hand-worked: IBM 100 at 10 (cost 1,000), two IBM options at 3.50 (7),
// one future at 4,000, three future options bought at 20 and sold at 25
// with multiplier 50 (realised (75 - 60) x 50 = 750, also cash), and in a
// second account SAP 10 at 100 in EUR.  No live records: valued at cost.
TEST_F(AccountsTest, MarketValueOfAccountsAllAccountsAndOneSymbol) {
  write_account("ALPHA", {{"STK", "IBM", "USD", 100, 10, 1},
                          {"OPT", "IBM", "USD", 2, 3.5, 100},
                          {"FUT", "ES", "USD", 1, 4000, 50},
                          {"FOP", "ES", "USD", 3, 20, 50},
                          {"FOP", "ES", "USD", -3, 25, 50},
                          {"STK", "IBM", "USD", 0, 10, 1}});
  write_account("BETA", {{"STK", "SAP", "EUR", 10, 100, 1}});
  CKvChartApp* app = start();
  CKvAccountsView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  QTreeWidgetItem* alpha = find_item(v->tree(), "ALPHA");
  ASSERT_NE(alpha, nullptr);
  // Two IBM records and two ES records: one item each.
  ASSERT_EQ(alpha->childCount(), 2);
  EXPECT_EQ(alpha->child(0)->text(0).toStdString(), "IBM");
  EXPECT_EQ(alpha->child(1)->text(0).toStdString(), "ES");

  using R = std::vector<std::string>;
  ASSERT_EQ(v->value_list()->GetItemCount(), 2);
  EXPECT_EQ(row(v->value_list(), 0),
            (R{"USD", "750.00", "1000.00", "7.00", "4000.00", "0.00", "0.00", "750.00"}));
  EXPECT_EQ(row(v->value_list(), 1),
            (R{"EUR", "0.00", "1000.00", "0.00", "0.00", "0.00", "0.00", "0.00"}));

  v->tree()->setCurrentItem(alpha);
  EXPECT_EQ(v->caption().toStdString(), "Market Value for Account ALPHA");
  ASSERT_EQ(v->value_list()->GetItemCount(), 1);
  EXPECT_EQ(row(v->value_list(), 0)[0], "USD");

  v->tree()->setCurrentItem(alpha->child(0));
  EXPECT_EQ(v->caption().toStdString(), "Market Value for Symbol IBM");
  // A symbol item shows its whole account.
  ASSERT_EQ(v->value_list()->GetItemCount(), 1);
  EXPECT_EQ(row(v->value_list(), 0),
            (R{"USD", "750.00", "1000.00", "7.00", "4000.00", "0.00", "0.00", "750.00"}));

  v->tree()->setCurrentItem(v->tree()->topLevelItem(0));
  EXPECT_EQ(v->caption().toStdString(), "Market Value for all Accounts");
  // The picture a trader sees, kept in the build folder.
  if (KvChildFrame* f = v->GetParentFrame()) {
    f->showNormal();
    f->resize(620, 560);
    QCoreApplication::processEvents();
    QImage picture = f->grab().toImage();
    // The chosen root in the selection colour, the USD row's figures drawn.
    QTreeWidget* tree = v->tree();
    QRect root = in_window(tree->viewport(), f, tree->visualItemRect(tree->topLevelItem(0)));
    EXPECT_GT(pixels_of(picture, root, tree->palette().color(QPalette::Highlight).rgb()),
              root.height() * 20);
    // Each account item shows the theme's folder icon before its name: a
    // coloured picture, where the name alone is black and grey.
    QRect account = in_window(tree->viewport(), f, tree->visualItemRect(alpha));
    account.setWidth(tree->style()->pixelMetric(QStyle::PM_SmallIconSize) + 4);
    EXPECT_GT(coloured_pixels(picture, account), 20) << "no icon before the account's name";
    KvReportView* list = v->value_list();
    for (int c = 0; c < 8; c++) {
      SCOPED_TRACE(c);
      QRect cell = in_window(list->viewport(), f, list->visualRect(list->model()->index(0, c)));
      EXPECT_GT(dark_pixels(picture, cell), 10);
    }
    EXPECT_TRUE(picture.save(QStringLiteral(KV_BINARY_DIR "/accounts_window.png")));
  }
}

// With tracing on, every trade read for the values and every summary entry
// leave their line.
TEST_F(AccountsTest, TradesAndValueRowsAreTraced) {
  write_account("ALPHA",
                {{"STK", "IBM", "USD", 100, 10, 1}, {"OPT", "IBM", "USD", 2, 3.5, 100, "IBMC50"}});
  CKvChartApp* app = start();
  uint32_t saved = g_trace_mask;
  g_trace_mask = 0x1;
  testing::internal::CaptureStderr();
  CKvAccountsView* v = open_window(app);
  std::string out = testing::internal::GetCapturedStderr();
  g_trace_mask = saved;
  ASSERT_NE(v, nullptr);
  char line[96];
  snprintf(line, sizeof line, "ALPHA[1]: date=%d l=IBMC50 u=IBM\n", seconds_to_date(1767600001));
  EXPECT_NE(out.find(line), std::string::npos) << out;
  EXPECT_NE(out.find("ALPHA[0]: date="), std::string::npos) << out;
  EXPECT_NE(out.find("MktVal[1] USD OPT 0.00 1000.00 7.00 0.00 0.00 0.00 0.00\n"),
            std::string::npos)
      << out;
}

TEST_F(AccountsTest, EleventhCurrencyIsNotShown) {
  const char* cur[] = {"USD", "EUR", "GBP", "JPY", "CHF", "CAD", "AUD", "HKD", "SEK", "NOK", "DKK"};
  std::vector<fixture_trade> trades;
  for (const char* c : cur) trades.push_back({"STK", c, c, 1, 1, 1});  // one contract each
  write_account("MANY", trades);
  CKvChartApp* app = start();
  CKvAccountsView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->value_list()->GetItemCount(), 10);
  EXPECT_EQ(v->value_list()->GetItemText(9, 0).toStdString(), "NOK");
}

// A stock with a live record is valued at its last price: 10 SAP bought at
// 100, now 110, give 1,100 of stocks and 100 of unrealised profit.
TEST_F(AccountsTest, StockWithLiveRecordIsValuedAtItsLastPrice) {
  write_account("BETA", {{"STK", "SAP", "EUR", 10, 100, 1}});
  CKvChartApp* app = start();
  {
    kv_lock guard(g_chart_lock);
    mqt* r = create_multiquote_struct("SAP");
    ASSERT_TRUE(r);
    r->last = 110;
  }
  CKvAccountsView* v = open_window(app);
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->value_list()->GetItemCount(), 1);
  EXPECT_EQ(row(v->value_list(), 0), (std::vector<std::string>{"EUR", "0.00", "1100.00", "0.00",
                                                               "0.00", "0.00", "100.00", "0.00"}));
}

// A live last price of 11 for 100 shares bought at 10: 1,100 of market
// value and 100 of unrealised profit (the value less the cost).
TEST(AccountValue, UnrealisedProfitIsValueLessCost) {
  PositionSummaryTable table;
  position_trade t{};
  strcpy(t.currency, "USD");
  strcpy(t.sec_type, "STK");
  strcpy(t.symbol, "IBM");
  t.multiplier = 1;
  t.quantity = 100;
  t.price = 10;
  mqt rec{};
  rec.last = 11;
  table.AddTrade(&t, &rec);
  std::vector<account_value_row> rows = account_value_rows(table);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_DOUBLE_EQ(rows[0].v[AV_STOCKS], 1100);
  EXPECT_DOUBLE_EQ(rows[0].v[AV_UNREALISED], 100);
}

TEST_F(AccountsTest, TradeAccountsCreatePurgeDeleteAndRefusals) {
  write_account("OLD", {{"STK", "IBM", "USD", 100, 10, 1}});
  CKvChartApp* app = start();
  CKvAccountsView* view = open_window(app);
  ASSERT_NE(view, nullptr);
  CTradeAccountsDlg dlg;
  dlg.EnsureInitialized();
  QComboBox* box = dlg.account_box();
  ASSERT_EQ(box->count(), 2);
  EXPECT_EQ(box->itemText(0).toStdString(), "---New---");
  auto type = [&](const char* text) {
    box->lineEdit()->clear();
    box->setCurrentIndex(-1);
    box->lineEdit()->setText(QString::fromLatin1(text));
    dlg.OnEditchangeAccount();
  };
  auto enabled = [&](int id) { return dlg.button(id)->isEnabled(); };

  type("---New---");
  EXPECT_FALSE(enabled(IDC_ACCOUNT_CREATE) || enabled(IDC_ACCOUNT_DELETE) ||
               enabled(IDC_ACCOUNT_PURGE));

  namespace fs = std::filesystem;
  auto files = [&] {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(root_.path()))
      if (e.path().extension() == ".trades") out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  };
  const std::vector<std::string> before = files();
  struct refusal {
    const char* name;
    const char* message;
  } refusals[] = {{"OLD", "Account already exists"},
                  {"old", "Account already exists"},
                  {"../x", "Invalid account name: ../x"},
                  {"a/b", "Invalid account name: a/b"},
                  {"NINECHARS", "Invalid account name: NINECHARS"},
                  {"..", "Invalid account name: .."}};
  for (const refusal& r : refusals) {
    SCOPED_TRACE(r.name);
    s_messages.clear();
    type(r.name);
    dlg.OnCreate();
    ASSERT_EQ(s_messages.size(), 1u);
    EXPECT_EQ(s_messages[0], r.message);
    EXPECT_EQ(files(), before);
  }

  s_messages.clear();
  type("NEW1");
  EXPECT_TRUE(enabled(IDC_ACCOUNT_CREATE));
  dlg.OnCreate();
  EXPECT_TRUE(s_messages.empty());
  std::string path = data_file("ACCOUNTS/NEW1.trades");
  ASSERT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_EQ(box->count(), 3);
  dlg.show();
  QCoreApplication::processEvents();
  {
    // Create reads black, Delete and Purge greyed.
    QImage picture = dlg.grab().toImage();
    auto text = [&](int id) {
      QPushButton* b = dlg.button(id);
      return dark_pixels(picture, in_window(b, &dlg, b->rect().adjusted(4, 4, -4, -4)));
    };
    EXPECT_GT(text(IDC_ACCOUNT_CREATE), 10);
    EXPECT_EQ(0, text(IDC_ACCOUNT_DELETE));
    EXPECT_EQ(0, text(IDC_ACCOUNT_PURGE));
    EXPECT_TRUE(picture.save(QStringLiteral(KV_BINARY_DIR "/trade_accounts.png")));
  }

  // Purge empties the account that the accounts window shows; every
  // window that listens is told, the accounts window among them.
  static std::vector<std::string> told;
  told.clear();
  accounts_changed_fn other = [](const char* account) { told.emplace_back(account); };
  ASSERT_EQ(add_accounts_changed_listener(other), 1);
  box->setCurrentIndex(box->findText("OLD"));
  dlg.OnCloseupAccount();
  EXPECT_TRUE(enabled(IDC_ACCOUNT_PURGE) && enabled(IDC_ACCOUNT_DELETE));
  dlg.OnPurge();
  EXPECT_EQ(fs::file_size(data_file("ACCOUNTS/OLD.trades")), 0u);
  QTreeWidgetItem* old = find_item(view->tree(), "OLD");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->childCount(), 0);
  EXPECT_EQ(view->value_list()->GetItemCount(), 0);

  box->setCurrentIndex(box->findText("OLD"));
  dlg.OnCloseupAccount();
  dlg.OnDelete();
  EXPECT_FALSE(fs::exists(data_file("ACCOUNTS/OLD.trades")));
  EXPECT_EQ(find_item(view->tree(), "OLD"), nullptr);
  EXPECT_EQ(box->count(), 2);
  EXPECT_EQ(told, (std::vector<std::string>{"OLD", "OLD"}));
  remove_accounts_changed_listener(other);
}

TEST(AccountsListeners, EachAddedOnceAllToldInOrderUntilRemoved) {
  static std::string calls;
  accounts_changed_fn a = [](const char* n) { calls += std::string("a:") + n + ";"; };
  accounts_changed_fn b = [](const char* n) { calls += std::string("b:") + n + ";"; };
  calls.clear();
  ASSERT_EQ(add_accounts_changed_listener(a), 1);
  ASSERT_EQ(add_accounts_changed_listener(b), 1);
  ASSERT_EQ(add_accounts_changed_listener(a), 1);  // still once
  notify_accounts_changed("X");
  EXPECT_EQ(calls, "a:X;b:X;");
  remove_accounts_changed_listener(a);
  calls.clear();
  notify_accounts_changed("Y");
  EXPECT_EQ(calls, "b:Y;");
  remove_accounts_changed_listener(b);
  calls.clear();
  notify_accounts_changed("Z");
  EXPECT_EQ(calls, "");
  EXPECT_EQ(add_accounts_changed_listener(nullptr), 0);
}

// The bar outside and in advisor mode; its list filled from what a fake
// TWS on loopback sends the application's broker link.
TEST_F(AccountsTest, AdvisorBarHiddenOutsideAdvisorModeListFromTwsNoneClearsTarget) {
  write_quote_config(QR_CAP_BROKER_SOCKET);
  CKvChartApp* app = start();
  CKvMainFrame* frame = app->MainFrame();
  ASSERT_NE(frame, nullptr);
  auto* bar = frame->findChild<QToolBar*>(QStringLiteral("Advisor"));
  if (!bar)
    for (QToolBar* b : frame->findChildren<QToolBar*>())
      if (b->windowTitle() == QLatin1String("Advisor")) bar = b;
  ASSERT_NE(bar, nullptr);
  auto* combo = bar->findChild<QComboBox*>(QStringLiteral("advisor_account"));
  ASSERT_NE(combo, nullptr);
  frame->show();
  g_settings.Flags1 &= ~ADVISOR_MODE_FLAG;
  frame->ShowControlBar(ID_ADVISOR_BAR, true);
  QCoreApplication::processEvents();
  EXPECT_FALSE(bar->isVisible());
  ASSERT_EQ(combo->count(), 1);
  EXPECT_EQ(combo->itemText(0).toStdString(), "---none---");
  // The list keeps its own 8-point face whatever the desktop's font.
  QFont want = KvFont::StockVariable().qfont();
  EXPECT_EQ(combo->font().family(), want.family());
  EXPECT_EQ(combo->font().pixelSize(), want.pixelSize());
  // Its tip is the bar's first button's.
  EXPECT_EQ(combo->toolTip(), QStringLiteral("Advisor Acct"));

  // An advisor connects: TWS answers the link's requests with the managed
  // accounts, the groups, the allocation profiles and the aliases.
  g_settings.Flags1 |= ADVISOR_MODE_FLAG;
  app_tws_link tws;
  ASSERT_TRUE(tws.connect());
  tws.send({"15", "1", "DU1,DU2,DU3"});
  tws.send({"16", "1", "1",
            "<ListOfGroups><Group><name>Growth</name><ListOfAccts>"
            "<String>DU1</String><String>DU3</String></ListOfAccts>"
            "<defaultMethod>NetLiq</defaultMethod></Group></ListOfGroups>"});
  tws.send({"16", "1", "2",
            "<ListOfAllocationProfiles><AllocationProfile><name>Half</name>"
            "<type>1</type><ListOfAllocations><Allocation><acct>DU2</acct>"
            "<amount>50</amount></Allocation></ListOfAllocations>"
            "</AllocationProfile></ListOfAllocationProfiles>"});
  tws.send({"16", "1", "3",
            "<ListOfAccountAliases><AccountAlias><account>DU2</account>"
            "<alias>Pension</alias></AccountAlias></ListOfAccountAliases>"});
  ASSERT_TRUE(kv_wait_until([] {
    int n = 0;
    for (const char* const* p = build_advisor_list(); *p; p++) n++;
    kv_lock guard(g_chart_lock);
    const char* alias = tws_account_alias(1);
    return n == 5 && alias && strcmp(alias, "Pension") == 0;
  }));
  frame->ShowControlBar(ID_ADVISOR_BAR, true);
  QCoreApplication::processEvents();
  EXPECT_TRUE(bar->isVisible());
  combo->showPopup();
  std::vector<std::string> items;
  for (int i = 0; i < combo->count(); i++) items.push_back(combo->itemText(i).toStdString());
  EXPECT_EQ(items,
            (std::vector<std::string>{"---none---", "DU1", "Pension", "DU3", "Half", "Growth"}));
  // The picture: the bar with its list dropped down (on a real display the
  // list is a window of its own, taken from the screen).
  kv_pump_events(50);
  QImage shot = advisor_picture(bar, combo).toImage();
  EXPECT_GT(dark_pixels(shot, shot.rect()), 20);  // "---none---" shows in the box
  EXPECT_TRUE(shot.save(QStringLiteral(KV_BINARY_DIR "/advisor_bar.png")));
  combo->setCurrentIndex(combo->findText("Growth"));
  combo->hidePopup();
  EXPECT_EQ(g_advisor_mode, ADVISOR_GROUP);
  EXPECT_EQ(g_advisor_mask, 5u);
  combo->showPopup();
  combo->setCurrentIndex(0);
  combo->hidePopup();
  EXPECT_NE(g_advisor_mode, ADVISOR_GROUP);
  EXPECT_EQ(g_advisor_mask, 1u);
  g_settings.Flags1 &= ~ADVISOR_MODE_FLAG;
}

}  // namespace
