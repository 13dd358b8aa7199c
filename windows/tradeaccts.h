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

// Told after an account's trades were dropped (Delete, Purge), so that the
// windows showing them (the accounts window, the orders window) rebuild
// from the files.  Every window that shows accounts adds its own listener;
// adding one twice keeps one.  1 added, 0 when the list is full.
typedef void (*accounts_changed_fn)(const char* account);
enum { ACCOUNTS_LISTENERS_MAX = 8 };
int add_accounts_changed_listener(accounts_changed_fn fn);
void remove_accounts_changed_listener(accounts_changed_fn fn);
// Tells every listener, in the order they were added.
void notify_accounts_changed(const char* account);

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
