#include "windows/accountsview.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QLayout>
#include <QMdiArea>
#include <QStyle>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <string>

#include "broker/executions.h"
#include "broker/positions.h"
#include "platform/locks.h"
#include "platform/qt/frames.h"
#include "platform/qt/reportview.h"
#include "shell/app.h"
#include "shell/core/pagefile.h"
#include "windows/tradeaccts.h"

CKvAccountsView* g_accounts_view;

namespace {

// Item data: 0 the root, 1 an account, 2 a symbol; the names are texts so
// that a selection never reaches a table that moved or was freed.
enum { ITEM_ROOT, ITEM_ACCOUNT, ITEM_SYMBOL };

struct value_column {
  int code;
  const char* title;
};
const value_column kColumns[] = {{49, "Currency"},    {5, "Cash"},      {66, "Stocks"},
                                 {67, "Stk Opts"},    {68, "Futures"},  {69, "Fut Opts"},
                                 {70, "Unreal. P&L"}, {71, "Real. P&L"}};

void accounts_changed(const char*) {
  if (g_accounts_view) g_accounts_view->Rebuild();
}

}  // namespace

CKvAccountsView::CKvAccountsView(QWidget* parent)
    : KvFormView(parent), m_summary(new PositionSummaryTable) {
  m_tree = AddControl(IDC_ACCOUNTS_TREE, new QTreeWidget(this));
  m_tree->setHeaderHidden(true);
  m_tabs = AddControl(IDC_ACCOUNTS_TAB, new QTabBar(this));
  m_tab_list = AddControl(IDC_ACCOUNTS_TAB_LIST, new KvReportView(this));
  m_group =
      AddControl(IDC_ACCOUNTS_VALUE_GROUP, new QGroupBox(QStringLiteral("Market Value"), this));
  m_values = AddControl(IDC_ACCOUNTS_VALUE_LIST, new KvReportView(m_group));
  auto* gl = new QVBoxLayout(m_group);
  gl->addWidget(m_values);
  auto* top = new QVBoxLayout(this);
  top->addWidget(m_tree, 2);
  top->addWidget(m_tabs);
  top->addWidget(m_tab_list, 1);
  top->addWidget(m_group, 2);
  connect(m_tree, &QTreeWidget::currentItemChanged, this, [this] { OnSelChanged(); });
  connect(m_tabs, &QTabBar::currentChanged, this, [this] { OnTabChange(); });
}

CKvAccountsView::~CKvAccountsView() {
  if (g_accounts_view == this) {
    g_accounts_view = nullptr;
    remove_accounts_changed_listener(accounts_changed);
  }
  delete m_summary;
}

void CKvAccountsView::OnInitialUpdate() {
  KvFormView::OnInitialUpdate();
  g_accounts_view = this;
  add_accounts_changed_listener(accounts_changed);
  if (auto* doc = dynamic_cast<CKvWindowDoc*>(GetDocument())) {
    doc->Settings().window_kind = KIND_ACCOUNTS;
    doc->SetTitle(QStringLiteral("Accounts"));
  }
  {
    QSignalBlocker block(m_tabs);
    for (const char* t : {"Balances", "Positions", "Strategy Summary"})
      m_tabs->addTab(QString::fromLatin1(t));
  }
  // Columns of at least 65 pixels, wider where the header text needs it
  // ("Unreal. P&L" does not fit 65 pixels in every desktop font).
  QHeaderView* header = m_values->horizontalHeader();
  int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
  int i = 0;
  for (const value_column& c : kColumns) {
    QString title = QString::fromLatin1(c.title);
    int width = std::max(65, header->fontMetrics().horizontalAdvance(title) + 4 * margin);
    m_values->InsertColumn(i++, c.code, title, LVCFMT_LEFT, width);
  }
  // The tab's list: grid lines and columns the user may drag to another
  // order (list-view bits 0x11).
  m_tab_list->setShowGrid(true);
  m_tab_list->horizontalHeader()->setSectionsMovable(true);
  Rebuild();
  FitFrame();
}

// The frame opened at the form's bare size, before the value columns
// existed: it takes the size of the whole form now (every value column in
// sight), but never more than the main frame's window area.
void CKvAccountsView::FitFrame() {
  KvChildFrame* f = GetParentFrame();
  if (!f || f->isMaximized() || f->isMinimized()) return;
  m_values->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
  if (layout()) layout()->activate();
  QSize want = f->sizeHint();
  if (QMdiArea* area = f->mdiArea()) want = want.boundedTo(area->viewport()->size());
  f->resize(want.expandedTo(f->minimumSizeHint()));
}

void CKvAccountsView::Rebuild() {
  FillTree();
  if (m_tree->topLevelItemCount()) m_tree->setCurrentItem(m_tree->topLevelItem(0));
  OnSelChanged();
}

void CKvAccountsView::FillTree() {
  QSignalBlocker block(m_tree);
  m_tree->clear();
  auto* root = new QTreeWidgetItem(m_tree, {QStringLiteral("All Accounts")});
  root->setData(0, Qt::UserRole, ITEM_ROOT);
  root->setIcon(0, QIcon::fromTheme(QStringLiteral("folder")));
  for (const std::string& name : list_paper_accounts()) {
    auto* acct = new QTreeWidgetItem(root, {QString::fromStdString(name)});
    acct->setData(0, Qt::UserRole, ITEM_ACCOUNT);
    acct->setIcon(0, QIcon::fromTheme(QStringLiteral("wallet-open"),
                                      QIcon::fromTheme(QStringLiteral("folder"))));
    // The symbols are copied out under the lock: the table moves when it grows.
    QStringList symbols;
    {
      kv_lock guard(g_chart_lock);
      if (account_rec* a = get_account(name.c_str()))
        for (int i = 0; i < a->count; i++) {
          const execution_fields& f = a->trades[i].f;
          QString s = QString::fromLatin1(f.symbol[0] ? f.symbol : f.local_symbol);
          if (!symbols.contains(s)) symbols << s;
        }
    }
    for (const QString& s : symbols) {
      auto* item = new QTreeWidgetItem(acct, {s});
      item->setData(0, Qt::UserRole, ITEM_SYMBOL);
    }
  }
  m_tree->expandAll();
}

QString CKvAccountsView::caption() const {
  return m_group->title();
}

void CKvAccountsView::OnSelChanged() {
  QTreeWidgetItem* item = m_tree->currentItem();
  int type = item ? item->data(0, Qt::UserRole).toInt() : ITEM_ROOT;
  if (!item || type == ITEM_ROOT)
    ShowValues(QStringLiteral("Market Value for all Accounts"), QString(), QString());
  else if (type == ITEM_ACCOUNT)
    ShowValues(QStringLiteral("Market Value for Account %1").arg(item->text(0)), item->text(0),
               QString());
  else
    ShowValues(QStringLiteral("Market Value for Symbol %1").arg(item->text(0)),
               item->parent()->text(0), item->text(0));
}

void CKvAccountsView::ShowValues(const QString& caption, const QString& account, const QString&) {
  m_group->setTitle(caption);
  m_values->DeleteAllItems();
  m_summary->Clear();
  if (account.isEmpty()) {
    for (const std::string& name : list_paper_accounts())
      add_account_trades(m_summary, name.c_str(), nullptr);
  } else {
    // A symbol item shows its whole account under the symbol's caption.
    add_account_trades(m_summary, account.toLatin1().constData(), nullptr);
  }
  int r = 0;
  for (const account_value_row& row : account_value_rows(*m_summary)) {
    m_values->InsertItem(r, QString::fromLatin1(row.currency));
    for (int c = 0; c < AV_COLUMNS; c++)
      m_values->SetItemText(r, c + 1, QString::asprintf("%.2f", row.v[c]));
    r++;
  }
}

void CKvAccountsView::OnTabChange() {
  m_tab_list->DeleteAllItems();
  while (m_tab_list->GetColumnCount()) m_tab_list->DeleteColumn(0);
}

void CKvAccountsView::SaveWindowState(WindowDescriptor* d) {
  (void)d;
}

void CKvAccountsView::RestoreWindowState(const WindowDescriptor* d) {
  KvChildFrame* f = GetParentFrame();
  const int32_t* r = d->settings.normal_rect;
  if (!f || r[2] <= r[0] || r[3] <= r[1]) return;
  KvWindowPlacement wp;
  wp.normal = KvRect(std::max(r[0], 0), std::max(r[1], 0), 0, 0);
  wp.normal.right = wp.normal.left + (r[2] - r[0]);
  wp.normal.bottom = wp.normal.top + (r[3] - r[1]);
  wp.showCmd = d->settings.show_cmd ? d->settings.show_cmd : SW_SHOWNORMAL;
  f->SetWindowPlacement(wp);
}
