// Rectangles with the window system's convention: right and bottom are the
// first column and row outside the rectangle (width = right - left). The
// drawing and layout code does its pixel arithmetic in these terms.
#pragma once

#include <QPoint>
#include <QRect>
#include <algorithm>

struct KvPoint {
  int x = 0, y = 0;
};

struct KvSize {
  int cx = 0, cy = 0;
};

struct KvRect {
  int left = 0, top = 0, right = 0, bottom = 0;

  KvRect() = default;
  KvRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
  explicit KvRect(const QRect& q)
      : left(q.x()), top(q.y()), right(q.x() + q.width()), bottom(q.y() + q.height()) {}

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsRectEmpty() const { return right <= left || bottom <= top; }
  bool IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
  bool PtInRect(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  void SetRectEmpty() { left = top = right = bottom = 0; }
  void OffsetRect(int dx, int dy) {
    left += dx;
    right += dx;
    top += dy;
    bottom += dy;
  }
  void InflateRect(int dx, int dy) {
    left -= dx;
    right += dx;
    top -= dy;
    bottom += dy;
  }
  void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
  // The union of two rectangles; an empty one adds nothing.
  KvRect united(const KvRect& o) const {
    if (o.IsRectEmpty()) return *this;
    if (IsRectEmpty()) return o;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
            std::max(bottom, o.bottom)};
  }
  KvRect intersected(const KvRect& o) const {
    KvRect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
             std::min(bottom, o.bottom)};
    if (r.IsRectEmpty()) return {};
    return r;
  }
  QRect toQRect() const { return QRect(left, top, right - left, bottom - top); }
  bool operator==(const KvRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const KvRect& o) const { return !(*this == o); }
};
