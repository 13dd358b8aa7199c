// CSpreadSetupDlg: the "Setup Spread Chart" dialog over the spread
// definitions of spreads.cfg: choose a definition by name, edit its legs and
// ratios, work out balanced ratios from the legs' prices and multipliers,
// save (Apply, OK) or delete it. A definition whose spread symbol has a
// live-quote record is in use and is not deleted. Bad numbers are refused
// with the data-exchange texts.
#pragma once

#include "platform/qt/dialog.h"

enum : int {
  IDD_SPREAD_SETUP = 339,
  IDC_SPREAD_NAME = 1793,
  IDC_SPREAD_LONG = 1781,
  IDC_SPREAD_SHORT = 1782,
  IDC_SPREAD_LONG_RATIO = 1783,
  IDC_SPREAD_SHORT_RATIO = 1784,
  IDC_SPREAD_LONG_PRICE = 1785,
  IDC_SPREAD_SHORT_PRICE = 1786,
  IDC_SPREAD_LONG_MULT = 1787,
  IDC_SPREAD_SHORT_MULT = 1788,
  IDC_SPREAD_CALCULATE = 1789,
  IDC_SPREAD_APPLY = 1790,
  IDC_SPREAD_DELETE = 1085,
};

class KvComboBox;

class CSpreadSetupDlg : public KvDialog {
 public:
  explicit CSpreadSetupDlg(QWidget* parent = nullptr);

 protected:
  bool OnInitDialog() override;
  void OnOK() override;

 private:
  void fill_names();
  void show_definition();
  void on_calculate();
  bool apply();
  void on_delete();
  KvComboBox* names() const;
};
