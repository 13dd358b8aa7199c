// The line editor of a chart window: placing lines on the chart's bars,
// handles, hit bands, snapping, the mouse state machine and the stored
// records.
#include "chart/annotview.h"

#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "chart/basicchart.h"
#include "chart/chartui.h"
#include "chart/linegeom.h"
#include "chart/pane.h"
#include "data/chart.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "data/drawdefs.h"
#include "platform/locks.h"
#include "platform/qt/canvas.h"
#include "quotes/mqt_record.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "studies/study.h"

namespace {

const char* const kLineNames[] = {"",
                                  "Hor Line",
                                  "Ver Line",
                                  "2Pt Infinite Line",
                                  "2Pt Finite Line",
                                  "Ray",
                                  "Fibonacci Lines",
                                  "Channel Lines",
                                  "",
                                  "",
                                  "",
                                  "",
                                  "Text"};

inline bool tracing() {
  return (g_option_flags & OPT_TRACE_CHART) != 0;
}

KvRect square(int x, int y) {
  return KvRect(x - 4, y - 4, x + 4, y + 4);
}

draw_defaults defaults() {
  draw_defaults dd;
  draw_defaults_decode(g_settings.PrefDrawDef, &dd);
  return dd;
}

bool one_point(int type) {
  return type == ANNOT_HOR || type == ANNOT_VER;
}

}  // namespace

double annot_snap_to_bar(const chart_bar* bar, const chart_bar* prev, double p, uint32_t snap) {
  double target[5] = {bar->open, bar->high, bar->low, bar->close, 0};
  target[4] = prev ? bar_price_value(prev, 8) : bar->open;
  double best = p, dist = 999999.0;
  for (int k = 0; k < 5; k++) {
    if (!(snap & (1u << k))) continue;
    double d = std::fabs(p - target[k]);
    if (d <= dist) dist = d, best = target[k];
  }
  return best;
}

double annot_snap_to_tick(double p, double tick) {
  if (!(tick > 0) || !std::isfinite(tick)) return p;
  double q = p / tick;
  double n = std::trunc(q);
  return q - n > 0.5 ? (n + 1) * tick : n * tick;
}

CKvAnnotView::CKvAnnotView() {
  button_bitmap = kv_res_bitmap(IDB_ANNOT_BUTTON);
  work_line = {};
  line_slots[0].flags = 1;
}

CKvAnnotView::~CKvAnnotView() = default;

std::unique_ptr<KvDC> CKvAnnotView::ClientDC() {
  if (canvas) return std::make_unique<KvClientDC>(canvas);
  if (backing) return std::make_unique<KvDC>(backing);
  return nullptr;
}

// The pane holding the annotation area: the first shown price pane.
int CKvAnnotView::price_slot() const {
  if (!settings) return -1;
  for (int s = 0; s < 4; s++)
    if (settings->pane_shown[s] && (settings->pane_content[s] & CONTENT_PRICE)) return s;
  return -1;
}

// y of a price as the pane draws stored lines.
int CKvAnnotView::price_row(double price) const {
  int ps = price_slot();
  if (ps < 0 || !pane) return area.bottom;
  int y = pane->panes[ps].PriceRow(price);
  return y == INT32_MIN ? area.bottom : y;
}

// ---------------------------------------------------------------------------
// Chart coordinates and client coordinates.

void CKvAnnotView::MovCEToLine(int index, const line_record* record) {
  line_slot& s = line_slots[index];
  if (index == 0) {
    if (record != &work_line) work_line = *record;
  } else {
    s.rec = *record;
  }
  const line_record& l = rec(index);
  chart_rec* ch = chart();
  int ps = price_slot();
  if (!ch || !settings || (!spacing_ref && (!pane || ps < 0))) return;
  kv_lock guard(g_chart_lock);
  // Without a word of the view's, the price pane's own bar geometry.
  uint32_t spacing = spacing_ref ? *spacing_ref : pane->panes[ps].candle_def;
  int b1 = -1, b2 = -1;
  FindLineBars(ch->bars, ch->header.bar_count, settings->m_nFirst, settings->m_nLast,
               line_bar_length(ch->header.time_unit), &l, &b1, &b2);
  int pitch = candle_pitch(spacing), co = candle_centre(spacing);
  auto bar_x = [&](int bar) { return (bar - settings->m_nFirst) * pitch + co + area.left; };
  s.bar1 = b1, s.bar2 = b2;
  s.x1 = bar_x(b1), s.y1 = price_row(l.price1);
  if (one_point(l.type)) {
    s.x2 = s.x1, s.y2 = s.y1;
  } else {
    s.x2 = bar_x(std::max(b2, 0)), s.y2 = price_row(l.price2);
  }
  // A line none of whose points lies on the bars is not shown (the pane
  // does not draw it either) and takes no clicks.
  bool placed =
      b1 >= 0 && (one_point(l.type) || b2 >= 0) && l.type >= ANNOT_HOR && l.type <= ANNOT_CHANNEL;
  s.flags = placed || index == 0 ? 0 : 1;
  if (tracing())
    debug_trace("CKvAnnotView::MovCEToLine(%d) %s nSeq=%d (%d, $%.2f)-(%d, $%.2f)\n", index, l.name,
                (int)l.seq, l.time1, l.price1, l.time2, l.price2);
}

int CKvAnnotView::MovLineToCE(int index) {
  line_slot& s = line_slots[index];
  line_record& l = rec(index);
  chart_rec* ch = chart();
  int ps = price_slot();
  if (!ch || !pane || !settings || ps < 0) return 0;
  kv_lock guard(g_chart_lock);
  int n = ch->header.bar_count;
  if (n < 1 || !ch->bars) return 0;
  // Bars and prices come from the price pane's geometry, whatever pane the
  // mouse is over (another pane's scale would turn the prices into 0), and
  // also for a point outside the data area: the end of a selected line may
  // lie scrolled out of sight, and must keep its bar and price when the
  // line is committed. Only a point beyond the bars takes the last bar.
  const CBasicChart& pp = pane->panes[ps];
  int pitch = candle_pitch(spacing_ref ? *spacing_ref : pp.candle_def);
  auto bar_at = [&](int x) {
    if (pitch <= 0) return n - 1;
    int d = x - area.left;
    int off = d >= 0 ? d / pitch : -((pitch - 1 - d) / pitch);
    return std::clamp(settings->m_nFirst + off, 0, n - 1);
  };
  auto price_at = [&](int y) {
    const axis_scale& sc = pp.own_price;
    if (!(sc.pixels_per_unit > 0)) return 0.0f;
    double v = (pp.data_rect.bottom - y) / sc.pixels_per_unit + sc.minimum;
    if (settings->percent == 1) {
      double base = pp.own_percent_base;
      if (!std::isfinite(base) || base == 0) return 0.0f;
      v = base + base * v / 100.0;
    }
    float p = std::isfinite(v) ? (float)v : 0.0f;
    // The price must map back onto its row, else every commit would move
    // the line by a pixel.
    for (int k = 0; k < 16 && price_row(p) > y; k++) p = std::nextafter(p, 1e30f);
    return p;
  };
  int b1 = bar_at(s.x1), b2 = bar_at(s.x2);
  if (l.type == ANNOT_CHANNEL) {
    // A regression needs two bars.
    if (b1 == b2) return 0;
    double slope = 0, rms = 0;
    int m = std::min(b1, b2);
    double a = study_regression_channel(ch, b1, b2, 4, &slope, nullptr, &rms);
    double p1 = a + slope * (b1 - m + 1), p2 = a + slope * (b2 - m + 1);
    if (!std::isfinite(p1) || !std::isfinite(p2) || !std::isfinite(rms)) return 0;
    l.price1 = (float)p1, l.price2 = (float)p2, l.channel_dev = (float)rms;
    l.time1 = ch->bars[b1].time, l.time2 = ch->bars[b2].time;
    s.bar1 = b1, s.bar2 = b2;
  } else {
    l.time1 = ch->bars[b1].time;
    l.price1 = price_at(s.y1);
    s.bar1 = b1;
    if (!one_point(l.type)) {
      l.time2 = ch->bars[b2].time;
      l.price2 = price_at(s.y2);
      s.bar2 = b2;
    }
  }
  mark_extensions_modified(ch);
  if (tracing())
    debug_trace("CKvAnnotView::MovLineToCE(%d) %s nSeq=%d (%d, $%.2f)-(%d, $%.2f)\n", index, l.name,
                (int)l.seq, l.time1, l.price1, l.time2, l.price2);
  return 1;
}

void CKvAnnotView::CalcHandles(int index) {
  line_slot& s = line_slots[index];
  const line_record& l = rec(index);
  s.mid_x = (s.x1 + s.x2) / 2, s.mid_y = (s.y1 + s.y2) / 2;
  s.mid_handle = KvRect();
  KvPoint a, b;
  switch (l.type) {
    case ANNOT_HOR:
      Calc1PtHor(area, s.x1, s.y1, &a, &b);
      s.x1 = a.x, s.y1 = a.y, s.x2 = b.x, s.y2 = b.y;
      s.mid_x = (s.x1 + s.x2) / 2;
      s.from_handle = KvRect(s.x1, s.y1 - 4, s.x1 + 4, s.y1 + 4);
      s.to_handle = KvRect(s.x2 - 4, s.y2 - 4, s.x2, s.y2 + 4);
      break;
    case ANNOT_VER:
      Calc1PtVer(area, s.x1, s.y1, &a, &b);
      s.x1 = a.x, s.y1 = a.y, s.x2 = b.x, s.y2 = b.y;
      s.mid_y = (s.y1 + s.y2) / 2;
      s.from_handle = KvRect(s.x1 - 4, s.y1, s.x1 + 4, s.y1 + 4);
      s.to_handle = KvRect(s.x2 - 4, s.y2 - 4, s.x2 + 4, s.y2);
      break;
    case ANNOT_INFINITE:
      Calc2PtInfinite(area, KvPoint(s.x1, s.y1), KvPoint(s.x2, s.y2), &a, &b);
      s.from_handle = square(a.x, a.y);
      s.to_handle = square(b.x, b.y);
      break;
    default:
      s.from_handle = square(s.x1, s.y1);
      s.to_handle = square(s.x2, s.y2);
      break;
  }
  if (tracing())
    debug_trace("CKvAnnotView::CalcHandles(%d): (%d,%d),(%d,%d), (%d,%d)\n", index, s.x1, s.y1,
                s.x2, s.y2, s.mid_x, s.mid_y);
}

// ---------------------------------------------------------------------------
// Drawing.

void CKvAnnotView::DrawLine(KvDC& dc) {
  const line_slot& s = line_slots[0];
  const line_record& l = work_line;
  draw_defaults dd = defaults();
  int pen = LineStylePen(l.style);
  int width = l.width < 2 || pen != PS_SOLID ? 1 : l.width;
  KvPen old = dc.SelectPen(KvPen(pen, width, dd.feedback_color));
  ClipToDataRect(area, dc);
  KvPoint p1(s.x1, s.y1), p2(s.x2, s.y2);
  switch (l.type) {
    case ANNOT_HOR:
      Draw1PtHor(dc, area, s.x1, s.y1, pen, width);
      break;
    case ANNOT_VER:
      Draw1PtVer(dc, area, s.x1, s.y1, pen, width);
      break;
    case ANNOT_INFINITE:
      Draw2PtInfinite(dc, area, p1, p2, pen, width);
      break;
    case ANNOT_FINITE:
    case ANNOT_CHANNEL:
      Draw2PtFinite(dc, area, p1, p2, pen, width);
      break;
    case ANNOT_RAY:
      if (l.flags & LINE_FLAG_SWAPPED)
        Draw2PtRay(dc, area, p2, p1, pen, width);
      else
        Draw2PtRay(dc, area, p1, p2, pen, width);
      break;
    case ANNOT_FIBONACCI:
      Draw2PtFinite(dc, area, p1, p2, pen, width);
      Draw1PtHor(dc, area, s.x1, s.y1, pen, width);
      Draw1PtHor(dc, area, s.x2, s.y2, pen, width);
      break;
    default:
      break;
  }
  dc.SelectClipNone();
  dc.SelectPen(old);
  if (tracing())
    debug_trace("CKvAnnotView::DrawLine(): %s (%d,%d),(%d,%d)\n",
                s.ext || !(l.flags & LINE_FLAG_NEW) ? l.name : "New Line", s.x1, s.y1, s.x2, s.y2);
}

void CKvAnnotView::InvertLine(KvDC& dc) {
  const line_slot& s = line_slots[0];
  int rop = dc.SetROP2(R2_NOT);
  KvPen old = dc.SelectPen(KvPen(PS_SOLID, 1, 0));
  auto seg = [&](int x0, int y0, int x1, int y1) {
    dc.MoveTo(x0, y0);
    dc.LineTo(x1, y1);
  };
  switch (work_line.type) {
    case ANNOT_HOR:
      seg(area.left, s.y1, area.right, s.y1);
      break;
    case ANNOT_VER:
      seg(s.x1, area.top, s.x1, area.bottom);
      break;
    case ANNOT_INFINITE:
    case ANNOT_FINITE:
    case ANNOT_RAY:
    case ANNOT_CHANNEL:
      seg(s.x1, s.y1, s.x2, s.y2);
      break;
    case ANNOT_FIBONACCI:
      seg(s.x1, s.y1, s.x2, s.y2);
      seg(area.left, s.y1, area.right, s.y1);
      seg(area.left, s.y2, area.right, s.y2);
      break;
    default:
      break;
  }
  dc.SelectPen(old);
  dc.SetROP2(rop);
  if (tracing())
    debug_trace("CKvAnnotView::InvertLine(): (%d,%d),(%d,%d)\n", s.x1, s.y1, s.x2, s.y2);
}

void CKvAnnotView::WriteSelectedFlag(chart_extension* ext, int on) {
  if (!ext) return;
  kv_lock guard(g_chart_lock);
  if (on)
    ext->block[6] |= LINE_FLAG_SELECTED;
  else
    ext->block[6] &= (uint8_t)~LINE_FLAG_SELECTED;
}

void CKvAnnotView::DrawHandles(KvDC& dc) {
  line_slot& s = line_slots[0];
  int type = work_line.type;
  s.from_handle = s.to_handle = s.mid_handle = KvRect();
  if (one_point(type)) {
    s.mid_handle = square(s.mid_x, s.mid_y);
  } else {
    s.from_handle = square(s.x1, s.y1);
    s.to_handle = square(s.x2, s.y2);
    if (type != ANNOT_CHANNEL) s.mid_handle = square(s.mid_x, s.mid_y);
  }
  COLORREF fill = settings && settings->bg_color == 0 ? 0xFFFFFF : 0x000000;
  auto put = [&](const KvRect& r, QImage* save) {
    *save = QImage();
    if (r.IsRectEmpty()) return;
    *save = SaveScreenRect(dc, r);
    dc.FillSolidRect(r, fill);
  };
  put(s.from_handle, &s.from_save);
  put(s.to_handle, &s.to_save);
  put(s.mid_handle, &s.mid_save);
  state |= ST_SELECTED;
  work_line.flags |= LINE_FLAG_SELECTED;
  if (selected > 0) {
    line_slots[selected].rec.flags |= LINE_FLAG_SELECTED;
    WriteSelectedFlag(line_slots[selected].ext, 1);
  }
  if (tracing())
    debug_trace("CKvAnnotView::DrawHandles(): (%d,%d),(%d,%d), (%d,%d)\n", s.x1, s.y1, s.x2, s.y2,
                s.mid_x, s.mid_y);
}

void CKvAnnotView::EraseHandles(KvDC& dc) {
  line_slot& s = line_slots[0];
  // In the reverse order of saving, so that overlapping squares come back whole.
  const KvRect* rects[3] = {&s.mid_handle, &s.to_handle, &s.from_handle};
  QImage* saves[3] = {&s.mid_save, &s.to_save, &s.from_save};
  for (int k = 0; k < 3; k++) {
    RestoreScreenRect(dc, *saves[k], *rects[k]);
    *saves[k] = QImage();
  }
  s.from_handle = s.to_handle = s.mid_handle = KvRect();
  state &= ~(ST_SELECTED | ST_OVER_HANDLE);
  handle = -1;
  work_line.flags &= ~LINE_FLAG_SELECTED;
  if (selected > 0) {
    line_slots[selected].rec.flags &= ~LINE_FLAG_SELECTED;
    WriteSelectedFlag(line_slots[selected].ext, 0);
  }
  if (tracing())
    debug_trace("CKvAnnotView::EraseHandles(): (%d,%d),(%d,%d), (%d,%d)\n", s.x1, s.y1, s.x2, s.y2,
                s.mid_x, s.mid_y);
}

// ---------------------------------------------------------------------------
// Hit tests and snapping.

int CKvAnnotView::LineUnderPoint(int x, int y) const {
  QPoint pt(x, y);
  for (int i = 1; i < line_count; i++) {
    const line_slot& s = line_slots[i];
    if (s.flags & 1) continue;
    int type = s.rec.type;
    QPolygon poly;
    auto hor_band = [&] {
      poly << QPoint(s.from_handle.left, s.from_handle.top)
           << QPoint(s.to_handle.right, s.to_handle.top)
           << QPoint(s.to_handle.right, s.to_handle.bottom)
           << QPoint(s.from_handle.left, s.from_handle.bottom);
    };
    auto ver_band = [&] {
      poly << QPoint(s.from_handle.left, s.from_handle.top)
           << QPoint(s.from_handle.right, s.from_handle.top)
           << QPoint(s.to_handle.right, s.to_handle.bottom)
           << QPoint(s.to_handle.left, s.to_handle.bottom);
    };
    if (type == ANNOT_HOR) {
      hor_band();
    } else if (type == ANNOT_VER) {
      ver_band();
    } else if (type >= ANNOT_INFINITE && type <= ANNOT_CHANNEL) {
      if (s.x1 == s.x2) {
        ver_band();
      } else if (s.y1 == s.y2) {
        hor_band();
      } else {
        KvPoint a(s.x1, s.y1), b(s.x2, s.y2);
        if (type == ANNOT_INFINITE) {
          Calc2PtInfinite(area, KvPoint(s.x1, s.y1), KvPoint(s.x2, s.y2), &a, &b);
        } else if (type == ANNOT_RAY) {
          if (s.rec.flags & LINE_FLAG_SWAPPED)
            Calc2PtRay(area, KvPoint(s.x2, s.y2), KvPoint(s.x1, s.y1), &a, &b);
          else
            Calc2PtRay(area, KvPoint(s.x1, s.y1), KvPoint(s.x2, s.y2), &a, &b);
        }
        int ax = a.x, ay = a.y, bx = b.x, by = b.y;
        int cx = a.x, cy = a.y, dx = b.x, dy = b.y;
        CalcParallelLine(&ax, &ay, &bx, &by, -4);
        CalcParallelLine(&cx, &cy, &dx, &dy, 4);
        poly << QPoint(ax, ay) << QPoint(bx, by) << QPoint(dx, dy) << QPoint(cx, cy);
      }
    } else {
      continue;
    }
    if (poly.containsPoint(pt, Qt::WindingFill)) return i;
  }
  return -1;
}

int CKvAnnotView::HandleUnderPoint(int x, int y) const {
  const line_slot& s = line_slots[0];
  if (s.from_handle.PtInRect(x, y)) return 1;
  if (s.to_handle.PtInRect(x, y)) return 2;
  if (s.mid_handle.PtInRect(x, y)) return 12;
  return -1;
}

int CKvAnnotView::SnapPoint(int x, int y) {
  if (!draw || (draw->snap & SNAP_OFF) || !(draw->snap & (SNAP_PRICE | SNAP_TICK))) return y;
  chart_rec* ch = chart();
  int ps = price_slot();
  if (!ch || !pane || ps < 0) return y;
  int snapped = y;
  {
    kv_lock guard(g_chart_lock);
    int off = pane->PointToBar(ps, x, y);
    if (off < 0) return y;
    int bar = settings->m_nFirst + off;
    if (bar < 0 || bar >= ch->header.bar_count) return y;
    double p = pane->PointToPrice(ps, x, y);
    if (draw->snap & SNAP_PRICE) {
      p = annot_snap_to_bar(&ch->bars[bar], bar > 0 ? &ch->bars[bar - 1] : nullptr, p, draw->snap);
    } else {
      // Without a live-quote record the tick is unknown: no tick snap.
      double tick = ch->mqt ? ch->mqt->tick_size : 0;
      if (!(tick > 0)) return y;
      p = annot_snap_to_tick(p, tick);
    }
    snapped = price_row(p);
  }
  if (snapped != y) chart_move_pointer(snapped - y);
  return snapped;
}

// ---------------------------------------------------------------------------
// The stored lines.

void CKvAnnotView::InitLines() {
  line_count = 1;
  for (int i = 1; i < ANNOT_SLOTS; i++) {
    line_slots[i].flags = 1;
    line_slots[i].ext = nullptr;
  }
  chart_rec* ch = chart();
  if (!ch) return;
  kv_lock guard(g_chart_lock);
  int total = 0;  // line records in the chain, shown or not
  const chart_extension* selected_ext = (state & ST_SELECTED) ? line_slots[0].ext : nullptr;
  for (chart_extension* e = first_chart_extension(ch); e; e = e->next) {
    // A selected mark left in a record (saved while selected, or another
    // editor reset) would hide the line from the pane for good.
    if ((e->block[6] & LINE_FLAG_SELECTED) && e != selected_ext)
      e->block[6] &= (uint8_t)~LINE_FLAG_SELECTED;
    line_record l;
    line_record_decode(e->block, &l);
    if (l.kind != 1) continue;
    total++;
    if (line_count > ANNOT_MAX_SHOWN) continue;
    int i = line_count++;
    line_slots[i].ext = e;
    MovCEToLine(i, &l);
    CalcHandles(i);
    if (tracing())
      debug_trace("CKvAnnotView::InitLines(%d) nSeq=%d (%d, $%.2f)-(%d, $%.2f)\n", i, (int)l.seq,
                  l.time1, l.price1, l.time2, l.price2);
  }
  // The selection follows its record: the chain may have changed under it.
  if (selected > 0) {
    int found = -1;
    for (int i = 1; i < line_count; i++)
      if (line_slots[i].ext && line_slots[i].ext == line_slots[0].ext) found = i;
    selected = found;
    if (found < 0) {
      state &= ~ST_SELECTED;
      line_slots[0].ext = nullptr;
    }
  }
  // More lines than slots: one notice per chart until its count changes,
  // posted so that the paint never waits on a box.
  if (total > ANNOT_MAX_SHOWN) {
    if (noticed_chart != ch || noticed_count != total) {
      noticed_chart = ch;
      noticed_count = total;
      chart_post_notice("Too many lines");
    }
  } else if (noticed_chart == ch) {
    noticed_count = total;
  }
}

void CKvAnnotView::ResetLine(int reload) {
  // A stored record must not keep its selected mark once nothing is selected.
  if (selected > 0) WriteSelectedFlag(line_slots[selected].ext, 0);
  selected = -1;
  handle = -1;
  line_slot& s = line_slots[0];
  s.flags = 1;
  s.ext = nullptr;
  s.x1 = s.y1 = s.x2 = s.y2 = s.mid_x = s.mid_y = 0;
  s.from_handle = s.to_handle = s.mid_handle = KvRect();
  s.from_save = s.to_save = s.mid_save = QImage();
  work_line = {};
  state &= ~ST_SELECTED;
  if (view_flags) *view_flags &= ~VIEW_PARALLEL_MODE;
  if (reload) InitLines();
}

void CKvAnnotView::NewLine() {
  ResetLine(0);
  int type = draw ? (int)((draw->flags & ANNOT_KIND_MASK) >> ANNOT_KIND_SHIFT) : 0;
  work_line.seq = (uint32_t)NextLineSeq();
  work_line.kind = 1;
  work_line.flags = LINE_FLAG_NEW | LINE_FLAG_SELECTED;
  work_line.type = type;
  work_line.color = draw->color;
  work_line.style = draw->style;
  work_line.width =
      draw->width > 0 ? draw->width : LineStyleWidth(draw->style, defaults().wide_width);
  work_line.draw_value = draw->value;
  if (type >= 0 && type <= 12)
    snprintf(work_line.name, sizeof work_line.name, "%s", kLineNames[type]);
  line_slots[0].flags = 0;
}

void CKvAnnotView::SelectLine(int index) {
  line_slots[0].ext = line_slots[index].ext;
  MovCEToLine(0, &line_slots[index].rec);
  line_slots[0].x1 = line_slots[index].x1, line_slots[0].y1 = line_slots[index].y1;
  line_slots[0].x2 = line_slots[index].x2, line_slots[0].y2 = line_slots[index].y2;
  line_slots[0].bar1 = line_slots[index].bar1, line_slots[0].bar2 = line_slots[index].bar2;
  CalcHandles(0);
  selected = index;
}

chart_extension* CKvAnnotView::StoreLine() {
  chart_rec* ch = chart();
  if (!ch) return nullptr;
  kv_lock guard(g_chart_lock);
  chart_extension* e = add_chart_extension(ch);
  if (!e) return nullptr;
  line_record l = work_line;
  l.flags &= ~(LINE_FLAG_NEW | LINE_FLAG_SELECTED);
  memset(e->block, 0, sizeof e->block);
  line_record_encode(&l, e->block);
  return e;
}

void CKvAnnotView::UpdateLine(int index) {
  line_slot& s = line_slots[index];
  line_slot& w = line_slots[0];
  s.rec = work_line;
  s.rec.flags &= ~(LINE_FLAG_NEW | LINE_FLAG_SELECTED);
  s.x1 = w.x1, s.y1 = w.y1, s.x2 = w.x2, s.y2 = w.y2;
  MovLineToCE(index);
  if (s.ext) {
    kv_lock guard(g_chart_lock);
    line_record_encode(&s.rec, s.ext->block);
  }
  MovCEToLine(index, &s.rec);
  CalcHandles(index);
}

int CKvAnnotView::CommitWorkLine() {
  if (!MovLineToCE(0)) return 0;
  MovCEToLine(0, &work_line);
  CalcHandles(0);
  return 1;
}

int CKvAnnotView::MoveStaysInside(int dx, int dy) const {
  const line_slot& s = line_slots[0];
  auto inside = [&](int x, int y) {
    return x - 4 >= area.left && y - 4 >= area.top && x + 4 <= area.right && y + 4 <= area.bottom;
  };
  return inside(s.x1 + dx, s.y1 + dy) && inside(s.x2 + dx, s.y2 + dy);
}

void CKvAnnotView::SwapWorkPoints() {
  line_slot& s = line_slots[0];
  std::swap(s.x1, s.x2);
  std::swap(s.y1, s.y2);
  std::swap(s.bar1, s.bar2);
}

void CKvAnnotView::MakeParallelLine(KvDC& dc, int x, int y) {
  int sel = selected;
  if (sel == 0) {
    // A new line is stored first: the copy needs a stored original.
    EraseHandles(dc);
    chart_extension* stored = CommitWorkLine() ? StoreLine() : nullptr;
    ResetLine(1);
    // Its slot, if it is shown at all (a chart may hold more lines than slots).
    sel = -1;
    for (int i = 1; stored && i < line_count; i++)
      if (line_slots[i].ext == stored) sel = i;
    if (sel < 1) return;
  } else {
    EraseHandles(dc);
  }
  ResetLine(0);
  if (sel < 1 || sel >= line_count || (line_slots[sel].flags & 1)) return;
  SelectLine(sel);
  work_line.seq = (uint32_t)NextLineSeq();
  line_slot& s = line_slots[0];
  double theta =
      work_line.type == ANNOT_HOR ? 0 : LineAngle(KvPoint(s.x1, s.y1), KvPoint(s.x2, s.y2));
  int d = (int)((x - s.x1) * std::sin(theta) + (y - s.y1) * std::cos(theta));
  CalcParallelLine(&s.x1, &s.y1, &s.x2, &s.y2, d);
  selected = -1;  // the copy is a new record; the original stays as it is
  if (CommitWorkLine()) {
    StoreLine();
    DrawLine(dc);
  }
  ResetLine(1);
}

// ---------------------------------------------------------------------------
// Operations.

int CKvAnnotView::UnselectLine() {
  if (!drawing_on()) return 1;
  if (!(state & ST_SELECTED) && selected < 0) return 0;
  auto dc = ClientDC();
  if (dc) EraseHandles(*dc);
  // A new line is kept, not dropped: the user drew it.
  if (selected == 0 && CommitWorkLine()) {
    StoreLine();
    ResetLine(1);
  } else {
    ResetLine(0);
  }
  return 1;
}

int CKvAnnotView::DeleteSelectedLine() {
  if (!drawing_on()) return 1;
  if (!(state & ST_SELECTED) || selected < 0) return 0;
  auto dc = ClientDC();
  if (dc) EraseHandles(*dc);
  if (selected > 0) {
    chart_rec* ch = chart();
    if (ch && line_slots[selected].ext) delete_chart_extension(ch, line_slots[selected].ext);
    line_slots[selected].ext = nullptr;
    line_slots[selected].flags = 1;
    selected = -1;
  }
  ResetLine(0);
  return 1;
}

void CKvAnnotView::EraseAllLines() {
  chart_rec* ch = chart();
  selected = -1;
  if (ch) {
    kv_lock guard(g_chart_lock);
    while (chart_extension* e = first_chart_extension(ch))
      if (!delete_chart_extension(ch, e)) break;
  }
  ResetLineSeq();
  ResetLine(1);
}

bool CKvAnnotView::HasStoredLines() const {
  chart_rec* ch = chart();
  if (!ch) return false;
  kv_lock guard(g_chart_lock);
  for (chart_extension* e = first_chart_extension(ch); e; e = e->next)
    if (!(e->block[6] & LINE_FLAG_NEW)) return true;
  return false;
}

void CKvAnnotView::DrawButton(KvDC& dc, const KvRect& client) {
  if (!HasStoredLines()) {
    button_rect = KvRect();
    return;
  }
  if (button_color != last_button_color) {
    ReplaceBitmapColor(&button_bitmap, last_button_color, button_color);
    last_button_color = button_color;
  }
  button_rect = KvRect(client.right - 61, client.bottom - 15, client.right - 46, client.bottom);
  dc.BitBlt(button_rect.left, button_rect.top, 15, 15, button_bitmap, 0, 0);
}

int CKvAnnotView::IsOverButton(int x, int y) const {
  if (button_rect.IsRectEmpty()) return -1;
  return x >= button_rect.left && x <= button_rect.left + 15 && y >= button_rect.top &&
                 y <= button_rect.bottom
             ? 1
             : -1;
}

void CKvAnnotView::DrawSelection(KvDC& dc) {
  if (!(state & ST_SELECTED) || selected < 0) return;
  // The paint drew over the old handles: what they saved is stale.
  line_slots[0].from_save = line_slots[0].to_save = line_slots[0].mid_save = QImage();
  CommitWorkLine();
  DrawLine(dc);
  DrawHandles(dc);
}

int CKvAnnotView::OnMouseMove(int x, int y) {
  if (!drawing_on()) return 0;
  if (!area.PtInRect(x, y)) {
    if (view_flags) *view_flags &= ~VIEW_IN_ANNOT_AREA;
    return 1;
  }
  if (view_flags) *view_flags |= VIEW_IN_ANNOT_AREA;
  line_slot& s = line_slots[0];
  int type = work_line.type;
  if (state & ST_TRACKING) {
    if (type >= ANNOT_INFINITE && type <= ANNOT_CHANNEL) {
      if (x != s.x2 || y != s.y2) {
        auto dc = ClientDC();
        if (!dc) return 1;
        InvertLine(*dc);
        s.x2 = x, s.y2 = y;
        InvertLine(*dc);
      }
      return 1;
    }
    return one_point(type) || type == ANNOT_TEXT ? 1 : 0;
  }
  if (state & ST_MOVING) {
    auto dc = ClientDC();
    if (!dc) return 1;
    if (one_point(type)) {
      InvertLine(*dc);
      s.x1 = s.x2 = x, s.y1 = s.y2 = y;
      InvertLine(*dc);
      return 1;
    }
    if (type >= ANNOT_INFINITE && type <= ANNOT_FIBONACCI) {
      int dx = x - s.mid_x, dy = y - s.mid_y;
      if (MoveStaysInside(dx, dy)) {
        EraseHandles(*dc);
        InvertLine(*dc);
        s.x1 += dx, s.y1 += dy, s.x2 += dx, s.y2 += dy;
        s.mid_x += dx, s.mid_y += dy;
        InvertLine(*dc);
        DrawHandles(*dc);
      }
      return 1;
    }
    return type == ANNOT_CHANNEL || type == ANNOT_TEXT ? 1 : 0;
  }
  state &= ~ST_OVER_HANDLE;
  hover = LineUnderPoint(x, y);
  if (state & ST_SELECTED) {
    handle = HandleUnderPoint(x, y);
    if (handle != -1) state |= ST_OVER_HANDLE;
  }
  return 1;
}

int CKvAnnotView::OnLButtonDown(int x, int y) {
  if (tracing()) debug_trace("[Enter LBDown]\n");
  if (IsOverButton(x, y) == 1) return 1;
  if (!drawing_on() || !area.PtInRect(x, y)) return 0;
  auto dc = ClientDC();
  if (!dc) return 0;
  // Where the pointer is now, whatever the moves reported before.
  hover = LineUnderPoint(x, y);
  handle = (state & ST_SELECTED) ? HandleUnderPoint(x, y) : -1;
  if ((state & ST_SELECTED) && view_flags && (*view_flags & VIEW_PARALLEL_MODE)) {
    MakeParallelLine(*dc, x, y);
    return 1;
  }
  captured = true;
  line_slot& s = line_slots[0];
  if ((state & ST_SELECTED) && handle == 1 && !one_point(work_line.type)) {
    EraseHandles(*dc);
    SwapWorkPoints();
    work_line.flags ^= LINE_FLAG_SWAPPED;
    state |= ST_TRACKING;
  } else if ((state & ST_SELECTED) && handle == 2 && !one_point(work_line.type)) {
    EraseHandles(*dc);
    state |= ST_TRACKING;
  } else if ((state & ST_SELECTED) && handle == 12) {
    state |= ST_MOVING;
  } else if (hover > 0) {
    if (state & ST_SELECTED) {
      EraseHandles(*dc);
      DrawLine(*dc);
      // A new line that was not stored yet is kept.
      if (selected == 0 && CommitWorkLine()) StoreLine();
      int keep = hover;
      chart_extension* target = line_slots[keep].ext;
      ResetLine(1);
      hover = -1;
      for (int i = 1; i < line_count; i++)
        if (line_slots[i].ext == target) hover = i;
      if (hover < 0) return 1;
    }
    SelectLine(hover);
    DrawHandles(*dc);
  } else if (state & ST_SELECTED) {
    EraseHandles(*dc);
    if (work_line.flags & LINE_FLAG_SWAPPED) {
      SwapWorkPoints();
      work_line.flags &= ~LINE_FLAG_SWAPPED;
    }
    if (CommitWorkLine()) {
      if (selected == 0)
        StoreLine();
      else if (selected > 0)
        UpdateLine(selected);
      DrawLine(*dc);
    }
    ResetLine(1);
  } else {
    NewLine();
    int sy = SnapPoint(x, y);
    s.x1 = s.x2 = x;
    s.y1 = s.y2 = sy;
    state |= ST_TRACKING;
  }
  return 1;
}

int CKvAnnotView::OnLButtonUp(int x, int y) {
  if (tracing()) debug_trace("[Enter LBUp]\n");
  if (IsOverButton(x, y) == 1) {
    captured = false;
    return 1;
  }
  if (!drawing_on()) return 0;
  auto dc = ClientDC();
  line_slot& s = line_slots[0];
  int type = work_line.type;
  if (!area.PtInRect(x, y)) {
    // A new line that was placed before this click is kept, as when it is
    // unselected; one still being drawn or dragged is dropped.
    bool keep_new = selected == 0 && !(state & (ST_TRACKING | ST_MOVING));
    if (dc && (state & ST_TRACKING) && type >= ANNOT_INFINITE && type <= ANNOT_CHANNEL)
      InvertLine(*dc);
    if (dc && (state & ST_SELECTED)) EraseHandles(*dc);
    state &= ~(ST_TRACKING | ST_MOVING);
    if (keep_new && CommitWorkLine()) {
      StoreLine();
      ResetLine(1);
    } else {
      ResetLine(0);
    }
    captured = false;
    return 0;
  }
  if ((state & ST_TRACKING) && captured && dc) {
    state &= ~ST_TRACKING;
    bool accept = false;
    if (one_point(type)) {
      InvertLine(*dc);
      accept = CommitWorkLine();
    } else if (type >= ANNOT_INFINITE && type <= ANNOT_CHANNEL) {
      // Take the rubber band off before the line is placed.
      InvertLine(*dc);
      if (std::abs(x - s.x1) >= 20 || std::abs(y - s.y1) >= 20) {
        s.x2 = x;
        s.y2 = type == ANNOT_CHANNEL ? y : SnapPoint(x, y);
        // A channel over a single bar is too short as well.
        accept = CommitWorkLine();
      }
    } else {
      captured = false;
      return type == ANNOT_TEXT ? 1 : 0;
    }
    if (!accept) {
      ResetLine(0);
    } else {
      if (selected < 0) selected = 0;
      DrawLine(*dc);
      DrawHandles(*dc);
    }
    captured = false;
    if (tracing()) debug_trace("[Leave Tracking LBUp]\n");
    return 1;
  }
  if ((state & ST_MOVING) && captured && dc) {
    EraseHandles(*dc);
    InvertLine(*dc);
    CommitWorkLine();
    InvertLine(*dc);
    DrawHandles(*dc);
    state &= ~ST_MOVING;
    captured = false;
    if (tracing()) debug_trace("[Leave MoveLine LBUp]\n");
    return 1;
  }
  captured = false;
  return 0;
}
