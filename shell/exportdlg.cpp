// "Export Settings..." (see exportdlg.h).
#include "shell/exportdlg.h"

#include <QDialogButtonBox>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cstdio>

#include "data/importfmt.h"
#include "platform/qt/controls.h"
#include "settings/settings.h"
#include "shell/dlgutil.h"

CExportSettingsDlg::CExportSettingsDlg(QWidget* parent) : KvDialog(IDD_EXPORT_SETTINGS, parent) {
  setWindowTitle(QStringLiteral("Export Settings..."));
  auto* top = new QVBoxLayout(this);
  auto* file = new QGroupBox(QStringLiteral("Export File"));
  auto* ff = new QFormLayout(file);
  ff->addRow(
      AddControl(IDC_EXP_ADD_SPAN, new QCheckBox(QStringLiteral("Add time span to file name"))));
  auto* ext = AddControl(IDC_EXP_EXTENSION, new QLineEdit);
  ext->setMaxLength(9);
  ff->addRow(QStringLiteral("File Extension:"), ext);
  ff->addRow(AddControl(IDC_EXP_ADD_HEADER, new QCheckBox(QStringLiteral("Add header to file"))));
  auto* header = AddControl(IDC_EXP_HEADER, new QLineEdit);
  header->setMaxLength(99);
  ff->addRow(QStringLiteral("Header:"), header);
  auto* dir = AddControl(IDC_EXP_DIR, new QLabel);
  dir->setTextInteractionFlags(Qt::TextSelectableByMouse);
  ff->addRow(QStringLiteral("Export Directory:"), dir);
  top->addWidget(file);

  auto* format_box = new QGroupBox(QStringLiteral("Data Format"));
  auto* sv = new QVBoxLayout(format_box);
  auto* combo = AddControl(IDC_FORMAT, new KvComboBox);
  sv->addWidget(combo);
  auto* desc = AddControl(IDC_FORMAT_DESCRIPTION, new QLabel);
  desc->setWordWrap(true);
  sv->addWidget(desc);
  top->addWidget(format_box);
  top->addWidget(kv_ok_cancel_help(this));
  connect(combo, &QComboBox::activated, this, [this] { show_description(); });
}

bool CExportSettingsDlg::OnInitDialog() {
  m_format_tokens = read_import_cfg(&m_formats);
  auto* combo = Item<KvComboBox>(IDC_FORMAT);
  // The first pair is not offered; each name keeps its position.
  for (int pos = 2; pos + 1 < m_format_tokens; pos += 2)
    combo->SetItemData(combo->AddString(QString::fromLatin1(m_formats[pos])), (std::uintptr_t)pos);
  m_add_header = (g_settings.Flags & PREF_EXPORT_HEADER) ? 1 : 0;
  m_add_span = (g_settings.Flags & PREF_EXPORT_SPAN_IN_NAME) ? 1 : 0;
  m_extension = QString::fromLatin1(g_settings.ExpFileExt);
  m_header = QString::fromLatin1(g_settings.ExpFileHdr);
  m_format = g_settings.ExpDataFmt == 0 ? 2 : g_settings.ExpDataFmt;
  UpdateData(false);
  char dir[KV_PATH_MAX];
  SetDlgItemText(
      IDC_EXP_DIR,
      QString::fromUtf8(data_folder_path(dir, sizeof dir, KV_DIR_EXPORT, nullptr) ? dir : ""));
  // The stored position's name, by its text; a position the list does
  // not have opens on the first offered format.
  int sel = -1;
  if (m_format >= 2 && (m_format & 1) == 0 && m_format + 1 < m_format_tokens)
    sel = combo->FindStringExact(0, QString::fromLatin1(m_formats[m_format]));
  combo->SetCurSel(sel >= 0 ? sel : (combo->GetCount() ? 0 : -1));
  show_description();
  return true;
}

void CExportSettingsDlg::show_description() {
  auto* combo = Item<KvComboBox>(IDC_FORMAT);
  int sel = combo->GetCurSel();
  int pos = sel >= 0 ? (int)combo->GetItemData(sel) : -1;
  SetDlgItemText(IDC_FORMAT_DESCRIPTION, pos >= 2 && pos + 1 < m_format_tokens
                                             ? QString::fromLatin1(m_formats[pos + 1])
                                             : QString());
}

void CExportSettingsDlg::DoDataExchange(KvDataExchange& dx) {
  DDX_Check(dx, IDC_EXP_ADD_SPAN, m_add_span);
  DDX_Check(dx, IDC_EXP_ADD_HEADER, m_add_header);
  DDX_Text(dx, IDC_EXP_EXTENSION, m_extension);
  DDV_MaxChars(dx, m_extension, (int)sizeof g_settings.ExpFileExt - 1);
  DDX_Text(dx, IDC_EXP_HEADER, m_header);
  DDV_MaxChars(dx, m_header, (int)sizeof g_settings.ExpFileHdr - 1);
  if (dx.save() && !dx.failed()) {
    auto* combo = Item<KvComboBox>(IDC_FORMAT);
    int sel = combo->GetCurSel();
    if (sel >= 0) m_format = (int)combo->GetItemData(sel);
  }
}

void CExportSettingsDlg::OnOK() {
  if (!UpdateData(true)) return;
  // The extension names files: no folder separators in it.
  if (m_extension.contains(QLatin1Char('/')) || m_extension.contains(QLatin1Char('\\'))) {
    kv_message_box("The file extension cannot hold \"/\" or \"\\\".", "Export Settings",
                   MB_OK | MB_ICONEXCLAMATION);
    if (QWidget* w = GetDlgItem(IDC_EXP_EXTENSION)) w->setFocus();
    return;
  }
  auto set = [](uint32_t bit, int on) {
    g_settings.Flags = on ? (g_settings.Flags | bit) : (g_settings.Flags & ~bit);
  };
  set(PREF_EXPORT_HEADER, m_add_header);
  set(PREF_EXPORT_SPAN_IN_NAME, m_add_span);
  QByteArray ext = m_extension.toLatin1(), header = m_header.toLatin1();
  snprintf(g_settings.ExpFileExt, sizeof g_settings.ExpFileExt, "%s", ext.constData());
  snprintf(g_settings.ExpFileHdr, sizeof g_settings.ExpFileHdr, "%s", header.constData());
  g_settings.ExpDataFmt = m_format;
  EndDialog(IDOK);
}
