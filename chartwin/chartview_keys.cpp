// Typing into a chart: a digit on an empty line picks a time span, other
// characters build a symbol expression that Enter loads, Escape drops it.
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

#include "chart/alertoverlay.h"
#include "chart/annotview.h"
#include "chartwin/annotlayers.h"
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
#include "studies/study.h"

namespace {

// The time-span command of each typed digit, "0" to "9".
const unsigned kDigitCommands[10] = {32897, 32891, 32892, 32900, 32962,
                                     32893, 32963, 32894, 32895, 32896};

// Draw/None: drawing ends.
constexpr unsigned kDrawNone = 33231;

// Double quotes typed into any chart: inside them blanks belong to the word.
bool g_inside_quotes = false;

}  // namespace

void CKvChartView::keyPressEvent(QKeyEvent* e) {
  // Graphical trading takes its keys first while an order is picked.
  if ((e->key() == Qt::Key_Escape || e->key() == Qt::Key_Delete || e->key() == Qt::Key_Shift) &&
      GrTradeKey(e->key(), QChar()))
    return;
  switch (e->key()) {
    case Qt::Key_Delete:
      on_key_delete();
      return;
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

// Delete removes the alert whose marker is under the pointer and, while
// drawing, the selected line; the other windows of the symbol redraw.
void CKvChartView::on_key_delete() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart) return;
  if (m_alerts) m_alerts->OnKey(CHART_KEY_DELETE);
  if (theApp && (theApp->m_app_flags & APP_CURSOR_MODE) && m_annot)
    m_annot->OnKey(CHART_KEY_DELETE);
  {
    kv_lock guard(g_chart_lock);
    recalc_studies(doc->m_chart, 0);
    doc->m_chart->header.flags &= ~CHART_ANNOT_CHANGED;
  }
  Invalidate(true);
  post_draw_named_chart();
}

// Escape drops what is picked, never removes anything: an alert picked on
// its button is let go; while drawing, a selected line is let go (a line
// just drawn is kept, and the other charts redraw their lines), else
// drawing ends. The typed text goes too.
void CKvChartView::OnEscape() {
  CKvChartDoc* doc = GetDocument();
  if (doc && doc->m_chart) {
    {
      kv_lock guard(g_chart_lock);
      doc->m_chart->header.flags &= ~CHART_ANNOT_CHANGED;
    }
    if (m_alerts && (m_view_flags & VIEW_ALERT_PICKED)) {
      m_alerts->OnKey(CHART_KEY_ESCAPE);
    } else if (theApp && (theApp->m_app_flags & APP_CURSOR_MODE)) {
      CKvAnnotView* editor = chart_annot_editor(m_annot.get());
      bool picked = editor && editor->SelectedLine() >= 0;
      if (picked && editor->UnselectLine())
        PostInitAllChartAnnotations();
      else
        OnCmdMsg(kDrawNone);
    }
  }
  m_typed_count = 0;
  m_typed.clear();
  Invalidate(true);
}

kv_lresult CKvChartView::OnCommandMessage(unsigned id) {
  return OnCmdMsg(id) ? 1 : 0;
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
    // Tab and other control keys type nothing into a symbol.
    if (!c.isPrint()) return;
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
