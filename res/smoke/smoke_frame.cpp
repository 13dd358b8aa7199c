// Starts the application object with a main frame, its menus and toolbars
// and one custom-drawn window on the real display, takes a screenshot and
// checks that the window's drawing reached the screen.
// Usage: kv_smoke_frame OUTPUT.png
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTimer>
#include <cstdio>

#include "platform/qt/app.h"
#include "platform/qt/canvas.h"
#include "platform/qt/frames.h"
#include "res/resource.h"

namespace {

struct SmokeDoc : KvDocument {};

// A small chart: grid, candles and a line drawn after the paint.
struct SmokeView : KvCanvasView {
  void OnDraw(KvDC& dc) override {
    KvRect c = GetClientRect();
    dc.FillSolidRect(c, 0x000000);
    dc.SelectPen(KvPen(PS_DOT, 1, 0x606060));
    dc.SetBkMode(TRANSPARENT);
    for (int y = 20; y < c.bottom; y += 40) {
      dc.MoveTo(0, y);
      dc.LineTo(c.right, y);
    }
    for (int i = 0; i < 20; i++) {
      int x = 10 + i * 14, hi = 40 + (i * 37) % 60, lo = hi + 60, op = hi + 15, cl = hi + 40;
      bool up = i % 3 != 0;
      dc.SelectPen(KvPen(PS_SOLID, 1, 0xFFFFFF));
      dc.MoveTo(x + 3, hi);
      dc.LineTo(x + 3, lo);
      dc.SelectBrush(KvBrush(up ? 0x00FF00 : 0x0000FF));
      dc.Rectangle(x, up ? op : cl - 20, x + 7, up ? cl : cl + 5);
    }
    dc.SelectFont(KvFont(QStringLiteral("Arial"), 8));
    dc.SetTextColor(0xFFFFFF);
    dc.TextOut(4, 2, "KVN (5m)  Last: 101.25");
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
    return 2;
  }
  KvApp app(argc, argv);
  kv_res_install();
  app.setWindowIcon(kv_res_icon(IDR_MAINFRAME));
  KvMainFrame frame;
  frame.setWindowTitle(QStringLiteral("Korvane"));
  frame.SetDefaultMenu(kv_res_menu(IDR_MAINFRAME));
  frame.AddMenu(IDR_CHART, kv_res_menu(IDR_CHART));
  frame.SetAccelerators(kv_res_accelerators());
  frame.AddControlBar(0xE800, QStringLiteral("Main"), kv_res_toolbar(IDR_MAINFRAME));
  frame.AddControlBar(295, QStringLiteral("DRAW"), kv_res_toolbar(IDR_DRAW_BAR));
  frame.SetStatusPanes({0, 175});
  frame.SetPaneText(1, QStringLiteral("Data Collection Off"));
  frame.resize(900, 600);
  frame.show();
  auto tmpl = std::make_unique<KvDocTemplate>(
      IDR_CHART, [] { return new SmokeDoc; }, nullptr, [] { return new SmokeView; });
  tmpl->menu_id = IDR_CHART;
  KvDocTemplate* t = tmpl.get();
  app.AddDocTemplate(std::move(tmpl));
  KvDocument* doc = t->OpenDocumentFile(QString());
  if (!doc) return 3;
  doc->SetTitle(QStringLiteral("KVN(5m)"));
  doc->GetFirstView()->GetParentFrame()->setGeometry(10, 10, 420, 300);

  // The first picture may take a while on a loaded machine (sanitizers,
  // parallel tests): look every 200 ms, give up after 60 s.
  int rc = 1, tries = 0;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QScreen* screen = QGuiApplication::primaryScreen();
    QImage shot = screen ? screen->grabWindow(0).toImage() : QImage();
    if (shot.isNull()) shot = frame.grab().toImage();
    // The chart's green candles must be on the screen.
    int green = 0;
    for (int y = 0; y < shot.height(); y++)
      for (int x = 0; x < shot.width(); x++)
        if ((shot.pixel(x, y) & 0xFFFFFF) == 0x00FF00) green++;
    bool ok = green > 100 && frame.menuBar()->actions().size() > 5;
    if (!ok && ++tries < 300) return;
    shot.save(QString::fromLocal8Bit(argv[1]), "PNG");
    std::printf("screenshot %dx%d, %d chart pixels, menu items %d\n", shot.width(), shot.height(),
                green, int(frame.menuBar()->actions().size()));
    rc = ok ? 0 : 1;
    poll.stop();
    app.quit();
  });
  poll.start(200);
  app.exec();
  return rc;
}
