// The chart view's side of graphical trading: handing the companion the
// chart's live-quote record, order definition, colours and price scale on
// each paint, its paint steps, and its share of the mouse and keys.
#include <QCursor>
#include <QKeyEvent>

#include "broker/orddef.h"
#include "broker/xsystems.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/tradeview.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "quotes/mqt_record.h"
#include "shell/app.h"

namespace {

enum : unsigned { ID_ROTATE_TARGET_KEY = 33241 };

// The first shown price pane, or -1.
int price_slot(const CPane& panes) {
  const ChartSettings* s = panes.settings;
  if (!s) return -1;
  for (int slot = 0; slot < 4; slot++)
    if (s->pane_shown[slot] && (s->pane_content[slot] & CONTENT_PRICE)) return slot;
  return -1;
}

}  // namespace

bool CKvChartView::GrTradeOn() const {
  return m_trade && m_settings && (m_settings->display_flags & CS_SHOW_GRTRADE) &&
         !m_settings->percent;
}

void CKvChartView::grtrade_attach() {
  CKvChartDoc* doc = GetDocument();
  chart_rec* chart = doc ? doc->m_chart : nullptr;
  mqt* record;
  {
    kv_lock guard(g_chart_lock);
    record = chart ? chart->mqt : nullptr;
  }
  m_trade->SetQuote(record);
  m_trade->SetOrderDef(record ? g_orddef_store.GetForSymbol(record) : nullptr);
  m_trade->SetColors(m_settings->bg_color, m_settings->text_color, m_settings->position_colors[0],
                     m_settings->position_colors[1]);
}

void CKvChartView::DrawGrTrade(KvDC& dc) {
  if (!GrTradeOn()) return;
  grtrade_attach();
  int slot = price_slot(m_panes);
  if (slot < 0) return;
  const CBasicChart& p = m_panes.panes[slot];
  m_trade->SetScale(0, p.own_price.minimum, p.own_price.pixels_per_unit, m_typed);
  KvRect strip, trade;
  m_panes.getGrTradeStatRect(CONTENT_PRICE, &strip);
  m_panes.getActiveGrTradeRect(CONTENT_PRICE, &trade);
  m_trade->DrawButtons(dc, strip);
  m_trade->DrawStatus(dc, strip);
  m_trade->DrawOrders(dc, p.data_rect, trade);
  dc.SelectClipNone();
}

void CKvChartView::OnPortfolioUpdate() {
  if (!GrTradeOn()) return;
  KvRect strip;
  m_panes.getGrTradeStatRect(CONTENT_PRICE, &strip);
  if (strip.IsRectEmpty()) return;
  KvClientDC dc(this);
  m_trade->DrawStatus(dc, strip);
}

bool CKvChartView::GrTradeMouseDown(int x, int y) {
  if (!GrTradeOn() || !m_trade->Quote()) return false;
  int slot = price_slot(m_panes);
  if (slot < 0) return false;
  int under = m_panes.PaneFromPoint(x, y);
  double price = m_panes.PointToPrice(under < 0 ? slot : under, x, y);
  double tick = m_trade->Quote()->tick_size;
  if (tick > 0) {
    double lower = round_down_to_tick(price, tick);
    price = lower + tick / 2 >= price ? lower : round_up_to_tick(price, tick);
  }
  const CBasicChart& p = m_panes.panes[slot];
  m_trade->SetScale(price, p.own_price.minimum, p.own_price.pixels_per_unit, m_typed);
  return m_trade->BeginDrag(x, y) != 0;
}

bool CKvChartView::GrTradeMouseMove(int x, int y) {
  if (!GrTradeOn()) return false;
  m_trade->TrackMouse(x, y);
  bool over = (m_view_flags & (GR_DRAGGING | GR_OVER_TARGET | GR_ARMED)) != 0;
  if (over) setCursor(QCursor(Qt::SizeVerCursor));
  return (m_view_flags & GR_DRAGGING) != 0;
}

bool CKvChartView::GrTradeMouseUp() {
  if (!GrTradeOn()) return false;
  bool dropped = (m_view_flags & GR_DRAGGING) != 0;
  if (!m_trade->EndDrag()) return false;
  CKvChartDoc* doc = GetDocument();
  if (doc && doc->m_chart) {
    kv_lock guard(g_chart_lock);
    doc->m_chart->header.flags |= CHART_ANNOT_CHANGED;
  }
  if (dropped) {
    Invalidate(true);
    post_draw_named_chart();
  } else {
    OnPortfolioUpdate();
  }
  // The typed text was the order's tag.
  m_typed.clear();
  m_typed_count = 0;
  if (dropped) ApplyDeferredUpdates();
  return true;
}

// F4 is the frame's Status Messages key; while graphical trading is shown
// in this chart it rotates the bracket target kind instead, as F2 and F3
// rotate the entry and stop kinds.
bool CKvChartView::event(QEvent* e) {
  if ((e->type() == QEvent::ShortcutOverride || e->type() == QEvent::KeyPress) &&
      static_cast<QKeyEvent*>(e)->key() == Qt::Key_F4 &&
      !(static_cast<QKeyEvent*>(e)->modifiers() & ~Qt::KeypadModifier) && GrTradeOn()) {
    e->accept();
    if (e->type() == QEvent::KeyPress) OnCmdMsg(ID_ROTATE_TARGET_KEY);
    return true;
  }
  return KvCanvasView::event(e);
}

bool CKvChartView::GrTradeKey(int key, QChar c) {
  if (!GrTradeOn()) return false;
  bool busy = (m_view_flags & (GR_ARMED | GR_DRAGGING)) != 0;
  switch (key) {
    case Qt::Key_Escape:
      if (!busy) return false;
      m_trade->ResetState();
      unsetCursor();
      Invalidate(true);
      ApplyDeferredUpdates();
      return true;
    case Qt::Key_Delete: {
      if (!m_trade->IsSelectedOrderRemovable(nullptr)) return false;
      m_trade->RemoveSelectedOrder(1);
      Invalidate(true);
      post_draw_named_chart();
      return true;
    }
    case Qt::Key_Shift:
      if (!busy) return false;
      m_view_flags ^= GR_CONTINGENT;
      PostMessage(WM_PORTFOLIO_UPDATE);
      return true;
    default:
      break;
  }
  if (!busy || c.isNull()) return false;
  if (c >= QChar('1') && c <= QChar('9'))
    m_trade->ChangeQuantity(0, c.digitValue());
  else if (c == QChar('+'))
    m_trade->ChangeQuantity(1, 0);
  else if (c == QChar('-'))
    m_trade->ChangeQuantity(-1, 0);
  else if (c != QChar('0'))
    return false;
  return true;
}
