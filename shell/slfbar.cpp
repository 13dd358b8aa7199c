// The symbol-list toolbar (see slfbar.h).
#include "shell/slfbar.h"

#include <QFontMetrics>
#include <QToolBar>
#include <cstdio>
#include <string>

#include "broker/twsacct.h"
#include "data/symlist.h"
#include "platform/qt/controls.h"
#include "platform/qt/dc.h"
#include "settings/datadirs.h"
#include "settings/settings.h"
#include "shell/app.h"
#include "shell/dlgutil.h"

namespace {

const char kNone[] = "---none---";
CSymbolListBar* s_bar = nullptr;

}  // namespace

const char* const* (*CSymbolListBar::s_account_symbols)() = get_account_symbols;

CSymbolListBar* CSymbolListBar::Instance() {
  return s_bar;
}

CSymbolListBar::CSymbolListBar(QToolBar* bar) : QObject(bar), m_bar(bar) {
  m_combo = new KvComboBox(false, bar);
  m_combo->setObjectName(QStringLiteral("id%1").arg(IDC_SLF_COMBO));
  // "Current symbol list file (SLF) in use\nSLF": status text, then tip.
  m_combo->setToolTip(QStringLiteral("SLF"));
  m_combo->setStatusTip(QStringLiteral("Current symbol list file (SLF) in use"));
  QFont font = KvFont(QStringLiteral("MS Sans Serif"), 8).qfont();
  m_combo->setFont(font);
  m_combo->setMinimumWidth(QFontMetrics(font).averageCharWidth() * 20);
  m_combo->setMaxVisibleItems(16);
  bar->addWidget(m_combo);
  Fill();
  m_combo->SetCurSel(0);
  if (theApp) theApp->m_symbol_list_path[0] = 0;
  connect(m_combo, &KvComboBox::droppedDown, this, [this] { Fill(); });
  connect(m_combo, &QComboBox::activated, this, [this](int i) { Choose(i); });
  s_bar = this;
}

CSymbolListBar::~CSymbolListBar() {
  if (s_bar == this) s_bar = nullptr;
}

void CSymbolListBar::Fill() {
  QSignalBlocker block(m_combo);
  m_combo->ResetContent();
  m_combo->AddString(QString::fromLatin1(kNone));
  m_account_count = 0;
  if (const char* const* accounts = s_account_symbols ? s_account_symbols() : nullptr)
    for (const char* const* a = accounts; *a; a++) {
      int i = m_combo->AddString(QString::fromLatin1(*a));
      m_combo->SetItemData(i, (std::uintptr_t)m_account_count++);
    }
  for (const QString& name : kv_folder_file_titles(KV_DIR_SLF, "*.slf")) {
    int i = m_combo->AddString(name);
    m_combo->SetItemData(i, (std::uintptr_t)-1);
  }
}

void CSymbolListBar::clear_symbol_list() {
  if (theApp) {
    theApp->m_symbol_list_path[0] = 0;
    theApp->m_symbol_count = 0;
  }
  g_slf_title[0] = 0;
  free_symbol_list();
}

void CSymbolListBar::Choose(int index) {
  if (index < 0) {
    m_combo->SetCurSel(0);
    return;
  }
  if (index == 0) {
    m_combo->SetCurSel(0);
    clear_symbol_list();
    if (theApp) theApp->m_pl_account[0] = 0;
    g_portfolio_slot = 0;
  } else if (index > m_account_count) {
    char path[KV_PATH_MAX];
    std::string leaf = m_combo->GetLBText(index).toUtf8().toStdString() + ".slf";
    if (data_folder_path(path, sizeof path, KV_DIR_SLF, leaf.c_str()) && theApp)
      theApp->OpenSymbolListFile(path, nullptr);
    if (theApp) theApp->m_pl_account[0] = 0;
    g_portfolio_slot = 0;
  } else {
    if (theApp)
      snprintf(theApp->m_pl_account, sizeof theApp->m_pl_account, "%s",
               m_combo->GetLBText(index).toLatin1().constData());
    g_portfolio_slot = (int)m_combo->GetItemData(index);
    clear_symbol_list();
  }
  if (QWidget* p = m_bar->parentWidget()) p->setFocus();
}

void CSymbolListBar::SelectSymbolList(const char* name) {
  QString text = QString::fromUtf8(name ? name : "");
  int found = -1;
  for (int i = 0; i < m_combo->GetCount() && found < 0 && !text.isEmpty(); i++)
    if (m_combo->GetLBText(i) == text) found = i;
  m_combo->SetCurSel(found > 0 ? found : 0);
  if (found <= 0) {
    clear_symbol_list();
    return;
  }
  // A list file shown as current is loaded (the same file again is not
  // read twice).
  if (found > m_account_count && theApp) {
    QByteArray n = text.toUtf8();
    theApp->OpenSymbolListFile(nullptr, n.constData());
  }
}

CSymbolListBar* install_symbol_list_bar(QToolBar* bar) {
  return bar ? new CSymbolListBar(bar) : nullptr;
}
