// The two market-window kinds a chart pane draws: the horse race (one
// column per symbol of a list, its change for the day or its profit and
// loss, with a volume or study pane below) and the price/volume
// distribution (one horizontal bar per price row). Both take their bar
// geometry from the spacing table by the room each column or row has.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "chart/basicchart.h"
#include "data/axis_scale.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "quotes/mqt_record.h"
#include "settings/settings.h"

namespace {

const uint32_t kSpacing[18] = {0x000000, 0x000001, 0x000002, 0x100003, 0x100004, 0x200005,
                               0x204006, 0x300007, 0x304008, 0x400009, 0x40400A, 0x50000B,
                               0x50400C, 0x60000D, 0x60400E, 0x70000F, 0x704010, 0x804111};

inline bool tracing() {
  return (g_option_flags & OPT_TRACE_CHART) != 0;
}

void fill(KvDC& dc, int l, int t, int r, int b, COLORREF c) {
  if (r > l && b > t) dc.FillSolidRect(KvRect(l, t, r, b), c);
}

bool hidden(const hrace_entry& e) {
  return (e.flags & 0x06) != 0 || !e.quote;
}

// Pixels of a value above the data bottom on a group scale.
int scale_pixels(const axis_scale* s, double v) {
  if (!s || !(s->pixels_per_unit > 0)) return 0;
  double p = (v - s->minimum) * s->pixels_per_unit;
  if (!std::isfinite(p)) return 0;
  return (int)std::clamp(p, -1e8, 1e8);
}

// The four values of a bar (open, low, high, close) of one content.
void race_values(const mqt* q, int content, bool pl, float v[4]) {
  const mqt_race_values& r = q->race;
  if (content == CONTENT_PRICE) {
    if (pl) {
      v[0] = 0, v[1] = r.pl_low, v[2] = r.pl_high, v[3] = r.pl_now;
    } else {
      v[0] = r.change_open, v[1] = r.change_low, v[2] = r.change_high, v[3] = r.change_last;
    }
  } else if (pl) {
    v[0] = 0, v[1] = r.pl_study_low, v[2] = r.pl_study_high, v[3] = r.pl_study_now;
  } else {
    v[0] = r.study[0], v[1] = r.study[1], v[2] = r.study[2], v[3] = r.study[3];
  }
}

}  // namespace

uint32_t SpacingForCount(int extent, int count) {
  if (count <= 0 || extent <= 0) return kSpacing[0];
  return kSpacing[std::min(extent / count, 17)];
}

// ---------------------------------------------------------------------------
// Horse race.

void CBasicChart::DrawHRace(int layer, int content, KvDC* d, const axis_scale* left_scale,
                            const axis_scale* right_scale) {
  if (tracing()) debug_trace("CBasicChart::DrawHRace(%d)\n", content);
  if (!hrace || !d || !settings) return;
  kv_lock guard(g_chart_lock);
  dc = d;
  first_layer = layer;
  KvFont old_font = dc->SelectFont(KvFont(QStringLiteral("Arial"), 8));
  if (!printing() && layer) {
    dc->FillSolidRect(pane_rect, settings->bg_color);
    KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
    KvBrush ob = dc->SelectBrush(KvBrush::Null());
    dc->Rectangle(data_rect.left - 1, data_rect.top - 1, data_rect.right + 1, data_rect.bottom + 1);
    dc->SelectBrush(ob);
    dc->SelectPen(op);
  }
  uint32_t saved_def = candle_def;
  candle_def = SpacingForCount(data_rect.Width(), hrace->symbol_count);
  int pitch = candle_pitch(candle_def);
  // Column backgrounds of the price bars: odd columns grey.
  if (content == CONTENT_PRICE && layer && pitch > 0) {
    int c = 0;
    COLORREF odd = settings->bg_color == 0 ? 0x808080 : 0xC0C0C0;
    for (int i = 0; i < hrace->entry_count; i++) {
      const hrace_entry& e = hrace->entries[i];
      if (hidden(e)) continue;
      int left = data_rect.left + c * pitch;
      if (left >= data_rect.right) break;
      fill(*dc, left, data_rect.top, std::min(left + pitch, data_rect.right), data_rect.bottom,
           c % 2 ? odd : settings->bg_color);
      c++;
    }
  }
  // Labels and grid of the sides that have a scale.
  const axis_scale* sides[2] = {left_scale, right_scale};
  int price_side = g_price_lab_left ? 0 : 1;
  for (int side = 0; side < 2; side++) {
    if (!sides[side]) continue;
    uint32_t off = side == price_side ? CS_FLAG_HIDE_PRICE_SIDE : CS_FLAG_HIDE_OTHER_SIDE;
    if (settings->flags & off) continue;
    if (side == 0)
      left_attr = settings->text_color;
    else
      right_attr = settings->text_color;
    DrawLabels(side, sides[side]);
    DrawGridLines(sides[side], content == CONTENT_PRICE ? CONTENT_PRICE : content);
  }
  if (content == CONTENT_PRICE)
    DrawHRacePriceData();
  else if (content == CONTENT_VOLUME)
    DrawHRaceVolumeData();
  else
    DrawHRaceStudyData();
  dc->SelectFont(old_font);
  candle_def = saved_def;
}

// One candle of a race column: wick from high to low, body between open
// and close (moved a pixel apart so that it shows).
void CBasicChart::DrawHRaceBar(int left, const float v[4], const axis_scale* scale) {
  int pitch = candle_pitch(candle_def), lg = candle_left_gap(candle_def),
      rg = candle_right_gap(candle_def), co = candle_centre(candle_def);
  int db = data_rect.bottom;
  int yo = db - scale_pixels(scale, v[0]), ylow = db - scale_pixels(scale, v[1]),
      yhigh = db - scale_pixels(scale, v[2]), yc = db - scale_pixels(scale, v[3]);
  if (yo == yc) yc -= 1;
  COLORREF body = yo < yc ? settings->down_color : settings->up_color;
  KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->wick_color));
  dc->MoveTo(left + co, yhigh);
  dc->LineTo(left + co, ylow + 1);
  int bl = left + lg, br = left + pitch - rg;
  int top = std::min(yo, yc), bottom = std::max(yo, yc) + 1;
  if (pitch - lg - rg > 2) {
    dc->SelectPen(KvPen(PS_SOLID, 1, settings->outline_color));
    KvBrush ob = dc->SelectBrush(KvBrush(body));
    dc->Rectangle(bl, top, br, bottom);
    dc->SelectBrush(ob);
  } else {
    fill(*dc, bl, top, br, bottom, body);
  }
  dc->SelectPen(op);
}

void CBasicChart::DrawHRaceLabel(int column, int left, const mqt* q) {
  if (!header_on || !(g_pref_flags & 0x2) || title_rect.IsRectEmpty()) return;
  const char* text = q->symbol;
  if (strcmp(q->sec_type, "OPT") == 0 && q->local_symbol[0]) text = q->local_symbol;
  int pitch = candle_pitch(candle_def);
  int th = dc->GetTextExtent("0").cy;
  dc->SetTextColor(settings->text_color);
  int old_mode = dc->SetBkMode(TRANSPARENT);
  COLORREF back = column % 2 ? 0xC0C0C0 : settings->bg_color;
  size_t n = strnlen(text, MQT_SYMBOL_SIZE);
  // The lines overlap by 3 pixels: the backgrounds go first and the
  // characters over them, so that no line cuts off the foot of the one
  // above (a "B" would read "R").  A symbol longer than the title strip
  // holds runs on over the bars, whole: cut short, "GOOGL" would read
  // "GOOG" and every "M~S_..." name the same.
  for (int pass = 0; pass < 2; pass++) {
    int y = title_rect.top + 1;
    for (size_t i = 0; i < n && y + th <= data_rect.bottom; i++, y += th - 3) {
      char one[2] = {text[i], 0};
      int w = dc->GetTextExtent(one).cx;
      int x = left + (pitch - w) / 2;
      if (pass == 0)
        fill(*dc, x, y, x + w, y + th, back);
      else
        dc->TextOut(x, y, one);
    }
  }
  dc->SetBkMode(old_mode);
}

void CBasicChart::DrawHRacePriceData() {
  if (tracing()) debug_trace("CBasicChart::DrawHRacePriceData()\n");
  const axis_scale* scale = hrace->scales[0];
  bool pl = settings->chart_type == 12;
  int pitch = candle_pitch(candle_def);
  long long sum = 0;
  int rising = 0, falling = 0, c = 0;
  for (int i = 0; i < hrace->entry_count; i++) {
    hrace_entry& e = hrace->entries[i];
    if (hidden(e)) continue;
    const mqt* q = e.quote;
    double race = q->race.race;
    if (std::isfinite(race) && std::fabs(race) < 2e7) sum += (long long)(100 * race);
    if (q->race.change > 0) rising++;
    if (q->race.change < 0) falling++;
    int left = data_rect.left + c * pitch;
    if (pitch > 0 && left < data_rect.right) {
      float v[4];
      race_values(q, CONTENT_PRICE, pl, v);
      DrawHRaceBar(left, v, scale);
      DrawHRaceLabel(c, left, q);
      e.left_x = left;
      e.right_x = left + pitch;
    }
    c++;
  }
  int count = hrace->symbol_count;
  hrace_hit[0] = count > 0 ? (int)(sum / count) : 0;
  hrace_hit[1] = rising;
  hrace_hit[2] = falling;
}

void CBasicChart::DrawHRaceStudyData() {
  if (tracing()) debug_trace("CBasicChart::DrawHRaceStudyData()\n");
  const axis_scale* scale = hrace->scales[1];
  bool pl = settings->chart_type == 12;
  int pitch = candle_pitch(candle_def), c = 0;
  for (int i = 0; i < hrace->entry_count; i++) {
    hrace_entry& e = hrace->entries[i];
    if (hidden(e)) continue;
    int left = data_rect.left + c * pitch;
    if (pitch > 0 && left < data_rect.right) {
      float v[4];
      race_values(e.quote, 0x04, pl, v);
      DrawHRaceBar(left, v, scale);
      e.left_x = left;
      e.right_x = left + pitch;
    }
    c++;
  }
}

void CBasicChart::DrawHRaceVolumeData() {
  if (tracing()) debug_trace("CBasicChart::DrawHRaceVolumeData()\n");
  const axis_scale* scale = hrace->scales[2];
  bool pl = settings->chart_type == 12;
  int pitch = candle_pitch(candle_def), lg = candle_left_gap(candle_def),
      rg = candle_right_gap(candle_def), c = 0;
  for (int i = 0; i < hrace->entry_count; i++) {
    hrace_entry& e = hrace->entries[i];
    if (hidden(e)) continue;
    int left = data_rect.left + c * pitch;
    if (pitch > 0 && left < data_rect.right) {
      float vol = pl ? e.quote->race.pl_volume : e.quote->race.volume;
      int top = data_rect.bottom - scale_pixels(scale, vol);
      fill(*dc, left + lg, top, left + pitch - rg, data_rect.bottom + 1, settings->up_volume_color);
      e.left_x = left;
      e.right_x = left + pitch;
    }
    c++;
  }
}

void CBasicChart::GetHRaceSummary(int* average, int* rising, int* falling) const {
  *average = hrace_hit[0], *rising = hrace_hit[1], *falling = hrace_hit[2];
}

// ---------------------------------------------------------------------------
// Price/volume distribution.

void CBasicChart::DrawPVD(int layer, int content, KvDC* d, const axis_scale*, const axis_scale*) {
  if (tracing()) debug_trace("CBasicChart::DrawPVD(%d)\n", content);
  if (!pvd || !d || !settings) return;
  kv_lock guard(g_chart_lock);
  dc = d;
  first_layer = layer;
  KvFont old_font = dc->SelectFont(KvFont(QStringLiteral("Arial"), 8));
  if (!printing()) {
    dc->FillSolidRect(pane_rect, settings->bg_color);
    KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
    dc->MoveTo(data_rect.left, data_rect.bottom);
    dc->LineTo(data_rect.right, data_rect.bottom);
    dc->SelectPen(op);
  }
  CalcPVDLayout();
  DrawPVDTitle();
  // Freshness: how far apart the record's two time stamps are.
  {
    int age = std::abs(pvd->time1 - pvd->time2);
    COLORREF c = age <= 10 ? 0x00FF00 : age <= 60 ? 0x00FFFF : 0x0000FF;
    KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
    KvBrush ob = dc->SelectBrush(KvBrush(c));
    dc->Rectangle(pane_rect.left, pane_rect.bottom - 6, pane_rect.left + 6, pane_rect.bottom);
    dc->SelectBrush(ob);
    dc->SelectPen(op);
  }
  if ((settings->display_flags & CS_SHOW_BIDASK) && !bidask_rect.IsRectEmpty()) {
    KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
    dc->MoveTo(bidask_rect.left, bidask_rect.bottom);
    dc->LineTo(bidask_rect.right + 1, bidask_rect.bottom);
    dc->SelectPen(op);
  }
  uint32_t saved_def = candle_def;
  candle_def = SpacingForCount(data_rect.Height(), g_pvd.row_count);
  if (!(settings->flags & CS_FLAG_HIDE_PRICE_SIDE)) DrawPVDLabels(g_price_lab_left ? 0 : 1);
  DrawPVDData();
  DrawPVDVolumeMarks();
  UpdatePVD(dc);
  dc->SelectFont(old_font);
  candle_def = saved_def;
}

void CBasicChart::DrawPVDData() {
  if (tracing()) debug_trace("CBasicChart::DrawPVDData()\n");
  int pitch = candle_pitch(g_pvd.row_def), lg = candle_left_gap(g_pvd.row_def),
      rg = candle_right_gap(g_pvd.row_def);
  if (g_pvd.row_count < 1 || pitch == 0) return;
  if (g_show_gridlines) {
    for (int i = 0; i < g_pvd.row_count; i++) {
      if (!(g_pvd.rows[i].flags & 2)) continue;
      int y = data_rect.bottom - g_pvd.rows[i].offset - pitch / 2;
      if (y < data_rect.top) break;
      DrawGridRow(y, 10 << 4);
    }
  }
  for (int i = 0; i < g_pvd.row_count; i++) {
    const pvd_row& r = g_pvd.rows[i];
    int bottom = data_rect.bottom - lg - r.offset;
    int top = bottom - pitch + 1 + rg;
    if (top < data_rect.top) break;
    int len = g_pvd.volume_per_pixel > 0 ? (int)(r.volume / g_pvd.volume_per_pixel) : 0;
    COLORREF c = i % 2 ? 0xFFFF00 : settings->up_volume_color;
    if (len <= 0) continue;
    if (pitch > 1) {
      fill(*dc, data_rect.left, top, data_rect.left + len, bottom, c);
    } else {
      KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, c));
      dc->MoveTo(data_rect.left, top);
      dc->LineTo(data_rect.left + len, bottom);
      dc->SelectPen(op);
    }
  }
}

void CBasicChart::DrawPVDLabels(int side) {
  const KvRect& col = label_rect[side];
  int pitch = candle_pitch(g_pvd.row_def);
  char text[64];
  int th = dc->GetTextExtent("0").cy;
  int dec = tick_decimals(pvd->tick_size);
  if (!col.IsRectEmpty()) {
    dc->SetTextColor(side == 0 ? left_attr : right_attr);
    dc->SetBkColor(settings->bg_color);
    dc->SetBkMode(OPAQUE);
    if (!printing()) dc->SelectClipRect(col);
    for (int i = 0; i < g_pvd.row_count; i++) {
      const pvd_row& r = g_pvd.rows[i];
      int y = data_rect.bottom - r.offset - pitch / 2;
      if (y < data_rect.top) break;
      if (!(r.flags & 2)) continue;
      format_price(r.price, text, dec, FORMAT_PRICE_DECIMAL);
      dc->TextOut(col.left, std::clamp(y - th / 2, col.top, col.bottom - th), text);
    }
    if (!printing()) dc->SelectClipNone();
  }
  // The axis line one pixel inside the data edge, with a tick per drawn row.
  int x = side == 0 ? data_rect.left + 1 : data_rect.right - 2;
  int len = printing() ? 10 : 5, dir = side == 0 ? -1 : 1;
  KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
  dc->MoveTo(x, data_rect.top);
  dc->LineTo(x, data_rect.bottom);
  for (int i = 0; i < g_pvd.row_count; i++) {
    const pvd_row& r = g_pvd.rows[i];
    int y = data_rect.bottom - r.offset - pitch / 2;
    if (y < data_rect.top) break;
    if (!(r.flags & 1)) continue;
    dc->MoveTo(x, y);
    dc->LineTo(x + dir * len, y);
  }
  dc->SelectPen(op);
}

void CBasicChart::DrawPVDVolumeMarks() {
  int pitch = candle_pitch(g_pvd.row_def), lg = candle_left_gap(g_pvd.row_def),
      rg = candle_right_gap(g_pvd.row_def);
  int len = printing() ? 15 : 6;
  char text[64];
  for (int k = 0; k < g_pvd.axis_count; k++) {
    const pvd_axis_entry& a = g_pvd.axis[k];
    int x = data_rect.left + a.x;
    if (x >= data_rect.right) break;
    KvPen op = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
    dc->MoveTo(x, data_rect.bottom);
    dc->LineTo(x, data_rect.bottom + len);
    dc->SelectPen(KvPen(PS_SOLID, 1, settings->bg_color));
    for (int i = 0; i < g_pvd.row_count; i++) {
      const pvd_row& r = g_pvd.rows[i];
      int bottom = data_rect.bottom - lg - r.offset;
      int top = bottom - pitch + 1 + rg;
      if (top < data_rect.top - 2) break;
      if (r.volume <= a.volume) continue;
      dc->MoveTo(x, std::max(top, data_rect.top));
      dc->LineTo(x, bottom);
    }
    dc->SelectPen(op);
    if (!time_rect.IsRectEmpty()) {
      format_volume(text, a.volume, 2);
      KvSize ext = dc->GetTextExtent(text);
      dc->SetTextColor(settings->text_color);
      dc->SetBkColor(settings->bg_color);
      dc->SetBkMode(OPAQUE);
      dc->TextOut(x - ext.cx / 2, time_rect.top, text);
    }
  }
}

void CBasicChart::DrawPVDTitle() {
  if (!(g_pref_flags & 0x2) || (settings->flags & CS_FLAG_NO_TITLE) || title_rect.IsRectEmpty())
    return;
  char text[128], date[64];
  if (pvd->date)
    snprintf(text, sizeof text, "%.31s-%s", pvd->symbol, format_date(pvd->date, date, 0));
  else
    snprintf(text, sizeof text, "%.31s", pvd->symbol);
  dc->SetTextColor(settings->text_color);
  dc->SetBkColor(settings->bg_color);
  dc->SetBkMode(OPAQUE);
  KvRect r = title_rect;
  dc->DrawText(QString::fromLatin1(text), r, DT_CENTER | DT_SINGLELINE);
}

void CBasicChart::UpdatePVD(KvDC* d) {
  if (!pvd || !d || !settings || bidask_rect.IsRectEmpty()) return;
  kv_lock guard(g_chart_lock);
  dc = d;
  d->FillSolidRect(bidask_rect, settings->bg_color);
  int pitch = std::max(candle_pitch(g_pvd.row_def), 1);
  double step = pvd->price_step;
  if (!(step > 0) || !std::isfinite(step)) return;
  auto row_y = [&](double price) {
    double k = std::trunc((price - pvd->base_price) / step);
    k = std::clamp(k, -1e6, 1e6);
    int idx = (int)k;
    return data_rect.bottom - idx * pitch - pitch / 2;
  };
  if (pvd->low <= pvd->high) {
    int ylo = row_y(pvd->low), yhi = row_y(pvd->high);
    int top = std::max(yhi - pitch / 2, bidask_rect.top),
        bottom = std::min(ylo + pitch / 2 + 1, bidask_rect.bottom);
    fill(*d, bidask_rect.left, top, bidask_rect.right, bottom, settings->bidask_color);
    int yl = row_y(pvd->last);
    int t = std::clamp(yl - 1, bidask_rect.top, bidask_rect.bottom - 2);
    fill(*d, bidask_rect.left, t, bidask_rect.right, t + 2, settings->last_mark_color);
  }
}
