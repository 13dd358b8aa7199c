// The Setup Chart dialog.
#include "chartwin/chartsetupdlg.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "data/chartsettings.h"
#include "data/dates.h"
#include "data/listfiles.h"
#include "data/tokenfile.h"
#include "platform/qt/controls.h"
#include "platform/services.h"
#include "quotes/qrclient.h"
#include "settings/settings.h"

namespace {

constexpr int kTickSpan = -600;
constexpr int kVolumeSpan = -1000001000;
constexpr int kVolumeBase = 1000000000;
constexpr int kMaxTicks = 999999899;
constexpr int kMaxVolume = 1147483647;

const int kVisibleIds[3] = {IDC_SETUP_TOP_VISIBLE, IDC_SETUP_MIDDLE_VISIBLE,
                            IDC_SETUP_BOTTOM_VISIBLE};
const int kItemFirst[3] = {IDC_SETUP_TOP_FIRST, IDC_SETUP_MIDDLE_FIRST, IDC_SETUP_BOTTOM_FIRST};
const char* const kItemNames[5] = {"Price", "Volume", "Study Group 1", "Study Group 2",
                                   "Study Group 3"};
const char* const kPaneNames[3] = {"Top Pane", "Middle Pane", "Bottom Pane"};

bool is_tick_unit(int u) {
  return u >= -999999999 && u <= -101;
}
bool is_volume_unit(int u) {
  return u < -kVolumeBase;
}

QString settings_text(const char* field, int n) {
  char buf[64];
  chart_settings_text(field, n < (int)sizeof buf ? n : (int)sizeof buf, buf);
  return QString::fromLatin1(buf);
}

QString date_text(int date) {
  char buf[32];
  return QString::fromLatin1(format_date(date, buf, g_date_style));
}

// A date read in the style it was shown in; 0 when it is not a real date.
int read_date(const QString& text) {
  QByteArray b = text.trimmed().toLatin1();
  if (b.isEmpty()) return 0;
  int d = parse_user_date(b.constData());
  return valid_date(d, 0) ? d : 0;
}

}  // namespace

const int CChartSetupDlg::kSpanUnits[17] = {
    kTickSpan, kVolumeSpan, -5, -15, -30, 1, 2, 3, 4, 5, 10, 15, 30, 60, 390, 2730, 11700};
const char* const CChartSetupDlg::kSpanNames[17] = {
    "Tick",      "Volume",    "5 Second", "15 Second", "30 Second", "1 Minute",
    "2 Minute",  "3 Minute",  "4 Minute", "5 Minute",  "10 Minute", "15 Minute",
    "30 Minute", "60 Minute", "1 Day",    "1 Week",    "1 Month"};
const char* const CChartSetupDlg::kChartTypeNames[11] = {"Candlestick",
                                                         "Solid Candlestick",
                                                         "OHLC",
                                                         "HLC",
                                                         "Close",
                                                         "Line",
                                                         "Line w Close",
                                                         "Stairstep Line",
                                                         "Stairstep Line w Close",
                                                         "VWAP Candle",
                                                         "Heiken-Ashi Candle"};

int chart_setup_date_slot(int time_unit) {
  switch (time_unit) {
    case 390:
      return 0;
    case 2730:
      return 1;
    case 11700:
      return 2;
  }
  return -1;
}

CChartSetupDlg::CChartSetupDlg(ChartSettings* settings, const QString& expression, QWidget* parent)
    : KvDialog(IDD_CHART_SETUP, parent), m_settings(settings), m_expression(expression) {
  setWindowTitle(QStringLiteral("Setup Chart"));
  auto* top = new QVBoxLayout(this);

  auto* names = new QGridLayout;
  names->addWidget(
      AddControl(IDC_SETUP_FAVORITE, new QLabel(QStringLiteral("Favorite Name"), this)), 0, 0, 1,
      2);
  names->addWidget(AddControl(IDC_SETUP_COMPANY, new QLabel(QStringLiteral("Company Name"), this)),
                   1, 0, 1, 2);
  names->addWidget(new QLabel(QStringLiteral("Symbol"), this), 2, 0);
  names->addWidget(AddControl(IDC_SETUP_SYMBOL, new QLineEdit(this)), 2, 1);
  names->addWidget(new QLabel(QStringLiteral("Time Span"), this), 3, 0);
  m_span = AddControl(IDC_SETUP_TIMESPAN, new KvComboBox(false, this));
  names->addWidget(m_span, 3, 1);
  names->addWidget(new QLabel(QStringLiteral("Units per Candle"), this), 4, 0);
  m_units = AddControl(IDC_SETUP_UNITS, new KvComboBox(true, this));
  names->addWidget(m_units, 4, 1);
  names->addWidget(new QLabel(QStringLiteral("Chart Type"), this), 5, 0);
  m_type = AddControl(IDC_SETUP_CHARTTYPE, new KvComboBox(false, this));
  names->addWidget(m_type, 5, 1);
  names->addWidget(new QLabel(QStringLiteral("Scaling"), this), 6, 0);
  m_scaling = AddControl(IDC_SETUP_SCALING, new KvComboBox(false, this));
  names->addWidget(m_scaling, 6, 1);
  names->addWidget(new QLabel(QStringLiteral("Line Width"), this), 7, 0);
  names->addWidget(AddControl(IDC_SETUP_LINE_WIDTH, new QLineEdit(this)), 7, 1);
  top->addLayout(names);

  auto* range = new QGroupBox(QStringLiteral("Date Range"), this);
  auto* rl = new QGridLayout(range);
  rl->addWidget(
      AddControl(IDC_SETUP_USE_DEFAULT, new QCheckBox(QStringLiteral("Use Default"), this)), 0, 0,
      1, 2);
  rl->addWidget(new QLabel(QStringLiteral("Start Date"), this), 1, 0);
  rl->addWidget(AddControl(IDC_SETUP_START, new QLineEdit(this)), 1, 1);
  rl->addWidget(new QLabel(QStringLiteral("End Date"), this), 2, 0);
  rl->addWidget(AddControl(IDC_SETUP_END, new QLineEdit(this)), 2, 1);
  top->addWidget(range);

  auto* panes = new QHBoxLayout;
  for (int p = 0; p < 3; p++) {
    auto* box = new QGroupBox(QString::fromLatin1(kPaneNames[p]), this);
    auto* bl = new QVBoxLayout(box);
    auto* vis = AddControl(kVisibleIds[p], new QCheckBox(QStringLiteral("Visible"), this));
    bl->addWidget(vis);
    connect(vis, &QCheckBox::clicked, this, [this, p] { check_pane(p); });
    for (int i = 0; i < 5; i++) {
      auto* item =
          AddControl(kItemFirst[p] + i, new QCheckBox(QString::fromLatin1(kItemNames[i]), this));
      bl->addWidget(item);
      connect(item, &QCheckBox::clicked, this, [this, p] { check_pane(p); });
    }
    panes->addWidget(box);
  }
  top->addLayout(panes);

  auto* buttons = new QDialogButtonBox(this);
  auto* ok = AddControl(IDOK, new QPushButton(QStringLiteral("OK"), this));
  ok->setDefault(true);
  buttons->addButton(ok, QDialogButtonBox::AcceptRole);
  buttons->addButton(AddControl(IDCANCEL, new QPushButton(QStringLiteral("Cancel"), this)),
                     QDialogButtonBox::RejectRole);
  auto* help = AddControl(IDHELP_BUTTON, new QPushButton(QStringLiteral("&Help"), this));
  help->setIcon(QIcon::fromTheme(QStringLiteral("help-contents")));
  buttons->addButton(help, QDialogButtonBox::HelpRole);
  top->addWidget(buttons);

  connect(m_span, &QComboBox::currentIndexChanged, this, [this] {
    if (!m_filling) on_span_changed();
  });
}

bool CChartSetupDlg::OnInitDialog() {
  const ChartSettings& s = *m_settings;
  m_filling = true;
  // chart_name holds the company name of the charted symbol.
  QString company = settings_text(s.chart_name, sizeof s.chart_name);
  QString name = settings_text(s.favorite_name, sizeof s.favorite_name);
  if (name.isEmpty()) name = company;
  QString fav = s.favorite_named == 0 ? QStringLiteral("*") : QString();
  if (!name.startsWith(QLatin1Char('*'))) fav += name;
  SetDlgItemText(IDC_SETUP_FAVORITE, fav);

  for (int i = 0; i < 11; i++) m_type->SetItemData(m_type->AddString(kChartTypeNames[i]), i);
  m_type->SetCurSel(s.chart_type >= 1 && s.chart_type <= 10 ? s.chart_type : 0);
  m_scaling->AddString(QStringLiteral("Linear"));
  m_scaling->AddString(QStringLiteral("Percent"));
  m_scaling->SetCurSel(s.percent ? 1 : 0);

  Item<QCheckBox>(IDC_SETUP_USE_DEFAULT)->setChecked(s.use_default_range != 0);
  SetDlgItemText(IDC_SETUP_SYMBOL, m_expression);
  if (!m_expression.isEmpty()) SetDlgItemText(IDC_SETUP_COMPANY, company);

  int sel = -1;
  for (int i = 0; i < 17; i++) {
    m_span->SetItemData(m_span->AddString(kSpanNames[i]), (std::uintptr_t)(intptr_t)kSpanUnits[i]);
    if (kSpanUnits[i] == s.time_unit) sel = i;
  }
  if (is_tick_unit(s.time_unit)) sel = 0;
  if (is_volume_unit(s.time_unit)) sel = 1;
  // A unit outside the list (a price-increment chart) preselects "1 Day".
  m_span->SetCurSel(sel >= 0 ? sel : 14);
  if (sel == 0 || sel == 1) {
    m_exact_unit = s.time_unit;
    m_span->SetItemData(sel, (std::uintptr_t)(intptr_t)s.time_unit);
    fill_units(s.time_unit);
  }
  show_dates(s.time_unit);

  for (int p = 0; p < 3; p++) {
    Item<QCheckBox>(kVisibleIds[p])->setChecked(s.pane_shown[p] != 0);
    for (int i = 0; i < 5; i++)
      Item<QCheckBox>(kItemFirst[p] + i)->setChecked((s.pane_content[p] >> i) & 1);
  }
  SetDlgItemText(IDC_SETUP_LINE_WIDTH, QString::number(s.line_width));
  m_filling = false;
  return true;  // the controls are filled; no member exchange
}

int CChartSetupDlg::selected_unit() const {
  int sel = m_span->GetCurSel();
  return sel < 0 ? 390 : (int)(intptr_t)m_span->GetItemData(sel);
}

void CChartSetupDlg::show_dates(int unit) {
  const ChartSettings& s = *m_settings;
  if (s.use_default_range) return;
  int slot = chart_setup_date_slot(unit);
  m_shown_start_date = 0;
  if (slot >= 0 && (s.flags & (CS_OWN_START_DAILY << slot)) && s.start_dates[slot])
    m_shown_start_date = s.start_dates[slot];
  m_shown_start = m_shown_start_date ? date_text(m_shown_start_date) : QString();
  SetDlgItemText(IDC_SETUP_START, m_shown_start);
  m_shown_end_date = 0;
  if ((s.flags & CS_OWN_END) && s.end_value) {
    m_shown_end_date = s.end_value;
    m_shown_end = date_text(s.end_value);
    SetDlgItemText(IDC_SETUP_END, m_shown_end);
  }
}

// The counts of the tick or volume files of the symbol, ascending.
void CChartSetupDlg::fill_units(int unit) {
  QString text = m_units->GetWindowText();
  m_units->ResetContent();
  QByteArray sym = GetDlgItemText(IDC_SETUP_SYMBOL).trimmed().toLatin1();
  bool tick = is_tick_unit(unit);
  if (!sym.isEmpty() && !sym.contains('/') && !sym.contains('\\') && sym.size() < 32) {
    const char* ext = tick ? ".tick" : ".vol";
    char pattern[600];
    snprintf(pattern, sizeof pattern, "%s/%s%s*", g_data_dir, sym.constData(), ext);
    int count = 0;
    char** names = nullptr;
    std::vector<long> nums;
    if (list_files(pattern, &count, &names, 0) && names) {
      for (int i = 0; i < count; i++) {
        const char* p = names[i] + sym.size() + strlen(ext);
        char* end = nullptr;
        long n = strtol(p, &end, 10);
        if (end != p && n > 0) nums.push_back(n);
      }
      free_tokens(names);
    }
    std::sort(nums.begin(), nums.end());
    nums.erase(std::unique(nums.begin(), nums.end()), nums.end());
    for (long n : nums) m_units->AddString(QString::number(n));
  }
  if (text.isEmpty()) {
    long long count = tick ? -(long long)unit - 100 : -(long long)unit - kVolumeBase;
    text = QString::number(count);
  }
  m_units->SetWindowText(text);
}

void CChartSetupDlg::on_span_changed() {
  int unit = selected_unit();
  if (is_tick_unit(unit) || is_volume_unit(unit)) {
    m_units->SetWindowText(QString());
    fill_units(unit);
  } else {
    m_units->ResetContent();
    m_units->SetWindowText(QString());
  }
  if (!Item<QCheckBox>(IDC_SETUP_USE_DEFAULT)->isChecked()) {
    SetDlgItemText(IDC_SETUP_START, QString());
    SetDlgItemText(IDC_SETUP_END, QString());
    bool saved = m_settings->use_default_range;
    m_settings->use_default_range = 0;
    show_dates(unit);
    m_settings->use_default_range = saved;
  }
}

// An item may show in one visible pane only.
void CChartSetupDlg::check_pane(int pane) {
  if (!Item<QCheckBox>(kVisibleIds[pane])->isChecked()) return;
  for (int i = 0; i < 5; i++) {
    if (!Item<QCheckBox>(kItemFirst[pane] + i)->isChecked()) continue;
    for (int other = 0; other < 3; other++) {
      if (other == pane || !Item<QCheckBox>(kVisibleIds[other])->isChecked()) continue;
      if (Item<QCheckBox>(kItemFirst[other] + i)->isChecked()) {
        kv_message_box("Item already selected", "Korvane", MB_OK);
        Item<QCheckBox>(kVisibleIds[pane])->setChecked(false);
        return;
      }
    }
  }
}

void CChartSetupDlg::OnOK() {
  QString symbol = GetDlgItemText(IDC_SETUP_SYMBOL).trimmed();
  if (symbol.isEmpty()) {
    kv_message_box("Please enter a symbol", "Korvane", MB_OK);
    return;
  }
  int unit = selected_unit();
  bool tick = m_span->GetCurSel() == 0, volume = m_span->GetCurSel() == 1;
  if (tick && !has_router_capability(0x2)) {
    kv_message_box("Selected Quote Router does not support tick charts", "Korvane", MB_OK);
    return;
  }
  // Counts and width are checked before anything is written.
  QString units = m_units->GetWindowText().trimmed();
  int count = 0;
  if ((tick || volume) && !units.isEmpty()) {
    int max = tick ? kMaxTicks : kMaxVolume;
    if (!kv_parse_int(units, &count) || count < 1 || count > max) {
      kv_message_box(
          QStringLiteral("Please enter an integer between 1 and %1.").arg(max).toUtf8().constData(),
          "Korvane", MB_OK | MB_ICONEXCLAMATION);
      m_units->setFocus();
      return;
    }
  }
  KvDataExchange dx(this, true);
  int width = 0;
  DDX_Text(dx, IDC_SETUP_LINE_WIDTH, width);
  if (!dx.failed()) DDV_MinMaxInt(dx, width, 1, 32767);
  if (dx.failed()) return;

  ChartSettings n = *m_settings;
  n.chart_type = (int)(intptr_t)m_type->GetItemData(std::max(0, m_type->GetCurSel()));
  n.time_unit = unit;
  if (volume) {
    if (units.isEmpty()) {
      kv_message_box("Volume count not specified, default used", "Korvane", MB_OK);
      n.time_unit = kVolumeSpan;
    } else {
      n.time_unit = -(count + kVolumeBase);
      n.base_unit = n.time_unit;
    }
  } else if (tick) {
    if (units.isEmpty()) {
      kv_message_box("Tick count not specified, default used", "Korvane", MB_OK);
      n.time_unit = kTickSpan;
    } else {
      n.time_unit = -(count + 100);
      n.base_unit = n.time_unit;
    }
  }
  n.use_default_range = Item<QCheckBox>(IDC_SETUP_USE_DEFAULT)->isChecked() ? 1 : 0;
  if (n.use_default_range) {
    n.start_dates[0] = n.start_dates[1] = n.start_dates[2] = 0;
    n.end_value = 0;
    n.flags &= ~CS_OWN_DATES;
  } else {
    int slot = chart_setup_date_slot(n.time_unit);
    if (slot >= 0) {
      // A date left as shown keeps its stored value in any date style.
      QString st = GetDlgItemText(IDC_SETUP_START).trimmed();
      int d = (!st.isEmpty() && st == m_shown_start) ? m_shown_start_date : read_date(st);
      n.start_dates[slot] = d;
      if (d)
        n.flags |= CS_OWN_START_DAILY << slot;
      else
        n.flags &= ~(CS_OWN_START_DAILY << slot);
    }
    QString et = GetDlgItemText(IDC_SETUP_END).trimmed();
    int e = (!et.isEmpty() && et == m_shown_end) ? m_shown_end_date : read_date(et);
    n.end_value = e;
    if (e)
      n.flags |= CS_OWN_END;
    else
      n.flags &= ~CS_OWN_END;
  }
  for (int p = 0; p < 3; p++) {
    n.pane_shown[p] = Item<QCheckBox>(kVisibleIds[p])->isChecked() ? 1 : 0;
    int mask = 0;
    for (int i = 0; i < 5; i++)
      if (Item<QCheckBox>(kItemFirst[p] + i)->isChecked()) mask |= 1 << i;
    n.pane_content[p] = mask;
  }
  n.pane_content[3] = 0x20;
  n.line_width = (int16_t)width;

  const ChartSettings& o = *m_settings;
  bool changed = symbol.compare(m_expression.trimmed(), Qt::CaseInsensitive) != 0 ||
                 n.chart_type != o.chart_type || n.time_unit != o.time_unit ||
                 n.use_default_range != o.use_default_range || n.line_width != o.line_width;
  if (!n.use_default_range)
    changed = changed || memcmp(n.start_dates, o.start_dates, sizeof n.start_dates) != 0 ||
              n.end_value != o.end_value;
  for (int p = 0; p < 3; p++)
    changed =
        changed || n.pane_shown[p] != o.pane_shown[p] || n.pane_content[p] != o.pane_content[p];
  n.changed = changed ? 1 : 0;
  m_expression = symbol.toUpper();
  *m_settings = n;
  EndDialog(IDOK);
}
