// The Alerts window: the fired price alerts of one symbol, newest first,
// with Rearm, Clear and Disable for that symbol's alert.
//
// The window keeps only the symbol's text; the live-quote record, its alert
// and its fired-alert messages are looked up in the live-quote list under
// g_chart_lock each time they are used, so the window never holds a record
// that may go away with the window that opened it.
#pragma once

#include <QString>

#include "platform/qt/dialog.h"

class KvListBox;

enum : int {
  IDD_ALERTS = 216,
  IDC_ALERTS_LIST = 1310,
  IDC_ALERTS_REARM = 1311,
  IDC_ALERTS_CLEAR = 1312,
  IDC_ALERTS_DISABLE = 1313,
  IDC_ALERTS_KEEP = 1314,
};

class CAlertsDlg : public KvDialog {
 public:
  // Modeless; deletes itself when its window is destroyed.
  CAlertsDlg(const QString& symbol, int keep_messages, QWidget* parent = nullptr);
  ~CAlertsDlg() override;

  QString Symbol() const { return m_symbol; }
  int KeepMessages() const { return m_keep; }
  // Caption and list from the symbol's live-quote record.
  void ShowSymbolAlerts();
  // Another symbol's alerts in the same window.
  void ShowSymbolAlerts(const QString& symbol);
  // An alert of symbol fired: the list is filled again when it is ours.
  void AlertFired(const char* symbol);

  // The one window the main frame refreshes on fired alerts, or null.
  static CAlertsDlg* Remembered();

  void Rearm();
  void Clear();
  void Disable();

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(KvDataExchange& dx) override;
  void OnOK() override;
  void OnCancel() override;
  void showEvent(QShowEvent* e) override;

 private:
  enum change_kind { CHANGE_REARM, CHANGE_CLEAR, CHANGE_DISABLE };
  void change_alert(change_kind kind);

  QString m_symbol;
  int m_keep = 0;
  KvListBox* m_list = nullptr;
};

// The main frame's step on WM_ALERT_TRIGGERED: refreshes the remembered
// window when the alert (by id) belongs to its symbol.
void alerts_dlg_alert_fired(int alert_id);
