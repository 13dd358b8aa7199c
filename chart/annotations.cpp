// The user-drawn lines stored with a chart, drawn over the price pane:
// horizontal, vertical, two-point infinite, finite and ray lines,
// Fibonacci levels and channels. Levels and channel widths come from the
// drawing defaults of the settings.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "chart/basicchart.h"
#include "chart/linegeom.h"
#include "chart/linerec.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/drawdefs.h"
#include "settings/settings.h"

namespace {

// The width a horizontal-type line is drawn with: patterned pens and thin
// widths draw one pixel wide.
int level_width(int pen, int width) {
  return width < 2 || pen != PS_SOLID ? 1 : width;
}

}  // namespace

void CBasicChart::DrawLevelLabel(const char* text, int row, COLORREF color) {
  KvFont old = dc->SelectFont(KvFont(QStringLiteral("Arial"), 7));
  dc->SetTextColor(color);
  dc->SetBkColor(settings->bg_color);
  dc->SetBkMode(OPAQUE);
  dc->TextOut(data_rect.left + 1, row - dc->GetTextExtent(text).cy, text);
  dc->SelectFont(old);
}

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
    FindLineBars(ch->bars, ch->header.bar_count, first, last, line_bar_length(ch->header.time_unit),
                 &l, &b1, &b2);
    if (b1 < 0) continue;
    int style = LineStylePen(l.style);
    int width = std::max(l.width, 1);
    if (l.type == ANNOT_HOR || l.type == ANNOT_VER || l.type == ANNOT_FIBONACCI)
      width = level_width(style, width);
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
      case ANNOT_FIBONACCI:
        if (b2 >= 0) DrawFibonacci(l, y1, y2, style, width);
        break;
      case ANNOT_CHANNEL:
        if (b2 >= 0) DrawChannel(l, p1, p2, style, width);
        break;
      default:
        break;
    }
    dc->SelectPen(old);
  }
}

void CBasicChart::DrawFibonacci(const line_record& l, int y1, int y2, int style, int width) {
  draw_defaults dd;
  draw_defaults_decode(g_settings.PrefDrawDef, &dd);
  Draw1PtHor(*dc, data_rect, data_rect.left, y1, style, width);
  DrawLevelLabel("0%", y1, l.color);
  Draw1PtHor(*dc, data_rect, data_rect.left, y2, style, width);
  DrawLevelLabel("100%", y2, l.color);
  for (int k = 0; k < DRAW_LEVEL_COUNT; k++) {
    const draw_level& lv = dd.levels[k];
    if (!lv.enabled) continue;
    // The block comes from the settings file: a level that cannot be placed is skipped.
    double off = ((double)y2 - y1) * lv.fraction;
    if (!std::isfinite(off) || std::fabs(y1 + off) > 1e9) continue;
    int y = y1 + (int)off;
    int pen = LineStylePen(lv.style);
    int w = level_width(pen, LineStyleWidth(lv.style, dd.wide_width));
    KvPen old = dc->SelectPen(KvPen(pen, w, lv.color));
    Draw1PtHor(*dc, data_rect, data_rect.left, y, pen, w);
    dc->SelectPen(old);
    // The half-way and the 150 and 200 % levels are whole numbers.
    char text[32];
    bool whole = k == 2 || k == 5 || k == 6;
    snprintf(text, sizeof text, whole ? "%.0f%%" : "%.1f%%", lv.fraction * 100.0);
    DrawLevelLabel(text, y, lv.color);
  }
}

void CBasicChart::DrawChannel(const line_record& l, KvPoint p1, KvPoint p2, int style, int width) {
  draw_defaults dd;
  draw_defaults_decode(g_settings.PrefDrawDef, &dd);
  bool from2 = l.flags & LINE_FLAG_SWAPPED;
  auto ray = [&](KvPoint a, KvPoint b, int pen, int w) {
    if (from2)
      Draw2PtRay(*dc, data_rect, b, a, pen, w);
    else
      Draw2PtRay(*dc, data_rect, a, b, pen, w);
  };
  KvPen old = dc->SelectPen(KvPen(PS_DOT, 1, l.color));
  ray(p1, p2, PS_DOT, 1);
  dc->SelectPen(KvPen(style, width, l.color));
  double dev = (double)dd.channel_devs * l.channel_dev;
  for (int sign = 1; sign >= -1; sign -= 2) {
    int a = PriceRow(l.price1 + sign * dev), b = PriceRow(l.price2 + sign * dev);
    if (a == INT32_MIN || b == INT32_MIN) continue;
    ray(KvPoint(p1.x, a), KvPoint(p2.x, b), style, width);
  }
  dc->SelectPen(old);
}
