// Loading the settings record at start-up and saving it at exit.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "data/cmdline.h"
#include "data/drawdefs.h"
#include "data/scramble.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/profile.h"
#include "platform/services.h"
#include "shell/core/settingsio.h"

static char profile_company[64];
static char profile_key[128];
static int loaded;

void set_profile_company(const char *company) {
  snprintf(profile_company, sizeof profile_company, "%s", company ? company : "");
  if (profile_company[0])
    snprintf(profile_key, sizeof profile_key, "Software\\%s\\Korvane", profile_company);
}

// Without an explicit company the key follows the command line's instance
// letter.
const char *settings_profile_key(void) {
  if (!profile_company[0]) {
    char company[16] = "Ostrelan";
    if (g_instance_letter) {
      size_t n = strlen(company);
      company[n] = g_instance_letter;
      company[n + 1] = 0;
    }
    snprintf(profile_key, sizeof profile_key, "Software\\%s\\Korvane", company);
  }
  return profile_key;
}

int settings_loaded(void) {
  return loaded;
}

static void show_message(const char *text) {
  kv_message_box(text, "Korvane", MB_OK | MB_ICONSTOP);
}

// Copies src into a text field of n bytes, cut to fit.
static void set_text(char *field, size_t n, const char *src) {
  snprintf(field, n, "%s", src ? src : "");
}

#define SET_TEXT(field, src) set_text(field, sizeof(field), src)

static int32_t get_int(kv_profile *p, const char *name, int32_t def) {
  return kv_profile_get_int(p, SETTINGS_SECTION, name, def);
}

static std::string get_string(kv_profile *p, const char *section, const char *name) {
  return kv_profile_get_string(p, section, name, "");
}

// The whole drawing defaults block when none is stored: the drawing
// toolbar takes its first words, the chart panes its Fibonacci levels and
// channel width, so every field gets its built-in value.
static_assert((int)DRAW_DEFAULTS_SIZE == (int)DRAW_DEFS_SIZE,
              "one size for the drawing defaults block");
static void default_draw_block(uint8_t *b) {
  memset(b, 0, DRAW_DEFAULTS_SIZE);
  draw_defaults d;
  draw_defaults_builtin(&d);
  draw_defaults_encode(&d, b);
}

static int get_binary(kv_profile *p, const char *name, uint8_t *out, size_t size) {
  std::vector<uint8_t> v;
  if (!kv_profile_get_binary(p, SETTINGS_SECTION, name, &v) || v.size() != size) return 0;
  memcpy(out, v.data(), size);
  return 1;
}

// Picks the data root: the environment's install folder, else the stored
// one when it still exists, else the default under the user's data folder.
static int choose_data_root(kv_profile *p, char *root, size_t size) {
  const char *env = getenv("KORVANE_INSTALLDIR");
  if (!(env && *env)) {
    std::string stored = kv_path_normalized(get_string(p, INSTALL_SECTION, "Directory").c_str());
    while (stored.size() > 1 && stored.back() == '/') stored.pop_back();
    if (!stored.empty() && stored[0] == '/' && stored.size() < size &&
        kv_dir_exists(stored.c_str()) && !is_home_folder(stored.c_str())) {
      memcpy(root, stored.c_str(), stored.size() + 1);
      return 1;
    }
  }
  return default_data_root(root, size) != nullptr;
}

// The name a folder has on disk: the upper-case name, or an existing
// folder whose name differs only in case (so that one folder serves both).
static std::string folder_on_disk(const char *root, const char *name) {
  std::string path = kv_path_join(std::string(root), std::string(name));
  if (kv_dir_exists(path.c_str())) return name;
  std::string found = kv_resolve_case(path.c_str());
  if (!found.empty() && kv_dir_exists(found.c_str())) return kv_path_base_name(found.c_str());
  return name;
}

// Keeps the file name of a stored path and puts it into folder; writes the
// changed value back.  A value without a folder part stays.
static void rebase_path(kv_profile *p, const char *value_name, char *field, size_t n,
                        const char *folder) {
  const char *slash = strrchr(field, '/');
  if (!slash) return;
  std::string moved = std::string(folder) + "/" + (slash + 1);
  set_text(field, n, moved.c_str());
  kv_profile_write_string(p, SETTINGS_SECTION, value_name, field);
}

static int load_folders(void) {
  static const struct {
    int folder;
    char *field;
  } rel[] = {
      {KV_DIR_DATA, g_settings.DataDir},         {KV_DIR_HDATA, g_settings.HdataDir},
      {KV_DIR_SLF, g_settings.SlfDir},           {KV_DIR_ALIAS, g_settings.AliasDir},
      {KV_DIR_CONFIG, g_settings.ConfigDir},     {KV_DIR_IMPORT, g_settings.ImportDir},
      {KV_DIR_EXPORT, g_settings.ExportDir},     {KV_DIR_SOUNDS, g_settings.SoundsDir},
      {KV_DIR_FAVORITE, g_settings.FavoriteDir},
  };
  for (const auto &f : rel) {
    std::string name = folder_on_disk(g_data_root, data_folder_name(f.folder));
    set_text(f.field, KV_PATH_MAX, name.c_str());
    std::string path = kv_path_join(std::string(g_data_root), name);
    if (!MakeDirectory(path.c_str())) {
      char text[KV_PATH_MAX + 64];
      snprintf(text, sizeof text, "Unable to create %s subdirectory", data_folder_name(f.folder));
      show_message(text);
      return 0;
    }
  }
  static const struct {
    int folder;
    char *field;
    const char *message;
  } full[] = {
      {KV_DIR_HELP, g_settings.HelpDir, "Unable to create .\\Help Directory"},
      {KV_DIR_ACCOUNTS, g_settings.AccountsDir, "Unable to create .\\Accounts Directory"},
      {KV_DIR_FERLUMES, g_settings.StudyLibDir, "Unable to create .\\Ferlumes Directory"},
  };
  for (const auto &f : full) {
    std::string name = folder_on_disk(g_data_root, data_folder_name(f.folder));
    std::string path = kv_path_join(std::string(g_data_root), name);
    if (path.size() >= KV_PATH_MAX || !MakeDirectory(path.c_str())) {
      show_message(f.message);
      return 0;
    }
    set_text(f.field, KV_PATH_MAX, path.c_str());
  }
  return 1;
}

static void load_numbers(kv_profile *p) {
  AppSettings &s = g_settings;
  s.Flags = (uint32_t)get_int(p, "Flags", 0) & ~0xFE0u;
  s.Flags1 = (uint32_t)get_int(p, "Flags1", 0);
  s.Flags2 = (uint32_t)get_int(p, "Flags2", -1);
  s.AutoUpdate = get_int(p, "AutoUpdate", 0);
  s.ContUpdate = get_int(p, "ContUpdate", 0);
  s.DataFormat = get_int(p, "DataFormat", 0);
  s.PriceLabLeft = get_int(p, "PriceLabLeft", 0);
  s.CustomCandle = (uint32_t)get_int(p, "CustomCandle", 0);
  if (s.CustomCandle == 0) s.CustomCandle = 0x04304107;
  s.StartDateDaily = get_int(p, "StartDateDaily", 20000103);
  s.StartDateWeekly = get_int(p, "StartDateWeekly", 19900102);
  s.StartDateMonthly = get_int(p, "StartDateMonthly", 19800102);
  s.ShowGridlines = get_int(p, "ShowGridlines", 1);
  s.TimeOffset = get_int(p, "TimeOffset", 0);
  s.KeepNumDays1Min = get_int(p, "KeepNumDays1Min", 10);
  s.KeepNumDaysTick = get_int(p, "KeepNumDaysTick", 2);
  s.KeepNumDaysVolume = get_int(p, "KeepNumDaysVolume", 14);
  s.KeepExtMktHoursData = get_int(p, "KeepExtMktHoursData", 0);
  s.KeepIntradayData = get_int(p, "KeepIntradayData", 1);
  s.MktDays = (uint8_t)get_int(p, "MktDays", 62);
  s.QuoteInterval = get_int(p, "QuoteInterval", 5000);
  s.ContUpdateDaily = get_int(p, "ContUpdateDaily", 1);
  s.SoundsQuietStart = get_int(p, "SoundsQuietStart", 0);
  s.SoundsQuietStop = get_int(p, "SoundsQuietStop", 0);
  s.InternetReceiveTimeout = get_int(p, "InternetReceiveTimeout", 5000);
}

// "Y"/"N" bar flag; a missing or empty value keeps the current one.
static void load_bar(kv_profile *p, const char *name, int32_t *flag) {
  std::string v = get_string(p, SETTINGS_SECTION, name);
  if (v.empty()) return;
  *flag = (v == "Y" || v == "y") ? 1 : 0;
}

static void load_texts(kv_profile *p, int first_run, int taken_over) {
  AppSettings &s = g_settings;
  std::string v;
  if (!(v = get_string(p, SETTINGS_SECTION, "ExpFileExt")).empty())
    SET_TEXT(s.ExpFileExt, v.c_str());
  if (!(v = get_string(p, SETTINGS_SECTION, "ExpFileHdr")).empty())
    SET_TEXT(s.ExpFileHdr, v.c_str());
  s.ExpDataFmt = get_int(p, "ExpDataFmt", 2);
  if (!(v = get_string(p, SETTINGS_SECTION, "SLFTitle")).empty()) SET_TEXT(s.SLFTitle, v.c_str());
  v = get_string(p, SETTINGS_SECTION, "Position");
  if (!v.empty()) {
    int l = 0, t = 0, b = 0, r = 0;
    if (sscanf(v.c_str(), "%d %d %d %d", &l, &t, &b, &r) == 4) {
      s.placement.left = l;
      s.placement.top = t;
      s.placement.bottom = b;
      s.placement.right = r;
    }
  }
  s.placement.show = get_int(p, "State", 1);
  load_bar(p, "ToolBar", &s.ToolBar);
  load_bar(p, "PlaybackBar", &s.PlaybackBar);
  load_bar(p, "StatusBar", &s.StatusBar);
  load_bar(p, "DrawBar", &s.DrawBar);

  std::string config = s.ConfigDir;
  v = kv_path_normalized(get_string(p, SETTINGS_SECTION, "Pages").c_str());
  SET_TEXT(s.Pages, v.empty() ? (config + "/Pages.kvc").c_str() : v.c_str());
  v = kv_path_normalized(get_string(p, SETTINGS_SECTION, "Import").c_str());
  SET_TEXT(s.Import, v.empty() ? (config + "/Import.imp").c_str() : v.c_str());
  v = kv_path_normalized(get_string(p, SETTINGS_SECTION, "DefaultFavorite").c_str());
  SET_TEXT(s.DefaultFavorite, v.c_str());

  // A previous installation was found: its paths point into the old root;
  // keep the file names and look for them in this root's folders.
  if (first_run && !taken_over) {
    rebase_path(p, "Pages", s.Pages, sizeof s.Pages, s.ConfigDir);
    rebase_path(p, "Import", s.Import, sizeof s.Import, s.ConfigDir);
    rebase_path(p, "DefaultFavorite", s.DefaultFavorite, sizeof s.DefaultFavorite, s.FavoriteDir);
  }

  for (int i = 0; i < 16; i++) {
    char name[16];
    snprintf(name, sizeof name, "Color%02d", i);
    s.CustomColors[i] = (uint32_t)kv_profile_get_int(p, "CustomColors", name, 0xFFFFFF);
  }

  s.LiveSource = get_int(p, "LiveSource", 0);
  s.DailySource = get_int(p, "DailySource", 0);
  s.WeeklySource = get_int(p, "WeeklySource", 0);
  s.MonthlySource = get_int(p, "MonthlySource", 0);
  s.MultiQuoteSource = get_int(p, "MultiQuoteSource", 0);
  if (!(v = get_string(p, SETTINGS_SECTION, "QRHostname")).empty())
    SET_TEXT(s.QRHostname, v.c_str());

  {
    // The tables' position runs on from the user name into the password.
    kv_lock guard(g_chart_lock);
    build_code_tables();
    SET_TEXT(s.TWSAccountName, get_string(p, SETTINGS_SECTION, "TWSAccountName").c_str());
    SET_TEXT(s.TWSUsername, get_string(p, SETTINGS_SECTION, "TWSUsername").c_str());
    if (s.TWSUsername[0]) unscramble_text(s.TWSUsername);
    SET_TEXT(s.TWSPassword, get_string(p, SETTINGS_SECTION, "TWSPassword").c_str());
    if (s.TWSPassword[0]) unscramble_text(s.TWSPassword);
    clear_code_tables();
  }

  s.QRClientId = get_int(p, "QRClientId", 0);
  s.QRPortNum = get_int(p, "QRPortNum", 7496);
  if (!(v = get_string(p, SETTINGS_SECTION, "AliasTitle")).empty())
    SET_TEXT(s.AliasTitle, v.c_str());
}

int LoadStartupSettings(int first_run, int taken_over) {
  loaded = 0;
  // The record already holds the values of an empty profile (set before
  // main); MigratePreviousVersion may have put the computer name into the
  // relay host, which a stored host still overrides.
  kv_profile *p = kv_profile_open(settings_profile_key());
  if (!p) {
    std::string text = "Unable to read settings file " + kv_profile_path(settings_profile_key());
    show_message(text.c_str());
    return 0;
  }
  char root[KV_PATH_MAX];
  if (!choose_data_root(p, root, sizeof root)) {
    kv_profile_close(p);
    show_message("No current directory, unable to run");
    return 0;
  }
  kv_make_dirs(root, nullptr);
  if (!MakeDirectory(root) || chdir(root) != 0) {
    kv_profile_close(p);
    show_message("Unable to make install directory current directory");
    return 0;
  }
  SET_TEXT(g_settings.DataRoot, root);
  if (!load_folders()) {
    kv_profile_close(p);
    return 0;
  }
  kv_profile_hold(p, 1);
  load_numbers(p);
  load_texts(p, first_run, taken_over);
  if (!get_binary(p, "\\PrefDrawDef", g_settings.PrefDrawDef, DRAW_DEFAULTS_SIZE))
    default_draw_block(g_settings.PrefDrawDef);
  get_binary(p, "AutoRun", g_settings.AutoRun, AUTORUN_SIZE);
  get_binary(p, "PlaybackData", g_settings.PlaybackData, PLAYBACK_DATA_SIZE);
  kv_profile_close(p);
  loaded = 1;
  return 1;
}

int SaveSettings(void) {
  if (!loaded) return 0;  // never write values that were not loaded
  kv_profile *p = kv_profile_open(settings_profile_key());
  if (!p) return 0;
  kv_profile_hold(p, 1);
  const AppSettings &s = g_settings;
  const char *S = SETTINGS_SECTION;
  kv_profile_write_string(p, INSTALL_SECTION, "Directory", s.DataRoot);

  const struct {
    const char *name;
    int32_t value;
  } numbers[] = {
      {"Flags", (int32_t)s.Flags},
      {"Flags1", (int32_t)s.Flags1},
      {"Flags2", (int32_t)s.Flags2},
      {"AutoUpdate", 0},  // each run starts with automatic update off
      {"ContUpdate", 0},  // and continuous collection off
      {"DataFormat", s.DataFormat},
      {"PriceLabLeft", s.PriceLabLeft},
      {"CustomCandle", (int32_t)s.CustomCandle},
      {"StartDateDaily", s.StartDateDaily},
      {"StartDateWeekly", s.StartDateWeekly},
      {"StartDateMonthly", s.StartDateMonthly},
      {"ShowGridlines", s.ShowGridlines},
      {"TimeOffset", s.TimeOffset},
      {"KeepNumDays1Min", s.KeepNumDays1Min},
      {"KeepNumDaysTick", s.KeepNumDaysTick},
      {"KeepNumDaysVolume", s.KeepNumDaysVolume},
      {"KeepExtMktHoursData", s.KeepExtMktHoursData},
      {"KeepIntradayData", s.KeepIntradayData},
      {"MktDays", (int32_t)s.MktDays},
      {"QuoteInterval", s.QuoteInterval},
      {"ContUpdateDaily", s.ContUpdateDaily},
      {"SoundsQuietStart", s.SoundsQuietStart},
      {"SoundsQuietStop", s.SoundsQuietStop},
      {"InternetReceiveTimeout", s.InternetReceiveTimeout},
      {"ExpDataFmt", s.ExpDataFmt},
  };
  for (const auto &n : numbers) kv_profile_write_int(p, S, n.name, n.value);

  char text[64];
  const window_placement &w = s.placement;
  if (w.left == 0 && w.top == 0 && w.right == 0 && w.bottom == 0)
    text[0] = 0;
  else
    snprintf(text, sizeof text, "%d %d %d %d", w.left, w.top, w.bottom, w.right);
  kv_profile_write_string(p, S, "Position", text);
  kv_profile_write_int(p, S, "State", w.show);
  kv_profile_write_string(p, S, "ToolBar", s.ToolBar ? "Y" : "N");
  kv_profile_write_string(p, S, "PlaybackBar", s.PlaybackBar ? "Y" : "N");
  kv_profile_write_string(p, S, "StatusBar", s.StatusBar ? "Y" : "N");
  kv_profile_write_string(p, S, "DrawBar", s.DrawBar ? "Y" : "N");
  kv_profile_write_string(p, S, "Pages", s.Pages);
  kv_profile_write_string(p, S, "Import", s.Import);
  kv_profile_write_string(p, S, "DefaultFavorite", s.DefaultFavorite);
  kv_profile_write_string(p, S, "SLFTitle", s.SLFTitle);
  kv_profile_write_string(p, S, "ExpFileExt", s.ExpFileExt);
  kv_profile_write_string(p, S, "ExpFileHdr", s.ExpFileHdr);
  for (int i = 0; i < 16; i++) {
    char name[16];
    snprintf(name, sizeof name, "Color%02d", i);
    kv_profile_write_int(p, "CustomColors", name, (int32_t)s.CustomColors[i]);
  }

  kv_profile_write_int(p, S, "LiveSource", s.LiveSource);
  kv_profile_write_int(p, S, "DailySource", s.DailySource);
  kv_profile_write_int(p, S, "WeeklySource", s.WeeklySource);
  kv_profile_write_int(p, S, "MonthlySource", s.MonthlySource);
  kv_profile_write_int(p, S, "MultiQuoteSource", s.MultiQuoteSource);
  kv_profile_write_string(p, S, "QRHostname", s.QRHostname);
  kv_profile_write_string(p, S, "TWSAccountName", s.TWSAccountName);
  {
    char user[sizeof s.TWSUsername], password[sizeof s.TWSPassword];
    memcpy(user, s.TWSUsername, sizeof user);
    memcpy(password, s.TWSPassword, sizeof password);
    user[sizeof user - 1] = password[sizeof password - 1] = 0;
    kv_lock guard(g_chart_lock);
    build_code_tables();
    scramble_text(user);
    scramble_text(password);
    clear_code_tables();
    kv_profile_write_string(p, S, "TWSUsername", user);
    kv_profile_write_string(p, S, "TWSPassword", password);
  }
  kv_profile_write_int(p, S, "QRClientId", s.QRClientId);
  kv_profile_write_int(p, S, "QRPortNum", s.QRPortNum);
  kv_profile_write_string(p, S, "AliasTitle", s.AliasTitle);

  int ok = kv_profile_write_binary(p, S, "\\PrefDrawDef", s.PrefDrawDef, DRAW_DEFAULTS_SIZE) &&
           kv_profile_write_binary(p, S, "AutoRun", s.AutoRun, AUTORUN_SIZE) &&
           kv_profile_write_binary(p, S, "PlaybackData", s.PlaybackData, PLAYBACK_DATA_SIZE);
  ok = kv_profile_hold(p, 0) && ok;
  kv_profile_close(p);
  return ok;
}
