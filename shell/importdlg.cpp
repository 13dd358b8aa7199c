// The import dialogs (see importdlg.h).
#include "shell/importdlg.h"

#include <QDialogButtonBox>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "data/importfmt.h"
#include "platform/files.h"
#include "platform/qt/controls.h"
#include "settings/settings.h"
#include "shell/core/chartstore.h"
#include "shell/dlgutil.h"

namespace {

const char kLost[] = "Your Changes will be lost";
const char* const kSpanPrefix[4] = {"[D]   ", "[W]   ", "[M]   ", "[--]  "};

// Index of the last "/" or "\" of a path (stored paths may hold either),
// -1 when it has none.
int last_separator(const QString& path) {
  return std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
}

QPushButton* plain_button(const QString& text, const char* icon = nullptr) {
  auto* b = icon ? new QPushButton(QIcon::fromTheme(QString::fromLatin1(icon)), text)
                 : new QPushButton(text);
  b->setAutoDefault(false);
  return b;
}

// The format combo and its description under a "Data Format" frame.
QGroupBox* format_box(KvDialog* dlg) {
  auto* box = new QGroupBox(QStringLiteral("Data Format"));
  auto* v = new QVBoxLayout(box);
  v->addWidget(dlg->AddControl(IDC_IMP_FORMAT, new KvComboBox));
  auto* desc = dlg->AddControl(IDC_IMP_DESCRIPTION, new QLabel);
  desc->setWordWrap(true);
  desc->setMinimumHeight(desc->fontMetrics().height() * 2);
  v->addWidget(desc);
  return box;
}

void fill_formats(KvDialog* dlg, const import_formats& f) {
  auto* combo = dlg->Item<KvComboBox>(IDC_IMP_FORMAT);
  combo->ResetContent();
  for (int i = 0; i < f.count; i++)
    combo->SetItemData(combo->AddString(f.name(i)), (std::uintptr_t)i);
}

void show_format(KvDialog* dlg, const import_formats& f, int index) {
  auto* combo = dlg->Item<KvComboBox>(IDC_IMP_FORMAT);
  combo->SetCurSel(index >= 0 && index < combo->GetCount() ? index : -1);
  dlg->SetDlgItemText(IDC_IMP_DESCRIPTION, f.description(combo->GetCurSel()));
}

}  // namespace

void import_formats::load() {
  count = read_import_cfg(&tokens) / 2;
}

QString import_formats::name(int i) const {
  return i >= 0 && i < count ? QString::fromLatin1(tokens[2 * i]) : QString();
}

QString import_formats::description(int i) const {
  return i >= 0 && i < count ? QString::fromLatin1(tokens[2 * i + 1]) : QString();
}

// ============================================================================
// Import Settings
// ============================================================================

CImportSettingsDlg::CImportSettingsDlg(QWidget* parent) : KvDialog(IDD_IMPORT_SETTINGS, parent) {
  setWindowTitle(QStringLiteral("Import Settings"));
  auto* top = new QVBoxLayout(this);
  auto* checks = new QHBoxLayout;
  checks->addWidget(AddControl(IDC_IMP_WEB, new QCheckBox(QStringLiteral("Enable Web"))));
  checks->addWidget(AddControl(IDC_IMP_FILES, new QCheckBox(QStringLiteral("Enable Import"))));
  checks->addStretch(1);
  top->addLayout(checks);

  auto* dirs = new QGroupBox(QStringLiteral("Import Directories"));
  auto* grid = new QGridLayout(dirs);
  auto* list = m_list = AddControl(IDC_IMP_LIST, new KvListBox);
  // The time-span prefixes are padded to line the folders up.
  list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  grid->addWidget(list, 0, 0, 5, 1);
  grid->addWidget(
      AddControl(IDC_IMP_MODIFY, plain_button(QStringLiteral("Modify"), "document-save")), 0, 1);
  grid->addWidget(AddControl(IDC_IMP_REMOVE, plain_button(QStringLiteral("Remove"), "list-remove")),
                  1, 1);
  grid->addWidget(AddControl(IDC_IMP_UP, plain_button(QStringLiteral("Up"), "go-up")), 2, 1);
  grid->addWidget(AddControl(IDC_IMP_DOWN, plain_button(QStringLiteral("Down"), "go-down")), 3, 1);
  grid->setRowStretch(4, 1);
  auto* path_row = new QHBoxLayout;
  path_row->addWidget(AddControl(IDC_IMP_PATH, new QLineEdit), 1);
  path_row->addWidget(
      AddControl(IDC_IMP_BROWSE, plain_button(QStringLiteral("Browse...."), "document-open")));
  grid->addLayout(path_row, 5, 0, 1, 2);
  top->addWidget(dirs, 1);

  auto* span = new QGroupBox(QStringLiteral("Time Span"));
  auto* sh = new QHBoxLayout(span);
  const char* const names[4] = {"Daily", "Weekly", "Monthly", "[--] Disable"};
  std::vector<int> ids;
  for (int i = 0; i < 4; i++) {
    auto* r = AddControl(IDC_IMP_DAILY + i, new QRadioButton(QString::fromLatin1(names[i])));
    sh->addWidget(r);
    ids.push_back(IDC_IMP_DAILY + i);
    connect(r, &QRadioButton::clicked, this, [this] { span_chosen(); });
  }
  AddRadioGroup(ids);
  top->addWidget(span);
  top->addWidget(format_box(this));
  top->addWidget(kv_ok_cancel_help(this));
  resize(520, 480);

  connect(list, &QListWidget::currentRowChanged, this, [this] { line_chosen(); });
  connect(Item<QLineEdit>(IDC_IMP_PATH), &QLineEdit::textEdited, this, [this] {
    if (m_selected) set_modify(true);
  });
  connect(Item<KvComboBox>(IDC_IMP_FORMAT), &QComboBox::activated, this,
          [this] { format_chosen(); });
  connect(Item<QCheckBox>(IDC_IMP_WEB), &QCheckBox::clicked, this, [this] { web_clicked(); });
  MapCommand(IDC_IMP_MODIFY, [this] { modify(); });
  MapCommand(IDC_IMP_REMOVE, [this] { remove(); });
  MapCommand(IDC_IMP_UP, [this] { move(-1); });
  MapCommand(IDC_IMP_DOWN, [this] { move(1); });
  MapCommand(IDC_IMP_BROWSE, [this] { browse(); });
}

bool CImportSettingsDlg::OnInitDialog() {
  m_formats.load();
  fill_formats(this, m_formats);
  const ImportListHeader& h = g_chart_store.ImportList();
  m_web_enabled = h.web_enabled ? 1 : 0;
  m_file_enabled = h.file_enabled ? 1 : 0;
  m_time_span = -1;
  UpdateData(false);
  fill_list(nullptr);
  for (int id : {IDC_IMP_REMOVE, IDC_IMP_MODIFY, IDC_IMP_UP, IDC_IMP_DOWN})
    EnableDlgItem(id, false);
  return true;
}

void CImportSettingsDlg::DoDataExchange(KvDataExchange& dx) {
  DDX_Check(dx, IDC_IMP_WEB, m_web_enabled);
  DDX_Check(dx, IDC_IMP_FILES, m_file_enabled);
  DDX_Text(dx, IDC_IMP_PATH, m_path);
  DDX_Radio(dx, IDC_IMP_DAILY, m_time_span);
  if (dx.save()) {
    m_format_name = Item<KvComboBox>(IDC_IMP_FORMAT)->currentText();
    m_description = GetDlgItemText(IDC_IMP_DESCRIPTION);
  }
}

bool CImportSettingsDlg::modify_enabled() const {
  QWidget* w = GetDlgItem(IDC_IMP_MODIFY);
  return w && w->isEnabled();
}

void CImportSettingsDlg::set_modify(bool on) {
  EnableDlgItem(IDC_IMP_MODIFY, on);
}

// The list in the user's order, removed entries left out; select (when
// listed) becomes the selected line.
void CImportSettingsDlg::fill_list(const ImportSource* select) {
  auto* list = m_list;
  QSignalBlocker block(list);
  list->ResetContent();
  m_line = -1;
  m_selected = nullptr;
  CChartStore& store = g_chart_store;
  for (int order = 0; order < store.ImportList().count; order++) {
    ImportSource* s = store.FindImportSource(order);
    if (!s || (s->flags & IMPORT_REMOVED)) continue;
    QString line;
    int span = s->time_span >= 0 && s->time_span <= 3 ? s->time_span : 0;
    if (s->flags & IMPORT_WEB)
      line = QString::fromLatin1(span == 3 ? "[--]  " : "[DWM] ") + QString::fromUtf8(s->dir);
    else
      line = QString::fromLatin1(kSpanPrefix[span]) + QString::fromUtf8(s->dir) + QLatin1Char('/') +
             QString::fromUtf8(s->pattern);
    int i = list->AddString(line);
    list->SetItemData(i, (std::uintptr_t)s);
    if (s == select) {
      m_line = i;
      m_selected = s;
    }
  }
  list->SetCurSel(m_line);
}

void CImportSettingsDlg::show_entry(const ImportSource* s) {
  m_path = (s->flags & IMPORT_WEB)
               ? QString()
               : QString::fromUtf8(s->dir) + QLatin1Char('/') + QString::fromUtf8(s->pattern);
  SetDlgItemText(IDC_IMP_PATH, m_path);
  m_time_span = s->time_span >= 0 && s->time_span <= 3 ? s->time_span : 0;
  for (int i = 0; i < 4; i++)
    if (auto* r = Item<QRadioButton>(IDC_IMP_DAILY + i)) r->setChecked(i == m_time_span);
  show_format(this, m_formats, s->format);
}

void CImportSettingsDlg::update_buttons() {
  int count = m_list->GetCount();
  EnableDlgItem(IDC_IMP_REMOVE, m_line >= 0);
  EnableDlgItem(IDC_IMP_UP, m_line > 0);
  EnableDlgItem(IDC_IMP_DOWN, m_line >= 0 && m_line < count - 1);
}

void CImportSettingsDlg::line_chosen() {
  auto* list = m_list;
  int row = list->GetCurSel();
  if (row == m_line) return;
  if (modify_enabled() && kv_message_box(kLost, "Import Settings", MB_OKCANCEL) != IDOK) {
    QSignalBlocker block(list);
    list->SetCurSel(m_line);
    return;
  }
  m_line = row;
  m_selected = row >= 0 ? (ImportSource*)list->GetItemData(row) : nullptr;
  if (m_selected) show_entry(m_selected);
  set_modify(false);
  update_buttons();
}

void CImportSettingsDlg::span_chosen() {
  if (m_selected && !(m_selected->flags & IMPORT_WEB)) set_modify(true);
}

void CImportSettingsDlg::format_chosen() {
  auto* combo = Item<KvComboBox>(IDC_IMP_FORMAT);
  SetDlgItemText(IDC_IMP_DESCRIPTION, m_formats.description(combo->GetCurSel()));
  if (m_selected) set_modify(true);
}

void CImportSettingsDlg::browse() {
  char dir[KV_PATH_MAX], out[KV_PATH_MAX * 2] = {};
  data_folder_path(dir, sizeof dir, KV_DIR_IMPORT, nullptr);
  kv_file_dialog_request req{};
  req.initial_dir = dir;
  req.filter = "All Files (*.*)|*.*||";
  int chosen = kv_file_dialog(&req, out, sizeof out);
  kv_data_root_current();
  if (!chosen) return;
  QString path = QString::fromUtf8(out);
  int sep = last_separator(path);
  QString folder = sep >= 0 ? path.left(sep) : QString();
  QString name = path.mid(sep + 1);
  // The extension of the file's own name: a dot in a folder name is not one.
  int dot = name.lastIndexOf(QLatin1Char('.'));
  QString pattern = QLatin1Char('*') + (dot >= 0 ? name.mid(dot) : QString());
  QByteArray d = folder.toUtf8(), p = pattern.toUtf8();
  if (d.isEmpty() || d.size() >= IMPORT_DIR_SIZE || p.size() >= IMPORT_PATTERN_SIZE) {
    kv_message_box("The folder of that file cannot be an import directory.", "Import Settings",
                   MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  ImportSource* s = CChartStore::NewImportSource();
  if (!s) return;
  memcpy(s->dir, d.constData(), (size_t)d.size());
  memcpy(s->pattern, p.constData(), (size_t)p.size());
  s = g_chart_store.AddImportSource(s);
  if (!s) return;
  fill_list(s);
  show_entry(s);
  set_modify(false);
  update_buttons();
}

void CImportSettingsDlg::modify() {
  ImportSource* s = m_selected;
  if (!s || !UpdateData(true)) return;
  QByteArray dir, pattern;
  if (!(s->flags & IMPORT_WEB)) {
    QString path = m_path.trimmed();
    int sep = last_separator(path);
    dir = sep > 0 ? path.left(sep).toUtf8() : QByteArray();
    pattern = path.mid(sep + 1).toUtf8();
    if (dir.isEmpty() || pattern.isEmpty()) {
      kv_message_box("Enter a directory and a file pattern, for example /home/me/IMPORT/*.txt",
                     "Import Settings", MB_OK | MB_ICONEXCLAMATION);
      if (QWidget* w = GetDlgItem(IDC_IMP_PATH)) w->setFocus();
      return;
    }
    if (dir.size() >= IMPORT_DIR_SIZE || pattern.size() >= IMPORT_PATTERN_SIZE) {
      kv_message_box("The directory or the file pattern is too long.", "Import Settings",
                     MB_OK | MB_ICONEXCLAMATION);
      if (QWidget* w = GetDlgItem(IDC_IMP_PATH)) w->setFocus();
      return;
    }
  }
  // Every field checked: now the entry changes.
  if (!(s->flags & IMPORT_WEB)) {
    memset(s->dir, 0, sizeof s->dir);
    memset(s->pattern, 0, sizeof s->pattern);
    memcpy(s->dir, dir.constData(), (size_t)dir.size());
    memcpy(s->pattern, pattern.constData(), (size_t)pattern.size());
  }
  if (m_time_span >= 0) s->time_span = m_time_span;
  int format = Item<KvComboBox>(IDC_IMP_FORMAT)->GetCurSel();
  if (format >= 0) s->format = (int16_t)format;
  fill_list(s);
  set_modify(false);
  update_buttons();
}

void CImportSettingsDlg::remove() {
  ImportSource* s = m_selected;
  if (!s) return;
  s->flags |= IMPORT_REMOVED;
  if (s->flags & IMPORT_WEB) {
    m_web_enabled = 0;
    if (auto* c = Item<QCheckBox>(IDC_IMP_WEB)) c->setChecked(false);
  }
  fill_list(nullptr);
  for (int id : {IDC_IMP_MODIFY, IDC_IMP_REMOVE, IDC_IMP_UP, IDC_IMP_DOWN})
    EnableDlgItem(id, false);
}

void CImportSettingsDlg::move(int step) {
  auto* list = m_list;
  ImportSource* s = m_selected;
  int other = m_line + step;
  if (!s || other < 0 || other >= list->GetCount()) return;
  auto* n = (ImportSource*)list->GetItemData(other);
  std::swap(s->order, n->order);
  fill_list(s);
  update_buttons();
}

void CImportSettingsDlg::web_clicked() {
  ImportSource* web = g_chart_store.FindWebImportSource();
  if (Item<QCheckBox>(IDC_IMP_WEB)->isChecked()) {
    m_web_enabled = 1;
    if (!web) return;
    // The web entry comes back (whatever its mark was, it is not removed).
    web->flags &= ~IMPORT_REMOVED;
    fill_list(web);
    show_entry(web);
    set_modify(false);
    update_buttons();
    return;
  }
  m_web_enabled = 0;
  if (!web || (web->flags & IMPORT_REMOVED)) return;
  fill_list(web);
  remove();
}

void CImportSettingsDlg::OnOK() {
  if (modify_enabled() && kv_message_box(kLost, "Import Settings", MB_OKCANCEL) != IDOK) return;
  if (!UpdateData(true)) return;
  CChartStore& store = g_chart_store;
  store.RenumberImportList();
  ImportListHeader& h = store.ImportList();
  h.web_enabled = m_web_enabled;
  h.file_enabled = m_file_enabled;
  h.flags |= IMPORT_LIST_MODIFIED;
  EndDialog(IDOK);
}

// ============================================================================
// Import File Settings
// ============================================================================

CImportFileDlg::CImportFileDlg(const QString& path, QWidget* parent)
    : KvDialog(IDD_IMPORT_FILE, parent), m_path(path) {
  setWindowTitle(QStringLiteral("Import File Settings"));
  auto* top = new QVBoxLayout(this);
  auto* file = new QGroupBox(QStringLiteral("Import File Path"));
  auto* fv = new QVBoxLayout(file);
  auto* shown = AddControl(IDC_IMP_FILE_PATH, new QLabel);
  shown->setTextInteractionFlags(Qt::TextSelectableByMouse);
  fv->addWidget(shown);
  top->addWidget(file);
  auto* form = new QFormLayout;
  auto* symbol = AddControl(IDC_IMP_SYMBOL, new QLineEdit);
  symbol->setMaxLength(31);
  form->addRow(QStringLiteral("Symbol:"), symbol);
  top->addLayout(form);
  auto* span = new QGroupBox(QStringLiteral("Time Span"));
  auto* sh = new QHBoxLayout(span);
  const char* const names[3] = {"Daily", "Weekly", "Monthly"};
  for (int i = 0; i < 3; i++)
    sh->addWidget(AddControl(IDC_IMP_DAILY + i, new QRadioButton(QString::fromLatin1(names[i]))));
  AddRadioGroup({IDC_IMP_DAILY, IDC_IMP_DAILY + 1, IDC_IMP_DAILY + 2});
  top->addWidget(span);
  top->addWidget(format_box(this));
  top->addWidget(kv_ok_cancel_help(this));
  connect(Item<KvComboBox>(IDC_IMP_FORMAT), &QComboBox::activated, this,
          [this] { format_chosen(); });
}

bool CImportFileDlg::OnInitDialog() {
  m_formats.load();
  fill_formats(this, m_formats);
  m_time_span = 0;
  UpdateData(false);
  SetDlgItemText(IDC_IMP_FILE_PATH, m_path);
  show_format(this, m_formats, 0);
  return true;
}

void CImportFileDlg::format_chosen() {
  SetDlgItemText(IDC_IMP_DESCRIPTION,
                 m_formats.description(Item<KvComboBox>(IDC_IMP_FORMAT)->GetCurSel()));
}

void CImportFileDlg::DoDataExchange(KvDataExchange& dx) {
  DDX_Text(dx, IDC_IMP_SYMBOL, m_symbol);
  DDX_Radio(dx, IDC_IMP_DAILY, m_time_span);
  if (dx.save()) {
    m_format_name = Item<KvComboBox>(IDC_IMP_FORMAT)->currentText();
    m_description = GetDlgItemText(IDC_IMP_DESCRIPTION);
  }
}

void CImportFileDlg::OnOK() {
  if (!UpdateData(true)) return;
  m_symbol = m_symbol.trimmed();
  // The symbol names the price file the import writes.
  QByteArray symbol = m_symbol.toLatin1();
  if (!m_symbol.isEmpty() && !kv_symbol_file_name_ok(symbol.constData())) {
    kv_message_box(
        "The symbol cannot name a price file: leave out \"/\", \"\\\" and control "
        "characters.",
        "Import File Settings", MB_OK | MB_ICONEXCLAMATION);
    if (QWidget* w = GetDlgItem(IDC_IMP_SYMBOL)) w->setFocus();
    return;
  }
  EndDialog(IDOK);
}
