// The chart view: data messages from the threads, scrolling bounds, the
// display commands and printing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QApplication>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTimer>
#include <cstring>

#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/chartload.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/dc.h"
#include "platform/qt/printing.h"
#include "platform/qt/wnd.h"
#include "settings/settings.h"
#include "shell/app.h"

namespace {

class ChartViewTest : public ChartWinTest {
 protected:
  CKvChartDoc* open_intc(int bars = 300) {
    write_price_file("INTC", TU_DAILY, wave_bars(bars));
    CKvChartDoc* doc = new_chart();
    if (doc) type_symbol(view_of(doc), "INTC");
    return doc;
  }
  // Grows the chart by one bar as the quote thread does, under the lock.
  static void grow(chart_rec* c) {
    kv_lock guard(g_chart_lock);
    ASSERT_GT(c->spare, 0);
    chart_bar b = c->bars[c->header.bar_count - 1];
    b.time += 86400;
    c->bars[c->header.bar_count] = b;
    c->header.bar_count++;
    c->spare--;
    c->post_count = 1;
  }
};

TEST_F(ChartViewTest, ScrollingStaysBetweenZeroAndBarsLessPageAndKeepsTheNewestFlag) {
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  ASSERT_TRUE(doc->m_chart);
  KvScrollInfo si = v->GetScrollInfo();
  int bars = doc->GetBarCount(), page = si.page;
  ASSERT_GT(page, 10);
  ASSERT_LT(page, bars);
  EXPECT_EQ(si.pos, bars - page);
  EXPECT_TRUE(v->m_view_flags & VF_AT_NEWEST);
  struct {
    int code, pos, want;
    bool newest;
  } steps[] = {
      {SB_LINERIGHT, 0, bars - page, true},  // already at the end
      {SB_LINELEFT, 0, bars - page - 1, false},
      {SB_PAGELEFT, 0, bars - 2 * page - 1, false},
      {SB_THUMBTRACK, -50, 0, false},  // before the first bar
      {SB_LINELEFT, 0, 0, false},
      {SB_PAGERIGHT, 0, page, false},
      {SB_THUMBPOSITION, bars + 40, bars - page, true},  // past the end
      {SB_ENDSCROLL, 0, bars - page, true},              // ignored
  };
  for (auto& s : steps) {
    v->OnHScroll(s.code, s.pos);
    EXPECT_EQ(v->GetScrollInfo().pos, s.want) << s.code;
    EXPECT_EQ((v->m_view_flags & VF_AT_NEWEST) != 0, s.newest) << s.code;
  }
}

TEST_F(ChartViewTest, NewBarsWhileScrolledBackOnlyWidenTheRange) {
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  v->OnHScroll(SB_PAGELEFT, 0);
  int pos = v->GetScrollInfo().pos, max = v->GetScrollInfo().max;
  grow(doc->m_chart);
  ASSERT_TRUE(v->PostMessage(WM_UPDATE_FROM_THREAD, UPD_RECALC, 0));
  kv_flush_posted();
  EXPECT_EQ(doc->m_chart->post_count, 0);  // the poster may post again
  EXPECT_EQ(v->GetScrollInfo().pos, pos);
  EXPECT_EQ(v->GetScrollInfo().max, max + 1);
  // At the end the view follows the new bar.
  v->OnHScroll(SB_THUMBPOSITION, 1 << 20);
  grow(doc->m_chart);
  v->PostMessage(WM_UPDATE_FROM_THREAD, UPD_RECALC, 0);
  kv_flush_posted();
  EXPECT_EQ(v->GetScrollInfo().pos, doc->GetBarCount() - v->GetScrollInfo().page);
}

TEST_F(ChartViewTest, UpdatesDuringAPopupClearTheMarkerAndApplyAfterwards) {
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  int before = v->GetScrollInfo().max;
  v->m_view_flags |= VF_CANDLE_INFO;
  grow(doc->m_chart);
  v->PostMessage(WM_UPDATE_FROM_THREAD, UPD_RECALC, 0);
  kv_flush_posted();
  EXPECT_EQ(doc->m_chart->post_count, 0);
  EXPECT_EQ(v->GetScrollInfo().max, before);  // nothing redrawn under the pop-up
  v->m_view_flags &= ~VF_CANDLE_INFO;
  v->ApplyDeferredUpdates();
  EXPECT_EQ(v->GetScrollInfo().max, before + 1);
}

TEST_F(ChartViewTest, DisplayCommandsChangeTheirSettings) {
  CKvChartDoc* doc = open_intc();
  CKvChartView* v = view_of(doc);
  ChartSettings& s = doc->Settings();
  // Chart type cycling wraps from Heikin-Ashi to candlesticks.
  v->SetChartType(10);
  EXPECT_TRUE(doc->GetTitle().contains(QStringLiteral("Heikin-Ashi")));
  ASSERT_TRUE(v->OnCmdMsg(33316));
  EXPECT_EQ(s.chart_type, 0);
  // Hide Both Scale takes the secondary scale along, and back.
  s.flags &= ~(CS_FLAG_HIDE_PRICE_SIDE | CS_FLAG_HIDE_OTHER_SIDE);
  ASSERT_TRUE(v->OnCmdMsg(33182));
  EXPECT_EQ(s.flags & CS_FLAG_HIDE_LABELS, (uint32_t)CS_FLAG_HIDE_LABELS);
  ASSERT_TRUE(v->OnCmdMsg(33182));
  EXPECT_EQ(s.flags & CS_FLAG_HIDE_LABELS, 0u);
  // Trading zones are for intraday charts only.
  KvCmdUI ui;
  ui.id = 32922;
  ASSERT_TRUE(v->OnUpdateCmdUI(ui));
  EXPECT_FALSE(ui.enabled);
  uint32_t flags = s.flags;
  v->OnCmdMsg(32922);
  EXPECT_EQ(s.flags, flags);
  // Candle sizes change the bars that fit; a custom word without a
  // spacing draws medium bars instead of dividing by zero.
  v->OnCmdMsg(32861);
  int small_page = v->GetScrollInfo().page;
  v->OnCmdMsg(32863);
  EXPECT_LT(v->GetScrollInfo().page, small_page);
  uint32_t custom = g_custom_candle;
  g_custom_candle = 0;
  v->OnCmdMsg(33000);
  EXPECT_EQ(s.candle_size, 3);
  EXPECT_GT(v->GetScrollInfo().page, 1);
  g_custom_candle = custom;
  // The last pane shown cannot be switched off.
  for (int i = 0; i < 4; i++) s.pane_shown[i] = i == 0;
  v->OnCmdMsg(32771);
  EXPECT_EQ(s.pane_shown[0], 1);
  v->OnCmdMsg(32772);
  EXPECT_EQ(s.pane_shown[2], 1);
  EXPECT_EQ(s.pane_count, 2);
}

TEST_F(ChartViewTest, PrintingABlackChartDrawsBlackOnWhiteAndRestoresTheSettings) {
  CKvChartDoc* doc = open_intc(120);
  CKvChartView* v = view_of(doc);
  ChartSettings& s = doc->Settings();
  s.bg_color = 0;
  s.text_color = s.text_color2 = s.axis_color = 0xFFFFFF;
  s.up_color = 0x00FF00, s.down_color = 0x0000FF, s.wick_color = s.outline_color = 0xFFFFFF;
  v->UpdatePanes("test", UP_CALC | UP_SCBAR | UP_INVAL | UP_UPDWIN);
  uint8_t before[CHART_SETTINGS_SIZE], after[CHART_SETTINGS_SIZE];
  encode_chart_settings(&s, before);

  // A two-colour page: white paper, black bars.
  QImage page(1700, 1100, QImage::Format_RGB32);
  page.fill(Qt::gray);
  {
    KvDC dc(&page);
    dc.SetDeviceColors(2);
    v->OnPrint(dc, KvRect(0, 0, page.width(), page.height()), false);
  }
  encode_chart_settings(&s, after);
  EXPECT_EQ(memcmp(before, after, sizeof before), 0);
  int white = 0, black = 0, other = 0;
  for (int y = 100; y < page.height() - 100; y += 3)
    for (int x = 100; x < page.width() - 100; x += 3) {
      QRgb p = page.pixel(x, y) & 0xFFFFFF;
      if (p == 0xFFFFFF)
        white++;
      else if (p == 0)
        black++;
      else
        other++;
    }
  EXPECT_GT(white, 20 * black);
  EXPECT_LT(other, black);  // no grey background, no coloured bars
  EXPECT_GT(black, 500);

  // The same through the printer to a grey PDF.
  QString pdf = QString::fromStdString(root_.path() + "/chart.pdf");
  QPrinter printer(QPrinter::HighResolution);
  kv_printer_to_pdf(printer, pdf, true);
  ASSERT_TRUE(v->PrintTo(printer));
  EXPECT_GT(QFile(pdf).size(), 1000);
  encode_chart_settings(&s, after);
  EXPECT_EQ(memcmp(before, after, sizeof before), 0);

  // Without a visible bar the page shows the empty frame, no division.
  s.m_nNum = 0;
  QImage empty(800, 600, QImage::Format_RGB32);
  KvDC dc2(&empty);
  v->OnPrint(dc2, KvRect(0, 0, 800, 600), false);
}

// Print Preview shows the chart's one page in Qt's preview window.
TEST_F(ChartViewTest, PrintPreviewShowsTheChartPage) {
  CKvChartDoc* doc = open_intc(120);
  CKvChartView* v = view_of(doc);
  // the preview goes to a file printer, never to a real device
  kv_printer_to_pdf(*theApp->Printer(), QString::fromStdString(root_.path() + "/p.pdf"), false);
  int pages = -1;
  bool seen = false;
  QTimer::singleShot(0, [&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<QPrintPreviewDialog*>(w)) {
        seen = true;
        if (auto* pw = d->findChild<QPrintPreviewWidget*>()) {
          pw->updatePreview();
          pages = pw->pageCount();
        }
        d->reject();
      }
  });
  v->OnFilePrintPreview();
  EXPECT_TRUE(seen);
  EXPECT_EQ(pages, 1);
}

}  // namespace
