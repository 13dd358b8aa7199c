// CListViewEx: the owner-drawn list of the market list windows (quotes,
// time and sales, order book, level 2, market pulse) and its column model.
//
// A row's item data is an array of ListCell, one per current column in
// column-list order (list column i is cell i), allocated by the derived
// view and freed by the list when the row goes; a time-and-sales row also
// frees the block its first cell's source points to. Each cell carries its
// own colours and sort value; DrawCell paints it. The column model is one
// constant ListColumnDef table per view class and a current ListColumn list
// the user edits; SaveColumns/RestoreColumns keep it in the window's
// ChartSettings (count at item_count, the block at items).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/qt/color.h"
#include "platform/qt/reportview.h"

struct ChartSettings;
class QMenu;

enum : int32_t {
  LIST_SORT_INT = 1,
  LIST_SORT_FLOAT = 2,
  LIST_SORT_TEXT = 4,
  LIST_SORT_INT2 = 8,
  LIST_SORT_ARROW = 16,  // compares equal: an arrow is no ordering
};
enum : int32_t { LIST_ARROW_COLUMN = 12 };

struct ListCell {
  int32_t row;        // first cell: -1 when inserted, the position after a sort
  int32_t column_id;  // LIST_ARROW_COLUMN: an arrow cell
  void* source;       // first cell: what the row shows (kind-specific)
  int32_t sort_type;  // LIST_SORT_*
  union {
    int32_t i;
    float f;
    char text[16];
  } value;
  int32_t sort_state;  // 0 never sorted, 1 ascending, 2 descending
  COLORREF text_colour;
  COLORREF background;
  COLORREF frame;  // drawn one pixel inside the cell when it differs from the background
  int32_t arrow_sign;
};

struct ListColumnDef {
  int32_t id;  // -1 ends a table
  char header[12];
  int32_t align;  // LVCFMT_*
  int32_t width;
};

// One saved or current column; free entries hold -1 in every field. The
// page file stores these as three little-endian 32-bit words.
struct ListColumn {
  int32_t id;
  int32_t order;
  int32_t width;
};
static_assert(sizeof(ListColumn) == 12);

// A column entry of a window's pop-up menu: its command and column ids.
struct ListColumnCommand {
  unsigned command;
  int column;
};

class CListViewEx : public KvReportView {
  Q_OBJECT
 public:
  // kind: the window kind; table: the view class's columns (ended by id -1);
  // max_columns: the most the current list may hold.
  CListViewEx(int kind, const ListColumnDef* table, int max_columns, QWidget* parent = nullptr);
  ~CListViewEx() override;

  int Kind() const { return m_kind; }
  static COLORREF GetRowColour(int kind, int row);
  const ListColumnDef* FindDef(int id) const;

  // ---- the column model ----
  int FindColumnPos(int id) const;
  bool ColumnShown(int id) const { return FindColumnPos(id) >= 0; }
  int ColumnCount() const { return m_count; }
  // A new column's width: the table's, widened to what its header text
  // needs in the header's font and style, so no header is ever cut.
  int DefaultWidth(const ListColumnDef* d) const;
  const ListColumn& Column(int pos) const { return m_cols[size_t(pos)]; }
  // 0 when the list is full or the id is unknown or shown.
  int AddColumn(int id);
  int RemoveColumn(int id);
  int ToggleColumn(int id);
  // The first time fills the list with the defaults (ended by -1).
  void BuildColumns(bool first, const int* defaults);
  // Widths and display order back from the list, then a copy of the
  // current columns into the settings (item_count and the items block,
  // which the caller's settings own afterwards).
  void SaveColumns(ChartSettings* s);
  // Takes the settings' saved block over (it is freed and the count
  // zeroed) and rebuilds the columns from it. Saved entries are bounded
  // by the view's maximum; unknown and repeated ids and negative widths
  // are dropped; when none is left the defaults are built.
  void RestoreColumns(ChartSettings* s, const int* defaults);
  // The saved entries that a view of this table keeps.
  std::vector<ListColumn> CleanColumns(const ListColumn* saved, int n) const;

  // The window's pop-up: the first submenu of its menu resource, each
  // column entry check-marked when its column is shown and toggling it
  // when chosen. The caller binds its other commands (kv_find_action); the
  // menu is deleted when it closes.
  QMenu* NewPopupMenu(int menu_id, const ListColumnCommand* columns, int n, QWidget* parent);

  // The sum of (width + 1) over the shown columns: what a frame sized to
  // the list needs across, before its own border.
  int ColumnsSpan() const;

  // ---- rows ----
  // A zero-filled cell array for the current columns, coloured for row r;
  // the list owns it once it is the row's item data.
  ListCell* NewCells(int r) const;
  // Appends a row with these cells; returns its index.
  int AppendRow(ListCell* cells);
  ListCell* Cells(int row) const { return reinterpret_cast<ListCell*>(GetItemData(row)); }
  int MaxCells() const { return m_max; }

  // Header click on list column c (the three-state sort).
  void SortByColumn(int c);
  // Cell comparison of the sort, state 2 descending: NaN floats last both
  // ways, types other than integer, float and text equal.
  static int CompareCells(const ListCell& a, const ListCell& b, int state);

  void DrawCell(KvDC& dc, int row, int column, const KvRect& cell) override;
  // The text fitted to a column of this width: whole when it and 12
  // pixels fit, else cut with "..." (cut is set).
  static QString FitText(KvDC& dc, const QString& text, int width, bool* cut);

 protected:
  // The columns changed (added, removed, restored): the view refills rows.
  virtual void OnColumnsChanged() {}

 private:
  void insert_list_column(int pos);
  void arrow_images(COLORREF bg);

  int m_kind;
  const ListColumnDef* m_table;
  int m_max;
  int m_count = 0;
  std::vector<ListColumn> m_cols;
  QImage m_up, m_down;
  COLORREF m_arrow_bg = 0xFFFFFFFF;
};
