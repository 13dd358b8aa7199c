// CEditPricesDlg: the "Edit Stock Prices" dialog. The bars of a chart are
// listed newest first; a row's values can be changed (Modify) and rows
// removed (Delete). Nothing reaches the chart before OK, which copies the
// changed bars back, removes the deleted ones and writes the price file
// once, all under g_chart_lock against the quote threads.
//
// A value that is not a number is refused with the data-exchange text and
// changes nothing; a failed write is reported and leaves the old file.
#pragma once

#include <vector>

#include "data/chart.h"
#include "platform/qt/dialog.h"

class QTreeWidget;

enum : int {
  IDD_EDIT_PRICES = 187,
  IDC_PRICES_LIST = 1246,
  IDC_PRICES_DATE = 1725,
  IDC_PRICES_TIME_LABEL = 1733,
  IDC_PRICES_TIME = 1730,
  IDC_PRICES_OPEN = 1017,
  IDC_PRICES_HIGH = 1019,
  IDC_PRICES_LOW = 1020,
  IDC_PRICES_CLOSE = 1018,
  IDC_PRICES_VOLUME = 1731,
  IDC_PRICES_OI = 1732,
  IDC_PRICES_ADD = 1084,
  IDC_PRICES_MODIFY = 1201,
  IDC_PRICES_DELETE = 1085,
};

class CEditPricesDlg : public KvDialog {
 public:
  explicit CEditPricesDlg(chart_rec* chart, QWidget* parent = nullptr);
  ~CEditPricesDlg() override;

  // The list's row of a bar index, -1 when it has none.
  int RowOfBar(int index) const;
  QTreeWidget* List() const { return m_list; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void fill_row(int row, int index);
  void on_selection();
  void on_modify();
  void on_delete();
  bool intraday() const;

  chart_rec* m_chart;
  QTreeWidget* m_list = nullptr;
  std::vector<chart_bar> m_work;  // the bars being edited, with spare room
  int m_count = 0;
  bool m_editing_set = false;
};
