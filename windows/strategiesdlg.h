// The Strategies dialog: picks a built-in trading system for a chart, sets
// the run's contract, account, dates, position, tax, mode, options and
// arguments, and starts the run (Run) or only keeps the settings (Close).
// It edits a private copy of the chart view's strategy_ctx and copies it
// back under g_chart_lock, since a Simulate or LIVE run reads the record
// on the quote thread.
#pragma once

#include <QString>

#include "data/strategy.h"
#include "platform/qt/dialog.h"

class KvComboBox;
struct chart_rec;

enum {
  IDD_STRATEGIES = 246,
  IDC_ST_NAME = 1532,
  IDC_ST_ACCOUNT = 1536,
  IDC_ST_BALANCE = 1546,
  IDC_ST_TICK = 1509,
  IDC_ST_MULTIPLIER = 1533,
  IDC_ST_SLIPPAGE = 1549,
  IDC_ST_START = 1032,
  IDC_ST_STOP = 1540,
  IDC_ST_FIRST_CANDLE = 1558,
  IDC_ST_PAY_TAX = 1541,
  IDC_ST_ANNUAL = 1557,
  IDC_ST_QUARTERLY = 1556,
  IDC_ST_RATE = 1548,
  IDC_ST_LONG = 1543,
  IDC_ST_SHORT = 1544,
  IDC_ST_LOT_SIZE = 1545,
  IDC_ST_MAX_LOTS = 1547,
  IDC_ST_QUICK_TEST = 1559,
  IDC_ST_DUMP_ORDERS = 1560,
  IDC_ST_INVERT = 1754,
  IDC_ST_OPTION1 = 1738,   // to 1741
  IDC_ST_BACKTEST = 1550,  // the six modes, 1550 to 1555
  IDC_ST_CLOSE = 8,
  STRATEGY_TYPED_ACCOUNT_MAX = 10,  // the execution record's account field
};

extern const int kStrategyArgIds[8];
extern const int kStrategyArgLabelIds[8];

class CStrategiesDlg : public KvDialog {
 public:
  CStrategiesDlg(chart_rec* chart, strategy_ctx* ctx, QWidget* parent = nullptr);

  void OnCloseupStrategy();
  void OnRun();
  void OnClose();
  KvComboBox* name_box() const { return m_names; }
  // The dialog's copy of the record.
  const strategy_ctx& work() const { return m_work; }

 protected:
  bool OnInitDialog() override;
  void OnOK() override { OnRun(); }

 private:
  void FillNames();
  void ShowLabels(int entry);
  void ShowValues();
  // Reads every control into the copy; 0 when the account name is refused
  // (the message is shown).
  int ReadControls();
  // The copy back over the view's record.
  void CopyBack();
  int chosen_entry() const;

  chart_rec* m_chart;
  strategy_ctx* m_ctx;
  strategy_ctx m_work;
  int m_decimals;  // of the quote record's tick; -1 without a record
  QString m_name;  // the system chosen before the last close-up
  KvComboBox* m_names;
};
