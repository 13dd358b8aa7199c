// The chart view's mouse on a real chart window: the candle-information and
// events pop-ups while the button is held, splitter drags, Delete and Escape
// over alerts, dragging the symbol out and dropping symbols in, the double
// click, the right-click menu and the alignment commands.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDrag>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <cstring>
#include <memory>

#include "chart/alertoverlay.h"
#include "chartwin/annotlayers.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartevents.h"
#include "chartwin/chartview.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/frames.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/test_harness.h"
#include "platform/qt/wnd.h"
#include "quotes/alerts.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/mainfrm.h"
#include "studies/study.h"
#include "studies/studyapi.h"

namespace {

class ChartMouseTest : public ChartWinTest {
 protected:
  CKvChartView* open_chart(const char* symbol = "INTC", int bars = 300) {
    write_price_file(symbol, TU_DAILY, wave_bars(bars));
    CKvChartDoc* doc = new_chart();
    if (!doc) return nullptr;
    CKvChartView* v = view_of(doc);
    type_symbol(v, symbol);
    if (!doc->m_chart) return nullptr;
    // Bars as imported carry the flags of the values they hold.
    kv_lock guard(g_chart_lock);
    for (int i = 0; i < doc->m_chart->header.bar_count; i++)
      doc->m_chart->bars[i].flags |= 0x1E0000;
    return v;
  }
  static void mouse(QWidget* v, QEvent::Type type, int x, int y,
                    Qt::KeyboardModifiers mods = Qt::NoModifier,
                    Qt::MouseButton button = Qt::LeftButton) {
    QPointF p(x, y);
    Qt::MouseButton b = type == QEvent::MouseMove ? Qt::NoButton : button;
    Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QMouseEvent e(type, p, v->mapToGlobal(p), b, held, mods);
    QCoreApplication::sendEvent(v, &e);
  }
  static void key(QWidget* v, int k) {
    QKeyEvent e(QEvent::KeyPress, k, Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
  }
  static void paint(CKvChartView* v) {
    v->Invalidate(true);
    v->repaint();
  }
  static KvRect data_rect(CKvChartView* v) {
    KvRect r;
    v->Panes().getChartDataRect(1, &r);
    return r;
  }
  // x of the middle of visible bar offset k.
  static int bar_x(CKvChartView* v, int k) {
    int pitch = candle_pitch(v->Panes().panes[0].candle_def);
    return data_rect(v).left + k * pitch + pitch / 2;
  }
  static QString value_of(const ChartPopupBox& box, const char* label) {
    for (const popup_line& l : box.Lines())
      if (l.label == QLatin1String(label)) return l.value;
    return QStringLiteral("<none>");
  }
};

TEST_F(ChartMouseTest, CandleInfoListsTheBarWhileHeldAwayFromItAndRestoresTheChart) {
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  ChartSettings& s = doc->Settings();
  // An average whose value the box lists under its short label.
  {
    kv_lock guard(g_chart_lock);
    ASSERT_TRUE(find_or_create_study(doc->m_chart, STUDY_SMA, 10, PRICE_CLOSE, 0.0));
  }
  v->UpdatePanes("test", UP_CALC | UP_SCBAR | UP_INVAL);
  paint(v);
  const QImage before = v->backing().copy();
  KvRect data = data_rect(v);
  int y = data.top + data.Height() / 2;
  int first = s.m_nFirst, visible = s.m_nNum;
  ASSERT_GT(visible, 20);

  // A bar in the left half: the box hangs from the top against the right edge.
  int k = 3, x = bar_x(v, k);
  mouse(v, QEvent::MouseMove, x, y);
  mouse(v, QEvent::MouseButtonPress, x, y);
  ASSERT_TRUE(v->m_view_flags & VF_CANDLE_INFO);
  CDisplayInfo& box = v->CandleInfo();
  ASSERT_TRUE(box.IsVisible());
  EXPECT_EQ(box.Index(), first + k);
  KvRect r = box.BoxRect();
  EXPECT_EQ(r.right, v->GetClientRect().right);
  EXPECT_EQ(r.top, 0);
  chart_bar b = doc->m_chart->bars[first + k];
  char buf[64], date[32];
  format_date(seconds_to_date(b.time), date, g_date_style);
  EXPECT_EQ(value_of(box, "Date: "),
            QStringLiteral("%1 %2").arg(QLatin1String(date), QLatin1String(weekday_name(b.time))));
  EXPECT_EQ(value_of(box, "Open: "), QLatin1String(format_price(b.open, buf, 2, 0)));
  EXPECT_EQ(value_of(box, "Low: "), QLatin1String(format_price(b.low, buf, 2, 0)));
  EXPECT_EQ(value_of(box, "Time: "), QStringLiteral("<none>"));  // daily bars
  bool average = false;
  for (const popup_line& l : box.Lines()) average |= l.label.contains(QLatin1String("(10)"));
  EXPECT_TRUE(average);
  EXPECT_EQ(value_of(box, "OI: "), QStringLiteral("<none>"));
  // Painted in the background colour with its outline over the chart.
  QImage& img = v->backing();
  EXPECT_EQ(img.pixel(r.left, r.top + r.Height() / 2) & 0xFFFFFF, 0u);  // black on white
  EXPECT_EQ(img.pixel(r.right - 2, r.bottom - 2) & 0xFFFFFF, 0xFFFFFFu);

  // Data that comes meanwhile waits for the box.
  int max_before = v->GetScrollInfo().max;
  {
    kv_lock guard(g_chart_lock);
    chart_rec* c = doc->m_chart;
    ASSERT_GT(c->spare, 0);
    chart_bar nb = c->bars[c->header.bar_count - 1];
    nb.time += 86400;
    c->bars[c->header.bar_count++] = nb;
    c->spare--;
  }
  v->PostMessage(WM_UPDATE_FROM_THREAD, UPD_RECALC, 0);
  kv_flush_posted();
  EXPECT_EQ(v->GetScrollInfo().max, max_before);

  // Held over a bar in the right half: the box moves to the left edge.
  int k2 = visible - 4, x2 = bar_x(v, k2);
  mouse(v, QEvent::MouseMove, x2, y);
  EXPECT_EQ(box.Index(), first + k2);
  EXPECT_EQ(box.BoxRect().left, 0);
  // The place it left shows the chart again.
  EXPECT_EQ(img.copy(r.left, r.top, r.Width(), r.Height()),
            before.copy(r.left, r.top, r.Width(), r.Height()));

  KvRect r2 = box.BoxRect();
  mouse(v, QEvent::MouseButtonRelease, x2, y);
  EXPECT_FALSE(v->m_view_flags & VF_CANDLE_INFO);
  EXPECT_FALSE(box.IsVisible());
  EXPECT_EQ(v->GetScrollInfo().max, max_before + 1);  // applied at the release
  (void)r2;
}

// Bars built from quotes carry no value bits: their prices are listed; a
// price is "n/a" only when its bit is clear and nothing is stored.
TEST_F(ChartMouseTest, CandleInfoListsPricesOfBarsWithoutValueBits) {
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  ChartSettings& s = doc->Settings();
  paint(v);
  int first = s.m_nFirst;
  {
    kv_lock guard(g_chart_lock);
    doc->m_chart->bars[first + 3].flags &= ~0x1E0000u;
    doc->m_chart->bars[first + 5].flags &= ~0x1E0000u;
    doc->m_chart->bars[first + 5].low = 0;
  }
  KvRect data = data_rect(v);
  int y = data.top + data.Height() / 2;
  CDisplayInfo& box = v->CandleInfo();
  char buf[64];
  struct {
    int k;
    bool low_missing;
  } cases[] = {{3, false}, {5, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.k);
    int x = bar_x(v, c.k);
    mouse(v, QEvent::MouseMove, x, y);
    mouse(v, QEvent::MouseButtonPress, x, y);
    ASSERT_TRUE(box.IsVisible());
    chart_bar b = doc->m_chart->bars[first + c.k];
    EXPECT_EQ(value_of(box, "Open: "), QLatin1String(format_price(b.open, buf, 2, 0)));
    EXPECT_EQ(value_of(box, "High: "), QLatin1String(format_price(b.high, buf, 2, 0)));
    if (c.low_missing) {
      EXPECT_EQ(value_of(box, "Low: "), QStringLiteral("n/a"));
      EXPECT_EQ(value_of(box, "Price Range: "), QStringLiteral("n/a"));
    } else {
      EXPECT_EQ(value_of(box, "Low: "), QLatin1String(format_price(b.low, buf, 2, 0)));
    }
    // The cursor price with two decimals.
    QString cur = value_of(box, "Price@Cur: ");
    EXPECT_EQ(cur.size() - cur.indexOf(QChar('.')), 3) << cur.toStdString();
    mouse(v, QEvent::MouseButtonRelease, x, y);
    EXPECT_FALSE(box.IsVisible());
  }
}

// Held on a bar and let go over the line editor's button: the pop-up
// closes and the lines stay.
TEST_F(ChartMouseTest, CandleInfoReleasedOverTheLineButtonClosesAndKeepsTheLines) {
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  CKvAnnotView* editor = chart_annot_editor(v->m_annot.get());
  ASSERT_TRUE(editor);
  paint(v);
  KvRect area = editor->area;
  g_annot_draw = {0, 0x0000FF, 0, 0, 0, 0};
  ASSERT_TRUE(v->OnCmdMsg(33233));  // a two-point line
  int x1 = area.left + area.Width() / 4, y1 = area.top + area.Height() / 3;
  int x2 = area.left + area.Width() / 2, y2 = area.top + area.Height() * 2 / 3;
  mouse(v, QEvent::MouseMove, x1, y1);
  mouse(v, QEvent::MouseButtonPress, x1, y1);
  mouse(v, QEvent::MouseMove, x2, y2);
  mouse(v, QEvent::MouseButtonRelease, x2, y2);
  ASSERT_TRUE(v->OnCmdMsg(33231));
  ASSERT_EQ(doc->m_chart->header.ext_count, 1);
  paint(v);
  KvRect client = v->GetClientRect();
  int bx = -1, by = -1;
  for (int y = client.top; y < client.bottom && bx < 0; y++)
    for (int x = client.left; x < client.right; x++)
      if (editor->IsOverButton(x, y) == 1) {
        bx = x, by = y;
        break;
      }
  ASSERT_GE(bx, 0);
  int x = bar_x(v, 3), y = area.top + area.Height() / 2;
  mouse(v, QEvent::MouseMove, x, y);
  mouse(v, QEvent::MouseButtonPress, x, y);
  ASSERT_TRUE(v->m_view_flags & VF_CANDLE_INFO);
  mouse(v, QEvent::MouseMove, bx, by);
  mouse(v, QEvent::MouseButtonRelease, bx, by);
  EXPECT_FALSE(v->m_view_flags & VF_CANDLE_INFO);
  EXPECT_FALSE(v->CandleInfo().IsVisible());
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(doc->m_chart->header.ext_count, 1);
}

TEST_F(ChartMouseTest, EventsPopupListsTheBarsEventsAndAtMostFiveAfterTheLastBar) {
  // Events on the first two days of the file and seven after its last bar.
  std::string text = "# Format: Date,Time,Type,Symbol,Text\r\n";
  text += "1/5/2026,9:30,E,intc,Earnings, first quarter\r\n";
  text += "1/5/2026,0:00,H,ALL,Market note\r\n";
  text += "1/6/2026,10:00,E,MSFT,Other day\r\n";
  for (int i = 0; i < 7; i++) text += "6/" + std::to_string(10 + i) + "/2026,8:00,X,FUT,Later\r\n";
  write_data("DATA/Events.txt", text);
  ASSERT_EQ(CEvents::LoadEventsFile(), 10);
  CKvChartView* v = open_chart("INTC", 100);
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  ChartSettings& s = doc->Settings();
  s.display_flags |= CS_SHOW_EVENTS;
  v->UpdatePanes("test", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
  v->OnHScroll(SB_THUMBPOSITION, 0);  // the first bars in view
  paint(v);
  KvRect events;
  v->Panes().getEventsRect(&events);
  ASSERT_GT(events.Height(), 0);
  ASSERT_EQ(s.m_nFirst, 0);
  int y = (events.top + events.bottom) / 2;

  mouse(v, QEvent::MouseButtonPress, bar_x(v, 0), y);
  ASSERT_TRUE(v->m_view_flags & VF_EVENTS_POPUP);
  EXPECT_FALSE(v->m_view_flags & VF_CANDLE_INFO);
  CEvents& box = CEvents::Popup();
  ASSERT_TRUE(box.IsVisible());
  ASSERT_EQ(box.Lines().size(), 2u);
  EXPECT_TRUE(box.Lines()[0].label.contains(QLatin1String("09:30 INTC")));
  EXPECT_EQ(box.Lines()[0].value, QLatin1String("Earnings, first quarter"));
  EXPECT_FALSE(box.Lines()[1].label.contains(QLatin1String(":")));  // midnight: no time
  EXPECT_EQ(box.BoxRect().right, v->GetClientRect().right);
  mouse(v, QEvent::MouseMove, bar_x(v, 1), y);
  ASSERT_EQ(box.Lines().size(), 1u);
  EXPECT_EQ(box.Lines()[0].value, QLatin1String("Other day"));
  // Up into the price area: the candle box takes over.
  mouse(v, QEvent::MouseMove, bar_x(v, 2), data_rect(v).top + 20);
  EXPECT_FALSE(v->m_view_flags & VF_EVENTS_POPUP);
  EXPECT_TRUE(v->m_view_flags & VF_CANDLE_INFO);
  EXPECT_FALSE(box.IsVisible());
  mouse(v, QEvent::MouseButtonRelease, bar_x(v, 2), data_rect(v).top + 20);
  EXPECT_FALSE(v->m_view_flags & (VF_EVENTS_POPUP | VF_CANDLE_INFO));

  // Past the last bar: the events to come, five at most.
  v->OnHScroll(SB_THUMBPOSITION, 1 << 20);
  paint(v);
  KvRect data = data_rect(v);
  int last = doc->GetBarCount() - 1 - s.m_nFirst;
  int past = bar_x(v, last + 1);
  ASSERT_LT(past, data.right);
  mouse(v, QEvent::MouseButtonPress, past, y);
  ASSERT_TRUE(v->m_view_flags & VF_EVENTS_POPUP);
  EXPECT_EQ(box.Index(), doc->GetBarCount());
  EXPECT_EQ(box.Lines().size(), 5u);
  EXPECT_EQ(box.BoxRect().left, 0);  // the bar is in the right half
  mouse(v, QEvent::MouseButtonRelease, past, y);
  EXPECT_FALSE(box.IsVisible());
  // The box all charts share forgets a chart window that closes.
  ASSERT_EQ(box.View(), v);
  v->GetParentFrame()->close();
  EXPECT_TRUE(kv_wait_until([&] { return box.View() == nullptr; }));
  CEvents::FreeEvents();
}

TEST_F(ChartMouseTest, DraggedSplitterMovesAndStopsAtItsNeighbour) {
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  ChartSettings& s = v->GetDocument()->Settings();
  // Price, volume and a study pane: two splitters.
  for (int i = 0; i < 4; i++) s.pane_shown[i] = i < 3;
  s.pane_count = 3;
  v->OnUpdate(nullptr, 0);
  paint(v);
  const KvRect sp = v->m_splitters[0];
  ASSERT_GT(sp.Height(), 0);
  float before0 = s.splits[0], before1 = s.splits[1];
  auto drag = [&](int from_y, int to_y) {
    QTimer::singleShot(0, [&, to_y] {
      mouse(v, QEvent::MouseMove, 100, to_y);
      mouse(v, QEvent::MouseButtonRelease, 100, to_y);
    });
    mouse(v, QEvent::MouseButtonPress, 100, from_y);
  };
  int h = v->GetClientRect().Height();
  drag((sp.top + sp.bottom) / 2, (sp.top + sp.bottom) / 2 - h / 10);
  EXPECT_LT(s.splits[0], before0);
  EXPECT_FLOAT_EQ(s.splits[1], before1);
  EXPECT_FALSE(v->m_view_flags & VF_BUTTON_DOWN);
  // Across the next splitter: nothing changes.
  float now0 = s.splits[0];
  const KvRect sp1 = v->m_splitters[0];
  drag((sp1.top + sp1.bottom) / 2, (int)(h * before1) + h / 20);
  EXPECT_FLOAT_EQ(s.splits[0], now0);
  EXPECT_FLOAT_EQ(s.splits[1], before1);
}

TEST_F(ChartMouseTest, DeleteOverAMarkerRemovesThatAlertEscapeOnlyDropsThePick) {
  g_pref_flags |= 0x1;  // alert buttons shown
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  CAlertLinesOverlay* overlay = chart_alert_overlay(v->m_alerts.get());
  ASSERT_TRUE(overlay);
  paint(v);
  KvRect data = data_rect(v);
  auto set_high = [&](int y) {
    int bx = overlay->ButtonRect().left + 7, by = overlay->ButtonRect().top + 7;
    mouse(v, QEvent::MouseMove, bx, by);
    mouse(v, QEvent::MouseButtonPress, bx, by);
    mouse(v, QEvent::MouseButtonRelease, bx, by);
    int x = data.left + data.Width() / 2;
    mouse(v, QEvent::MouseButtonPress, x, y);
    mouse(v, QEvent::MouseButtonRelease, x, y);
  };
  set_high(data.top + data.Height() / 3);
  {
    kv_lock guard(g_chart_lock);
    ASSERT_TRUE(find_or_add_alert("INTC")->enabled & ALERT_HIGH);
  }
  paint(v);
  // Picked again, Escape lets go of the pick and keeps the alert.
  int bx = overlay->ButtonRect().left + 7, by = overlay->ButtonRect().top + 7;
  mouse(v, QEvent::MouseMove, bx, by);
  mouse(v, QEvent::MouseButtonPress, bx, by);
  mouse(v, QEvent::MouseButtonRelease, bx, by);
  ASSERT_TRUE(v->m_view_flags & VIEW_ALERT_PICKED);
  key(v, Qt::Key_Escape);
  EXPECT_FALSE(v->m_view_flags & VIEW_ALERT_PICKED);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_TRUE(find_or_add_alert("INTC")->enabled & ALERT_HIGH);
  }
  // Escape with nothing picked removes nothing either.
  key(v, Qt::Key_Escape);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_TRUE(find_or_add_alert("INTC")->enabled & ALERT_HIGH);
  }
  // Delete over the alert's marker removes it.
  paint(v);
  const KvRect marker = overlay->HighMarker();
  ASSERT_FALSE(marker.IsRectEmpty());
  int mx = (marker.left + marker.right) / 2, my = (marker.top + marker.bottom) / 2;
  mouse(v, QEvent::MouseMove, mx, my);
  ASSERT_TRUE(v->m_view_flags & VIEW_OVER_ALERT) << mx << "," << my;
  key(v, Qt::Key_Delete);
  g_pref_flags &= ~0x1u;
  kv_lock guard(g_chart_lock);
  EXPECT_FALSE(find_or_add_alert("INTC")->enabled & ALERT_HIGH);
}

TEST_F(ChartMouseTest, ShiftDragCarriesTheSymbolAndAShiftDropFromTheSymbolListAddsIt) {
  write_price_file("MSFT", TU_DAILY, wave_bars(200));
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  KvRect data = data_rect(v);
  int x = data.left + 40, y = data.top + data.Height() / 2;

  // Shift and the button: a text drag of the symbol (the drag object stays
  // with the view until the loop runs again).
  mouse(v, QEvent::MouseButtonPress, x, y, Qt::ShiftModifier);
  QDrag* d = v->findChild<QDrag*>();
  ASSERT_TRUE(d);
  EXPECT_EQ(d->mimeData()->text(), QStringLiteral("INTC"));
  EXPECT_FALSE(v->m_view_flags & VF_CANDLE_INFO);
  mouse(v, QEvent::MouseButtonRelease, x, y);

  // A symbol dragged from the symbol list and dropped with shift joins
  // the chart; a plain drop replaces it; a word of 32 characters is refused.
  auto drop = [&](const QString& text, Qt::KeyboardModifiers mods, int kind) {
    std::unique_ptr<QMimeData> data(kv_text_drag_data(text, kind));
    QDragEnterEvent enter(QPoint(x, y), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton,
                          mods);
    QCoreApplication::sendEvent(v, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent dropped(QPointF(x, y), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::NoButton,
                       mods);
    QCoreApplication::sendEvent(v, &dropped);
  };
  drop(QStringLiteral("MSFT"), Qt::ShiftModifier, 3);
  ASSERT_TRUE(doc->m_chart);
  EXPECT_STREQ(doc->m_chart->header.symbol, "INTC");
  EXPECT_EQ(doc->ExtraCount(), 1);
  EXPECT_TRUE(doc->JoinSymbols().contains(QLatin1String("MSFT")));

  drop(QString(32, QChar('A')), Qt::NoModifier, 0);
  ASSERT_FALSE(services_.boxes.empty());
  EXPECT_EQ(services_.boxes.back().text, "Invalid Symbol");
  EXPECT_STREQ(doc->m_chart->header.symbol, "INTC");

  drop(QStringLiteral("MSFT"), Qt::NoModifier, 0);
  ASSERT_TRUE(doc->m_chart);
  EXPECT_STREQ(doc->m_chart->header.symbol, "MSFT");
  EXPECT_EQ(doc->ExtraCount(), 0);
}

TEST_F(ChartMouseTest, DoubleClickMaximisesChildAndMainWindowAndASecondRestoresBoth) {
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  KvChildFrame* child = v->GetParentFrame();
  QWidget* main = theApp->MainFrame();
  ASSERT_TRUE(child && main);
  main->showNormal();
  child->showNormal();
  QCoreApplication::processEvents();
  ASSERT_FALSE(child->isMaximized());
  mouse(v, QEvent::MouseButtonDblClick, 100, 100);
  EXPECT_TRUE(child->isMaximized());
  EXPECT_TRUE(main->isMaximized());
  EXPECT_TRUE(v->GetDocument()->Settings().flags & 0x800000);
  mouse(v, QEvent::MouseButtonDblClick, 100, 100);
  EXPECT_FALSE(child->isMaximized());
  EXPECT_FALSE(main->isMaximized());
  // Ignored while horizontal lines are being drawn.
  ASSERT_TRUE(v->OnCmdMsg(33230));
  mouse(v, QEvent::MouseButtonDblClick, 100, 100);
  EXPECT_FALSE(child->isMaximized());
  v->OnCmdMsg(33231);
}

TEST_F(ChartMouseTest, RightClickMenuRoutesToTheViewAndStoresTheBar) {
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  ChartSettings& s = v->GetDocument()->Settings();
  s.pane_shown[1] = 1;
  v->OnUpdate(nullptr, 0);
  paint(v);
  int x = bar_x(v, 5), y = data_rect(v).top + 30;
  bool seen = false;
  QTimer::singleShot(0, [&] {
    if (auto* m = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      seen = true;
      for (QAction* a : m->actions())
        if (a->objectName() == QLatin1String("cmd32773")) m->setActiveAction(a);  // Middle Pane
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(m, &enter);
    }
  });
  int shown = s.pane_shown[1];
  mouse(v, QEvent::MouseButtonPress, x, y, Qt::NoModifier, Qt::RightButton);
  EXPECT_TRUE(seen);
  EXPECT_EQ(v->m_right_click_bar, s.m_nFirst + 5);
  EXPECT_NE(s.pane_shown[1], shown);
}

TEST_F(ChartMouseTest, AlignmentCommandsSetTheModeOnPercentChartsOnly) {
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  ChartSettings& s = v->GetDocument()->Settings();
  s.percent = 0;
  KvCmdUI ui;
  ui.id = 33208;
  ASSERT_TRUE(v->OnUpdateCmdUI(ui));
  EXPECT_FALSE(ui.enabled);
  v->OnCmdMsg(33208);
  EXPECT_EQ(s.display_flags & CS_PERCENT_BASE_MASK, 0u);
  s.percent = 1;
  struct {
    unsigned id;
    uint32_t mode;
  } cases[] = {{33211, 0x08}, {33208, 0x10}, {33209, 0x18}, {33210, 0x20}, {33212, 0x00}};
  for (auto& c : cases) {
    ASSERT_TRUE(v->OnCmdMsg(c.id));
    EXPECT_EQ(s.display_flags & CS_PERCENT_BASE_MASK, c.mode) << c.id;
    KvCmdUI u;
    u.id = c.id;
    v->OnUpdateCmdUI(u);
    EXPECT_TRUE(u.enabled);
    EXPECT_EQ(u.check, 1) << c.id;
  }
}

// A bar picked in candle-selection mode is the base of the Selected Candle
// alignment: the chart and its comparison symbol take their percent base
// from that bar wherever the chart is scrolled; the heat map gets the time.
TEST_F(ChartMouseTest, SelectedCandleAlignsThePercentChartAndItsOverlayAtThePickedBar) {
  write_price_file("MSFT", TU_DAILY, wave_bars(300, 50));
  CKvChartView* v = open_chart();
  ASSERT_TRUE(v);
  CKvChartDoc* doc = v->GetDocument();
  ChartSettings& s = doc->Settings();
  type_symbol(v, "+MSFT");
  ASSERT_EQ(doc->ExtraCount(), 1);
  s.percent = 1;
  ASSERT_TRUE(v->OnCmdMsg(33210));  // Selected Candle
  ASSERT_EQ(s.display_flags & CS_PERCENT_BASE_MASK, 0x20u);
  paint(v);
  chart_rec* c = doc->m_chart;
  chart_rec* over = doc->ExtraChart(0);
  ASSERT_TRUE(c && over);
  auto bases = [&](int bar, const char* what) {
    SCOPED_TRACE(what);
    kv_lock guard(g_chart_lock);
    EXPECT_FLOAT_EQ(c->percent_base, c->bars[bar].open);
    EXPECT_FLOAT_EQ(v->Panes().panes[0].own_percent_base, c->bars[bar].open);
    // The comparison symbol's bar of the same day (both files start alike).
    ASSERT_EQ(over->bars[bar].time, c->bars[bar].time);
    EXPECT_FLOAT_EQ(over->percent_base, over->bars[bar].open);
  };
  // Nothing picked: the first visible bar.
  ASSERT_GT(s.m_nFirst, 20);
  bases(s.m_nFirst, "none picked");

  g_picked_candle_time = 0;
  g_pref_flags |= 0x800;  // candle-selection mode
  const int k = 12, picked = s.m_nFirst + k;
  KvRect data = data_rect(v);
  int x = bar_x(v, k), y = data.top + data.Height() / 2;
  mouse(v, QEvent::MouseMove, x, y);
  mouse(v, QEvent::MouseButtonPress, x, y);
  EXPECT_FALSE(v->m_view_flags & VF_CANDLE_INFO);  // a pick, no pop-up
  mouse(v, QEvent::MouseButtonRelease, x, y);
  g_pref_flags &= ~0x800u;
  EXPECT_EQ(v->SelectedAlignTime(), c->bars[picked].time);
  EXPECT_EQ(g_picked_candle_time, c->bars[picked].time);
  paint(v);
  bases(picked, "picked");
  // Scrolled to the start, the picked bar stays the base.
  v->OnHScroll(SB_THUMBPOSITION, 0);
  paint(v);
  ASSERT_EQ(s.m_nFirst, 0);
  bases(picked, "scrolled");
  // Another alignment takes its own bar again.
  ASSERT_TRUE(v->OnCmdMsg(33211));  // First Visible Price Pt in Window
  paint(v);
  bases(0, "first visible");
  g_picked_candle_time = 0;
}

// Escape that lets go of a line just drawn keeps it and has the other chart
// windows redraw their lines; the main frame spares the poster's chart.
TEST_F(ChartMouseTest, EscapeKeepingADrawnLineHasTheOtherChartsRedrawTheirLines) {
  write_price_file("MSFT", TU_DAILY, wave_bars(200));
  CKvChartView* a = open_chart();
  ASSERT_TRUE(a);
  CKvChartView* b = open_chart("MSFT", 200);
  ASSERT_TRUE(b);
  CKvChartDoc* doc = a->GetDocument();
  // Side by side: a window under another would never be painted.
  a->GetParentFrame()->mdiArea()->tileSubWindows();
  QCoreApplication::processEvents();
  const QRgb mark = 0xFF123456;
  // Marks both pictures; true for a window whose picture was drawn again.
  auto scribble = [&] {
    for (CKvChartView* w : {a, b}) {
      paint(w);
      w->backing().setPixel(3, 3, mark);
    }
  };
  auto redrawn = [&](CKvChartView* w) {
    w->UpdateWindow();
    return w->backing().pixel(3, 3) != mark;
  };
  // The message itself: every chart but the poster's.
  scribble();
  kv_post_message(theApp->MainFrame()->GetSafeHwnd(), WM_INIT_ALL_CHART_ANNOTATIONS,
                  a->GetSafeHwnd(), 0);
  kv_flush_posted();
  EXPECT_TRUE(redrawn(b));
  EXPECT_FALSE(redrawn(a));

  // A line drawn in a and let go with Escape.
  CKvAnnotView* editor = chart_annot_editor(a->m_annot.get());
  ASSERT_TRUE(editor);
  paint(a);
  KvRect area = editor->area;
  g_annot_draw = {0, 0x0000FF, 0, 0, 0, 0};
  ASSERT_TRUE(a->OnCmdMsg(33233));  // a two-point line
  int x1 = area.left + area.Width() / 4, y1 = area.top + area.Height() / 3;
  int x2 = area.left + area.Width() / 2, y2 = area.top + area.Height() * 2 / 3;
  mouse(a, QEvent::MouseMove, x1, y1);
  mouse(a, QEvent::MouseButtonPress, x1, y1);
  mouse(a, QEvent::MouseMove, x2, y2);
  mouse(a, QEvent::MouseButtonRelease, x2, y2);
  kv_flush_posted();
  scribble();
  key(a, Qt::Key_Escape);
  kv_flush_posted();
  EXPECT_TRUE(redrawn(b));
  EXPECT_EQ(doc->m_chart->header.ext_count, 1);
  EXPECT_TRUE(g_annot_draw.flags & ANNOT_DRAWING_ON);  // drawing goes on
  // With nothing picked Escape ends drawing, and nothing else redraws.
  scribble();
  key(a, Qt::Key_Escape);
  kv_flush_posted();
  EXPECT_FALSE(g_annot_draw.flags & ANNOT_DRAWING_ON);
  EXPECT_FALSE(redrawn(b));
  // Erase All Lines has them redraw too.
  scribble();
  ASSERT_TRUE(a->OnCmdMsg(33008));
  kv_flush_posted();
  EXPECT_TRUE(redrawn(b));
  EXPECT_EQ(doc->m_chart->header.ext_count, 0);
}

TEST_F(ChartMouseTest, ATypedDigitChangesTheChartItWasTypedIntoEvenWhenAnotherIsActive) {
  write_price_file("INTC", TU_WEEKLY, wave_bars(60));
  CKvChartView* a = open_chart();
  ASSERT_TRUE(a);
  a->OnTimeSpanAll(TU_WEEKLY);
  kv_flush_posted();
  ASSERT_EQ(a->GetDocument()->Settings().time_unit, TU_WEEKLY);
  CKvChartView* b = open_chart("MSFT", 80);
  ASSERT_TRUE(b);
  ASSERT_EQ(b->GetParentFrame()->mdiArea()->currentSubWindow(), b->GetParentFrame());
  type_symbol(a, "0", false);  // 1 day
  kv_flush_posted();
  EXPECT_EQ(a->GetDocument()->Settings().time_unit, TU_DAILY);
  EXPECT_EQ(b->GetDocument()->Settings().time_unit, TU_DAILY);
  EXPECT_STREQ(b->GetDocument()->m_chart->header.symbol, "MSFT");
}

}  // namespace
