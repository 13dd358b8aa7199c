// A drawing context over QPainter that keeps the pixel rules of the window
// system the drawing code was written for:
//  - LineTo draws from the current position up to, but not including, the
//    end point, in any direction;
//  - Rectangle and FillRect cover left..right-1 and top..bottom-1;
//  - TextOut places the top-left corner of the text cell at (x, y);
//  - dotted and dashed 1-pixel pens use the fixed pixel patterns, and their
//    gaps take the background colour in opaque mode;
//  - R2_NOT inverts every pixel a line covers, once, so drawing the same line
//    twice restores the image.
// Antialiasing is off for lines and text. Colours are COLORREF words.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRegion>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

#include "platform/qt/color.h"
#include "platform/qt/rect.h"

// Pen styles.
enum : int {
  PS_SOLID = 0,
  PS_DASH = 1,
  PS_DOT = 2,
  PS_DASHDOT = 3,
  PS_DASHDOTDOT = 4,
  PS_NULL = 5
};
// Raster operations of line drawing.
enum : int { R2_NOT = 6, R2_COPYPEN = 13 };
// Background modes.
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
// DrawText flags.
enum : unsigned {
  DT_LEFT = 0x0,
  DT_CENTER = 0x1,
  DT_RIGHT = 0x2,
  DT_VCENTER = 0x4,
  DT_BOTTOM = 0x8,
  DT_SINGLELINE = 0x20,
  DT_NOCLIP = 0x100,
  DT_CALCRECT = 0x400,
  DT_NOPREFIX = 0x800,
};

struct KvPen {
  int style = PS_SOLID;
  int width = 1;  // 0 counts as 1
  COLORREF color = 0;
  KvPen() = default;
  KvPen(int s, int w, COLORREF c) : style(s), width(w), color(c) {}
};

struct KvBrush {
  bool null = false;
  COLORREF color = 0xFFFFFF;
  KvBrush() = default;
  explicit KvBrush(COLORREF c) : null(false), color(c) {}
  static KvBrush Null() {
    KvBrush b;
    b.null = true;
    return b;
  }
};

// A font named by face and size in points (tenths of a point kept so that
// 7.5-point fonts are possible). "MS Sans Serif" and "Arial" both map to the
// Arial-metric face installed with the program's fonts.
struct KvFont {
  QString face = QStringLiteral("Arial");
  int tenths = 80;  // point size x 10
  bool bold = false;
  bool italic = false;
  KvFont() = default;
  KvFont(const QString& f, int point_size, bool b = false)
      : face(f), tenths(point_size * 10), bold(b) {}
  // The stock variable-pitch font of the window system (8-point sans serif).
  static KvFont StockVariable() { return KvFont(QStringLiteral("MS Sans Serif"), 8); }
  // The Qt font for a device of the given vertical resolution.
  QFont qfont(int dpi_y = 96) const;
};

class KvDC {
 public:
  // Draws into an image: every raster operation works, GetPixel reads back,
  // and the changed rectangle is tracked for flushing.
  explicit KvDC(QImage* image);
  // Draws onto any paint device (a printer, a widget during its paint).
  explicit KvDC(QPaintDevice* device);
  virtual ~KvDC();  // a KvClientDC may be held as a KvDC
  KvDC(const KvDC&) = delete;
  KvDC& operator=(const KvDC&) = delete;

  QPainter& painter() { return *m_painter; }
  QImage* image() const { return m_image; }
  // Vertical resolution used for point sizes: 96 for images and screens,
  // the device's resolution for printers.
  int LogPixelsY() const { return m_dpi; }
  // Number of colours of the device: 2 for a grey-scale printer, else 0x1000000.
  int GetDeviceColors() const { return m_device_colors; }
  void SetDeviceColors(int n) { m_device_colors = n; }

  // Selection of drawing objects; each returns the previous one.
  KvPen SelectPen(const KvPen& pen);
  KvBrush SelectBrush(const KvBrush& brush);
  KvFont SelectFont(const KvFont& font);
  COLORREF SetTextColor(COLORREF c);
  COLORREF SetBkColor(COLORREF c);
  int SetBkMode(int mode);
  int SetROP2(int rop);
  // Logical (0, 0) maps to device (x, y).
  KvPoint SetViewportOrg(int x, int y);

  // Lines and shapes.
  KvPoint MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Rectangle(int l, int t, int r, int b);
  void Rectangle(const KvRect& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
  void Ellipse(int l, int t, int r, int b);
  void FillRect(const KvRect& r, const KvBrush& brush);
  void FillSolidRect(const KvRect& r, COLORREF c) { FillRect(r, KvBrush(c)); }
  void SetPixel(int x, int y, COLORREF c);
  COLORREF GetPixel(int x, int y) const;  // image contexts only; 0xFFFFFFFF outside

  // Text.
  void TextOut(int x, int y, const QString& text);
  void TextOut(int x, int y, const char* text) { TextOut(x, y, QString::fromLatin1(text)); }
  KvSize GetTextExtent(const QString& text);
  KvSize GetTextExtent(const char* text) { return GetTextExtent(QString::fromLatin1(text)); }
  int GetTextAscent();
  // Single-line text in a rectangle; with DT_CALCRECT only measures (the
  // rectangle's right and bottom are set). Returns the text height.
  int DrawText(const QString& text, KvRect& r, unsigned flags);

  // Clipping, in logical coordinates. In a paint the part being painted
  // (SetSystemClip) bounds every clip: selecting a larger clip, or none,
  // never reaches outside it.
  void IntersectClipRect(const KvRect& r);
  void SelectClipRect(const KvRect& r);
  void SelectClipNone();
  // The part being painted, in device coordinates (set by the paint code).
  void SetSystemClip(const QRegion& region);

  // Copies w x h pixels of src at (sx, sy) to (x, y), unchanged.
  void BitBlt(int x, int y, int w, int h, const QImage& src, int sx, int sy);
  void BitBlt(int x, int y, int w, int h, KvDC& src, int sx, int sy);

  // The device rectangle that drawing has changed since the last call.
  KvRect TakeChangedRect();

 private:
  void init(QPaintDevice* dev);
  void plot_line(int x0, int y0, int x1, int y1);
  void mark(int l, int t, int r, int b);
  void apply_rop();
  void fill_device(const QRect& r, const QColor& c);
  void fill_brush(const QRect& r);
  // The selected font's metrics, made once per font selection: text is
  // measured and drawn many times per paint.
  const QFontMetrics& metrics();

  std::unique_ptr<QPainter> m_painter;
  QImage* m_image = nullptr;
  int m_dpi = 96;
  int m_device_colors = 0x1000000;
  KvPen m_pen;
  KvBrush m_brush;
  KvFont m_font;
  std::optional<QFontMetrics> m_metrics;
  COLORREF m_text = 0;
  COLORREF m_bk = 0xFFFFFF;
  int m_bk_mode = OPAQUE;
  int m_rop = R2_COPYPEN;
  KvPoint m_org;
  KvPoint m_pos;
  int m_style_pos = 0;  // position in the pen's dash pattern, continued across LineTo
  KvRect m_changed;
  std::vector<QPoint> m_on, m_off;
  QRegion m_system_clip;
  bool m_has_system_clip = false;
};

// Saves a rectangle of an image so that it can be put back later (the screen
// under a pop-up box or a selection handle).
QImage kv_save_rect(const QImage& image, const KvRect& r);
void kv_restore_rect(QImage& image, const QImage& saved, const KvRect& r);
