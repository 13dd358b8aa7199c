// A custom-drawn view with a backing image.
//
// The view's picture lives in an image of the client size. Invalidate marks
// a part as needing OnDraw (with OnEraseBkgnd first when asked); the next
// paint runs them into the image, clipped to that part, and copies the
// image to the screen. Code may also draw into the image at any time
// through a KvClientDC (the newest bar, the quote strip, rubber-band lines,
// pop-up boxes); when the KvClientDC goes, the rectangle it changed is
// copied to the screen without running OnDraw.
//
// The optional horizontal scroll bar follows the window system's numbers:
// positions min..max with a page, the last position being max - page + 1.
#pragma once

#include <QImage>
#include <QRegion>
#include <QScrollBar>

#include "platform/qt/dc.h"
#include "platform/qt/docview.h"

// Scroll-bar codes of OnHScroll.
enum : int {
  SB_LINELEFT = 0,
  SB_LINERIGHT = 1,
  SB_PAGELEFT = 2,
  SB_PAGERIGHT = 3,
  SB_THUMBPOSITION = 4,
  SB_THUMBTRACK = 5,
  SB_LEFT = 6,
  SB_RIGHT = 7,
  SB_ENDSCROLL = 8
};

struct KvScrollInfo {
  int min = 0, max = 0, page = 0, pos = 0;
};

class KvCanvasView : public KvView {
 public:
  explicit KvCanvasView(QWidget* parent = nullptr);

  // The client rectangle: the view less its scroll bar.
  KvRect GetClientRect() const;
  QImage& backing() { return m_backing; }

  void Invalidate(bool erase = true);
  void InvalidateRect(const KvRect& r, bool erase = true);
  // Paints what is invalid now instead of at the next turn of the loop.
  void UpdateWindow();
  // Copies a rectangle of the image to the screen (drawing done elsewhere).
  void Flush(const KvRect& r);

  void SetScrollInfo(const KvScrollInfo& si, bool redraw = true);
  KvScrollInfo GetScrollInfo() const;
  int GetScrollPos() const { return GetScrollInfo().pos; }
  void SetScrollPos(int pos, bool redraw = true);
  void ShowScrollBar(bool show);
  bool IsScrollBarVisible() const;

 protected:
  // Draws the invalid part; dc is clipped to it.
  virtual void OnDraw(KvDC& dc) = 0;
  // Paints the background of the invalid part; the default fills white.
  virtual bool OnEraseBkgnd(KvDC& dc);
  virtual void OnHScroll(int code, int pos) {}
  // The client area changed size (the image is already resized).
  virtual void OnSize(int cx, int cy) {}

  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void paint_invalid();
  void layout_scrollbar();
  QImage m_backing;
  QRegion m_invalid;
  bool m_erase = false;
  QScrollBar* m_hscroll;
  KvScrollInfo m_si;
  bool m_hs_shown = false;
  int m_last_action = -1;
};

// Draws into a canvas view's image outside its paint; the changed part is
// put on the screen when the object goes.
class KvClientDC : public KvDC {
 public:
  explicit KvClientDC(KvCanvasView* view);
  ~KvClientDC();

 private:
  KvCanvasView* m_view;
};
