// "Playback Setup" (see playbackdlg.h).
#include "shell/playbackdlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/dates.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/qt/controls.h"
#include "settings/datadirs.h"
#include "shell/dlgutil.h"
#include "shell/prefedit.h"

namespace {

enum { DAY_SECONDS = 86400 };

// Tick and volume charts (codes below -100) show the start with seconds.
bool shows_seconds(int unit) {
  return (unit < -100 && unit >= -999999999) || unit < -1000000000;
}

// A whole number as C reads it: decimal, "0x" hexadecimal or leading-0
// octal; false when the text is not one.
bool read_c_number(const QString& text, long* out) {
  QByteArray t = text.trimmed().toLatin1();
  if (t.isEmpty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = strtol(t.constData(), &end, 0);
  if (errno || !end || *end) return false;
  *out = v;
  return true;
}

}  // namespace

CPlaybackSetupDlg::CPlaybackSetupDlg(PlaybackData* data, int time_unit, QWidget* parent)
    : KvDialog(IDD_PLAYBACK_SETUP, parent), m_data(data), m_time_unit(time_unit) {
  setWindowTitle(QStringLiteral("Playback Setup"));
  auto* top = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  auto* file = AddControl(IDC_PB_FILE, new KvComboBox(true));
  file->lineEdit()->setMaxLength(PBD_NAME_SIZE - 1);
  form->addRow(QStringLiteral("Symbol:"), file);
  form->addRow(QStringLiteral("Start Date:"), AddControl(IDC_PB_START_DATE, new QLineEdit));
  form->addRow(QStringLiteral("Start Time:"), AddControl(IDC_PB_START_TIME, new QLineEdit));
  auto* rate_row = new QHBoxLayout;
  auto* slider = AddControl(IDC_PB_RATE_SLIDER, new QSlider(Qt::Horizontal));
  slider->setRange(0, PBD_MAX_RATE);
  rate_row->addWidget(slider, 1);
  auto* rate = AddControl(IDC_PB_RATE, new QLineEdit);
  rate->setMaximumWidth(rate->fontMetrics().averageCharWidth() * 8);
  rate_row->addWidget(rate);
  form->addRow(QStringLiteral("Playback Rate:"), rate_row);
  form->addRow(QStringLiteral("Day Offset:"), AddControl(IDC_PB_DAY_OFFSET, new QLineEdit));
  top->addLayout(form);

  auto* ranges = new QGroupBox(QStringLiteral("Visible Playback Time Range"));
  auto* grid = new QGridLayout(ranges);
  grid->addWidget(new QLabel(QStringLiteral("Start Time (Local)")), 0, 0);
  grid->addWidget(new QLabel(QStringLiteral("Stop Time (Local)")), 0, 1);
  for (int i = 0; i < PLAYBACK_SESSIONS; i++) {
    grid->addWidget(AddControl(IDC_PB_RANGE_FIRST + 2 * i, new QLineEdit), i + 1, 0);
    grid->addWidget(AddControl(IDC_PB_RANGE_FIRST + 2 * i + 1, new QLineEdit), i + 1, 1);
  }
  top->addWidget(ranges);
  top->addWidget(kv_ok_cancel_help(this));

  connect(file, &KvComboBox::droppedDown, this, [this] { fill_files(); });
  connect(rate, &QLineEdit::textEdited, this, [this] { rate_typed(); });
  connect(slider, &QSlider::sliderReleased, this,
          [this, slider] { SetDlgItemText(IDC_PB_RATE, QString::number(slider->value())); });
}

// The tick files of the playback folder, by name.
void CPlaybackSetupDlg::fill_files() {
  auto* combo = Item<KvComboBox>(IDC_PB_FILE);
  QString text = combo->GetWindowText();
  combo->ResetContent();
  for (const QString& name : kv_folder_file_titles(KV_DIR_HDATA, "*.tsdata"))
    combo->AddString(name);
  combo->SetWindowText(text);
}

void CPlaybackSetupDlg::rate_typed() {
  long v = 0;
  if (!read_c_number(GetDlgItemText(IDC_PB_RATE), &v)) return;
  if (v > PBD_MAX_RATE) {
    SetDlgItemText(IDC_PB_RATE, QStringLiteral("100"));
    v = PBD_MAX_RATE;
  }
  if (v >= 0) Item<QSlider>(IDC_PB_RATE_SLIDER)->setValue((int)v);
}

bool CPlaybackSetupDlg::OnInitDialog() {
  fill_files();
  Item<KvComboBox>(IDC_PB_FILE)->SetWindowText(QString::fromLatin1(m_data->name));
  SetDlgItemText(IDC_PB_START_DATE, pref_date_text(seconds_to_date((int64_t)m_data->start)));
  int tod = kv_time_of_day((int64_t)m_data->start);
  char text[32];
  if (shows_seconds(m_time_unit))
    snprintf(text, sizeof text, "%02d:%02d:%02d", tod / 3600, tod / 60 % 60, tod % 60);
  else
    snprintf(text, sizeof text, "%02d:%02d", tod / 3600, tod / 60 % 60);
  SetDlgItemText(IDC_PB_START_TIME, QString::fromLatin1(text));
  int rate = m_data->rate < 0 ? 0 : m_data->rate > PBD_MAX_RATE ? PBD_MAX_RATE : m_data->rate;
  SetDlgItemText(IDC_PB_RATE, QString::number(m_data->rate));
  Item<QSlider>(IDC_PB_RATE_SLIDER)->setValue(rate);
  SetDlgItemText(IDC_PB_DAY_OFFSET, QString::number(m_data->day_offset));
  for (int i = 0; i < PLAYBACK_SESSIONS; i++) {
    SetDlgItemText(IDC_PB_RANGE_FIRST + 2 * i, pref_time_text(m_data->range_start[i]));
    SetDlgItemText(IDC_PB_RANGE_FIRST + 2 * i + 1, pref_time_text(m_data->range_stop[i]));
  }
  return true;
}

bool CPlaybackSetupDlg::refuse(const char* text, int id) {
  kv_message_box(text, "Playback Setup", MB_OK | MB_ICONEXCLAMATION);
  if (QWidget* w = GetDlgItem(id)) w->setFocus();
  return false;
}

// The steps store into the dialog's copy as they pass; a refusal keeps the
// dialog open, and the opener takes the copy only after OK.
void CPlaybackSetupDlg::OnOK() {
  // 1. The tick file: a plain file name that fits the record.
  QString name = Item<KvComboBox>(IDC_PB_FILE)->GetWindowText().trimmed();
  QByteArray n = name.toLatin1();
  if (n.size() > PBD_NAME_SIZE - 1 || (!n.isEmpty() && !kv_symbol_file_name_ok(n.constData())) ||
      name != QString::fromLatin1(n)) {
    refuse("The tick file must be a plain file name of at most 31 characters.", IDC_PB_FILE);
    return;
  }
  if (strcmp(n.constData(), m_data->name) != 0) m_data->flags &= ~PLAYBACK_PREPARED;
  memset(m_data->name, 0, sizeof m_data->name);
  memcpy(m_data->name, n.constData(), (size_t)n.size());

  // 2, 3. The start: date in the chosen style, time of day.
  int date = pref_read_date(GetDlgItemText(IDC_PB_START_DATE));
  if (!date) {
    refuse("Invalid Start Date", IDC_PB_START_DATE);
    return;
  }
  int tod = pref_read_time(GetDlgItemText(IDC_PB_START_TIME));
  if (tod < -1 || tod >= DAY_SECONDS) {
    refuse("Invalid Start Time", IDC_PB_START_TIME);
    return;
  }
  int64_t start = date_to_seconds(date, tod < 0 ? 0 : tod);

  // 4. Rate and day offset.
  long rate = 0;
  int offset = 0;
  if (!read_c_number(GetDlgItemText(IDC_PB_RATE), &rate) || rate < 0 || rate > PBD_MAX_RATE) {
    refuse("Please enter an integer between 0 and 100.", IDC_PB_RATE);
    return;
  }
  if (!kv_parse_int(GetDlgItemText(IDC_PB_DAY_OFFSET), &offset)) {
    refuse("Please enter an integer.", IDC_PB_DAY_OFFSET);
    return;
  }
  m_data->start = (uint32_t)start;
  if (rate != m_data->rate) m_data->flags |= PLAYBACK_NEW_RATE;
  m_data->rate = (int32_t)rate;
  m_data->day_offset = offset;

  // 5, 6. The visible ranges: empty is "not set" (-1).
  int times[2][PLAYBACK_SESSIONS];
  const char* const messages[2] = {"Invalid starting time", "Invalid ending time"};
  for (int k = 0; k < 2; k++) {
    for (int i = 0; i < PLAYBACK_SESSIONS; i++) {
      times[k][i] = pref_read_time(GetDlgItemText(IDC_PB_RANGE_FIRST + 2 * i + k));
      if (times[k][i] > DAY_SECONDS - 1 || times[k][i] < -1) {
        refuse(messages[k], IDC_PB_RANGE_FIRST + 2 * i + k);
        return;
      }
    }
    memcpy(k ? m_data->range_stop : m_data->range_start, times[k], sizeof times[k]);
  }
  EndDialog(IDOK);
}
