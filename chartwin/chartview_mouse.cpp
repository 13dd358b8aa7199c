// The chart view's mouse: splitter drags, the hand-off of a press to the
// annotation editor and the alert overlay, the candle-information and
// events pop-ups while the button is held, dragging the chart's symbol out
// and dropping symbol text in, the double click that maximises, the
// right-click menus, the cursor shapes, and the bar picked in
// candle-selection mode (the base of the Selected Candle alignment).
//
// Graphical trading takes its presses after the alert overlay, and its
// moves and releases first while it holds an order; a right click over its
// area opens the order menu.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "chart/alertoverlay.h"
#include "chart/annotview.h"
#include "chartwin/annotlayers.h"
#include "chartwin/chartdoc.h"
#include "chartwin/chartevents.h"
#include "chartwin/chartview.h"
#include "chartwin/tradeview.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/frames.h"
#include "platform/qt/menus.h"
#include "platform/qt/services_qt.h"
#include "platform/qt/tracker.h"
#include "platform/services.h"
#include "quotes/mqt_record.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/mainfrm.h"

namespace {

enum : uint32_t { PREF_CANDLE_SELECT = 0x800 };
enum : unsigned { MSG_LBUTTONDOWN = 513, MSG_MOUSEMOVE = 512, MSG_LBUTTONUP = 514 };
enum : unsigned { ID_ERASE_ALL_LINES = 33008, ID_OCA_NAME = 33332, ID_ATTACH_STUDY = 33323 };
// Bits 3-5 of the display flags: the Selected Candle alignment.
enum : uint32_t { ALIGN_SELECTED_CANDLE = 0x20 };
// The application's cursor table.
enum { CUR_SPLIT = 0, CUR_MOVE = 1, CUR_DRAW = 5, CUR_OVER_LINE = 6, CUR_CANDLE_SELECT = 7 };
// The symbol-list drag of the application.
constexpr int kSymbolListDrag = 3;

bool tracing() {
  return (g_option_flags & OPT_TRACE_VIEW) != 0;
}

bool candle_select_mode() {
  return (g_pref_flags & PREF_CANDLE_SELECT) != 0;
}

int drawing_kind() {
  if (!(g_annot_draw.flags & ANNOT_DRAWING_ON)) return 0;
  return (int)((g_annot_draw.flags & ANNOT_KIND_MASK) >> ANNOT_KIND_SHIFT);
}

}  // namespace

int32_t g_picked_candle_time = 0;

// ============================================================================
// Helpers
// ============================================================================

float CKvChartView::price_at(int slot, int x, int y) const {
  if (slot < 0 || slot > 3) return 0;
  float price = m_panes.PointToPrice(slot, x, y);
  CKvChartDoc* doc = GetDocument();
  double tick = 0;
  {
    kv_lock guard(g_chart_lock);
    if (doc && doc->m_chart && doc->m_chart->mqt) tick = doc->m_chart->mqt->tick_size;
  }
  if (tick > 0) {
    // The nearer tick multiple; a price half way goes down.
    double lower = std::floor(price / tick) * tick;
    price = (float)(lower + tick / 2 >= price ? lower : lower + tick);
  }
  return price;
}

bool CKvChartView::active_child() const {
  KvChildFrame* f = GetParentFrame();
  if (!f || !f->mdiArea()) return true;
  // The current child also while the application itself is not active.
  return f->mdiArea()->currentSubWindow() == f;
}

void CKvChartView::post_draw_named_chart() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !theApp || !theApp->MainFrame()) return;
  // The main frame redraws every other chart of the symbol; it frees the
  // copy of the symbol text.
  char* symbol = strdup(doc->m_chart->header.symbol);
  if (!kv_post_message(theApp->MainFrame()->GetSafeHwnd(), WM_DRAW_NAMED_CHART, GetSafeHwnd(),
                       (kv_lparam)symbol, kv_release_free_lparam))
    free(symbol);
}

void CKvChartView::PostInitAllChartAnnotations() {
  if (!theApp || !theApp->MainFrame()) return;
  // The frame finds this window's chart by its id.
  kv_post_message(theApp->MainFrame()->GetSafeHwnd(), WM_INIT_ALL_CHART_ANNOTATIONS, GetSafeHwnd(),
                  0);
}

void CKvChartView::repaint_popups(KvDC& dc) {
  if (m_view_flags & VF_CANDLE_INFO) m_info.Repaint(dc);
  if ((m_view_flags & VF_EVENTS_POPUP) && CEvents::Popup().View() == this)
    CEvents::Popup().Repaint(dc);
}

// ============================================================================
// Left button
// ============================================================================

void CKvChartView::mousePressEvent(QMouseEvent* e) {
  setFocus();
  if (!m_settings) return;
  int x = (int)e->position().x(), y = (int)e->position().y();
  if (e->button() == Qt::RightButton) {
    OnRButtonDown(x, y);
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  m_view_flags |= VF_BUTTON_DOWN;
  for (int i = 0; i < 3; i++) {
    const KvRect& r = m_splitters[i];
    if (r.Height() > 0 && y >= r.top && y < r.bottom) {
      KvRect moved = r;
      moved.left = 0, moved.right = GetClientRect().right;
      if (!kv_track_rect(this, e->position().toPoint(), &moved)) return;
      float f = (float)((moved.top + moved.bottom) / 2.0 / std::max(GetClientRect().Height(), 1));
      float fr[3] = {0, 0, 0};
      fr[i] = f;
      m_panes.MoveSplitters(fr[0], fr[1], fr[2]);
      m_view_flags &= ~VF_BUTTON_DOWN;
      OnUpdate(nullptr, 0);
      return;
    }
  }
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || candle_select_mode()) return;
  if (m_annot && m_annot->OnLButtonDown(x, y)) return;
  uint32_t word = m_view_flags;
  m_panes.HitTest(x, y, &word);
  m_view_flags = (m_view_flags & ~VF_PANE_MASK) | (word & VF_PANE_MASK);
  int slot = m_panes.PaneFromPoint(x, y);
  m_cursor_price = price_at(slot, x, y);
  if (m_alerts && m_alerts->OnLButtonDown(x, y)) return;
  if (GrTradeMouseDown(x, y)) return;
  if (e->modifiers() & Qt::ShiftModifier) {
    // The chart's symbol as text for other windows; the drag ends before
    // the call returns, and the button with it.
    m_view_flags &= ~VF_BUTTON_DOWN;
    kv_start_text_drag(this, QString::fromLatin1(m_settings->symbol), 0);
  } else {
    KvRect events;
    m_panes.getEventsRect(&events);
    if ((m_settings->display_flags & CS_SHOW_EVENTS) && events.PtInRect(x, y))
      DisplayEventsInfo(events, x, y, MSG_LBUTTONDOWN);
    else
      DisplayCandleInfo(x, y, MSG_LBUTTONDOWN);
  }
  m_last_x = x, m_last_y = y;
  m_last_bar = m_panes.PointToBar(slot, x, y);
}

void CKvChartView::mouseMoveEvent(QMouseEvent* e) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !m_settings) return;
  int x = (int)e->position().x(), y = (int)e->position().y();
  if (GrTradeMouseMove(x, y)) return;
  uint32_t word = m_view_flags & ~0x70u;
  m_panes.HitTest(x, y, &word);
  m_view_flags = (m_view_flags & ~(VF_PANE_MASK | 0x70u)) | (word & (VF_PANE_MASK | 0x70u));
  int slot = (int)(m_view_flags & VF_PANE_MASK);
  bool over_pane = m_panes.PaneFromPoint(x, y) >= 0;
  if (over_pane && !candle_select_mode()) m_cursor_price = price_at(slot, x, y);
  // The overlay keeps the moves over its buttons and markers and while it
  // places a line; a line being drawn follows the pointer.
  if (m_alerts && m_alerts->OnMouseMove(x, y)) {
  } else if (drawing_kind()) {
    if (m_annot) m_annot->OnMouseMove(x, y);
  } else if (over_pane && !candle_select_mode()) {
    int bar = m_panes.PointToBar(slot, x, y);
    if (bar != m_last_bar && (m_view_flags & VF_BUTTON_DOWN)) {
      KvRect events;
      m_panes.getEventsRect(&events);
      bool in_events = (m_settings->display_flags & CS_SHOW_EVENTS) && events.PtInRect(x, y);
      if (in_events) {
        if (m_view_flags & VF_CANDLE_INFO) {
          DisplayCandleInfo(x, y, MSG_LBUTTONUP);
          DisplayEventsInfo(events, x, y, MSG_LBUTTONDOWN);
        } else {
          DisplayEventsInfo(events, x, y, MSG_MOUSEMOVE);
        }
      } else if (x != m_last_x || y != m_last_y) {
        if (m_view_flags & VF_EVENTS_POPUP) {
          DisplayEventsInfo(events, x, y, MSG_LBUTTONUP);
          DisplayCandleInfo(x, y, MSG_LBUTTONDOWN);
        } else {
          DisplayCandleInfo(x, y, MSG_MOUSEMOVE);
        }
      }
    }
    m_last_bar = bar;
  }
  if (over_pane) m_last_x = x, m_last_y = y;
  // The cursor: splitter, alert drag, candle selection, drawing.
  if (!theApp) return;
  if (m_view_flags & 0x70)
    setCursor(theApp->Cursor(CUR_SPLIT));
  else if (m_view_flags & (VIEW_PLACING_ALERT | VIEW_OVER_ALERT))
    setCursor(theApp->Cursor(CUR_MOVE));
  else if (candle_select_mode())
    setCursor(theApp->Cursor(CUR_CANDLE_SELECT));
  else if (drawing_kind() && over_pane) {
    CKvAnnotView* editor = chart_annot_editor(m_annot.get());
    int kind = drawing_kind();
    bool over_line = editor && (editor->LineUnderPoint(x, y) > 0 ||
                                ((editor->State() & 1) && editor->HandleUnderPoint(x, y) >= 0));
    setCursor(theApp->Cursor(over_line || kind == ANNOT_HOR || kind == ANNOT_VER ? CUR_OVER_LINE
                                                                                 : CUR_DRAW));
  } else
    unsetCursor();
}

void CKvChartView::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  int x = (int)e->position().x(), y = (int)e->position().y();
  m_view_flags &= ~(VF_BUTTON_DOWN | VF_LAYOUT_PENDING);
  if (GrTradeMouseUp()) return;
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !m_settings) {
    m_last_bar = -1;
    return;
  }
  int slot = m_panes.PaneFromPoint(x, y);
  CKvAnnotView* editor = chart_annot_editor(m_annot.get());
  bool annot_busy = m_annot && m_annot->Busy();
  bool alert_busy = m_alerts && m_alerts->Busy();
  if (candle_select_mode()) {
    int32_t picked = m_panes.PointToBarTime(slot < 0 ? 0 : slot, x, y);
    m_panes.selected_time = picked;
    if (picked) g_picked_candle_time = picked;
    // A percent chart aligned at the picked candle is aligned again.
    if (m_settings->percent &&
        (m_settings->display_flags & CS_PERCENT_BASE_MASK) == ALIGN_SELECTED_CANDLE)
      UpdatePanes("OnSelectCandle", UP_CALC | UP_INVAL);
  } else if (m_view_flags & (VF_CANDLE_INFO | VF_EVENTS_POPUP)) {
    // The press opened a pop-up, so its release closes it wherever it
    // ends: over the line editor's button it must not erase the lines,
    // and a pop-up left up would hold the data updates back.
    KvRect events;
    m_panes.getEventsRect(&events);
    if (m_view_flags & VF_EVENTS_POPUP) DisplayEventsInfo(events, x, y, MSG_LBUTTONUP);
    if (m_view_flags & VF_CANDLE_INFO) DisplayCandleInfo(x, y, MSG_LBUTTONUP);
  } else if (editor && editor->IsOverButton(x, y) == 1) {
    m_annot->OnLButtonUp(x, y);
    OnCmdMsg(ID_ERASE_ALL_LINES);
  } else {
    uint32_t editor_state = editor ? (uint32_t)editor->State() : 0;
    uint32_t overlay_flags = m_view_flags & (VIEW_PLACING_ALERT | VIEW_ALERT_PICKED);
    bool taken = false, changed = false;
    if (m_annot && m_annot->OnLButtonUp(x, y)) {
      taken = true;
      changed = (editor_state & 0x13) != 0;
    } else if (m_alerts && m_alerts->OnLButtonUp(x, y)) {
      taken = true;
      changed = overlay_flags != 0;
    }
    if (taken) {
      if (changed) {
        kv_lock guard(g_chart_lock);
        doc->m_chart->header.flags |= CHART_ANNOT_CHANGED;
      }
      Invalidate(true);
      post_draw_named_chart();
    } else {
      KvRect events;
      m_panes.getEventsRect(&events);
      if (m_view_flags & VF_EVENTS_POPUP) DisplayEventsInfo(events, x, y, MSG_LBUTTONUP);
      if (m_view_flags & VF_CANDLE_INFO) DisplayCandleInfo(x, y, MSG_LBUTTONUP);
    }
  }
  m_last_bar = -1;
  // Data updates waited while a line was drawn or dragged.
  if (annot_busy || alert_busy) ApplyDeferredUpdates();
}

// ============================================================================
// The pop-ups
// ============================================================================

void CKvChartView::DisplayCandleInfo(int x, int y, unsigned message) {
  if (!active_child()) return;
  if (message == MSG_LBUTTONUP) {
    m_info.OnShowWindow(false);
    m_view_flags &= ~VF_CANDLE_INFO;
    m_capture = false;
    Invalidate(true);
    ApplyDeferredUpdates();
    return;
  }
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !m_settings) return;
  int slot = m_panes.PaneFromPoint(x, y);
  if (slot < 0 || !(m_settings->pane_content[slot] & CONTENT_PRICE)) {
    if (tracing()) debug_trace("Not Price Area\n");
    return;
  }
  int bar = m_panes.PointToBar(slot, x, y);
  if (bar < 0) return;
  float price = m_panes.PointToPrice(slot, x, y);
  m_info.SetUpData(this, m_settings, doc->m_chart, bar + m_settings->m_nFirst, price, x, y,
                   m_panes.PointToSymbol(slot, x, y));
  if (message == MSG_LBUTTONDOWN) {
    m_view_flags |= VF_CANDLE_INFO;
    m_capture = true;
    m_info.OnShowWindow(true);
  } else if (m_capture) {
    m_info.OnPaint();
  } else if (tracing()) {
    debug_trace("Not Price Area\n");
  }
}

void CKvChartView::DisplayEventsInfo(const KvRect&, int x, int y, unsigned message) {
  if (!active_child()) return;
  CEvents& popup = CEvents::Popup();
  if (message == MSG_LBUTTONUP) {
    if (popup.View() == this || !popup.View()) popup.OnShowWindow(false);
    m_view_flags &= ~VF_EVENTS_POPUP;
    m_capture = false;
    Invalidate(true);
    ApplyDeferredUpdates();
    return;
  }
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !m_settings) return;
  int slot = m_panes.PaneFromPoint(x, y);
  if (slot < 0) return;
  int bar = m_panes.PointToBar(slot, x, y);
  int index;
  if (bar >= 0) {
    index = bar + m_settings->m_nFirst;
  } else {
    // Right of the last bar: the events still to come.
    const CBasicChart& pane = m_panes.panes[slot];
    int pitch = candle_pitch(pane.candle_def);
    int bars = doc->GetBarCount();
    if (pitch <= 0 || bars <= 0 || x < pane.data_rect.left || x >= pane.data_rect.right) return;
    if (m_settings->m_nFirst + (x - pane.data_rect.left) / pitch < bars) return;
    index = bars;
  }
  if (popup.IsVisible() && popup.View() != this) popup.OnShowWindow(false);
  popup.SetUpData(this, m_settings, doc->m_chart, index, x, y);
  if (message == MSG_LBUTTONDOWN) {
    m_view_flags |= VF_EVENTS_POPUP;
    m_capture = true;
    popup.OnShowWindow(true);
  } else if (m_capture) {
    popup.OnPaint();
  }
}

// ============================================================================
// Double click, right button
// ============================================================================

void CKvChartView::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton)
    OnLButtonDblClk((int)e->position().x(), (int)e->position().y());
}

void CKvChartView::OnLButtonDblClk(int, int) {
  int kind = drawing_kind();
  if (kind == ANNOT_HOR || kind == ANNOT_VER) return;
  KvChildFrame* child = GetParentFrame();
  QWidget* main = theApp ? (QWidget*)theApp->MainFrame() : nullptr;
  if (!child) return;
  m_view_flags |= VF_LAYOUT_PENDING;
  bool child_max = child->isMaximized();
  bool main_max = main && main->isMaximized();
  if (!child_max) {
    if (main && !main_max) {
      m_main_was_maximized = false;
      main->showMaximized();
    } else {
      m_main_was_maximized = false;
    }
    child->showMaximized();
    MsgMinMaxWindow(SC_MAXIMIZE);
  } else if (main && !main_max) {
    m_main_was_maximized = true;
    main->showMaximized();
    MsgMinMaxWindow(SC_MAXIMIZE);
  } else {
    if (main && !m_main_was_maximized) main->showNormal();
    child->showNormal();
    MsgMinMaxWindow(SC_RESTORE);
  }
}

void CKvChartView::OnRButtonDown(int x, int y) {
  if (!m_settings) return;
  int slot = m_panes.PaneFromPoint(x, y);
  int bar = slot >= 0 ? m_panes.PointToBar(slot, x, y) : -1;
  m_right_click_bar = bar >= 0 ? bar + m_settings->m_nFirst : -1;
  // Over graphical trading's area the order menu, about the order under
  // the pointer; the chart menu serves the rest of the chart.
  KvRect trade;
  m_panes.getActiveGrTradeRect(CONTENT_PRICE, &trade);
  bool order_menu = GrTradeOn() && trade.PtInRect(x, y);
  if (order_menu) {
    m_last_x = x, m_last_y = y;
    m_trade->IsOverGrTrade(x, y);
  }
  QMenu menu(this);
  kv_fill_menu(&menu, kv_res_menu(order_menu ? IDR_ORDER_POPUP : IDR_CHART_POPUP));
  // The resource holds one pop-up: its items are shown.
  QMenu* shown = &menu;
  if (menu.actions().size() == 1 && menu.actions().front()->menu())
    shown = menu.actions().front()->menu();
  CKvMainFrame* frame = theApp ? theApp->MainFrame() : nullptr;
  // The order menu names the order and offers its studies only for a
  // picked order on a chart that has studies.
  QString oca = order_menu ? m_trade->GetOcaName() : QString();
  bool attach = false;
  if (order_menu) {
    CKvChartDoc* doc = GetDocument();
    kv_lock guard(g_chart_lock);
    attach = doc && doc->m_chart && doc->m_chart->studies && m_trade->FindSelectedOrder();
  }
  unsigned id = kv_track_popup_menu(shown, mapToGlobal(QPoint(x, y)), [&](KvCmdUI& ui) {
    if (frame)
      frame->UpdateCmdUI(ui);
    else
      OnUpdateCmdUI(ui);
    if (!order_menu) return;
    if (ui.id == ID_OCA_NAME) ui.SetText(oca);
    if (ui.id == ID_ATTACH_STUDY) ui.Enable(ui.enabled && attach);
  });
  if (!id) return;
  if (frame)
    frame->RouteCommand(id);
  else
    OnCmdMsg(id);
}

// ============================================================================
// Dropping symbol text
// ============================================================================

void CKvChartView::dragEnterEvent(QDragEnterEvent* e) {
  if (!e->mimeData()->hasText()) return;
  m_drag_keys = e->modifiers();
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvChartView::dragMoveEvent(QDragMoveEvent* e) {
  if (!e->mimeData()->hasText()) return;
  m_drag_keys = e->modifiers();
  e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
  e->accept();
}

void CKvChartView::dropEvent(QDropEvent* e) {
  CKvChartDoc* doc = GetDocument();
  QString text = kv_dropped_text(e->mimeData()).trimmed();
  if (!doc || !m_settings || text.isEmpty()) return;
  Qt::KeyboardModifiers keys = m_drag_keys | e->modifiers();
  m_drag_keys = Qt::NoModifier;
  // A dropped word has the bound of a typed one.
  if (text.size() >= CHART_SYMBOL_SIZE) {
    kv_message_box("Invalid Symbol", "Korvane", MB_OK);
    e->ignore();
    return;
  }
  if ((is_tick_unit(m_settings->time_unit) || is_volume_unit(m_settings->time_unit)) &&
      m_settings->base_unit) {
    doc->RestoreTicks();
    m_settings->time_unit = m_settings->base_unit;
  }
  // Shift with the application's own symbol-list drag adds the symbol to
  // the chart.
  if ((keys & Qt::ShiftModifier) && kv_dropped_source_kind(e->mimeData()) == kSymbolListDrag)
    text.prepend(QChar('+'));
  QByteArray expr = text.toLatin1();
  doc->ChangeSymbol(expr.constData(), nullptr, 0, CHANGE_DROPPED);
  // An order picked on the old chart is not carried to the new one.
  if (m_trade) m_trade->ResetState();
  UpdatePanes("OnDrop", UP_SCBAR | UP_INVAL | UP_UPDWIN);
  e->acceptProposedAction();
  if (KvChildFrame* f = GetParentFrame()) {
    f->raise();
    if (f->mdiArea()) f->mdiArea()->setActiveSubWindow(f);
  }
}
