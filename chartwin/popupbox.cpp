// The shared box of the candle-information and events pop-ups.
#include "chartwin/popupbox.h"

#include <algorithm>

#include "data/debugtrace.h"
#include "platform/qt/canvas.h"
#include "platform/qt/dc.h"

namespace {

bool tracing() {
  return (g_option_flags & OPT_TRACE_VIEW) != 0;
}

}  // namespace

void ChartPopupBox::add_line(const QString& label, const QString& value, COLORREF label_color) {
  popup_line l;
  l.label = label;
  l.value = value;
  l.label_color = label_color;
  l.value_color = text_color();
  m_lines.push_back(l);
}

void ChartPopupBox::SizeWindow(KvCanvasView* view, int offset, int visible) {
  if (!view) return;
  m_view = view;
  QImage probe(1, 1, QImage::Format_RGB32);
  KvDC measure(&probe);
  measure.SelectFont(KvFont::StockVariable());
  int line_h = measure.GetTextExtent("0").cy;
  int widest = 0;
  for (popup_line& l : m_lines) {
    l.label_width = measure.GetTextExtent(l.label).cx;
    l.value_width = measure.GetTextExtent(l.value).cx;
    l.height = line_h;
    widest = std::max(widest, l.label_width + l.value_width);
  }
  if (tracing())
    debug_trace("%s::SizeWindow(Beg) nIdx=%d, nCnt=%d, nMaxLen=%d\n", m_trace_name, offset,
                (int)m_lines.size(), widest);
  KvRect client = view->GetClientRect();
  int w = widest + 6, h = (int)m_lines.size() * line_h + 6;
  KvRect r;
  if (offset < visible / 2)
    r = KvRect(client.right - w, client.top, client.right, client.top + h);
  else
    r = KvRect(client.left, client.top, client.left + w, client.top + h);
  if (m_lines.empty()) r = KvRect();
  if (tracing())
    debug_trace("%s::SizeWindow(old): (%d, %d), (%d, %d)\n", m_trace_name, m_rect.left, m_rect.top,
                m_rect.right, m_rect.bottom);
  if (r == m_rect) return;
  if (tracing())
    debug_trace("%s::SizeWindow(Move/Size): (%d, %d), (%d, %d)\n", m_trace_name, r.left, r.top,
                r.right, r.bottom);
  if (!m_visible) {
    m_rect = r;
    return;
  }
  KvClientDC dc(view);
  restore(dc);
  m_rect = r;
  m_saved = kv_save_rect(*dc.image(), m_rect);
}

void ChartPopupBox::OnShowWindow(bool show) {
  if (tracing()) debug_trace("%s::OnShowWindow(%s):\n", m_trace_name, show ? "SHOW" : "HIDE");
  if (!m_view) return;
  KvClientDC dc(m_view);
  if (show) {
    if (!m_visible) m_saved = kv_save_rect(*dc.image(), m_rect);
    m_visible = true;
    draw(dc);
  } else {
    if (m_visible) restore(dc);
    m_visible = false;
    m_lines.clear();
    m_rect = KvRect();
  }
}

void ChartPopupBox::OnPaint() {
  if (!m_visible || !m_view) return;
  KvClientDC dc(m_view);
  draw(dc);
}

void ChartPopupBox::Repaint(KvDC& dc) {
  if (!m_visible || !dc.image()) return;
  m_saved = kv_save_rect(*dc.image(), m_rect);
  draw(dc);
}

void ChartPopupBox::restore(KvDC& dc) {
  if (!m_saved.isNull() && !m_rect.IsRectEmpty())
    dc.BitBlt(std::max(m_rect.left, 0), std::max(m_rect.top, 0), m_saved.width(), m_saved.height(),
              m_saved, 0, 0);
  m_saved = QImage();
}

void ChartPopupBox::draw(KvDC& dc) {
  if (tracing()) debug_trace("%s::OnPaint()\n", m_trace_name);
  if (m_rect.IsRectEmpty()) return;
  dc.SelectClipNone();
  KvPen old_pen = dc.SelectPen(KvPen(PS_SOLID, 1, text_color()));
  KvBrush old_brush = dc.SelectBrush(KvBrush(m_bg));
  dc.Rectangle(m_rect);
  dc.SelectBrush(old_brush);
  dc.SelectPen(old_pen);
  KvFont old_font = dc.SelectFont(KvFont::StockVariable());
  dc.SetBkMode(TRANSPARENT);
  int y = m_rect.top + 3;
  for (const popup_line& l : m_lines) {
    dc.SetTextColor(l.label_color);
    dc.TextOut(m_rect.left + 3, y, l.label);
    dc.SetTextColor(l.value_color);
    dc.TextOut(m_rect.left + 3 + l.label_width, y, l.value);
    y += l.height;
  }
  dc.SelectFont(old_font);
}
