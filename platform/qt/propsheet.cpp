#include "platform/qt/propsheet.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/services_qt.h"

// ---- KvPropertyPage ------------------------------------------------------------

KvPropertyPage::KvPropertyPage(unsigned resource_id, const QString& caption)
    : KvDialog(resource_id), m_caption(caption) {
  setWindowFlags(Qt::Widget);
}

bool KvPropertyPage::OnApply() {
  SetModified(false);
  return true;
}

void KvPropertyPage::SetModified(bool modified) {
  m_modified = modified;
  if (m_sheet) m_sheet->page_modified_changed();
}

void KvPropertyPage::OnOK() {
  if (m_sheet) m_sheet->PressButton(IDOK);
}

void KvPropertyPage::OnCancel() {
  if (m_sheet) m_sheet->PressButton(IDCANCEL);
}

// ---- KvPropertySheet -----------------------------------------------------------

KvPropertySheet::KvPropertySheet(const QString& caption, QWidget* parent, int start_page)
    : KvDialog(0, parent),
      m_tabs(new QTabBar(this)),
      m_stack(new QStackedWidget(this)),
      m_start(start_page) {
  setWindowTitle(caption);
  auto* lay = new QVBoxLayout(this);
  lay->addWidget(m_tabs);
  lay->addWidget(m_stack, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  struct B {
    int id;
    const char* text;
  };
  for (B b :
       {B{IDOK, "OK"}, B{IDCANCEL, "Cancel"}, B{ID_APPLY_NOW, "&Apply Now"}, B{ID_HELP, "Help"}}) {
    auto* pb = AddControl(b.id, new QPushButton(QString::fromLatin1(b.text), this));
    pb->setAutoDefault(false);
    buttons->addWidget(pb);
  }
  lay->addLayout(buttons);
  MapCommand(ID_APPLY_NOW, [this] { PressButton(ID_APPLY_NOW); });
  MapCommand(ID_HELP, [this] { OnHelp(); });
  EnableDlgItem(ID_APPLY_NOW, false);
  connect(m_tabs, &QTabBar::currentChanged, this, [this](int i) {
    if (m_switching || i == m_active) return;
    if (!SetActivePage(i)) {
      m_switching = true;
      m_tabs->setCurrentIndex(m_active);
      m_switching = false;
    }
  });
}

KvPropertySheet::~KvPropertySheet() {
  for (auto& p : m_pages)
    if (p) {
      p->m_sheet = nullptr;
      p->setParent(nullptr);
    }
}

void KvPropertySheet::AddPage(KvPropertyPage* page) {
  page->m_sheet = this;
  m_pages.push_back(page);
  m_built.push_back(false);
  m_switching = true;
  m_tabs->addTab(page->caption());
  m_switching = false;
  m_stack->addWidget(page);
}

bool KvPropertySheet::OnInitDialog() {
  int start = m_start >= 0 && m_start < GetPageCount() ? m_start : 0;
  if (!m_pages.empty()) show_page(start);
  return true;
}

bool KvPropertySheet::show_page(int index) {
  KvPropertyPage* p = m_pages[size_t(index)];
  if (!m_built[size_t(index)]) {
    m_built[size_t(index)] = true;
    p->EnsureInitialized();
  }
  m_active = index;
  m_switching = true;
  m_tabs->setCurrentIndex(index);
  m_stack->setCurrentWidget(p);
  m_switching = false;
  p->OnSetActive();
  return true;
}

bool KvPropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= GetPageCount()) return false;
  if (index == m_active) return true;
  if (KvPropertyPage* cur = GetActivePage())
    if (!cur->OnKillActive()) return false;
  return show_page(index);
}

bool KvPropertySheet::Apply() {
  if (KvPropertyPage* cur = GetActivePage())
    if (!cur->OnKillActive()) return false;
  // Every page checks before any stores: a refusal on one page leaves the
  // others' edits unstored too.
  for (size_t i = 0; i < m_pages.size(); i++) {
    if (!m_built[i]) continue;
    if (!m_pages[i]->OnCheck()) {
      if (int(i) != m_active) show_page(int(i));
      return false;
    }
  }
  for (size_t i = 0; i < m_pages.size(); i++) {
    if (!m_built[i]) continue;
    if (!m_pages[i]->OnApply()) {
      if (int(i) != m_active) show_page(int(i));
      return false;
    }
  }
  page_modified_changed();
  return true;
}

void KvPropertySheet::PressButton(int id) {
  switch (id) {
    case IDOK:
      OnOK();
      break;
    case IDCANCEL:
      OnCancel();
      break;
    case ID_APPLY_NOW:
      Apply();
      break;
    case ID_HELP:
      OnHelp();
      break;
    default:
      break;
  }
}

void KvPropertySheet::OnOK() {
  if (Apply()) EndDialog(IDOK);
}

void KvPropertySheet::OnCancel() {
  for (size_t i = 0; i < m_pages.size(); i++)
    if (m_built[i]) m_pages[i]->OnReset();
  EndDialog(IDCANCEL);
}

void KvPropertySheet::OnHelp() {
  if (KvPropertyPage* p = GetActivePage()) kv_win_help(p->GetResourceId());
}

void KvPropertySheet::CancelToClose() {
  SetDlgItemText(IDCANCEL, QStringLiteral("Close"));
}

void KvPropertySheet::page_modified_changed() {
  bool any = false;
  for (auto& p : m_pages) any = any || (p && p->IsModified());
  EnableDlgItem(ID_APPLY_NOW, any);
}
