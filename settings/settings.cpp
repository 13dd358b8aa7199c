// The global settings record and its defaults block.
#include "settings/settings.h"

#include <cstring>

AppSettings g_settings;

int (*g_move_data_directories)(const char *old_root, const char *new_root);

int32_t &settings_source(settings_block &b, int cls) {
  switch (cls) {
    case SRC_DAILY:
      return b.DailySource;
    case SRC_WEEKLY:
      return b.WeeklySource;
    case SRC_MONTHLY:
      return b.MonthlySource;
    case SRC_MULTIQUOTE:
      return b.MultiQuoteSource;
    default:
      return b.LiveSource;
  }
}

void init_settings_defaults(void) {
  settings_block &d = g_settings.defaults;
  memset(&d, 0, sizeof d);
  d.ShowGridlines = 1;
  d.KeepExtMktHoursData = 0;
  d.KeepIntradayData = 1;
  d.ContUpdateDaily = 1;
  d.CustomCandle = 0x04304107;
  d.StartDateDaily = 20000103;
  d.StartDateWeekly = 19900102;
  d.StartDateMonthly = 19800102;
  d.KeepNumDays1Min = 10;
  d.KeepNumDaysTick = 2;
  d.KeepNumDaysVolume = 14;
  d.QuoteInterval = 5000;
  d.InternetReceiveTimeout = 5000;
}

namespace {
struct defaults_init {
  defaults_init() {
    init_settings_defaults();
    reset_settings();
  }
} defaults_init_once;
}  // namespace

void reset_settings(void) {
  settings_block saved_defaults = g_settings.defaults;
  memset(&g_settings, 0, sizeof g_settings);
  g_settings.defaults = saved_defaults;
  AppSettings &s = g_settings;
  s.Flags2 = 0xFFFFFFFFu;
  s.ShowGridlines = 1;
  s.KeepIntradayData = 1;
  s.ContUpdateDaily = 1;
  s.CustomCandle = 0x04304107;
  s.StartDateDaily = 20000103;
  s.StartDateWeekly = 19900102;
  s.StartDateMonthly = 19800102;
  s.MktDays = 62;
  s.KeepNumDays1Min = 10;
  s.KeepNumDaysTick = 2;
  s.KeepNumDaysVolume = 14;
  s.QuoteInterval = 5000;
  for (uint32_t &c : s.CustomColors) c = 0xFFFFFF;
  s.ExpDataFmt = 2;
  strcpy(s.ExpFileExt, ".csv");
  strcpy(s.QRHostname, "127.0.0.1");
  s.QRPortNum = 7496;
  s.InternetReceiveTimeout = 5000;
  s.placement.show = 1;
  s.ToolBar = s.PlaybackBar = s.StatusBar = s.DrawBar = 1;
}
