// The horse-race and price/volume distribution windows in a started
// application: a race from a symbol list and its sorts, the P&L race fed
// by the broker client's messages, the distribution's popup and printing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPrinter>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "broker/twsacct.h"
#include "data/chartsettings.h"
#include "data/chartthreads.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/window.h"
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
#include "windows/pvdview.h"

namespace {

enum : unsigned { ID_SLF_HORSE_RACE = 32970 };

class MarketWindows : public ShellTest {
 protected:
  void SetUp() override {
    ShellTest::SetUp();
    write_quote_config(0);
    app_ = start();
  }
  void TearDown() override {
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
  kv_grab_png(v->GetParentFrame(), QString::fromLatin1(KV_BINARY_DIR) + "/pvd_window.png");
}

}  // namespace
