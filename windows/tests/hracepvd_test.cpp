// The horse-race and price/volume distribution windows in a started
// application: a race from a symbol list and its sorts, the P&L race fed
// by the broker client's messages (posted by hand, and sent by a fake TWS
// to the application's broker link), the distribution's popup and
// printing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QComboBox>
#include <QPrinter>
#include <QToolBar>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "broker/twsacct.h"
#include "data/chartsettings.h"
#include "data/chartthreads.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "platform/qt/color.h"
#include "platform/qt/frames.h"
#include "platform/qt/printing.h"
#include "platform/qt/test_harness.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/hraceview.h"
#include "windows/advisorbar.h"
#include "windows/pvdview.h"
#include "windows/tests/tws_link.h"

namespace {

enum : unsigned { ID_SLF_HORSE_RACE = 32970 };

// Pixels of colour c in the columns [left, right) of a picture.
int pixels_of(const QImage& image, int left, int right, COLORREF c) {
  int n = 0;
  for (int x = std::max(left, 0); x < std::min(right, image.width()); x++)
    for (int y = 0; y < image.height(); y++)
      if (kv_colorref_from_rgb(image.pixel(x, y)) == c) n++;
  return n;
}

class MarketWindows : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(caps_);
    app_ = start();
  }
  void TearDown() override {
    g_portfolio_slot = 0;
    stop_chart_threads();
    ShellTest::TearDown();
  }
  mqt* quote(const char* symbol, float last, float prev_close, const char* sec_type = "STK") {
    mqt* r = create_multiquote_struct(symbol);
    EXPECT_TRUE(r);
    kv_lock lock(g_chart_lock);
    r->last = last;
    r->prev_close = prev_close;
    r->pct_last = (last - prev_close) * 100 / prev_close;
    r->pct_open = 0, r->pct_high = std::max(r->pct_last, 0.0f),
    r->pct_low = std::min(r->pct_last, 0.0f);
    snprintf(r->sec_type, sizeof r->sec_type, "%s", sec_type);
    return r;
  }
  // The race's picture: the column of the symbol's cell has bars of the
  // up or down colour of the window's settings.
  int race_pixels(CKvHRaceView* v, const QImage& image, const char* symbol, bool up) {
    const ChartSettings& s = static_cast<CKvWindowDoc*>(v->GetDocument())->Settings();
    for (int i = 0; i < v->CellCount(); i++) {
      const hrace_entry& e = v->Entries()[i];
      if (e.quote && strcmp(e.quote->symbol, symbol) == 0)
        return pixels_of(image, e.left_x, e.right_x, up ? s.up_color : s.down_color);
    }
    return -1;
  }
  template <class V>
  V* last_view(int kind) {
    std::vector<CKvWindowDoc*> docs = kv_window_docs(kind);
    return docs.empty() ? nullptr : dynamic_cast<V*>(docs.back()->GetFirstView());
  }
  CKvHRaceView* open_race(const std::string& list) {
    write_data("Race.slf", list);
    EXPECT_GT(app_->OpenSymbolListFile(data_file("Race.slf").c_str(), nullptr), 0);
    EXPECT_TRUE(app_->MainFrame()->RouteCommand(ID_SLF_HORSE_RACE));
    auto* v = last_view<CKvHRaceView>(KIND_HORSE_RACE);
    if (v && v->GetParentFrame()) v->GetParentFrame()->showNormal();
    return v;
  }
  CKvHRaceView* open_pl_race() {
    app_->m_sub_kind = 12;
    KvDocTemplate* t = app_->DocTemplate(KIND_HORSE_RACE);
    t->OpenDocumentFile(QString());
    app_->m_sub_kind = 0;
    auto* v = last_view<CKvHRaceView>(KIND_HORSE_RACE);
    if (v && v->GetParentFrame()) v->GetParentFrame()->showNormal();
    return v;
  }
  void post_pl(CKvHRaceView* v, unsigned message, const char* symbol) {
    char* copy = symbol ? strdup(symbol) : nullptr;
    ASSERT_TRUE(kv_post_message(v->GetSafeHwnd(), message, 0, (kv_lparam)copy,
                                copy ? kv_release_free_lparam : nullptr));
    kv_pump_events(10);
  }
  CKvChartApp* app_ = nullptr;
  uint32_t caps_ = 0;  // of the live quote source
};

TEST_F(MarketWindows, RaceSortsAndNameSortKeepsAutomaticSortingOff) {
  quote("AAA", 11, 10);
  quote("BBB", 9, 10);
  quote("CCC", 12, 10);
  CKvHRaceView* v = open_race("BBB\nCCC\nAAA\n");
  ASSERT_TRUE(v);
  ASSERT_EQ(3, v->CellCount());
  v->SortByValue(true);
  EXPECT_STREQ("CCC", v->Entries()[0].quote->symbol);
  EXPECT_STREQ("BBB", v->Entries()[2].quote->symbol);
  v->SortByValue(false);
  EXPECT_STREQ("BBB", v->Entries()[0].quote->symbol);
  v->ToggleAutoSort();
  EXPECT_TRUE(v->Flags() & HRACE_SORT_AUTO);
  EXPECT_GE(v->AutoSortCountdown(), (int)HRACE_AUTO_SORT_MIN_MS);
  v->SortByName();
  EXPECT_FALSE(v->Flags() & HRACE_SORT_AUTO);
  EXPECT_STREQ("AAA", v->Entries()[0].quote->symbol);
  v->ToggleAutoSort();  // with the name sort on it stays off
  EXPECT_FALSE(v->Flags() & HRACE_SORT_AUTO);

  // A dropped symbol is added once.
  for (int i = 0; i < 2; i++) {
    QMimeData data;
    data.setText(QStringLiteral("ddd"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &drop);
  }
  EXPECT_EQ(4, v->CellCount());
  v->GetParentFrame()->resize(500, 300);
  // The title counts the race once it is painted.
  EXPECT_TRUE(kv_wait_until([v] {
    QString t = v->GetDocument()->GetTitle();
    return t.startsWith(QStringLiteral("Race[")) &&
           t.endsWith(QStringLiteral("] Up:2 Dn:1 - HorseRace"));
  })) << v->GetDocument()->GetTitle().toStdString();
  // The symbols are written down their columns when the user shows the
  // symbol and date header (the display preference of every chart).
  auto column_top = [v] {
    v->Invalidate(false);
    kv_pump_events(20);
    const hrace_entry& e = v->Entries()[0];
    return v->grab().toImage().copy(e.left_x, 0, std::max(e.right_x - e.left_x, 1), 40);
  };
  QImage without = column_top();
  g_pref_flags |= 0x2;
  QImage with = column_top();
  EXPECT_NE(without, with) << "no symbol label in the first column";
  // AAA and CCC rose, BBB fell.
  QImage picture = v->grab().toImage();
  EXPECT_GT(race_pixels(v, picture, "AAA", true), 100);
  EXPECT_GT(race_pixels(v, picture, "CCC", true), 100);
  EXPECT_GT(race_pixels(v, picture, "BBB", false), 100);
  EXPECT_EQ(0, race_pixels(v, picture, "BBB", true));
  kv_grab_png(v->GetParentFrame(), QString::fromLatin1(KV_BINARY_DIR) + "/hrace_window.png");
  g_pref_flags &= ~0x2u;
}

TEST_F(MarketWindows, ProfitRaceFollowsThePortfolioMessages) {
  quote("IBM", 101, 100);
  quote("IBM OPT", 2, 1, "OPT");
  CKvHRaceView* v = open_pl_race();
  ASSERT_TRUE(v);
  ASSERT_TRUE(v->IsPL());
  EXPECT_EQ(v->GetSafeHwnd(), g_pl_window.load());
  post_pl(v, WM_ADD_PL_SYMBOL, "IBM");
  post_pl(v, WM_ADD_PL_SYMBOL, "IBM OPT");
  ASSERT_EQ(2, v->CellCount());
  EXPECT_EQ(2, v->ShownCount());
  post_pl(v, WM_REMOVE_PL_SYMBOL, "IBM");
  EXPECT_EQ(1, v->ShownCount());
  post_pl(v, WM_ADD_PL_SYMBOL, "IBM");
  EXPECT_EQ(2, v->CellCount()) << "the removed symbol's cell is used again";
  EXPECT_EQ(2, v->ShownCount());
  // Titled by the portfolio it races: the account of its slot.
  tws_managed_accounts("DU777");
  v->GetParentFrame()->resize(400, 260);
  v->Invalidate(false);
  EXPECT_TRUE(kv_wait_until([v] {
    return v->GetDocument()->GetTitle() == QStringLiteral("P&L - DU777");
  })) << v->GetDocument()->GetTitle().toStdString();
  tws_accounts_reset();
  v->CombineOptions();
  EXPECT_EQ(1, v->ShownCount()) << "the option cell is hidden";
  v->CombineOptions();
  EXPECT_EQ(2, v->ShownCount());
  post_pl(v, WM_CLEAR_PORTFOLIO, nullptr);
  EXPECT_EQ(0, v->CellCount());
  // The records went back to their other users only.
  EXPECT_NE(nullptr, find_mqt("IBM"));
  v->GetParentFrame()->close();
  EXPECT_TRUE(kv_wait_until([] { return g_pl_window.load() == 0; }));
}

// Combining options hides every cell that adding one hides, future options
// among them, and a removed option cell too: switched on and off again,
// each comes back, and one added again while combining stays hidden.
TEST_F(MarketWindows, CombiningOptionsHidesEveryOptionCellRemovedOrNot) {
  quote("IBM", 101, 100);
  mqt* opt = quote("IBM OPT", 2, 1, "OPT");
  mqt* fop = quote("ES FOP", 5, 4, "FOP");
  {
    kv_lock lock(g_chart_lock);
    opt->sec_code = 0x4;
    fop->sec_code = 0x8;
  }
  CKvHRaceView* v = open_pl_race();
  ASSERT_TRUE(v);
  for (const char* symbol : {"IBM", "IBM OPT", "ES FOP"}) post_pl(v, WM_ADD_PL_SYMBOL, symbol);
  ASSERT_EQ(3, v->ShownCount());
  v->CombineOptions();
  EXPECT_EQ(1, v->ShownCount()) << "the option and the future option are hidden";
  v->CombineOptions();
  EXPECT_EQ(3, v->ShownCount()) << "both come back";
  post_pl(v, WM_REMOVE_PL_SYMBOL, "IBM OPT");
  ASSERT_EQ(2, v->ShownCount());
  v->CombineOptions();
  EXPECT_EQ(1, v->ShownCount());
  post_pl(v, WM_ADD_PL_SYMBOL, "IBM OPT");
  EXPECT_EQ(3, v->CellCount());
  EXPECT_EQ(1, v->ShownCount()) << "the option added again stays hidden while combining";
  v->CombineOptions();
  EXPECT_EQ(3, v->ShownCount());
}

// The P&L race takes the positions of the account slot the symbol-list bar
// chose and is titled by that account.
TEST_F(MarketWindows, ProfitRaceShowsTheChosenAccountSlot) {
  mqt* first = quote("AAA", 11, 10);
  mqt* second = quote("BBB", 21, 20);
  {
    kv_lock lock(g_chart_lock);
    first->account_positions[0].quantity = 100;
    second->account_positions[1].quantity = 50;
  }
  ASSERT_EQ(2, tws_managed_accounts("DU1,DU2"));
  g_portfolio_slot = 1;
  CKvHRaceView* v = open_pl_race();
  ASSERT_TRUE(v);
  ASSERT_EQ(1, v->CellCount());
  EXPECT_STREQ("BBB", v->Entries()[0].quote->symbol);
  v->GetParentFrame()->resize(400, 260);
  v->Invalidate(false);
  EXPECT_TRUE(kv_wait_until([v] {
    return v->GetDocument()->GetTitle() == QStringLiteral("P&L - DU2");
  })) << v->GetDocument()->GetTitle().toStdString();
  tws_accounts_reset();
}

TEST_F(MarketWindows, DistributionPopupAndBlackScreenPrintsBlackOnWhite) {
  mqt* r = quote("IBM", 101, 100);
  {
    kv_lock lock(g_chart_lock);
    r->histogram_base = 100;
    r->histogram_step = 0.1;
    r->tick_size = 0.01;
    r->low = 100, r->high = 101.5f;
    for (int i = 0; i < 16; i++) r->histogram[i] = 1000 * (i % 5 + 1);
  }
  KvDocTemplate* t = app_->DocTemplate(KIND_PRICE_VOL_DIST);
  ASSERT_TRUE(t);
  t->OpenDocumentFile(QString());
  auto* v = last_view<CKvPriceVolDistView>(KIND_PRICE_VOL_DIST);
  ASSERT_TRUE(v);
  ASSERT_EQ(1, v->SetSymbol(QStringLiteral("ibm")));
  EXPECT_EQ(QStringLiteral("IBM - PVD"), v->GetDocument()->GetTitle());
  v->GetParentFrame()->resize(420, 360);
  v->UpdateWindow();
  EXPECT_EQ(100, v->Data().base_price);
  EXPECT_EQ(QStringLiteral("Volume"), v->VolumeText(-50, -50));

  auto* doc = static_cast<CKvWindowDoc*>(v->GetDocument());
  ChartSettings& s = doc->Settings();
  s.bg_color = 0, s.text_color = 0xFFFFFF, s.axis_color = 0xFFFFFF;
  ChartSettings before = s;
  QPrinter printer(QPrinter::HighResolution);
  QString pdf = QString::fromStdString(data_file("pvd.pdf"));
  kv_printer_to_pdf(printer, pdf, false);
  ASSERT_TRUE(v->PrintTo(printer));
  EXPECT_EQ(0, memcmp(&before, &s, offsetof(ChartSettings, items)))
      << "screen colours and candle size unchanged";
  EXPECT_GT(QFileInfo(pdf).size(), 0);
  // On the black screen: odd rows cyan, even rows the volume colour.
  v->Invalidate(false);
  kv_pump_events(20);
  QImage picture = v->grab().toImage();
  EXPECT_EQ(0u, s.bg_color);
  EXPECT_GT(pixels_of(picture, 0, picture.width(), 0), picture.width() * 10);
  EXPECT_GT(pixels_of(picture, 0, picture.width(), 0xFFFF00), 500);
  EXPECT_GT(pixels_of(picture, 0, picture.width(), s.up_volume_color), 500);
  kv_grab_png(v->GetParentFrame(), QString::fromLatin1(KV_BINARY_DIR) + "/pvd_window.png");
}

// The P&L race fed by the broker client itself: the application's link to
// a fake TWS on loopback, an advisor with two accounts.
class ProfitRaceFromTws : public MarketWindows {
 protected:
  ProfitRaceFromTws() { caps_ = QR_CAP_BROKER_SOCKET; }
  // A stock position of an account: quantity at avg, now at price.
  static std::vector<std::string> stock(const char* symbol, int quantity, double avg, double price,
                                        double realized, const char* account) {
    auto num = [](double d) { return QString::number(d, 'f', 2).toStdString(); };
    std::vector<std::string> f = {"7", "6", "0", symbol, "STK", "", "0", "", "USD", symbol};
    f.push_back(std::to_string(quantity));
    for (double v : {price, quantity * price, avg, quantity * (price - avg), realized})
      f.push_back(num(v));
    f.push_back(account);
    return f;
  }
  std::vector<std::string> shown_symbols(CKvHRaceView* v) {
    std::vector<std::string> out;
    kv_lock lock(g_chart_lock);
    for (int i = 0; i < v->CellCount(); i++) {
      const hrace_entry& e = v->Entries()[i];
      if (e.quote && !(e.flags & 0x06)) out.push_back(e.quote->symbol);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  static float profit_of(const char* symbol) {
    kv_lock lock(g_chart_lock);
    mqt* r = find_mqt(symbol);
    return r ? r->race.pl_now : NAN;
  }
};

// TWS's portfolio messages list the positions of the selected account; an
// account time has the client recalculate, so a closed position leaves
// the race and the others show their profit; a position opened again takes
// its old cell; a group chosen in the advisor bar clears the race and
// fills it with every position of the group.
TEST_F(ProfitRaceFromTws, PortfolioFromTwsAddsRemovesUpdatesAndClears) {
  g_pref_flags1 |= ADVISOR_MODE_FLAG;
  // Two stocks the trader follows; the third position's record is made
  // by the client under the name it gives a contract.
  quote("IBM", 110, 108);
  quote("MSFT", 380, 390);
  CKvHRaceView* v = open_pl_race();
  ASSERT_TRUE(v);
  EXPECT_EQ(0, v->CellCount());
  app_tws_link tws;
  ASSERT_TRUE(tws.connect());
  // An advisor's link asks for the accounts and the advisor data itself.
  EXPECT_EQ((std::vector<std::string>{"8:1", "17", "18:3", "18:2", "18:1", "49"}), tws.requests());
  tws.send({"15", "1", "DU1,DU2"});
  tws.send({"16", "1", "1",
            "<ListOfGroups><Group><name>Both</name><ListOfAccts><String>DU1</String>"
            "<String>DU2</String></ListOfAccts><defaultMethod>NetLiq</defaultMethod></Group>"
            "</ListOfGroups>"});
  tws.send(stock("IBM", 100, 100, 110, 0, "DU1"));
  tws.send(stock("MSFT", 50, 400, 380, 0, "DU1"));
  tws.send(stock("SAP", 10, 200, 230, 0, "DU2"));
  tws.send({"8", "1", "09:31"});
  // Without a choice the first account is raced; SAP is DU2's.
  ASSERT_TRUE(kv_wait_until([&] { return profit_of("MSFT") == -1000 && v->CellCount() == 2; }));
  EXPECT_EQ((std::vector<std::string>{"IBM", "MSFT"}), shown_symbols(v));
  EXPECT_FLOAT_EQ(1000, profit_of("IBM"));

  // IBM closed flat: out at the next recalculation, its cell kept.
  tws.send(stock("IBM", 0, 0, 110, 0, "DU1"));
  tws.send({"8", "1", "09:32"});
  ASSERT_TRUE(kv_wait_until([&] { return v->ShownCount() == 1; }));
  EXPECT_EQ(2, v->CellCount());
  tws.send(stock("IBM", 20, 105, 110, 0, "DU1"));
  ASSERT_TRUE(kv_wait_until([&] { return v->ShownCount() == 2; }));
  EXPECT_EQ(2, v->CellCount()) << "the closed position's cell is used again";

  // The group: cleared, then every account's positions.
  QToolBar* bar = nullptr;
  for (QToolBar* b : app_->MainFrame()->findChildren<QToolBar*>())
    if (b->windowTitle() == QLatin1String("Advisor")) bar = b;
  ASSERT_TRUE(bar);
  auto* combo = bar->findChild<QComboBox*>(QStringLiteral("advisor_account"));
  ASSERT_TRUE(combo);
  combo->showPopup();
  combo->setCurrentIndex(combo->findText(QStringLiteral("Both")));
  combo->hidePopup();
  ASSERT_TRUE(kv_wait_until([&] { return shown_symbols(v).size() == 3; }))
      << shown_symbols(v).size();
  EXPECT_EQ((std::vector<std::string>{"IBM", "MSFT", "M~S_SAP"}), shown_symbols(v));
  EXPECT_EQ(3, v->CellCount());
  EXPECT_FLOAT_EQ(300, profit_of("M~S_SAP"));
  // Profits in money on the axis; IBM's and SAP's bars in the up colour,
  // MSFT's loss in the down colour, each in its column.
  g_pref_flags |= 0x2;
  v->GetParentFrame()->resize(420, 300);
  v->Invalidate(false);
  kv_pump_events(20);
  QImage picture = v->grab().toImage();
  EXPECT_GT(race_pixels(v, picture, "IBM", true), 50);
  EXPECT_GT(race_pixels(v, picture, "M~S_SAP", true), 50);
  EXPECT_GT(race_pixels(v, picture, "MSFT", false), 50);
  EXPECT_EQ(0, race_pixels(v, picture, "MSFT", true));
  // Scaled by the profits: 100 draws shorter than 300, 300 shorter than a
  // loss of 1,000.
  EXPECT_LT(race_pixels(v, picture, "IBM", true), race_pixels(v, picture, "M~S_SAP", true));
  EXPECT_LT(race_pixels(v, picture, "M~S_SAP", true), race_pixels(v, picture, "MSFT", false));
  // Titled by the advisor's choice, whose accounts it races.
  EXPECT_EQ("P&L - Both", v->GetDocument()->GetTitle().toStdString());
  kv_grab_png(v->GetParentFrame(), QString::fromLatin1(KV_BINARY_DIR) + "/pl_race_window.png");
  g_pref_flags &= ~0x2u;
}

}  // namespace
