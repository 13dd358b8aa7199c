// A report-style list for the market windows.
//
// Rows hold their cell texts and one item-data word; no row has widgets of
// its own, so lists of many thousands of rows cost only their data. Columns
// carry ids; the user may drag them to another order and change their
// widths, and SaveColumns/RestoreColumns keep id, display order and width.
// Every cell is painted by DrawCell (override it, or set a painter
// function) with the cell's own rectangle, so each cell can have its own
// colours. A header click is reported with the column's index; SortItems
// reorders the rows with a comparison of their item data and keeps the
// order of rows that compare equal.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/qt/dc.h"

enum : int { LVCFMT_LEFT = 0, LVCFMT_RIGHT = 1, LVCFMT_CENTER = 2 };

struct KvReportColumn {
  int id = -1;
  int order = -1;  // display position
  int width = -1;
};

class KvReportModel;

class KvReportView : public QTableView {
  Q_OBJECT
 public:
  explicit KvReportView(QWidget* parent = nullptr);
  ~KvReportView() override;

  // Columns, by index (the order they were inserted).
  int InsertColumn(int index, int id, const QString& header, int align, int width);
  bool DeleteColumn(int index);
  int GetColumnCount() const;
  int ColumnId(int index) const;
  int ColumnIndex(int id) const;  // -1 when not shown
  int GetColumnWidth(int index) const;
  int GetColumnAlign(int index) const;
  // Column indexes in display order.
  std::vector<int> GetColumnOrder() const;
  std::vector<KvReportColumn> SaveColumns() const;
  // Sets width and display order of the columns named in the list.
  void RestoreColumns(const std::vector<KvReportColumn>& cols);

  // Rows.
  int InsertItem(int row, const QString& text);  // row < 0 or past the end appends
  // Appends rows that hold only their item data: their texts come from the
  // text function when a cell is shown or read, so building a list costs
  // its rows, not its cells.  A row given a text by SetItemText keeps its
  // own texts from then on.
  int AppendDataRows(const std::vector<std::uintptr_t>& data);
  using ItemTextFn = std::function<QString(std::uintptr_t data, int column)>;
  void SetItemTextFn(ItemTextFn fn);
  bool SetItemText(int row, int column, const QString& text);
  QString GetItemText(int row, int column) const;
  bool SetItemData(int row, std::uintptr_t data);
  std::uintptr_t GetItemData(int row) const;
  bool DeleteItem(int row);
  void DeleteAllItems();
  int GetItemCount() const;
  // Called with a row's item data when the row is deleted (also by
  // DeleteAllItems and the destructor), so the owner can free it.
  void SetDeleteItemFn(std::function<void(std::uintptr_t)> fn);
  // Stable sort of the rows by their item data; compare < 0, 0, > 0.
  void SortItems(const std::function<int(std::uintptr_t, std::uintptr_t)>& compare);
  // Rows that fit in the visible area.
  int GetCountPerPage() const;
  // Fixed height of every row in pixels.
  void SetRowHeight(int h);

  // Paints one cell; the default fills white and draws the text with the
  // column's alignment. Set a function or override.
  using DrawCellFn = std::function<void(KvDC&, int row, int column, const KvRect&)>;
  void SetDrawCell(DrawCellFn fn) {
    m_draw = std::move(fn);
    viewport()->update();
  }
  virtual void DrawCell(KvDC& dc, int row, int column, const KvRect& cell);
  void RedrawItems(int first, int last);

 signals:
  // Header click on the column with this index.
  void columnClicked(int column);

 private:
  KvReportModel* m_model;
  DrawCellFn m_draw;
};
