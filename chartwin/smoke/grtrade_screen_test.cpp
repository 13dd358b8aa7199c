// Graphical trading on a real X display: a chart of TEST with trading
// shown, a paper buy-stop-limit order waiting (two lines) and a long
// position. The screen is grabbed, kept as grtrade_screen.png in the build
// folder, and the strip's buttons, both order lines and the dotted position
// line are looked for in their colours.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>

#include "broker/orddef.h"
#include "broker/orders.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/tests/chartwin_fixture.h"
#include "chartwin/tradeview.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "platform/locks.h"
#include "platform/qt/test_harness.h"
#include "platform/qt/wnd.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"
#include "shell/app.h"
#include "shell/mainfrm.h"

namespace {

class GrTradeScreen : public ChartWinTest {};

// Pixels of the colour on a screen row between x0 and x1.
int row_count(const QImage& img, int y, int x0, int x1, COLORREF c) {
  QRgb want = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF) & 0xFFFFFF;
  int n = 0;
  for (int x = std::max(x0, 0); x < std::min(x1, img.width()); x++)
    n += (img.pixel(x, y) & 0xFFFFFF) == want;
  return n;
}

TEST_F(GrTradeScreen, StripOrderLinesAndPositionLineOnTheScreen) {
  ASSERT_NE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
  write_price_file("TEST", TU_DAILY, wave_bars(120));
  app_->MainFrame()->showMaximized();
  kv_pump_events(50);
  CKvChartDoc* doc = new_chart();
  ASSERT_TRUE(doc);
  CKvChartView* v = view_of(doc);
  v->GetParentFrame()->showMaximized();
  kv_pump_events(50);
  type_symbol(v, "TEST");
  ASSERT_TRUE(doc->m_chart && doc->m_chart->mqt);
  mqt* r = doc->m_chart->mqt;
  OrderDef* def = g_orddef_store.GetForSymbol(r);
  ASSERT_TRUE(def);
  snprintf(def->account, sizeof def->account, "PAPER1");
  def->lot_size = 100;
  ChartSettings& s = doc->Settings();
  s.bg_color = 0xFFFFFF;
  s.position_colors[0] = 0x00A000;
  ASSERT_TRUE(v->OnCmdMsg(33213));
  kv_pump_events(100);
  CKvGrTradeView* t = v->GrTrade();
  KvRect d;
  for (int slot = 0; slot < 4; slot++)
    if (s.pane_shown[slot] && (s.pane_content[slot] & 1)) d = v->Panes().panes[slot].data_rect;
  ASSERT_FALSE(d.IsRectEmpty());
  order_rec* o = create_order(r);
  ASSERT_TRUE(o);
  double aux = t->RoundToTick(t->YToPrice(d.top + d.Height() / 4)),
         limit = t->RoundToTick(t->YToPrice(d.top + d.Height() / 2)),
         avg = t->RoundToTick(t->YToPrice(d.top + d.Height() * 3 / 4));
  {
    kv_lock guard(g_chart_lock);
    r->last = 20, r->bid = 19.9f, r->ask = 20.1f;
    o->relay.type =
        order_type_word(ORDER_BUY, ORDER_DAY, ORDER_STPLMT) | ORDER_SIMULATED | ORDER_TRANSMIT;
    o->relay.quantity = 100;
    o->relay.aux = aux;
    o->relay.limit = limit;
    place_order(o);
    r->paper_quantity = 100;
    r->paper_avg_price = avg;
  }
  v->Invalidate(true);
  v->UpdateWindow();
  kv_pump_events(300);

  QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
  ASSERT_FALSE(shot.isNull());
  shot.save(QStringLiteral(KV_BINARY_DIR "/grtrade_screen.png"));
  QPoint origin = v->mapToGlobal(QPoint(0, 0));
  int x0 = d.left + 40 + origin.x(), x1 = d.right - 40 + origin.x();
  EXPECT_GT(row_count(shot, t->PriceToY(aux) + origin.y(), x0, x1, 0x800000), (x1 - x0) / 2);
  EXPECT_GT(row_count(shot, t->PriceToY(limit) + origin.y(), x0, x1, 0x000080), (x1 - x0) / 2);
  EXPECT_GT(row_count(shot, t->PriceToY(avg) + origin.y(), x0, x1, 0x00A000), (x1 - x0) / 4);
  // The strip's buy and sell buttons: their green and red arrows.
  KvRect b = t->ButtonRect(GR_BUY_LIMIT);
  QImage strip = shot.copy(b.left + origin.x(), b.top + origin.y(), 30, 15);
  bool green = false, red = false;
  for (int y = 0; y < strip.height(); y++)
    for (int x = 0; x < strip.width(); x++) {
      QColor c = strip.pixelColor(x, y);
      green |= c.green() > 120 && c.red() < 60 && c.blue() < 60;
      red |= c.red() > 170 && c.green() < 60 && c.blue() < 60;
    }
  EXPECT_TRUE(green);
  EXPECT_TRUE(red);
}

}  // namespace
