// The program's icon and the images of its toolbar buttons.
#include <QPixmap>

#include "platform/qt/dc.h"
#include "res/resource.h"

QIcon kv_res_icon(int id) {
  if (id != IDR_MAINFRAME) return QIcon();
  // Three candles on a dark square.
  QImage img(32, 32, QImage::Format_RGB32);
  img.fill(kv_qcolor(0x402010));
  {
    KvDC dc(&img);
    struct C {
      int x, hi, lo, top, bot;
      COLORREF c;
    };
    for (C c : {C{6, 8, 26, 12, 22, 0x00C000}, C{14, 4, 22, 8, 16, 0x0000E0}, C{22, 6, 28, 10, 20, 0x00C000}}) {
      dc.SelectPen(KvPen(PS_SOLID, 1, 0xFFFFFF));
      dc.MoveTo(c.x + 2, c.hi);
      dc.LineTo(c.x + 2, c.lo);
      dc.SelectBrush(KvBrush(c.c));
      dc.Rectangle(c.x, c.top, c.x + 5, c.bot);
    }
  }
  return QIcon(QPixmap::fromImage(img));
}

namespace {

// Drawing tools show the line they draw.
bool draw_tool(KvDC& dc, int id) {
  dc.SelectPen(KvPen(PS_SOLID, 1, 0x000000));
  switch (id) {
    case 33231:  // arrow mode
      dc.MoveTo(4, 2);
      dc.LineTo(4, 12);
      dc.LineTo(7, 9);
      dc.LineTo(11, 13);
      dc.MoveTo(7, 9);
      dc.LineTo(11, 9);
      dc.LineTo(4, 2);
      return true;
    case 33230: dc.MoveTo(1, 7); dc.LineTo(15, 7); return true;
    case 33229: dc.MoveTo(8, 1); dc.LineTo(8, 14); return true;
    case 33233: dc.MoveTo(3, 11); dc.LineTo(13, 4); return true;
    case 33232: dc.MoveTo(3, 11); dc.LineTo(15, 2); dc.FillSolidRect(KvRect(2, 10, 5, 13), 0); return true;
    case 33234: dc.MoveTo(0, 13); dc.LineTo(16, 1); return true;
    case 33240:
      for (int y : {2, 5, 7, 9, 12}) {
        dc.MoveTo(2, y);
        dc.LineTo(14, y);
      }
      return true;
    case 33236:
      dc.MoveTo(1, 9); dc.LineTo(15, 3);
      dc.MoveTo(1, 13); dc.LineTo(15, 7);
      return true;
    case 33247:
      dc.MoveTo(1, 8); dc.LineTo(11, 2);
      dc.MoveTo(5, 13); dc.LineTo(15, 7);
      return true;
    default: return false;
  }
}

}  // namespace

QIcon kv_res_command_image(int command_id) {
  QImage img(16, 15, QImage::Format_RGB32);
  img.fill(kv_qcolor(0xC0C0C0));
  {
    KvDC dc(&img);
    if (!draw_tool(dc, command_id)) {
      // Other buttons: the first letter of their tool tip in a frame.
      QString tip = kv_tool_tip_text(kv_res_prompt(unsigned(command_id)));
      QString letter = tip.isEmpty() ? QStringLiteral("?") : tip.left(1).toUpper();
      dc.SelectPen(KvPen(PS_SOLID, 1, 0x808080));
      dc.SelectBrush(KvBrush(0xFFFFFF));
      dc.Rectangle(1, 1, 15, 14);
      dc.SelectFont(KvFont(QStringLiteral("Arial"), 7, true));
      dc.SetTextColor(0x800000);
      dc.SetBkMode(TRANSPARENT);
      KvRect r(1, 1, 15, 14);
      dc.DrawText(letter, r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
  }
  return QIcon(QPixmap::fromImage(img));
}

void kv_res_install() {
  kv_set_image_loader([](int image) {
    QImage b = kv_res_bitmap(image);
    if (!b.isNull()) return QIcon(QPixmap::fromImage(b));
    return kv_res_command_image(image);
  });
}
