// The annotation editor and alert overlay inside a real chart window: the
// view's mouse draws a line that is stored with the chart and painted, and
// the alert buttons and a press in the chart set an alert.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMouseEvent>
#include <vector>

#include "chart/alertoverlay.h"
#include "chart/annotview.h"
#include "chart/basicchart.h"
#include "chart/chartui.h"
#include "chart/pane.h"
#include "chartwin/annotlayers.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "data/drawdefs.h"
#include "platform/locks.h"
#include "quotes/alerts.h"
#include "settings/settings.h"
#include "shell/app.h"

namespace {

class ChartLayersTest : public ChartWinTest {
 protected:
  CKvChartView* open_intc() {
    write_price_file("INTC", TU_DAILY, wave_bars(300));
    CKvChartDoc* doc = new_chart();
    if (!doc) return nullptr;
    CKvChartView* v = view_of(doc);
    type_symbol(v, "INTC");
    return v;
  }
  static void mouse(CKvChartView* v, QEvent::Type type, int x, int y) {
    QPointF p(x, y);
    Qt::MouseButton b = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, p, v->mapToGlobal(p), b, held, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
  }
  static void drag(CKvChartView* v, int x1, int y1, int x2, int y2) {
    mouse(v, QEvent::MouseMove, x1, y1);
    mouse(v, QEvent::MouseButtonPress, x1, y1);
    mouse(v, QEvent::MouseMove, (x1 + x2) / 2, (y1 + y2) / 2);
    mouse(v, QEvent::MouseMove, x2, y2);
    mouse(v, QEvent::MouseButtonRelease, x2, y2);
  }
  static void paint(CKvChartView* v) {
    v->Invalidate(true);
    v->repaint();
  }
};

TEST_F(ChartLayersTest, MouseDrawsAStoredLineThatThePaintShowsAndDeleteRemovesIt) {
  CKvChartView* v = open_intc();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  ASSERT_TRUE(doc->m_chart);
  CKvAnnotView* editor = chart_annot_editor(v->m_annot.get());
  ASSERT_TRUE(editor);
  paint(v);
  KvRect area = editor->area;
  ASSERT_GT(area.Width(), 100);
  QImage before = v->backing().copy();
  g_annot_draw = {0, 0x0000FF, 0, 0, 0};
  ASSERT_TRUE(v->OnCmdMsg(33233));  // Draw/2 Point Finite Line
  int x1 = area.left + area.Width() / 4, y1 = area.top + area.Height() / 3;
  int x2 = area.left + area.Width() / 2, y2 = area.top + area.Height() * 2 / 3;
  mouse(v, QEvent::MouseMove, x1, y1);
  mouse(v, QEvent::MouseButtonPress, x1, y1);
  mouse(v, QEvent::MouseMove, x2, y2);
  EXPECT_TRUE(v->m_annot->Busy());
  // The rubber band follows the pointer: the move reached the editor.
  EXPECT_EQ(editor->Slot(0).x2, x2);
  EXPECT_EQ(editor->Slot(0).y2, y2);
  mouse(v, QEvent::MouseButtonRelease, x2, y2);
  EXPECT_FALSE(v->m_annot->Busy());
  ASSERT_TRUE(v->OnCmdMsg(33231));  // Draw/None keeps the line just drawn
  EXPECT_FALSE(g_annot_draw.flags & ANNOT_DRAWING_ON);
  {
    kv_lock guard(g_chart_lock);
    ASSERT_EQ(doc->m_chart->header.ext_count, 1);
    line_record l;
    line_record_decode(doc->m_chart->extensions->block, &l);
    EXPECT_EQ(l.type, ANNOT_FINITE);
    EXPECT_EQ(l.seq, 1u);
    EXPECT_LT(l.time1, l.time2);
    EXPECT_GT(l.price1, l.price2);  // drawn downwards on screen: falling
    EXPECT_EQ(l.color, 0x0000FFu);
  }
  paint(v);
  int red = 0;  // the stored line is painted in its colour near its middle
  for (int dy = -2; dy <= 2; dy++)
    for (int dx = -2; dx <= 2; dx++)
      red += (v->backing().pixel((x1 + x2) / 2 + dx, (y1 + y2) / 2 + dy) & 0xFFFFFF) == 0xFF0000u;
  EXPECT_GT(red, 0);
  EXPECT_NE(v->backing(), before);
  // Select it through the view while drawing and delete it with the key.
  ASSERT_TRUE(v->OnCmdMsg(33233));
  int mx = (x1 + x2) / 2, my = (y1 + y2) / 2;
  mouse(v, QEvent::MouseMove, mx, my);
  mouse(v, QEvent::MouseButtonPress, mx, my);
  mouse(v, QEvent::MouseButtonRelease, mx, my);
  ASSERT_GT(editor->SelectedLine(), 0);
  QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
  QCoreApplication::sendEvent(v, &del);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(doc->m_chart->header.ext_count, 0);
  }
  v->OnCmdMsg(33231);
}

TEST_F(ChartLayersTest, DrawMenuCopiesTheSelectedLineInParallelAndErasesAllLines) {
  CKvChartView* v = open_intc();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  CKvAnnotView* editor = chart_annot_editor(v->m_annot.get());
  ASSERT_TRUE(editor);
  paint(v);
  KvRect area = editor->area;
  ASSERT_GT(area.Height(), 100);
  KvCmdUI parallel;
  parallel.id = 33247;
  ASSERT_TRUE(v->OnUpdateCmdUI(parallel));
  EXPECT_FALSE(parallel.enabled);   // nothing selected
  ASSERT_TRUE(v->OnCmdMsg(33234));  // Draw/2 Point Infinite Line
  KvCmdUI kind;
  kind.id = 33234;
  v->OnUpdateCmdUI(kind);
  EXPECT_EQ(kind.check, 1);
  int x1 = area.left + area.Width() / 4, y1 = area.top + area.Height() / 4;
  int x2 = area.left + area.Width() / 2, y2 = area.top + area.Height() / 2;
  drag(v, x1, y1, x2, y2);
  v->OnUpdateCmdUI(parallel);
  EXPECT_TRUE(parallel.enabled);
  ASSERT_TRUE(v->OnCmdMsg(33247));
  EXPECT_TRUE(v->m_view_flags & VIEW_PARALLEL_MODE);
  v->OnUpdateCmdUI(parallel);
  EXPECT_EQ(parallel.check, 1);  // pending
  KvCmdUI erase;
  erase.id = 33008;
  v->OnUpdateCmdUI(erase);
  EXPECT_FALSE(erase.enabled);  // the line drawn is not stored yet
  // The press places the copy through its point; the drawn original is kept.
  int py = y1 + area.Height() / 4;
  mouse(v, QEvent::MouseButtonPress, x1, py);
  mouse(v, QEvent::MouseButtonRelease, x1, py);
  EXPECT_FALSE(v->m_view_flags & VIEW_PARALLEL_MODE);
  {
    kv_lock guard(g_chart_lock);
    ASSERT_EQ(doc->m_chart->header.ext_count, 2);
    line_record a, b;
    line_record_decode(doc->m_chart->extensions->block, &a);
    line_record_decode(doc->m_chart->extensions->next->block, &b);
    EXPECT_EQ(a.type, ANNOT_INFINITE);
    EXPECT_EQ(b.type, ANNOT_INFINITE);
    EXPECT_NE(a.seq, b.seq);
    EXPECT_NE(a.price1 > b.price1, a.price2 < b.price2);  // one lies wholly above the other
  }
  v->OnUpdateCmdUI(parallel);
  EXPECT_EQ(parallel.check, 0);
  v->OnUpdateCmdUI(erase);
  EXPECT_TRUE(erase.enabled);
  ASSERT_TRUE(v->OnCmdMsg(33008));  // Erase All Lines
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(doc->m_chart->header.ext_count, 0);
  }
  v->OnUpdateCmdUI(erase);
  EXPECT_FALSE(erase.enabled);
  ASSERT_TRUE(v->OnCmdMsg(33231));
  EXPECT_FALSE(g_annot_draw.flags & ANNOT_DRAWING_ON);
}

TEST_F(ChartLayersTest, SnapItemsAreCheckedByTheirModeAndSnapTheDrawnLine) {
  CKvChartView* v = open_intc();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  CKvAnnotView* editor = chart_annot_editor(v->m_annot.get());
  ASSERT_TRUE(editor);
  annot_draw_state saved_draw = g_annot_draw;
  chart_ui_services saved_ui = chart_ui_install({nullptr, +[](int) {}});
  g_annot_draw = {0, 0x0000FF, 0, 0, SNAP_OFF};
  paint(v);
  auto checks = [&] {
    std::vector<int> out;
    for (unsigned id : {33269u, 33270u, 33271u}) {
      KvCmdUI ui;
      ui.id = id;
      EXPECT_TRUE(v->OnUpdateCmdUI(ui));
      out.push_back(ui.check);
    }
    return out;
  };
  EXPECT_EQ(checks(), (std::vector<int>{1, 0, 0}));
  ASSERT_TRUE(v->OnCmdMsg(33270));  // Snap Line to Price
  EXPECT_EQ(checks(), (std::vector<int>{0, 1, 0}));
  // The targets are the drawing preferences': each bar's high.
  draw_defaults dd;
  draw_defaults_decode(g_settings.PrefDrawDef, &dd);
  dd.snap = SNAP_HIGH;
  draw_defaults_encode(&dd, g_settings.PrefDrawDef);
  ASSERT_TRUE(v->OnCmdMsg(33233));  // Draw/2 Point Finite Line
  KvRect area = editor->area;
  int x1 = area.left + area.Width() / 4, y1 = area.top + area.Height() / 2;
  int x2 = area.left + area.Width() / 2, y2 = area.top + area.Height() * 3 / 4;
  drag(v, x1, y1, x2, y2);
  ASSERT_TRUE(v->OnCmdMsg(33231));  // Draw/None keeps it
  {
    kv_lock guard(g_chart_lock);
    chart_rec* ch = doc->m_chart;
    ASSERT_EQ(ch->header.ext_count, 1);
    line_record l;
    line_record_decode(ch->extensions->block, &l);
    CBasicChart& price = v->Panes().panes[0];
    int checked = 0;
    for (int i = 0; i < ch->header.bar_count; i++) {
      if (ch->bars[i].time == l.time1) {
        EXPECT_EQ(price.PriceRow(l.price1), price.PriceRow(ch->bars[i].high));
        checked++;
      }
      if (ch->bars[i].time == l.time2) {
        EXPECT_EQ(price.PriceRow(l.price2), price.PriceRow(ch->bars[i].high));
        checked++;
      }
    }
    EXPECT_EQ(checked, 2);
  }
  ASSERT_TRUE(v->OnCmdMsg(33271));  // Snap Line to Mintick
  EXPECT_EQ(checks(), (std::vector<int>{0, 0, 1}));
  EXPECT_EQ(g_annot_draw.snap, (uint32_t)SNAP_TICK | SNAP_HIGH);
  chart_ui_install(saved_ui);
  g_annot_draw = saved_draw;
}

TEST_F(ChartLayersTest, WithoutLineDrawingEscapeAndDeleteAreTheViews) {
  CKvChartView* v = open_intc();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  g_annot_draw = {0, 0x0000FF, 0, 0, SNAP_OFF};
  paint(v);
  ASSERT_EQ(v->m_annot->OnKey(CHART_KEY_DELETE), 0);
  {
    kv_lock guard(g_chart_lock);
    doc->m_chart->header.flags |= CHART_ANNOT_CHANGED;
  }
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(v, &esc);
  kv_lock guard(g_chart_lock);
  EXPECT_FALSE(doc->m_chart->header.flags & CHART_ANNOT_CHANGED);  // the view's Escape ran
}

TEST_F(ChartLayersTest, AlertButtonAndAPressInTheChartSetTheHighAlert) {
  g_pref_flags |= 0x1;  // alert buttons shown
  CKvChartView* v = open_intc();
  ASSERT_TRUE(v);
  CAlertLinesOverlay* overlay = chart_alert_overlay(v->m_alerts.get());
  ASSERT_TRUE(overlay);
  paint(v);
  ASSERT_FALSE(overlay->ButtonRect().IsRectEmpty());
  int bx = overlay->ButtonRect().left + 7, by = overlay->ButtonRect().top + 7;
  mouse(v, QEvent::MouseMove, bx, by);
  mouse(v, QEvent::MouseButtonPress, bx, by);
  mouse(v, QEvent::MouseButtonRelease, bx, by);
  EXPECT_TRUE(v->m_view_flags & VIEW_HIGH_PICKED);
  KvRect data;
  v->Panes().getChartDataRect(1, &data);
  int x = data.left + data.Width() / 2, y = data.top + data.Height() / 2;
  float want = v->Panes().PointToPrice(0, x, y);
  ASSERT_GT(want, 0);
  mouse(v, QEvent::MouseButtonPress, x, y);
  mouse(v, QEvent::MouseButtonRelease, x, y);
  g_pref_flags &= ~0x1u;
  kv_lock guard(g_chart_lock);
  alert_rec* a = find_or_add_alert("INTC");
  ASSERT_TRUE(a);
  EXPECT_TRUE(a->enabled & ALERT_HIGH);
  EXPECT_NEAR(a->high_price, want, want * 0.01);
}

}  // namespace
