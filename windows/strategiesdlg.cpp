#include "windows/strategiesdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "broker/xsystems.h"
#include "data/chart.h"
#include "data/pricefmt.h"
#include "platform/locks.h"
#include "platform/qt/controls.h"
#include "platform/services.h"
#include "quotes/mqt_record.h"

const int kStrategyArgIds[8] = {1534, 1535, 1742, 1745, 1743, 1746, 1744, 1747};
const int kStrategyArgLabelIds[8] = {1735, 1736, 1748, 1749, 1750, 1751, 1752, 1753};

namespace {

// A number typed into a field; anything that is not a finite number
// ("nan", "inf", words) reads as 0.
double read_number(const QString& s) {
  QByteArray b = s.trimmed().toLatin1();
  double v = strtod(b.constData(), nullptr);
  return std::isfinite(v) ? v : 0;
}

int read_int(const QString& s) {
  long v = strtol(s.trimmed().toLatin1().constData(), nullptr, 10);
  return (int)std::clamp<long>(v, INT32_MIN, INT32_MAX);
}

}  // namespace

CStrategiesDlg::CStrategiesDlg(chart_rec* chart, strategy_ctx* ctx, QWidget* parent)
    : KvDialog(IDD_STRATEGIES, parent), m_chart(chart), m_ctx(ctx) {
  setWindowTitle(QStringLiteral("Strategies"));
  {
    kv_lock guard(g_chart_lock);
    m_work = *ctx;
    mqt* r = chart ? chart->mqt : nullptr;
    m_decimals = r ? tick_decimals(r->tick_size > 0 ? r->tick_size : 0.01) : -1;
    if (chart)
      setWindowTitle(
          QStringLiteral("Strategy for %1").arg(QString::fromLatin1(chart->header.symbol)));
  }
  auto edit = [this](int id) {
    auto* e = AddControl(id, new QLineEdit(this));
    e->setMinimumWidth(70);
    return e;
  };
  auto check = [this](int id, const char* text) {
    return AddControl(id, new QCheckBox(QString::fromLatin1(text), this));
  };
  m_names = AddControl(IDC_ST_NAME, new KvComboBox(false, this));
  m_names->setMinimumContentsLength(12);
  auto* account = edit(IDC_ST_ACCOUNT);
  account->setMaxLength(STRATEGY_TYPED_ACCOUNT_MAX);

  auto* contract = new QGroupBox(QStringLiteral("Contract"), this);
  auto* cf = new QFormLayout(contract);
  cf->addRow(QStringLiteral("Strategy Name"), m_names);
  cf->addRow(QStringLiteral("Tick Size"), edit(IDC_ST_TICK));
  cf->addRow(QStringLiteral("Multiplier"), edit(IDC_ST_MULTIPLIER));
  cf->addRow(QStringLiteral("Slippage"), edit(IDC_ST_SLIPPAGE));

  auto* acct = new QGroupBox(QStringLiteral("Account"), this);
  auto* af = new QFormLayout(acct);
  af->addRow(QStringLiteral("Name"), account);
  af->addRow(QStringLiteral("Beg Acct Bal."), edit(IDC_ST_BALANCE));

  auto* dates = new QGroupBox(QStringLiteral("Dates"), this);
  auto* df = new QFormLayout(dates);
  df->addRow(QStringLiteral("Start"), edit(IDC_ST_START));
  df->addRow(QStringLiteral("Stop"), edit(IDC_ST_STOP));
  df->addRow(QStringLiteral("Start\nCandle #"), edit(IDC_ST_FIRST_CANDLE));

  auto* tax = new QGroupBox(QStringLiteral("Tax"), this);
  auto* tl = new QVBoxLayout(tax);
  tl->addWidget(check(IDC_ST_PAY_TAX, "Pay Tax"));
  auto* annual = AddControl(IDC_ST_ANNUAL, new QRadioButton(QStringLiteral("Annual"), tax));
  auto* quarterly =
      AddControl(IDC_ST_QUARTERLY, new QRadioButton(QStringLiteral("Quarterly"), tax));
  AddRadioGroup({IDC_ST_ANNUAL, IDC_ST_QUARTERLY});
  tl->addWidget(annual);
  tl->addWidget(quarterly);
  auto* rate = new QFormLayout;
  rate->addRow(QStringLiteral("Rate"), edit(IDC_ST_RATE));
  tl->addLayout(rate);

  auto* position = new QGroupBox(QStringLiteral("Position"), this);
  auto* pf = new QFormLayout(position);
  pf->addRow(check(IDC_ST_LONG, "Long"), check(IDC_ST_SHORT, "Short"));
  pf->addRow(QStringLiteral("Lot Size"), edit(IDC_ST_LOT_SIZE));
  pf->addRow(QStringLiteral("Max Lots"), edit(IDC_ST_MAX_LOTS));

  auto* options = new QGroupBox(QStringLiteral("Options"), this);
  auto* ol = new QGridLayout(options);
  ol->addWidget(check(IDC_ST_QUICK_TEST, "Quick Test"), 0, 0);
  ol->addWidget(check(IDC_ST_DUMP_ORDERS, "Dump Orders"), 0, 1);
  ol->addWidget(check(IDC_ST_INVERT, "Invert"), 0, 2);
  for (int i = 0; i < 4; i++) ol->addWidget(check(IDC_ST_OPTION1 + i, "Option"), 1 + i / 2, i % 2);

  auto* args = new QGroupBox(QStringLiteral("Arguments"), this);
  auto* gl = new QGridLayout(args);
  for (int i = 0; i < 8; i++) {
    auto* label = AddControl(kStrategyArgLabelIds[i], new QLabel(args));
    gl->addWidget(label, i / 2, (i % 2) * 2);
    gl->addWidget(edit(kStrategyArgIds[i]), i / 2, (i % 2) * 2 + 1);
  }

  auto* mode = new QGroupBox(QStringLiteral("Mode"), this);
  auto* ml = new QHBoxLayout(mode);
  std::vector<int> mode_ids;
  for (int i = 0; i < 6; i++) {
    auto* b = AddControl(IDC_ST_BACKTEST + i,
                         new QRadioButton(QString::fromLatin1(g_strategy_mode_names[i]), mode));
    ml->addWidget(b);
    mode_ids.push_back(IDC_ST_BACKTEST + i);
  }
  AddRadioGroup(mode_ids);

  auto* buttons = new QDialogButtonBox(this);
  auto* run =
      AddControl(IDOK, new QPushButton(QIcon::fromTheme(QStringLiteral("media-playback-start")),
                                       QStringLiteral("Run"), this));
  auto* close =
      AddControl(IDC_ST_CLOSE, new QPushButton(QIcon::fromTheme(QStringLiteral("window-close")),
                                               QStringLiteral("Close"), this));
  buttons->addButton(run, QDialogButtonBox::AcceptRole);
  buttons->addButton(close, QDialogButtonBox::RejectRole);
  run->setDefault(true);
  close->setAutoDefault(false);
  connect(close, &QPushButton::clicked, this, [this] { OnClose(); });

  auto* grid = new QGridLayout;
  grid->addWidget(contract, 0, 0);
  grid->addWidget(acct, 0, 1);
  grid->addWidget(dates, 0, 2);
  grid->addWidget(tax, 1, 0);
  grid->addWidget(position, 1, 1);
  grid->addWidget(options, 1, 2);
  grid->addWidget(args, 2, 0, 1, 3);
  grid->addWidget(mode, 3, 0, 1, 3);
  auto* top = new QVBoxLayout(this);
  top->addLayout(grid);
  top->addWidget(buttons);

  connect(m_names, &KvComboBox::droppedDown, this, [this] {
    int keep = m_names->GetCurSel();
    FillNames();
    m_names->SetCurSel(keep);
  });
  connect(m_names, &KvComboBox::closedUp, this, [this] { OnCloseupStrategy(); });
}

void CStrategiesDlg::FillNames() {
  QSignalBlocker block(m_names);
  m_names->ResetContent();
  for (int i = 0; g_trading_systems[i].name; i++)
    m_names->AddString(QString::fromLatin1(g_trading_systems[i].name));
}

int CStrategiesDlg::chosen_entry() const {
  int sel = m_names->GetCurSel();
  if (sel < 0) return -1;
  QByteArray n = m_names->GetLBText(sel).toLatin1();
  for (int i = 0; g_trading_systems[i].name; i++)
    if (strcmp(g_trading_systems[i].name, n.constData()) == 0) return i;
  return -1;
}

void CStrategiesDlg::ShowLabels(int entry) {
  if (entry < 0) return;
  const trading_system& t = g_trading_systems[entry];
  for (int i = 0; i < 4; i++)
    if (auto* b = Item<QCheckBox>(IDC_ST_OPTION1 + i))
      b->setText(QString::fromLatin1(t.labels[i] ? t.labels[i] : ""));
  for (int i = 0; i < 8; i++)
    SetDlgItemText(kStrategyArgLabelIds[i],
                   QString::fromLatin1(t.labels[4 + i] ? t.labels[4 + i] : ""));
}

bool CStrategiesDlg::OnInitDialog() {
  FillNames();
  int entry = 0;
  if (m_work.system_name) {
    int i = m_names->FindStringExact(-1, QString::fromLatin1(m_work.system_name));
    if (i >= 0) entry = i;
  }
  m_names->SetCurSel(entry);
  m_name = m_names->GetLBText(entry);
  ShowLabels(chosen_entry());
  ShowValues();
  return true;
}

void CStrategiesDlg::ShowValues() {
  const strategy_ctx& c = m_work;
  auto num = [this](int id, bool shown, const QString& text) {
    SetDlgItemText(id, shown ? text : QString());
  };
  auto ticks = [this](double v) { return QString::asprintf("%.*f", m_decimals, v); };
  bool rec = m_decimals >= 0;
  SetDlgItemText(IDC_ST_ACCOUNT, QString::fromLatin1(c.typed_account));
  num(IDC_ST_BALANCE, c.beginning_balance != 0, QString::asprintf("%0.0f", c.beginning_balance));
  num(IDC_ST_TICK, rec && c.tick_size != 0, rec ? ticks(c.tick_size) : QString());
  num(IDC_ST_MULTIPLIER, c.multiplier != 0, QString::number(c.multiplier));
  num(IDC_ST_SLIPPAGE, rec && c.slippage != 0, rec ? ticks(c.slippage) : QString());
  num(IDC_ST_START, c.start_date != 0, QString::number(c.start_date));
  num(IDC_ST_STOP, c.stop_date != 0, QString::number(c.stop_date));
  num(IDC_ST_FIRST_CANDLE, c.first_candle != 0, QString::number(c.first_candle));
  num(IDC_ST_RATE, c.tax_rate != 0, QString::asprintf("%.2f", c.tax_rate));
  num(IDC_ST_LOT_SIZE, c.lot_size != 0, QString::number(c.lot_size));
  num(IDC_ST_MAX_LOTS, c.max_lots != 0, QString::number(c.max_lots));
  for (int i = 0; i < 8; i++)
    num(kStrategyArgIds[i], rec && c.args[i] != 0, rec ? ticks(c.args[i]) : QString());
  auto set = [this](int id, bool on) {
    if (auto* b = Item<QAbstractButton>(id)) b->setChecked(on);
  };
  set(IDC_ST_PAY_TAX, c.flags & STRATEGY_PAY_TAX);
  set((c.flags & STRATEGY_TAX_QUARTERLY) ? IDC_ST_QUARTERLY : IDC_ST_ANNUAL, true);
  set(IDC_ST_LONG, c.flags & STRATEGY_TRADE_LONG);
  set(IDC_ST_SHORT, c.flags & STRATEGY_TRADE_SHORT);
  set(IDC_ST_QUICK_TEST, c.flags & STRATEGY_QUICK_TEST);
  set(IDC_ST_DUMP_ORDERS, c.flags & STRATEGY_DUMP_ORDERS);
  set(IDC_ST_INVERT, c.flags & STRATEGY_INVERT);
  for (int i = 0; i < 4; i++) set(IDC_ST_OPTION1 + i, c.flags & (STRATEGY_OPTION1 << i));
  int mode = c.mode >= 0 && c.mode <= 5 ? c.mode : 0;
  set(IDC_ST_BACKTEST + mode, true);
}

void CStrategiesDlg::OnCloseupStrategy() {
  int entry = chosen_entry();
  if (entry < 0) return;
  ShowLabels(entry);
  QString name = m_names->GetLBText(m_names->GetCurSel());
  if (name != m_name) {
    // Another system: its numbers start empty; the account, the mode and
    // the other check boxes stay.
    for (int id :
         {IDC_ST_TICK, IDC_ST_MULTIPLIER, IDC_ST_START, IDC_ST_STOP, IDC_ST_BALANCE,
          IDC_ST_MAX_LOTS, IDC_ST_SLIPPAGE, IDC_ST_RATE, IDC_ST_LOT_SIZE, IDC_ST_FIRST_CANDLE})
      SetDlgItemText(id, QString());
    for (int id : kStrategyArgIds) SetDlgItemText(id, QString());
    for (int i = 0; i < 4; i++)
      if (auto* b = Item<QCheckBox>(IDC_ST_OPTION1 + i)) b->setChecked(false);
  }
  m_name = name;
}

int CStrategiesDlg::ReadControls() {
  QString acct = GetDlgItemText(IDC_ST_ACCOUNT).trimmed();
  // The account becomes the run's paper account file and travels in the
  // execution record's 10-character field.
  QByteArray a = acct.toLatin1();
  if (a.size() > STRATEGY_TYPED_ACCOUNT_MAX || a.contains('/') || a.contains('\\') ||
      a.contains("..")) {
    kv_message_box("Account name: at most 10 characters, without \"/\", \"\\\" or \"..\"",
                   "Korvane", MB_OK | MB_ICONEXCLAMATION);
    return 0;
  }
  strategy_ctx& c = m_work;
  memset(c.typed_account, 0, sizeof c.typed_account);
  memcpy(c.typed_account, a.constData(), (size_t)a.size());
  int entry = chosen_entry();
  c.system_name = entry >= 0 ? g_trading_systems[entry].name : nullptr;
  c.beginning_balance = read_number(GetDlgItemText(IDC_ST_BALANCE));
  c.tick_size = read_number(GetDlgItemText(IDC_ST_TICK));
  c.multiplier = read_int(GetDlgItemText(IDC_ST_MULTIPLIER));
  c.slippage = read_number(GetDlgItemText(IDC_ST_SLIPPAGE));
  c.start_date = read_int(GetDlgItemText(IDC_ST_START));
  c.stop_date = read_int(GetDlgItemText(IDC_ST_STOP));
  c.first_candle = read_int(GetDlgItemText(IDC_ST_FIRST_CANDLE));
  c.tax_rate = read_number(GetDlgItemText(IDC_ST_RATE));
  int lot = read_int(GetDlgItemText(IDC_ST_LOT_SIZE));
  c.lot_size = lot < 2 ? 1 : lot;
  c.max_lots = strategy_max_lots(read_int(GetDlgItemText(IDC_ST_MAX_LOTS)));
  for (int i = 0; i < 8; i++) c.args[i] = read_number(GetDlgItemText(kStrategyArgIds[i]));
  auto on = [this](int id) {
    auto* b = Item<QAbstractButton>(id);
    return b && b->isChecked();
  };
  uint32_t f = c.flags & ~(STRATEGY_PAY_TAX | STRATEGY_TAX_QUARTERLY | STRATEGY_TRADE_LONG |
                           STRATEGY_TRADE_SHORT | STRATEGY_QUICK_TEST | STRATEGY_DUMP_ORDERS |
                           STRATEGY_INVERT | (0xFu * STRATEGY_OPTION1));
  if (on(IDC_ST_PAY_TAX)) f |= STRATEGY_PAY_TAX;
  if (on(IDC_ST_QUARTERLY)) f |= STRATEGY_TAX_QUARTERLY;
  if (on(IDC_ST_LONG)) f |= STRATEGY_TRADE_LONG;
  if (on(IDC_ST_SHORT)) f |= STRATEGY_TRADE_SHORT;
  if (on(IDC_ST_QUICK_TEST)) f |= STRATEGY_QUICK_TEST;
  if (on(IDC_ST_DUMP_ORDERS)) f |= STRATEGY_DUMP_ORDERS;
  if (on(IDC_ST_INVERT)) f |= STRATEGY_INVERT;
  for (int i = 0; i < 4; i++)
    if (on(IDC_ST_OPTION1 + i)) f |= STRATEGY_OPTION1 << i;
  c.flags = f;
  for (int i = 0; i < 6; i++)
    if (on(IDC_ST_BACKTEST + i)) c.mode = i;
  if (entry >= 0) {
    const trading_system& t = g_trading_systems[entry];
    c.start = t.start;
    c.init = t.init;
    c.run = t.run;
    c.term = t.term;
  }
  return 1;
}

void CStrategiesDlg::CopyBack() {
  kv_lock guard(g_chart_lock);
  *m_ctx = m_work;
}

void CStrategiesDlg::OnRun() {
  if (chosen_entry() < 0) return;
  if (!ReadControls()) return;
  CopyBack();
  EndDialog(IDOK);
  strategy_start_fn start = m_work.start;
  if (start && start(m_chart, m_ctx)) {
    kv_lock guard(g_chart_lock);
    m_ctx->flags |= STRATEGY_STARTED;
  }
}

void CStrategiesDlg::OnClose() {
  if (chosen_entry() >= 0 && !ReadControls()) return;
  if (chosen_entry() >= 0) CopyBack();
  EndDialog(IDCANCEL);
}
