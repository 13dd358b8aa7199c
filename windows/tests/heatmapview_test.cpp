// The SLFMap window in a started application: cells from a symbol list,
// typed and dropped symbols, exclude/hide/delete, the constraint, the
// symbol-list save and its picture.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <cstring>
#include <fstream>
#include <sstream>

#include "data/chartthreads.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "platform/qt/color.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/test_harness.h"
#include "quotes/mqt.h"
#include "settings/settings.h"
#include "shell/alertsdlg.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "shell/tests/shell_fixture.h"
#include "shell/windowdoc.h"
#include "windows/heatmapview.h"

namespace {

enum : unsigned { ID_SLF_MAP = 32908 };
const int DAY = 20260105;

std::string status_messages() {
  std::string out;
  for (size_t i = 0; i < g_statmsg_cursor; i++) out += g_statmsg_ring[i] ? g_statmsg_ring[i] : '\n';
  return out;
}

class HeatMapWindow : public ShellTest {
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
  void store(const char* symbol, float last, float prev_close) {
    mqt* r = create_multiquote_struct(symbol);
    ASSERT_TRUE(r);
    r->quote_date = DAY;
    r->quote_time = 36000;
    r->trade_time = 36001;
    r->prev_close = prev_close;
    r->last = last;
    r->last_size = 100;
    r->feed_flags =
        FEED_DATE | FEED_TIME | FEED_TRADE_TIME | FEED_LAST | FEED_LAST_SIZE | FEED_PREV_CLOSE;
    ASSERT_EQ(save_mqt_data(r, 3), 1);
  }
  CKvHeatMapView* open_map(const std::string& list) {
    write_data("Lists.slf", list);
    EXPECT_GT(app_->OpenSymbolListFile(data_file("Lists.slf").c_str(), nullptr), 0);
    EXPECT_TRUE(app_->MainFrame()->RouteCommand(ID_SLF_MAP));
    std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_SLFMAP);
    if (docs.empty()) return nullptr;
    auto* v = dynamic_cast<CKvHeatMapView*>(docs.back()->GetFirstView());
    if (v && v->GetParentFrame()) {
      v->GetParentFrame()->showNormal();
      v->GetParentFrame()->resize(640, 420);
      kv_pump_events(10);
    }
    return v;
  }
  void type(QWidget* w, const QString& text) {
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QCoreApplication::sendEvent(w, &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QCoreApplication::sendEvent(w, &enter);
  }
  int drop(QWidget* w, const QString& text) {
    QMimeData data;
    data.setText(text);
    QDragEnterEvent enter(QPoint(20, 40), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                          Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    QDropEvent d(QPointF(20, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &d);
    return d.isAccepted() ? 1 : 0;
  }
  CKvChartApp* app_ = nullptr;
};

TEST_F(HeatMapWindow, ListOfTwoHundredFiftyKeepsTwoHundredCells) {
  std::string list;
  for (int i = 0; i < 250; i++) list += "S" + std::to_string(i) + "\n";
  CKvHeatMapView* v = open_map(list);
  ASSERT_TRUE(v);
  EXPECT_EQ(200, v->CellCount());
  EXPECT_EQ(200, v->ShownCount());
  EXPECT_NE(std::string::npos, status_messages().find("Too many symbols for SLFMap, max 200"));
  EXPECT_TRUE(v->GetDocument()->GetTitle().endsWith(QStringLiteral(" - SLFMap")));
}

TEST_F(HeatMapWindow, TypedAndDroppedSymbolsAreCheckedAndCellsReused) {
  CKvHeatMapView* v = open_map("IBM\nMSFT\n");
  ASSERT_TRUE(v);
  type(v, QStringLiteral("nvda"));
  ASSERT_EQ(3, v->CellCount());
  EXPECT_STREQ("NVDA", v->Cells()[2].record->symbol);
  EXPECT_TRUE(v->Typed().isEmpty());
  type(v, QStringLiteral("NVDA"));
  EXPECT_EQ(3, v->CellCount());
  v->DeleteSymbol("NVDA");
  EXPECT_EQ(2, v->ShownCount());
  type(v, QStringLiteral("nvda"));
  EXPECT_EQ(3, v->CellCount()) << "the deleted cell is taken again";
  EXPECT_EQ(3, v->ShownCount());
  EXPECT_EQ(0u, v->Cells()[2].flags);

  // A 32-character word is refused with a message; a 300-character drop
  // and blanks add nothing; the window keeps working.
  type(v, QString(32, QLatin1Char('X')));
  EXPECT_EQ(3, v->CellCount());
  EXPECT_EQ(0, drop(v, QString(300, QLatin1Char('Y'))));
  EXPECT_EQ(0, drop(v, QStringLiteral("   ")));
  EXPECT_EQ(1, drop(v, QStringLiteral("  aapl ")));
  EXPECT_EQ(4, v->CellCount());
  EXPECT_STREQ("AAPL", v->Cells()[3].record->symbol);
  v->UpdateWindow();
}

TEST_F(HeatMapWindow, ExcludeKeepsThePlaceHideReflowsAndTheListSaves) {
  store("IBM", 110, 100);
  store("MSFT", 90, 100);
  CKvHeatMapView* v = open_map("IBM\nMSFT\nAAPL\nNVDA\nORCL\n");
  ASSERT_TRUE(v);
  v->UpdateWindow();
  CHeatMapLayout& l = v->Layout();
  EXPECT_EQ(2, l.columns);
  EXPECT_EQ(3, l.rows);
  KvRect msft = v->Cells()[1].cell;
  // A double click opens the symbol's alerts; the window the user kept
  // shows the symbol double-clicked next.
  auto double_click = [v](const KvRect& r) {
    QPointF at(r.left + 3, r.top + 3);
    QMouseEvent e(QEvent::MouseButtonDblClick, at, v->mapToGlobal(at), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
  };
  double_click(v->Cells()[0].cell);
  CAlertsDlg* alerts = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* d = dynamic_cast<CAlertsDlg*>(w); d && d->isVisible()) alerts = d;
  ASSERT_TRUE(alerts);
  EXPECT_EQ(QStringLiteral("IBM"), alerts->Symbol());
  QCheckBox* keep = alerts->findChild<QCheckBox*>();
  ASSERT_TRUE(keep);
  keep->click();
  ASSERT_EQ(alerts, app_->MainFrame()->AlertsDlg());
  double_click(msft);
  EXPECT_EQ(QStringLiteral("MSFT"), alerts->Symbol());
  delete alerts;
  v->ExcludeSymbol("MSFT");
  v->UpdateWindow();
  EXPECT_EQ(msft.left, v->Cells()[1].cell.left);
  EXPECT_EQ(RGB(255, 255, 255),
            kv_colorref_from_rgb(v->backing().pixel(msft.left + 3, msft.top + 3)));
  // The picture a trader sees: IBM up 10% in the spectrum's colour of its
  // step, MSFT excluded (white), the unquoted symbols in the step of 0.
  {
    QImage picture = v->grab().toImage();
    auto at = [&](int cell) {
      const KvRect& r = v->Cells()[cell].cell;
      return kv_colorref_from_rgb(picture.pixel(r.left + 3, r.top + 3));
    };
    ASSERT_GE(l.StepOf(10), 0);
    EXPECT_EQ(l.steps[l.StepOf(10)].color, at(0));
    EXPECT_NE(RGB(255, 255, 255), at(0));
    EXPECT_EQ(RGB(255, 255, 255), at(1));
    // The spectrum bar shows every step's colour.
    for (int i = 0; i < HEATMAP_STEPS; i++) {
      const KvRect& slot = l.steps[i].slot;
      SCOPED_TRACE(i);
      EXPECT_EQ(l.steps[CHeatMapLayout::StepInSlot(i)].color,
                kv_colorref_from_rgb(picture.pixel(slot.left + slot.Width() / 2, slot.top + 2)));
    }
    kv_grab_png(v->GetParentFrame(), QString::fromLatin1(KV_BINARY_DIR) + "/heatmap_window.png");
  }
  v->HideSymbol("AAPL");
  v->UpdateWindow();
  EXPECT_EQ(4, v->ShownCount());
  EXPECT_EQ(2, l.columns);
  EXPECT_EQ(2, l.rows);
  v->DeleteSymbol("ORCL");

  // Constraints: 0 rows and 32 columns are refused, 4 rows taken.
  EXPECT_EQ(0, v->SetConstraint(HEATMAP_ROWS_FIXED, 0, 0));
  EXPECT_EQ(0, v->SetConstraint(HEATMAP_COLUMNS_FIXED, 0, 32));
  EXPECT_EQ(1, v->SetConstraint(HEATMAP_ROWS_FIXED, 4, 0));
  v->UpdateWindow();
  EXPECT_EQ(4, l.rows);
  EXPECT_EQ(1, l.columns);
  auto* doc = static_cast<CKvWindowDoc*>(v->GetDocument());
  EXPECT_EQ(4u, (doc->Settings().flags >> MAP_ROWS_SHIFT) & MAP_FIELD_MASK);

  // Hidden cells are written, deleted ones not; by name.
  std::string path = data_file("Saved.slf");
  ASSERT_TRUE(doc->SaveSymbolList(QString::fromStdString(path)));
  std::ifstream f(path);
  std::stringstream s;
  s << f.rdbuf();
  EXPECT_EQ("AAPL \r\nIBM \r\nMSFT \r\nNVDA \r\n", s.str());
}

TEST_F(HeatMapWindow, NewDocumentStartsEmptyAndPopupSaysNoSymbol) {
  g_pref_flags |= 0x20;
  CKvHeatMapView* v = open_map("IBM\n");
  ASSERT_TRUE(v);
  EXPECT_EQ(0, v->CellCount());
  EXPECT_FALSE(v->GetDocument()->GetTitle().contains(QStringLiteral("Lists")));
  v->UpdateWindow();
  QMenu* menu = v->BuildPopupMenu(10, 10);
  EXPECT_EQ(QStringLiteral("No Symbol"), menu->actions().first()->text());
  QAction* sort = kv_find_action(menu, ID_MAP_SORT);
  ASSERT_TRUE(sort);
  EXPECT_FALSE(sort->isEnabled());
  delete menu;
  type(v, QStringLiteral("ibm"));
  EXPECT_EQ(1, v->CellCount());
}

}  // namespace
