// The chart pane's object, its layout and its scaling.
#include "chart/basicchart.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "chart/axisscale.h"
#include "data/axis_scale.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/timemarks.h"
#include "platform/locks.h"
#include "platform/qt/canvas.h"
#include "settings/settings.h"
#include "studies/study.h"

pvd_layout g_pvd;

day_period g_day_period_colors[14] = {
    {"09:30", "09:50", 0x8181FE, 0, 0}, {"09:50", "10:10", 0x6CF1F9, 0, 0},
    {"10:10", "10:25", 0xBEFFB3, 0, 0}, {"10:25", "10:30", 0x6CF1F9, 0, 0},
    {"10:30", "11:15", 0xBEFFB3, 0, 0}, {"13:25", "13:35", 0x6CF1F9, 0, 0},
    {"11:15", "14:15", 0x8181FE, 0, 0}, {"14:15", "15:00", 0xBEFFB3, 0, 0},
    {"15:00", "15:10", 0x6CF1F9, 0, 0}, {"15:10", "15:25", 0xBEFFB3, 0, 0},
    {"15:25", "15:30", 0x6CF1F9, 0, 0}, {"15:30", "15:40", 0xBEFFB3, 0, 0},
    {"15:40", "15:45", 0x6CF1F9, 0, 0}, {"15:45", "16:01", 0xBEFFB3, 0, 0},
};

namespace {

inline bool tracing() {
  return (g_option_flags & OPT_TRACE_CHART) != 0;
}

void trace_rect(const char* name, const KvRect& r) {
  if (tracing()) debug_trace("%s: (%d,%d)-(%d,%d)\n", name, r.left, r.top, r.right, r.bottom);
}

bool g_periods_ready = false;

void periods_to_seconds() {
  g_periods_ready = true;
  for (day_period& p : g_day_period_colors) {
    p.start_sec = parse_time_of_day(p.start);
    p.end_sec = parse_time_of_day(p.end);
  }
}

}  // namespace

uint32_t candle_def_for_size(int index, uint32_t custom) {
  const uint32_t medium = 0x04304107;
  uint32_t w;
  switch (index) {
    case 0:
      w = 0x04100003;
      break;
    case 2:
      w = 0x0470820F;
      break;
    case 3:
      w = custom;
      break;
    case 4:
      w = 0x0CE0C31D;
      break;
    case 5:
      w = 0x0C00C300;
      break;
    default:
      w = medium;
      break;
  }
  // A pitch of 0, or gaps that leave no bar, would divide by zero or draw
  // nothing: such a word falls back to the medium bars.
  if (candle_pitch(w) == 0 || candle_left_gap(w) + candle_right_gap(w) >= candle_pitch(w))
    w = medium;
  return w;
}

int density_for_pitch(int pitch) {
  if (pitch < 7) return 0;
  if (pitch < 15) return 1;
  return 2;
}

long day_period_color(int sec) {
  if (!g_periods_ready) periods_to_seconds();
  for (const day_period& p : g_day_period_colors)
    if (p.start_sec <= sec && sec < p.end_sec) return (long)p.color;
  return -1;
}

CBasicChart::CBasicChart() {
  memset(&g_pvd, 0, sizeof g_pvd);
  periods_to_seconds();
  Reset();
}

int CBasicChart::kind() const {
  return settings ? settings->window_kind : 0;
}

void CBasicChart::Reset() {
  title_rect = quotes_rect = alerts_rect = grtrade_stat_rect = grtrade_rect = bidask_rect =
      KvRect();
  label_rect[0] = label_rect[1] = label_tick_rect[0] = label_tick_rect[1] = KvRect();
  time_rect = time_tick_rect = events_rect = data_rect = KvRect();
  title_ext = quotes_ext = label_ext[0] = label_ext[1] = time_ext = KvSize();
  label_text_height[0] = label_text_height[1] = 13;
  left_attr = right_attr = 0;  // the default template's text colour
}

void CBasicChart::Init(int header, int time_axis, const KvRect& pane, KvDC* d, ChartSettings* s,
                       KvCanvasView* own, chart_rec** ref, int* ocount, chart_rec** olist, int mode,
                       int value, hrace_list* hr, pvd_record* pv) {
  kv_lock guard(g_chart_lock);
  header_on = header;
  time_axis_on = time_axis;
  pane_rect = work_rect = pane;
  dc = d;
  settings = s;
  owner = own;
  label_mode = mode;
  layout_value = value;
  left_on = right_on = 0;
  if (mode == 0 || (s && (s->flags & CS_FLAG_HIDE_LABELS) == CS_FLAG_HIDE_LABELS)) {
    label_mode = 0;
  } else if (mode == 2) {
    left_on = right_on = 1;
  } else if (mode == 1) {
    (g_price_lab_left ? left_on : right_on) = 1;
  }
  chart_ref = nullptr;
  overlay_count = nullptr;
  overlays = nullptr;
  hrace = nullptr;
  pvd = nullptr;
  switch (kind()) {
    case WINDOW_KIND_CHART:
      chart_ref = ref;
      overlay_count = ocount;
      overlays = olist;
      bar_count = chart() ? chart()->header.bar_count : 0;
      break;
    case WINDOW_KIND_HRACE:
      hrace = hr;
      bar_count = hr ? hr->entry_count : 0;
      break;
    case WINDOW_KIND_PVD:
      pvd = pv;
      bar_count = 0;
      break;
    default:
      return;
  }
  candle_def = candle_def_for_size(s->candle_size, g_custom_candle);
  // The axis marks follow the bar size; re-marking every bar costs, so
  // only a change of density does it.
  if (kind() == WINDOW_KIND_CHART && time_axis_on && chart()) {
    int density = density_for_pitch(candle_pitch(candle_def));
    if (chart()->axis_density != density) set_time_axis_density(chart(), density);
  }
  Reset();
}

const char* CBasicChart::LabelWidthText(int* chars) const {
  const char* t = "9999.99";
  if (settings && kind() == WINDOW_KIND_CHART && g_data_format)
    t = "999999999";
  else if (settings && kind() == WINDOW_KIND_HRACE)
    t = "99999";
  if (chars) *chars = (int)strlen(t);
  return t;
}

namespace {

// Takes a strip of height h from the top or bottom of work.
KvRect take_top(KvRect& work, int h) {
  KvRect r(work.left, work.top, work.right, std::min(work.top + h, work.bottom));
  work.top = r.bottom;
  return r;
}

KvRect take_bottom(KvRect& work, int h) {
  KvRect r(work.left, std::max(work.bottom - h, work.top), work.right, work.bottom);
  work.bottom = r.top;
  return r;
}

}  // namespace

void CBasicChart::CalcHeaders() {
  kv_lock guard(g_chart_lock);
  if (tracing()) debug_trace("CBasicChart::CalcHeaders()\n");
  if (!dc || !settings) return;
  KvFont old = dc->SelectFont(kind() == WINDOW_KIND_HRACE ? KvFont(QStringLiteral("Arial"), 8)
                                                          : KvFont::StockVariable());
  const int h = dc->GetTextExtent("0").cy;
  const uint32_t disp = settings->display_flags;
  const int k = kind();
  const int strip = printing() ? 25 : 10;

  if (g_pref_flags & 0x1) {
    alerts_rect = KvRect(work_rect.right - 15, work_rect.top, work_rect.right, work_rect.bottom);
    trace_rect("Alerts", alerts_rect);
  }
  if (header_on) {
    if ((g_pref_flags & 0x2) && !(settings->flags & CS_FLAG_NO_TITLE)) {
      title_rect = take_top(work_rect, k == WINDOW_KIND_HRACE ? 4 * h - 8 : (int)(1.25 * h));
      trace_rect("CalcTitleRect", title_rect);
    }
    if (k == WINDOW_KIND_CHART && (disp & CS_SHOW_GRTRADE)) {
      grtrade_stat_rect = take_top(work_rect, (int)(1.25 * h));
      trace_rect("CalcGrTradeStatRect", grtrade_stat_rect);
    }
    if (k == WINDOW_KIND_CHART && g_cont_update) {
      quotes_rect = take_top(work_rect, (int)(1.25 * h));
      trace_rect("CalcQuotesRect", quotes_rect);
    }
  }
  if (time_axis_on && (k == WINDOW_KIND_CHART || k == WINDOW_KIND_PVD)) {
    time_ext = dc->GetTextExtent("May");
    time_rect = take_bottom(work_rect, (int)(1.25 * time_ext.cy));
    trace_rect("Time", time_rect);
    time_tick_rect = take_bottom(work_rect, strip);
    trace_rect("TimeTick", time_tick_rect);
    if (k == WINDOW_KIND_CHART && (disp & CS_SHOW_EVENTS)) {
      events_rect = take_bottom(work_rect, strip);
      trace_rect("Events", events_rect);
    }
  }
  if ((settings->flags & CS_FLAG_HIDE_LABELS) != CS_FLAG_HIDE_LABELS) {
    if (left_on) {
      CalcLabelRect(0);
      CalcLabelTickRect(0);
    }
    if (right_on) {
      CalcLabelRect(1);
      CalcLabelTickRect(1);
    }
    if (!events_rect.IsRectNull()) {
      if (!label_tick_rect[0].IsRectNull()) events_rect.left = label_tick_rect[0].right - 1;
      if (!label_tick_rect[1].IsRectNull()) events_rect.right = label_tick_rect[1].left + 1;
    }
  }
  if (work_rect.right < work_rect.left) work_rect.left = work_rect.right;
  bool bidask_room = true;
  if (k == WINDOW_KIND_CHART && (disp & CS_SHOW_GRTRADE)) {
    if (work_rect.Width() >= 46) {
      grtrade_rect = KvRect(work_rect.right - 45, work_rect.top, work_rect.right, work_rect.bottom);
      work_rect.right -= 45;
      trace_rect("GrTrade", grtrade_rect);
    } else {
      bidask_room = false;
    }
  }
  if (bidask_room && (k == WINDOW_KIND_CHART || k == WINDOW_KIND_PVD) && (disp & CS_SHOW_BIDASK)) {
    bidask_rect = KvRect(work_rect.right - 5, work_rect.top, work_rect.right, work_rect.bottom);
    work_rect.right -= 5;
    trace_rect("CalcBidAskBar", bidask_rect);
  }
  if (!time_rect.IsRectNull()) time_rect.left = work_rect.left;
  if (!time_tick_rect.IsRectNull()) time_tick_rect.left = work_rect.left;
  CalcDataRect();
  dc->SelectFont(old);
}

void CBasicChart::CalcLabelRect(int side) {
  if (tracing()) debug_trace("CBasicChart::CalcLabelRect(%d)\n", side);
  KvRect r = work_rect;
  label_ext[side] = dc->GetTextExtent(LabelWidthText(nullptr));
  label_text_height[side] = label_ext[side].cy;
  int w = label_ext[side].cx;
  if (side == 0) {
    r.right = std::min(r.left + w, r.right);
    work_rect.left = r.right;
  } else {
    r.left = std::max(r.right - w, r.left);
    work_rect.right = r.left;
  }
  label_rect[side] = r;
  trace_rect(side == 0 ? "Left Label" : "Right Label", r);
}

void CBasicChart::CalcLabelTickRect(int side) {
  if (tracing()) debug_trace("CBasicChart::CalcLabelTickRect(%d)\n", side);
  if (kind() == WINDOW_KIND_HRACE) return;
  int w = (g_pref_flags & 0x1) ? 15 : printing() ? 25 : 10;
  KvRect r = work_rect;
  if (side == 0) {
    r.right = std::min(r.left + w, r.right);
    work_rect.left = r.right;
  } else {
    r.left = std::max(r.right - w, r.left);
    work_rect.right = r.left;
  }
  label_tick_rect[side] = r;
  trace_rect(side == 0 ? "Left LabelTick" : "Right LabelTick", r);
}

void CBasicChart::CalcDataRect() {
  kv_lock guard(g_chart_lock);
  if (tracing()) debug_trace("CBasicChart::CalcDataRect(# labels=%d)\n", label_mode);
  if (data_rect.IsRectEmpty()) data_rect = work_rect;
  trace_rect("CalcDataRect", data_rect);
  if (!settings) return;
  KvScrollInfo si;
  if (owner && kind() != WINDOW_KIND_HRACE) si = owner->GetScrollInfo();
  if (kind() == WINDOW_KIND_CHART) bar_count = chart() ? chart()->header.bar_count : 0;
  int pitch = candle_pitch(candle_def);
  int visible = pitch > 0 ? data_rect.Width() / pitch - 1 : 0;
  int diff = 0;
  ChartSettings* s = settings;
  if (visible <= 0) {
    s->m_nNum = 0;
    s->m_nFirst = s->m_nLast = -1;
  } else if (visible >= bar_count) {
    s->m_nNum = bar_count;
    s->m_nFirst = 0;
    s->m_nLast = bar_count - 1;
  } else {
    if (kind() == WINDOW_KIND_CHART) {
      diff = si.page - visible;
      if (diff > 0 && owner) {
        KvScrollInfo shrunk = si;
        shrunk.page = visible;
        owner->SetScrollInfo(shrunk, false);
        if (tracing()) debug_trace("CBasicChart::CalcDataRect() nDiff=%d\n", diff);
      }
    }
    // At the end of the scroll range the newest bar is the last shown.
    if (si.pos + si.page >= si.max + 1)
      s->m_nFirst = bar_count - visible;
    else
      s->m_nFirst = std::max(si.pos, 0);
    s->m_nLast = s->m_nFirst + visible - 1;
    s->m_nNum = visible;
    if (s->m_nLast > bar_count - 1) {
      s->m_nLast = bar_count - 1;
      s->m_nNum = s->m_nLast - s->m_nFirst + 1;
      if (s->m_nFirst < 0 || s->m_nFirst > s->m_nLast) {
        s->m_nFirst = 0;
        s->m_nLast = bar_count - 1;
        s->m_nNum = bar_count;
      }
    }
  }
  scroll_pos = si.pos;
  if (tracing())
    debug_trace(
        "CalcDataRect(numpts=%d): ScrollPos=%d, m_nFirst=%d, m_nLast=%d, m_nNum=%d, diff=%d\n",
        bar_count, si.pos, s->m_nFirst, s->m_nLast, s->m_nNum, diff);
}

namespace {

// The bar where the day count back from the last bar begins.
int bar_days_back(const chart_rec* c, int days) {
  int n = c->header.bar_count;
  int i = n - 1;
  int day = seconds_to_date(c->bars[i].time);
  while (i > 0) {
    int d = seconds_to_date(c->bars[i - 1].time);
    if (d != day) {
      if (--days <= 0) break;
      day = d;
    }
    i--;
  }
  return i;
}

}  // namespace

int CBasicChart::CalcVerticalScale(int content, int side) {
  kv_lock guard(g_chart_lock);
  if (tracing()) debug_trace("CalcVerticalScale(%d,%d)\n", content, side);
  if (!settings) return 0;
  side = side ? 1 : 0;
  int c = label_text_height[side];
  int H = data_rect.Height() - c;
  if (kind() == WINDOW_KIND_HRACE) {
    if (!hrace) return 0;
    int selector = content == CONTENT_PRICE ? 0 : content == CONTENT_VOLUME ? 2 : 1;
    int slot = content == CONTENT_PRICE ? 0 : content == CONTENT_VOLUME ? 2 : 1;
    axis_scale* s = calc_group_scale(hrace->view_bit, selector, H, c);
    hrace->scales[slot] = s;
    scale_dirty = 0;
    return s != nullptr;
  }
  chart_rec* ch = chart();
  if (kind() != WINDOW_KIND_CHART || !ch || !ch->bars || settings->m_nNum < 1) return 0;
  int first = settings->m_nFirst, last = settings->m_nLast;
  int scale_flags = (settings->flags & CS_FLAG_SCALE_PRICE_ONLY) ? SCALE_NO_STUDIES : 0;
  int n_over = overlay_count ? *overlay_count : 0;
  if (content == CONTENT_PRICE && settings->percent == 1) {
    int mode = (settings->display_flags & CS_PERCENT_BASE_MASK) >> CS_PERCENT_BASE_SHIFT;
    int n = ch->header.bar_count;
    int base_bar = first;
    double base = ch->bars[first].open;
    if (mode == 0) {
      base_bar = 0;
      base = ch->bars[0].open;
    } else if (mode == 2 || mode == 3) {
      update_day_stats(ch, 0);
      int day_first = std::clamp(ch->day_stats.first_index, 0, n - 1);
      if (mode == 2 && day_first > 0) {
        base_bar = day_first - 1;
        base = ch->bars[base_bar].close;
      } else {
        base_bar = day_first;
        base = ch->bars[day_first].open;
      }
    } else if (mode == 5) {
      if (settings->use_days_back) {
        base_bar = bar_days_back(ch, settings->days_back);
      } else {
        base_bar = n - 1;
        for (int i = 0; i < n; i++)
          if (ch->bars[i].time > settings->percent_base_time) {
            base_bar = i;
            break;
          }
      }
      base = ch->bars[base_bar].open;
    } else if (mode == 4 && selected_time) {
      // Selected Candle: the bar picked with the mouse, or the first one
      // after its time when that bar is gone; none picked: the first
      // visible bar.
      base_bar = n - 1;
      for (int i = 0; i < n; i++)
        if (ch->bars[i].time >= selected_time) {
          base_bar = i;
          break;
        }
      base = ch->bars[base_bar].open;
    }
    ch->percent_base = (float)base;
    int r = scale_percent_axis(ch, overlays, n_over, first, last, H, c, scale_flags, base_bar);
    scale_dirty = 0;
    return r;
  }
  if (content == CONTENT_PRICE) {
    int r = scale_price_axis(ch, first, last, H, c, scale_flags, layout_value, 0);
    if (r) scale_dirty = 0;
    for (int j = 0; j < n_over; j++) {
      chart_rec* o = overlays[j];
      if (!o || !o->bars || o->header.bar_count < 1) continue;
      int of = std::max(match_bar_index(ch, first, o), 0);
      int ol = std::max(match_bar_index(ch, last, o), 0);
      if (of > ol) std::swap(of, ol);
      scale_price_axis(o, of, ol, H, c, scale_flags, layout_value, 0);
    }
    return r;
  }
  if (content == CONTENT_VOLUME) return scale_volume_axis(ch, first, last, H, c);
  study_first = study_second = nullptr;
  int found =
      calc_study_scale(ch, content_override, first, last, H, c, &study_first, &study_second);
  study_scale_count = std::min(found, 2);
  return found;
}

KvRect CBasicChart::getChartDataRect(int label_count) {
  if (!data_rect.IsRectEmpty()) {
    if (tracing())
      debug_trace("CBasicChart::getChartDataRect(): act. width=%d\n", data_rect.Width());
    return data_rect;
  }
  static KvRect estimate;
  estimate = owner ? owner->GetClientRect() : pane_rect;
  QImage scratch(1, 1, QImage::Format_RGB32);
  KvDC measure(&scratch);
  KvDC* m = dc ? dc : &measure;
  KvFont old = m->SelectFont(KvFont::StockVariable());
  int w = m->GetTextExtent(LabelWidthText(nullptr)).cx + 10 + ((g_pref_flags & 0x1) ? 5 : 0);
  m->SelectFont(old);
  estimate.right -= std::min(label_count, 2) * w;
  if (settings && (settings->display_flags & CS_SHOW_BIDASK)) estimate.right -= 5;
  if (settings && (settings->display_flags & CS_SHOW_GRTRADE)) estimate.right -= 45;
  if (tracing()) debug_trace("CBasicChart::getChartDataRect(): est. width=%d\n", estimate.Width());
  return estimate;
}

int CBasicChart::BarAtPoint(int x, int y) const {
  int pitch = candle_pitch(candle_def);
  if (!settings || pitch <= 0 || x < data_rect.left) return -1;
  int offset = (x - data_rect.left) / pitch;
  int bar = settings->m_nFirst + offset;
  if (settings->m_nFirst < 0 || bar >= bar_count || bar > settings->m_nLast) return -1;
  if (y < pane_rect.top || y >= pane_rect.bottom) return -1;
  return offset;
}

int CBasicChart::BarAtPoint(int x, int y, char* symbol, int size) const {
  int offset = BarAtPoint(x, y);
  chart_rec* ch = chart();
  snprintf(symbol, size, "%.31s", offset >= 0 && ch ? ch->header.symbol : "?");
  return offset;
}

int32_t CBasicChart::TimeAtOffset(int offset) const {
  chart_rec* ch = chart();
  if (!ch || !settings || offset < 0) return 0;
  int bar = settings->m_nFirst + offset;
  if (bar < 0 || bar >= ch->header.bar_count) return 0;
  return ch->bars[bar].time;
}

double CBasicChart::PriceAtPoint(int y, const axis_scale* scale) const {
  y = std::clamp(y, data_rect.top, data_rect.bottom);
  if (!scale || !(scale->pixels_per_unit > 0)) return 0;
  return (data_rect.bottom - y) / scale->pixels_per_unit + scale->minimum;
}

int CBasicChart::PVDRowAtPoint(int y) const {
  int rh = candle_pitch(g_pvd.row_def);
  int above = data_rect.bottom - y;
  for (int i = 0; i < g_pvd.row_count; i++)
    if (above >= g_pvd.rows[i].offset && above < g_pvd.rows[i].offset + std::max(rh, 1))
      return g_pvd.rows[i].volume;
  return -1;
}

int CBasicChart::FirstBarAfter(int32_t time) const {
  chart_rec* ch = chart();
  if (!ch || !ch->bars) return 0;
  int lo = 0, hi = ch->header.bar_count;
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (ch->bars[mid].time <= time)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo < ch->header.bar_count ? lo : 0;
}

void CBasicChart::SymbolsText(char* out, int size) const {
  chart_rec* ch = chart();
  if (!ch) {
    snprintf(out, size, "?");
    return;
  }
  int n = snprintf(out, size, "%.31s", ch->header.symbol);
  int over = overlay_count ? *overlay_count : 0;
  for (int j = 0; j < over && n < size; j++)
    if (overlays[j]) n += snprintf(out + n, size - n, "+%.31s", overlays[j]->header.symbol);
}

void CBasicChart::CalcPVDLayout() {
  memset(g_pvd.rows, 0, sizeof g_pvd.rows);
  memset(g_pvd.axis, 0, sizeof g_pvd.axis);
  g_pvd.row_count = 0;
  g_pvd.axis_count = 0;
  if (!pvd || !dc) return;
  int top = -1;
  for (int i = PVD_ROWS - 1; i >= 0; i--)
    if (pvd->volume[i] > 0) {
      top = i;
      break;
    }
  if (top < 0) return;
  int count = top + 1;
  g_pvd.row_count = count;
  int rh = dc->GetTextExtent("0").cy;
  g_pvd.row_def = make_candle_def(rh, 1, 1, rh / 2, 0);
  int largest = 0;
  for (int i = 0; i < count; i++) {
    g_pvd.rows[i].offset = i * rh;
    g_pvd.rows[i].price = pvd->base_price + i * pvd->price_step;
    g_pvd.rows[i].volume = pvd->volume[i];
    g_pvd.rows[i].flags = 3;
    largest = std::max(largest, pvd->volume[i]);
  }
  int W = data_rect.Width();
  double usable = W - 0.02 * W;
  g_pvd.volume_per_pixel = usable > 0 ? largest / usable : 0;
  int H = data_rect.Height();
  if (H <= rh * count) {
    rh = H / count;
    for (int i = 0; i < count; i++) g_pvd.rows[i].offset = i * rh;
    int every = rh < 2 ? 16 : rh < 3 ? 8 : rh < 5 ? 4 : rh < 10 ? 2 : 1;
    for (int i = 0; i < count; i++)
      if (i % every) g_pvd.rows[i].flags &= ~2u;
    int rgap = rh <= 1 ? 0 : ((rh / 2) * rh != rh ? 1 : 0);
    g_pvd.row_def = make_candle_def(rh, rh <= 1 ? 0 : 1, rgap, rh / 2, 0);
  }
  static const char* const templates[] = {"x100x", "x1000x", "x10000x", "x100Kx",
                                          "x1Mx",  "x10Mx",  "x100Mx",  "x1000Mx"};
  static const long long limits[] = {1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
  static const long long pads[] = {99, 999, 9999, 99999, 999999, 9999999, 99999999, 999999999};
  int t = 7;
  for (int i = 0; i < 7; i++)
    if (largest < limits[i]) {
      t = i;
      break;
    }
  int tw = std::max(dc->GetTextExtent(templates[t]).cx, 1);
  // At least one label, and no more than the axis table holds.
  int labels = std::clamp(W / tw, 1, (int)PVD_VOL_AXIS);
  long long r = largest + pads[t];
  r = r < 1000 ? r / 100 * 100 : r / 1000 * 1000;
  long long step = std::max(r / labels, 1LL);
  int n = 0;
  for (long long v = step; n < labels && (v <= largest || n == 0); v += step, n++) {
    g_pvd.axis[n].volume = (int32_t)v;
    g_pvd.axis[n].x = g_pvd.volume_per_pixel > 0 ? (int32_t)(v / g_pvd.volume_per_pixel) : 0;
    if (n < count) g_pvd.rows[n].flags |= 4;
  }
  g_pvd.axis_count = n;
}
