#include "platform/qt/dc.h"

#include <QFontMetrics>
#include <QPagedPaintDevice>
#include <cstdlib>

namespace {

// Pixel patterns of the styled 1-pixel pens: on, off, on, off ...
const std::vector<int>& dash_pattern(int style) {
  static const std::vector<int> none;
  static const std::vector<int> dash{18, 6};
  static const std::vector<int> dot{3, 3};
  static const std::vector<int> dashdot{9, 6, 3, 6};
  static const std::vector<int> dashdotdot{9, 3, 3, 3, 3, 3};
  switch (style) {
    case PS_DASH:
      return dash;
    case PS_DOT:
      return dot;
    case PS_DASHDOT:
      return dashdot;
    case PS_DASHDOTDOT:
      return dashdotdot;
    default:
      return none;
  }
}

bool pattern_on(const std::vector<int>& pat, int pos) {
  int total = 0;
  for (int n : pat) total += n;
  pos %= total;
  for (size_t i = 0; i < pat.size(); i++) {
    if (pos < pat[i]) return i % 2 == 0;
    pos -= pat[i];
  }
  return true;
}

QString substitute_face(const QString& face) {
  if (face.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0 ||
      face.compare(QLatin1String("MS Shell Dlg"), Qt::CaseInsensitive) == 0)
    return QStringLiteral("Arial");
  return face;
}

}  // namespace

QFont KvFont::qfont(int dpi_y) const {
  QFont f(substitute_face(face));
  int px = (tenths * dpi_y + 360) / 720;  // points to pixels, rounded
  f.setPixelSize(px > 0 ? px : 1);
  f.setBold(bold);
  f.setItalic(italic);
  f.setKerning(false);
  f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

KvDC::KvDC(QImage* image) : m_image(image) {
  init(image);
}

KvDC::KvDC(QPaintDevice* device) {
  if (device->devType() == QInternal::Image) m_image = static_cast<QImage*>(device);
  init(device);
}

void KvDC::init(QPaintDevice* dev) {
  m_painter = std::make_unique<QPainter>(dev);
  m_painter->setRenderHint(QPainter::Antialiasing, false);
  m_painter->setRenderHint(QPainter::TextAntialiasing, false);
  m_painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
  if (dev->devType() == QInternal::Printer) m_dpi = dev->logicalDpiY();
  m_font = KvFont::StockVariable();
  m_painter->setFont(m_font.qfont(m_dpi));
}

KvDC::~KvDC() {
  if (m_painter && m_painter->isActive()) m_painter->end();
}

KvPen KvDC::SelectPen(const KvPen& pen) {
  KvPen old = m_pen;
  m_pen = pen;
  m_style_pos = 0;
  return old;
}

KvBrush KvDC::SelectBrush(const KvBrush& brush) {
  KvBrush old = m_brush;
  m_brush = brush;
  return old;
}

KvFont KvDC::SelectFont(const KvFont& font) {
  KvFont old = m_font;
  bool same = font.face == m_font.face && font.tenths == m_font.tenths &&
              font.bold == m_font.bold && font.italic == m_font.italic;
  m_font = font;
  if (!same) {
    m_painter->setFont(m_font.qfont(m_dpi));
    m_metrics.reset();
  }
  return old;
}

COLORREF KvDC::SetTextColor(COLORREF c) {
  COLORREF old = m_text;
  m_text = c;
  return old;
}

COLORREF KvDC::SetBkColor(COLORREF c) {
  COLORREF old = m_bk;
  m_bk = c;
  return old;
}

int KvDC::SetBkMode(int mode) {
  int old = m_bk_mode;
  m_bk_mode = mode;
  return old;
}

int KvDC::SetROP2(int rop) {
  int old = m_rop;
  m_rop = rop;
  return old;
}

KvPoint KvDC::SetViewportOrg(int x, int y) {
  KvPoint old = m_org;
  m_org = {x, y};
  return old;
}

void KvDC::mark(int l, int t, int r, int b) {
  m_changed = m_changed.united(KvRect(l, t, r, b));
}

KvRect KvDC::TakeChangedRect() {
  KvRect r = m_changed;
  m_changed.SetRectEmpty();
  return r;
}

void KvDC::apply_rop() {
  m_painter->setCompositionMode(m_rop == R2_NOT && m_image ? QPainter::RasterOp_NotDestination
                                                           : QPainter::CompositionMode_SourceOver);
}

void KvDC::fill_device(const QRect& r, const QColor& c) {
  m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  m_painter->fillRect(r, c);
  mark(r.x(), r.y(), r.x() + r.width(), r.y() + r.height());
}

// The inside of a shape takes the raster operation like its outline
// (FillRect does not).
void KvDC::fill_brush(const QRect& r) {
  if (m_rop == R2_NOT && m_image) {
    apply_rop();
    m_painter->fillRect(r, Qt::black);
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    mark(r.x(), r.y(), r.x() + r.width(), r.y() + r.height());
    return;
  }
  fill_device(r, kv_qcolor(m_brush.color));
}

KvPoint KvDC::MoveTo(int x, int y) {
  KvPoint old = m_pos;
  m_pos = {x, y};
  m_style_pos = 0;
  return old;
}

// Steps from (x0, y0) toward (x1, y1) and plots every pixel but the last.
void KvDC::plot_line(int x0, int y0, int x1, int y1) {
  int dx = std::abs(x1 - x0), dy = std::abs(y1 - y0);
  int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  const std::vector<int>& pat = dash_pattern(m_pen.style);
  m_on.clear();
  m_off.clear();
  int x = x0, y = y0;
  int steps = dx > dy ? dx : dy;
  int err = (dx > dy ? dx : -dy) / 2;
  for (int i = 0; i < steps; i++) {
    if (pat.empty() || pattern_on(pat, m_style_pos))
      m_on.push_back(QPoint(x, y));
    else
      m_off.push_back(QPoint(x, y));
    m_style_pos++;
    int e2 = err;
    if (e2 > -dx) {
      err -= dy;
      x += sx;
    }
    if (e2 < dy) {
      err += dx;
      y += sy;
    }
  }
  apply_rop();
  QPen qp(kv_qcolor(m_pen.color), 1);
  qp.setCosmetic(true);
  m_painter->setPen(qp);
  if (!m_on.empty()) m_painter->drawPoints(m_on.data(), int(m_on.size()));
  // The gaps of an opaque styled line are drawn with the background colour
  // through the same raster operation (inverted ink inverts them too).
  if (!m_off.empty() && m_bk_mode == OPAQUE) {
    QPen bp(kv_qcolor(m_bk), 1);
    bp.setCosmetic(true);
    m_painter->setPen(bp);
    m_painter->drawPoints(m_off.data(), int(m_off.size()));
  }
  m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void KvDC::LineTo(int x, int y) {
  int x0 = m_pos.x + m_org.x, y0 = m_pos.y + m_org.y;
  int x1 = x + m_org.x, y1 = y + m_org.y;
  m_pos = {x, y};
  if (m_pen.style == PS_NULL) return;
  int w = m_pen.width < 1 ? 1 : m_pen.width;
  if (w == 1) {
    plot_line(x0, y0, x1, y1);
  } else {
    // Wide pens are solid, with round ends.
    apply_rop();
    QPen qp(kv_qcolor(m_pen.color), w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    m_painter->setPen(qp);
    m_painter->drawLine(x0, y0, x1, y1);
    m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
  int h = w / 2 + 1;
  mark(std::min(x0, x1) - h, std::min(y0, y1) - h, std::max(x0, x1) + h + 1,
       std::max(y0, y1) + h + 1);
}

void KvDC::Rectangle(int l, int t, int r, int b) {
  if (r < l) std::swap(l, r);
  if (b < t) std::swap(t, b);
  int dl = l + m_org.x, dt = t + m_org.y, dr = r + m_org.x, db = b + m_org.y;
  int w = m_pen.width < 1 ? 1 : m_pen.width;
  if (m_pen.style == PS_NULL) {
    // Without a pen the filled area is one pixel smaller on the right and bottom.
    if (!m_brush.null && dr - 1 > dl && db - 1 > dt)
      fill_brush(QRect(dl, dt, dr - 1 - dl, db - 1 - dt));
    return;
  }
  if (w == 1) {
    if (!m_brush.null && dr - dl > 2 && db - dt > 2)
      fill_brush(QRect(dl + 1, dt + 1, dr - dl - 2, db - dt - 2));
    KvPoint saved = m_pos;
    int saved_style = m_style_pos;
    m_style_pos = 0;
    plot_line(dl, dt, dr - 1, dt);
    plot_line(dr - 1, dt, dr - 1, db - 1);
    plot_line(dr - 1, db - 1, dl, db - 1);
    plot_line(dl, db - 1, dl, dt);
    if (dr - dl == 1 || db - dt == 1) {
      // A one-pixel-wide rectangle: the closing corner was never plotted.
      QPen qp(kv_qcolor(m_pen.color), 1);
      m_painter->setPen(qp);
      apply_rop();
      m_painter->drawPoint(dr - 1, db - 1);
      m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    m_pos = saved;
    m_style_pos = saved_style;
    mark(dl, dt, dr, db);
    return;
  }
  // Wide pen: the frame is centred on the one-pixel outline.
  int in = (w - 1) / 2, out = w / 2;
  QRect outer(dl - in, dt - in, (dr - 1 + out + 1) - (dl - in), (db - 1 + out + 1) - (dt - in));
  QRect inner = outer.adjusted(w, w, -w, -w);
  if (!m_brush.null && inner.width() > 0 && inner.height() > 0) fill_brush(inner);
  QColor pc = kv_qcolor(m_pen.color);
  apply_rop();
  auto band = [&](const QRect& q) {
    if (q.width() > 0 && q.height() > 0) m_painter->fillRect(q, pc);
  };
  if (m_rop == R2_NOT && m_image) {
    m_painter->setPen(Qt::NoPen);
    m_painter->setBrush(Qt::black);
    auto inv = [&](const QRect& q) {
      if (q.width() > 0 && q.height() > 0) m_painter->drawRect(q);
    };
    inv(QRect(outer.x(), outer.y(), outer.width(), w));
    inv(QRect(outer.x(), outer.bottom() - w + 1, outer.width(), w));
    inv(QRect(outer.x(), outer.y() + w, w, outer.height() - 2 * w));
    inv(QRect(outer.right() - w + 1, outer.y() + w, w, outer.height() - 2 * w));
    m_painter->setBrush(Qt::NoBrush);
  } else {
    band(QRect(outer.x(), outer.y(), outer.width(), w));
    band(QRect(outer.x(), outer.bottom() - w + 1, outer.width(), w));
    band(QRect(outer.x(), outer.y() + w, w, outer.height() - 2 * w));
    band(QRect(outer.right() - w + 1, outer.y() + w, w, outer.height() - 2 * w));
  }
  m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  mark(outer.x(), outer.y(), outer.x() + outer.width(), outer.y() + outer.height());
}

void KvDC::Ellipse(int l, int t, int r, int b) {
  int dl = l + m_org.x, dt = t + m_org.y, dr = r + m_org.x, db = b + m_org.y;
  apply_rop();
  if (m_pen.style == PS_NULL)
    m_painter->setPen(Qt::NoPen);
  else
    m_painter->setPen(QPen(kv_qcolor(m_pen.color), m_pen.width < 1 ? 1 : m_pen.width));
  if (m_brush.null)
    m_painter->setBrush(Qt::NoBrush);
  else
    m_painter->setBrush(kv_qcolor(m_brush.color));
  m_painter->drawEllipse(QRect(dl, dt, dr - dl - 1, db - dt - 1));
  m_painter->setBrush(Qt::NoBrush);
  m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  mark(dl - m_pen.width, dt - m_pen.width, dr + m_pen.width, db + m_pen.width);
}

void KvDC::FillRect(const KvRect& r, const KvBrush& brush) {
  if (brush.null || r.IsRectEmpty()) return;
  fill_device(QRect(r.left + m_org.x, r.top + m_org.y, r.Width(), r.Height()),
              kv_qcolor(brush.color));
}

void KvDC::SetPixel(int x, int y, COLORREF c) {
  fill_device(QRect(x + m_org.x, y + m_org.y, 1, 1), kv_qcolor(c));
}

COLORREF KvDC::GetPixel(int x, int y) const {
  if (!m_image) return 0xFFFFFFFFu;
  int dx = x + m_org.x, dy = y + m_org.y;
  if (dx < 0 || dy < 0 || dx >= m_image->width() || dy >= m_image->height()) return 0xFFFFFFFFu;
  return kv_colorref_from_rgb(m_image->pixel(dx, dy));
}

const QFontMetrics& KvDC::metrics() {
  if (!m_metrics) m_metrics.emplace(m_painter->font(), m_painter->device());
  return *m_metrics;
}

KvSize KvDC::GetTextExtent(const QString& text) {
  const QFontMetrics& fm = metrics();
  return {fm.horizontalAdvance(text), fm.height()};
}

int KvDC::GetTextAscent() {
  const QFontMetrics& fm = metrics();
  return fm.ascent();
}

void KvDC::TextOut(int x, int y, const QString& text) {
  const QFontMetrics& fm = metrics();
  int dx = x + m_org.x, dy = y + m_org.y;
  int w = fm.horizontalAdvance(text), h = fm.height();
  if (m_bk_mode == OPAQUE) fill_device(QRect(dx, dy, w, h), kv_qcolor(m_bk));
  m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  m_painter->setPen(kv_qcolor(m_text));
  m_painter->drawText(dx, dy + fm.ascent(), text);
  mark(dx, dy, dx + w, dy + h);
}

int KvDC::DrawText(const QString& text, KvRect& r, unsigned flags) {
  const QFontMetrics& fm = metrics();
  int w = fm.horizontalAdvance(text), h = fm.height();
  if (flags & DT_CALCRECT) {
    r.right = r.left + w;
    r.bottom = r.top + h;
    return h;
  }
  int x = r.left;
  if (flags & DT_CENTER)
    x = r.left + (r.Width() - w) / 2;
  else if (flags & DT_RIGHT)
    x = r.right - w;
  int y = r.top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER)
      y = r.top + (r.Height() - h) / 2;
    else if (flags & DT_BOTTOM)
      y = r.bottom - h;
  }
  bool clip = !(flags & DT_NOCLIP);
  if (clip) {
    m_painter->save();
    m_painter->setClipRect(QRect(r.left + m_org.x, r.top + m_org.y, r.Width(), r.Height()),
                           Qt::IntersectClip);
  }
  TextOut(x, y, text);
  if (clip) m_painter->restore();
  return h;
}

void KvDC::IntersectClipRect(const KvRect& r) {
  QRect q(r.left + m_org.x, r.top + m_org.y, std::max(0, r.Width()), std::max(0, r.Height()));
  m_painter->setClipRect(q, m_painter->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
}

void KvDC::SelectClipRect(const KvRect& r) {
  QRegion q(
      QRect(r.left + m_org.x, r.top + m_org.y, std::max(0, r.Width()), std::max(0, r.Height())));
  if (m_has_system_clip) q &= m_system_clip;
  m_painter->setClipRegion(q, Qt::ReplaceClip);
}

void KvDC::SelectClipNone() {
  if (m_has_system_clip)
    m_painter->setClipRegion(m_system_clip, Qt::ReplaceClip);
  else
    m_painter->setClipping(false);
}

void KvDC::SetSystemClip(const QRegion& region) {
  m_system_clip = region;
  m_has_system_clip = true;
  m_painter->setClipRegion(region, Qt::ReplaceClip);
}

void KvDC::BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy) {
  if (w <= 0 || h <= 0) return;
  int dx = x + m_org.x, dy = y + m_org.y;
  m_painter->setCompositionMode(QPainter::CompositionMode_Source);
  m_painter->drawImage(QRect(dx, dy, w, h), src, QRect(sx, sy, w, h));
  m_painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  mark(dx, dy, dx + w, dy + h);
}

void KvDC::BitBlt(int x, int y, int w, int h, KvDC& src, int sx, int sy) {
  if (!src.m_image) return;
  BitBlt(x, y, w, h, *src.m_image, sx + src.m_org.x, sy + src.m_org.y);
}

QImage kv_save_rect(const QImage& image, const KvRect& r) {
  return image.copy(r.toQRect());
}

void kv_restore_rect(QImage& image, const QImage& saved, const KvRect& r) {
  QPainter p(&image);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(QPoint(r.left, r.top), saved);
}
