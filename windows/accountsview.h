// The accounts window: the paper accounts as a tree ("All Accounts", each
// account, each symbol traded in it) and, for the selection, the market
// value by currency: cash, stocks, stock and futures options, futures,
// unrealised and realised profit.
#pragma once

#include <QString>

#include "chartwin/chartdoc.h"
#include "platform/qt/formview.h"
#include "windows/accountvalue.h"

class QTreeWidget;
class QTreeWidgetItem;
class QTabBar;
class QGroupBox;
class KvReportView;

enum {
  IDD_ACCOUNTS_FORM = 245,
  IDC_ACCOUNTS_TAB = 1510,
  IDC_ACCOUNTS_TREE = 1526,
  IDC_ACCOUNTS_TAB_LIST = 1527,
  IDC_ACCOUNTS_VALUE_GROUP = 1530,
  IDC_ACCOUNTS_VALUE_LIST = 1529,
};

class CKvAccountsView : public KvFormView, public CKvWindowStateView {
 public:
  explicit CKvAccountsView(QWidget* parent = nullptr);
  ~CKvAccountsView() override;

  void OnInitialUpdate() override;
  void SaveWindowState(WindowDescriptor* d) override;
  void RestoreWindowState(const WindowDescriptor* d) override;

  // Fills the tree again from the account files and shows all accounts.
  void Rebuild();

  QTreeWidget* tree() const { return m_tree; }
  KvReportView* value_list() const { return m_values; }
  QString caption() const;

 private:
  void FillTree();
  void FitFrame();
  void OnSelChanged();
  void OnTabChange();
  void ShowValues(const QString& caption, const QString& account, const QString& symbol);

  QTreeWidget* m_tree;
  QTabBar* m_tabs;
  KvReportView* m_tab_list;
  QGroupBox* m_group;
  KvReportView* m_values;
  // The summary of this window's selection: the global one serves the
  // chart's symbol.
  PositionSummaryTable* m_summary;
};

// The open accounts window, null when none.
extern CKvAccountsView* g_accounts_view;
