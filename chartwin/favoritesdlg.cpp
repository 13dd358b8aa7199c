// The Chart Favorites dialog.
#include "chartwin/favoritesdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/controls.h"
#include "platform/services.h"
#include "shell/core/chartstore.h"

namespace {

const char kNoSelection[] = "No Favorite Chart selected";

}  // namespace

CChartFavoritesDlg::CChartFavoritesDlg(bool pick_only, QWidget* parent)
    : KvDialog(IDD_CHART_FAVORITES, parent), m_pick_only(pick_only) {
  setWindowTitle(QStringLiteral("Chart Favorites"));
  auto* top = new QVBoxLayout(this);
  auto* list = AddControl(IDC_FAV_LIST, new KvListBox(false, this));
  list->setMinimumSize(320, 200);
  top->addWidget(list);
  top->addWidget(
      AddControl(IDC_FAV_DEFAULT, new QCheckBox(QStringLiteral("Set as Default"), this)));
  auto* buttons = new QDialogButtonBox(this);
  auto button = [this, buttons](int id, const char* text, QDialogButtonBox::ButtonRole role) {
    auto* b = AddControl(id, new QPushButton(QString::fromLatin1(text), this));
    buttons->addButton(b, role);
    return b;
  };
  connect(button(IDC_FAV_DELETE, "&Delete", QDialogButtonBox::ActionRole), &QPushButton::clicked,
          this, [this] { on_delete(); });
  connect(button(IDC_FAV_CREATE, "Create Chart", QDialogButtonBox::ActionRole),
          &QPushButton::clicked, this, [this] { on_create(); });
  button(IDOK, "OK", QDialogButtonBox::AcceptRole)->setDefault(true);
  button(IDCANCEL, "Cancel", QDialogButtonBox::RejectRole);
  button(IDHELP_BUTTON, "&Help", QDialogButtonBox::HelpRole);
  top->addWidget(buttons);
  connect(list, &QListWidget::currentRowChanged, this, [this] { on_select(); });
  connect(qobject_cast<QCheckBox*>(GetDlgItem(IDC_FAV_DEFAULT)), &QCheckBox::clicked, this,
          [this] { on_default(); });
}

bool CChartFavoritesDlg::Run(const WindowDescriptor** chosen) {
  CChartFavoritesDlg dlg(false);
  if (dlg.DoModal() != IDOK) return false;
  if (chosen) *chosen = dlg.Chosen();
  return true;
}

bool CChartFavoritesDlg::OnInitDialog() {
  m_saved.clear();
  bool have_default = false;
  for (FavoriteRecord* f = g_chart_store.Favorites().head; f; f = f->next) {
    m_saved.push_back({f, f->flags});
    // One default: the first marked keeps it.
    if (f->flags & DESC_DEFAULT) {
      if (have_default && !(f->flags & DESC_MARK_DELETE)) f->flags &= ~DESC_DEFAULT;
      if (!(f->flags & DESC_MARK_DELETE)) have_default = true;
    }
  }
  fill();
  if (m_pick_only) EnableDlgItem(IDOK, false);
  return true;
}

void CChartFavoritesDlg::fill() {
  auto* list = dynamic_cast<KvListBox*>(GetDlgItem(IDC_FAV_LIST));
  if (!list) return;
  list->blockSignals(true);
  list->ResetContent();
  m_shown.clear();
  for (FavoriteRecord* f = g_chart_store.Favorites().head; f; f = f->next) {
    if (f->flags & DESC_MARK_DELETE) continue;
    QString name = QString::fromUtf8(
        f->settings.favorite_name,
        (int)strnlen(f->settings.favorite_name, sizeof f->settings.favorite_name));
    if (f->flags & DESC_DEFAULT) name += QStringLiteral("     [default]");
    list->AddString(name);
    m_shown.push_back(f);
  }
  list->blockSignals(false);
  if (auto* box = qobject_cast<QCheckBox*>(GetDlgItem(IDC_FAV_DEFAULT))) box->setChecked(false);
}

FavoriteRecord* CChartFavoritesDlg::selected() const {
  auto* list = dynamic_cast<KvListBox*>(GetDlgItem(IDC_FAV_LIST));
  int i = list ? list->GetCurSel() : -1;
  return i >= 0 && i < (int)m_shown.size() ? m_shown[i] : nullptr;
}

void CChartFavoritesDlg::on_select() {
  FavoriteRecord* f = selected();
  if (auto* box = qobject_cast<QCheckBox*>(GetDlgItem(IDC_FAV_DEFAULT)))
    box->setChecked(f && (f->flags & DESC_DEFAULT));
}

void CChartFavoritesDlg::on_delete() {
  FavoriteRecord* f = selected();
  if (!f) {
    kv_message_box(kNoSelection, "Korvane", MB_OK);
    return;
  }
  f->flags |= DESC_MARK_DELETE;
  fill();
}

void CChartFavoritesDlg::on_default() {
  auto* box = qobject_cast<QCheckBox*>(GetDlgItem(IDC_FAV_DEFAULT));
  FavoriteRecord* f = selected();
  if (!f) {
    kv_message_box(kNoSelection, "Korvane", MB_OK);
    if (box) box->setChecked(false);
    return;
  }
  auto* list = dynamic_cast<KvListBox*>(GetDlgItem(IDC_FAV_LIST));
  int row = list ? list->GetCurSel() : -1;
  if (box && box->isChecked()) {
    for (FavoriteRecord* g = g_chart_store.Favorites().head; g; g = g->next)
      g->flags &= ~DESC_DEFAULT;
    f->flags |= DESC_DEFAULT;
  } else {
    f->flags &= ~DESC_DEFAULT;
  }
  bool checked = box && box->isChecked();
  fill();
  if (list && row >= 0) {
    list->blockSignals(true);
    list->SetCurSel(row);
    list->blockSignals(false);
  }
  if (box) box->setChecked(checked);
}

void CChartFavoritesDlg::on_create() {
  FavoriteRecord* f = selected();
  if (!f) {
    kv_message_box(kNoSelection, "Korvane", MB_OK);
    return;
  }
  m_chosen = f;
  EndDialog(IDOK);
}

void CChartFavoritesDlg::OnCancel() {
  for (auto& [f, flags] : m_saved) f->flags = flags;
  m_chosen = nullptr;
  KvDialog::OnCancel();
}
