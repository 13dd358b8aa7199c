// Line geometry, line drawing and the shared screen helpers.
#include "chart/linegeom.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "chart/linerec.h"
#include "data/chart.h"
#include "data/debugtrace.h"

namespace {

int g_line_seq = 1;

inline bool tracing() {
  return (g_option_flags & OPT_TRACE_CHART) != 0;
}

void trace_pts(const char* name, KvPoint a, KvPoint b) {
  if (tracing()) debug_trace("%s (%d,%d),(%d,%d)\n", name, a.x, a.y, b.x, b.y);
}

// A value computed in doubles as a pixel, truncated and kept in int range.
inline int pixel(double v) {
  if (!(v == v)) return 0;
  if (v > 1e9) return 1000000000;
  if (v < -1e9) return -1000000000;
  return (int)v;
}

}  // namespace

int line_bar_length(int unit) {
  if (unit >= 1 && unit < TU_DAILY) return unit * 60;
  if (unit <= -1 && unit >= -59) return -unit;
  if (unit >= TU_DAILY && unit < 100000) return 86400;
  return 1;
}

int NextLineSeq() {
  return g_line_seq++;
}
void ResetLineSeq() {
  g_line_seq = 1;
}

QImage SaveScreenRect(KvDC& dc, const KvRect& rect) {
  QImage* img = dc.image();
  if (!img) return QImage();
  KvRect r = rect.intersected(KvRect(0, 0, img->width(), img->height()));
  if (r.IsRectEmpty()) return QImage();
  return kv_save_rect(*img, r);
}

void RestoreScreenRect(KvDC& dc, const QImage& saved, const KvRect& rect) {
  if (saved.isNull()) return;
  dc.BitBlt(std::max(rect.left, 0), std::max(rect.top, 0), saved.width(), saved.height(), saved, 0,
            0);
}

int ReplaceBitmapColor(QImage* bitmap, COLORREF old_color, COLORREF new_color) {
  if (!bitmap || bitmap->isNull()) return 0;
  if (bitmap->format() != QImage::Format_RGB32 && bitmap->format() != QImage::Format_ARGB32)
    *bitmap = bitmap->convertToFormat(QImage::Format_RGB32);
  const uint32_t from = kv_rgb_from_colorref(old_color) & 0xFFFFFF;
  const uint32_t to = kv_rgb_from_colorref(new_color);
  for (int y = 0; y < bitmap->height(); y++) {
    auto* line = reinterpret_cast<uint32_t*>(bitmap->scanLine(y));
    for (int x = 0; x < bitmap->width(); x++)
      if ((line[x] & 0xFFFFFF) == from) line[x] = to;
  }
  return 1;
}

void ClipToDataRect(const KvRect& rect, KvDC& dc) {
  dc.SelectClipRect(KvRect(0, rect.top, rect.right, rect.bottom));
}

int LineStylePen(int style) {
  switch (style) {
    case 1:
    case 6:
      return PS_DASH;
    case 2:
    case 7:
      return PS_DOT;
    case 3:
    case 8:
      return PS_DASHDOT;
    case 4:
    case 9:
      return PS_DASHDOTDOT;
    default:
      return PS_SOLID;
  }
}

int LineStyleWidth(int style, int wide_width) {
  if (style < 5 || style > 9) return 1;
  return std::max(wide_width, 2);
}

double LineSlope(KvPoint p1, KvPoint p2) {
  if (p1.y == p2.y) return DBL_MAX;
  return -(double)(p2.y - p1.y) / (double)(p2.x - p1.x);
}

double LineAngle(KvPoint p1, KvPoint p2) {
  if (p1.y == p2.y) return 0;
  if (p1.x == p2.x) return p2.y > p1.y ? -M_PI / 2 : M_PI / 2;
  return std::atan(LineSlope(p1, p2));
}

void Calc1PtHor(const KvRect& rect, int, int y, KvPoint* a, KvPoint* b) {
  *a = {rect.left, y};
  *b = {rect.right, y};
  trace_pts("Calc1PtHor", *a, *b);
}

void Calc1PtVer(const KvRect& rect, int x, int, KvPoint* a, KvPoint* b) {
  *a = {x, rect.top};
  *b = {x, rect.bottom};
  trace_pts("Calc1PtVer", *a, *b);
}

void Calc2PtFinite(const KvRect&, KvPoint p1, KvPoint p2, KvPoint* a, KvPoint* b) {
  *a = p1;
  *b = p2;
  trace_pts("Calc2PtFinite", *a, *b);
}

void Calc2PtInfinite(const KvRect& rect, KvPoint p1, KvPoint p2, KvPoint* a, KvPoint* b) {
  if (p1.x == p2.x) {
    *a = {p1.x, rect.top};
    *b = {p2.x, rect.bottom};
  } else if (p1.y == p2.y) {
    *a = {rect.left, p1.y};
    *b = {rect.right, p2.y};
  } else {
    double m = LineSlope(p1, p2);
    *a = {rect.left, pixel(p1.y + m * (p1.x - rect.left))};
    *b = {rect.right, pixel(p1.y + m * (p1.x - rect.right))};
  }
  trace_pts("Calc2PtInfinite", *a, *b);
}

void Calc2PtRay(const KvRect& rect, KvPoint p1, KvPoint p2, KvPoint* a, KvPoint* b) {
  *a = p1;
  if (p1.x == p2.x) {
    *b = {p1.x, p1.y < p2.y ? rect.bottom : rect.top};
  } else if (p1.y == p2.y) {
    *b = {p1.x < p2.x ? rect.right : rect.left, p1.y};
  } else {
    int edge = p1.x < p2.x ? rect.right : rect.left;
    *b = {edge, pixel(p1.y + LineSlope(p1, p2) * (p1.x - edge))};
  }
  trace_pts("Calc2PtRay", *a, *b);
}

void CalcParallelLine(int* x1, int* y1, int* x2, int* y2, int dist) {
  double theta = LineAngle({*x1, *y1}, {*x2, *y2});
  double sin_incr = dist * std::sin(theta);
  double cos_incr = dist * std::cos(theta);
  int dx = (int)std::ceil(sin_incr), dy = (int)std::ceil(cos_incr);
  *x1 += dx;
  *x2 += dx;
  *y1 += dy;
  *y2 += dy;
  if (tracing())
    debug_trace("CalcParallelLine (%d,%d),(%d,%d) sin_incr=%f cos_incr=%f dist=%d\n", *x1, *y1, *x2,
                *y2, sin_incr, cos_incr, dist);
}

namespace {

// The line and, for a patterned pen wider than 1, width - 1 strokes beside
// it at -1, +1, -2, +2, ... (a patterned pen draws one pixel wide).
void draw_stroked(KvDC& dc, KvPoint p1, KvPoint p2, int pen_style, int width, bool vertical_shift) {
  dc.MoveTo(p1.x, p1.y);
  dc.LineTo(p2.x, p2.y);
  if (width <= 1 || pen_style == PS_SOLID) return;
  for (int k = 1; k < width; k++) {
    int d = (k + 1) / 2 * (k % 2 ? -1 : 1);
    int dx = vertical_shift ? 0 : d, dy = vertical_shift ? d : 0;
    dc.MoveTo(p1.x + dx, p1.y + dy);
    dc.LineTo(p2.x + dx, p2.y + dy);
  }
}

}  // namespace

void Draw2PtHor(KvDC& dc, KvPoint p1, KvPoint p2, int pen_style, int width) {
  trace_pts("Draw2PtHor", p1, p2);
  draw_stroked(dc, p1, p2, pen_style, width, true);
}

void Draw2PtVer(KvDC& dc, KvPoint p1, KvPoint p2, int pen_style, int width) {
  trace_pts("Draw2PtVer", p1, p2);
  draw_stroked(dc, p1, p2, pen_style, width, false);
}

void Draw1PtHor(KvDC& dc, const KvRect& rect, int x, int y, int pen_style, int width) {
  KvPoint a, b;
  Calc1PtHor(rect, x, y, &a, &b);
  Draw2PtHor(dc, a, b, pen_style, width);
}

void Draw1PtVer(KvDC& dc, const KvRect& rect, int x, int y, int pen_style, int width) {
  KvPoint a, b;
  Calc1PtVer(rect, x, y, &a, &b);
  Draw2PtVer(dc, a, b, pen_style, width);
}

void Draw2PtFinite(KvDC& dc, const KvRect&, KvPoint p1, KvPoint p2, int, int) {
  trace_pts("Draw2PtFinite", p1, p2);
  dc.MoveTo(p1.x, p1.y);
  dc.LineTo(p2.x, p2.y);
}

void Draw2PtInfinite(KvDC& dc, const KvRect& rect, KvPoint p1, KvPoint p2, int, int) {
  KvPoint a, b;
  Calc2PtInfinite(rect, p1, p2, &a, &b);
  dc.MoveTo(a.x, a.y);
  dc.LineTo(b.x, b.y);
}

void Draw2PtRay(KvDC& dc, const KvRect& rect, KvPoint p1, KvPoint p2, int, int) {
  KvPoint a, b;
  Calc2PtRay(rect, p1, p2, &a, &b);
  dc.MoveTo(b.x, b.y);
  dc.LineTo(a.x, a.y);
}

int PointInLineBand(KvPoint p1, KvPoint p2, KvPoint pt) {
  int ax = p1.x, ay = p1.y, bx = p2.x, by = p2.y;
  int cx = p1.x, cy = p1.y, dx = p2.x, dy = p2.y;
  CalcParallelLine(&ax, &ay, &bx, &by, -4);
  CalcParallelLine(&cx, &cy, &dx, &dy, 4);
  // The quadrilateral a-b-d-c is convex: the point is inside when it lies
  // on the same side of all four edges (or on one).
  const KvPoint q[4] = {{ax, ay}, {bx, by}, {dx, dy}, {cx, cy}};
  int pos = 0, neg = 0;
  for (int i = 0; i < 4; i++) {
    const KvPoint& u = q[i];
    const KvPoint& v = q[(i + 1) % 4];
    long long cross = (long long)(v.x - u.x) * (pt.y - u.y) - (long long)(v.y - u.y) * (pt.x - u.x);
    if (cross > 0) pos++;
    if (cross < 0) neg++;
  }
  return pos == 0 || neg == 0;
}

namespace {

// The bar holding time t, searching bars from..count-1: the first bar whose
// time is not before t, or the bar before it when t falls within that
// bar's length. -1 when every bar is before t. *found gets the search
// position (before the step back).
int bar_at_time(const chart_bar* bars, int count, int from, int t, int bar_length, int* found) {
  int lo = from, hi = count;
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (bars[mid].time < t)
      lo = mid + 1;
    else
      hi = mid;
  }
  *found = lo;
  if (lo >= count) return -1;
  if (bars[lo].time != t && lo > 0 && bars[lo - 1].time >= (int64_t)bars[lo].time - bar_length)
    return lo - 1;
  return lo;
}

}  // namespace

void FindLineBars(const chart_bar* bars, int count, int first_visible, int range_end,
                  int bar_length, const line_record* line, int* bar1, int* bar2) {
  *bar1 = -1;
  *bar2 = -1;
  switch (line->type) {
    case ANNOT_HOR:
      *bar1 = first_visible;
      *bar2 = range_end;
      return;
    case ANNOT_VER: {
      *bar2 = 0;
      if (count < 2 || !bars) return;
      int pos;
      *bar1 = bar_at_time(bars, count, 1, line->time1, bar_length, &pos);
      return;
    }
    case ANNOT_INFINITE:
    case ANNOT_FINITE:
    case ANNOT_RAY:
    case ANNOT_FIBONACCI:
    case ANNOT_CHANNEL: {
      if (count < 1 || !bars) return;
      int pos = count;
      if (count >= 2) *bar1 = bar_at_time(bars, count, 1, line->time1, bar_length, &pos);
      // Time 2 is searched from where time 1 was found; from bar 0 when it
      // lies before that bar, or when time 1 lay after every bar.
      int from = pos < count && line->time2 >= bars[pos].time ? pos : 0;
      int found;
      *bar2 = bar_at_time(bars, count, from, line->time2, bar_length, &found);
      if (*bar2 < 0) *bar2 = count - 1;
      return;
    }
    default:
      return;
  }
}
