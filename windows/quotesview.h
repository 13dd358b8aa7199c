// CKvQuotes1View: the quotes window, one row per symbol and one column per
// chosen quote field, refreshed from the symbols' live-quote records each
// update-all round; a value that rose is framed green, one that fell red.
#pragma once

#include <vector>

#include "chartwin/chartdoc.h"
#include "platform/qt/docview.h"
#include "windows/listviewex.h"

struct mqt;
class QMenu;

enum { QUOTES_ROWS_MAX = 200, QUOTES_COLUMNS_MAX = 33 };

class CKvQuotes1View : public KvView, public CKvWindowStateView {
 public:
  CKvQuotes1View();
  ~CKvQuotes1View() override;

  void OnInitialUpdate() override;
  void OnUpdate(KvView* sender, intptr_t hint) override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  CListViewEx* ListView() const;
  // Adds a row for the symbol; 0 when the text is no symbol, the symbol is
  // listed (compared without case), 200 rows are held or no record could
  // be had.
  int AddSymbol(const QString& text);
  int RowCount() const { return int(m_rows.size()); }
  // Column toggles of the pop-up menu; 0 refused.
  int ToggleColumn(int id);
  // After a quotes window of a symbol list is made: the frame's normal
  // rectangle is fitted to the columns and rows, then the saved columns
  // (if any) are applied.
  void SizeFrameToList();
  // Reads every row's record again.
  void RefreshFromQuotes();
  // The pop-up as the right button shows it: the column menu with check
  // marks, each entry bound.
  QMenu* BuildColumnMenu(QWidget* parent);

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;

 private:
  class QuoteList;
  void reset_cells();
  void refresh_row(int r);

  QuoteList* m_list;
  uint32_t m_view_bit = 0;
  std::vector<mqt*> m_rows;
  bool m_busy = false;
};

// The market windows' symbol from dropped text: the first line trimmed,
// 1 to 31 characters without control characters; empty when refused.
QString kv_symbol_from_drop(const QString& text);
