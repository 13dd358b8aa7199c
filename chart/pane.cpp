// The pane container: pane and splitter layout, scale binding, drawing and
// point conversions.
#include "chart/pane.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "settings/settings.h"
#include "studies/studyapi.h"

namespace {

KvRect get_rect(const int32_t r[4]) {
  return KvRect(r[0], r[1], r[2], r[3]);
}
void put_rect(int32_t r[4], const KvRect& k) {
  r[0] = k.left, r[1] = k.top, r[2] = k.right, r[3] = k.bottom;
}

// The order in which a pane's contents are drawn.
const int draw_order[4] = {CONTENT_PRICE, CONTENT_VOLUME, 0x20, 0x04 | 0x08};

bool usable_split(float v) {
  return std::isfinite(v) && v > 0 && v < 1;
}

}  // namespace

void CPane::SetChartData(chart_rec** chart, int* count, chart_rec** list) {
  chart_ref = chart;
  overlay_count = count;
  overlays = list;
}

void CPane::SetPVDData(pvd_record* record) {
  pvd_data = record;
  panes[0].set_pvd_data(record);
}

void CPane::AttachWindow(ChartSettings* s, uint32_t* flags, KvCanvasView* own) {
  settings = s;
  view_flags = flags;
  owner = own;
  for (CBasicChart& p : panes) {
    p.settings = s;
    p.view_flags = flags;
    p.owner = own;
  }
}

// ---------------------------------------------------------------------------
// Layout.

void CPane::SaveSplits(int count) {
  if (count < 2 || count > 4) return;
  for (int s = 0; s < count - 1; s++) settings->saved_splits[s][count - 2] = settings->splits[s];
}

void CPane::RestoreSplits(int count) {
  if (count < 2 || count > 4) return;
  for (int s = 0; s < count - 1; s++) settings->splits[s] = settings->saved_splits[s][count - 2];
}

void CPane::CalcPaneRects(const KvRect& c, int mode, int value) {
  if (!settings) return;
  ChartSettings* s = settings;
  int old = s->pane_count, n = 0;
  for (int i = 0; i < 4; i++) n += s->pane_shown[i] != 0;
  s->pane_count = n;
  if (n != old) {
    SaveSplits(old);
    RestoreSplits(n);
  }
  for (auto& r : s->pane_rects) put_rect(r, KvRect());
  for (auto& r : s->splitter_rects) put_rect(r, KvRect());
  float* sp = s->splits;
  auto even = [&] {
    for (int k = 0; k < n - 1; k++) sp[k] = float(k + 1) / float(n);
  };
  // Zero splits take the splits saved for fewer panes.
  if (n == 2 && sp[0] == 0) {
    sp[0] = 0.5f;
  } else if (n == 3 && sp[0] == 0 && sp[1] == 0) {
    float saved = s->saved_splits[0][0];
    if (usable_split(saved)) {
      sp[1] = saved;
      sp[0] = sp[1] - sp[1] * 0.33333334f;
    }
  } else if (n == 4 && sp[0] == 0 && sp[1] == 0 && sp[2] == 0) {
    float a = s->saved_splits[1][1], b = s->saved_splits[0][1];
    if (usable_split(a) && usable_split(b)) {
      sp[2] = a;
      sp[1] = b;
      sp[0] = sp[1] - sp[1] * 0.25f;
    }
  }
  // Splits from a file (or none ever saved) may be anything: each must
  // lie in (0, 1) and above the one before it, else the even split.
  bool ok = true;
  for (int k = 0; k < n - 1; k++)
    if (!usable_split(sp[k]) || (k > 0 && !(sp[k] > sp[k - 1]))) ok = false;
  if (!ok) even();
  int H = c.bottom - c.top;
  int y[3] = {};
  auto place = [&] {
    for (int k = 0; k < n - 1; k++) y[k] = (int)(H * sp[k]);
    for (int k = 0; k <= n - 1; k++) {
      int top = k == 0 ? 0 : y[k - 1] + 3;
      int bottom = k == n - 1 ? H : y[k] - 3;
      if (bottom <= top) return false;
    }
    return true;
  };
  // Every pane keeps a positive height when the client allows it.
  if (!place()) {
    even();
    place();
  }
  int top = c.top >= 1 ? c.top : 0;
  for (int k = 0; k < n; k++) {
    KvRect r = c;
    if (k > 0) r.top = top + y[k - 1] + 3;
    if (k < n - 1) r.bottom = top + y[k] - 3;
    // A client lower than the splitters leaves empty panes, never upside-down ones.
    r.bottom = std::max(r.bottom, r.top);
    put_rect(s->pane_rects[k], r);
    if (k < n - 1)
      put_rect(s->splitter_rects[k], KvRect(c.left, top + y[k] - 3, c.right, top + y[k] + 3));
  }
  label_mode = mode;
  layout_value = value;
  put_rect(s->client_rect, c);
  if (g_option_flags & OPT_TRACE_CHART) {
    static const char* names[] = {"Pane1", "Splitter12", "Pane2", "Splitter23",
                                  "Pane3", "Splitter34", "Pane4"};
    for (int k = 0; k < 2 * n - 1; k++) {
      const int32_t* r = k % 2 ? s->splitter_rects[k / 2] : s->pane_rects[k / 2];
      debug_trace("%s: left=%d, top=%d, right=%d, bottom=%d\n", names[k], r[0], r[1], r[2], r[3]);
    }
  }
}

int CPane::FindStudyOfGroup(int group) const {
  if (settings->window_kind != WINDOW_KIND_CHART) return 1;
  chart_rec* ch = chart();
  if (!ch) return 0;
  for (StudyDef* s = ch->studies; s; s = s->next)
    if (!(s->state & 0x1) && (s->pane_group & (uint32_t)group)) return 1;
  return 0;
}

int CPane::InitBC(const KvRect& rect, int slot, int header_on, int time_axis_on) {
  if (slot < 0 || slot > 3 || !settings->pane_shown[slot]) return 0;
  CBasicChart& p = panes[slot];
  p.view_flags = view_flags;
  switch (settings->window_kind) {
    case WINDOW_KIND_CHART: {
      int content = settings->pane_content[slot];
      p.set_content_override((content & CONTENT_STUDIES) ? content : 0);
      p.Init(header_on, time_axis_on, rect, dc, settings, owner, chart_ref, overlay_count, overlays,
             label_mode, layout_value);
      p.selected_time = selected_time;
      break;
    }
    case WINDOW_KIND_HRACE:
      p.Init(header_on, time_axis_on, rect, dc, settings, owner, nullptr, nullptr, nullptr, 1, 0,
             hrace);
      break;
    case WINDOW_KIND_PVD:
      p.Init(header_on, time_axis_on, rect, dc, settings, owner, nullptr, nullptr, nullptr, 1, 0,
             nullptr, pvd_data);
      break;
    default:
      return 0;
  }
  p.own_study_scales.clear();
  return 1;
}

void CPane::AssignScale(int slot, int content, int side, int second_side) {
  CBasicChart& p = panes[slot];
  COLORREF c = second_side ? settings->text_color2 : settings->text_color;
  (side ? p.right_attr : p.left_attr) = c;
  p.CalcVerticalScale(content, side);
  if (settings->window_kind != WINDOW_KIND_CHART) return;
  p.KeepScales();
  sources[slot][side] = content == CONTENT_PRICE ? &p.own_price : &p.own_volume;
}

void CPane::AssignStudyScale(int slot, int group, int pref) {
  CBasicChart& p = panes[slot];
  int other = 1 - pref;
  if (sources[slot][0] && sources[slot][1]) return;
  int found = p.CalcVerticalScale(group, pref);
  if (settings->window_kind != WINDOW_KIND_CHART) return;
  p.KeepScales();
  if (found < 1 || !p.study_first) return;
  auto bind = [&](int side, StudyDef* st) {
    const axis_scale* sc = p.StudyScale(st);
    if (!sc) return;
    sources[slot][side] = sc;
    (side ? p.right_attr : p.left_attr) = st->color;
  };
  if (!sources[slot][pref]) {
    bind(pref, p.study_first);
    if (p.study_second && !sources[slot][other]) bind(other, p.study_second);
  } else {
    bind(other, p.study_first);
  }
}

void CPane::Attach3(int slot) {
  if (slot < 0 || slot > 3 || !settings->pane_shown[slot]) return;
  CBasicChart& p = panes[slot];
  p.CalcHeaders();
  bool chart_kind = settings->window_kind == WINDOW_KIND_CHART;
  int pref = g_price_lab_left ? 0 : 1;
  int content = settings->pane_content[slot];
  bool taken[2] = {chart_kind && sources[slot][0], chart_kind && sources[slot][1]};
  static const int order[] = {CONTENT_PRICE, CONTENT_VOLUME, 0x04, 0x08, 0x10, 0x20};
  for (int c : order) {
    if (!(content & c)) continue;
    if (c & CONTENT_STUDIES) {
      if (!FindStudyOfGroup(c)) continue;
      if (taken[0] && taken[1]) continue;
      AssignStudyScale(slot, c, pref);
    } else {
      int side = !taken[pref] ? pref : !taken[1 - pref] ? 1 - pref : -1;
      if (side < 0) continue;
      AssignScale(slot, c, side, side != pref);
      taken[side] = true;
    }
    if (chart_kind) {
      taken[0] = taken[0] || sources[slot][0];
      taken[1] = taken[1] || sources[slot][1];
    } else {
      break;  // the market windows bind their first content only
    }
  }
}

void CPane::CalcLayouts(KvDC* d) {
  if (!settings) return;
  kv_lock guard(g_chart_lock);
  dc = d;
  switch (settings->window_kind) {
    case WINDOW_KIND_CHART:
      if (!chart()) return;
      break;
    case WINDOW_KIND_HRACE:
      if (!hrace) return;
      break;
    case WINDOW_KIND_PVD:
      if (!pvd_data) return;
      break;
    default:
      return;
  }
  for (int& r : settings->rect_slots) r = -1;
  for (auto& s : sources) s[0] = s[1] = nullptr;
  int n = settings->pane_count, k = 0;
  for (int slot = 0; slot < 4 && k < n; slot++) {
    if (!settings->pane_shown[slot]) continue;
    if (InitBC(get_rect(settings->pane_rects[k]), slot, k == 0, k == n - 1))
      settings->rect_slots[k++] = slot;
  }
  for (int i = 0; i < k; i++) Attach3(settings->rect_slots[i]);
}

// ---------------------------------------------------------------------------
// Splitters.

int CPane::OnSplitter12(int x, int y) const {
  return settings && get_rect(settings->splitter_rects[0]).PtInRect(x, y);
}
int CPane::OnSplitter23(int x, int y) const {
  return settings && get_rect(settings->splitter_rects[1]).PtInRect(x, y);
}
int CPane::OnSplitter34(int x, int y) const {
  return settings && get_rect(settings->splitter_rects[2]).PtInRect(x, y);
}

int CPane::PaneFromPoint(int x, int y) const {
  if (!settings) return -1;
  for (int k = 0; k < 4; k++)
    if (get_rect(settings->pane_rects[k]).PtInRect(x, y)) return settings->rect_slots[k];
  return -1;
}

void CPane::HitTest(int x, int y, uint32_t* word) const {
  if (OnSplitter12(x, y)) {
    *word |= HIT_SPLITTER12;
  } else if (OnSplitter23(x, y)) {
    *word |= HIT_SPLITTER23;
  } else if (OnSplitter34(x, y)) {
    *word |= HIT_SPLITTER34;
  } else {
    *word = (*word & ~HIT_SLOT_MASK) | ((uint32_t)PaneFromPoint(x, y) & HIT_SLOT_MASK);
  }
}

void CPane::MoveSplitters(float f12, float f23, float f34) {
  if (!settings) return;
  float* sp = settings->splits;
  auto moved = [](float f) { return f != 0 && usable_split(f); };
  switch (settings->pane_count) {
    case 2: {
      float f = std::max({f12, f23, f34});
      if (moved(f)) sp[0] = f;
      break;
    }
    case 3:
      if (moved(f12) && f12 < sp[1]) sp[0] = f12;
      if (moved(f23) && f23 > sp[0]) sp[1] = f23;
      break;
    case 4:
      if (moved(f12) && f12 < sp[1] && f12 < sp[2]) sp[0] = f12;
      if (moved(f23) && f23 > sp[0] && f23 < sp[2]) sp[1] = f23;
      if (moved(f34) && f34 > sp[0] && f34 > sp[1]) sp[2] = f34;
      break;
    default:
      break;
  }
}

// ---------------------------------------------------------------------------
// Drawing.

void CPane::DrawSplitter(const KvRect& r) {
  static const COLORREF rows[5] = {0xC0C0C0, 0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080};
  for (int k = 0; k < 5; k++) {
    KvPen old = dc->SelectPen(KvPen(PS_SOLID, 1, rows[k]));
    dc->MoveTo(r.left, r.top + k);
    dc->LineTo(r.right, r.top + k);
    dc->SelectPen(old);
  }
}

void CPane::Draw(KvDC* d) {
  if (!settings || !d) return;
  kv_lock guard(g_chart_lock);
  dc = d;
  d->SelectClipNone();
  for (int k = 0; k < settings->pane_count - 1 && k < 3; k++)
    DrawSplitter(get_rect(settings->splitter_rects[k]));
  for (int slot = 0; slot < 4; slot++) {
    if (!settings->pane_shown[slot]) continue;
    CBasicChart& p = panes[slot];
    if (settings->window_kind == WINDOW_KIND_CHART && !chart()) break;
    if (p.pane_rect.IsRectEmpty()) continue;
    d->SelectClipNone();
    d->FillSolidRect(p.pane_rect, settings->bg_color);
    if (settings->window_kind == WINDOW_KIND_HRACE) {
      // A race pane shows its first content, with that content's group
      // scale on the label side.
      int content = settings->pane_content[slot];
      int c = (content & CONTENT_PRICE)    ? CONTENT_PRICE
              : (content & CONTENT_VOLUME) ? CONTENT_VOLUME
                                           : (content & CONTENT_STUDIES);
      if (!hrace || !c) continue;
      const axis_scale* s = hrace->scales[c == CONTENT_PRICE ? 0 : c == CONTENT_VOLUME ? 2 : 1];
      p.DrawHRace(1, c, d, g_price_lab_left ? s : nullptr, g_price_lab_left ? nullptr : s);
      continue;
    }
    if (settings->window_kind == WINDOW_KIND_PVD) {
      if (slot == 0 && pvd_data) p.DrawPVD(1, CONTENT_PRICE, d, nullptr, nullptr);
      continue;
    }
    if (settings->window_kind != WINDOW_KIND_CHART) continue;
    int content = settings->pane_content[slot];
    bool first = true;
    for (int c : draw_order) {
      if (!(content & c)) continue;
      p.DrawChart(first, content & c, d, first ? sources[slot][0] : nullptr,
                  first ? sources[slot][1] : nullptr);
      first = false;
    }
  }
  d->SelectClipNone();
  dc = nullptr;
}

int CPane::DrawLastPoint(KvDC* d) {
  if (!settings || !d || settings->window_kind != WINDOW_KIND_CHART || !chart()) return 1;
  kv_lock guard(g_chart_lock);
  for (int slot = 0; slot < 4; slot++) {
    if (!settings->pane_shown[slot]) continue;
    CBasicChart& p = panes[slot];
    int content = settings->pane_content[slot];
    bool first = true;
    for (int c : draw_order) {
      if (!(content & c)) continue;
      p.first_layer = first;
      if (!p.DrawLastPoint(content & c, d, sources[slot][0], sources[slot][1])) return 0;
      first = false;
    }
  }
  return 1;
}

void CPane::DrawBidAskBar(KvDC* d, const mqt* quote) {
  if (!settings || settings->window_kind != WINDOW_KIND_CHART) return;
  for (int slot = 0; slot < 4; slot++)
    if (settings->pane_shown[slot] && (settings->pane_content[slot] & CONTENT_PRICE)) {
      panes[slot].DrawBidAskBar(d, quote);
      d->SelectClipNone();
      return;
    }
}

void CPane::DrawQuoteHeader(KvDC* d, const mqt* quote) {
  if (!settings || settings->window_kind != WINDOW_KIND_CHART) return;
  for (int slot = 0; slot < 4; slot++)
    if (settings->pane_shown[slot] && (settings->pane_content[slot] & CONTENT_PRICE)) {
      panes[slot].DrawQuoteLine(d, quote);
      d->SelectClipNone();
      return;
    }
}

// ---------------------------------------------------------------------------
// Rectangles and point conversions.

int CPane::getChartDataRectWidth(int labels) {
  if (!settings) return 0;
  for (int slot = 0; slot < 4; slot++)
    if (settings->pane_shown[slot]) return panes[slot].getChartDataWidth(labels);
  return 0;
}

void CPane::getChartDataRect(int labels, KvRect* rect) {
  *rect = KvRect();
  if (!settings) return;
  for (int slot = 0; slot < 4; slot++)
    if (settings->pane_shown[slot] && (settings->pane_content[slot] & CONTENT_PRICE)) {
      *rect = panes[slot].getChartDataRect(labels);
      return;
    }
}

void CPane::clearChartDataRect() {
  if (!settings) return;
  for (int slot = 0; slot < 4; slot++)
    if (settings->pane_shown[slot]) panes[slot].clearChartDataRect();
}

void CPane::getEventsRect(KvRect* rect) const {
  *rect = KvRect();
  if (!settings) return;
  for (int slot = 3; slot >= 0; slot--)
    if (settings->pane_shown[slot] && panes[slot].settings == settings) {
      *rect = panes[slot].events_rect;
      return;
    }
}

int CPane::last_slot_with(int content) const {
  if (!settings || content == -1) return -1;
  for (int slot = 3; slot >= 0; slot--)
    if (settings->pane_shown[slot] && (settings->pane_content[slot] & content)) return slot;
  return -1;
}

void CPane::getActiveAlertsRect(int content, KvRect* rect) const {
  int slot = last_slot_with(content);
  *rect = slot < 0 ? KvRect() : panes[slot].alerts_rect;
}

void CPane::getActiveGrTradeRect(int content, KvRect* rect) const {
  int slot = last_slot_with(content);
  *rect = slot < 0 ? KvRect() : panes[slot].grtrade_rect;
}

void CPane::getGrTradeStatRect(int content, KvRect* rect) const {
  int slot = last_slot_with(content);
  *rect = slot < 0 ? KvRect() : panes[slot].grtrade_stat_rect;
}

const axis_scale* CPane::price_scale_of(int slot) const {
  if (slot < 0 || slot > 3 || !settings || !chart() ||
      !(settings->pane_content[slot] & CONTENT_PRICE))
    return nullptr;
  const axis_scale* s = &panes[slot].own_price;
  return s->pixels_per_unit > 0 ? s : nullptr;
}

int CPane::PointToBar(int slot, int x, int y) const {
  if (slot < 0 || slot > 3 || !settings || !chart() || !settings->pane_content[slot]) return -1;
  kv_lock guard(g_chart_lock);
  return panes[slot].BarAtPoint(x, y);
}

// On a percent axis the scale runs in percent of the pane's base: a point
// still converts to a price, as lines, alerts and orders are stored in prices.
float CPane::PointToPrice(int slot, int, int y) const {
  const axis_scale* s = price_scale_of(slot);
  if (!s) return 0;
  double v = panes[slot].PriceAtPoint(y, s);
  if (settings->percent == 1) {
    double base = panes[slot].own_percent_base;
    if (!std::isfinite(base) || base == 0) return 0;
    v = base + base * v / 100.0;
  }
  return (float)v;
}

const char* CPane::PointToSymbol(int slot, int x, int y) const {
  static char buffer[40];
  snprintf(buffer, sizeof buffer, "?");
  if (slot < 0 || slot > 3 || !settings || !chart()) return buffer;
  kv_lock guard(g_chart_lock);
  panes[slot].BarAtPoint(x, y, buffer, sizeof buffer);
  return buffer;
}

double CPane::PriceToY(int slot, double price) const {
  const axis_scale* s = price_scale_of(slot);
  if (!s) return 0;
  if (settings->percent == 1) {
    double base = panes[slot].own_percent_base;
    if (!std::isfinite(base) || base == 0) return 0;
    price = (price - base) / base * 100.0;
  }
  return panes[slot].data_rect.bottom - (price - s->minimum) * s->pixels_per_unit;
}

int32_t CPane::PointToBarTime(int slot, int x, int y) const {
  int offset = PointToBar(slot, x, y);
  if (offset < 0) return 0;
  kv_lock guard(g_chart_lock);
  return panes[slot].TimeAtOffset(offset);
}

void CPane::UpdatePVD(KvDC* d) {
  if (!settings || settings->window_kind != WINDOW_KIND_PVD || !pvd_data || !d) return;
  panes[0].UpdatePVD(d);
  d->SelectClipNone();
}

int CPane::PointToPVDRow(int, int y) const {
  if (!settings || settings->window_kind != WINDOW_KIND_PVD || !pvd_data) return -1;
  kv_lock guard(g_chart_lock);
  return panes[0].PVDRowAtPoint(y);
}

void CPane::GetHRaceHitInfo(int* a, int* b, int* c) const {
  *a = *b = *c = 0;
  if (!settings) return;
  for (int slot = 0; slot < 4; slot++)
    if (settings->pane_shown[slot] && (settings->pane_content[slot] & CONTENT_PRICE)) {
      const int* hit = panes[slot].hrace_hit;
      *a = hit[0], *b = hit[1], *c = hit[2];
      return;
    }
}
