// The Align Data Points dialog.
#include "chartwin/aligndatadlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "data/chartsettings.h"
#include "data/dates.h"
#include "platform/services.h"
#include "settings/settings.h"

CAlignDataDlg::CAlignDataDlg(ChartSettings* settings, QWidget* parent)
    : KvDialog(IDD_ALIGN_DATA, parent), m_settings(settings) {
  setWindowTitle(QStringLiteral("Align Data Points"));
  auto* top = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->addRow(AddControl(IDC_ALIGN_DATE_RADIO,
                          new QRadioButton(QStringLiteral("Align at Date/Time"), this)));
  form->addRow(QStringLiteral("Date"), AddControl(IDC_ALIGN_DATE, new QLineEdit(this)));
  form->addRow(QStringLiteral("Time"), AddControl(IDC_ALIGN_TIME, new QLineEdit(this)));
  form->addRow(
      AddControl(IDC_ALIGN_DAYS_RADIO, new QRadioButton(QStringLiteral("Align Days Back"), this)));
  form->addRow(QStringLiteral("# Days Back"), AddControl(IDC_ALIGN_DAYS_BACK, new QLineEdit(this)));
  AddRadioGroup({IDC_ALIGN_DATE_RADIO, IDC_ALIGN_DAYS_RADIO});
  top->addLayout(form);
  auto* buttons = new QDialogButtonBox(this);
  auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this));
  ok->setDefault(true);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this)),
                     QDialogButtonBox::RejectRole);
  buttons->addButton(AddControl(IDHELP_BUTTON, new QPushButton(QStringLiteral("&Help"), this)),
                     QDialogButtonBox::HelpRole);
  top->addWidget(buttons);
}

bool CAlignDataDlg::OnInitDialog() {
  const ChartSettings& s = *m_settings;
  char buf[32];
  int64_t t = s.percent_base_time;
  int date = seconds_to_date(t);
  int secs = (int)(((t % 86400) + 86400) % 86400);
  m_shown_date = QString::fromLatin1(format_date(date, buf, g_date_style));
  SetDlgItemText(IDC_ALIGN_DATE, m_shown_date);
  SetDlgItemText(IDC_ALIGN_TIME, QString::fromLatin1(format_hhmm(secs, buf)));
  SetDlgItemText(IDC_ALIGN_DAYS_BACK, QString::number(s.days_back));
  int choice = s.use_days_back ? 1 : 0;
  KvDataExchange dx(this, false);
  DDX_Radio(dx, IDC_ALIGN_DATE_RADIO, choice);
  return true;
}

void CAlignDataDlg::OnOK() {
  KvDataExchange dx(this, true);
  int choice = 0, days = 0;
  DDX_Radio(dx, IDC_ALIGN_DATE_RADIO, choice);
  DDX_Text(dx, IDC_ALIGN_DAYS_BACK, days);
  if (!dx.failed()) DDV_MinMaxInt(dx, days, 0, 32767);
  if (dx.failed()) return;
  QByteArray dtext = GetDlgItemText(IDC_ALIGN_DATE).trimmed().toLatin1();
  QByteArray ttext = GetDlgItemText(IDC_ALIGN_TIME).trimmed().toLatin1();
  // A date left as shown keeps the stored day in any date style.
  int date = GetDlgItemText(IDC_ALIGN_DATE).trimmed() == m_shown_date.trimmed()
                 ? seconds_to_date(m_settings->percent_base_time)
                 : parse_user_date(dtext.constData());
  int secs = ttext.isEmpty() ? 0 : parse_time_of_day(ttext.constData());
  if (!valid_date(date, 0) || secs < 0) {
    kv_message_box("Please enter a valid date and time.", "Korvane", MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  m_settings->use_days_back = (int16_t)(choice < 0 ? 0 : choice);
  m_settings->days_back = (int16_t)days;
  m_settings->percent_base_time = (int32_t)date_to_seconds(date, secs);
  EndDialog(IDOK);
}
