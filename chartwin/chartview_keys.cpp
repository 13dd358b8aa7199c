// Typing into a chart: a digit on an empty line picks a time span, other
// characters build a symbol expression that Enter loads, Escape drops it.
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

#include "chartwin/chartdoc.h"
#include "chartwin/chartview.h"
#include "chartwin/posentry.h"
#include "chartwin/tradeview.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "platform/locks.h"
#include "platform/qt/dc.h"
#include "platform/qt/tracker.h"
#include "platform/services.h"
#include "shell/app.h"

namespace {

// The time-span command of each typed digit, "0" to "9".
const unsigned kDigitCommands[10] = {32897, 32891, 32892, 32900, 32962,
                                     32893, 32963, 32894, 32895, 32896};

// Double quotes typed into any chart: inside them blanks belong to the word.
bool g_inside_quotes = false;

}  // namespace

void CKvChartView::keyPressEvent(QKeyEvent* e) {
  // Graphical trading takes its keys first while an order is picked.
  if ((e->key() == Qt::Key_Escape || e->key() == Qt::Key_Delete || e->key() == Qt::Key_Shift) &&
      GrTradeKey(e->key(), QChar()))
    return;
  int layer_key = e->key() == Qt::Key_Delete   ? CHART_KEY_DELETE
                  : e->key() == Qt::Key_Escape ? CHART_KEY_ESCAPE
                                               : 0;
  if (layer_key &&
      ((m_alerts && m_alerts->OnKey(layer_key)) || (m_annot && m_annot->OnKey(layer_key))))
    return;
  switch (e->key()) {
    case Qt::Key_Escape:
      OnEscape();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      OnChar(QChar('\r'));
      return;
    case Qt::Key_Backspace:
      OnChar(QChar('\b'));
      return;
    default:
      break;
  }
  QString text = e->text();
  if (text.isEmpty() || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
    KvCanvasView::keyPressEvent(e);
    return;
  }
  for (QChar c : text) OnChar(c);
}

void CKvChartView::OnEscape() {
  CKvChartDoc* doc = GetDocument();
  if (doc && doc->m_chart) doc->m_chart->header.flags &= ~CHART_ANNOT_CHANGED;
  m_typed_count = 0;
  m_typed.clear();
  Invalidate(true);
}

void CKvChartView::OnChar(QChar c) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings) return;
  if (theApp && (theApp->m_app_flags & APP_CURSOR_MODE)) return;  // drawing mode
  if ((m_view_flags & (GR_ARMED | GR_DRAGGING)) && GrTradeKey(0, c)) return;
  if (c.isDigit() && m_typed_count == 0) {
    PostCommand(kDigitCommands[c.digitValue()]);
    return;
  }
  COLORREF bg = m_settings->bg_color;
  if (c == QChar('\b')) {
    if (m_typed.isEmpty()) return;
    {
      // Wipe the old text before the shorter one is drawn.
      KvClientDC dc(this);
      KvFont old = dc.SelectFont(KvFont::StockVariable());
      KvSize ext = dc.GetTextExtent(m_typed);
      dc.FillSolidRect(KvRect(0, 0, ext.cx + 2, ext.cy), bg);
      dc.SelectFont(old);
    }
    if (m_typed.back() == QChar('"')) g_inside_quotes = !g_inside_quotes;
    m_typed.chop(1);
    m_typed_count = (int)m_typed.size();
  } else if (c == QChar('\r')) {
    QString text = m_typed.trimmed();
    m_typed_count = 0;
    g_inside_quotes = false;
    m_view_flags |= VF_WAITING;
    {
      KvClientDC dc(this);
      KvFont old = dc.SelectFont(KvFont::StockVariable());
      KvSize ext = dc.GetTextExtent(m_typed);
      dc.FillSolidRect(KvRect(0, 0, ext.cx + 2, ext.cy), bg);
      dc.SelectFont(old);
    }
    m_typed.clear();
    if (text.isEmpty()) {
      m_view_flags &= ~VF_WAITING;
      Invalidate(true);
      return;
    }
    if (text.startsWith(QChar('='))) {
      // A position entry is never a symbol: it sets the position by hand.
      QByteArray entry = text.toLatin1();
      mqt* record = nullptr;
      if (doc->m_chart) {
        kv_lock guard(g_chart_lock);
        record = doc->m_chart->mqt;
      }
      parse_qty_at_price(record, entry.constData());
      m_view_flags &= ~VF_WAITING;
      Invalidate(true);
      return;
    }
    if (text.size() >= CHART_SYMBOL_SIZE) {
      m_view_flags &= ~VF_WAITING;
      kv_message_box("Invalid Symbol", "Korvane", MB_OK);
      Invalidate(true);
      return;
    }
    if ((is_tick_unit(m_settings->time_unit) || is_volume_unit(m_settings->time_unit)) &&
        m_settings->base_unit) {
      doc->RestoreTicks();
      m_settings->time_unit = m_settings->base_unit;
    }
    QByteArray expr = text.toLatin1();
    int ok = doc->ChangeSymbol(expr.constData(), nullptr, 0, CHANGE_TYPED);
    m_view_flags &= ~VF_WAITING;
    if (ok) {
      UpdatePanes("OnChar", UP_SCBAR | UP_INVAL | UP_UPDWIN);
    } else {
      Invalidate(true);
      UpdateWindow();
    }
    return;
  } else {
    if (c == QChar('"')) g_inside_quotes = !g_inside_quotes;
    m_typed += c;
    m_typed_count = (int)m_typed.size();
  }
  m_typed = m_typed.toUpper();
  KvClientDC dc(this);
  if (m_typed_count > 0) {
    KvFont old = dc.SelectFont(KvFont::StockVariable());
    dc.SetBkColor(bg);
    dc.SetTextColor(bg == 0 ? 0xFFFFFF : 0);
    dc.SetBkMode(OPAQUE);
    dc.TextOut(0, 0, m_typed);
    dc.SelectFont(old);
  }
}

// Splitters: a press on one of the three bars drags it; the release moves
// the panes.
void CKvChartView::mousePressEvent(QMouseEvent* e) {
  setFocus();
  if (e->button() != Qt::LeftButton || !m_settings) return;
  int x = (int)e->position().x(), y = (int)e->position().y();
  for (int i = 0; i < 3; i++) {
    const KvRect& r = m_splitters[i];
    if (r.Height() > 0 && y >= r.top && y < r.bottom) {
      KvRect moved = r;
      moved.left = 0, moved.right = GetClientRect().right;
      if (!kv_track_rect(this, e->position().toPoint(), &moved)) return;
      float f = (float)((moved.top + moved.bottom) / 2.0 / std::max(GetClientRect().Height(), 1));
      float fr[3] = {0, 0, 0};
      fr[i] = f;
      m_panes.MoveSplitters(fr[0], fr[1], fr[2]);
      OnUpdate(nullptr, 0);
      return;
    }
  }
  m_last_x = x, m_last_y = y;
  // The alert overlay takes only the presses it handles, then graphical
  // trading; the annotation editor takes the rest of the chart.
  if (m_alerts && m_alerts->OnLButtonDown(x, y)) return;
  if (GrTradeMouseDown(x, y)) return;
  if (m_annot) m_annot->OnLButtonDown(x, y);
}

void CKvChartView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  int x = (int)e->position().x(), y = (int)e->position().y();
  if (GrTradeMouseUp()) return;
  bool busy = (m_annot && m_annot->Busy()) || (m_alerts && m_alerts->Busy());
  if (m_alerts) m_alerts->OnLButtonUp(x, y);
  if (m_annot) m_annot->OnLButtonUp(x, y);
  // Data updates waited while a line was drawn or dragged.
  if (busy) ApplyDeferredUpdates();
}

void CKvChartView::mouseMoveEvent(QMouseEvent* e) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart) return;
  int x = (int)e->position().x(), y = (int)e->position().y();
  if (GrTradeMouseMove(x, y)) return;
  if (m_alerts && m_alerts->OnMouseMove(x, y)) return;
  if (m_annot && m_annot->OnMouseMove(x, y)) return;
  uint32_t word = m_view_flags;
  m_panes.HitTest((int)e->position().x(), (int)e->position().y(), &word);
  m_view_flags = (m_view_flags & ~(VF_PANE_MASK | 0x70u)) | (word & (VF_PANE_MASK | 0x70u));
  setCursor((m_view_flags & 0x70) && theApp ? theApp->Cursor(0) : QCursor(Qt::ArrowCursor));
}
