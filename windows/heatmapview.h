// CKvHeatMapView: the SLFMap window. One coloured cell per symbol of a
// symbol list (or of symbols typed or dropped in), coloured by the chosen
// change measure; the user sorts, marks, excludes, hides and deletes
// symbols, constrains the grid, shows mini charts, manages the symbols'
// alerts and asks for data updates of all of them.
#pragma once

#include <QString>

#include "chartwin/chartdoc.h"
#include "platform/qt/canvas.h"
#include "windows/heatmaplayout.h"

struct ChartSettings;

enum : unsigned {
  ID_MAP_SYMBOL_NAME = 32871,
  ID_MAP_LAST_PRICE = 32924,
  ID_MAP_PCT_PREV_CLOSE = 32872,
  ID_MAP_CHG_PREV_CLOSE = 32873,
  ID_MAP_PCT_OPEN = 32886,
  ID_MAP_CHG_OPEN = 32888,
  ID_MAP_PCT_CLOSE = 33014,
  ID_MAP_CHG_CLOSE = 33015,
  ID_MAP_PCT_GAP = 32903,
  ID_MAP_GAP = 32904,
  ID_MAP_PCT_MARK = 32965,
  ID_MAP_CHG_MARK = 32966,
  ID_MAP_DAILY_RANGE = 33119,
  ID_MAP_SORT = 32989,
  ID_MAP_MINI_CHARTS = 32909,
  ID_MAP_EXTENDED = 33012,
  ID_MAP_MARK_NOW = 32964,
  ID_MAP_MARK_CANDLE = 32971,
  ID_MAP_MARK_1 = 32936,
  ID_MAP_MARK_2 = 32937,
  ID_MAP_MARK_3 = 32938,
  ID_MAP_MARK_4 = 32939,
  ID_MAP_MARK_6 = 32967,
  ID_MAP_MARK_7 = 32968,
  ID_MAP_POPUP_SYMBOL = 32941,
  ID_MAP_EXCLUDE = 32942,
  ID_MAP_HIDE = 32943,
  ID_MAP_DELETE = 33110,
  ID_MAP_UNHIDE_ALL = 33111,
  ID_MAP_CONSTRAIN = 32955,
  ID_MAP_DELETE_ALL_ALERTS = 32957,
  ID_MAP_REARM_ALERTS = 32991,
  ID_MAP_DELETE_ALERTS = 32990,
  ID_MAP_SHOW_ALERTS = 32995,
  ID_MAP_UPDATE_DAILY = 32973,
  ID_MAP_UPDATE_INTRADAY = 33258,
  ID_MAP_UPDATE_DAILY_FROM_INTRADAY = 33283,
  ID_MAP_SAVE = 33122,
};

// Bits of the map in its settings' display flags (the flags word).
enum : uint32_t {
  MAP_FLAG_MINI_CHARTS = 1u << 11,
  MAP_ROWS_SHIFT = 12,     // 5 bits: fixed rows, 0 none
  MAP_COLUMNS_SHIFT = 17,  // 5 bits: fixed columns, 0 none
  MAP_FIELD_MASK = 0x1F,
  MAP_FIXED_MAX = 31,
};

class CKvHeatMapView : public KvCanvasView, public CKvWindowStateView, public CKvSymbolCellsView {
 public:
  CKvHeatMapView();
  ~CKvHeatMapView() override;

  void OnInitialUpdate() override;
  void OnUpdate(KvView* sender, intptr_t hint) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;
  int GetCellInfo(int index, uint32_t* flags, const char** symbol,
                  const char** description) override;
  void SortForSave(int by_name) override;

  // 1 added (or a deleted cell of the symbol taken again), 0 not: the text
  // is trimmed and must be 1-31 characters.
  int AddSymbol(const QString& text);
  void Sort(int key);
  // The constraint as the dialog sets it; 0 refused (a number of 32 or
  // more, or below 1 for the chosen mode).
  int SetConstraint(int mode, int rows, int columns);

  // Cell operations on a symbol (the first cell of it that is not deleted).
  void ExcludeSymbol(const char* symbol);
  void HideSymbol(const char* symbol);
  void DeleteSymbol(const char* symbol);
  void UnhideAll();
  void ClearAlerts(bool all);
  void RearmAlerts();
  void UpdateAll(unsigned command);

  CHeatMapLayout& Layout() { return m_layout; }
  HeatMapCell* Cells() { return m_cells; }
  int CellCount() const { return m_cell_count; }
  int ShownCount() const { return m_shown_count; }
  int Constraint() const { return m_constraint; }
  const QString& Typed() const { return m_typed; }
  const QString& Name() const { return m_name; }
  uint32_t ViewBit() const { return m_view_bit; }
  void SetPopupSymbol(const char* symbol);
  // The popup menu as it shows at a point of the client area.
  QMenu* BuildPopupMenu(int x, int y);

 protected:
  void OnDraw(KvDC& dc) override;
  void OnSize(int cx, int cy) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  enum : uint32_t {
    STATE_CAPTURED = 0x1,
    STATE_TYPING = 0x2,
    STATE_LAYOUT = 0x4,
    STATE_CANDLE_MARK = 0x8,
  };
  void map_commands();
  void sort_command(int key);
  void relayout();
  HeatMapCell* popup_cell();
  void typed_changed();
  void erase_typed();
  int shown_in_use() const;
  ChartSettings* settings() const;
  void set_title(int balance, bool with_balance);

  QString m_name;
  uint32_t m_view_bit = 0;
  int m_cell_count = 0;
  int m_shown_count = 0;
  HeatMapCell m_cells[HEATMAP_CELLS_MAX];
  CHeatMapLayout m_layout;
  uint32_t m_state = STATE_LAYOUT;
  QString m_typed;
  int m_popup_cell = -1;
  QString m_popup_symbol;
  int m_constraint = HEATMAP_FREE;
  int m_balance = 0;
  bool m_balance_known = false;
};
