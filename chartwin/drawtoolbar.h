// CDrawToolBar: the main frame's drawing toolbar. Beside the line tools of
// the chart windows (commands the chart views handle) it holds two picture
// combos, the colour and the line style that new annotation lines get. The
// chosen values live in the shared drawing state (g_annot_draw) that every
// chart's line editor reads.
//
// A combo takes a value only when the user chooses an entry; closing the
// list without a choice keeps the value it had, and the list opens on it.
#pragma once

#include <QImage>
#include <QObject>
#include <cstdint>

#include "platform/qt/color.h"

class CBitmapComboBox;
class QToolBar;

// Command ids of the two combos on the bar.
enum : unsigned { ID_LINE_COLOR_COMBO = 1022, ID_LINE_STYLE_COMBO = 33243 };

// The colours of the colour combo, in its order.
extern const COLORREF kDrawColors[16];

class CDrawToolBar : public QObject {
 public:
  // Puts the combos in place of the bar's first two buttons.
  explicit CDrawToolBar(QToolBar* bar);

  CBitmapComboBox* ColorCombo() const { return m_color; }
  CBitmapComboBox* StyleCombo() const { return m_style; }
  // The combo entries of the current colour (9 when it is not in the
  // table) and style.
  static int ColorEntry(COLORREF color);
  // Shows the current values (after a change made elsewhere).
  void Refresh();

 private:
  void color_chosen(int index);
  void style_chosen(int index);
  void return_focus();

  QToolBar* m_bar;
  CBitmapComboBox* m_color = nullptr;
  CBitmapComboBox* m_style = nullptr;
  QImage m_swatches[16];
  QImage m_styles[10];
};

// Builds the drawing toolbar on the frame's bar (owned by the bar); null
// when the bar lacks the two combo buttons.
CDrawToolBar* install_draw_toolbar(QToolBar* bar);
