// The user-drawn lines stored with a chart, drawn over the price pane:
// horizontal, vertical, two-point infinite, finite and ray lines.
#include <algorithm>

#include "chart/basicchart.h"
#include "chart/linegeom.h"
#include "chart/linerec.h"
#include "data/chart.h"
#include "data/chartsettings.h"

namespace {

// Seconds one bar spans, for placing a line's time on its bar.
int bar_length(int unit) {
  if (unit >= 1 && unit < TU_DAILY) return unit * 60;
  if (unit <= -1 && unit >= -59) return -unit;
  if (unit >= TU_DAILY && unit < 100000) return 86400;
  return 1;
}

}  // namespace

void CBasicChart::DrawAnnotations() {
  chart_rec* ch = chart();
  if (!ch || !ch->bars || (settings->display_flags & CS_HIDE_ANNOTATIONS) || settings->m_nNum < 1)
    return;
  int pitch = candle_pitch(candle_def), co = candle_centre(candle_def);
  int first = settings->m_nFirst, last = settings->m_nLast;
  auto bar_x = [&](int bar) { return data_rect.left + (bar - first) * pitch + co; };
  for (chart_extension* e = ch->extensions; e; e = e->next) {
    line_record l;
    line_record_decode(e->block, &l);
    if (l.kind != 1 || (l.flags & LINE_FLAG_SELECTED)) continue;
    int b1, b2;
    FindLineBars(ch->bars, ch->header.bar_count, first, last, bar_length(ch->header.time_unit), &l,
                 &b1, &b2);
    if (b1 < 0) continue;
    int style = LineStylePen(l.style);
    int width = std::max(l.width, 1);
    if ((l.type == ANNOT_HOR || l.type == ANNOT_VER) && (width < 2 || style != PS_SOLID)) width = 1;
    int y1 = PriceRow(l.price1), y2 = PriceRow(l.price2);
    if (y1 == INT32_MIN || y2 == INT32_MIN) continue;
    KvPoint p1(bar_x(b1), y1), p2(bar_x(std::max(b2, 0)), y2);
    KvPen old = dc->SelectPen(KvPen(style, width, l.color));
    switch (l.type) {
      case ANNOT_HOR:
        // Shown whenever bars are shown: its first bar is the first visible one.
        Draw2PtHor(*dc, KvPoint(data_rect.left, y1), KvPoint(data_rect.right, y1), style, width);
        break;
      case ANNOT_VER:
        if (b1 >= first && b1 <= last)
          Draw2PtVer(*dc, KvPoint(p1.x, data_rect.top), KvPoint(p1.x, data_rect.bottom), style,
                     width);
        break;
      case ANNOT_INFINITE:
        if (b2 >= 0) Draw2PtInfinite(*dc, data_rect, p1, p2, style, width);
        break;
      case ANNOT_FINITE:
        // Drawn whenever its span overlaps the visible bars, also when
        // both ends lie outside them.
        if (b2 >= 0 && std::min(b1, b2) <= last && std::max(b1, b2) >= first)
          Draw2PtFinite(*dc, data_rect, p1, p2, style, width);
        break;
      case ANNOT_RAY:
        if (b2 < 0) break;
        if (l.flags & LINE_FLAG_SWAPPED)
          Draw2PtRay(*dc, data_rect, p2, p1, style, width);
        else
          Draw2PtRay(*dc, data_rect, p1, p2, style, width);
        break;
      default:
        break;
    }
    dc->SelectPen(old);
  }
}
