// The Trade Accounts dialog: lists the paper accounts (the "*.trades" files
// of the accounts folder) and creates, deletes and purges them.
#pragma once

#include <QString>

#include "platform/qt/dialog.h"

class QComboBox;
class QPushButton;

enum {
  IDD_TRADE_ACCOUNTS = 244,
  IDC_ACCOUNT_NAME = 1514,
  IDC_ACCOUNT_CREATE = 1518,
  IDC_ACCOUNT_DELETE = 1085,
  IDC_ACCOUNT_PURGE = 1517,
  TRADE_ACCOUNT_NAME_MAX = 8,  // the shortest field an account name travels in
};

// 1 when a typed name may become a new account file: no path characters,
// not "." or "..", at most TRADE_ACCOUNT_NAME_MAX characters.
int trade_account_name_valid(const char* name);

// Called after an account's trades were dropped (Delete, Purge) so that the
// windows showing them rebuild from the files.  Null: nothing to tell.
extern void (*g_accounts_changed_hook)(const char* account);

class CTradeAccountsDlg : public KvDialog {
 public:
  explicit CTradeAccountsDlg(QWidget* parent = nullptr);

  void OnCreate();
  void OnDelete();
  void OnPurge();
  void OnCloseupAccount();
  void OnEditchangeAccount();

  QComboBox* account_box() const { return m_box; }
  QPushButton* button(int id) const;

 protected:
  bool OnInitDialog() override;

 private:
  void FillList();
  void SetButtons(int step);
  QString ReadName();

  QComboBox* m_box = nullptr;
  QPushButton* m_create = nullptr;
  QPushButton* m_delete = nullptr;
  QPushButton* m_purge = nullptr;
  QString m_name;
};
