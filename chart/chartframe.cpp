// The chart pane's frame: label columns and their ticks, grid lines, the
// time axis and its tick strip, day breaks, the title and the events strip.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "chart/basicchart.h"
#include "chart/chart_hooks.h"
#include "chart/linegeom.h"
#include "data/axis_scale.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "settings/settings.h"
#include "platform/clock.h"

void CBasicChart::ClipTo(const KvRect& r) {
  if (!printing()) ClipToDataRect(r, *dc);
}

namespace {

// Back to the pane's clip after drawing clipped to one strip.
void clip_to_pane(CBasicChart* p) {
  if (!p->printing())
    p->dc->SelectClipRect(KvRect(0, p->pane_rect.top, p->pane_rect.right, p->pane_rect.bottom));
}

}  // namespace

void CBasicChart::DrawLabels(int side, const axis_scale* list) {
  const KvRect& col = label_rect[side];
  if (!list || !dc || col.IsRectEmpty()) return;
  dc->SetTextColor(side == 0 ? left_attr : right_attr);
  dc->SetBkColor(settings->bg_color);
  dc->SetBkMode(OPAQUE);
  if (!printing()) dc->SelectClipRect(col);
  int th = dc->GetTextExtent("0").cy;
  for (int i = 0; i < list->label_count && i < AXIS_SCALE_MAX_LABELS; i++) {
    const axis_label& l = list->labels[i];
    char text[sizeof l.text + 1];
    memcpy(text, l.text, sizeof l.text);
    text[sizeof l.text] = 0;
    if (!text[0]) continue;
    int y = col.bottom - l.offset - 8;
    y = std::min(y, col.bottom - th);
    y = std::max(y, col.top);
    dc->TextOut(col.left, y, text);
  }
  clip_to_pane(this);
}

void CBasicChart::DrawLabelTicks(int side, const axis_scale* list) {
  const KvRect& col = label_tick_rect[side];
  if (!list || !dc || col.IsRectEmpty()) return;
  KvPen old = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
  int x = side == 0 ? col.right - 1 : col.left;
  dc->MoveTo(x, col.top);
  dc->LineTo(x, col.bottom + 1);
  int len = printing() ? 10 : 5;
  int dir = side == 0 ? -1 : 1;
  for (int i = 0; i < list->label_count && i < AXIS_SCALE_MAX_LABELS; i++) {
    int row = col.bottom - list->labels[i].offset;
    dc->MoveTo(x, row);
    dc->LineTo(x + dir * len, row);
  }
  dc->SelectPen(old);
}

int CBasicChart::GridStyle(const char* text, int content) const {
  bool race = kind() == WINDOW_KIND_HRACE;
  if (content == CONTENT_PRICE) {
    if (race) return strcmp(text, "0%") == 0 ? (10 << 4) | 1 : 10 << 4;
    if (!text[0]) return 25 << 4;
    const char* dot = strrchr(text, '.');
    if (!dot || strcmp(dot, ".00") == 0 || strcmp(text, "0.00%") == 0) return 5 << 4;
    if (strcmp(dot, ".50") == 0) return 10 << 4;
    return 25 << 4;
  }
  int spacing = race ? 10 : 25;
  if (strcmp(text, "0%") == 0 || strcmp(text, "0.00") == 0) return (spacing << 4) | 1;
  return spacing << 4;
}

void CBasicChart::DrawGridRow(int y, int style) {
  int left = data_rect.left, right = data_rect.right;
  if ((settings->display_flags & CS_SHOW_BIDASK) && !bidask_rect.IsRectEmpty())
    right = bidask_rect.right;
  if ((settings->display_flags & CS_SHOW_GRTRADE) && !grtrade_rect.IsRectEmpty())
    right = grtrade_rect.right;
  int kind_bits = style & 0xF, spacing = style >> 4;
  if (kind_bits == 1 || kind_bits == 2) {
    KvPen old = dc->SelectPen(KvPen(PS_DOT, 1, settings->grid_color));
    int mode = dc->SetBkMode(TRANSPARENT);
    dc->MoveTo(left, y);
    dc->LineTo(right, y);
    dc->SetBkMode(mode);
    dc->SelectPen(old);
    return;
  }
  if (spacing <= 0) return;
  for (int x = right - 2; x >= left; x -= spacing) dc->SetPixel(x, y, settings->grid_color);
}

void CBasicChart::DrawGridLines(const axis_scale* list, int content) {
  if (!list || !dc || !g_show_gridlines) return;
  for (int i = 0; i < list->label_count && i < AXIS_SCALE_MAX_LABELS; i++) {
    const axis_label& l = list->labels[i];
    if (content == CONTENT_PRICE && l.offset <= 0) continue;
    char text[sizeof l.text + 1];
    memcpy(text, l.text, sizeof l.text);
    text[sizeof l.text] = 0;
    DrawGridRow(data_rect.bottom - l.offset, GridStyle(text, content));
  }
}

void CBasicChart::DrawVerticalGrid(int x) {
  for (int y = data_rect.top; y < data_rect.bottom; y += 5)
    dc->SetPixel(x, y, settings->grid_color);
}

void CBasicChart::DrawDayBreak(int x) {
  if (g_pref_flags & 0x80000000u) return;
  KvPen old = dc->SelectPen(KvPen(PS_SOLID, 1, settings->daybreak_color));
  int mode = dc->SetBkMode(TRANSPARENT);
  dc->MoveTo(x, data_rect.top + 1);
  dc->LineTo(x, data_rect.bottom - 1);
  dc->SetBkMode(mode);
  dc->SelectPen(old);
}

void CBasicChart::DrawTickStripColours() {
  chart_rec* ch = chart();
  if (!ch || !ch->bars || !(settings->flags & CS_FLAG_TIME_COLOURS) ||
      !is_intraday_unit(ch->header.time_unit))
    return;
  int pitch = candle_pitch(candle_def);
  for (int k = 0; k < settings->m_nNum; k++) {
    int i = settings->m_nFirst + k;
    if (i < 0 || i >= ch->header.bar_count) break;
    int tod = kv_time_of_day(ch->bars[i].time);
    long c = day_period_color(tod);
    if (c < 0) {
      if (settings->bg_color != 0) continue;
      c = 0x808080;
    }
    KvRect col(data_rect.left + pitch * k, time_tick_rect.top, data_rect.left + pitch * (k + 1),
               time_tick_rect.bottom);
    dc->FillSolidRect(col, (COLORREF)c);
  }
}

void CBasicChart::DrawTimeAxis() {
  chart_rec* ch = chart();
  if (!time_axis_on || !dc || time_tick_rect.IsRectNull()) return;
  KvPen old = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
  dc->MoveTo(time_tick_rect.left, time_tick_rect.top);
  dc->LineTo(time_tick_rect.right, time_tick_rect.top);
  if (!ch || !ch->bars || !ch->axis_marks) {
    dc->SelectPen(old);
    return;
  }
  bool black = (settings->flags & CS_FLAG_TIME_COLOURS) && is_intraday_unit(ch->header.time_unit);
  dc->SelectPen(KvPen(PS_SOLID, 1, black ? 0 : settings->axis_color));
  dc->SetTextColor(settings->text_color);
  dc->SetBkColor(settings->bg_color);
  int pitch = candle_pitch(candle_def);
  static const int lengths[2][5] = {{0, 4, 6, 8, 10}, {0, 10, 15, 20, 25}};
  for (int k = 0; k < settings->m_nNum; k++) {
    int i = settings->m_nFirst + k;
    if (i < 0 || i >= ch->header.bar_count) break;
    const time_axis_mark& m = ch->axis_marks[i];
    int x = data_rect.left + pitch * (k + 1) - pitch / 2 - 1;
    char text[sizeof m.label + 1];
    memcpy(text, m.label, sizeof m.label);
    text[sizeof m.label] = 0;
    if (text[0] && !(settings->flags & CS_FLAG_NO_TIME_TEXT)) {
      if (!printing()) dc->SelectClipRect(time_rect);
      int w = dc->GetTextExtent(text).cx;
      dc->TextOut(x - w / 2, time_rect.top, text);
      clip_to_pane(this);
    }
    int level = std::min<int>(m.level, 4);
    int len = lengths[printing() ? 1 : 0][level];
    if (len > 0) {
      dc->MoveTo(x, time_tick_rect.top);
      dc->LineTo(x, time_tick_rect.top + len);
    }
  }
  dc->SelectPen(old);
}

const char* CBasicChart::TimeSpanText() {
  chart_rec* ch = chart();
  if (!ch || !ch->bars || ch->header.bar_count < 1 || !settings || settings->m_nNum < 1) {
    snprintf(span_text, sizeof span_text, "No Data");
    return span_text;
  }
  int unit = ch->header.time_unit;
  char unit_text[32];
  if (is_tick_unit(unit))
    snprintf(unit_text, sizeof unit_text, "%d Tick", -unit - 100);
  else if (is_volume_unit(unit))
    snprintf(unit_text, sizeof unit_text, "%d Vol", (int)(-(int64_t)unit - 1000000000));
  else if (unit >= 1 && unit <= 389)
    snprintf(unit_text, sizeof unit_text, "%d Min", unit);
  else if (is_seconds_unit(unit))
    snprintf(unit_text, sizeof unit_text, "%d Sec", -unit);
  else {
    const char* t = "Daily";
    switch (unit) {
      case 392:
        t = "2 Days";
        break;
      case 393:
        t = "3 Days";
        break;
      case 394:
        t = "4 Days";
        break;
      case 395:
        t = "5 Days";
        break;
      case 400:
        t = "10 Days";
        break;
      case 410:
        t = "20 Days";
        break;
      case 2730:
        t = "Weekly";
        break;
      case 11700:
        t = "Monthly";
        break;
      default:
        break;
    }
    snprintf(unit_text, sizeof unit_text, "%s", t);
  }
  char symbols[256];
  SymbolsText(symbols, sizeof symbols);
  int first = std::clamp(settings->m_nFirst, 0, ch->header.bar_count - 1);
  int last = std::clamp(settings->m_nLast, first, ch->header.bar_count - 1);
  int32_t t1 = ch->bars[first].time, t2 = ch->bars[last].time;
  char d1[32], d2[48];
  format_date(seconds_to_date(t1), d1, g_date_style);
  if (unit < TU_DAILY && kv_day_number(t1) == kv_day_number(t2)) {
    char h1[16], h2[16];
    format_hhmm(kv_time_of_day(t1), h1);
    format_hhmm(kv_time_of_day(t2), h2);
    snprintf(d2, sizeof d2, "%s to %s", h1, h2);
  } else {
    format_date(seconds_to_date(t2), d2, g_date_style);
  }
  snprintf(span_text, sizeof span_text, "%s      %s     %s-%s", unit_text, symbols, d1, d2);
  return span_text;
}

void CBasicChart::DrawTitle() {
  if (!header_on || !(g_pref_flags & 0x2) || (settings->flags & CS_FLAG_NO_TITLE) ||
      title_rect.IsRectEmpty())
    return;
  const char* text = TimeSpanText();
  dc->SetTextColor(settings->text_color);
  dc->SetBkColor(settings->bg_color);
  dc->SetBkMode(OPAQUE);
  if (!printing()) dc->SelectClipRect(title_rect);
  int w = dc->GetTextExtent(text).cx;
  dc->TextOut(title_rect.left + (title_rect.Width() - w) / 2, title_rect.top, text);
  clip_to_pane(this);
}

void CBasicChart::DrawEventsFrame() {
  if (kind() != WINDOW_KIND_CHART || !(settings->display_flags & CS_SHOW_EVENTS) ||
      events_rect.IsRectEmpty())
    return;
  const KvRect& r = events_rect;
  KvPen old = dc->SelectPen(KvPen(PS_SOLID, 1, settings->axis_color));
  dc->MoveTo(r.left, r.bottom);
  dc->LineTo(r.left, r.top);
  dc->LineTo(r.right - 1, r.top);
  dc->LineTo(r.right - 1, r.bottom);
  dc->SelectPen(old);
  dc->FillSolidRect(KvRect(r.left + 1, r.top + 1, r.right - 1, r.bottom),
                    settings->events_bg_color);
}

void CBasicChart::DrawEventMarks() {
  chart_rec* ch = chart();
  int (*count_bar_events)(chart_rec*, int) = g_chart_hooks.count_bar_events;
  if (!ch || !count_bar_events || kind() != WINDOW_KIND_CHART ||
      !(settings->display_flags & CS_SHOW_EVENTS) || events_rect.IsRectEmpty())
    return;
  if (!printing()) dc->SelectClipRect(events_rect);
  int pitch = candle_pitch(candle_def);
  int lg = candle_left_gap(candle_def), rg = candle_right_gap(candle_def);
  const KvRect& r = events_rect;
  auto block = [&](int k, COLORREF c) {
    int left = r.left + pitch * k, right = r.left + pitch * (k + 1);
    dc->FillSolidRect(KvRect(left + lg, r.top + 1, right - rg + 1, r.bottom), c);
  };
  for (int k = 0; k < settings->m_nNum; k++) {
    int i = settings->m_nFirst + k;
    if (count_bar_events(ch, i) > 0) block(k, settings->event_mark_color);
    if (k == settings->m_nNum - 1 && count_bar_events(ch, i + 1) > 0) block(k + 1, 0x0000FF);
  }
  clip_to_pane(this);
}

void CBasicChart::DrawFrame(int content, const axis_scale* first, const axis_scale* second) {
  if (!dc || !settings) return;
  KvFont old = dc->SelectFont(KvFont::StockVariable());
  if (!printing()) dc->SelectClipRect(KvRect(0, pane_rect.top, pane_rect.right, pane_rect.bottom));
  if (header_on) DrawTitle();
  if (time_axis_on) {
    DrawTickStripColours();
    DrawTimeAxis();
    DrawEventsFrame();
  }
  // The list of the price-label side is hidden by one flag, the other
  // side's by the other.
  bool first_hidden =
      settings->flags & (g_price_lab_left ? CS_FLAG_HIDE_PRICE_SIDE : CS_FLAG_HIDE_OTHER_SIDE);
  bool second_hidden =
      settings->flags & (g_price_lab_left ? CS_FLAG_HIDE_OTHER_SIDE : CS_FLAG_HIDE_PRICE_SIDE);
  bool percent_price = content == CONTENT_PRICE && settings->percent == 1;
  if (first) {
    if (!first_hidden) {
      DrawLabels(0, first);
      DrawLabelTicks(0, first);
      if (!second && label_mode == 2) {
        right_attr = left_attr;
        if (!percent_price) DrawLabels(1, first);
        DrawLabelTicks(1, first);
      }
    }
    if (g_price_lab_left || first_hidden) DrawGridLines(first, content);
  }
  if (second) {
    if (!second_hidden) {
      DrawLabels(1, second);
      DrawLabelTicks(1, second);
      if (!first && label_mode == 2) {
        left_attr = right_attr;
        if (!percent_price) DrawLabels(0, second);
        DrawLabelTicks(0, second);
      }
    }
    if (!g_price_lab_left || !first) DrawGridLines(second, content);
  }
  if (time_axis_on) DrawEventMarks();
  if (!printing()) dc->SelectClipNone();
  dc->SelectFont(old);
}
