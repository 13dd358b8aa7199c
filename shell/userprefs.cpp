// The "User Preferences" sheet and its Data, Display and Auto Run pages.
#include "shell/userprefs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cstring>

#include "data/dates.h"
#include "data/inet.h"
#include "data/lefield.h"
#include "platform/services.h"
#include "quotes/mqtthread.h"
#include "quotes/qrclient.h"
#include "quotes/sounds.h"
#include "settings/datadirs.h"
#include "platform/qt/controls.h"
#include "platform/qt/services_qt.h"
#include "settings/settings.h"
#include "shell/dlgutil.h"
#include "shell/prefedit.h"
#include "studies/pages/bitmapcombo.h"

namespace {

enum : int {
  IDC_USE_DEFAULTS = 1178,
  // Data page
  IDC_START_DAILY = 1206,
  IDC_START_WEEKLY = 1204,
  IDC_START_MONTHLY = 1205,
  IDC_QUOTE_INTERVAL = 1243,
  IDC_RECEIVE_TIMEOUT = 1509,
  IDC_CONT_DAILY = 1244,
  IDC_QR_HOST = 1399,
  IDC_QR_AUTO_START = 1486,
  IDC_KEEP_1MIN = 1229,
  IDC_KEEP_TICK = 1478,
  IDC_KEEP_VOLUME = 1698,
  IDC_KEEP_EXT = 1232,
  IDC_KEEP_INTRADAY = 1247,
  // Display page
  IDC_DECIMAL = 1174,
  IDC_FRACTIONS = 1175,
  IDC_DATE_FORMAT = 1179,
  IDC_TIME_OFFSET = 1585,
  IDC_LABELS_LEFT = 1216,
  IDC_GRID = 1227,
  IDC_HIDE_DIVIDER = 1537,
  IDC_HEADER = 1245,
  IDC_HIGHLIGHT = 1586,
  IDC_MARGIN_LEFT = 1386,
  IDC_MARGIN_RIGHT = 1385,
  IDC_WIDTH_TOTAL = 1387,
  IDC_WIDTH_WICK = 1388,
  IDC_SIZE_SMALL = 1465,
  IDC_SIZE_MEDIUM = 1468,
  IDC_SIZE_LARGE = 1466,
  IDC_SIZE_CUSTOM = 1467,
  // Auto Run page
  IDC_AUTO_COLLECT = 1234,
  IDC_DAY_MON = 1236,       // .. 1242 Sunday
  IDC_SUNDAY_START = 1677,  // three edits a day, Sunday .. Saturday
  // Misc page
  IDC_SPIKE_ENABLE = 1480,
  IDC_FILTER_WIDTH = 1481,
  IDC_FILTER_DEPTH = 1482,
  IDC_STREAM_BACKFILL = 1483,
  IDC_NO_CLOCK_SYNC = 1485,
  IDC_AUTO_START_TWS = 1596,
  IDC_ADVISOR = 1723,
  IDC_ACCOUNT = 1536,
  IDC_USER_NAME = 1594,
  IDC_PASSWORD = 1595,
  IDC_CLIENT_ID = 1509,
  IDC_PORT = 1575,
  IDC_ENABLE_TRADING = 1598,
  IDC_MARKET_DEPTH = 1675,
  IDC_INHIBIT_OPTIONS = 1716,
  IDC_INHIBIT_SFF = 1720,
  IDC_INHIBIT_BAG = 1721,
  IDC_INHIBIT_CASH = 1722,
};

// Bits of the flag words the Misc page edits.
enum : uint32_t {
  PREF_SPIKE_FILTER = 1u << 18,
  PREF_STREAM_BACKFILL = 1u << 19,
  PREF_FILTER_WIDTH_SHIFT = 20,  // 4 bits
  PREF_FILTER_DEPTH_SHIFT = 24,  // 3 bits
  PREF_NO_CLOCK_SYNC = 1u << 27,
  PREF1_AUTO_START_TWS = 1u << 2,
  PREF1_TRADING = 1u << 3,
  PREF1_MARKET_DEPTH = 1u << 5,
  PREF1_INHIBIT_FIRST = 7,  // bits 7-10: options, SFFs, bag, cash
  PREF1_ADVISOR = 1u << 11,
  ROUTER_CAN_TRADE = 0x200,
};

const char* const kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                  "Thursday", "Friday", "Saturday"};

void refuse(const char* text) {
  kv_message_box(text, "User Preferences", MB_OK);
}

// Marks the page modified on any edit or click of its controls.
void watch(KvPropertyPage* page, QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w))
    QObject::connect(e, &QLineEdit::textEdited, page, [page] { page->SetModified(); });
  else if (auto* b = qobject_cast<QAbstractButton*>(w))
    QObject::connect(b, &QAbstractButton::clicked, page, [page] { page->SetModified(); });
  else if (auto* c = qobject_cast<QComboBox*>(w))
    QObject::connect(c, &QComboBox::activated, page, [page] { page->SetModified(); });
}

template <class W>
W* control(KvPropertyPage* page, int id, W* w) {
  page->AddControl(id, w);
  watch(page, w);
  return w;
}

}  // namespace

int pack_custom_candle(int total, int left, int right, int wick, uint32_t* packed) {
  if (total < 1 || total > 255 || left < 0 || left > 63 || right < 0 || right > 63 || wick < 0 ||
      wick > 63)
    return 0;
  int body = total - left - right;
  if (body <= 0 || body < wick) return 0;
  int offset = left + body / 2 - wick / 2;
  if (offset > 63) return 0;
  *packed = (uint32_t)total | (uint32_t)left << 8 | (uint32_t)right << 14 | (uint32_t)offset << 20 |
            (uint32_t)wick << 26;
  return 1;
}

// ---- Data page ------------------------------------------------------------------

CPPPrefData::CPPPrefData() : KvPropertyPage(IDD_PREF_DATA, QStringLiteral("Data")) {
  auto* top = new QVBoxLayout(this);
  auto* dates = new QGroupBox(QStringLiteral("Data Collection Start Dates"));
  auto* df = new QFormLayout(dates);
  df->addRow(QStringLiteral("Daily:"), control(this, IDC_START_DAILY, new QLineEdit));
  df->addRow(QStringLiteral("Weekly:"), control(this, IDC_START_WEEKLY, new QLineEdit));
  df->addRow(QStringLiteral("Monthly:"), control(this, IDC_START_MONTHLY, new QLineEdit));
  top->addWidget(dates);

  auto* fetch = new QFormLayout;
  fetch->addRow(QStringLiteral("Quote Fetch Time Interval (msec):"),
                control(this, IDC_QUOTE_INTERVAL, new QLineEdit));
  fetch->addRow(QStringLiteral("Internet Receive Timeout (msec):"),
                control(this, IDC_RECEIVE_TIMEOUT, new QLineEdit));
  top->addLayout(fetch);
  top->addWidget(
      control(this, IDC_CONT_DAILY, new QCheckBox(QStringLiteral("Update Daily Charts Intraday"))));

  auto* router = new QGroupBox(QStringLiteral("Quote Router"));
  auto* rf = new QFormLayout(router);
  auto* host = control(this, IDC_QR_HOST, new QLineEdit);
  host->setMaxLength(100);
  rf->addRow(QStringLiteral("Hostname:"), host);
  rf->addRow(control(this, IDC_QR_AUTO_START, new QCheckBox(QStringLiteral("Auto Start"))));
  top->addWidget(router);

  auto* keep = new QGroupBox(QStringLiteral("Keep"));
  auto* kf = new QFormLayout(keep);
  kf->addRow(QStringLiteral("Day's of Chart Data:"), control(this, IDC_KEEP_1MIN, new QLineEdit));
  kf->addRow(QStringLiteral("Day's of Tick Data:"), control(this, IDC_KEEP_TICK, new QLineEdit));
  kf->addRow(QStringLiteral("Day's of Volume Data:"),
             control(this, IDC_KEEP_VOLUME, new QLineEdit));
  kf->addRow(
      control(this, IDC_KEEP_EXT, new QCheckBox(QStringLiteral("Keep Extended Market Hour Data"))));
  kf->addRow(control(
      this, IDC_KEEP_INTRADAY,
      new QCheckBox(QStringLiteral("Accumulate Intraday Data for all Symbols in SLFMaps"))));
  top->addWidget(keep);

  auto* defaults = AddControl(IDC_USE_DEFAULTS, new QPushButton(QStringLiteral("Use Defaults")));
  QObject::connect(defaults, &QPushButton::clicked, this, [this] {
    load(g_settings_defaults, true);
    UpdateData(false);
    SetModified();
  });
  top->addWidget(defaults, 0, Qt::AlignLeft);
  top->addStretch(1);
}

void CPPPrefData::load(const settings_block& b, bool defaults) {
  m_daily = pref_date_text(b.StartDateDaily);
  m_weekly = pref_date_text(b.StartDateWeekly);
  m_monthly = pref_date_text(b.StartDateMonthly);
  // Older settings held the interval in seconds.
  m_interval = b.QuoteInterval < 100 ? b.QuoteInterval * 1000 : b.QuoteInterval;
  m_timeout = b.InternetReceiveTimeout;
  m_cont_daily = b.ContUpdateDaily != 0;
  m_host = QString::fromLatin1(b.QRHostname, (int)strnlen(b.QRHostname, sizeof b.QRHostname));
  m_auto_start = (b.Flags & PREF_QR_AUTO_START) != 0;
  m_keep_min = b.KeepNumDays1Min;
  m_keep_tick = b.KeepNumDaysTick;
  m_keep_volume = b.KeepNumDaysVolume;
  m_keep_ext = b.KeepExtMktHoursData != 0;
  m_keep_intraday = b.KeepIntradayData != 0;
  (void)defaults;
}

bool CPPPrefData::OnInitDialog() {
  load(g_settings, false);
  return KvPropertyPage::OnInitDialog();
}

void CPPPrefData::DoDataExchange(KvDataExchange& dx) {
  DDX_Text(dx, IDC_START_DAILY, m_daily);
  DDV_MaxChars(dx, m_daily, 11);
  DDX_Text(dx, IDC_START_WEEKLY, m_weekly);
  DDV_MaxChars(dx, m_weekly, 11);
  DDX_Text(dx, IDC_START_MONTHLY, m_monthly);
  DDV_MaxChars(dx, m_monthly, 11);
  DDX_Text(dx, IDC_QUOTE_INTERVAL, m_interval);
  DDX_Text(dx, IDC_RECEIVE_TIMEOUT, m_timeout);
  DDX_Check(dx, IDC_CONT_DAILY, m_cont_daily);
  DDX_Text(dx, IDC_QR_HOST, m_host);
  DDV_MaxChars(dx, m_host, 100);
  DDX_Check(dx, IDC_QR_AUTO_START, m_auto_start);
  DDX_Text(dx, IDC_KEEP_1MIN, m_keep_min);
  DDX_Text(dx, IDC_KEEP_TICK, m_keep_tick);
  DDX_Text(dx, IDC_KEEP_VOLUME, m_keep_volume);
  DDX_Check(dx, IDC_KEEP_EXT, m_keep_ext);
  DDX_Check(dx, IDC_KEEP_INTRADAY, m_keep_intraday);
}

bool CPPPrefData::OnCheck() {
  if (!pref_read_date(m_daily) || !pref_read_date(m_weekly) || !pref_read_date(m_monthly)) {
    refuse("One or more of the start dates are invalid");
    return false;
  }
  if (m_interval < 100) {
    refuse("Quote Interval Timer must be greater than 100 milli seconds");
    return false;
  }
  return true;
}

bool CPPPrefData::OnApply() {
  if (!OnCheck()) return false;
  int daily = pref_read_date(m_daily);
  int weekly = pref_read_date(m_weekly);
  int monthly = pref_read_date(m_monthly);
  // Every field passed: store them all.
  g_settings.StartDateDaily = daily;
  g_settings.StartDateWeekly = weekly;
  g_settings.StartDateMonthly = monthly;
  g_settings.QuoteInterval = m_interval;
  g_settings.KeepNumDays1Min = m_keep_min;
  g_settings.KeepNumDaysTick = m_keep_tick;
  g_settings.KeepNumDaysVolume = m_keep_volume;
  g_settings.ContUpdateDaily = m_cont_daily;
  g_settings.KeepExtMktHoursData = m_keep_ext;
  g_settings.KeepIntradayData = m_keep_intraday;
  QByteArray host = m_host.toLatin1().left(100);
  memset(g_settings.QRHostname, 0, sizeof g_settings.QRHostname);
  memcpy(g_settings.QRHostname, host.constData(), (size_t)host.size());
  if (m_auto_start)
    g_settings.Flags |= PREF_QR_AUTO_START;
  else
    g_settings.Flags &= ~PREF_QR_AUTO_START;
  if (m_timeout != g_settings.InternetReceiveTimeout) {
    g_settings.InternetReceiveTimeout = m_timeout;
    if (g_inet_session) g_inet_session->SetInternetReceiveTimeout(m_timeout);
  }
  build_market_hours_map();
  return KvPropertyPage::OnApply();
}

// ---- Display page ---------------------------------------------------------------

CPPPrefDisplay::CPPPrefDisplay() : KvPropertyPage(IDD_PREF_DISPLAY, QStringLiteral("Display")) {
  auto* top = new QVBoxLayout(this);
  auto* prices = new QGroupBox(QStringLiteral("Show Prices in"));
  auto* pl = new QHBoxLayout(prices);
  pl->addWidget(control(this, IDC_DECIMAL, new QRadioButton(QStringLiteral("Decimal"))));
  pl->addWidget(control(this, IDC_FRACTIONS, new QRadioButton(QStringLiteral("Fractions"))));
  AddRadioGroup({IDC_DECIMAL, IDC_FRACTIONS});
  top->addWidget(prices);

  auto* form = new QFormLayout;
  auto* dates = control(this, IDC_DATE_FORMAT, new QComboBox);
  for (const char* p : date_entry_patterns) dates->addItem(QString::fromLatin1(p));
  form->addRow(QStringLiteral("Date Format:"), dates);
  form->addRow(QStringLiteral("Time Offset:"), control(this, IDC_TIME_OFFSET, new QLineEdit));
  top->addLayout(form);

  top->addWidget(
      control(this, IDC_LABELS_LEFT, new QCheckBox(QStringLiteral("Draw Primary Labels on Left"))));
  top->addWidget(control(this, IDC_GRID, new QCheckBox(QStringLiteral("Show Grid Lines"))));
  top->addWidget(
      control(this, IDC_HIDE_DIVIDER, new QCheckBox(QStringLiteral("Hide Day Divider"))));
  top->addWidget(
      control(this, IDC_HEADER, new QCheckBox(QStringLiteral("Show Symbol && Date Header"))));
  top->addWidget(
      control(this, IDC_HIGHLIGHT, new QCheckBox(QStringLiteral("Highlight Incomplete Candles"))));

  auto* candle = new QGroupBox(QStringLiteral("Custom Candle Size (Pixels)"));
  auto* cg = new QGridLayout(candle);
  cg->addWidget(new QLabel(QStringLiteral("Margins Left:")), 0, 0);
  cg->addWidget(control(this, IDC_MARGIN_LEFT, new QLineEdit), 0, 1);
  cg->addWidget(new QLabel(QStringLiteral("Right:")), 0, 2);
  cg->addWidget(control(this, IDC_MARGIN_RIGHT, new QLineEdit), 0, 3);
  cg->addWidget(new QLabel(QStringLiteral("Width: Total:")), 1, 0);
  cg->addWidget(control(this, IDC_WIDTH_TOTAL, new QLineEdit), 1, 1);
  cg->addWidget(new QLabel(QStringLiteral("Wick:")), 1, 2);
  cg->addWidget(control(this, IDC_WIDTH_WICK, new QLineEdit), 1, 3);
  top->addWidget(candle);

  auto* size = new QGroupBox(QStringLiteral("New Chart Candle Size"));
  auto* sl = new QHBoxLayout(size);
  sl->addWidget(control(this, IDC_SIZE_SMALL, new QRadioButton(QStringLiteral("Small"))));
  sl->addWidget(control(this, IDC_SIZE_MEDIUM, new QRadioButton(QStringLiteral("Medium"))));
  sl->addWidget(control(this, IDC_SIZE_LARGE, new QRadioButton(QStringLiteral("Large"))));
  sl->addWidget(control(this, IDC_SIZE_CUSTOM, new QRadioButton(QStringLiteral("Custom"))));
  AddRadioGroup({IDC_SIZE_SMALL, IDC_SIZE_MEDIUM, IDC_SIZE_LARGE, IDC_SIZE_CUSTOM});
  top->addWidget(size);

  auto* defaults = AddControl(IDC_USE_DEFAULTS, new QPushButton(QStringLiteral("Use Defaults")));
  QObject::connect(defaults, &QPushButton::clicked, this, [this] {
    load(g_settings_defaults);
    UpdateData(false);
    SetModified();
  });
  top->addWidget(defaults, 0, Qt::AlignLeft);
  top->addStretch(1);
}

void CPPPrefDisplay::load(const settings_block& b) {
  m_price_format = b.DataFormat ? 1 : 0;
  m_date_format = b.DateStyle >= 0 && b.DateStyle <= 6 ? b.DateStyle : 0;
  m_time_offset = pref_time_text(b.TimeOffset);
  m_label_left = b.PriceLabLeft != 0;
  m_grid = b.ShowGridlines != 0;
  m_hide_divider = (b.Flags & PREF_HIDE_DAY_DIVIDER) != 0;
  m_header = (b.Flags & PREF_SYMBOL_DATE_HEADER) != 0;
  m_highlight = (b.Flags2 & PREF2_HIGHLIGHT_INCOMPLETE) != 0;
  uint32_t c = b.CustomCandle;
  m_total = (int)(c & 0xFF);
  m_left = (int)((c >> 8) & 0x3F);
  m_right = (int)((c >> 14) & 0x3F);
  m_wick = (int)((c >> 26) & 0x3F);
  m_candle_size = (int)((b.Flags & PREF_CANDLE_SIZE_MASK) >> PREF_CANDLE_SIZE_SHIFT);
  if (m_candle_size > 3) m_candle_size = 1;
}

bool CPPPrefDisplay::OnInitDialog() {
  load(g_settings);
  return KvPropertyPage::OnInitDialog();
}

void CPPPrefDisplay::DoDataExchange(KvDataExchange& dx) {
  DDX_Radio(dx, IDC_DECIMAL, m_price_format);
  DDX_CBIndex(dx, IDC_DATE_FORMAT, m_date_format);
  DDX_Text(dx, IDC_TIME_OFFSET, m_time_offset);
  DDX_Check(dx, IDC_LABELS_LEFT, m_label_left);
  DDX_Check(dx, IDC_GRID, m_grid);
  DDX_Check(dx, IDC_HIDE_DIVIDER, m_hide_divider);
  DDX_Check(dx, IDC_HEADER, m_header);
  DDX_Check(dx, IDC_HIGHLIGHT, m_highlight);
  DDX_Text(dx, IDC_MARGIN_LEFT, m_left);
  DDX_Text(dx, IDC_MARGIN_RIGHT, m_right);
  DDX_Text(dx, IDC_WIDTH_TOTAL, m_total);
  DDX_Text(dx, IDC_WIDTH_WICK, m_wick);
  DDX_Radio(dx, IDC_SIZE_SMALL, m_candle_size);
}

bool CPPPrefDisplay::OnCheck() {
  uint32_t candle = 0;
  if (!pack_custom_candle(m_total, m_left, m_right, m_wick, &candle)) {
    refuse("Invalid candle definition");
    return false;
  }
  if (pref_read_time(m_time_offset) > 86399) {
    refuse("Invalid Time Offset");
    return false;
  }
  return true;
}

bool CPPPrefDisplay::OnApply() {
  uint32_t candle = 0;
  if (!OnCheck() || !pack_custom_candle(m_total, m_left, m_right, m_wick, &candle)) return false;
  g_settings.DataFormat = m_price_format == 1 ? 1 : 0;
  g_settings.DateStyle = m_date_format >= 0 && m_date_format <= 6 ? m_date_format : 0;
  g_settings.PriceLabLeft = m_label_left;
  g_settings.ShowGridlines = m_grid;
  auto set = [](uint32_t& word, uint32_t bit, int on) { word = on ? word | bit : word & ~bit; };
  set(g_settings.Flags, PREF_HIDE_DAY_DIVIDER, m_hide_divider);
  set(g_settings.Flags, PREF_SYMBOL_DATE_HEADER, m_header);
  set(g_settings.Flags2, PREF2_HIGHLIGHT_INCOMPLETE, m_highlight);
  g_settings.CustomCandle = candle;
  int size = m_candle_size >= 0 && m_candle_size <= 3 ? m_candle_size : 1;
  g_settings.Flags = (g_settings.Flags & ~PREF_CANDLE_SIZE_MASK) | (uint32_t)size
                                                                       << PREF_CANDLE_SIZE_SHIFT;
  g_settings.TimeOffset = pref_read_time(m_time_offset);
  return KvPropertyPage::OnApply();
}

// ---- Auto Run page --------------------------------------------------------------

CPPPrefAutoRun::CPPPrefAutoRun() : KvPropertyPage(IDD_PREF_AUTORUN, QStringLiteral("Auto Run")) {
  auto* top = new QVBoxLayout(this);
  top->addWidget(control(this, IDC_AUTO_COLLECT,
                         new QCheckBox(QStringLiteral("Automatically Collect Quotes"))));
  auto* box = new QGroupBox(QStringLiteral("Quote Collection Times"));
  auto* g = new QGridLayout(box);
  g->addWidget(new QLabel(QStringLiteral("Start Time (local)")), 0, 1);
  g->addWidget(new QLabel(QStringLiteral("Stop Time (local)")), 0, 2);
  g->addWidget(new QLabel(QStringLiteral("Restart (local)")), 0, 3);
  // Rows Monday first, as a week is read.
  static const int order[7] = {1, 2, 3, 4, 5, 6, 0};
  for (int r = 0; r < 7; r++) {
    int day = order[r];
    int check_id = IDC_DAY_MON + (day == 0 ? 6 : day - 1);
    g->addWidget(
        control(this, check_id, new QCheckBox(QString::fromLatin1(kDayNames[day]).left(3))), r + 1,
        0);
    for (int k = 0; k < 3; k++)
      g->addWidget(control(this, IDC_SUNDAY_START + day * 3 + k, new QLineEdit), r + 1, k + 1);
  }
  top->addWidget(box);
  top->addStretch(1);
}

bool CPPPrefAutoRun::OnInitDialog() {
  for (int b = 0; b < 8; b++) m_days[b] = (g_settings.MktDays >> b) & 1;
  for (int day = 0; day < 7; day++) {
    int check = m_days[day == 0 ? 7 : day];
    for (int k = 0; k < 3; k++) {
      int v = (int32_t)get_le32(g_settings.AutoRun + (day * 3 + k) * 4);
      m_times[day * 3 + k] = k == 0 && !check ? QString() : pref_time_text(v);
    }
  }
  return KvPropertyPage::OnInitDialog();
}

void CPPPrefAutoRun::DoDataExchange(KvDataExchange& dx) {
  DDX_Check(dx, IDC_AUTO_COLLECT, m_days[0]);
  for (int b = 1; b < 8; b++) DDX_Check(dx, IDC_DAY_MON + b - 1, m_days[b]);
  for (int i = 0; i < 21; i++) DDX_Text(dx, IDC_SUNDAY_START + i, m_times[i]);
}

bool CPPPrefAutoRun::OnCheck() {
  for (int day = 0; day < 7; day++) {
    for (int k = 0; k < 3; k++) {
      if (pref_read_time(m_times[day * 3 + k]) > 86399) {
        char text[40];
        snprintf(text, sizeof text, "Invalid time for %s", kDayNames[day]);
        refuse(text);
        return false;
      }
    }
  }
  return true;
}

bool CPPPrefAutoRun::OnApply() {
  if (!OnCheck()) return false;
  int32_t times[21];
  for (int i = 0; i < 21; i++) times[i] = pref_read_time(m_times[i]);
  uint8_t days = 0;
  for (int b = 0; b < 8; b++)
    if (m_days[b]) days |= (uint8_t)(1u << b);
  g_settings.MktDays = days;
  for (int i = 0; i < 21; i++) put_le32(g_settings.AutoRun + i * 4, (uint32_t)times[i]);
  build_market_hours_map();
  return KvPropertyPage::OnApply();
}

// ---- Sounds page ----------------------------------------------------------------

namespace {
enum : int {
  IDC_SOUNDS_ON = 1561,
  IDC_QUIET = 1565,
  IDC_QUIET_FROM = 1509,
  IDC_QUIET_TO = 1566,
  IDC_SOUND_LIST = 1563,
  IDC_SOUND_FILE = 1572,
  IDC_SELECT_SOUND = 1573,
  IDC_DESELECT_SOUND = 1574,
  IDC_BROWSE_SOUND = 1189,
};
const char kNoSound[] = "---none---";
}  // namespace

CPPPrefSounds::CPPPrefSounds() : KvPropertyPage(IDD_PREF_SOUNDS, QStringLiteral("Sounds")) {
  auto* top = new QVBoxLayout(this);
  auto* audio = new QGroupBox(QStringLiteral("Audio Alerts"));
  auto* al = new QVBoxLayout(audio);
  al->addWidget(control(this, IDC_SOUNDS_ON, new QCheckBox(QStringLiteral("Enable"))));
  auto* quiet = new QHBoxLayout;
  quiet->addWidget(control(this, IDC_QUIET, new QCheckBox(QStringLiteral("Suppress Sounds from"))));
  quiet->addWidget(control(this, IDC_QUIET_FROM, new QLineEdit));
  quiet->addWidget(new QLabel(QStringLiteral("to")));
  quiet->addWidget(control(this, IDC_QUIET_TO, new QLineEdit));
  al->addLayout(quiet);
  al->addWidget(new QLabel(QStringLiteral("Sound Names")));
  auto* list = AddControl(IDC_SOUND_LIST, new KvListBox(false));
  QObject::connect(list, &QListWidget::currentRowChanged, this, [this] { selection_changed(); });
  al->addWidget(list);
  auto* file = new QHBoxLayout;
  file->addWidget(new QLabel(QStringLiteral("Sound File")));
  auto* edit = AddControl(IDC_SOUND_FILE, new QLineEdit);
  QObject::connect(edit, &QLineEdit::textEdited, this,
                   [this] { EnableDlgItem(IDC_SELECT_SOUND, true); });
  file->addWidget(edit);
  al->addLayout(file);
  auto* buttons = new QHBoxLayout;
  auto* sel = AddControl(IDC_SELECT_SOUND, new QPushButton(QStringLiteral("Select Sound")));
  auto* desel = AddControl(IDC_DESELECT_SOUND, new QPushButton(QStringLiteral("Deselect Sound")));
  auto* browse_button = AddControl(IDC_BROWSE_SOUND, new QPushButton(QStringLiteral("Browse...")));
  QObject::connect(sel, &QPushButton::clicked, this, [this] { select_sound(); });
  QObject::connect(desel, &QPushButton::clicked, this, [this] { deselect_sound(); });
  QObject::connect(browse_button, &QPushButton::clicked, this, [this] { browse(); });
  buttons->addWidget(sel);
  buttons->addWidget(desel);
  buttons->addWidget(browse_button);
  buttons->addStretch(1);
  al->addLayout(buttons);
  top->addWidget(audio);
}

QString CPPPrefSounds::shown_file(int i) const {
  if (i < 0 || i >= m_count) return QString();
  if (!m_chosen[size_t(i)].isEmpty()) return m_chosen[size_t(i)];
  const std::string& f = m_configured[size_t(i)];
  if (f == kNoSound || f.find_first_of("/\\") != std::string::npos)
    return QString::fromStdString(f);
  char path[KV_PATH_MAX * 2];
  if (!data_folder_path(path, sizeof path, KV_DIR_SOUNDS, f.c_str()))
    return QString::fromStdString(f);
  return QString::fromUtf8(path);
}

void CPPPrefSounds::entry_text(int i) {
  auto* list = Item<QListWidget>(IDC_SOUND_LIST);
  QString file = shown_file(i);
  int slash =
      (int)std::max(file.lastIndexOf(QLatin1Char('/')), file.lastIndexOf(QLatin1Char('\\')));
  QString text = QString::fromStdString(m_events[size_t(i)]) + QStringLiteral(" [") +
                 file.mid(slash + 1) + QStringLiteral("]");
  if (QListWidgetItem* item = list->item(i))
    item->setText(text);
  else
    list->addItem(text);
}

void CPPPrefSounds::selection_changed() {
  int i = Item<QListWidget>(IDC_SOUND_LIST)->currentRow();
  QString file = shown_file(i);
  SetDlgItemText(IDC_SOUND_FILE, file);
  EnableDlgItem(IDC_SELECT_SOUND, false);
  EnableDlgItem(IDC_DESELECT_SOUND, i >= 0 && file != QLatin1String(kNoSound));
}

void CPPPrefSounds::select_sound() {
  int i = Item<QListWidget>(IDC_SOUND_LIST)->currentRow();
  QString file = GetDlgItemText(IDC_SOUND_FILE).trimmed();
  if (i < 0 || file.isEmpty()) return;
  m_chosen[size_t(i)] = file;
  entry_text(i);
  EnableDlgItem(IDC_SELECT_SOUND, false);
  EnableDlgItem(IDC_DESELECT_SOUND, file != QLatin1String(kNoSound));
  m_sounds_changed = true;
  SetModified();
}

void CPPPrefSounds::deselect_sound() {
  int i = Item<QListWidget>(IDC_SOUND_LIST)->currentRow();
  if (i < 0) return;
  m_chosen[size_t(i)] = QLatin1String(kNoSound);
  entry_text(i);
  SetDlgItemText(IDC_SOUND_FILE, QLatin1String(kNoSound));
  EnableDlgItem(IDC_DESELECT_SOUND, false);
  m_sounds_changed = true;
  SetModified();
}

void CPPPrefSounds::browse() {
  char dir[KV_PATH_MAX * 2];
  data_folder_path(dir, sizeof dir, KV_DIR_SOUNDS, nullptr);
  kv_file_dialog_request req{};
  req.save = 0;
  req.initial_dir = dir;
  req.filter = "Sound Files (*.wav)|*.wav||";
  char out[KV_PATH_MAX * 2];
  int picked = kv_file_dialog(&req, out, sizeof out);
  kv_data_root_current();
  if (!picked) return;
  QString chosen = QString::fromUtf8(out);
  if (chosen == GetDlgItemText(IDC_SOUND_FILE)) return;
  SetDlgItemText(IDC_SOUND_FILE, chosen);
  EnableDlgItem(IDC_SELECT_SOUND, true);
}

bool CPPPrefSounds::OnInitDialog() {
  char** names = nullptr;
  const char* const* events = nullptr;
  m_count = get_sound_names(&names, &events);
  if (m_count > 20) m_count = 20;
  m_configured.clear();
  m_events.clear();
  for (int i = 0; i < m_count; i++) {
    m_configured.emplace_back(names && names[i] ? names[i] : kNoSound);
    m_events.emplace_back(events && events[i] ? events[i] : "");
  }
  m_chosen.assign(size_t(m_count), QString());
  m_sounds_on = (g_settings.Flags2 & PREF2_ALERT_SOUNDS) != 0;
  m_quiet = (g_settings.Flags1 & PREF1_SOUNDS_QUIET_HOURS) != 0;
  m_from = g_settings.SoundsQuietStart ? pref_time_text(g_settings.SoundsQuietStart) : QString();
  m_to = g_settings.SoundsQuietStop ? pref_time_text(g_settings.SoundsQuietStop) : QString();
  bool ok = KvPropertyPage::OnInitDialog();
  for (int i = 0; i < m_count; i++) entry_text(i);
  if (m_count) Item<QListWidget>(IDC_SOUND_LIST)->setCurrentRow(0);
  selection_changed();
  return ok;
}

void CPPPrefSounds::DoDataExchange(KvDataExchange& dx) {
  DDX_Check(dx, IDC_SOUNDS_ON, m_sounds_on);
  DDX_Check(dx, IDC_QUIET, m_quiet);
  DDX_Text(dx, IDC_QUIET_FROM, m_from);
  DDX_Text(dx, IDC_QUIET_TO, m_to);
}

bool CPPPrefSounds::OnCheck() {
  if (IsModified() && m_quiet && (m_from.trimmed().isEmpty() || m_to.trimmed().isEmpty())) {
    kv_message_box("Suppress Sounds requires start and stop time", "User Preferences", MB_OKCANCEL);
    return false;
  }
  return true;
}

bool CPPPrefSounds::OnApply() {
  if (!IsModified()) return KvPropertyPage::OnApply();
  if (!OnCheck()) return false;
  if (m_sounds_changed) {
    std::vector<std::string> files;
    for (int i = 0; i < m_count; i++)
      files.push_back(m_chosen[size_t(i)].isEmpty() ? m_configured[size_t(i)]
                                                    : m_chosen[size_t(i)].toStdString());
    std::vector<const char*> names;
    for (const std::string& f : files) names.push_back(f.c_str());
    if (!save_sounds_cfg(names.data(), m_count)) {
      refuse("The sound files could not be saved");
      return false;
    }
    m_sounds_changed = false;
  }
  auto set = [](uint32_t& word, uint32_t bit, int on) { word = on ? word | bit : word & ~bit; };
  set(g_settings.Flags2, PREF2_ALERT_SOUNDS, m_sounds_on);
  set(g_settings.Flags1, PREF1_SOUNDS_QUIET_HOURS, m_quiet);
  int from = pref_read_time(m_from), to = pref_read_time(m_to);
  g_settings.SoundsQuietStart = from < 0 ? 0 : from;
  g_settings.SoundsQuietStop = to < 0 ? 0 : to;
  free_sounds_cfg();
  load_sounds_cfg();  // the quiet-minute map from the new hours
  return KvPropertyPage::OnApply();
}

// ---- Draw page ------------------------------------------------------------------

namespace {

enum : int {
  IDC_WIDE_WIDTH = 1217,
  IDC_LINE_STYLE = 33243,
  IDC_LINE_COLOR = 1022,
  IDC_LINE_SWATCH = 1664,
  IDC_CHANNEL_DEVS = 1538,
  IDC_USE_STYLE = 1662,
  IDC_USE_COLOR = 1661,
  IDC_FEEDBACK_COLOR = 1667,
  IDC_FEEDBACK_SWATCH = 1089,
  IDC_SNAP_FIRST = 1700,  // Open, High, Low, Close, VWAP
  IDC_DRAW_DEFAULTS = 1666,
  IDC_CUSTOM1_PERCENT = 1657,
  IDC_CUSTOM2_PERCENT = 1658,
};

struct level_ids {
  const char* label;
  int check, style, color, swatch;
};
const level_ids kLevels[DRAW_LEVEL_COUNT] = {
    {"23.6%", 1648, 1027, 1023, 1079},    {"38.2%", 1649, 1028, 1024, 1080},
    {"50%", 1650, 1034, 1025, 1081},      {"61.8%", 1651, 1035, 1032, 1082},
    {"76.4%", 1652, 1036, 1033, 1083},    {"150%", 1663, 1029, 1037, 1084},
    {"200%", 1653, 1030, 1038, 1086},     {"Custom 1", 1655, 1031, 1039, 1087},
    {"Custom 2", 1656, 1041, 1040, 1088},
};
const char* const kSnapNames[5] = {"Open", "High", "Low", "Close", "VWAP"};

// A colour (0x00BBGGRR) as the picture of a swatch.
QPixmap swatch_picture(uint32_t c) {
  QPixmap p(28, 14);
  p.fill(QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)));
  return p;
}

}  // namespace

CPPPrefDraw::CPPPrefDraw() : KvPropertyPage(IDD_PREF_DRAW, QStringLiteral("Draw")) {
  auto* top = new QVBoxLayout(this);
  auto* lines = new QGridLayout;
  lines->addWidget(new QLabel(QStringLiteral("Wide Line Width:")), 0, 0);
  lines->addWidget(control(this, IDC_WIDE_WIDTH, new QLineEdit), 0, 1);
  lines->addWidget(new QLabel(QStringLiteral("Channel Line Std. Dev.:")), 0, 2);
  lines->addWidget(control(this, IDC_CHANNEL_DEVS, new QLineEdit), 0, 3);
  lines->addWidget(new QLabel(QStringLiteral("Default Line:")), 1, 0);
  auto* style = control(this, IDC_LINE_STYLE, new CBitmapComboBox);
  style->LoadLineStyles(m_pictures[DRAW_LEVEL_COUNT]);
  lines->addWidget(style, 1, 1);
  auto* color = control(this, IDC_LINE_COLOR, new QPushButton(QStringLiteral("Color...")));
  QObject::connect(color, &QPushButton::clicked, this, [this] { choose_line_color(); });
  lines->addWidget(color, 1, 2);
  lines->addWidget(AddControl(IDC_LINE_SWATCH, new QLabel), 1, 3);
  auto* feedback =
      control(this, IDC_FEEDBACK_COLOR, new QPushButton(QStringLiteral("Feedback Color...")));
  QObject::connect(feedback, &QPushButton::clicked, this, [this] { choose_feedback_color(); });
  lines->addWidget(feedback, 2, 2);
  lines->addWidget(AddControl(IDC_FEEDBACK_SWATCH, new QLabel), 2, 3);
  top->addLayout(lines);

  auto* fib = new QGroupBox(QStringLiteral("Fibonacci Levels"));
  auto* fg = new QGridLayout(fib);
  fg->addWidget(control(this, IDC_USE_STYLE, new QCheckBox(QStringLiteral("Use Line Style"))), 0,
                0);
  fg->addWidget(control(this, IDC_USE_COLOR, new QCheckBox(QStringLiteral("Use Color"))), 0, 1);
  for (int i = 0; i < DRAW_LEVEL_COUNT; i++) {
    const level_ids& l = kLevels[i];
    fg->addWidget(control(this, l.check, new QCheckBox(QString::fromLatin1(l.label))), i + 1, 0);
    if (i >= 7)
      fg->addWidget(
          control(this, i == 7 ? IDC_CUSTOM1_PERCENT : IDC_CUSTOM2_PERCENT, new QLineEdit), i + 1,
          1);
    auto* ls = control(this, l.style, new CBitmapComboBox);
    ls->LoadLineStyles(m_pictures[i]);
    fg->addWidget(ls, i + 1, 2);
    auto* c = control(this, l.color, new QPushButton(QStringLiteral("Color...")));
    QObject::connect(c, &QPushButton::clicked, this, [this, i] { choose_level_color(i); });
    fg->addWidget(c, i + 1, 3);
    fg->addWidget(AddControl(l.swatch, new QLabel), i + 1, 4);
  }
  top->addWidget(fib);

  auto* snap = new QGroupBox(QStringLiteral("Snap To Price"));
  auto* sl = new QHBoxLayout(snap);
  for (int b = 0; b < 5; b++)
    sl->addWidget(
        control(this, IDC_SNAP_FIRST + b, new QCheckBox(QString::fromLatin1(kSnapNames[b]))));
  top->addWidget(snap);

  auto* defaults = AddControl(IDC_DRAW_DEFAULTS, new QPushButton(QStringLiteral("Use Defaults")));
  QObject::connect(defaults, &QPushButton::clicked, this, [this] {
    draw_defaults d;
    draw_defaults_builtin(&d);
    load(d);
    UpdateData(false);
    paint_swatches();
    SetModified();
  });
  top->addWidget(defaults, 0, Qt::AlignLeft);
  top->addStretch(1);
}

void CPPPrefDraw::load(const draw_defaults& d) {
  m_dd = d;
  // Without Use Color every level draws in the line colour.
  if (!d.use_color)
    for (draw_level& l : m_dd.levels) l.color = d.line_color;
  m_wide = QString::number(d.wide_width);
  m_channel = QString::asprintf("%.2f", (double)d.channel_devs);
  m_use_style = d.use_style != 0;
  m_use_color = d.use_color != 0;
  m_line_style = d.line_style >= 0 && d.line_style <= 9 ? d.line_style : 0;
  for (int i = 0; i < DRAW_LEVEL_COUNT; i++) {
    m_enabled[i] = d.levels[i].enabled != 0;
    m_styles[i] = d.levels[i].style >= 0 && d.levels[i].style <= 9 ? d.levels[i].style : 0;
  }
  for (int k = 0; k < 2; k++)
    m_custom[k] = QString::asprintf("%.1f%%", (double)d.levels[7 + k].fraction * 100.0);
  for (int b = 0; b < 5; b++) m_snap[b] = (d.snap >> b) & 1;
}

void CPPPrefDraw::paint_swatches() {
  auto paint = [this](int id, uint32_t c) {
    if (auto* l = Item<QLabel>(id)) l->setPixmap(swatch_picture(c));
  };
  paint(IDC_LINE_SWATCH, m_dd.line_color);
  paint(IDC_FEEDBACK_SWATCH, m_dd.feedback_color);
  for (int i = 0; i < DRAW_LEVEL_COUNT; i++) paint(kLevels[i].swatch, m_dd.levels[i].color);
}

bool CPPPrefDraw::OnInitDialog() {
  draw_defaults d;
  draw_defaults_decode(g_settings.PrefDrawDef, &d);
  load(d);
  bool ok = KvPropertyPage::OnInitDialog();
  paint_swatches();
  return ok;
}

void CPPPrefDraw::DoDataExchange(KvDataExchange& dx) {
  DDX_Text(dx, IDC_WIDE_WIDTH, m_wide);
  DDX_Text(dx, IDC_CHANNEL_DEVS, m_channel);
  DDX_CBIndex(dx, IDC_LINE_STYLE, m_line_style);
  DDX_Check(dx, IDC_USE_STYLE, m_use_style);
  DDX_Check(dx, IDC_USE_COLOR, m_use_color);
  for (int i = 0; i < DRAW_LEVEL_COUNT; i++) {
    DDX_Check(dx, kLevels[i].check, m_enabled[i]);
    DDX_CBIndex(dx, kLevels[i].style, m_styles[i]);
  }
  DDX_Text(dx, IDC_CUSTOM1_PERCENT, m_custom[0]);
  DDX_Text(dx, IDC_CUSTOM2_PERCENT, m_custom[1]);
  for (int b = 0; b < 5; b++) DDX_Check(dx, IDC_SNAP_FIRST + b, m_snap[b]);
}

void CPPPrefDraw::choose_line_color() {
  COLORREF c = m_dd.line_color;
  if (!kv_choose_color(this, &c, g_settings.CustomColors)) return;
  m_dd.line_color = c;
  UpdateData(true);
  if (!m_use_color)
    for (draw_level& l : m_dd.levels) l.color = c;
  paint_swatches();
  SetModified();
}

void CPPPrefDraw::choose_level_color(int level) {
  UpdateData(true);
  COLORREF c = m_use_color ? m_dd.levels[level].color : m_dd.line_color;
  if (!kv_choose_color(this, &c, g_settings.CustomColors)) return;
  m_dd.levels[level].color = c;
  paint_swatches();
  SetModified();
}

void CPPPrefDraw::choose_feedback_color() {
  COLORREF c = m_dd.feedback_color;
  if (!kv_choose_color(this, &c, g_settings.CustomColors)) return;
  m_dd.feedback_color = c;
  paint_swatches();
  SetModified();
}

// The page's numbers read back; false (with the message shown) when one is
// not a number.
bool CPPPrefDraw::read_numbers(int* wide, double* devs, double custom[2]) {
  if (!kv_parse_int(m_wide, wide)) {
    refuse("Please enter an integer.");
    return false;
  }
  if (!kv_parse_double(m_channel, devs)) {
    refuse("Please enter a number.");
    return false;
  }
  for (int k = 0; k < 2; k++) {
    custom[k] = 0;
    QString t = m_custom[k].trimmed();
    if (t.endsWith(QLatin1Char('%'))) t.chop(1);
    if (t.trimmed().isEmpty()) continue;
    if (!kv_parse_double(t, &custom[k])) {
      refuse("Please enter a number.");
      return false;
    }
  }
  return true;
}

bool CPPPrefDraw::OnCheck() {
  int wide = 0;
  double devs = 0, custom[2] = {};
  return !IsModified() || read_numbers(&wide, &devs, custom);
}

bool CPPPrefDraw::OnApply() {
  if (!IsModified()) return KvPropertyPage::OnApply();
  int wide = 0;
  double devs = 0, custom[2] = {};
  if (!read_numbers(&wide, &devs, custom)) return false;
  draw_defaults d = m_dd;
  d.wide_width = wide <= 1 ? 2 : wide;
  d.channel_devs = (float)devs;
  d.line_style = m_line_style;
  d.use_style = m_use_style;
  d.use_color = m_use_color;
  for (int i = 0; i < DRAW_LEVEL_COUNT; i++) {
    d.levels[i].enabled = m_enabled[i];
    d.levels[i].style = m_styles[i];
  }
  d.levels[7].fraction = (float)(custom[0] / 100.0);
  d.levels[8].fraction = (float)(custom[1] / 100.0);
  d.snap = 0;
  for (int b = 0; b < 5; b++)
    if (m_snap[b]) d.snap |= 1u << b;
  draw_defaults_encode(&d, g_settings.PrefDrawDef);
  return KvPropertyPage::OnApply();
}

// ---- Misc page ------------------------------------------------------------------

CPPPrefMisc::CPPPrefMisc() : KvPropertyPage(IDD_PREF_MISC, QStringLiteral("Misc")) {
  auto* top = new QVBoxLayout(this);
  auto* spike = new QGroupBox(QStringLiteral("Spike Filtering"));
  auto* sf = new QFormLayout(spike);
  sf->addRow(control(this, IDC_SPIKE_ENABLE, new QCheckBox(QStringLiteral("Enable"))));
  auto* width = control(this, IDC_FILTER_WIDTH, new QLineEdit);
  auto* depth = control(this, IDC_FILTER_DEPTH, new QLineEdit);
  sf->addRow(QStringLiteral("Filter Width:"), width);
  sf->addRow(QStringLiteral("Filter Depth:"), depth);
  QObject::connect(width, &QLineEdit::textEdited, this, [this] {
    check_range(IDC_FILTER_WIDTH, 15, (int)((g_settings.Flags >> PREF_FILTER_WIDTH_SHIFT) & 0xF));
  });
  QObject::connect(depth, &QLineEdit::textEdited, this, [this] {
    check_range(IDC_FILTER_DEPTH, 4, (int)((g_settings.Flags >> PREF_FILTER_DEPTH_SHIFT) & 0x7));
  });
  top->addWidget(spike);

  auto* router = new QGroupBox(QStringLiteral("MT Router Options"));
  (new QVBoxLayout(router))
      ->addWidget(
          control(this, IDC_STREAM_BACKFILL, new QCheckBox(QStringLiteral("Streaming Backfill"))));
  top->addWidget(router);
  auto* clock = new QGroupBox(QStringLiteral("System Clock"));
  (new QVBoxLayout(clock))
      ->addWidget(
          control(this, IDC_NO_CLOCK_SYNC, new QCheckBox(QStringLiteral("No Synchronization"))));
  top->addWidget(clock);

  auto* tws = new QGroupBox(QStringLiteral("IB TWS Options"));
  auto* tf = new QFormLayout(tws);
  tf->addRow(control(this, IDC_AUTO_START_TWS, new QCheckBox(QStringLiteral("Auto Start TWS"))));
  tf->addRow(control(this, IDC_ADVISOR, new QCheckBox(QStringLiteral("Advisor Account"))));
  auto* account = control(this, IDC_ACCOUNT, new QLineEdit);
  account->setMaxLength(64);
  tf->addRow(QStringLiteral("Account:"), account);
  auto* user = control(this, IDC_USER_NAME, new QLineEdit);
  user->setMaxLength(32);
  tf->addRow(QStringLiteral("User Name:"), user);
  auto* password = control(this, IDC_PASSWORD, new QLineEdit);
  password->setMaxLength(32);
  password->setEchoMode(QLineEdit::Password);
  tf->addRow(QStringLiteral("Password:"), password);
  tf->addRow(QStringLiteral("Client Id:"), control(this, IDC_CLIENT_ID, new QLineEdit));
  tf->addRow(QStringLiteral("Port Number:"), control(this, IDC_PORT, new QLineEdit));
  auto* trading =
      control(this, IDC_ENABLE_TRADING, new QCheckBox(QStringLiteral("Enable Trading")));
  QObject::connect(trading, &QCheckBox::clicked, this, [this] { trading_clicked(); });
  tf->addRow(trading);
  tf->addRow(control(this, IDC_MARKET_DEPTH, new QCheckBox(QStringLiteral("Use Market Depth"))));
  top->addWidget(tws);

  auto* inhibit = new QGroupBox(QStringLiteral("Inhibit MktData Request"));
  auto* il = new QHBoxLayout(inhibit);
  il->addWidget(control(this, IDC_INHIBIT_OPTIONS, new QCheckBox(QStringLiteral("Options"))));
  il->addWidget(control(this, IDC_INHIBIT_SFF, new QCheckBox(QStringLiteral("SFFs"))));
  il->addWidget(control(this, IDC_INHIBIT_BAG, new QCheckBox(QStringLiteral("Bag"))));
  il->addWidget(control(this, IDC_INHIBIT_CASH, new QCheckBox(QStringLiteral("Cash"))));
  top->addWidget(inhibit);
  top->addStretch(1);
}

void CPPPrefMisc::check_range(int id, int max, int stored) {
  int v = 0;
  QString text = GetDlgItemText(id);
  if (text.trimmed().isEmpty()) return;  // being retyped
  if (kv_parse_int(text, &v) && v >= 0 && v <= max) return;
  char message[64];
  snprintf(message, sizeof message, "Value out of Range, Range is 0 to %d", max);
  refuse(message);
  SetDlgItemText(id, QString::number(stored));
}

void CPPPrefMisc::trading_clicked() {
  auto* check = Item<QCheckBox>(IDC_ENABLE_TRADING);
  if (!check || !check->isChecked() || has_router_capability(ROUTER_CAN_TRADE)) return;
  kv_message_box("Router does not support trading", "User Preferences", MB_OK | MB_ICONERROR);
  check->setChecked(false);
}

bool CPPPrefMisc::OnInitDialog() {
  uint32_t f = g_settings.Flags, f1 = g_settings.Flags1;
  m_spike = (f & PREF_SPIKE_FILTER) != 0;
  m_width = (int)((f >> PREF_FILTER_WIDTH_SHIFT) & 0xF);
  m_depth = (int)((f >> PREF_FILTER_DEPTH_SHIFT) & 0x7);
  m_backfill = (f & PREF_STREAM_BACKFILL) != 0;
  m_no_sync = (f & PREF_NO_CLOCK_SYNC) != 0;
  m_auto_tws = (f1 & PREF1_AUTO_START_TWS) != 0;
  m_advisor = (f1 & PREF1_ADVISOR) != 0;
  m_trading = (f1 & PREF1_TRADING) != 0;
  m_depth_data = (f1 & PREF1_MARKET_DEPTH) != 0;
  for (int i = 0; i < 4; i++) m_inhibit[i] = (f1 >> (PREF1_INHIBIT_FIRST + i)) & 1;
  auto text = [](const char* s, size_t n) { return QString::fromLatin1(s, (int)strnlen(s, n)); };
  m_account = text(g_settings.TWSAccountName, sizeof g_settings.TWSAccountName);
  m_user = text(g_settings.TWSUsername, sizeof g_settings.TWSUsername);
  m_password = text(g_settings.TWSPassword, sizeof g_settings.TWSPassword);
  m_client_id = g_settings.QRClientId;
  m_port = g_settings.QRPortNum;
  return KvPropertyPage::OnInitDialog();
}

void CPPPrefMisc::DoDataExchange(KvDataExchange& dx) {
  DDX_Check(dx, IDC_SPIKE_ENABLE, m_spike);
  DDX_Text(dx, IDC_FILTER_WIDTH, m_width);
  DDV_MinMaxInt(dx, m_width, 0, 15);
  DDX_Text(dx, IDC_FILTER_DEPTH, m_depth);
  DDV_MinMaxInt(dx, m_depth, 0, 4);
  DDX_Check(dx, IDC_STREAM_BACKFILL, m_backfill);
  DDX_Check(dx, IDC_NO_CLOCK_SYNC, m_no_sync);
  DDX_Check(dx, IDC_AUTO_START_TWS, m_auto_tws);
  DDX_Check(dx, IDC_ADVISOR, m_advisor);
  DDX_Text(dx, IDC_ACCOUNT, m_account);
  DDV_MaxChars(dx, m_account, 64);
  DDX_Text(dx, IDC_USER_NAME, m_user);
  DDV_MaxChars(dx, m_user, 32);
  DDX_Text(dx, IDC_PASSWORD, m_password);
  DDV_MaxChars(dx, m_password, 32);
  DDX_Text(dx, IDC_CLIENT_ID, m_client_id);
  DDX_Text(dx, IDC_PORT, m_port);
  DDX_Check(dx, IDC_ENABLE_TRADING, m_trading);
  DDX_Check(dx, IDC_MARKET_DEPTH, m_depth_data);
  DDX_Check(dx, IDC_INHIBIT_OPTIONS, m_inhibit[0]);
  DDX_Check(dx, IDC_INHIBIT_SFF, m_inhibit[1]);
  DDX_Check(dx, IDC_INHIBIT_BAG, m_inhibit[2]);
  DDX_Check(dx, IDC_INHIBIT_CASH, m_inhibit[3]);
}

bool CPPPrefMisc::OnApply() {
  auto set = [](uint32_t& word, uint32_t bit, int on) { word = on ? word | bit : word & ~bit; };
  uint32_t f = g_settings.Flags, f1 = g_settings.Flags1;
  set(f, PREF_SPIKE_FILTER, m_spike);
  f = (f & ~(0xFu << PREF_FILTER_WIDTH_SHIFT)) | (uint32_t)(m_width & 0xF)
                                                     << PREF_FILTER_WIDTH_SHIFT;
  f = (f & ~(0x7u << PREF_FILTER_DEPTH_SHIFT)) | (uint32_t)(m_depth & 0x7)
                                                     << PREF_FILTER_DEPTH_SHIFT;
  set(f, PREF_STREAM_BACKFILL, m_backfill);
  set(f, PREF_NO_CLOCK_SYNC, m_no_sync);
  set(f1, PREF1_AUTO_START_TWS, m_auto_tws);
  set(f1, PREF1_ADVISOR, m_advisor);
  set(f1, PREF1_TRADING, m_trading);
  set(f1, PREF1_MARKET_DEPTH, m_depth_data);
  for (int i = 0; i < 4; i++) set(f1, 1u << (PREF1_INHIBIT_FIRST + i), m_inhibit[i]);
  g_settings.Flags = f;
  g_settings.Flags1 = f1;
  auto store = [](char* dst, size_t size, const QString& value) {
    QByteArray b = value.toLatin1().left((int)size - 1);
    memset(dst, 0, size);
    memcpy(dst, b.constData(), (size_t)b.size());
  };
  store(g_settings.TWSAccountName, sizeof g_settings.TWSAccountName, m_account);
  store(g_settings.TWSUsername, sizeof g_settings.TWSUsername, m_user);
  store(g_settings.TWSPassword, sizeof g_settings.TWSPassword, m_password);
  g_settings.QRClientId = m_client_id;
  g_settings.QRPortNum = m_port;
  return KvPropertyPage::OnApply();
}

// ---- the sheet ------------------------------------------------------------------

CPSUserPrefDlg::CPSUserPrefDlg(QWidget* parent, int start_page)
    : KvPropertySheet(QStringLiteral("User Preferences"), parent, start_page) {
  AddPage(&m_data);
  AddPage(&m_display);
  AddPage(&m_autorun);
  AddPage(&m_sounds);
  AddPage(&m_draw);
  AddPage(&m_misc);
}
