// The program's bitmaps, drawn at their sizes on a white background (the
// windows recolour the background to their own).
#include <QPainter>
#include <QPolygon>

#include "platform/qt/dc.h"
#include "res/resource.h"

const COLORREF kv_swatch_colors[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                       0x808000, 0xC0C0C0, 0xFFFFFF, 0x0000FF, 0x00FF00, 0x00FFFF,
                                       0xFF0000, 0xFF00FF, 0xFFFF00, 0x808080};

namespace {

constexpr COLORREF kWhite = 0xFFFFFF, kBlack = 0, kGreen = 0x00A000, kRed = 0x0000E0,
                   kBlue = 0xC00000, kGrey = 0x808080;

QImage canvas(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kv_qcolor(kWhite));
  return img;
}

// A filled triangle pointing up (or down) inside the rectangle.
void triangle(QImage& img, const KvRect& r, bool up, COLORREF fill) {
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(kv_qcolor(fill));
  p.setBrush(kv_qcolor(fill));
  int cx = (r.left + r.right - 1) / 2;
  QPolygon poly;
  if (up)
    poly << QPoint(cx, r.top) << QPoint(r.right - 1, r.bottom - 1) << QPoint(r.left, r.bottom - 1);
  else
    poly << QPoint(r.left, r.top) << QPoint(r.right - 1, r.top) << QPoint(cx, r.bottom - 1);
  p.drawPolygon(poly);
}

// Trade-signal marks: an arrow with a letter: O open, C close, S stop,
// T target, M several.
QImage signal(bool buy, char letter) {
  QImage img = canvas(14, 15);
  COLORREF c = buy ? kGreen : kRed;
  triangle(img, buy ? KvRect(2, 0, 12, 6) : KvRect(2, 9, 12, 15), buy, c);
  KvDC dc(&img);
  dc.SelectFont(KvFont(QStringLiteral("Arial"), 6, true));
  dc.SetTextColor(c);
  dc.SetBkMode(TRANSPARENT);
  KvRect t = buy ? KvRect(0, 6, 14, 15) : KvRect(0, 0, 14, 9);
  dc.DrawText(QString(QChar(letter)), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  return img;
}

// Line-style pictures: the five pen patterns, thin and wide.
QImage line_style(int style) {
  QImage img = canvas(80, 14);
  KvDC dc(&img);
  bool wide = style >= 5;
  int pattern = style % 5;  // solid, dash, dot, dash-dot, dash-dot-dot
  if (!wide) {
    dc.SelectPen(KvPen(pattern, 1, kBlack));
    dc.SetBkMode(TRANSPARENT);
    dc.MoveTo(4, 7);
    dc.LineTo(76, 7);
    return img;
  }
  // Wide styles: the same pattern three pixels thick.
  static const int runs[5][6] = {{72, 0, 0, 0, 0, 0},
                                 {18, 6, 0, 0, 0, 0},
                                 {3, 3, 0, 0, 0, 0},
                                 {9, 6, 3, 6, 0, 0},
                                 {9, 3, 3, 3, 3, 3}};
  int x = 4, i = 0;
  while (x < 76) {
    int n = runs[pattern][i % 6];
    if (n == 0) {
      i = 0;
      continue;
    }
    if (i % 2 == 0) dc.FillSolidRect(KvRect(x, 6, std::min(x + n, 76), 9), kBlack);
    x += n;
    i++;
  }
  return img;
}

QImage alert_button(bool high, bool on) {
  QImage img = canvas(15, 15);
  KvDC dc(&img);
  COLORREF c = on ? (high ? kGreen : kRed) : kGrey;
  dc.SelectPen(KvPen(PS_SOLID, 1, kGrey));
  dc.SelectBrush(KvBrush::Null());
  dc.Rectangle(0, 0, 15, 15);
  dc.SelectPen(KvPen(PS_SOLID, 1, c));
  int y = high ? 4 : 10;
  dc.MoveTo(2, y);
  dc.LineTo(13, y);
  dc.SelectFont(KvFont(QStringLiteral("Arial"), 6, true));
  dc.SetTextColor(c);
  dc.SetBkMode(TRANSPARENT);
  KvRect t = high ? KvRect(0, 5, 15, 15) : KvRect(0, 0, 15, 10);
  dc.DrawText(QString(QChar(high ? 'H' : 'L')), t,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  return img;
}

}  // namespace

QImage kv_res_bitmap(int id) {
  switch (id) {
    case IDB_BUY_OPEN:
      return signal(true, 'O');
    case IDB_SELL_OPEN:
      return signal(false, 'O');
    case IDB_BUY_STOP:
      return signal(true, 'S');
    case IDB_SELL_STOP:
      return signal(false, 'S');
    case IDB_BUY_TARGET:
      return signal(true, 'T');
    case IDB_SELL_TARGET:
      return signal(false, 'T');
    case IDB_BUY_CLOSE:
      return signal(true, 'C');
    case IDB_SELL_CLOSE:
      return signal(false, 'C');
    case IDB_BUY_MULTI:
      return signal(true, 'M');
    case IDB_SELL_MULTI:
      return signal(false, 'M');
    case IDB_ALERT_HIGH_ON:
      return alert_button(true, true);
    case IDB_ALERT_LOW_ON:
      return alert_button(false, true);
    case IDB_ALERT_HIGH_OFF:
      return alert_button(true, false);
    case IDB_ALERT_LOW_OFF:
      return alert_button(false, false);
    case IDB_ARROW_UP: {
      QImage img = canvas(15, 14);
      triangle(img, KvRect(2, 2, 13, 12), true, 0x00C000);
      return img;
    }
    case IDB_ARROW_DOWN: {
      QImage img = canvas(15, 14);
      triangle(img, KvRect(2, 2, 13, 12), false, 0x0000FF);
      return img;
    }
    case IDB_HRACE_UP: {
      QImage img = canvas(15, 15);
      triangle(img, KvRect(2, 3, 13, 12), true, kGreen);
      return img;
    }
    case IDB_HRACE_DOWN: {
      QImage img = canvas(15, 15);
      triangle(img, KvRect(2, 3, 13, 12), false, kRed);
      return img;
    }
    case IDB_EXT_SESSION: {
      QImage img = canvas(15, 15);
      KvDC dc(&img);
      dc.SelectPen(KvPen(PS_SOLID, 1, kBlue));
      dc.SelectBrush(KvBrush::Null());
      dc.Ellipse(1, 1, 14, 14);
      dc.MoveTo(7, 3);
      dc.LineTo(7, 8);
      dc.LineTo(11, 8);
      return img;
    }
    case IDB_LEVEL_LOW:
    case IDB_LEVEL_HIGH: {
      QImage img = canvas(4, 4);
      KvDC dc(&img);
      dc.FillSolidRect(KvRect(0, 0, 4, 4), id == IDB_LEVEL_HIGH ? kRed : kGreen);
      return img;
    }
    case IDB_FILL_MARK: {
      QImage img = canvas(8, 8);
      KvDC dc(&img);
      dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
      dc.SelectBrush(KvBrush(0x00FFFF));
      dc.Ellipse(0, 0, 8, 8);
      return img;
    }
    case IDB_ANNOT_BUTTON: {
      QImage img = canvas(15, 15);
      KvDC dc(&img);
      dc.SelectPen(KvPen(PS_SOLID, 1, kGrey));
      dc.SelectBrush(KvBrush::Null());
      dc.Rectangle(0, 0, 15, 15);
      dc.SelectPen(KvPen(PS_SOLID, 1, kRed));
      dc.MoveTo(3, 3);
      dc.LineTo(12, 12);
      dc.MoveTo(11, 3);
      dc.LineTo(2, 12);
      return img;
    }
    default:
      break;
  }
  if (id >= IDB_STYLE_0 && id <= 180) {
    int k = id - IDB_STYLE_0;  // 171 thin 0, 172 wide 5, 173 thin 1 ...
    return line_style(k % 2 == 0 ? k / 2 : 5 + k / 2);
  }
  if (id >= IDB_SWATCH_FIRST && id <= IDB_SWATCH_LAST) {
    QImage img = canvas(32, 12);
    KvDC dc(&img);
    dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
    dc.SelectBrush(KvBrush(kv_swatch_colors[id - IDB_SWATCH_FIRST]));
    dc.Rectangle(1, 1, 31, 11);
    return img;
  }
  return QImage();
}
