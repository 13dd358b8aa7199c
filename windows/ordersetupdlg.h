// The Order Definition Setup dialog: edits one symbol's order definition
// (broker/orddef.h): paper or real trading, the paper account, sizes, time
// in force, paper commissions, the kinds of the opening, stop and target
// orders, their offsets and the stop trigger method.  The dialog works on
// a copy; only OK changes the definition.
#pragma once

#include <QString>

#include "broker/orddef.h"
#include "platform/qt/dialog.h"

class KvComboBox;

enum {
  IDD_ORDER_SETUP = 272,
  IDC_OS_PAPER = 1619,
  IDC_OS_REAL = 1621,
  IDC_OS_ACCOUNT = 1624,
  IDC_OS_LOT = 1545,
  IDC_OS_INCREMENT = 1608,
  IDC_OS_TICK = 1509,
  IDC_OS_DAY = 1629,
  IDC_OS_GTC = 1630,
  IDC_OS_IOC = 1772,
  IDC_OS_DTC = 1773,
  IDC_OS_COMMISSION1 = 1714,
  IDC_OS_COMMISSION2 = 1715,
  IDC_OS_OPEN_LMT = 1796,
  IDC_OS_OPEN_STP = 1804,
  IDC_OS_OPEN_MIT = 1797,
  IDC_OS_STOP_NONE = 1798,
  IDC_OS_STOP_STP = 1799,
  IDC_OS_STOP_TRAIL = 1800,
  IDC_OS_TARGET_NONE = 1801,
  IDC_OS_TARGET_LMT = 1802,
  IDC_OS_TARGET_MIT = 1803,
  IDC_OS_STOP_OFFSET = 1614,
  IDC_OS_TRAIL_OFFSET = 1617,
  IDC_OS_TARGET_OFFSET = 1615,
  IDC_OS_HOTKEY_BUY = 1622,
  IDC_OS_HOTKEY_SELL = 1623,
  IDC_OS_STOP_LIMIT = 1632,
  IDC_OS_TRIGGER_DEFAULT = 1178,
  IDC_OS_TRIGGER_DOUBLE = 1635,
  IDC_OS_TRIGGER_LAST = 1634,
  IDC_OS_TRIGGER_DOUBLE_LAST = 1636,
  IDC_OS_OUTSIDE_RTH = 1637,
  IDC_OS_SWEEP = 1638,
};

class COrderSetupDlg : public KvDialog {
 public:
  // tick: the symbol's tick size, which gives the decimals of the prices
  // shown (0: two decimals).
  COrderSetupDlg(OrderDef* def, double tick, QWidget* parent = nullptr);

  void FillAccountList();
  void OnRealTrading();
  KvComboBox* account_box() const { return m_accounts; }

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;
  void OnOK() override;
  void OnCancel() override;

 private:
  QString price_text(double v) const;

  OrderDef* m_def;
  OrderDef m_work;  // the copy edited until OK
  int m_code;       // display code of the prices
  KvComboBox* m_accounts;

  // Text copies of the numbers and the radio indexes.
  int m_mode = 0, m_tif = 0, m_open = 0, m_stop = 0, m_target = 0, m_trigger = 0;
  int m_outside_rth = 0, m_sweep = 0;
  QString m_account, m_lot, m_increment, m_tick, m_commission1, m_commission2;
  QString m_stop_offset, m_trail_offset, m_target_offset, m_hot_buy, m_hot_sell, m_stop_limit;
};
