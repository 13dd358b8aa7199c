// The drawing context's pixel rules, the backing image of custom-drawn
// views, and printing.
#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <string>

#include "platform/qt/canvas.h"
#include "platform/qt/printing.h"
#include "platform/qt/test_harness.h"
#include "platform/testing/fixture.h"

namespace {

constexpr COLORREF kWhite = 0xFFFFFF, kBlack = 0, kRed = 0x0000FF;

QImage blank(int w = 20, int h = 20, COLORREF c = kWhite) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kv_qcolor(c));
  return img;
}

// One row of an image as a string: '#' for pixels of colour c, '.' else.
std::string row(const QImage& img, int y, COLORREF c, int from = 0, int to = 14) {
  std::string s;
  for (int x = from; x < to; x++) s += kv_colorref_from_rgb(img.pixel(x, y)) == c ? '#' : '.';
  return s;
}

std::string column(const QImage& img, int x, COLORREF c, int from = 0, int to = 14) {
  std::string s;
  for (int y = from; y < to; y++) s += kv_colorref_from_rgb(img.pixel(x, y)) == c ? '#' : '.';
  return s;
}

class Drawing : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
  }
};

TEST_F(Drawing, ColourWordsAreBlueGreenRed) {
  EXPECT_EQ(kv_qcolor(0x0000FF), QColor(255, 0, 0));
  EXPECT_EQ(kv_qcolor(0x4080FF), QColor(0xFF, 0x80, 0x40));
  EXPECT_EQ(kv_colorref(QColor(0x12, 0x34, 0x56)), 0x563412u);
  EXPECT_EQ(RGB(0xFD, 0xF4, 0xB9), 0xB9F4FDu);
}

TEST_F(Drawing, LineToLeavesOutItsEndPixelInEveryDirection) {
  struct Case {
    int x0, y0, x1, y1;
    bool horizontal;
    int fixed;
    const char* expect;
  };
  const Case cases[] = {
      {0, 0, 10, 0, true, 0, "##########...."},  // 0..9, not 10
      {10, 2, 0, 2, true, 2, ".##########..."},  // 10..1, not 0
      {3, 0, 3, 6, false, 3, "######........"},  // vertical down
      {5, 9, 5, 4, false, 5, ".....#####...."},  // vertical up: 9..5
  };
  for (const Case& c : cases) {
    QImage img = blank();
    {
      KvDC dc(&img);
      dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
      dc.MoveTo(c.x0, c.y0);
      dc.LineTo(c.x1, c.y1);
    }
    std::string got = c.horizontal ? row(img, c.fixed, kBlack) : column(img, c.fixed, kBlack);
    EXPECT_EQ(got, c.expect) << c.x0 << "," << c.y0 << "->" << c.x1 << "," << c.y1;
  }
  // Consecutive segments meet without a gap or a doubled corner.
  QImage img = blank();
  KvDC dc(&img);
  dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
  dc.MoveTo(0, 5);
  dc.LineTo(4, 5);
  dc.LineTo(4, 9);
  EXPECT_EQ(row(img, 5, kBlack, 0, 6), "#####.");
  EXPECT_EQ(column(img, 4, kBlack, 5, 10), "####.");
}

TEST_F(Drawing, RectangleAndFillRectCoverLeftToRightMinusOne) {
  QImage img = blank();
  {
    KvDC dc(&img);
    dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
    dc.SelectBrush(KvBrush(kRed));
    dc.Rectangle(0, 0, 10, 10);
  }
  EXPECT_EQ(row(img, 0, kBlack), "##########....");  // columns 0..9
  EXPECT_EQ(row(img, 9, kBlack), "##########....");
  EXPECT_EQ(row(img, 10, kBlack), "..............");
  EXPECT_EQ(row(img, 5, kRed), ".########.....");  // the brush inside the frame
  EXPECT_EQ(column(img, 9, kBlack), "##########....");

  QImage f = blank();
  {
    KvDC dc(&f);
    dc.FillSolidRect(KvRect(2, 2, 6, 4), kRed);
  }
  EXPECT_EQ(row(f, 2, kRed), "..####........");
  EXPECT_EQ(column(f, 2, kRed), "..##..........");

  // Without a pen the fill is one pixel smaller on the right and bottom.
  QImage n = blank();
  {
    KvDC dc(&n);
    dc.SelectPen(KvPen(PS_NULL, 1, 0));
    dc.SelectBrush(KvBrush(kRed));
    dc.Rectangle(0, 0, 5, 5);
  }
  EXPECT_EQ(row(n, 0, kRed), "####..........");
  EXPECT_EQ(row(n, 4, kRed), "..............");
}

TEST_F(Drawing, InvertingLinesTwiceRestoresTheImage) {
  QImage img = blank(40, 40, 0x336699);
  {
    KvDC dc(&img);
    dc.FillSolidRect(KvRect(5, 5, 30, 20), 0x00FF00);
  }
  const QImage before = img.copy();
  for (int pass = 0; pass < 2; pass++) {
    KvDC dc(&img);
    dc.SetROP2(R2_NOT);
    dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
    dc.MoveTo(1, 1);
    dc.LineTo(37, 23);
    dc.LineTo(3, 38);  // shares a corner with the first segment
    dc.MoveTo(0, 10);
    dc.LineTo(39, 10);
    if (pass == 0) {
      EXPECT_EQ(kv_colorref_from_rgb(img.pixel(20, 10)), ~0x00FF00u & 0xFFFFFF);
      EXPECT_NE(img, before);
    }
  }
  EXPECT_EQ(img, before);

  // A rectangle with the default (white) brush inverts its inside too, so
  // that the second drawing restores it; wide pens likewise.
  for (int width : {1, 3}) {
    for (int pass = 0; pass < 2; pass++) {
      KvDC dc(&img);
      dc.SetROP2(R2_NOT);
      dc.SelectPen(KvPen(PS_SOLID, width, kBlack));
      dc.Rectangle(5, 5, 30, 20);
      if (pass == 0)
        EXPECT_EQ(kv_colorref_from_rgb(img.pixel(15, 10)), ~0x00FF00u & 0xFFFFFF) << width;
    }
    EXPECT_EQ(img, before) << width;
  }
}

TEST_F(Drawing, DottedPensUseFixedPatternsAndOpaqueGaps) {
  QImage img = blank(30, 6);
  {
    KvDC dc(&img);
    dc.SelectPen(KvPen(PS_DOT, 1, kBlack));
    dc.SetBkColor(kRed);
    dc.SetBkMode(OPAQUE);
    dc.MoveTo(0, 0);
    dc.LineTo(12, 0);
    dc.SetBkMode(TRANSPARENT);
    dc.MoveTo(0, 2);
    dc.LineTo(12, 2);
    // Inverted ink: the gaps of an opaque line are inverted too.
    dc.SetROP2(R2_NOT);
    dc.MoveTo(0, 5);
    dc.LineTo(12, 5);
    dc.SetBkMode(OPAQUE);
    dc.MoveTo(0, 4);
    dc.LineTo(12, 4);
  }
  EXPECT_EQ(row(img, 0, kBlack, 0, 12), "###...###...");
  EXPECT_EQ(row(img, 0, kRed, 0, 12), "...###...###");
  EXPECT_EQ(row(img, 2, kWhite, 0, 12), "...###...###");
  EXPECT_EQ(row(img, 4, kBlack, 0, 12), "############");
  EXPECT_EQ(row(img, 5, kBlack, 0, 12), "###...###...");
}

TEST_F(Drawing, TextOutPlacesTheTopLeftOfTheCellAndExtentsComeFromTheFont) {
  QImage img = blank(120, 40);
  KvSize ext;
  {
    KvDC dc(&img);
    dc.SelectFont(KvFont(QStringLiteral("Arial"), 8));
    dc.SetBkColor(kRed);
    dc.SetBkMode(OPAQUE);
    ext = dc.GetTextExtent("9999.99");
    dc.TextOut(10, 5, "9999.99");
  }
  // Arial 8 points at 96 dpi: an 11-pixel em; the cell is ascent + descent.
  EXPECT_GE(ext.cy, 12);
  EXPECT_LE(ext.cy, 14);
  EXPECT_GT(ext.cx, 30);
  EXPECT_LT(ext.cx, 50);
  // The opaque cell starts exactly at (10, 5) and spans the extent.
  EXPECT_EQ(kv_colorref_from_rgb(img.pixel(9, 5)), kWhite);
  EXPECT_NE(kv_colorref_from_rgb(img.pixel(10, 5)), kWhite);
  EXPECT_EQ(kv_colorref_from_rgb(img.pixel(10, 4)), kWhite);
  EXPECT_EQ(kv_colorref_from_rgb(img.pixel(10 + ext.cx, 5)), kWhite);
  EXPECT_EQ(kv_colorref_from_rgb(img.pixel(10, 5 + ext.cy)), kWhite);
}

TEST_F(Drawing, ClipAndBitBlt) {
  QImage src = blank(4, 4, kRed);
  QImage img = blank();
  {
    KvDC dc(&img);
    dc.IntersectClipRect(KvRect(0, 0, 6, 20));
    dc.FillSolidRect(KvRect(0, 0, 20, 2), kBlack);
    dc.SelectClipNone();
    dc.BitBlt(10, 10, 3, 2, src, 0, 0);
  }
  EXPECT_EQ(row(img, 0, kBlack), "######........");
  EXPECT_EQ(row(img, 10, kRed, 8, 14), "..###.");
  EXPECT_EQ(row(img, 12, kRed, 8, 14), "......");
}

// A chart-like view: a full paint draws a frame, and the "newest bar" is
// drawn later from outside the paint handler.
struct ChartLike : KvCanvasView {
  int draws = 0;
  void OnDraw(KvDC& dc) override {
    draws++;
    dc.SelectPen(KvPen(PS_SOLID, 1, kBlack));
    dc.SelectBrush(KvBrush::Null());
    dc.Rectangle(GetClientRect());
  }
  void DrawNewestBar() {
    KvClientDC dc(this);
    dc.FillSolidRect(KvRect(50, 20, 53, 60), kRed);
  }
};

TEST_F(Drawing, DrawingOutsideThePaintHandlerShowsAfterTheFlush) {
  ChartLike v;
  v.resize(120, 80);
  v.show();
  kv_pump_events(20);
  ASSERT_GE(v.draws, 1);
  int draws = v.draws;
  v.DrawNewestBar();
  kv_pump_events(20);
  QImage shown = v.grab().toImage();
  EXPECT_EQ(kv_colorref_from_rgb(shown.pixel(51, 30)), kRed);
  EXPECT_EQ(kv_colorref_from_rgb(shown.pixel(0, 0)), kBlack);  // the frame stays
  EXPECT_EQ(v.draws, draws);                                   // no full repaint was needed

  // Saving and restoring a rectangle of the image (a pop-up box).
  KvRect box(40, 25, 70, 45);
  QImage saved = kv_save_rect(v.backing(), box);
  {
    KvClientDC dc(&v);
    dc.FillSolidRect(box, 0xB8F0FE);
  }
  kv_restore_rect(v.backing(), saved, box);
  v.Flush(box);
  kv_pump_events(20);
  EXPECT_EQ(kv_colorref_from_rgb(v.grab().toImage().pixel(51, 30)), kRed);

  // Invalidate runs OnDraw again.
  v.Invalidate();
  kv_pump_events(20);
  EXPECT_GT(v.draws, draws);
  EXPECT_EQ(kv_colorref_from_rgb(v.grab().toImage().pixel(51, 30)), kWhite);
}

int g_qt_warnings = 0;
void count_qt_warnings(QtMsgType type, const QMessageLogContext&, const QString&) {
  if (type != QtDebugMsg && type != QtInfoMsg) g_qt_warnings++;
}

TEST_F(Drawing, DrawingIntoAViewThatWasNeverShownIsQuiet) {
  ChartLike v;
  g_qt_warnings = 0;
  QtMessageHandler old = qInstallMessageHandler(count_qt_warnings);
  v.DrawNewestBar();
  {
    KvClientDC dc(&v);
    dc.TextOut(0, 0, "101.25");
  }
  qInstallMessageHandler(old);
  EXPECT_EQ(g_qt_warnings, 0);
  v.resize(120, 80);
  v.show();
  kv_pump_events(20);
  EXPECT_GE(v.draws, 1);
}

// A paint of part of the view: the drawing code selects a clip of its own
// (a pane, the data area) and fills it, yet only the invalid part changes.
struct PaneFiller : KvCanvasView {
  COLORREF color = kRed;
  bool OnEraseBkgnd(KvDC&) override { return true; }
  void OnDraw(KvDC& dc) override {
    for (int pass = 0; pass < 2; pass++) {
      if (pass == 0)
        dc.SelectClipRect(GetClientRect());
      else
        dc.SelectClipNone();
      dc.FillSolidRect(GetClientRect(), color);
    }
  }
};

TEST_F(Drawing, ClipsSelectedInAPaintStayInsideThePaintedPart) {
  PaneFiller v;
  v.resize(100, 40);
  v.show();
  kv_pump_events(20);
  ASSERT_EQ(v.backing().pixel(90, 10) & 0xFFFFFF, kv_rgb_from_colorref(kRed) & 0xFFFFFF);
  v.color = kBlack;
  v.InvalidateRect(KvRect(0, 0, 50, 40), false);
  v.UpdateWindow();
  EXPECT_EQ(row(v.backing(), 10, kBlack, 45, 55), "#####.....");
}

TEST_F(Drawing, PrintsToPdfInColourAndGreyScale) {
  for (bool grey : {false, true}) {
    QPrinter printer(QPrinter::HighResolution);
    QString path = QString::fromStdString(root_.file(grey ? "grey.pdf" : "colour.pdf"));
    kv_printer_to_pdf(printer, path, grey);
    int colours = 0;
    KvRect page;
    ASSERT_TRUE(kv_print_pages(printer, 2, [&](KvDC& dc, const KvRect& r, int) {
      colours = dc.GetDeviceColors();
      page = r;
      dc.SelectPen(KvPen(PS_SOLID, 3, kRed));
      dc.MoveTo(r.left, r.top);
      dc.LineTo(r.right / 2, r.bottom / 2);
      dc.TextOut(100, 100, "Korvane");
    }));
    EXPECT_EQ(colours, grey ? 2 : 0x1000000);
    EXPECT_GT(page.Width(), 1000);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray pdf = f.readAll();
    EXPECT_TRUE(pdf.startsWith("%PDF"));
  }
}

}  // namespace
