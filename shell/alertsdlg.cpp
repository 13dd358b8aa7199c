// The Alerts window (see alertsdlg.h).
#include "shell/alertsdlg.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <cstring>

#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/qt/controls.h"
#include "platform/sync.h"
#include "quotes/alerts.h"
#include "quotes/mqt.h"
#include "shell/app.h"
#include "shell/mainfrm.h"

namespace {

CAlertsDlg* s_remembered = nullptr;

// Words 16..30 of the alert: the set prices (16..20), the armed copy
// (21..25) and the fired state (26..30) the heat map keeps.
enum { SET_WORDS = 0, ARMED_WORDS = 5, FIRED_WORDS = 10, WORD_GROUP = 5 };

QPushButton* button(const QString& text, const char* icon) {
  auto* b = new QPushButton(QIcon::fromTheme(QString::fromLatin1(icon)), text);
  b->setAutoDefault(false);
  return b;
}

void send_to_frame(unsigned message) {
  if (theApp && theApp->MainFrame()) theApp->MainFrame()->SendMessage(message);
}

// "hh:mm" of a time in seconds.
void format_hit_time(int32_t seconds, char* out, size_t size) {
  int day = int(((int64_t)seconds % 86400 + 86400) % 86400);
  snprintf(out, size, "%02d:%02d", day / 3600, day / 60 % 60);
}

}  // namespace

CAlertsDlg* CAlertsDlg::Remembered() {
  return s_remembered;
}

CAlertsDlg::CAlertsDlg(const QString& symbol, int keep_messages, QWidget* parent)
    : KvDialog(IDD_ALERTS, parent), m_symbol(symbol), m_keep(keep_messages ? 1 : 0) {
  setWindowTitle(QStringLiteral("Alerts for ?"));
  m_list = AddControl(IDC_ALERTS_LIST, new KvListBox);

  auto* row = new QHBoxLayout;
  row->addWidget(AddControl(IDC_ALERTS_REARM, button(QStringLiteral("&Rearm"), "view-refresh")));
  row->addWidget(AddControl(IDC_ALERTS_CLEAR, button(QStringLiteral("&Clear"), "edit-clear")));
  row->addWidget(
      AddControl(IDC_ALERTS_DISABLE, button(QStringLiteral("&Disable"), "process-stop")));
  row->addStretch(1);
  row->addWidget(AddControl(IDC_ALERTS_KEEP, new QCheckBox(QStringLiteral("&Keep Messages"))));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list, 1);
  layout->addLayout(row);
  resize(360, 260);

  MapCommand(IDC_ALERTS_REARM, [this] { Rearm(); });
  MapCommand(IDC_ALERTS_CLEAR, [this] { Clear(); });
  MapCommand(IDC_ALERTS_DISABLE, [this] { Disable(); });
  connect(Item<QCheckBox>(IDC_ALERTS_KEEP), &QCheckBox::clicked, this, [this] { OnOK(); });
}

CAlertsDlg::~CAlertsDlg() {
  if (s_remembered == this) {
    s_remembered = nullptr;
    send_to_frame(WM_ALERTS_DLG_CLOSED);
  }
}

bool CAlertsDlg::OnInitDialog() {
  UpdateData(false);
  ShowSymbolAlerts();
  return true;
}

void CAlertsDlg::DoDataExchange(KvDataExchange& dx) {
  DDX_Check(dx, IDC_ALERTS_KEEP, m_keep);
}

// Takes the controls' values and makes this the window the main frame
// refreshes; the window stays open.
void CAlertsDlg::OnOK() {
  if (!UpdateData(true)) return;
  s_remembered = this;
  send_to_frame(WM_ALERTS_DLG_OPENED);
}

// Escape and the close box end the window, which then deletes itself.
void CAlertsDlg::OnCancel() {
  EndDialog(IDCANCEL);
  deleteLater();
}

void CAlertsDlg::showEvent(QShowEvent* e) {
  KvDialog::showEvent(e);
  ShowSymbolAlerts();
}

void CAlertsDlg::ShowSymbolAlerts(const QString& symbol) {
  m_symbol = symbol;
  ShowSymbolAlerts();
}

void CAlertsDlg::ShowSymbolAlerts() {
  setWindowTitle(QStringLiteral("Alerts for %1").arg(m_symbol));
  m_list->ResetContent();
  const QByteArray symbol = m_symbol.toLatin1();
  kv_lock guard(g_chart_lock);
  const mqt* rec = find_mqt(symbol.constData());
  if (!rec) return;
  int count = rec->alert_hit_count;
  if (count < 0) count = 0;
  if (count > MQT_ALERT_HITS) count = MQT_ALERT_HITS;
  for (int i = count - 1; i >= 0; i--) {
    const mqt_alert_hit& hit = rec->alert_hits[i];
    char hhmm[16];
    format_hit_time(hit.time, hhmm, sizeof hhmm);
    QString text = QString::fromLatin1(hit.text, int(strnlen(hit.text, sizeof hit.text)));
    m_list->AddString(QStringLiteral("%1 %2").arg(QString::fromLatin1(hhmm), text));
  }
}

void CAlertsDlg::AlertFired(const char* symbol) {
  if (!symbol || m_symbol.compare(QString::fromLatin1(symbol), Qt::CaseInsensitive) != 0) return;
  {
    kv_lock guard(g_chart_lock);
    if (!find_mqt(symbol)) return;
  }
  ShowSymbolAlerts();
}

void CAlertsDlg::Rearm() {
  change_alert(CHANGE_REARM);
}
void CAlertsDlg::Clear() {
  change_alert(CHANGE_CLEAR);
}
void CAlertsDlg::Disable() {
  change_alert(CHANGE_DISABLE);
}

void CAlertsDlg::change_alert(change_kind kind) {
  if (!UpdateData(true)) return;
  const QByteArray symbol = m_symbol.toLatin1();
  {
    kv_lock guard(g_chart_lock);
    mqt* rec = find_mqt(symbol.constData());
    if (!rec) return;
    if (alert_rec* a = rec->alert) {
      a->fired &= ALERT_HIGH | ALERT_LOW;
      if (kind == CHANGE_REARM) {
        a->armed |= a->enabled & ~uint32_t(ALERT_HIGH | ALERT_LOW);
        memcpy(&a->extra[ARMED_WORDS], &a->extra[SET_WORDS], WORD_GROUP * 4);
      } else if (kind == CHANGE_DISABLE) {
        a->enabled |= a->armed & ~uint32_t(ALERT_HIGH | ALERT_LOW);
        memcpy(&a->extra[SET_WORDS], &a->extra[ARMED_WORDS], WORD_GROUP * 4);
      }
      memset(&a->extra[FIRED_WORDS], 0, WORD_GROUP * 4);
      g_alerts_changed = 1;
    }
    if (!m_keep) rec->alert_hit_count = 0;
  }
  if (!m_keep) m_list->ResetContent();
}

void alerts_dlg_alert_fired(int id) {
  CAlertsDlg* dlg = CAlertsDlg::Remembered();
  if (!dlg) return;
  char symbol[sizeof(alert_rec::symbol)] = "";
  {
    kv_lock guard(g_chart_lock);
    const alert_rec* a = alert_from_id(id);
    if (!a) return;
    memcpy(symbol, a->symbol, sizeof symbol);
    symbol[sizeof symbol - 1] = 0;
  }
  dlg->AlertFired(symbol);
}
