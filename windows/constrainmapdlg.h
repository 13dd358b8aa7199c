// The Constrain SLFMap Layout dialog: the map follows the window, or keeps
// a fixed number of rows or of columns.
#pragma once

#include "platform/qt/dialog.h"

enum : int {
  IDD_CONSTRAIN_MAP = 189,
  IDC_MAP_ADJUST = 1227,
  IDC_MAP_ROWS_RADIO = 1228,
  IDC_MAP_ROWS = 1229,
  IDC_MAP_COLUMNS_RADIO = 1257,
  IDC_MAP_COLUMNS = 1258,
};

class CConstrainMapDlg : public KvDialog {
 public:
  explicit CConstrainMapDlg(QWidget* parent = nullptr);

  // In: the current choice; out after OK.
  int m_mode = 0;  // 0 window size, 1 rows fixed, 2 columns fixed
  int m_rows = 0;
  int m_columns = 0;

 protected:
  bool OnInitDialog() override;
  void OnOK() override;
};
