// The Market Pulse Settings dialog.
#include "windows/pulsesettingsdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "data/priceparse.h"

const char* const kv_pulse_market_names[PULSE_MARKETS] = {
    "NYSE", "AMEX", "NASDAQ", "OTC Bulletin Board", "Toronto", "Montreal", "Vancouver", "UK",
};

const char* const kv_pulse_scan_names[PULSE_SCANS] = {
    "Active",         "Up Price",      "Down Price",       "Up %",
    "Down %",         "Up Volume",     "Active with News", "Active New High",
    "Active New Low", "Gap Up Price",  "Gap Down Price",   "Active Dollar Volume",
    "Active at High", "Active at Low", "Active 5% High",   "Active 5% Low",
    "Up % Open",      "Down % Open",   "Gap Up %",         "Gap Down %",
};

namespace {
enum { IDC_HELP_BUTTON = 1139 };
}

CMktPulseSettingsDlg::CMktPulseSettingsDlg(const PulseSettings& s, QWidget* parent)
    : KvDialog(IDD_MARKET_PULSE_SETTINGS, parent), m_s(s) {
  setWindowTitle(QStringLiteral("Market Pulse Settings"));
  auto* markets = new QGroupBox(QStringLiteral("Markets"), this);
  auto* mk = new QVBoxLayout(markets);
  for (int i = 0; i < PULSE_MARKETS; i++)
    mk->addWidget(AddControl(IDC_PULSE_MARKET_FIRST + i,
                             new QCheckBox(QString::fromLatin1(kv_pulse_market_names[i]), this)));

  auto* filters = new QGroupBox(QStringLiteral("Filters"), this);
  auto* fl = new QFormLayout(filters);
  fl->addRow(QStringLiteral("Minimum Volume"),
             AddControl(IDC_PULSE_MIN_VOLUME, new QLineEdit(this)));
  fl->addRow(QStringLiteral("Minimum Price"), AddControl(IDC_PULSE_MIN_PRICE, new QLineEdit(this)));

  auto* frame = new QGroupBox(QStringLiteral("Time Frame"), this);
  auto* tf = new QVBoxLayout(frame);
  tf->addWidget(AddControl(IDC_PULSE_TODAY, new QRadioButton(QStringLiteral("Today"), this)));
  tf->addWidget(
      AddControl(IDC_PULSE_YESTERDAY, new QRadioButton(QStringLiteral("Yesterday"), this)));
  tf->addWidget(
      AddControl(IDC_PULSE_AFTER_MARKET, new QRadioButton(QStringLiteral("After Market"), this)));
  AddRadioGroup({IDC_PULSE_TODAY, IDC_PULSE_YESTERDAY, IDC_PULSE_AFTER_MARKET});

  auto* scans = new QGroupBox(QStringLiteral("Scan For Most ..."), this);
  auto* sg = new QGridLayout(scans);
  for (int i = 0; i < PULSE_SCANS; i++)
    sg->addWidget(AddControl(IDC_PULSE_SCAN_FIRST + i,
                             new QCheckBox(QString::fromLatin1(kv_pulse_scan_names[i]), this)),
                  i % 10, i / 10);

  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this)),
                     QDialogButtonBox::AcceptRole);
  buttons->addButton(AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this)),
                     QDialogButtonBox::RejectRole);
  buttons->addButton(AddControl(IDC_HELP_BUTTON, new QPushButton(QStringLiteral("&Help"), this)),
                     QDialogButtonBox::HelpRole);
  Item<QPushButton>(IDOK)->setDefault(true);

  auto* left = new QVBoxLayout;
  left->addWidget(markets);
  left->addWidget(filters);
  left->addWidget(frame);
  left->addStretch(1);
  auto* row = new QHBoxLayout;
  row->addLayout(left);
  row->addWidget(scans, 1);
  auto* top = new QVBoxLayout(this);
  top->addLayout(row);
  top->addWidget(buttons);
}

bool CMktPulseSettingsDlg::OnInitDialog() {
  for (int i = 0; i < PULSE_MARKETS; i++)
    Item<QCheckBox>(IDC_PULSE_MARKET_FIRST + i)->setChecked((m_s.market_mask >> i) & 1);
  for (int i = 0; i < PULSE_SCANS; i++)
    Item<QCheckBox>(IDC_PULSE_SCAN_FIRST + i)->setChecked((m_s.scan_mask >> i) & 1);
  const int radio = m_s.time_frame == 1   ? IDC_PULSE_YESTERDAY
                    : m_s.time_frame == 2 ? IDC_PULSE_AFTER_MARKET
                                          : IDC_PULSE_TODAY;
  Item<QRadioButton>(radio)->setChecked(true);
  SetDlgItemText(IDC_PULSE_MIN_PRICE, QString::asprintf("%.2f", m_s.min_price));
  SetDlgItemText(IDC_PULSE_MIN_VOLUME, QString::asprintf("%d", m_s.min_volume));
  return true;
}

void CMktPulseSettingsDlg::OnOK() {
  // Bits past the boxes are kept as they were.
  uint32_t markets = m_s.market_mask & ~0xFFu, scans = m_s.scan_mask & ~0xFFFFFu;
  for (int i = 0; i < PULSE_MARKETS; i++)
    if (Item<QCheckBox>(IDC_PULSE_MARKET_FIRST + i)->isChecked()) markets |= 1u << i;
  for (int i = 0; i < PULSE_SCANS; i++)
    if (Item<QCheckBox>(IDC_PULSE_SCAN_FIRST + i)->isChecked()) scans |= 1u << i;
  m_s.market_mask = markets;
  m_s.scan_mask = scans;
  m_s.time_frame = Item<QRadioButton>(IDC_PULSE_YESTERDAY)->isChecked()      ? 1
                   : Item<QRadioButton>(IDC_PULSE_AFTER_MARKET)->isChecked() ? 2
                                                                             : 0;
  // A text that is no number counts as 0.
  m_s.min_price =
      float(parse_price_text(GetDlgItemText(IDC_PULSE_MIN_PRICE).toLatin1().constData()));
  m_s.min_volume = parse_count(GetDlgItemText(IDC_PULSE_MIN_VOLUME).toLatin1().constData(), 1);
  EndDialog(IDOK);
}

void CMktPulseSettingsDlg::OnHelp() {
  QMessageBox::information(
      this, windowTitle(),
      QStringLiteral("Choose the markets and the \"Scan For Most ...\" lists to take, the least "
                     "volume and price a symbol must have, and the trading session. Update in "
                     "the window's menu runs the scan again."));
}
