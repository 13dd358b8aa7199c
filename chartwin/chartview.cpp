// The chart view: object, data messages, UpdatePanes, painting, printing
// and horizontal scrolling.
#include "chartwin/chartview.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "chart/linegeom.h"
#include "chartwin/chartdoc.h"
#include "chartwin/tradeview.h"
#include "chartwin/chartevents.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/chart_flags.h"
#include "data/chartsettings.h"
#include "data/debugtrace.h"
#include "data/strategy.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/frames.h"
#include "platform/qt/printing.h"
#include "platform/qt/services_qt.h"
#include "platform/services.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "studies/study.h"

chart_layer_hooks g_chart_layer_hooks;

namespace {

enum : uint32_t { PREF_QUICK_ALERTS = 0x1, PREF_NEW_WINDOW = 0x20, DISPLAY_MAXIMIZED = 0x800000 };
enum : unsigned {
  ID_FILE_PRINT = 57607,
  ID_FILE_PRINT_DIRECT = 57608,
  ID_FILE_PRINT_PREVIEW = 57609
};

bool tracing() {
  return (g_option_flags & OPT_TRACE_VIEW) != 0;
}

}  // namespace

CKvChartView::CKvChartView() : m_strategy(std::make_unique<strategy_ctx>()) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAcceptDrops(true);
  if (g_chart_layer_hooks.make_annot) m_annot.reset(g_chart_layer_hooks.make_annot(this));
  if (g_chart_layer_hooks.make_alerts) m_alerts.reset(g_chart_layer_hooks.make_alerts(this));
  m_session_bitmap = kv_res_bitmap(IDB_EXT_SESSION);
  m_trade = std::make_unique<CKvGrTradeView>(this, &m_view_flags);
  map_commands();
  map_tool_commands();
}

CKvChartView::~CKvChartView() {
  // The layers borrowed the view; they go before it.
  m_annot.reset();
  m_alerts.reset();
  m_trade.reset();
  CEvents::Popup().ForgetView(this);
  strategy_ctx* run = m_strategy.get();
  bool running = false;
  if (CKvChartDoc* doc = GetDocument()) {
    // Clean-up once the window closes: no chart reports to it any more.
    kv_lock guard(g_chart_lock);
    if (doc->m_chart) doc->m_chart->owner_window = 0;
    for (int i = 0; i < doc->m_nextra; i++)
      if (doc->m_extra_charts[i]) doc->m_extra_charts[i]->owner_window = 0;
    doc->m_view_window = 0;
    running = doc->m_chart && doc->m_chart->strategy == run;
  }
  // A run that still trades on the chart reads the view's run record on
  // the quote thread: it ends before the record goes.
  if (running && run->term) run->term(run);
}

CKvChartDoc* CKvChartView::GetDocument() const {
  return dynamic_cast<CKvChartDoc*>(KvView::GetDocument());
}

bool CKvChartView::load_outstanding() const {
  return m_settings && (m_settings->display_flags & CS_SHOW_UPDATING);
}

int CKvChartView::candle_spacing() const {
  // The validated word: a custom word without a usable spacing falls back
  // to the medium bars instead of dividing by zero.
  return candle_pitch(
      candle_def_for_size(m_settings ? m_settings->candle_size : 1, g_custom_candle));
}

void CKvChartView::forget_dc() {
  // The panes keep the context of their last layout; it lived only for
  // that paint.
  m_panes.dc = nullptr;
  for (CBasicChart& p : m_panes.panes) p.dc = nullptr;
}

bool CKvChartView::popup_or_drag() const {
  if (m_view_flags & (VF_CANDLE_INFO | VF_EVENTS_POPUP)) return true;
  if (m_annot && m_annot->Busy()) return true;
  // A full repaint under the order's price box would be put back stale.
  if (m_view_flags & GR_DRAGGING) return true;
  return false;
}

// ============================================================================
// Life cycle
// ============================================================================

void CKvChartView::OnInitialUpdate() {
  CKvChartDoc* doc = GetDocument();
  if (!doc) return;
  m_settings = &doc->Settings();
  m_settings->window_kind = WINDOW_KIND_CHART;
  doc->m_view_window = GetSafeHwnd();
  if (!m_settings->time_unit) m_settings->time_unit = TU_DAILY;
  if (!doc->m_chart && theApp && doc->GetTitle().isEmpty())
    doc->SetTitle(QString::fromUtf8(
        theApp->GetChartTitle(KIND_CHART, m_settings->time_unit, m_settings->chart_type, 1)));
  g_pref_flags &= ~PREF_NEW_WINDOW;
  m_panes.SetChartData(&doc->m_chart, &doc->m_nextra, doc->m_extra_charts);
  m_panes.AttachWindow(m_settings, &m_view_flags, this);
  {
    kv_lock guard(g_chart_lock);
    if (doc->m_chart) doc->m_chart->owner_window = GetSafeHwnd();
    for (int i = 0; i < doc->m_nextra; i++) doc->m_extra_charts[i]->owner_window = GetSafeHwnd();
  }
  UpdatePanes("OnInitialUpdate", UP_CALC | UP_SCBAR);
}

void CKvChartView::OnUpdate(KvView*, intptr_t hint) {
  if (!m_settings) return;
  if (hint == 1 || hint == 2)
    UpdatePanes("OnUpdate", UP_INVAL);
  else
    UpdatePanes("OnUpdate", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
}

void CKvChartView::OnSize(int, int) {
  if (m_settings && !(m_view_flags & VF_LAYOUT_PENDING))
    UpdatePanes("OnSize", UP_CLEAR | UP_CALC | UP_SCBAR);
}

void CKvChartView::OnActivateView(bool activate) {
  if (!activate) {
    m_right_click_bar = -2;
    return;
  }
  m_right_click_bar = -1;
  if (theApp && m_settings) theApp->UpdateViewUnitsMenu(time_unit_count(m_settings->base_unit));
}

bool CKvChartView::CanClose() {
  // Refused before the window goes, so that the clean-up always runs once
  // it does.
  CKvChartDoc* doc = GetDocument();
  if (doc && chart_orders_attached(doc->m_chart)) {
    kv_message_box("Can't delete chart while orders are attached to studies\n", "Korvane", MB_OK);
    return false;
  }
  return true;
}

// ============================================================================
// Messages
// ============================================================================

kv_lresult CKvChartView::WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) {
  switch (message) {
    case WM_UPDATE_FROM_THREAD:
      MsgFromThread((uint32_t)wparam);
      return 0;
    case WM_GET_CHART_COMPLETE:
      MsgGetChartComplete(reinterpret_cast<chart_rec*>(wparam));
      return 0;
    case WM_GET_CHART_TIMEOUT:
      MsgGetChartTimeOut(reinterpret_cast<chart_rec*>(wparam));
      return 0;
    case WM_MIN_MAX_WINDOW:
      MsgMinMaxWindow((unsigned)wparam);
      return 0;
    case WM_CANDLE_OUTSIDE_WINDOW:
      MsgCandleOutsideWindow();
      return 0;
    case WM_UPDATE_EXT_SESSION:
      MsgFromThreadExtSession();
      return 0;
    case WM_ORDER_STATUS:
    case WM_ORDER_REMOVED:
      // Not under an order's price box: redrawn once it is dropped.
      if (m_view_flags & GR_DRAGGING) {
        m_deferred_update |= UPD_RECALC;
        return 0;
      }
      UpdatePanes(message == WM_ORDER_STATUS ? "MsgOrderStatus" : "MsgStaleOrder",
                  UP_CALC | UP_INVAL);
      return 0;
    case WM_BID_ASK_UPDATE:
      MsgBidAskUpdate();
      return 0;
    case WM_PORTFOLIO_UPDATE:
      OnPortfolioUpdate();
      return 0;
    default:
      return KvCanvasView::WindowProc(message, wparam, lparam);
  }
}

void CKvChartView::MsgFromThread(uint32_t flags) {
  m_update_flags = flags;
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings) return;
  {
    // Cleared whatever happens next: the poster posts again only after it.
    kv_lock guard(g_chart_lock);
    if (doc->m_chart) doc->m_chart->post_count = 0;
  }
  if (popup_or_drag()) {
    m_deferred_update |= flags;
    return;
  }
  if (flags & UPD_RECALC) {
    KvScrollInfo si = GetScrollInfo();
    if ((m_view_flags & VF_AT_NEWEST) || si.max <= si.min) {
      UpdatePanes("MsgFromThread", UP_CALC | UP_SCBAR | UP_INVAL);
    } else {
      // The user scrolled back: the bars stay where they are.
      int bars = doc->GetBarCount();
      si.max = std::max(bars - 1, si.min);
      SetScrollInfo(si, true);
    }
  } else if (flags & UPD_LAST_BAR) {
    Invalidate(false);
  }
}

void CKvChartView::ApplyDeferredUpdates() {
  uint32_t flags = m_deferred_update;
  m_deferred_update = 0;
  if (flags && !popup_or_drag()) MsgFromThread(flags);
}

void CKvChartView::MsgGetChartComplete(chart_rec* chart) {
  CKvChartDoc* doc = GetDocument();
  if (chart && doc && m_settings && !strcmp(chart->header.symbol, m_settings->symbol)) {
    // The chart is replaced: trading lets go of the old record.
    if (m_trade) m_trade->SetQuote(nullptr);
    doc->SetChartData(chart->header.symbol, chart);
    SetStatusBarText(0, "");  // the "Loading Data for" text is over
  } else if (chart)
    free_chart_data(chart);  // loaded for a symbol the window no longer shows
  if (m_settings) m_settings->display_flags &= ~CS_SHOW_UPDATING;
  UpdatePanes("MsgGetChartComplete", UP_CLEAR | UP_CALC | UP_SCBAR | UP_INVAL);
}

void CKvChartView::MsgGetChartTimeOut(chart_rec* chart) {
  if (chart) free_chart_data(chart);
}

void CKvChartView::MsgMinMaxWindow(unsigned command) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || !m_settings) return;
  if (command == SC_MINIMIZE) {
    kv_lock guard(g_chart_lock);
    doc->m_chart->owner_window = 0;
  } else if (command == SC_RESTORE) {
    UpdatePanes("MsgMinMaxWindow", UP_CLEAR | UP_CALC | UP_SCBAR);
    m_settings->flags &= ~DISPLAY_MAXIMIZED;
    kv_lock guard(g_chart_lock);
    doc->m_chart->owner_window = GetSafeHwnd();
  } else if (command == SC_MAXIMIZE) {
    m_settings->flags |= DISPLAY_MAXIMIZED;
    UpdatePanes("MsgMinMaxWindow", UP_CLEAR | UP_CALC | UP_SCBAR);
  }
}

void CKvChartView::MsgCandleOutsideWindow() {
  if (!popup_or_drag()) UpdatePanes("MsgCandleOutsideWindow", UP_CALC | UP_INVAL);
}

void CKvChartView::MsgBidAskUpdate() {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !doc->m_chart || popup_or_drag()) return;
  KvClientDC dc(this);
  kv_lock guard(g_chart_lock);
  m_panes.DrawBidAskBar(&dc, doc->m_chart->mqt);
  m_panes.DrawQuoteHeader(&dc, doc->m_chart->mqt);
  forget_dc();
}

void CKvChartView::MsgFromThreadExtSession() {
  if (!m_settings || m_session_bitmap.isNull()) return;
  if (m_settings->bg_color != m_session_bg) {
    ReplaceBitmapColor(&m_session_bitmap, m_session_bg, m_settings->bg_color);
    m_session_bg = m_settings->bg_color;
  }
  KvClientDC dc(this);
  dc.painter().drawImage(m_layout.right - 46, m_layout.bottom - 15, m_session_bitmap);
}

// ============================================================================
// UpdatePanes
// ============================================================================

void CKvChartView::UpdatePanes(const char* caller, unsigned flags) {
  if (!m_settings) return;
  if (tracing())
    debug_trace(
        "CKvChartView::UpdatePanes(CALLER=%s, CLEAR=%d,CALC=%d,SCBAR=%d,INVAL=%d,UPDWIN=%d)\n",
        caller, (flags & UP_CLEAR) != 0, (flags & UP_CALC) != 0, (flags & UP_SCBAR) != 0,
        (flags & UP_INVAL) != 0, (flags & UP_UPDWIN) != 0);
  CKvChartDoc* doc = GetDocument();
  chart_rec* chart = doc ? doc->m_chart : nullptr;
  if (m_alerts) m_alerts->Refresh();
  if (flags & UP_CLEAR) m_panes.clearChartDataRect();

  // Study panes beyond the price pane.
  int extra = 0;
  if (chart) {
    kv_lock guard(g_chart_lock);
    for (int k = 0; k < 4; k++)
      if (m_settings->pane_shown[k])
        extra = std::max(extra, count_study_panes(chart, m_settings->pane_content[k]));
  }
  if (m_settings->percent) extra++;
  extra = std::min(extra, 2);
  if (m_settings->flags & CS_FLAG_HIDE_PRICE_SIDE) extra--;
  if (m_settings->flags & CS_FLAG_HIDE_OTHER_SIDE) extra--;
  extra = std::max(extra, 0);
  if (extra != m_extra_panes) {
    m_extra_panes = extra;
    m_panes.clearChartDataRect();
  }

  if (flags & UP_SCBAR) {
    int bars = doc ? doc->GetBarCount() : 0;
    int fit = chart ? m_panes.getChartDataRectWidth(m_extra_panes) / candle_spacing() : 0;
    KvScrollInfo si;
    if (chart && fit - 1 < bars && fit > 1) {
      int page = fit - 1;
      if (m_view_flags & VF_EXTEND) page = (int)(page * 0.75);
      page = std::max(page, 1);
      si.min = 0, si.max = bars - 1, si.page = page, si.pos = bars - page;
      m_scroll_page = page;
      m_scroll_pos = si.pos;
      SetScrollInfo(si, true);
      ShowScrollBar(true);
      m_view_flags |= VF_AT_NEWEST;
    } else {
      si.min = 0, si.max = 1, si.page = 1, si.pos = 0;
      m_scroll_page = 1;
      m_scroll_pos = 0;
      SetScrollInfo(si, true);
      ShowScrollBar(false);
    }
  }
  if (flags & (UP_SCBAR | UP_CALC)) {
    if (!(m_view_flags & VF_PRINTING)) m_layout = GetClientRect();
    {
      kv_lock guard(g_chart_lock);
      m_panes.CalcPaneRects(m_layout, m_extra_panes, m_pane_shift);
    }
    for (int i = 0; i < 3; i++) {
      const int32_t* r = m_settings->splitter_rects[i];
      m_splitters[i] = KvRect(-75000, r[1], 75000, r[3]);
    }
  }
  if (flags & UP_INVAL) Invalidate(true);
  if (flags & UP_UPDWIN) UpdateWindow();
}

// ============================================================================
// Painting
// ============================================================================

bool CKvChartView::OnEraseBkgnd(KvDC& dc) {
  dc.FillSolidRect(GetClientRect(), m_settings ? m_settings->bg_color : 0xFFFFFF);
  CKvChartDoc* doc = GetDocument();
  if (doc && doc->m_chart) m_update_flags &= ~UPD_LAST_BAR;
  return true;
}

void CKvChartView::refresh_title_if_intraday() {
  CKvChartDoc* doc = GetDocument();
  if (doc && doc->m_chart && is_intraday_unit(doc->m_chart->header.time_unit)) doc->UpdateTitle();
}

void CKvChartView::draw_typed(KvDC& dc) {
  KvFont old = dc.SelectFont(KvFont::StockVariable());
  COLORREF bg = m_settings ? m_settings->bg_color : 0xFFFFFF;
  dc.SetBkColor(bg);
  dc.SetTextColor(bg == 0 ? 0xFFFFFF : 0);
  dc.SetBkMode(OPAQUE);
  dc.TextOut(0, 0, m_typed);
  dc.SelectFont(old);
}

void CKvChartView::OnDraw(KvDC& dc) {
  CKvChartDoc* doc = GetDocument();
  if (!m_settings || !doc) return;
  chart_rec* chart = doc->m_chart;
  if (tracing()) {
    int64_t now = kv_now_local_seconds();
    int sec = (int)(now % 86400);
    debug_trace("CKvChartView::%s(%d,%d) %02d:%02d:%02d %s DrawAllCnt=%d\n",
                (m_view_flags & VF_PRINTING) ? "OnPrint" : "OnDraw", m_update_flags,
                m_deferred_update, sec / 3600, sec / 60 % 60, sec % 60,
                m_settings->symbol[0] ? m_settings->symbol : "No Symbol", m_draw_depth);
  }
  if (m_annot && m_annot->Busy()) return;
  bool full = true;
  if (m_view_flags & VF_LAYOUT_PENDING) {
    UpdatePanes("OnDraw", UP_CALC | UP_SCBAR);
    m_view_flags &= ~VF_LAYOUT_PENDING;
  } else if (chart && (m_update_flags & UPD_LAST_BAR)) {
    int fits = 1;
    if (m_view_flags & VF_AT_NEWEST) fits = m_panes.DrawLastPoint(&dc);
    refresh_title_if_intraday();
    if (m_annot) m_annot->DrawSelection(dc);
    if (m_alerts) m_alerts->DrawLines(dc);
    forget_dc();
    if (!fits) {
      m_update_flags |= UPD_RECALC;
      Invalidate(true);
      return;
    }
    m_view_flags &= ~VF_LAST_POINT_ONLY;
    m_update_flags &= ~UPD_LAST_BAR;
    full = false;
  }
  if (full) {
    if (!(m_view_flags & VF_PRINTING)) m_layout = GetClientRect();
    if (m_view_flags & VF_WAITING) {
      draw_typed(dc);
      dc.TextOut(50, 0, "Waiting to Load Data...");
    } else if (chart) {
      m_draw_depth++;
      m_panes.CalcLayouts(&dc);
      m_panes.Draw(&dc);
      m_update_flags &= ~UPD_RECALC;
      KvRect data;
      m_panes.getChartDataRect(m_extra_panes, &data);
      COLORREF bg = m_settings->bg_color;
      if (m_annot) m_annot->SetBackground(bg);
      if (m_alerts) m_alerts->SetBackground(bg);
      // The overlay draws its buttons only while quick alerts are shown, and
      // forgets them otherwise, so that hidden buttons take no clicks.
      if (m_alerts) m_alerts->DrawButtons(dc);
      if (m_annot) {
        m_annot->DrawButton(dc);
        m_annot->InitLines(dc, data, m_panes.panes[0].candle_def);
        m_annot->DrawSelection(dc);
      }
      if (m_alerts) m_alerts->DrawLines(dc);
      DrawGrTrade(dc);
      refresh_title_if_intraday();
      m_draw_depth--;
      dc.SelectClipNone();
    }
  }
  if (m_typed_count > 0)
    draw_typed(dc);
  else
    m_typed.clear();
  // A pop-up shown while the window repainted stays on top.
  repaint_popups(dc);
  forget_dc();
}

// ============================================================================
// Scrolling
// ============================================================================

void CKvChartView::OnHScroll(int code, int pos) {
  CKvChartDoc* doc = GetDocument();
  if (!doc || !m_settings) return;
  KvScrollInfo si = GetScrollInfo();
  int cur = si.pos, step;
  switch (code) {
    case SB_LINELEFT:
      step = -1;
      break;
    case SB_LINERIGHT:
      step = 1;
      break;
    case SB_PAGELEFT:
      step = -si.page;
      break;
    case SB_PAGERIGHT:
      step = si.page;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      step = pos - cur;
      break;
    default:
      return;
  }
  int bars = doc->GetBarCount();
  int last = std::max(bars - si.page, 0);
  int want = cur + step;
  if (want >= last)
    m_view_flags |= VF_AT_NEWEST;
  else
    m_view_flags &= ~VF_AT_NEWEST;
  int now = std::clamp(want, 0, last);
  if (now != cur) {
    m_scroll_pos = now;
    SetScrollPos(now, true);
    UpdatePanes("OnHScroll", UP_CALC | UP_INVAL);
  }
}

// ============================================================================
// Window placement
// ============================================================================

void CKvChartView::SaveWindowPlacement() {
  KvChildFrame* f = GetParentFrame();
  if (f && m_settings) f->SavePlacement(m_settings->normal_rect, &m_settings->show_cmd);
}

void CKvChartView::RestoreWindowPlacement() {
  CKvChartDoc* doc = GetDocument();
  if (!doc) return;
  m_settings = &doc->Settings();
  if (KvChildFrame* f = GetParentFrame())
    f->RestorePlacement(m_settings->normal_rect, m_settings->show_cmd);
  m_panes.AttachWindow(m_settings, &m_view_flags, this);
}

// ============================================================================
// Printing
// ============================================================================

void CKvChartView::OnPrint(KvDC& dc, const KvRect& printable, bool preview) {
  if (!m_settings) return;
  ChartSettings saved = *m_settings;
  uint32_t saved_custom = g_custom_candle;
  KvRect saved_layout = m_layout;
  KvScrollInfo saved_si = GetScrollInfo();
  m_view_flags |= VF_PRINTING;
  ChartSettings* s = m_settings;
  if (s->bg_color == 0) {
    s->bg_color = 0xFFFFFF;
    for (uint32_t* c :
         {&s->text_color, &s->text_color2, &s->axis_color, &s->grid_color, &s->daybreak_color,
          &s->up_color, &s->down_color, &s->wick_color, &s->outline_color, &s->up_volume_color,
          &s->down_volume_color, &s->oi_color, &s->study_color})
      if (*c == 0xFFFFFF) *c = 0;
  }
  if (dc.GetDeviceColors() == 2 && !preview) {
    s->up_color = 0xFFFFFF;
    s->down_color = s->wick_color = s->outline_color = 0;
  }
  // The screen's shape inside the printable area less 100 on each axis.
  KvRect area(printable.left + 100, printable.top + 100, printable.right - 100,
              printable.bottom - 100);
  int sw = std::max(saved_layout.Width(), 1), sh = std::max(saved_layout.Height(), 1);
  int w = area.Width(), h = area.Height();
  if (sw >= sh) {
    h = (int)((int64_t)w * sh / sw);
    if (h > area.Height()) h = area.Height(), w = (int)((int64_t)h * sw / sh);
  } else {
    w = (int)((int64_t)h * sw / sh);
    if (w > area.Width()) w = area.Width(), h = (int)((int64_t)w * sh / sw);
  }
  KvRect out(area.left + (area.Width() - w) / 2, area.top + (area.Height() - h) / 2, 0, 0);
  out.right = out.left + w;
  out.bottom = out.top + h;
  m_layout = out;
  CKvChartDoc* doc = GetDocument();
  if (doc && doc->m_chart && saved.m_nNum > 0) {
    int spacing = (int)((double)w / saved.m_nNum + 0.5);
    if (spacing >= 29) {
      s->candle_size = 4;
    } else if (spacing >= 15) {
      // The variable size: the largest odd spacing below this one, half of
      // it as the bar's centre.
      int odd = spacing - 1;
      if (!(odd & 1)) odd--;
      g_custom_candle = make_candle_def(odd, 1, 1, odd / 2, 1);
      s->candle_size = 3;
    } else if (spacing >= 7) {
      s->candle_size = 1;
    } else {
      s->candle_size = 0;
    }
    KvScrollInfo si = saved_si;
    si.pos = saved.m_nFirst;
    SetScrollInfo(si, false);
    UpdatePanes("OnPrint", UP_CALC);
    m_panes.CalcLayouts(&dc);
    m_panes.Draw(&dc);
    forget_dc();
  }
  // With no visible bar the page keeps only the empty frame.
  // Everything goes back as it was on the screen.
  *m_settings = saved;
  g_custom_candle = saved_custom;
  SetScrollInfo(saved_si, false);
  m_layout = saved_layout;
  m_view_flags &= ~VF_PRINTING;
  UpdatePanes("OnPrint", UP_CALC);
  *m_settings = saved;
}

bool CKvChartView::PrintTo(QPrinter& printer) {
  bool preview = false;
  return kv_print_pages(printer, 1,
                        [&](KvDC& dc, const KvRect& page, int) { OnPrint(dc, page, preview); });
}

// The application's printer carries the choices of Print Setup.
void CKvChartView::OnFilePrint(bool ask) {
  QPrinter local(QPrinter::HighResolution);
  QPrinter& printer = theApp ? *theApp->Printer() : local;
  if (ask && !kv_print_dialog(this, &printer)) return;
  if (!PrintTo(printer))
    kv_message_box("Unable to print the chart", "Korvane", MB_OK | MB_ICONEXCLAMATION);
}

// Print Preview: the pages drawn by the same OnPrint, shown in Qt's
// preview window, from which the user may print them.
void CKvChartView::OnFilePrintPreview() {
  QPrinter local(QPrinter::HighResolution);
  QPrinter& printer = theApp ? *theApp->Printer() : local;
  QPrintPreviewDialog preview(&printer, this);
  preview.setWindowTitle(QStringLiteral("Print Preview"));
  connect(&preview, &QPrintPreviewDialog::paintRequested, this,
          [this](QPrinter* p) { PrintTo(*p); });
  preview.exec();
}
