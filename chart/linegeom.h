// Geometry of the straight lines drawn on a chart: end points of one-point
// horizontal and vertical lines, two-point finite and infinite lines, rays
// and parallels; their drawing through the window layer's drawing context;
// placing a stored line on the chart's bars; and the small screen helpers
// the line code shares (saving the screen under a rectangle, recolouring a
// bitmap, pen styles, clipping, the line sequence counter).
//
// Coordinates are client pixels, y growing downward; rectangles are
// (left, top, right, bottom). With the chart trace switch on, every compute
// function prints its result.
#pragma once

#include <QImage>
#include <cstdint>

#include "platform/qt/dc.h"

struct chart_bar;
struct line_record;

// Line sequence numbers: one counter for the program, starting at 1.
int NextLineSeq();
void ResetLineSeq();

// The screen under rect (clamped to the image), or a null image for an
// empty rectangle; put back at rect's top-left corner.
QImage SaveScreenRect(KvDC& dc, const KvRect& rect);
void RestoreScreenRect(KvDC& dc, const QImage& saved, const KvRect& rect);
// Every pixel of old_color becomes new_color. 1 done, 0 for a null bitmap.
int ReplaceBitmapColor(QImage* bitmap, COLORREF old_color, COLORREF new_color);
// Clip from x = 0 to rect.right, rect.top to rect.bottom.
void ClipToDataRect(const KvRect& rect, KvDC& dc);

// Pen style of a line style 0-9 (5-9 are the wide forms of 0-4).
int LineStylePen(int style);
// 1 for styles 0-4 (and others); wide_width, at least 2, for 5-9.
int LineStyleWidth(int style, int wide_width);

// -(y2 - y1) / (x2 - x1); the largest double when y1 == y2.
double LineSlope(KvPoint p1, KvPoint p2);
double LineAngle(KvPoint p1, KvPoint p2);

void Calc1PtHor(const KvRect& rect, int x, int y, KvPoint* a, KvPoint* b);
void Calc1PtVer(const KvRect& rect, int x, int y, KvPoint* a, KvPoint* b);
void Calc2PtFinite(const KvRect& rect, KvPoint p1, KvPoint p2, KvPoint* a, KvPoint* b);
void Calc2PtInfinite(const KvRect& rect, KvPoint p1, KvPoint p2, KvPoint* a, KvPoint* b);
void Calc2PtRay(const KvRect& rect, KvPoint p1, KvPoint p2, KvPoint* a, KvPoint* b);
// Both points moved dist pixels across the line (ceilings of dist x sin and
// dist x cos of the line's angle); a positive dist moves a horizontal line
// down.
void CalcParallelLine(int* x1, int* y1, int* x2, int* y2, int dist);

// The caller has selected the pen. Horizontal and vertical lines wider than
// 1 with a patterned pen get width - 1 extra strokes at -1, +1, -2, +2, ...
void Draw2PtHor(KvDC& dc, KvPoint p1, KvPoint p2, int pen_style, int width);
void Draw2PtVer(KvDC& dc, KvPoint p1, KvPoint p2, int pen_style, int width);
void Draw1PtHor(KvDC& dc, const KvRect& rect, int x, int y, int pen_style, int width);
void Draw1PtVer(KvDC& dc, const KvRect& rect, int x, int y, int pen_style, int width);
void Draw2PtFinite(KvDC& dc, const KvRect& rect, KvPoint p1, KvPoint p2, int pen_style, int width);
void Draw2PtInfinite(KvDC& dc, const KvRect& rect, KvPoint p1, KvPoint p2, int pen_style,
                     int width);
void Draw2PtRay(KvDC& dc, const KvRect& rect, KvPoint p1, KvPoint p2, int pen_style, int width);

// 1 when pt lies in the 8-pixel band around the segment p1-p2.
int PointInLineBand(KvPoint p1, KvPoint p2, KvPoint pt);

// The bars a stored line sits on (bars sorted by time; binary search):
// horizontal lines span first_visible..range_end; the others find the bar
// holding each time (a time inside a bar's length, bar_length seconds,
// counts for that bar); bar1 -1 when time 1 lies after the last bar, bar2
// the last bar when time 2 does. Unknown types give -1, -1.
// Seconds one bar of a time unit spans, for placing a line's time on its bar.
int line_bar_length(int time_unit);
void FindLineBars(const chart_bar* bars, int count, int first_visible, int range_end,
                  int bar_length, const line_record* line, int* bar1, int* bar2);
