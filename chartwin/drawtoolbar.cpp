// The drawing toolbar's colour and line-style combos.
#include "chartwin/drawtoolbar.h"

#include <QAction>
#include <QFontMetrics>
#include <QToolBar>
#include <algorithm>

#include "chart/annotview.h"
#include "chart/linegeom.h"
#include "chartwin/annotlayers.h"
#include "res/resource.h"
#include "studies/pages/bitmapcombo.h"

const COLORREF kDrawColors[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                                  0x808000, 0xC0C0C0, 0xFFFFFF, 0x0000FF, 0x00FF00, 0x00FFFF,
                                  0xFF0000, 0xFF00FF, 0xFFFF00, 0x808080};

namespace {

enum { DEFAULT_COLOR_ENTRY = 9, LIST_LINES = 16 };

QAction* action_of(QToolBar* bar, unsigned id) {
  for (QAction* a : bar->actions())
    if (a->data().toUInt() == id) return a;
  return nullptr;
}

}  // namespace

int CDrawToolBar::ColorEntry(COLORREF color) {
  for (int i = 0; i < 16; i++)
    if (kDrawColors[i] == color) return i;
  return DEFAULT_COLOR_ENTRY;
}

CDrawToolBar::CDrawToolBar(QToolBar* bar) : QObject(bar), m_bar(bar) {
  int avg = QFontMetrics(bar->font()).averageCharWidth();

  m_color = new CBitmapComboBox(bar);
  m_color->setObjectName(QStringLiteral("line_color"));
  m_color->setToolTip(QStringLiteral("Line Color"));
  m_color->setStatusTip(QStringLiteral("Current line color in use"));
  m_color->setMaxVisibleItems(LIST_LINES);
  m_color->setMinimumWidth(8 * avg + 24);
  for (int i = 0; i < 16; i++) {
    m_swatches[i] = kv_res_bitmap(IDB_SWATCH_FIRST + i);
    m_color->AddBitmap(&m_swatches[i]);
  }

  m_style = new CBitmapComboBox(bar);
  m_style->setObjectName(QStringLiteral("line_style"));
  m_style->setToolTip(QStringLiteral("Line Style"));
  m_style->setStatusTip(QStringLiteral("Currently selected line style"));
  m_style->setMaxVisibleItems(LIST_LINES);
  m_style->setMinimumWidth(10 * avg + 24);
  m_style->LoadLineStyles(m_styles);

  Refresh();
  // A choice sets the value; opening the list shows the current one, and
  // closing it without a choice leaves everything as it was.
  connect(m_color, &KvComboBox::droppedDown, this, [this] { Refresh(); });
  connect(m_style, &KvComboBox::droppedDown, this, [this] { Refresh(); });
  connect(m_color, qOverload<int>(&QComboBox::activated), this, [this](int i) { color_chosen(i); });
  connect(m_style, qOverload<int>(&QComboBox::activated), this, [this](int i) { style_chosen(i); });
  connect(m_color, &KvComboBox::closedUp, this, [this] { return_focus(); });
  connect(m_style, &KvComboBox::closedUp, this, [this] { return_focus(); });
}

void CDrawToolBar::Refresh() {
  m_color->SetCurSel(ColorEntry(g_annot_draw.color));
  int style = g_annot_draw.style;
  m_style->SetCurSel(style >= 0 && style < 10 ? style : 0);
}

void CDrawToolBar::color_chosen(int index) {
  if (index < 0 || index >= 16) return;
  g_annot_draw.color = kDrawColors[index];
  m_color->SetCurSel(index);
}

void CDrawToolBar::style_chosen(int index) {
  if (index < 0 || index >= 10) return;
  g_annot_draw.style = index;
  // New lines take this width (a width of 0 counts as 1).
  g_annot_draw.width = LineStyleWidth(index, std::max(g_annot_draw.width, 1));
  m_style->SetCurSel(index);
}

void CDrawToolBar::return_focus() {
  if (QWidget* w = m_bar->parentWidget()) w->setFocus();
}

CDrawToolBar* install_draw_toolbar(QToolBar* bar) {
  if (!bar) return nullptr;
  QAction* color = action_of(bar, ID_LINE_COLOR_COMBO);
  QAction* style = action_of(bar, ID_LINE_STYLE_COMBO);
  if (!color || !style) return nullptr;
  auto* t = new CDrawToolBar(bar);
  bar->insertWidget(color, t->ColorCombo());
  bar->insertWidget(style, t->StyleCombo());
  bar->removeAction(color);
  bar->removeAction(style);
  delete color;
  delete style;
  return t;
}
