// The contents of a chart pane: price bars in every chart type, percent
// overlays and their legends, price-pane study lines, volume and open
// interest, study panes, the bar highlight and the newest-bar redraw.
//
// Every figure is placed with the pane's own copy of its scale (KeepScales):
// the chart record is shared by all windows of the symbol and its blocks
// hold whichever window laid out last.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "chart/axisscale.h"
#include "chart/basicchart.h"
#include "data/chart.h"
#include "data/chartload.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "settings/settings.h"
#include "studies/study.h"
#include "studies/studyapi.h"

namespace {

// Colours of overlay symbols; overlays past the table take the last entry.
const COLORREF overlay_colors[19] = {0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                     0x808000, 0xC0C0C0, 0x0000FF, 0x00FF00, 0x00FFFF,
                                     0xFF0000, 0xFF00FF, 0xFFFF00, 0x808080, 0,
                                     0,        0,        0,        0};

COLORREF overlay_color(int j) {
  return overlay_colors[std::clamp(j, 0, 18)];
}

enum : int {
  TYPE_CANDLE = 0,
  TYPE_SOLID_CANDLE,
  TYPE_OHLC,
  TYPE_HLC,
  TYPE_CLOSE,
  TYPE_LINE,
  TYPE_LINE_CLOSE,
  TYPE_STAIRS,
  TYPE_STAIRS_CLOSE,
  TYPE_VWAP,
  TYPE_HEIKIN_ASHI
};

const int TU_ONE_TICK = -101;

bool finite_base(double p) {
  return std::isfinite(p) && p != 0;
}

// Percent of base, on the percent scale.
int percent_pixels(const axis_scale* s, double v, double base) {
  return axis_pixels(s, (v - base) / base * 100.0);
}

// Volume block insets by pitch: left, right, open-interest shift.
void volume_insets(int pitch, bool print, int* l, int* r, int* shift) {
  if (pitch <= 4)
    *l = 0, *r = 1, *shift = 1;
  else if (pitch == 5)
    *l = 1, *r = 1, *shift = 1;
  else if (pitch == 6)
    *l = 1, *r = 2, *shift = 2;
  else
    *l = 2, *r = print ? 5 : 2, *shift = 2;
}

void fill(KvDC& dc, int l, int t, int r, int b, COLORREF c) {
  dc.FillSolidRect(KvRect(l, t, r, b), c);
}

void line(KvDC& dc, int x0, int y0, int x1, int y1) {
  dc.MoveTo(x0, y0);
  dc.LineTo(x1, y1);
}

float study_value(const StudyDef* s, int i) {
  if (!s->outputs || i < 0 || i >= s->output_len) return MISSING_VALUE;
  return s->outputs[i];
}

bool shown(const StudyDef* s) {
  return !(s->state & 0x1);
}

}  // namespace

void CBasicChart::KeepScales() {
  chart_rec* ch = chart();
  if (!ch) return;
  own_price = ch->price_scale;
  own_volume = ch->volume_scale;
  own_study_scales.clear();
  for (StudyDef* s = ch->studies; s; s = s->next) own_study_scales.push_back({s, s->scale});
}

const axis_scale* CBasicChart::StudyScale(const StudyDef* study) const {
  for (const study_scale_copy& c : own_study_scales)
    if (c.study == study) return &c.scale;
  return nullptr;
}

int CBasicChart::BarPoints(int i, int overlay, int pts[4]) {
  chart_rec* ch = chart();
  if (!ch || !ch->bars || i < 0 || i >= ch->header.bar_count) return 0;
  chart_rec* src = ch;
  int bi = i;
  if (overlay >= 0) {
    src = overlays ? overlays[overlay] : nullptr;
    if (!src || !src->bars) return 0;
    bi = match_bar_index(ch, i, src);
    if (bi < 1) {
      if (g_option_flags & OPT_TRACE_CHART)
        debug_trace("points not in sync - %s(%d)\n", src->header.symbol, i);
      return 0;
    }
  }
  int type = settings->chart_type;
  const chart_bar* bars =
      (type == TYPE_HEIKIN_ASHI && overlay < 0 && ha_bars) ? ha_bars : src->bars;
  const chart_bar& b = bars[bi];
  const axis_scale* s = &own_price;
  bool line_type = type >= TYPE_CLOSE && type <= TYPE_STAIRS_CLOSE;
  if (settings->percent == 1) {
    double p = src->percent_base;
    if (!finite_base(p)) return 0;
    pts[0] = line_type ? (bi > 0 ? percent_pixels(s, bars[bi - 1].close, p) : axis_pixels(s, 0))
                       : percent_pixels(s, b.open, p);
    pts[1] = percent_pixels(s, b.high, p);
    pts[2] = percent_pixels(s, b.low, p);
    pts[3] = percent_pixels(s, b.close, p);
    return 1;
  }
  double o = b.open, h = b.high, l = b.low, c = b.close;
  if (type == TYPE_VWAP) {
    o = bi > 0 ? bar_price_value(&bars[bi - 1], 8) : b.open;
    c = bar_price_value(&b, 8);
    h = std::max<double>(h, o);
    l = std::min<double>(l, o);
  }
  pts[0] = line_type ? (bi > 0 ? axis_pixels(s, bars[bi - 1].close) : 0) : axis_pixels(s, o);
  pts[1] = axis_pixels(s, h);
  pts[2] = axis_pixels(s, l);
  pts[3] = axis_pixels(s, c);
  return 1;
}

namespace {

// A line figure (codes 4-8) between the previous close and this close.
void line_figure(CBasicChart* p, int type, int x, int yprev, int y, COLORREF color, int width) {
  KvDC& dc = *p->dc;
  int pitch = candle_pitch(p->candle_def);
  int xp = x - pitch;
  if (!p->data_rect.PtInRect(xp, std::clamp(yprev, p->data_rect.top, p->data_rect.bottom - 1)) ||
      xp < p->data_rect.left)
    return;
  KvPen old = dc.SelectPen(KvPen(PS_SOLID, std::max(width, 1), color));
  if (type == TYPE_LINE || type == TYPE_LINE_CLOSE) {
    line(dc, xp, yprev, x, y);
  } else if (type == TYPE_STAIRS || type == TYPE_STAIRS_CLOSE) {
    dc.MoveTo(xp, yprev);
    dc.LineTo(x, yprev);
    dc.LineTo(x, y);
  }
  dc.SelectPen(old);
  if (type == TYPE_CLOSE || type == TYPE_LINE_CLOSE || type == TYPE_STAIRS_CLOSE) {
    const ChartSettings* s = p->settings;
    KvPen op = dc.SelectPen(KvPen(PS_SOLID, 1, s->outline_color));
    KvBrush ob = dc.SelectBrush(KvBrush(0x0000FF));
    for (int k = 0; k < 2; k++) {
      int mx = k ? x : xp, my = k ? y : yprev;
      dc.Rectangle(mx - 3, my - 3, mx + 4, my + 4);
      dc.SetPixel(mx, my, s->wick_color);
    }
    dc.SelectBrush(ob);
    dc.SelectPen(op);
  }
}

}  // namespace

void CBasicChart::DrawBarHighlight(int i) {
  chart_rec* ch = chart();
  if (!(g_pref_flags2 & 1) || !ch || !(ch->bars[i].flags & BAR_PROVISIONAL)) return;
  int pts[4];
  if (!BarPoints(i, -1, pts)) return;
  int pitch = candle_pitch(candle_def), k = i - settings->m_nFirst;
  int top = data_rect.bottom - pts[1] - 3, bottom = data_rect.bottom - pts[2] + 3;
  if (top < data_rect.top || top >= data_rect.bottom || pts[2] < 0) return;
  int left = data_rect.left + pitch * k;
  fill(*dc, left, top, left + pitch, bottom, settings->bg_color == 0 ? 0x808080 : 0xC0C0C0);
}

void CBasicChart::DrawPriceBar(int i, int) {
  chart_rec* ch = chart();
  const ChartSettings* s = settings;
  KvDC& d = *dc;
  int pitch = candle_pitch(candle_def), lg = candle_left_gap(candle_def),
      rg = candle_right_gap(candle_def);
  int co = candle_centre(candle_def), w = candle_width(candle_def);
  int k = i - s->m_nFirst;
  int left = data_rect.left + pitch * k, right = data_rect.left + pitch * (k + 1) - 1;
  int db = data_rect.bottom;
  int pts[4];
  if (!BarPoints(i, -1, pts)) return;
  int yo = db - pts[0], top = db - pts[1], bottom = db - pts[2], yc = db - pts[3];
  if (g_show_gridlines && ch->axis_marks && ch->axis_marks[i].label[0])
    DrawVerticalGrid(data_rect.left + pitch * (k + 1) - pitch / 2 - 1);
  if (is_intraday_unit(ch->header.time_unit) && i > 0 &&
      seconds_to_date(ch->bars[i].time) > seconds_to_date(ch->bars[i - 1].time))
    DrawDayBreak(right - pitch / 2 - 1);

  // Price-pane study lines of this bar.
  if (!(s->flags & CS_FLAG_NO_PRICE_STUDIES)) {
    for (StudyDef* st = ch->studies; st; st = st->next) {
      if (!shown(st)) continue;
      if (st->type == STUDY_TRADE_SIGNALS || st->type == STUDY_ORDER_PRICE) {
        DrawSignalMarks(st, i, left, top, bottom);
        continue;
      }
      if (st->type & 0x800FF00) continue;
      float v = study_value(st, i);
      float pv = study_value(st, i - 1);
      if (study_is_missing(v) || (i > 0 && study_is_missing(pv)) || i == 0) continue;
      int y, yp;
      if (s->percent == 1) {
        if (!finite_base(ch->percent_base)) continue;
        y = db - percent_pixels(&own_price, v, ch->percent_base);
        yp = db - percent_pixels(&own_price, pv, ch->percent_base);
      } else {
        y = db - axis_pixels(&own_price, v);
        yp = db - axis_pixels(&own_price, pv);
      }
      if (y < 0 || yp < 0) continue;
      if ((st->type & 0xFF) == 0x81) {
        int r = std::max(st->line_width, 1);
        int cx = left + co;
        KvPen op = d.SelectPen(KvPen(PS_SOLID, 1, st->color));
        KvBrush ob = d.SelectBrush(KvBrush(st->color));
        d.Ellipse(cx - r, y - r, cx + r + 1, y + r + 1);
        d.SelectBrush(ob);
        d.SelectPen(op);
      } else {
        KvPen op = d.SelectPen(KvPen(PS_SOLID, std::max(st->line_width, 1), st->color));
        line(d, left ? left - 1 : left, yp, right, y);
        d.SelectPen(op);
      }
    }
  }

  if (!(s->flags & CS_FLAG_NO_PRICE)) {
    int type = s->chart_type;
    bool tick_block = false;
    bool candle = type == TYPE_CANDLE || type == TYPE_SOLID_CANDLE || type == TYPE_VWAP ||
                  type == TYPE_HEIKIN_ASHI;
    bool thin = pitch - lg - rg == 1;
    auto wick = [&](COLORREF c) {
      if (w >= 2) {
        fill(d, left + co, top, left + co + w, bottom + 1, c);
      } else {
        KvPen op = d.SelectPen(KvPen(PS_SOLID, 1, c));
        line(d, left + co, top, left + co, bottom + 1);
        d.SelectPen(op);
      }
    };
    if (candle) {
      if (thin) {
        wick(s->wick_color);
      } else if (ch->header.time_unit == TU_ONE_TICK) {
        tick_block = true;
        int extra = ch->bars[i].extra;
        COLORREF c = extra > 0 ? s->up_color : extra < 0 ? s->down_color : s->wick_color;
        fill(d, left + lg, std::min(yo, yc) - 1, right - rg, std::max(yo, yc) + 2, c);
      } else {
        COLORREF body = yo < yc ? s->down_color : s->up_color;
        if (type == TYPE_SOLID_CANDLE) {
          KvPen op = d.SelectPen(KvPen(PS_SOLID, 1, s->outline_color));
          KvBrush ob = d.SelectBrush(KvBrush(s->wick_color));
          d.Rectangle(left + lg, top, right + 1 - rg, bottom + 1);
          d.SelectBrush(ob);
          d.SelectPen(op);
        }
        wick(s->wick_color);
        int bt = std::min(yo, yc), bb = std::max(yo, yc) + 1;
        if (pitch - lg - rg > 2 && s->candle_size != 0) {
          KvPen op = d.SelectPen(KvPen(PS_SOLID, 1, s->outline_color));
          KvBrush ob = d.SelectBrush(KvBrush(body));
          d.Rectangle(left + lg, bt, right + 1 - rg, bb);
          d.SelectBrush(ob);
          d.SelectPen(op);
        } else {
          fill(d, left + lg, bt, right + 1 - rg, bb, body);
        }
      }
    } else if (type == TYPE_OHLC || type == TYPE_HLC) {
      COLORREF c = yo < yc ? s->down_color : s->up_color;
      wick(c);
      if (!thin) {
        if (w >= 2) {
          if (type == TYPE_OHLC) fill(d, left + lg, yo, left + co, yo + w, c);
          fill(d, left + co + w, yc, right - rg + 1, yc + w, c);
        } else {
          KvPen op = d.SelectPen(KvPen(PS_SOLID, 1, c));
          if (type == TYPE_OHLC) line(d, left + lg, yo, left + co, yo);
          line(d, left + co + 1, yc, right - rg + 1, yc);
          d.SelectPen(op);
        }
      }
    } else if (type >= TYPE_CLOSE && type <= TYPE_STAIRS_CLOSE) {
      line_figure(this, type, left + co, yo, yc, s->wick_color, s->line_width);
    }
    // Overlay symbols in percent mode.
    int n_over = overlay_count ? std::min(*overlay_count, 20) : 0;
    if (!tick_block && s->percent == 1 && overlays) {
      int otype = (type == TYPE_CLOSE || type == TYPE_STAIRS || type == TYPE_STAIRS_CLOSE)
                      ? TYPE_STAIRS
                      : TYPE_LINE;
      for (int j = 0; j < n_over; j++) {
        chart_rec* o = overlays[j];
        if (!o || !o->bars || !finite_base(o->percent_base)) continue;
        int m = match_bar_index(ch, i, o);
        if (m <= 0) break;
        int yp = db - percent_pixels(&own_price, o->bars[m - 1].close, o->percent_base);
        int y = db - percent_pixels(&own_price, o->bars[m].close, o->percent_base);
        line_figure(this, otype, left + co, yp, y, overlay_color(j), s->line_width);
        overlay_rows[j] = db - y;
      }
    }
  }
  if (!(s->flags & CS_FLAG_NO_PRICE_STUDIES)) DrawFillMarks(i, left);
}

void CBasicChart::DrawOverlayLegends() {
  chart_rec* ch = chart();
  int n_over = overlay_count ? std::min(*overlay_count, 20) : 0;
  if (!ch || settings->percent != 1 || n_over < 1 || (settings->flags & CS_FLAG_HIDE_PRICE_SIDE))
    return;
  int side = g_price_lab_left ? 1 : 0;
  const KvRect& col = label_rect[side];
  if (col.IsRectEmpty()) return;
  KvDC& d = *dc;
  d.SelectFont(KvFont::StockVariable());
  d.SetBkColor(settings->bg_color);
  d.SetBkMode(OPAQUE);
  if (!printing()) d.SelectClipRect(col);
  int th = d.GetTextExtent("0").cy;
  auto put = [&](const char* text, int row, COLORREF c) {
    int y = std::max(std::min(col.bottom - row, col.bottom - th), col.top);
    d.SetTextColor(c);
    d.TextOut(col.left, y, text);
  };
  char sym[33];
  int last = std::clamp(settings->m_nLast, 0, ch->header.bar_count - 1);
  if (finite_base(ch->percent_base)) {
    snprintf(sym, sizeof sym, "%.31s", ch->header.symbol);
    put(sym, percent_pixels(&own_price, ch->bars[last].close, ch->percent_base),
        side ? right_attr : left_attr);
  }
  for (int j = 0; j < n_over; j++) {
    chart_rec* o = overlays[j];
    if (!o || !finite_base(o->percent_base)) continue;
    snprintf(sym, sizeof sym, "%.31s", o->header.symbol);
    put(sym, overlay_rows[j], overlay_color(j));
  }
  ClipTo(data_rect);
}

void CBasicChart::DrawVolume(int start) {
  chart_rec* ch = chart();
  const ChartSettings* s = settings;
  KvDC& d = *dc;
  int pitch = candle_pitch(candle_def);
  int li, ri, shift;
  volume_insets(pitch, printing(), &li, &ri, &shift);
  int first = start >= 0 ? start : s->m_nFirst, last = start >= 0 ? start : s->m_nLast;
  for (int i = first; i <= last && i < ch->header.bar_count; i++) {
    int k = i - s->m_nFirst;
    int left = data_rect.left + pitch * k, right = data_rect.left + pitch * (k + 1),
        db = data_rect.bottom;
    const chart_bar& b = ch->bars[i];
    if (g_show_gridlines && ch->axis_marks && ch->axis_marks[i].label[0])
      DrawVerticalGrid(data_rect.left + pitch * (k + 1) - pitch / 2 - 1);
    if (first_layer && is_intraday_unit(ch->header.time_unit) && i > 0 &&
        seconds_to_date(b.time) > seconds_to_date(ch->bars[i - 1].time))
      DrawDayBreak(right - 1 - pitch / 2 - 1);
    bool up = b.open < b.close;
    auto block = [&](int top, int sh, COLORREF c) {
      if (pitch < 2) {
        KvPen op = d.SelectPen(KvPen(PS_SOLID, 1, c));
        line(d, left + sh, top, left + sh, db + 1);
        d.SelectPen(op);
      } else {
        fill(d, left + li + sh, top, right - ri + sh, db + 1, c);
      }
    };
    if ((b.flags & 0x800000) && !(s->flags & CS_FLAG_NO_VOLUME)) {
      int h = axis_pixels(&own_volume, b.extra);
      if (h > 0) block(db - h, shift, s->oi_color);
    }
    if (b.flags & BAR_VOLUME_VALID) {
      if (!(s->flags & CS_FLAG_NO_VOLUME))
        block(db - axis_pixels(&own_volume, b.volume), 0,
              up ? s->up_volume_color : s->down_volume_color);
    }
  }
  if (!(s->flags & CS_FLAG_NO_VOLUME_STUDIES) && (content_override & 0x12))
    DrawStudies(0x12, start);
}

void CBasicChart::DrawStudies(int content, int start) {
  chart_rec* ch = chart();
  const ChartSettings* s = settings;
  KvDC& d = *dc;
  int pitch = candle_pitch(candle_def);
  int li, ri, shift;
  volume_insets(pitch, printing(), &li, &ri, &shift);
  int groups = content == 0x12 ? (content_override & 0x12) : (content_override & content);
  if (!groups) return;
  int first = start >= 0 ? start : s->m_nFirst, last = start >= 0 ? start : s->m_nLast;
  for (int i = first; i <= last && i < ch->header.bar_count; i++) {
    int k = i - s->m_nFirst;
    int left = data_rect.left + pitch * k, right = data_rect.left + pitch * (k + 1),
        db = data_rect.bottom;
    if (content != 0x12 && first_layer) {
      if (g_show_gridlines && ch->axis_marks && ch->axis_marks[i].label[0])
        DrawVerticalGrid(data_rect.left + pitch * (k + 1) - pitch / 2 - 1);
      if (is_intraday_unit(ch->header.time_unit) && i > 0 &&
          seconds_to_date(ch->bars[i].time) > seconds_to_date(ch->bars[i - 1].time))
        DrawDayBreak(right - 1 - pitch / 2 - 1);
    }
    for (StudyDef* st = ch->studies; st; st = st->next) {
      if (!shown(st) || !(st->pane_group & groups)) continue;
      const axis_scale* sc = StudyScale(st);
      if (!sc) continue;
      int width = std::max(st->line_width, 1);
      auto row = [&](double v) { return db - axis_pixels(sc, v); };
      auto block = [&](int y0, int y1, COLORREF c) {
        KvPen op = d.SelectPen(KvPen(PS_SOLID, width, c));
        KvBrush ob = d.SelectBrush(KvBrush(c));
        int l = left + li + (printing() ? 5 : 0), r = right - ri + 1 - (printing() ? 5 : 0);
        d.Rectangle(l, std::min(y0, y1), r, std::max(y0, y1) + 1);
        d.SelectBrush(ob);
        d.SelectPen(op);
      };
      float v = study_value(st, i);
      if (st->type == STUDY_NET_VOLUME) {
        if (study_is_missing(v)) continue;
        double val = ch->bars[i].extra;
        COLORREF c = st->color;
        if (st->color == s->study_color) c = val >= 0 ? s->up_volume_color : s->down_volume_color;
        block(row(0), row(val), c);
      } else if (st->type == STUDY_MACD || (st->type & 0xFF) == 0x82) {
        if (study_is_missing(v)) continue;
        block(row(0), row(v), st->color);
      } else if (st->type == STUDY_TRADE_SIGNALS) {
        DrawPositionBlock(st, sc, i, left, right);
      } else if (i > s->m_nFirst) {
        float pv = study_value(st, i - 1);
        if (study_is_missing(v) || study_is_missing(pv)) continue;
        KvPen op = d.SelectPen(KvPen(PS_SOLID, width, st->color));
        line(d, left - pitch / 2, row(pv), right - pitch / 2, row(v));
        d.SelectPen(op);
      }
    }
  }
}

void CBasicChart::DrawChart(int layer, int content, KvDC* d, const axis_scale* first,
                            const axis_scale* second) {
  kv_lock guard(g_chart_lock);
  if (g_option_flags & OPT_TRACE_CHART) debug_trace("CBasicChart::DrawChart(%d)\n", content);
  chart_rec* ch = chart();
  if (!ch || !ch->bars || !settings || settings->m_nNum < 1 || !d) return;
  first_layer = layer;
  dc = d;
  d->SelectFont(KvFont::StockVariable());
  if (!printing()) d->SelectClipRect(KvRect(0, pane_rect.top, pane_rect.right, pane_rect.bottom));
  DrawFrame(content == CONTENT_PRICE || content == CONTENT_VOLUME ? content : CONTENT_STUDIES,
            first, second);
  if (time_axis_on) {
    DrawFreshness(ch->mqt);
    DrawStripFrames(1);
  }
  DrawStripFrames(0);
  ClipTo(data_rect);
  int last = std::min(settings->m_nLast, ch->header.bar_count - 1);
  if (content == CONTENT_PRICE) {
    ha_bars = settings->chart_type == TYPE_HEIKIN_ASHI ? calc_heikin_ashi(ch, 0) : nullptr;
    for (int i = std::max(settings->m_nFirst, 0); i <= last; i++) {
      DrawBarHighlight(i);
      DrawPriceBar(i, 0);
    }
    DrawDailyLines();
    DrawAnnotations();
    DrawOverlayLegends();
    DrawBidAskBar(d, ch->mqt);
    DrawQuoteLine(d, ch->mqt);
  } else if (content == CONTENT_VOLUME) {
    DrawVolume(-1);
  } else {
    DrawStudies(content, -1);
  }
  if (!printing()) d->SelectClipNone();
}

int CBasicChart::DrawLastPoint(int content, KvDC* d, const axis_scale* first,
                               const axis_scale* second) {
  kv_lock guard(g_chart_lock);
  if (g_option_flags & OPT_TRACE_CHART) debug_trace("CBasicChart::DrawLastPoint(%d)\n", content);
  chart_rec* ch = chart();
  if (!ch || !ch->bars || !settings || !d) return 1;
  int n = ch->header.bar_count;
  int i = n - 1;
  if (settings->m_nNum < 1 || i < settings->m_nFirst || i > settings->m_nLast) return 1;
  dc = d;
  int pitch = candle_pitch(candle_def), k = i - settings->m_nFirst;
  int left = data_rect.left + pitch * k;
  KvRect column(left, data_rect.top, std::min(left + pitch, data_rect.right), data_rect.bottom);
  const axis_scale* grid = g_price_lab_left ? first : second;
  if (!grid) grid = first ? first : second;
  // The grid rows only within reach of the column: dots are placed from
  // the right edge, dotted lines from the left in a pattern of 6 pixels.
  auto column_grid = [&](int kind) {
    if (!first_layer) return;
    KvRect saved = data_rect;
    data_rect.left = std::max(saved.left, column.left - (column.left - saved.left) % 6);
    DrawGridLines(grid, kind);
    data_rect = saved;
  };
  if (content == CONTENT_PRICE) {
    ha_bars = settings->chart_type == TYPE_HEIKIN_ASHI ? calc_heikin_ashi(ch, 1) : nullptr;
    int pts[4];
    if (!BarPoints(i, -1, pts)) return 1;
    int h = data_rect.Height();
    if (pts[2] < 0 || pts[1] > h) return 0;
    int n_over = overlay_count ? std::min(*overlay_count, 20) : 0;
    if (settings->percent == 1)
      for (int j = 0; j < n_over; j++)
        if (BarPoints(i, j, pts) && (pts[2] < 0 || pts[1] > h)) return 0;
    if (!printing()) d->SelectClipRect(column);
    if (first_layer) d->FillSolidRect(column, settings->bg_color);
    column_grid(CONTENT_PRICE);
    DrawBarHighlight(i);
    DrawPriceBar(i, 1);
    DrawDailyLines();
    DrawAnnotations();
    DrawBidAskBar(d, ch->mqt);
    DrawQuoteLine(d, ch->mqt);
  } else if (content == CONTENT_VOLUME) {
    const chart_bar& b = ch->bars[i];
    int h = data_rect.Height();
    if (((b.flags & BAR_VOLUME_VALID) && axis_pixels(&own_volume, b.volume) > h) ||
        ((b.flags & 0x800000) && axis_pixels(&own_volume, b.extra) > h))
      return 0;
    if (!printing()) d->SelectClipRect(column);
    if (first_layer) d->FillSolidRect(column, settings->bg_color);
    column_grid(CONTENT_VOLUME);
    DrawVolume(i);
  } else {
    if (!printing()) d->SelectClipRect(column);
    if (first_layer) d->FillSolidRect(column, settings->bg_color);
    column_grid(content);
    // The 0x20 group's studies too: the column was cleared, and a full
    // redraw draws them.
    if (content != 0x20 || (content_override & 0x20)) DrawStudies(content, i);
  }
  if (time_axis_on) {
    if (!printing()) d->SelectClipNone();
    DrawFreshness(ch->mqt);
  }
  if (!printing()) d->SelectClipNone();
  return 1;
}
