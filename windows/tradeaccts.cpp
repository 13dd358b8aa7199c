#include "windows/tradeaccts.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "broker/executions.h"
#include "platform/services.h"
#include "settings/settings.h"
#include "windows/accountvalue.h"

namespace {
const char kNew[] = "---New---";

accounts_changed_fn g_accounts_listeners[ACCOUNTS_LISTENERS_MAX];
}  // namespace

int add_accounts_changed_listener(accounts_changed_fn fn) {
  if (!fn) return 0;
  for (accounts_changed_fn& slot : g_accounts_listeners)
    if (slot == fn) return 1;
  for (accounts_changed_fn& slot : g_accounts_listeners)
    if (!slot) {
      slot = fn;
      return 1;
    }
  return 0;
}

void remove_accounts_changed_listener(accounts_changed_fn fn) {
  int n = 0;
  for (accounts_changed_fn slot : g_accounts_listeners)
    if (slot && slot != fn) g_accounts_listeners[n++] = slot;
  for (; n < ACCOUNTS_LISTENERS_MAX; n++) g_accounts_listeners[n] = nullptr;
}

void notify_accounts_changed(const char* account) {
  // A copy: a listener may add or remove listeners while it runs.
  accounts_changed_fn now[ACCOUNTS_LISTENERS_MAX];
  memcpy(now, g_accounts_listeners, sizeof now);
  for (accounts_changed_fn fn : now)
    if (fn) fn(account);
}

int trade_account_name_valid(const char* name) {
  size_t n = strlen(name);
  if (n == 0 || n > TRADE_ACCOUNT_NAME_MAX) return 0;
  if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return 0;
  for (const char* p = name; *p; p++)
    if (*p == '/' || *p == '\\' || *p == ':' || (unsigned char)*p < 0x20 || *p == 0x7f) return 0;
  return account_name_ok(name);
}

CTradeAccountsDlg::CTradeAccountsDlg(QWidget* parent) : KvDialog(IDD_TRADE_ACCOUNTS, parent) {
  setWindowTitle(QStringLiteral("Trade Accounts"));
  m_box = AddControl(IDC_ACCOUNT_NAME, new QComboBox(this));
  m_box->setEditable(true);
  m_box->setInsertPolicy(QComboBox::NoInsert);
  m_box->setMinimumContentsLength(16);
  m_create = AddControl(IDC_ACCOUNT_CREATE, new QPushButton(QIcon::fromTheme("document-new"),
                                                            QStringLiteral("Create"), this));
  m_delete = AddControl(IDC_ACCOUNT_DELETE, new QPushButton(QIcon::fromTheme("edit-delete"),
                                                            QStringLiteral("Delete"), this));
  m_purge = AddControl(IDC_ACCOUNT_PURGE, new QPushButton(QIcon::fromTheme("edit-clear"),
                                                          QStringLiteral("Purge"), this));
  for (QPushButton* b : {m_create, m_delete, m_purge}) b->setAutoDefault(false);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Account Name:"), m_box);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_create);
  buttons->addWidget(m_delete);
  buttons->addWidget(m_purge);
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(close, &QDialogButtonBox::rejected, this, [this] { EndDialog(IDCANCEL); });
  auto* top = new QVBoxLayout(this);
  top->addLayout(form);
  top->addLayout(buttons);
  top->addWidget(close);
  connect(m_create, &QPushButton::clicked, this, [this] { OnCreate(); });
  connect(m_delete, &QPushButton::clicked, this, [this] { OnDelete(); });
  connect(m_purge, &QPushButton::clicked, this, [this] { OnPurge(); });
  connect(m_box, QOverload<int>::of(&QComboBox::activated), this, [this] { OnCloseupAccount(); });
  connect(m_box, &QComboBox::editTextChanged, this, [this] {
    if (m_box->lineEdit() && m_box->lineEdit()->hasFocus()) OnEditchangeAccount();
  });
  connect(m_box->lineEdit(), &QLineEdit::textEdited, this, [this] { OnEditchangeAccount(); });
}

QPushButton* CTradeAccountsDlg::button(int id) const {
  switch (id) {
    case IDC_ACCOUNT_CREATE:
      return m_create;
    case IDC_ACCOUNT_DELETE:
      return m_delete;
    case IDC_ACCOUNT_PURGE:
      return m_purge;
  }
  return nullptr;
}

bool CTradeAccountsDlg::OnInitDialog() {
  FillList();
  m_box->setCurrentIndex(-1);
  m_box->setEditText(QString());
  SetButtons(0);
  return true;
}

void CTradeAccountsDlg::FillList() {
  QSignalBlocker block(m_box);
  m_box->clear();
  for (const std::string& n : list_paper_accounts()) m_box->addItem(QString::fromStdString(n));
  m_box->insertItem(0, QString::fromLatin1(kNew));
}

QString CTradeAccountsDlg::ReadName() {
  m_name = m_box->currentText().trimmed();
  return m_name;
}

void CTradeAccountsDlg::SetButtons(int step) {
  if (step == 0) {
    for (QPushButton* b : {m_create, m_delete, m_purge}) b->setEnabled(false);
    return;
  }
  ReadName();
  if (m_name == QLatin1String(kNew)) {
    for (QPushButton* b : {m_create, m_delete, m_purge}) b->setEnabled(false);
    return;
  }
  if (step == 1) m_create->setEnabled(true);
  if (step == 2) {
    m_delete->setEnabled(true);
    m_purge->setEnabled(true);
  }
}

void CTradeAccountsDlg::OnCreate() {
  QString name = ReadName();
  if (name.isEmpty()) return;
  QByteArray utf = name.toUtf8();
  // The name becomes a file name and travels in fields of 8 characters and
  // more: anything that would leave the folder or be cut is refused.
  if (!trade_account_name_valid(utf.constData())) {
    char text[96];
    snprintf(text, sizeof text, "Invalid account name: %s", utf.constData());
    kv_message_box(text, "Trade Accounts", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // Accounts are found without regard to case: a case twin is the same one.
  for (const std::string& n : list_paper_accounts())
    if (strcasecmp(n.c_str(), utf.constData()) == 0) {
      kv_message_box("Account already exists", "Trade Accounts", MB_OK | MB_ICONEXCLAMATION);
      return;
    }
  char path[1024];
  FILE* f = account_file_path(path, sizeof path, utf.constData()) ? fopen(path, "ab") : nullptr;
  if (!f) {
    char text[1100];
    snprintf(text, sizeof text, "Can't create account file: %s", path);
    kv_message_box(text, "Trade Accounts", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  fclose(f);
  FillList();
  m_box->setCurrentIndex(m_box->findText(name));
  SetButtons(1);
}

void CTradeAccountsDlg::OnDelete() {
  QString name = ReadName();
  if (name.isEmpty() || name == QLatin1String(kNew)) return;
  int items = m_box->count();
  QByteArray utf = name.toUtf8();
  reset_account_file(utf.constData(), 0);
  notify_accounts_changed(utf.constData());
  FillList();
  m_box->setCurrentIndex(-1);
  m_box->setEditText(QString());
  SetButtons(items < 3 ? 0 : 2);
}

void CTradeAccountsDlg::OnPurge() {
  QString name = ReadName();
  if (name.isEmpty() || name == QLatin1String(kNew)) return;
  QByteArray utf = name.toUtf8();
  reset_account_file(utf.constData(), 1);
  notify_accounts_changed(utf.constData());
  SetButtons(2);
}

void CTradeAccountsDlg::OnCloseupAccount() {
  SetButtons(2);
}

void CTradeAccountsDlg::OnEditchangeAccount() {
  SetButtons(1);
}
