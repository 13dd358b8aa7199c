// "Select Data Sources" (see datasrcdlg.h).
#include "shell/datasrcdlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>
#include <cstdio>

#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/qt/controls.h"
#include "quotes/qrclient.h"
#include "settings/settings.h"
#include "shell/dlgutil.h"

namespace {

const char kNone[] = "---none---";
enum : uint32_t { FLAGS1_TRADING = 0x08, ROUTER_CAN_TRADE = 0x200 };

// Source classes of the four combos, in control order.
const struct {
  int id, unit, cls;
  const char* label;
} kSources[4] = {
    {IDC_SRC_QUOTE, 100000, SRC_MULTIQUOTE, "Quote Data:"},
    {IDC_SRC_DAILY, 390, SRC_DAILY, "Daily Data:"},
    {IDC_SRC_WEEKLY, 2730, SRC_WEEKLY, "Weekly Data:"},
    {IDC_SRC_MONTHLY, 11700, SRC_MONTHLY, "Monthly Data:"},
};

}  // namespace

CDataSourcesDlg::CDataSourcesDlg(QWidget* parent) : KvDialog(IDD_DATA_SOURCES, parent) {
  setWindowTitle(QStringLiteral("Select Data Sources"));
  auto* top = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  for (const auto& s : kSources)
    form->addRow(QString::fromLatin1(s.label), AddControl(s.id, new KvComboBox));
  form->addRow(QStringLiteral("Alias Data File:"), AddControl(IDC_SRC_ALIAS, new KvComboBox));
  top->addLayout(form);
  top->addWidget(kv_ok_cancel_help(this));
}

bool CDataSourcesDlg::OnInitDialog() {
  for (int i = 0; i < 4; i++) {
    auto* combo = Item<KvComboBox>(kSources[i].id);
    // The list is overwritten by the next call: copy it at once.
    for (const char* const* n = srcdata_source_names(kSources[i].unit); n && *n; n++)
      combo->AddString(QString::fromLatin1(*n));
    m_source[i] = settings_source(g_settings, kSources[i].cls);
  }
  auto* alias = Item<KvComboBox>(IDC_SRC_ALIAS);
  for (const QString& name : kv_folder_file_titles(KV_DIR_ALIAS, "*.txt")) alias->AddString(name);
  alias->InsertString(0, QString::fromLatin1(kNone));
  m_alias = QString::fromLatin1(kNone);
  const QString stored = QString::fromLatin1(g_settings.AliasTitle);
  for (int i = 1; i < alias->GetCount(); i++)
    if (!stored.isEmpty() && alias->GetLBText(i).compare(stored, Qt::CaseInsensitive) == 0) {
      m_alias = alias->GetLBText(i);
      break;
    }
  UpdateData(false);
  return true;
}

void CDataSourcesDlg::DoDataExchange(KvDataExchange& dx) {
  for (int i = 0; i < 4; i++) DDX_CBIndex(dx, kSources[i].id, m_source[i]);
  if (dx.save()) {
    m_alias = Item<KvComboBox>(IDC_SRC_ALIAS)->currentText();
  } else {
    auto* alias = Item<KvComboBox>(IDC_SRC_ALIAS);
    alias->SetCurSel(alias->FindStringExact(0, m_alias));
  }
}

void CDataSourcesDlg::OnOK() {
  if (!UpdateData(true)) return;
  // A class without listed sources keeps its stored choice.
  if (m_source[0] >= 0) settings_source(g_settings, SRC_MULTIQUOTE) = m_source[0];
  reload_quote_source_cfg();
  if (!has_router_capability(ROUTER_CAN_TRADE)) g_settings.Flags1 &= ~FLAGS1_TRADING;
  for (int i = 1; i < 4; i++)
    if (m_source[i] >= 0) settings_source(g_settings, kSources[i].cls) = m_source[i];
  QByteArray alias = m_alias == QLatin1String(kNone) ? QByteArray() : m_alias.toUtf8();
  snprintf(g_settings.AliasTitle, sizeof g_settings.AliasTitle, "%.*s",
           (int)sizeof g_settings.AliasTitle - 1, alias.constData());
  EndDialog(IDOK);
}
