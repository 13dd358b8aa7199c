// The main road on a real X display: the program starts on a fresh data
// root, File/New makes a chart, the symbol is typed key by key, the bottom
// pane shows the volume and a 20-bar moving average goes on the chart
// through the study engine. The screen is grabbed, kept as chart_screen.png
// in the build folder and checked at pixels computed from the layout: an up
// and a down body in their colours, a volume block and the average's line.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include "chart/axisscale.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartevents.h"
#include "chartwin/chartview.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "platform/qt/controls.h"
#include "platform/qt/test_harness.h"
#include "platform/qt/wnd.h"
#include "shell/app.h"
#include "shell/childfrm.h"
#include "shell/mainfrm.h"
#include "studies/study.h"

namespace {

class ChartScreen : public ChartWinTest {};

// True when some pixel of the rectangle has the colour.
bool has_color(const QImage& img, QRect r, COLORREF c) {
  QRgb want = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  r = r.intersected(img.rect());
  for (int y = r.top(); y <= r.bottom(); y++)
    for (int x = r.left(); x <= r.right(); x++)
      if ((img.pixel(x, y) & 0xFFFFFF) == (want & 0xFFFFFF)) return true;
  return false;
}

TEST_F(ChartScreen, TypedSymbolWithVolumePaneAndAverageOnTheScreen) {
  ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  write_price_file("KVTEST", TU_DAILY, wave_bars(120), "Screen Test Corp");
  app_->MainFrame()->showMaximized();
  kv_pump_events(50);

  // File/New, the Chart type.
  kv_when_modal([](QWidget* dlg) {
    kv_choose(dlg, IDC_NEW_TYPE_LIST, 0);
    kv_click(dlg, 1);  // OK
  });
  ASSERT_TRUE(app_->MainFrame()->RouteCommand(57600));
  std::vector<CKvWindowDoc*> docs = kv_window_docs(KIND_CHART);
  ASSERT_EQ(docs.size(), 1u);
  auto* doc = dynamic_cast<CKvChartDoc*>(docs[0]);
  ASSERT_TRUE(doc);
  CKvChartView* view = doc->ChartView();
  ASSERT_TRUE(view);
  view->GetParentFrame()->showMaximized();
  kv_pump_events(50);
  view->setFocus();

  type_symbol(view, "kvtest");
  ASSERT_TRUE(doc->m_chart);
  ChartSettings& s = doc->Settings();
  s.bg_color = 0xFFFFFF, s.up_color = 0x00C000, s.down_color = 0x0000E0;
  s.up_volume_color = 0x008000, s.down_volume_color = 0x000080;
  // The bottom pane with the volume.
  for (int i = 0; i < 4; i++) s.pane_shown[i] = i == 0;
  s.pane_content[0] = CONTENT_PRICE;
  s.pane_content[2] = CONTENT_VOLUME;
  ASSERT_TRUE(app_->MainFrame()->RouteCommand(32772));
  ASSERT_TRUE(s.pane_shown[2]);
  // The average through the study engine.
  StudyDef* ma = find_or_create_study(doc->m_chart, 0x80001, 20, 4, 1.0);
  ASSERT_TRUE(ma);
  ma->color = 0xFF00FF;
  ma->line_width = 2;
  doc->UpdateAllViews();
  view->UpdateWindow();
  kv_pump_events(300);

  QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  ASSERT_FALSE(shot.isNull());
  shot.save(QStringLiteral(KV_BINARY_DIR "/chart_screen.png"));
  QPoint origin = view->mapToGlobal(QPoint(0, 0));

  CBasicChart& price = view->Panes().panes[0];
  CBasicChart* volume = nullptr;
  for (CBasicChart& p : view->Panes().panes)
    if (&p != &price && !p.data_rect.IsRectEmpty() && p.bar_count) volume = &p;
  ASSERT_TRUE(volume);
  int pitch = candle_pitch(price.candle_def), lg = candle_left_gap(price.candle_def),
      co = candle_centre(price.candle_def);
  ASSERT_GE(pitch, 7);
  bool up_seen = false, down_seen = false, volume_seen = false, average_seen = false;
  for (int i = s.m_nFirst + 1; i <= s.m_nLast; i++) {
    const chart_bar& b = doc->m_chart->bars[i];
    int k = i - s.m_nFirst;
    int left = price.data_rect.left + pitch * k + origin.x();
    int yo = price.data_rect.bottom - axis_pixels(&price.own_price, b.open) + origin.y();
    int yc = price.data_rect.bottom - axis_pixels(&price.own_price, b.close) + origin.y();
    int mid = (yo + yc) / 2;
    // Inside the body: right of its outline, left of the wick.
    QRect body(left + lg + 1, mid - 1, std::max(co - lg - 1, 1), 3);
    if (b.close > b.open) up_seen |= has_color(shot, body, s.up_color);
    if (b.close < b.open) down_seen |= has_color(shot, body, s.down_color);
    int vb = volume->data_rect.bottom + origin.y();
    volume_seen |= has_color(shot, QRect(left, vb - 3, pitch, 2),
                             b.close > b.open ? s.up_volume_color : s.down_volume_color);
    float v = ma->outputs[i];
    if (v > -1e19f) {
      int y = price.data_rect.bottom - axis_pixels(&price.own_price, v) + origin.y();
      average_seen |= has_color(shot, QRect(left + pitch - 2, y - 2, 2, 5), ma->color);
    }
  }
  EXPECT_TRUE(up_seen);
  EXPECT_TRUE(down_seen);
  EXPECT_TRUE(volume_seen);
  EXPECT_TRUE(average_seen);
}

// The candle-information and the events pop-ups while the button is held
// over a bar in the left half of the chart: each box in the background
// colour with its outline, hung from the top against the right edge. Kept
// as chart_candle_info.png and chart_events.png in the build folder.
TEST_F(ChartScreen, CandleInfoAndEventsPopupsOverAChart) {
  ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  write_price_file("KVTEST", TU_DAILY, wave_bars(120), "Screen Test Corp");
  write_data("DATA/Events.txt",
             "1/5/2026,9:30,E,KVTEST,First day event\r\n1/6/2026,0:00,H,ALL,Second day\r\n");
  ASSERT_EQ(CEvents::LoadEventsFile(), 2);
  app_->MainFrame()->showMaximized();
  kv_pump_events(50);
  CKvChartDoc* doc = new_chart();
  ASSERT_TRUE(doc);
  CKvChartView* view = doc->ChartView();
  view->GetParentFrame()->showMaximized();
  kv_pump_events(50);
  type_symbol(view, "kvtest");
  ASSERT_TRUE(doc->m_chart);
  ChartSettings& s = doc->Settings();
  s.bg_color = 0xFFFFFF;
  s.display_flags |= CS_SHOW_EVENTS;
  view->UpdatePanes("screen", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
  view->OnHScroll(SB_THUMBPOSITION, 0);
  view->UpdateWindow();
  kv_pump_events(200);

  auto press = [view](QEvent::Type type, int x, int y) {
    QPointF p(x, y);
    QMouseEvent e(
        type, p, view->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &e);
  };
  auto check_box = [&](const ChartPopupBox& box, const char* file) {
    ASSERT_TRUE(box.IsVisible());
    kv_pump_events(300);
    QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    ASSERT_FALSE(shot.isNull());
    shot.save(QString::fromLatin1(KV_BINARY_DIR "/") + QLatin1String(file));
    QPoint o = view->mapToGlobal(QPoint(0, 0));
    KvRect r = box.BoxRect();
    // Against the right edge, away from the bar on the left.
    EXPECT_EQ(r.right, view->GetClientRect().right);
    EXPECT_GT(r.Height(), 10);
    auto px = [&](int x, int y) { return shot.pixel(o.x() + x, o.y() + y) & 0xFFFFFF; };
    EXPECT_EQ(px(r.left, r.top + r.Height() / 2), 0u);  // the outline, black on white
    EXPECT_EQ(px(r.right - 1, r.top + r.Height() / 2), 0u);
    EXPECT_EQ(px(r.left + r.Width() / 2, r.bottom - 1), 0u);
    EXPECT_EQ(px(r.right - 2, r.bottom - 2), 0xFFFFFFu);  // the background inside
    int text = 0;
    for (int y = r.top + 3; y < r.bottom - 3; y++)
      for (int x = r.left + 3; x < r.right - 3; x++) text += px(x, y) != 0xFFFFFFu;
    EXPECT_GT(text, 20);  // the lines are written in it
  };

  CBasicChart& price = view->Panes().panes[0];
  int pitch = candle_pitch(price.candle_def);
  int x = price.data_rect.left + pitch * 2 + pitch / 2;
  int y = price.data_rect.top + price.data_rect.Height() / 2;
  press(QEvent::MouseButtonPress, x, y);
  check_box(view->CandleInfo(), "chart_candle_info.png");
  // A chart read from its price file: every price of the bar is listed.
  for (const popup_line& l : view->CandleInfo().Lines())
    EXPECT_NE(l.value, QStringLiteral("n/a")) << l.label.toStdString();
  press(QEvent::MouseButtonRelease, x, y);
  EXPECT_FALSE(view->CandleInfo().IsVisible());
  kv_pump_events(100);

  KvRect events;
  view->Panes().getEventsRect(&events);
  ASSERT_GT(events.Height(), 0);
  int ex = price.data_rect.left + pitch / 2;
  press(QEvent::MouseButtonPress, ex, (events.top + events.bottom) / 2);
  check_box(CEvents::Popup(), "chart_events.png");
  EXPECT_EQ(CEvents::Popup().Lines().size(), 1u);
  press(QEvent::MouseButtonRelease, ex, (events.top + events.bottom) / 2);
  CEvents::FreeEvents();
}

}  // namespace
