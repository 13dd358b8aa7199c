// CKvHRaceView: the horse-race window. Up to 200 symbols of a symbol list
// race side by side in up to three stacked panes (price, volume, study);
// the P&L race shows the positions of one broker account instead, fed by
// the broker client's portfolio messages. The panes are drawn by the pane
// container; this view owns the symbols, their order, the modes and the
// mouse.
#pragma once

#include <QImage>
#include <QString>

#include "chart/basicchart.h"
#include "chart/pane.h"
#include "chartwin/chartdoc.h"
#include "platform/qt/canvas.h"

enum : unsigned {
  ID_HRACE_TOP_PANE = 32771,
  ID_HRACE_MIDDLE_PANE = 32773,
  ID_HRACE_BOTTOM_PANE = 32772,
  ID_HRACE_SORT_NAME = 33205,
  ID_HRACE_SORT_ASCENDING = 33206,
  ID_HRACE_SORT_DESCENDING = 33256,
  ID_HRACE_SORT_AUTO = 33257,
  ID_HRACE_COMBINE_OPTIONS = 33285,
  ID_HRACE_PL_AMOUNT = 33286,
  ID_HRACE_PL_PORTFOLIO = 33287,
  ID_HRACE_PL_POSITION = 33288,
};

// The race's bits of its settings' view flags.
enum : uint32_t {
  HRACE_SORT_NAME = 1u << 10,
  HRACE_SORT_ASCENDING = 1u << 11,
  HRACE_SORT_DESCENDING = 1u << 12,
  HRACE_SORT_AUTO = 1u << 13,
  HRACE_COMBINE = 1u << 14,
  HRACE_PL_POSITION = 1u << 15,
  HRACE_PL_PORTFOLIO = 1u << 16,
  HRACE_PL_COMBINE = 1u << 19,
  HRACE_PL_SHIFT = 15,
  HRACE_PL_MASK = 0x1Fu << 15,
};
enum : int {
  HRACE_CELLS_MAX = 200,
  HRACE_SUBKIND_PL = 12,
  HRACE_AUTO_SORT_MIN_MS = 60000,
};

class CKvHRaceView : public KvCanvasView, public CKvWindowStateView {
 public:
  CKvHRaceView();
  ~CKvHRaceView() override;

  void OnInitialUpdate() override;
  void OnUpdate(KvView* sender, intptr_t hint) override;
  kv_lresult WindowProc(unsigned message, kv_wparam wparam, kv_lparam lparam) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  void LoadPortfolioSymbols();
  void ApplyPLSettings();
  // Each update-all round: the automatic sort's countdown, then a redraw.
  void RefreshFromQuotes();
  void UpdatePanes(int recalc, int resize, int invalidate, int update_now);
  // 1 added; 0 when present, not a symbol, 200 cells are held or no record.
  int AddSymbol(const QString& text);

  // The P&L messages by symbol text.
  void AddPLSymbol(const char* symbol);
  void RemovePLSymbol(const char* symbol);
  void ClearPortfolio();

  void SortByName();
  void SortByValue(bool ascending_command);
  void ToggleAutoSort();
  void CombineOptions();
  void SetPLMode(uint32_t bit);

  bool IsPL() const { return m_pl; }
  int CellCount() const { return m_cell_count; }
  int ShownCount() const { return m_shown_count; }
  const hrace_entry* Entries() const { return m_entries; }
  int AutoSortCountdown() const { return m_countdown; }
  uint32_t Flags() const;
  CPane& Panes() { return m_panes; }
  // The symbol box's text for the entry under a point ("" off a column).
  QString SymbolBoxText(int x, int y) const;
  QMenu* BuildPopupMenu();

 protected:
  void OnDraw(KvDC& dc) override;
  void OnSize(int cx, int cy) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void map_commands();
  ChartSettings* settings() const;
  void set_flags(uint32_t clear, uint32_t set);
  int take_symbol(const char* symbol);
  void overflow_text();
  void apply_sort();
  void refresh_values();
  void fill_race_values();
  void sort_cells(int how);
  int entry_at(int x, int y) const;
  void draw_box(int x, int y);
  void erase_box();
  void fit_frame();
  void release_all();
  uint32_t pl_mode() const;

  bool m_pl = false;
  kv_hwnd m_pl_window = 0;
  QString m_name;
  uint32_t m_view_bit = 0;
  int m_cell_count = 0;
  int m_shown_count = 0;
  hrace_entry m_entries[HRACE_CELLS_MAX] = {};
  float m_values[HRACE_CELLS_MAX] = {};
  hrace_list m_list = {};
  CPane m_panes;
  uint32_t m_view_flags = 0;  // bits 0-2 value mode, 4/5 over a splitter, 9 box shown
  int m_countdown = 0;
  QPoint m_box_point;
  KvRect m_box_rect;
  QImage m_box_under;
};
