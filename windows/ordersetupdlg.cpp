#include "windows/ordersetupdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "broker/executions.h"
#include "broker/orders.h"
#include "data/priceparse.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "settings/settings.h"
#include "windows/accountvalue.h"

namespace {

const uint32_t kTradingPref = 0x08;  // g_pref_flags1: trading enabled

// A radio group of the dialog in a titled box.
QGroupBox* radio_box(KvDialog* dlg, const char* title,
                     std::initializer_list<std::pair<int, const char*>> items,
                     std::vector<int>* ids, QWidget* parent) {
  auto* box = new QGroupBox(QString::fromLatin1(title), parent);
  auto* l = new QVBoxLayout(box);
  for (auto [id, text] : items) {
    auto* b = dlg->AddControl(id, new QRadioButton(QString::fromLatin1(text), box));
    l->addWidget(b);
    ids->push_back(id);
  }
  return box;
}

int parse_int(const QString& s) {
  return (int)strtol(s.trimmed().toLatin1().constData(), nullptr, 10);
}

double parse_money(const QString& s) {
  double v = strtod(s.trimmed().toLatin1().constData(), nullptr);
  return std::isfinite(v) ? v : 0;
}

double parse_offset(const QString& s) {
  double v = parse_price_text(s.trimmed().toLatin1().constData());
  return std::isfinite(v) ? v : 0;
}

}  // namespace

COrderSetupDlg::COrderSetupDlg(OrderDef* def, double tick, QWidget* parent)
    : KvDialog(IDD_ORDER_SETUP, parent),
      m_def(def),
      m_work(*def),
      m_code(tick_decimals(tick > 0 ? tick : 0.01)) {
  setWindowTitle(QStringLiteral("Order Definition Setup"));
  auto edit = [this](int id) { return AddControl(id, new QLineEdit(this)); };
  std::vector<int> g;

  auto* mode =
      radio_box(this, "Trading Mode",
                {{IDC_OS_PAPER, "Paper Trading"}, {IDC_OS_REAL, "Real Trading"}}, &g, this);
  AddRadioGroup(g);
  g.clear();
  m_accounts = AddControl(IDC_OS_ACCOUNT, new KvComboBox(false, this));
  m_accounts->setMinimumContentsLength(10);
  auto* sizes = new QFormLayout;
  sizes->addRow(QStringLiteral("Paper Account"), m_accounts);
  sizes->addRow(QStringLiteral("Lot Size"), edit(IDC_OS_LOT));
  sizes->addRow(QStringLiteral("Incr Size"), edit(IDC_OS_INCREMENT));
  sizes->addRow(QStringLiteral("Tick Size Override"), edit(IDC_OS_TICK));

  auto* tif = radio_box(
      this, "TIF",
      {{IDC_OS_DAY, "Day"}, {IDC_OS_GTC, "GTC"}, {IDC_OS_IOC, "IOC"}, {IDC_OS_DTC, "DTC"}}, &g,
      this);
  AddRadioGroup(g);
  g.clear();
  auto* commission = new QGroupBox(QStringLiteral("Paper Commision"), this);
  auto* cl = new QFormLayout(commission);
  cl->addRow(QStringLiteral("Per order"), edit(IDC_OS_COMMISSION1));
  cl->addRow(QStringLiteral("Per share"), edit(IDC_OS_COMMISSION2));

  auto* open = radio_box(
      this, "Opening Order",
      {{IDC_OS_OPEN_LMT, "LMT"}, {IDC_OS_OPEN_STP, "STP"}, {IDC_OS_OPEN_MIT, "MIT"}}, &g, this);
  AddRadioGroup(g);
  g.clear();
  auto* stop = radio_box(
      this, "Stop",
      {{IDC_OS_STOP_NONE, "None"}, {IDC_OS_STOP_STP, "STP"}, {IDC_OS_STOP_TRAIL, "TRAIL"}}, &g,
      this);
  AddRadioGroup(g);
  g.clear();
  auto* target = radio_box(
      this, "Target",
      {{IDC_OS_TARGET_NONE, "None"}, {IDC_OS_TARGET_LMT, "LMT"}, {IDC_OS_TARGET_MIT, "MIT"}}, &g,
      this);
  AddRadioGroup(g);
  g.clear();

  auto* offsets = new QGroupBox(QStringLiteral("Price Offsets"), this);
  auto* ol = new QFormLayout(offsets);
  ol->addRow(QStringLiteral("Stop"), edit(IDC_OS_STOP_OFFSET));
  ol->addRow(QStringLiteral("Trail"), edit(IDC_OS_TRAIL_OFFSET));
  ol->addRow(QStringLiteral("Target"), edit(IDC_OS_TARGET_OFFSET));
  auto* hot = new QGroupBox(QStringLiteral("Hot Key Order Offsets"), this);
  auto* hl = new QFormLayout(hot);
  hl->addRow(QStringLiteral("Buy"), edit(IDC_OS_HOTKEY_BUY));
  hl->addRow(QStringLiteral("Sell"), edit(IDC_OS_HOTKEY_SELL));
  auto* stop_limit = new QFormLayout;
  stop_limit->addRow(QStringLiteral("Stop Limit Offset"), edit(IDC_OS_STOP_LIMIT));

  auto* trigger = radio_box(this, "Stop Trigger Method",
                            {{IDC_OS_TRIGGER_DEFAULT, "Default"},
                             {IDC_OS_TRIGGER_DOUBLE, "Double Bid/Ask"},
                             {IDC_OS_TRIGGER_LAST, "Last"},
                             {IDC_OS_TRIGGER_DOUBLE_LAST, "Double Last"}},
                            &g, this);
  AddRadioGroup(g);
  auto* rth = AddControl(IDC_OS_OUTSIDE_RTH, new QCheckBox(QStringLiteral("Outside RTH"), this));
  auto* sweep = AddControl(IDC_OS_SWEEP, new QCheckBox(QStringLiteral("Sweep To Fill"), this));

  auto* buttons = new QDialogButtonBox(this);
  auto* ok = AddControl(IDOK, buttons->addButton(QDialogButtonBox::Ok));
  auto* cancel = AddControl(IDCANCEL, buttons->addButton(QDialogButtonBox::Cancel));
  auto* help = AddControl(IDHELP_BUTTON, buttons->addButton(QDialogButtonBox::Help));
  Q_UNUSED(ok);
  Q_UNUSED(cancel);
  Q_UNUSED(help);

  auto* grid = new QGridLayout;
  grid->addWidget(mode, 0, 0);
  grid->addLayout(sizes, 0, 1);
  grid->addWidget(tif, 0, 2);
  grid->addWidget(open, 1, 0);
  grid->addWidget(stop, 1, 1);
  grid->addWidget(target, 1, 2);
  grid->addWidget(offsets, 2, 0);
  grid->addWidget(hot, 2, 1);
  grid->addWidget(commission, 2, 2);
  grid->addLayout(stop_limit, 3, 0);
  grid->addWidget(trigger, 3, 1, 2, 1);
  auto* checks = new QVBoxLayout;
  checks->addWidget(rth);
  checks->addWidget(sweep);
  checks->addStretch(1);
  grid->addLayout(checks, 3, 2);
  auto* top = new QVBoxLayout(this);
  top->addLayout(grid);
  top->addWidget(buttons);

  connect(m_accounts, &KvComboBox::droppedDown, this, [this] {
    QString keep = m_accounts->currentText();
    FillAccountList();
    m_accounts->SetCurSel(m_accounts->FindStringExact(-1, keep));
  });
  connect(m_accounts, &KvComboBox::closedUp, this,
          [this] { m_account = m_accounts->currentText(); });
  if (auto* real = Item<QRadioButton>(IDC_OS_REAL))
    connect(real, &QRadioButton::clicked, this, [this] { OnRealTrading(); });
}

QString COrderSetupDlg::price_text(double v) const {
  char buf[64];
  return QString::fromLatin1(format_price(v, buf, m_code, FORMAT_PRICE_DECIMAL));
}

bool COrderSetupDlg::OnInitDialog() {
  const OrderDef& d = m_work;
  m_mode = (d.flags & ORDDEF_MODE_MASK) == ORDDEF_MODE_REAL ? 1 : 0;
  m_account = QString::fromLatin1(d.account, (int)strnlen(d.account, sizeof d.account));
  m_lot = QString::asprintf("%d", d.lot_size);
  m_increment = QString::asprintf("%d", d.increment);
  m_tick = price_text(d.tick_size);
  m_tif = orddef_tif(&d) - ORDER_DAY;
  m_commission1 = QString::asprintf("%.2f", d.commission1);
  m_commission2 = QString::asprintf("%.2f", d.commission2);
  m_open = std::min<int>((d.flags >> ORDDEF_OPEN_SHIFT) & ORDDEF_KIND_MASK, 2);
  m_stop = std::min<int>((d.flags >> ORDDEF_STOP_SHIFT) & ORDDEF_KIND_MASK, 2);
  m_target = std::min<int>((d.flags >> ORDDEF_TARGET_SHIFT) & ORDDEF_KIND_MASK, 2);
  m_stop_offset = price_text(d.stop_offset);
  m_trail_offset = price_text(d.trail_offset);
  m_target_offset = price_text(d.target_offset);
  m_hot_buy = price_text(d.hotkey_buy_offset);
  m_hot_sell = price_text(d.hotkey_sell_offset);
  m_stop_limit = price_text(d.stop_limit_offset);
  m_trigger = std::min<int>((d.flags >> ORDDEF_TRIGGER_SHIFT) & ORDDEF_TRIGGER_MASK, 3);
  m_outside_rth = (d.flags & ORDDEF_OUTSIDE_RTH) != 0;
  m_sweep = (d.flags & ORDDEF_SWEEP) != 0;
  setWindowTitle(QStringLiteral("Order Setup for %1")
                     .arg(QString::fromLatin1(d.key, (int)strnlen(d.key, sizeof d.key))));
  FillAccountList();
  UpdateData(false);
  return true;
}

void COrderSetupDlg::FillAccountList() {
  QSignalBlocker block(m_accounts);
  m_accounts->ResetContent();
  for (const std::string& name : list_paper_accounts()) {
    // The definition keeps 8 characters of the name: a longer one would
    // name another account once stored.
    if (name.size() > (size_t)ORDDEF_ACCOUNT_SIZE) continue;
    {
      kv_lock guard(g_chart_lock);
      if (!get_account(name.c_str())) continue;
    }
    m_accounts->AddString(QString::fromStdString(name));
  }
  if (m_account.isEmpty() && m_accounts->GetCount()) m_account = m_accounts->GetLBText(0);
  m_accounts->SetCurSel(m_accounts->FindStringExact(-1, m_account));
}

void COrderSetupDlg::DoDataExchange(KvDataExchange& dx) {
  DDX_Radio(dx, IDC_OS_PAPER, m_mode);
  if (dx.save())
    m_account = m_accounts->currentText();
  else
    m_accounts->SetCurSel(m_accounts->FindStringExact(-1, m_account));
  DDX_Text(dx, IDC_OS_LOT, m_lot);
  DDX_Text(dx, IDC_OS_INCREMENT, m_increment);
  DDX_Text(dx, IDC_OS_TICK, m_tick);
  DDX_Radio(dx, IDC_OS_DAY, m_tif);
  DDX_Text(dx, IDC_OS_COMMISSION1, m_commission1);
  DDX_Text(dx, IDC_OS_COMMISSION2, m_commission2);
  DDX_Radio(dx, IDC_OS_OPEN_LMT, m_open);
  DDX_Radio(dx, IDC_OS_STOP_NONE, m_stop);
  DDX_Radio(dx, IDC_OS_TARGET_NONE, m_target);
  DDX_Text(dx, IDC_OS_STOP_OFFSET, m_stop_offset);
  DDX_Text(dx, IDC_OS_TRAIL_OFFSET, m_trail_offset);
  DDX_Text(dx, IDC_OS_TARGET_OFFSET, m_target_offset);
  DDX_Text(dx, IDC_OS_HOTKEY_BUY, m_hot_buy);
  DDX_Text(dx, IDC_OS_HOTKEY_SELL, m_hot_sell);
  DDX_Text(dx, IDC_OS_STOP_LIMIT, m_stop_limit);
  DDX_Radio(dx, IDC_OS_TRIGGER_DEFAULT, m_trigger);
  DDX_Check(dx, IDC_OS_OUTSIDE_RTH, m_outside_rth);
  DDX_Check(dx, IDC_OS_SWEEP, m_sweep);
}

void COrderSetupDlg::OnRealTrading() {
  if (g_pref_flags1 & kTradingPref) return;
  kv_message_box("Enable trading in Preferences Dialog first", "Korvane", MB_OK);
  if (auto* paper = Item<QRadioButton>(IDC_OS_PAPER)) paper->setChecked(true);
  m_mode = 0;
}

void COrderSetupDlg::OnOK() {
  if (!UpdateData(true)) return;
  OrderDef& d = m_work;
  uint32_t f = d.flags;
  f = (f & ~ORDDEF_MODE_MASK) | (m_mode == 1 ? ORDDEF_MODE_REAL : ORDDEF_MODE_PAPER);
  auto put = [&f](int shift, uint32_t mask, int value) {
    f = (f & ~(mask << shift)) | ((uint32_t)std::max(value, 0) & mask) << shift;
  };
  put(ORDDEF_OPEN_SHIFT, ORDDEF_KIND_MASK, m_open);
  put(ORDDEF_STOP_SHIFT, ORDDEF_KIND_MASK, m_stop);
  put(ORDDEF_TARGET_SHIFT, ORDDEF_KIND_MASK, m_target);
  put(ORDDEF_TRIGGER_SHIFT, ORDDEF_TRIGGER_MASK, m_trigger);
  f = m_outside_rth ? f | ORDDEF_OUTSIDE_RTH : f & ~ORDDEF_OUTSIDE_RTH;
  f = m_sweep ? f | ORDDEF_SWEEP : f & ~ORDDEF_SWEEP;
  d.flags = f;
  if (m_tif >= 0) orddef_set_tif(&d, ORDER_DAY + m_tif);
  QByteArray acct = m_account.toLatin1();
  memset(d.account, 0, sizeof d.account);
  memcpy(d.account, acct.constData(), std::min<size_t>(acct.size(), sizeof d.account));
  d.lot_size = parse_int(m_lot);
  d.increment = parse_int(m_increment);
  d.tick_size = parse_offset(m_tick);
  d.commission1 = (float)parse_money(m_commission1);
  d.commission2 = (float)parse_money(m_commission2);
  d.stop_offset = parse_offset(m_stop_offset);
  d.trail_offset = parse_offset(m_trail_offset);
  d.target_offset = parse_offset(m_target_offset);
  d.hotkey_buy_offset = parse_offset(m_hot_buy);
  d.hotkey_sell_offset = parse_offset(m_hot_sell);
  d.stop_limit_offset = parse_offset(m_stop_limit);
  // The list link and the path stay the store's.
  d.next = m_def->next;
  memcpy(d.path, m_def->path, sizeof d.path);
  d.flags |= ORDDEF_MODIFIED;
  *m_def = d;
  EndDialog(IDOK);
}

void COrderSetupDlg::OnCancel() {
  // Nothing typed is kept, and nothing changed earlier is forgotten: the
  // definition stays as it was, its modified flag included.
  EndDialog(IDCANCEL);
}
