// Pictures of graphical trading: the order marks at the left of each order
// line and the seven buttons of the status strip, drawn at 15 x 15 on a
// white background that the trading view recolours to the chart's.
#include <QPainter>
#include <QPolygon>

#include "chartwin/tradeview.h"

namespace {

const QColor kBuy(0x00, 0x90, 0x00), kSell(0xd0, 0x00, 0x00), kNeutral(0x55, 0x57, 0x53),
    kInactive(0xa0, 0xa0, 0xa0), kFrame(0x88, 0x8a, 0x85);

QImage blank() {
  QImage img(15, 15, QImage::Format_RGB32);
  img.fill(Qt::white);
  return img;
}

// An arrow up (buy), down (sell) or a bar (neutral) on the left, the
// family's letters on the right.
void mark(QImage& img, int side, const QColor& c, const char* letters) {
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(c);
  p.setBrush(c);
  QPolygon arrow;
  if (side == 0)
    arrow << QPoint(3, 2) << QPoint(6, 6) << QPoint(0, 6);
  else if (side == 1)
    arrow << QPoint(0, 8) << QPoint(6, 8) << QPoint(3, 12);
  if (side < 2)
    p.drawPolygon(arrow);
  else
    p.drawRect(0, 6, 5, 2);
  if (side == 0) p.drawLine(3, 6, 3, 12);
  if (side == 1) p.drawLine(3, 2, 3, 8);
  QFont f(QStringLiteral("Liberation Sans"));
  f.setPixelSize(letters[1] ? 7 : 9);
  f.setBold(true);
  p.setFont(f);
  p.drawText(QRect(6, 0, 9, 15), Qt::AlignCenter, QString::fromLatin1(letters));
}

const char* const kFamilyLetters[6] = {"L", "S", "SL", "T", "M", "LI"};

}  // namespace

QImage grtrade_order_bitmap(int slot) {
  if (slot < 0 || slot >= GR_BITMAP_SLOTS) return QImage();
  int family = slot / 6, rest = slot % 6;
  int side = rest % 3;
  bool inactive = rest >= 3;
  // The neutral pictures have no inactive form.
  if (side == 2 && inactive) return QImage();
  QImage img = blank();
  QColor c = inactive ? kInactive : side == 0 ? kBuy : side == 1 ? kSell : kNeutral;
  mark(img, side, c, kFamilyLetters[family]);
  return img;
}

QImage grtrade_button_bitmap(int button) {
  static const struct {
    int side;
    const char* letters;
  } kButtons[8] = {{2, ""}, {0, "L"}, {1, "L"}, {2, "S"}, {2, "T"}, {2, "SL"}, {2, "M"}, {2, "LI"}};
  if (button < 1 || button > GR_BUTTON_COUNT) return QImage();
  QImage img = blank();
  mark(img, kButtons[button].side,
       kButtons[button].side == 0   ? kBuy
       : kButtons[button].side == 1 ? kSell
                                    : kNeutral,
       kButtons[button].letters);
  QPainter p(&img);
  p.setPen(kFrame);
  p.setBrush(Qt::NoBrush);
  p.drawRect(0, 0, 14, 14);
  return img;
}
