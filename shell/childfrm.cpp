// The child frame of every window and the New window dialog.
#include "shell/childfrm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/messages.h"
#include "platform/qt/controls.h"
#include "shell/app.h"
#include "shell/windowdoc.h"

namespace {

const char* const kTypeNames[KIND_COUNT] = {
    "",          "Chart",  "Quotes",      "SLFMap", "Horse Race", "Time&Sales", "Price Volume Dist",
    "Orderbook", "Level2", "MarketPulse", "",       "",           "",           ""};

}  // namespace

const char* kv_window_type_name(int kind) {
  return kind >= 0 && kind < KIND_COUNT ? kTypeNames[kind] : "";
}

void CKvChildFrame::PreCreateWindow(unsigned& style) {
  int pending = theApp ? theApp->m_next_view_kind : 0;
  if (pending == KIND_REAL_ORDERS || pending == KIND_PAPER_ORDERS || pending == KIND_ACCOUNTS)
    style &= ~WS_MAXIMIZEBOX;
}

void CKvChildFrame::OnSysCommand(unsigned id, kv_lparam lparam) {
  if (id != SC_MINIMIZE && id != SC_MAXIMIZE && id != SC_RESTORE) return;
  KvView* view = GetActiveView();
  auto* doc = view ? dynamic_cast<CKvWindowDoc*>(view->GetDocument()) : nullptr;
  if (!doc || doc->Settings().window_kind != KIND_CHART) return;
  view->PostMessage(WM_MIN_MAX_WINDOW, id, lparam);
}

CNewWindowDlg::CNewWindowDlg(QWidget* parent) : KvDialog(IDD_NEW_WINDOW, parent) {
  setWindowTitle(QStringLiteral("New"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("New Chart Type"), this));
  m_list = AddControl(IDC_NEW_TYPE_LIST, new KvListBox(false, this));
  layout->addWidget(m_list);
  auto* buttons = new QDialogButtonBox(this);
  auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this));
  auto* cancel = AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this));
  ok->setDefault(true);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(cancel, QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
}

int CNewWindowDlg::LastListedKind() {
  // Tested from the most optional kind down; the last failing test wins.
  int last = 9;
  if (!theApp) return 4;
  if (!theApp->DocTemplate(KIND_MARKET_PULSE)) last = 7;
  if (!theApp->DocTemplate(KIND_ORDER_BOOK)) last = 6;
  if (!theApp->DocTemplate(KIND_TIME_SALES)) last = 4;
  return last;
}

bool CNewWindowDlg::OnInitDialog() {
  int last = LastListedKind();
  for (int kind = 1; kind <= last; kind++) {
    int i = m_list->AddString(QString::fromLatin1(kv_window_type_name(kind)));
    m_list->SetItemData(i, (std::uintptr_t)kind);
  }
  m_list->SetCurSel(0);
  return KvDialog::OnInitDialog();
}

void CNewWindowDlg::OnOK() {
  if (!theApp) return EndDialog(IDOK);
  theApp->m_next_view_kind = 0;
  int sel = m_list->GetCurSel();
  if (sel >= 0) theApp->m_next_view_kind = (int)m_list->GetItemData(sel);
  EndDialog(IDOK);
}
