// Global settings record: every user preference and path of the program.
//
// `g_settings` holds the current values (loaded from the profile section
// "Settings1" by LoadStartupSettings, written back by SaveSettings; both in
// shell/core/settingsio.h, above the data code that reads the record);
// `g_settings_defaults` is a second block of the same layout holding the
// defaults the preference pages reset fields from.  Each field is named by
// its "Settings1" value name; fields that are not stored carry their own name.
//
// The program-wide global names (`g_pref_flags`, `g_data_root`, ...) are kept as
// references into the current block so code can use either spelling.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/datadirs.h"

enum { KV_PATH_MAX = 260 };

// One block of settings; the current block and the defaults block share it.
struct settings_block {
  uint32_t Flags;         // preference bits; bits 5-11 (0xFE0) run-time state, cleared at load
  uint32_t Flags1;        // 0x08 trading enabled, 0x800 advisor-account bar
  uint32_t Flags2;        // further preference bits
  int32_t AutoUpdate;     // update charts automatically; always saved as 0
  int32_t ContUpdate;     // continuous quote collection; always saved as 0
  int32_t ShowGridlines;  // draw grid lines
  int32_t KeepExtMktHoursData;  // keep bars outside regular market hours
  int32_t KeepIntradayData;     // keep intraday bars in files
  int32_t ContUpdateDaily;      // update daily charts from live quotes
  int32_t DateStyle;            // date display format index (not stored)
  char DataRoot[KV_PATH_MAX];   // data root; "Install"/"Directory"
  int32_t DataFormat;           // 0 decimal, 1 fractions
  int32_t PriceLabLeft;         // nonzero: one price-label column on the left
  uint32_t CustomCandle;        // packed candle definition
  int32_t StartDateDaily;       // yyyymmdd first date loaded for daily charts
  int32_t StartDateWeekly;
  int32_t StartDateMonthly;
  uint8_t MktDays;            // bit 0 collect automatically, bits 1-7 Monday..Sunday
  int32_t KeepNumDays1Min;    // days of 1-minute data kept
  int32_t KeepNumDaysTick;    // days of tick data kept
  int32_t KeepNumDaysVolume;  // days of volume-bar data kept
  int32_t QuoteInterval;      // quote poll interval, milliseconds
  uint32_t CustomColors[16];  // "CustomColors"/"Color%02d", 0x00BBGGRR
  int32_t LiveSource;         // indexes of the chosen data sources
  int32_t DailySource;
  int32_t WeeklySource;
  int32_t MonthlySource;
  int32_t MultiQuoteSource;
  int32_t ExpDataFmt;        // text export format
  int32_t SoundsQuietStart;  // start of the time without alert sounds
  int32_t SoundsQuietStop;   // end of the time without alert sounds
  char ExpFileExt[10];       // extension of export files
  char ExpFileHdr[100];      // header line of export files
  char SLFTitle[100];        // name of the current symbol list file
  char AliasTitle[100];      // name of the alias data file
  char QRHostname[101];      // host of the quote relay or TWS connection
  char TWSAccountName[65];
  char TWSUsername[33];  // stored scrambled
  char TWSPassword[33];  // stored scrambled
  int32_t QRClientId;
  int32_t QRPortNum;
  int32_t TimeOffset;              // seconds added to trade times for display
  int32_t InternetReceiveTimeout;  // web session receive timeout, milliseconds
  // Data folders.  The plain names are relative to the data root; the last
  // three are full paths.  Use data_folder_path() to build file paths.
  char DataDir[KV_PATH_MAX];      // "DATA"
  char HdataDir[KV_PATH_MAX];     // "HDATA"
  char SlfDir[KV_PATH_MAX];       // "SLF"
  char AliasDir[KV_PATH_MAX];     // "ALIAS"
  char ConfigDir[KV_PATH_MAX];    // "CONFIG"
  char SoundsDir[KV_PATH_MAX];    // "SOUNDS"
  char FavoriteDir[KV_PATH_MAX];  // "FAVORITE"
  char HelpDir[KV_PATH_MAX];      // root + "/HELP"
  char ImportDir[KV_PATH_MAX];    // "IMPORT"
  char ExportDir[KV_PATH_MAX];    // "EXPORT"
  char StudyLibDir[KV_PATH_MAX];  // root + "/FERLUMES"
  char AccountsDir[KV_PATH_MAX];  // root + "/ACCOUNTS"
};

// Main window placement: the normal rectangle (all 0 = none saved) and the
// show state (SW_* value, 1 = normal).
struct window_placement {
  int32_t left, top, right, bottom;
  int32_t show;
};

enum { DRAW_DEFAULTS_SIZE = 224, AUTORUN_SIZE = 84, PLAYBACK_DATA_SIZE = 84 };

struct AppSettings : settings_block {  // the current values
  window_placement placement;
  int32_t ToolBar, PlaybackBar, StatusBar, DrawBar;  // bar flags, 1 = shown
  char Pages[KV_PATH_MAX];                           // path of the pages file
  char Import[KV_PATH_MAX];                          // path of the import list
  char DefaultFavorite[KV_PATH_MAX];                 // path of the default chart favourite
  // Binary values of "Settings1", kept as their stored bytes.
  uint8_t PrefDrawDef[DRAW_DEFAULTS_SIZE];   // "\PrefDrawDef" drawing defaults
  uint8_t AutoRun[AUTORUN_SIZE];             // 21 x i32 seconds of day, Sunday..Saturday
  uint8_t PlaybackData[PLAYBACK_DATA_SIZE];  // playback set-up record
  settings_block defaults;                   // `g_settings_defaults`
};

extern AppSettings g_settings;
inline settings_block &g_settings_defaults = g_settings.defaults;

// Spellings used across the program for the most used fields.
inline window_placement &g_window_placement = g_settings.placement;
inline uint32_t &g_pref_flags = g_settings.Flags;
inline uint32_t &g_pref_flags1 = g_settings.Flags1;
inline uint32_t &g_pref_flags2 = g_settings.Flags2;
inline int32_t &g_auto_update = g_settings.AutoUpdate;
inline int32_t &g_cont_update = g_settings.ContUpdate;
inline int32_t &g_show_gridlines = g_settings.ShowGridlines;
inline int32_t &g_keep_ext_hours = g_settings.KeepExtMktHoursData;
inline int32_t &g_date_style = g_settings.DateStyle;
inline char (&g_data_root)[KV_PATH_MAX] = g_settings.DataRoot;
inline int32_t &g_data_format = g_settings.DataFormat;
inline int32_t &g_price_lab_left = g_settings.PriceLabLeft;
inline uint32_t &g_custom_candle = g_settings.CustomCandle;
inline int32_t &g_start_date_daily = g_settings.StartDateDaily;
inline int32_t &g_start_date_weekly = g_settings.StartDateWeekly;
inline int32_t &g_start_date_monthly = g_settings.StartDateMonthly;
inline uint8_t &g_market_days = g_settings.MktDays;
inline int32_t &g_quote_interval = g_settings.QuoteInterval;
inline char (&g_slf_title)[100] = g_settings.SLFTitle;
inline char (&g_qr_hostname)[101] = g_settings.QRHostname;
inline int32_t &g_qr_client_id = g_settings.QRClientId;
inline int32_t &g_qr_port_num = g_settings.QRPortNum;
inline int32_t &g_time_offset = g_settings.TimeOffset;
inline char (&g_data_dir)[KV_PATH_MAX] = g_settings.DataDir;
inline char (&g_study_lib_dir)[KV_PATH_MAX] = g_settings.StudyLibDir;
inline char (&g_accounts_dir)[KV_PATH_MAX] = g_settings.AccountsDir;

// Data-source class indexes of `settings_source`.
enum { SRC_LIVE = 0, SRC_DAILY, SRC_WEEKLY, SRC_MONTHLY, SRC_MULTIQUOTE, SRC_COUNT };

// The selected source index of a class (LiveSource ... MultiQuoteSource).
int32_t &settings_source(settings_block &b, int cls);

// Zero the defaults block and give it its defaults.  Runs once before main
// (a static initialiser); exposed so tests can start from a clean state.
void init_settings_defaults(void);

// Zero the current record (not the defaults block) and give it the values an
// empty profile loads: the "load default" of every field, placement show
// state 1 and all four bars on.  Folders and the data root stay empty.
void reset_settings(void);

// Section names of the profile.
#define SETTINGS_SECTION "Settings1"
#define INSTALL_SECTION "Install"
#define RECENT_FILE_SECTION "Recent File List"

// Moves the data of a previous installation into the new data root (the
// installation set-up provides it; MigratePreviousVersion calls it when the
// user keeps the old data).  Null: nothing is moved.
extern int (*g_move_data_directories)(const char *old_root, const char *new_root);

// 1 when path exists as a directory that is not read-only (created first when
// missing), else 0.  Read-only is judged by the permission bits, not by
// access(), which always grants root.
int MakeDirectory(const char *path);
