// The box the chart view's two pop-ups (candle information and events)
// share: a list of label/value lines drawn straight into the view's backing
// image over the price area while the left button is held. What lies under
// the box is saved before it is drawn and put back when it moves or hides.
//
// The box hangs from the top of the client area: against the right edge
// when the bar shown lies in the first half of the visible bars, against
// the left edge otherwise, so it never covers the bar being read.
#pragma once

#include <QImage>
#include <QString>
#include <vector>

#include "platform/qt/color.h"
#include "platform/qt/rect.h"

class KvCanvasView;
class KvDC;

struct popup_line {
  QString label, value;
  COLORREF label_color = 0, value_color = 0;
  int label_width = 0, value_width = 0, height = 0;
};

class ChartPopupBox {
 public:
  explicit ChartPopupBox(const char* trace_name) : m_trace_name(trace_name) {}
  virtual ~ChartPopupBox() = default;

  // Measures the lines and places the box for the bar at visible offset
  // `offset` of `visible` bars; a changed rectangle restores the old place
  // first and, when shown, saves and draws the new one.
  void SizeWindow(KvCanvasView* view, int offset, int visible);
  // Show: save what is under the box and draw it. Hide: restore the
  // screen and empty the box.
  void OnShowWindow(bool show);
  // Draws the box (no save).
  void OnPaint();
  // The view repainted under a shown box: save again and draw.
  void Repaint(KvDC& dc);

  bool IsVisible() const { return m_visible; }
  const KvRect& BoxRect() const { return m_rect; }
  const std::vector<popup_line>& Lines() const { return m_lines; }
  KvCanvasView* View() const { return m_view; }
  // The view is going: the box (shared by every chart for the events)
  // forgets it and its lines without drawing.
  void ForgetView(const KvCanvasView* view) {
    if (m_view != view) return;
    m_view = nullptr;
    m_visible = false;
    m_lines.clear();
    m_rect = KvRect();
    m_saved = QImage();
  }

 protected:
  void add_line(const QString& label, const QString& value, COLORREF label_color);
  void clear_lines() { m_lines.clear(); }
  // White text on a black background, black on any other.
  COLORREF text_color() const { return m_bg == 0 ? 0xFFFFFF : 0; }

  COLORREF m_bg = 0xFFFFFF;
  KvCanvasView* m_view = nullptr;

 private:
  void draw(KvDC& dc);
  void restore(KvDC& dc);

  const char* m_trace_name;
  std::vector<popup_line> m_lines;
  KvRect m_rect;
  QImage m_saved;
  bool m_visible = false;
};
