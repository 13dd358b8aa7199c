// CKvChartView: the chart window. It owns the pane container that lays out
// and draws up to four panes of the document's chart, takes the messages
// the loading and quote threads post (WM_GET_CHART_COMPLETE,
// WM_UPDATE_FROM_THREAD ...), and passes every recomputation and redraw
// through UpdatePanes. Painting goes into the canvas' backing image; a
// quote that only changes the newest bar repaints that bar alone.
//
// Its commands change the time unit, chart type, candle size, panes and
// layout switches (chartview_cmds.cpp); typed characters build a symbol
// expression that Enter loads (chartview_keys.cpp).
//
// Reads of chart records hold g_chart_lock; the document owns the charts.
#pragma once

#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>

#include "chart/pane.h"
#include "chartwin/chartlayers.h"
#include "chartwin/displayinfo.h"
#include "platform/qt/canvas.h"

class CKvChartDoc;
class CKvGrTradeView;
struct ChartSettings;
struct WindowDescriptor;
struct strategy_ctx;
class QPrinter;

// View flags.
enum : uint32_t {
  VF_PANE_MASK = 0x7,
  VF_PRINTING = 0x8,
  VF_WAITING = 0x100,
  VF_BUTTON_DOWN = 0x200,
  VF_LAYOUT_PENDING = 0x400,
  VF_CANDLE_INFO = 0x800,
  VF_EVENTS_POPUP = 0x1000,
  VF_EXTEND = 0x2000,
  VF_AT_NEWEST = 0x8000,
  VF_LAST_POINT_ONLY = 0x10000,
  VF_STRATEGY_LIVE = 0x800000,  // a strategy runs live or simulated on the chart
};

// Update flags (wParam of WM_UPDATE_FROM_THREAD).
enum : uint32_t { UPD_LAST_BAR = 0x10, UPD_RECALC = 0x20 };

// UpdatePanes flags.
enum : unsigned {
  UP_CALC = 0x2,
  UP_SCBAR = 0x4,
  UP_INVAL = 0x8,
  UP_UPDWIN = 0x10,
  UP_CLEAR = 0x20
};

// The ten view units of tick and volume charts.
extern const int g_view_units[10];

class CKvChartView : public KvCanvasView {
 public:
  CKvChartView();
  ~CKvChartView() override;

  CKvChartDoc* GetDocument() const;
  ChartSettings* Settings() const { return m_settings; }
  CPane& Panes() { return m_panes; }

  void OnInitialUpdate() override;
  void OnUpdate(KvView* sender, intptr_t hint) override;
  void OnActivateView(bool activate) override;
  bool CanClose() override;
  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;

  // Every recomputation and redraw (UP_* flags); caller names the trace.
  void UpdatePanes(const char* caller, unsigned flags);

  // Data messages.
  void MsgFromThread(uint32_t update_flags);
  void MsgGetChartComplete(chart_rec* chart);
  void MsgGetChartTimeOut(chart_rec* chart);
  void MsgMinMaxWindow(unsigned command);
  void MsgCandleOutsideWindow();
  void MsgBidAskUpdate();
  void MsgFromThreadExtSession();
  // A pop-up closed or a line drag ended: data updates that arrived
  // meanwhile are applied now.
  void ApplyDeferredUpdates();

  // Page layouts: the frame's placement into the settings and back.
  void SaveWindowPlacement();
  void RestoreWindowPlacement();

  // Printing: draws the chart into a printer page (printable rectangle in
  // device pixels); preview keeps the screen colours on two-colour devices.
  void OnPrint(KvDC& dc, const KvRect& printable, bool preview);
  // File/Print (ask = show the print dialog) and print to a printer set up
  // by the caller (a PDF in tests).
  bool PrintTo(QPrinter& printer);
  void OnFilePrint(bool ask);
  void OnFilePrintPreview();

  // ---- time spans and display commands (chartview_cmds.cpp) ----
  void OnTimeSpanAll(int unit);
  void OnViewUnit(int index);
  void SetChartType(int type);
  void SetCandleSize(int size);
  void TogglePane(int index);

  // ---- the chart dialogs (chartview_dialogs.cpp) ----
  void OnChartSetup();
  void OnChartColor();
  void OnAlignCustom();
  // Tools/Playback Setup: the dialog on a copy of the playback record;
  // after OK the copy is stored and the playback takes it.
  void OnPlaybackSetup();
  void OnEditPrices();
  void OnChartInfo();
  // Chart/Apply Favorite: the chosen favourite's look and studies replace
  // the chart's; symbol, time unit, dates and placement stay.
  void OnApplyFavorite();
  void ApplyFavorite(const WindowDescriptor* favorite);
  // The trading dialogs behind g_chart_view_hooks (chartwin/viewhooks.h).
  void OnOrderSetup();
  void OnAttachStudy();
  void OnSelectStrategy();
  // The strategy run record the Strategies dialog fills for this chart.
  strategy_ctx* StrategyRun() const { return m_strategy.get(); }

  // ---- mouse (chartview_mouse.cpp) ----
  // The candle-information and events pop-ups; message is WM_LBUTTONDOWN,
  // WM_MOUSEMOVE or WM_LBUTTONUP.
  void DisplayCandleInfo(int x, int y, unsigned message);
  void DisplayEventsInfo(const KvRect& events, int x, int y, unsigned message);
  CDisplayInfo& CandleInfo() { return m_info; }
  // Double click: maximise the chart and the main window, and back.
  void OnLButtonDblClk(int x, int y);
  // Right button: over graphical trading's area the order pop-up menu,
  // elsewhere the chart pop-up menu, at a client point.
  void OnRButtonDown(int x, int y);
  // The time of the bar picked in candle-selection mode, the base of the
  // Selected Candle alignment (0 none: the first visible bar).
  int32_t SelectedAlignTime() const { return m_panes.selected_time; }
  // The price under the pointer, on the tick grid when the symbol has one.
  float m_cursor_price = 0;
  // The other chart windows redraw: every one of the symbol
  // (WM_DRAW_NAMED_CHART), or the annotations of every one showing another
  // chart (WM_INIT_ALL_CHART_ANNOTATIONS).
  void post_draw_named_chart();
  void PostInitAllChartAnnotations();

  // ---- typed symbol (chartview_keys.cpp) ----
  void OnChar(QChar c);
  // Commands posted to this view (typed digits) run here, whichever
  // window is active when they arrive.
  kv_lresult OnCommandMessage(unsigned id) override;
  void OnEscape();
  const QString& TypedText() const { return m_typed; }

  // ---- tool commands (chartview_tools.cpp) ----
  void OnIndCommon(int type, int mode);
  int OnSymbolStep(int how);
  void OnSlideShow();
  void OnAddFavorite();
  void OnDeleteSpike();
  void OnScalePoint(bool select);
  void OnExtendedSessions();
  void OnAvgRangeBars();
  void OnShowGrTrade();
  void OnRemoveOrder();
  void OnRemoveAllCancelled();
  void OnPlayback(unsigned id);
  bool ShowsPlaybackSymbol() const;
  bool SlideShowRunning() const { return m_slide_show; }
  void OnTimer(unsigned id) override;

  // ---- graphical trading (chartview_trade.cpp) ----
  bool GrTradeOn() const;
  CKvGrTradeView* GrTrade() const { return m_trade.get(); }
  // The companion's paint steps, the strip redraw of WM_PORTFOLIO_UPDATE,
  // and its share of the mouse and keys (true: handled).
  void DrawGrTrade(KvDC& dc);
  void OnPortfolioUpdate();
  bool GrTradeMouseDown(int x, int y);
  bool GrTradeMouseMove(int x, int y);
  bool GrTradeMouseUp();
  bool GrTradeKey(int key, QChar c);

  // The hscroll step of the window system's codes.
  void OnHScroll(int code, int pos) override;

  uint32_t m_view_flags = 7;
  uint32_t m_update_flags = 0;
  uint32_t m_deferred_update = 0;
  KvRect m_layout;
  int m_scroll_pos = 0, m_scroll_page = 0;
  int m_extra_panes = 0;
  int m_last_x = 0, m_last_y = 0, m_last_bar = -1;
  int m_right_click_bar = -1;
  int m_draw_depth = 0;
  int m_pane_shift = 0;
  KvRect m_splitters[3];

  std::unique_ptr<ChartAnnotLayer> m_annot;
  std::unique_ptr<ChartAlertLayer> m_alerts;
  std::unique_ptr<CKvGrTradeView> m_trade;
  std::unique_ptr<strategy_ctx> m_strategy;  // zeroed at construction

 protected:
  void OnDraw(KvDC& dc) override;
  bool OnEraseBkgnd(KvDC& dc) override;
  void OnSize(int cx, int cy) override;
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void map_commands();
  void map_dialog_commands();
  void map_tool_commands();
  void grtrade_attach();
  void repaint_popups(KvDC& dc);
  float price_at(int slot, int x, int y) const;
  bool active_child() const;
  void on_key_delete();
  void draw_typed(KvDC& dc);
  void refresh_title_if_intraday();
  bool popup_or_drag() const;
  void forget_dc();
  int candle_spacing() const;
  bool load_outstanding() const;

  ChartSettings* m_settings = nullptr;
  CPane m_panes;
  QString m_typed;
  int m_typed_count = 0;
  int m_split_drag = 0;  // 1..3 while a splitter is dragged
  CDisplayInfo m_info;
  bool m_capture = false;             // the view holds the mouse for a pop-up
  bool m_main_was_maximized = false;  // the main frame before a double click maximised it
  Qt::KeyboardModifiers m_drag_keys;  // the keys at the last drag-over
  QImage m_session_bitmap;
  COLORREF m_session_bg = 0xFFFFFF;
  bool m_slide_show = false;
  int m_slide_countdown = 0;
};

// The mark of the playback speed commands: 0x8 real time, 0x10
// accelerated, 0x20 maximum, 0 none chosen yet.
int playback_speed_mode();

// The bar time picked in a chart in candle-selection mode, left for the
// window that asked for it (the heat map's candle mark takes it); 0 none.
extern int32_t g_picked_candle_time;

// The count of a tick or volume unit code (500 for the 500-tick code), 0
// for other units.
int time_unit_count(int unit);
