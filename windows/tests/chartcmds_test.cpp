// The chart view's trading-dialog commands in a started application: Order
// Setup, Attach Study and Select Strategy open their dialogs on a real
// chart window of TEST, what the dialog does reaches the chart, and each
// command is disabled while its dialog is not installed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRadioButton>
#include <QTimer>
#include <cstring>
#include <string>

#include "broker/executions.h"
#include "broker/orddef.h"
#include "broker/orders.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/favoritesdlg.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "chartwin/tradeview.h"
#include "chartwin/viewhooks.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/strategy.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/qt/frames.h"
#include "platform/qt/test_harness.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "settings/datadirs.h"
#include "shell/app.h"
#include "shell/core/chartstore.h"
#include "shell/windowdoc.h"
#include "studies/study.h"
#include "windows/attachstudydlg.h"
#include "windows/ordersetupdlg.h"
#include "windows/strategiesdlg.h"

namespace {

enum : unsigned {
  ID_ORDER_SETUP = 33216,
  ID_ATTACH_STUDY = 33323,
  ID_SELECT_STRATEGY = 33165,
  ID_SHOW_GRTRADE = 33213,
  ID_APPLY_FAVORITE = 33333,
};

class ChartTradingDialogsTest : public ChartWinTest {
 protected:
  void TearDown() override {
    close_all_accounts();
    ChartWinTest::TearDown();
  }
  // A chart of TEST (120 daily bars) with a quote of 19.90 / 20.10.
  CKvChartView* open_test() {
    write_price_file("TEST", TU_DAILY, wave_bars(120));
    CKvChartDoc* doc = new_chart();
    if (!doc) return nullptr;
    CKvChartView* v = view_of(doc);
    type_symbol(v, "TEST");
    if (!doc->m_chart || !doc->m_chart->mqt) return nullptr;
    rec = doc->m_chart->mqt;
    delete_orders(rec);  // the record outlives a test
    kv_lock guard(g_chart_lock);
    rec->bid = 19.9f, rec->ask = 20.1f, rec->last = 20.0f;
    rec->bid_size = rec->ask_size = 500;
    rec->tick_size = 0.01;
    rec->flags |= MQT_QUOTE_STORED;
    return v;
  }
  static bool enabled(CKvChartView* v, unsigned id) {
    KvCmdUI ui;
    ui.id = id;
    v->OnUpdateCmdUI(ui);
    return ui.enabled;
  }
  // Routes a command whose dialog drive() answers.
  static void route(CKvChartView* v, unsigned id, std::function<void(QWidget*)> drive) {
    kv_when_modal(std::move(drive));
    ASSERT_TRUE(v->OnCmdMsg(id));
  }
  // Each command is disabled while its entry is missing.
  static void expect_needs_hook(CKvChartView* v, unsigned id,
                                std::function<void(chart_view_hooks&)> clear) {
    EXPECT_TRUE(enabled(v, id)) << id;
    chart_view_hooks saved = g_chart_view_hooks;
    clear(g_chart_view_hooks);
    EXPECT_FALSE(enabled(v, id)) << id;
    g_chart_view_hooks = saved;
  }

  // Right-clicks the view at (x, y) as a user does and chooses the item of
  // the pop-up menu with that command; false when no menu came up or the
  // item was missing or grayed.
  static bool choose_from_menu(CKvChartView* v, int x, int y, unsigned id) {
    bool chosen = false;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      for (QAction* a : menu->actions())
        if (a->objectName() == QStringLiteral("cmd%1").arg(id) && a->isEnabled()) {
          menu->setActiveAction(a);
          chosen = true;
        }
      QKeyEvent k(QEvent::KeyPress, chosen ? Qt::Key_Return : Qt::Key_Escape, Qt::NoModifier);
      QCoreApplication::sendEvent(menu, &k);
    });
    QPointF p(x, y);
    QMouseEvent e(QEvent::MouseButtonPress, p, v->mapToGlobal(p), Qt::RightButton, Qt::RightButton,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
    return chosen;
  }

  mqt* rec = nullptr;
};

TEST_F(ChartTradingDialogsTest, OrderSetupEditsAndWritesTheSymbolsDefinition) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  expect_needs_hook(v, ID_ORDER_SETUP, [](chart_view_hooks& h) { h.order_setup = nullptr; });

  route(v, ID_ORDER_SETUP, [](QWidget* w) {
    EXPECT_EQ(w->windowTitle().toStdString(), "Order Setup for TEST");
    kv_type(w, IDC_OS_LOT, QStringLiteral("300"));
    kv_click(w, IDOK);
  });
  OrderDef* def = g_orddef_store.FindKey("TEST");
  ASSERT_TRUE(def);
  EXPECT_EQ(def->lot_size, 300);
  EXPECT_FALSE(def->flags & ORDDEF_MODIFIED);  // written
  std::string bytes;
  ASSERT_TRUE(kv_read_file(def->path, &bytes, nullptr));
  OrderDef back{};
  ASSERT_TRUE(orddef_decode((const uint8_t*)bytes.data(), bytes.size(), &back));
  EXPECT_STREQ(back.key, "TEST");
  EXPECT_EQ(back.lot_size, 300);

  // Cancel keeps the definition and its file.
  route(v, ID_ORDER_SETUP, [](QWidget* w) {
    kv_type(w, IDC_OS_LOT, QStringLiteral("5"));
    kv_click(w, IDCANCEL);
  });
  EXPECT_EQ(def->lot_size, 300);
  std::string again;
  ASSERT_TRUE(kv_read_file(def->path, &again, nullptr));
  EXPECT_EQ(again, bytes);
}

TEST_F(ChartTradingDialogsTest, AttachStudyTiesTheOrderUnderTheCursorToAStudy) {
  write_data("ACCOUNTS/PAPER1.trades", "");
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  chart_rec* chart = v->GetDocument()->m_chart;
  EXPECT_FALSE(enabled(v, ID_ATTACH_STUDY));  // graphical trading is off
  OrderDef* def = g_orddef_store.GetForSymbol(rec);
  ASSERT_TRUE(def);
  snprintf(def->account, sizeof def->account, "PAPER1");
  def->flags = ORDDEF_MODE_PAPER;
  def->lot_size = 100;
  ASSERT_TRUE(v->OnCmdMsg(ID_SHOW_GRTRADE));
  expect_needs_hook(v, ID_ATTACH_STUDY, [](chart_view_hooks& h) { h.attach_study = nullptr; });

  StudyDef* sma = find_or_create_study(chart, 0x80001, 10, 4, 1.0);
  ASSERT_TRUE(sma);
  order_rec* o = create_order(rec);
  ASSERT_TRUE(o);
  {
    kv_lock guard(g_chart_lock);
    o->relay.type =
        order_type_word(ORDER_BUY, ORDER_DAY, ORDER_LMT) | ORDER_SIMULATED | ORDER_TRANSMIT;
    o->relay.quantity = 100;
    o->relay.limit = 19.50;
    strcpy(o->relay.account, "PAPER1");
  }
  ASSERT_TRUE(place_order(o));
  int32_t order_id;
  {
    kv_lock guard(g_chart_lock);
    order_id = o->relay.order_id;
  }
  // A right click on the order's line; the order menu's "Attach Study...".
  v->Invalidate(true);
  v->repaint();
  KvRect tr;
  v->Panes().getActiveGrTradeRect(1, &tr);
  const int x = tr.left + 7, y = v->GrTrade()->PriceToY(19.50);
  kv_when_modal([](QWidget* w) {
    EXPECT_TRUE(dynamic_cast<CAttachStudyDlg*>(w));
    EXPECT_EQ(dynamic_cast<KvDialog*>(w)->GetDlgItemText(IDC_AT_STATUS).toStdString(),
              "Attached Study: None");
    EXPECT_TRUE(kv_choose(w, IDC_AT_STUDIES, 0));
    kv_click(w, IDC_AT_ATTACH);
  });
  ASSERT_TRUE(choose_from_menu(v, x, y, ID_ATTACH_STUDY));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(sma->attached_order, order_id);
    EXPECT_TRUE(chart->header.flags & CHART_ORDER_ATTACHED);
    EXPECT_TRUE(o->flags & ORDER_F_STUDY);
  }
  // Opened again on the same order, which now follows the study, it
  // detaches.
  double moved;
  {
    kv_lock guard(g_chart_lock);
    moved = o->relay.limit;
  }
  kv_when_modal([](QWidget* w) {
    EXPECT_EQ(dynamic_cast<KvDialog*>(w)->GetDlgItemText(IDC_AT_ATTACH).toStdString(), "Detach");
    kv_click(w, IDC_AT_ATTACH);
  });
  ASSERT_TRUE(choose_from_menu(v, x, v->GrTrade()->PriceToY(moved), ID_ATTACH_STUDY));
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(sma->attached_order, 0);
  EXPECT_FALSE(chart->header.flags & CHART_ORDER_ATTACHED);
}

// A backtest runs and lets the chart go; a simulated run keeps trading,
// marks the view, is asked about before the dialog opens again and ends
// with its window.
TEST_F(ChartTradingDialogsTest, SelectStrategyRunsTheSystemTitlesTheWindowAndEndsWithIt) {
  CKvChartView* v = open_test();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  chart_rec* chart = doc->m_chart;
  expect_needs_hook(v, ID_SELECT_STRATEGY,
                    [](chart_view_hooks& h) { h.select_strategy = nullptr; });
  const std::string plain = doc->GetTitleText();

  auto run_mode = [](int mode) {
    return [mode](QWidget* w) {
      auto* d = dynamic_cast<CStrategiesDlg*>(w);
      ASSERT_TRUE(d);
      EXPECT_EQ(w->windowTitle().toStdString(), "Strategy for TEST");
      EXPECT_TRUE(
          kv_choose(w, IDC_ST_NAME, d->name_box()->FindStringExact(-1, QStringLiteral("IMS"))));
      EXPECT_TRUE(kv_click(w, IDC_ST_BACKTEST + mode));
      kv_click(w, IDOK);  // Run
    };
  };
  route(v, ID_SELECT_STRATEGY, run_mode(STRATEGY_BACKTEST));
  strategy_ctx* run = v->StrategyRun();
  EXPECT_STREQ(run->system_name, "IMS");
  EXPECT_TRUE(run->flags & STRATEGY_STARTED);
  EXPECT_FALSE(chart->header.flags & CHART_SYSTEM_RUNNING);
  EXPECT_FALSE(v->m_view_flags & VF_STRATEGY_LIVE);
  EXPECT_EQ(doc->GetTitle().toStdString(), plain + " IMS Backtest");

  route(v, ID_SELECT_STRATEGY, run_mode(STRATEGY_SIMULATE));
  EXPECT_TRUE(chart->header.flags & CHART_SYSTEM_RUNNING);
  EXPECT_EQ(chart->strategy, run);
  EXPECT_TRUE(v->m_view_flags & VF_STRATEGY_LIVE);
  EXPECT_EQ(doc->GetTitle().toStdString(), plain + " IMS Simulate");
  {
    kv_lock guard(g_chart_lock);
    ASSERT_TRUE(rec->update_callbacks);
  }

  // While it runs, the dialog opens only once the run is stopped.
  size_t boxes = services_.boxes.size();
  services_.box_answers.push_back(IDNO);
  ASSERT_TRUE(v->OnCmdMsg(ID_SELECT_STRATEGY));
  ASSERT_EQ(services_.boxes.size(), boxes + 1);
  EXPECT_EQ(services_.boxes.back().text,
            "A strategy is running on this chart.\nDo you want to stop it?");
  EXPECT_EQ(chart->strategy, run);
  // Answered Yes, the run stops before the dialog runs the system again:
  // one run, one listener on the record.
  services_.box_answers.push_back(IDYES);
  route(v, ID_SELECT_STRATEGY, run_mode(STRATEGY_SIMULATE));
  EXPECT_EQ(chart->strategy, run);
  {
    kv_lock guard(g_chart_lock);
    ASSERT_TRUE(rec->update_callbacks);
    EXPECT_EQ(rec->update_callbacks->next, nullptr);
  }

  // No favourite takes the studies the running system draws on.
  StudyDef* studies = chart->studies;
  ASSERT_TRUE(studies);
  char path[1024];
  ASSERT_TRUE(data_folder_path(path, sizeof path, KV_DIR_FAVORITE, "plain.fav"));
  ASSERT_EQ(g_chart_store.SaveFavorite(&doc->Settings(), path, nullptr), 1);
  boxes = services_.boxes.size();
  route(v, ID_APPLY_FAVORITE, [](QWidget* w) {
    kv_choose(w, IDC_FAV_LIST, 0);
    kv_click(w, IDC_FAV_CREATE);
  });
  ASSERT_EQ(services_.boxes.size(), boxes + 1);
  EXPECT_EQ(services_.boxes.back().text,
            "Stop Live or simulated trading before applying a favorite\n");
  EXPECT_EQ(chart->studies, studies);

  // Closing the window ends the run: the record's listener goes with it.
  mqt* held = create_multiquote_struct("TEST");
  v->GetParentFrame()->close();
  EXPECT_TRUE(kv_wait_until([&] { return kv_window_docs(KIND_CHART).empty(); }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(held->update_callbacks, nullptr);
  }
  delete_multiquote(held);
}

}  // namespace
