// The program's cursors, drawn at 32 x 32 with their hot spots.
#include <QPainter>
#include <QPixmap>

#include "platform/qt/dc.h"
#include "res/resource.h"

namespace {

// Draws a cursor shape in black with a white outline on a transparent
// 32 x 32 picture.
QPixmap shape(const std::function<void(QPainter&)>& draw) {
  QImage img(32, 32, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::white, 3));
  draw(p);
  p.setPen(QPen(Qt::black, 1));
  draw(p);
  return QPixmap::fromImage(img);
}

void arrow_head(QPainter& p, int x, int y, int dx, int dy) {
  // A small V at (x, y) pointing in (dx, dy).
  p.drawLine(x, y, x - dx * 3 - dy * 3, y - dy * 3 - dx * 3);
  p.drawLine(x, y, x - dx * 3 + dy * 3, y - dy * 3 + dx * 3);
}

}  // namespace

QCursor kv_res_cursor(int id) {
  switch (id) {
    case IDC_SPLIT:  // a bar with arrows up and down
      return QCursor(shape([](QPainter& p) {
                       p.drawLine(8, 15, 23, 15);
                       p.drawLine(8, 17, 23, 17);
                       p.drawLine(16, 6, 16, 12);
                       p.drawLine(16, 20, 16, 26);
                       arrow_head(p, 16, 6, 0, -1);
                       arrow_head(p, 16, 26, 0, 1);
                     }),
                     16, 16);
    case IDC_MOVE:  // four arrows
      return QCursor(shape([](QPainter& p) {
                       p.drawLine(16, 5, 16, 27);
                       p.drawLine(5, 16, 27, 16);
                       arrow_head(p, 16, 5, 0, -1);
                       arrow_head(p, 16, 27, 0, 1);
                       arrow_head(p, 5, 16, -1, 0);
                       arrow_head(p, 27, 16, 1, 0);
                     }),
                     16, 16);
    case IDC_DRAW:  // cross hair with a small pen line
      return QCursor(shape([](QPainter& p) {
                       p.drawLine(16, 6, 16, 26);
                       p.drawLine(6, 16, 26, 16);
                       p.drawLine(20, 12, 27, 5);
                     }),
                     16, 16);
    case IDC_OVER_LINE:  // a pointing arrow over a line
      return QCursor(shape([](QPainter& p) {
                       p.drawLine(2, 2, 2, 16);
                       p.drawLine(2, 2, 12, 12);
                       p.drawLine(2, 16, 12, 12);
                       p.drawLine(8, 24, 28, 24);
                     }),
                     2, 2);
    case IDC_CANDLE_SELECT:  // a candle with a pointer
      return QCursor(shape([](QPainter& p) {
                       p.drawLine(16, 4, 16, 28);
                       p.drawRect(13, 10, 6, 10);
                       arrow_head(p, 16, 4, 0, -1);
                     }),
                     16, 4);
    case IDC_HAND:
      return QCursor(Qt::PointingHandCursor);
    default:
      return QCursor(Qt::ArrowCursor);
  }
}
