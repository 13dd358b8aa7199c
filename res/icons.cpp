// The program's icon and the images of its toolbar buttons.
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStringList>
#include <QPolygonF>

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
    for (C c : {C{6, 8, 26, 12, 22, 0x00C000}, C{14, 4, 22, 8, 16, 0x0000E0},
                C{22, 6, 28, 10, 20, 0x00C000}}) {
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

// Buttons with a picture in the desktop icon theme, by freedesktop name.
struct ThemeName {
  int id;
  const char* name;
};
const ThemeName kThemeNames[] = {
    {57600, "document-new"},
    {57601, "document-open"},
    {57607, "document-print"},
    {57664, "help-about"},
    {32977, "view-refresh"},
    {33278, "system-run"},
    {33279, "media-eject"},
    {33166, "media-playback-start"},
    {33168, "media-playback-stop"},
    {33280, "media-skip-backward"},
    {33276, "media-skip-forward"},
    {33282, "media-seek-forward"},
    {33277, "go-last"},
};

const QColor kInk(0x2e, 0x34, 0x36), kUp(0x4e, 0x9a, 0x06), kDown(0xcc, 0x00, 0x00),
    kBlueInk(0x34, 0x65, 0xa4), kPaper(0xfa, 0xfa, 0xf8), kRule(0xba, 0xbd, 0xb6),
    kGold(0xc4, 0xa0, 0x00);

void candle(QPainter& p, double x, double hi, double lo, double top, double bottom,
            const QColor& c) {
  p.setPen(QPen(kInk, 1.2));
  p.drawLine(QPointF(x + 2, hi), QPointF(x + 2, lo));
  p.setBrush(c);
  p.drawRect(QRectF(x, top, 4, bottom - top));
}

// A sheet of paper with rows: the base of the list-like windows.
void sheet(QPainter& p, const QRectF& r) {
  p.setPen(QPen(kInk.lighter(180), 1));
  p.setBrush(kPaper);
  p.drawRoundedRect(r, 1.5, 1.5);
}

void clock_face(QPainter& p, QPointF c, double radius) {
  p.setPen(QPen(kInk, 1.4));
  p.setBrush(kPaper);
  p.drawEllipse(c, radius, radius);
  p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, c + QPointF(0, -radius * 0.65));
  p.drawLine(c, c + QPointF(radius * 0.5, 0));
}

// Pictograms of the things that have no name in the icon theme, drawn in a
// box of 24 x 24 units.
bool pictogram(QPainter& p, int id) {
  p.setRenderHint(QPainter::Antialiasing);
  switch (id) {
    case 32907:  // a chart: candles
      candle(p, 3, 6, 20, 9, 16, kUp);
      candle(p, 10, 3, 15, 5, 11, kDown);
      candle(p, 17, 5, 21, 8, 18, kUp);
      return true;
    case 32908: {  // symbol map: coloured tiles
      const QColor tiles[9] = {kUp,
                               kUp.lighter(140),
                               kDown,
                               kDown.lighter(150),
                               kUp,
                               kUp.darker(120),
                               kUp.lighter(160),
                               kDown,
                               kUp.lighter(130)};
      p.setPen(Qt::NoPen);
      for (int i = 0; i < 9; i++) {
        p.setBrush(tiles[i]);
        p.drawRoundedRect(QRectF(2.5 + (i % 3) * 6.5, 2.5 + (i / 3) * 6.5, 5.5, 5.5), 1, 1);
      }
      return true;
    }
    case 32969:  // quotes: rows of a table with rising and falling values
      sheet(p, QRectF(2.5, 3.5, 19, 17));
      p.setPen(Qt::NoPen);
      p.setBrush(kBlueInk);
      p.drawRect(QRectF(3, 4, 18, 3));
      for (int r = 0; r < 4; r++) {
        p.setBrush(kRule);
        p.drawRect(QRectF(4.5, 9 + r * 3, 8, 1.5));
        p.setBrush(r % 3 == 1 ? kDown : kUp);
        p.drawRect(QRectF(14.5, 9 + r * 3, 5, 1.5));
      }
      return true;
    case 32970: {  // horse race: lanes running to a finish line
      const double len[4] = {14, 18, 10, 16};
      const QColor c[4] = {kBlueInk, kUp, kDown, kGold};
      p.setPen(QPen(kInk, 1, Qt::DashLine));
      p.drawLine(QPointF(21.5, 2), QPointF(21.5, 22));
      p.setPen(Qt::NoPen);
      for (int i = 0; i < 4; i++) {
        p.setBrush(c[i].lighter(150));
        p.drawRect(QRectF(2, 3.5 + i * 5, len[i] - 3, 2));
        p.setBrush(c[i]);
        p.drawEllipse(QPointF(len[i], 4.5 + i * 5), 2.2, 2.2);
      }
      return true;
    }
    case 33011:  // time and sales: the tape with a clock
      sheet(p, QRectF(2.5, 2.5, 14, 19));
      p.setPen(Qt::NoPen);
      for (int r = 0; r < 5; r++) {
        p.setBrush(r % 2 ? kDown : kUp);
        p.drawRect(QRectF(4.5, 5 + r * 3.2, 10, 1.6));
      }
      clock_face(p, QPointF(16.5, 16.5), 5.5);
      return true;
    case 33292: {  // volume at price: a sideways histogram against a price axis
      const double len[6] = {6, 10, 16, 19, 12, 7};
      p.setPen(Qt::NoPen);
      for (int i = 0; i < 6; i++) {
        p.setBrush(i == 3 ? kBlueInk : kBlueInk.lighter(160));
        p.drawRect(QRectF(3, 3 + i * 3.2, len[i], 2.4));
      }
      p.setPen(QPen(kInk, 1.5));
      p.drawLine(QPointF(2.5, 2), QPointF(2.5, 22));
      return true;
    }
    case 32911: {  // real-time quotes: a live trace with its newest tick
      QPainterPath path(QPointF(2, 14));
      for (QPointF q : {QPointF(6, 14), QPointF(8, 8), QPointF(11, 19), QPointF(14, 5),
                        QPointF(16, 14), QPointF(19, 14)})
        path.lineTo(q);
      p.setPen(QPen(kUp.darker(110), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.setBrush(Qt::NoBrush);
      p.drawPath(path);
      p.setPen(Qt::NoPen);
      p.setBrush(kDown);
      p.drawEllipse(QPointF(20.5, 14), 2.5, 2.5);
      return true;
    }
    case 33295: {  // account updates: a briefcase with an arrow
      p.setPen(QPen(kInk, 1.3));
      p.setBrush(QColor(0x8f, 0x59, 0x02));
      p.drawRoundedRect(QRectF(2.5, 8.5, 19, 12), 2, 2);
      p.setBrush(Qt::NoBrush);
      p.drawRoundedRect(QRectF(8.5, 5, 7, 3.5), 1, 1);
      p.setPen(QPen(kPaper, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(
          QPolygonF({QPointF(7, 16), QPointF(10.5, 12.5), QPointF(13, 15), QPointF(17, 11)}));
      return true;
    }
    case 33281:  // real-time playback speed: a clock
      clock_face(p, QPointF(12, 12), 9);
      return true;
    case 1014:  // symbol list: a list of names
      sheet(p, QRectF(4.5, 2.5, 15, 19));
      p.setPen(Qt::NoPen);
      p.setBrush(kRule.darker(130));
      for (int r = 0; r < 5; r++) p.drawRect(QRectF(7, 5.5 + r * 3.2, r % 2 ? 7 : 10, 1.6));
      return true;
    case 1022:  // line colour
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(Qt::red));
      p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
      return true;
    case 33243:  // line style
      p.setPen(QPen(kInk, 1.6, Qt::SolidLine));
      p.drawLine(QPointF(3, 6), QPointF(21, 6));
      p.setPen(QPen(kInk, 1.6, Qt::DashLine));
      p.drawLine(QPointF(3, 12), QPointF(21, 12));
      p.setPen(QPen(kInk, 1.6, Qt::DotLine));
      p.drawLine(QPointF(3, 18), QPointF(21, 18));
      return true;
    default:
      break;
  }
  // Drawing tools show the line they draw.
  p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  auto line = [&](double x1, double y1, double x2, double y2) {
    p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
  };
  switch (id) {
    case 33231:  // arrow mode
      p.setBrush(kPaper);
      p.drawPolygon(QPolygonF({QPointF(6, 3), QPointF(6, 18), QPointF(10, 14), QPointF(13, 20),
                               QPointF(15.5, 19), QPointF(12.5, 13), QPointF(17.5, 13)}));
      return true;
    case 33230:
      line(2, 12, 22, 12);
      return true;
    case 33229:
      line(12, 2, 12, 22);
      return true;
    case 33233:
      line(5, 17, 19, 7);
      p.setBrush(kBlueInk);
      p.drawEllipse(QPointF(5, 17), 2, 2);
      p.drawEllipse(QPointF(19, 7), 2, 2);
      return true;
    case 33232:
      line(5, 17, 23, 4);
      p.setBrush(kBlueInk);
      p.drawEllipse(QPointF(5, 17), 2, 2);
      return true;
    case 33234:
      line(1, 20, 23, 4);
      return true;
    case 33240:
      for (double y : {3.0, 7.5, 10.5, 13.5, 18.0}) line(3, y, 21, y);
      return true;
    case 33236:
      line(2, 14, 22, 5);
      line(2, 20, 22, 11);
      return true;
    case 33247:
      line(2, 12, 16, 3);
      line(8, 21, 22, 12);
      return true;
    default:
      return false;
  }
}

QIcon draw_icon(int id) {
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48}) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(size / 24.0, size / 24.0);
    if (!pictogram(p, id)) return QIcon();
    p.end();
    icon.addPixmap(QPixmap::fromImage(img));
  }
  return icon;
}

}  // namespace

const char* kv_res_theme_icon_name(int command_id) {
  for (const ThemeName& t : kThemeNames)
    if (t.id == command_id) return t.name;
  return nullptr;
}

QIcon kv_res_command_image(int command_id) {
  if (const char* name = kv_res_theme_icon_name(command_id))
    return QIcon::fromTheme(QString::fromLatin1(name));
  return draw_icon(command_id);
}

void kv_res_install() {
  // Without a desktop session (a virtual display, a bare window manager)
  // no icon theme is set: the full-colour Adwaita icons stand in.
  QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  // A platform without a desktop theme of its own (offscreen) knows neither
  // a theme nor where themes live: the base theme and the freedesktop
  // folders lead it to the fallback.
  if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("hicolor"));
  QStringList paths = QIcon::themeSearchPaths();
  QStringList data =
      QString::fromLocal8Bit(qgetenv("XDG_DATA_DIRS")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
  if (data.isEmpty()) data = {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")};
  for (const QString& d : data) {
    QString icons = d + QStringLiteral("/icons");
    if (!paths.contains(icons)) paths.append(icons);
  }
  QIcon::setThemeSearchPaths(paths);
  kv_set_image_loader([](int image) {
    QImage b = kv_res_bitmap(image);
    if (!b.isNull()) return QIcon(QPixmap::fromImage(b));
    return kv_res_command_image(image);
  });
}
