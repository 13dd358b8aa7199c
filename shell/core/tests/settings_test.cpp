// Settings record: start-up folders, profile round trip, stored values,
// refusals and the take-over of a previous installation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "data/cmdline.h"
#include "data/drawdefs.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/testing/fixture.h"
#include "shell/core/paperid.h"
#include "shell/core/settingsio.h"

namespace {

const char *const kFolders[] = {"DATA",   "HDATA",  "SLF",      "ALIAS", "CONFIG",   "IMPORT",
                                "EXPORT", "SOUNDS", "FAVORITE", "HELP",  "ACCOUNTS", "FERLUMES"};

class SettingsTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    cwd_ = cwd;
    unsetenv("KORVANE_INSTALLDIR");
    set_profile_company("");
    g_instance_letter = 0;
    reset_settings();
  }
  void TearDown() override {
    ASSERT_EQ(chdir(cwd_.c_str()), 0);
    unsetenv("KORVANE_INSTALLDIR");
    g_move_data_directories = nullptr;
    g_instance_letter = 0;
    TempRootTest::TearDown();
  }
  // A profile to look at or prepare values in.
  kv_profile *profile() { return kv_profile_open(settings_profile_key()); }
  std::string xdg_root() {
    const char *x = getenv("XDG_DATA_HOME");
    return std::string(x ? x : "") + "/korvane";
  }

  std::string cwd_;
};

TEST_F(SettingsTest, FirstStartCreatesFoldersUnderDataRootAndTakesDefaults) {
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  EXPECT_EQ(std::string(g_data_root), xdg_root());
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(std::string(cwd), xdg_root());
  for (const char *f : kFolders) EXPECT_TRUE(kv_dir_exists((xdg_root() + "/" + f).c_str())) << f;
  EXPECT_STREQ(g_settings.DataDir, "DATA");
  EXPECT_STREQ(g_settings.ConfigDir, "CONFIG");
  EXPECT_EQ(std::string(g_settings.AccountsDir), xdg_root() + "/ACCOUNTS");
  EXPECT_EQ(std::string(g_study_lib_dir), xdg_root() + "/FERLUMES");
  EXPECT_TRUE(services_.boxes.empty());

  const AppSettings &s = g_settings;
  EXPECT_EQ(s.Flags, 0u);
  EXPECT_EQ(s.Flags2, 0xFFFFFFFFu);
  EXPECT_EQ(s.CustomCandle, 0x04304107u);
  EXPECT_EQ(s.StartDateDaily, 20000103);
  EXPECT_EQ(s.StartDateWeekly, 19900102);
  EXPECT_EQ(s.StartDateMonthly, 19800102);
  EXPECT_EQ(s.MktDays, 62);
  EXPECT_EQ(s.KeepNumDays1Min, 10);
  EXPECT_EQ(s.KeepNumDaysTick, 2);
  EXPECT_EQ(s.KeepNumDaysVolume, 14);
  EXPECT_EQ(s.KeepExtMktHoursData, 0);
  EXPECT_EQ(s.KeepIntradayData, 1);
  EXPECT_EQ(s.ContUpdateDaily, 1);
  EXPECT_EQ(s.ShowGridlines, 1);
  EXPECT_EQ(s.QuoteInterval, 5000);
  EXPECT_EQ(s.InternetReceiveTimeout, 5000);
  EXPECT_EQ(s.ExpDataFmt, 2);
  EXPECT_EQ(s.QRPortNum, 7496);
  EXPECT_EQ(s.CustomColors[15], 0xFFFFFFu);
  EXPECT_STREQ(s.ExpFileExt, ".csv");
  EXPECT_STREQ(s.QRHostname, "127.0.0.1");
  EXPECT_STREQ(s.Pages, "CONFIG/Pages.kvc");
  EXPECT_STREQ(s.Import, "CONFIG/Import.imp");
  EXPECT_EQ(s.placement.show, 1);
  EXPECT_EQ(s.ToolBar + s.PlaybackBar + s.StatusBar + s.DrawBar, 4);
  // Built-in drawing defaults fill the whole block: colour red, wide width 2,
  // one deviation for channels and the 38.2, 50 and 61.8 % levels on (a
  // block filled only in its first words leaves Fibonacci lines at 0 and 100 %
  // and channel lines on the centre line).
  draw_defaults dd;
  draw_defaults_decode(s.PrefDrawDef, &dd);
  EXPECT_EQ(dd.line_color, 0x0000FFu);
  EXPECT_EQ(dd.feedback_color, 0xFFFF00u);
  EXPECT_EQ(dd.line_style, 0);
  EXPECT_EQ(dd.wide_width, 2);
  EXPECT_FLOAT_EQ(dd.channel_devs, 1.0f);
  EXPECT_EQ(dd.use_style + dd.use_color, 0);
  const struct {
    int enabled;
    float fraction;
    int style;
  } want[DRAW_LEVEL_COUNT] = {{0, 0.236f, 2}, {1, 0.382f, 2}, {1, 0.5f, 1},
                              {1, 0.618f, 2}, {0, 0.764f, 2}, {0, 1.5f, 1},
                              {0, 2.0f, 1},   {0, 0.0f, 0},   {0, 0.0f, 0}};
  for (int k = 0; k < DRAW_LEVEL_COUNT; k++) {
    SCOPED_TRACE(k);
    EXPECT_EQ(dd.levels[k].enabled, want[k].enabled);
    EXPECT_FLOAT_EQ(dd.levels[k].fraction, want[k].fraction);
    EXPECT_EQ(dd.levels[k].color, 0x0000FFu);
    EXPECT_EQ(dd.levels[k].style, want[k].style);
  }
  EXPECT_EQ(dd.snap, 0u);

  // The defaults block holds only the marked defaults.
  EXPECT_EQ(g_settings_defaults.KeepNumDays1Min, 10);
  EXPECT_EQ(g_settings_defaults.CustomCandle, 0x04304107u);
  EXPECT_EQ(g_settings_defaults.MktDays, 0);
  EXPECT_EQ(g_settings_defaults.SLFTitle[0], 0);

  // A second start finds what the first made.
  ASSERT_EQ(SaveSettings(), 1);
  reset_settings();
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  EXPECT_EQ(std::string(g_data_root), xdg_root());
}

TEST_F(SettingsTest, DataRootChoice) {
  // A stored root that still exists is used.
  std::string stored = root_.file("stored");
  ASSERT_TRUE(kv_make_dirs(stored.c_str(), nullptr));
  kv_profile *p = profile();
  kv_profile_write_string(p, "Install", "Directory", stored.c_str());
  kv_profile_close(p);
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  EXPECT_EQ(std::string(g_data_root), stored);

  // The environment's install folder wins over it.
  std::string env = root_.file("env/root");
  setenv("KORVANE_INSTALLDIR", env.c_str(), 1);
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  EXPECT_EQ(std::string(g_data_root), env);
  EXPECT_TRUE(kv_dir_exists((env + "/DATA").c_str()));
  unsetenv("KORVANE_INSTALLDIR");

  // A stored root that no longer exists, or the home folder itself, is not
  // used: the start goes on under the default root.
  const char *bad[] = {"/nonexistent/korvane/root", getenv("HOME")};
  for (const char *b : bad) {
    p = profile();
    kv_profile_write_string(p, "Install", "Directory", b);
    kv_profile_close(p);
    ASSERT_EQ(LoadStartupSettings(0, 1), 1) << b;
    EXPECT_EQ(std::string(g_data_root), xdg_root()) << b;
  }
  EXPECT_TRUE(services_.boxes.empty());
}

TEST_F(SettingsTest, RoundTripThroughProfile) {
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  AppSettings &s = g_settings;
  s.Flags = 0x1001;
  s.Flags1 = 0x808;
  s.Flags2 = 2;
  s.AutoUpdate = 1;
  s.ContUpdate = 1;
  s.DataFormat = 1;
  s.PriceLabLeft = 1;
  s.CustomCandle = 0x01020304;
  s.StartDateDaily = 20240102;
  s.ShowGridlines = 0;
  s.TimeOffset = -3600;
  s.KeepNumDays1Min = 5;
  s.KeepExtMktHoursData = 1;
  s.KeepIntradayData = 0;
  s.MktDays = 0xFF;
  s.QuoteInterval = 2500;
  s.ContUpdateDaily = 0;
  s.SoundsQuietStart = 3600;
  s.SoundsQuietStop = 7200;
  s.InternetReceiveTimeout = 9000;
  s.ExpDataFmt = 3;
  strcpy(s.ExpFileExt, ".txt");
  strcpy(s.ExpFileHdr, "Date,Close");
  strcpy(s.SLFTitle, "tech");
  strcpy(s.AliasTitle, "aliases");
  strcpy(s.QRHostname, "relay.example");
  strcpy(s.TWSAccountName, "DU12345");
  strcpy(s.TWSUsername, "trader one");
  strcpy(s.TWSPassword, "s3cret~!");
  s.QRClientId = 7;
  s.QRPortNum = 4001;
  s.DailySource = 2;
  s.MultiQuoteSource = 1;
  s.CustomColors[3] = 0x123456;
  s.placement = {10, 20, 400, 300, 3};
  s.StatusBar = 0;
  strcpy(s.DefaultFavorite, "FAVORITE/my.fav");
  for (int i = 0; i < DRAW_DEFAULTS_SIZE; i++) s.PrefDrawDef[i] = (uint8_t)i;
  for (int i = 0; i < AUTORUN_SIZE; i++) s.AutoRun[i] = (uint8_t)(i + 1);
  for (int i = 0; i < PLAYBACK_DATA_SIZE; i++) s.PlaybackData[i] = (uint8_t)(200 - i);
  AppSettings saved = g_settings;
  ASSERT_EQ(SaveSettings(), 1);

  kv_profile *p = profile();
  // Stored forms: user name and password scrambled, MktDays one byte,
  // AutoUpdate and ContUpdate off, the rectangle as left top bottom right.
  std::string user = kv_profile_get_string(p, "Settings1", "TWSUsername", "");
  EXPECT_EQ(user.size(), strlen("trader one"));
  EXPECT_NE(user, "trader one");
  EXPECT_NE(kv_profile_get_string(p, "Settings1", "TWSPassword", ""), "s3cret~!");
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "MktDays", -1), 0xFF);
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "AutoUpdate", -1), 0);
  EXPECT_EQ(kv_profile_get_int(p, "Settings1", "ContUpdate", -1), 0);
  EXPECT_EQ(kv_profile_get_string(p, "Settings1", "Position", ""), "10 20 300 400");
  EXPECT_EQ(kv_profile_get_string(p, "Settings1", "StatusBar", ""), "N");
  EXPECT_EQ(kv_profile_value_type(p, "Settings1", "\\PrefDrawDef"), KV_PROFILE_BINARY);
  kv_profile_close(p);

  reset_settings();
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  saved.AutoUpdate = 0;
  saved.ContUpdate = 0;
  EXPECT_EQ(memcmp(static_cast<const settings_block *>(&g_settings),
                   static_cast<const settings_block *>(&saved), sizeof(settings_block)),
            0);
  EXPECT_STREQ(g_settings.TWSUsername, "trader one");
  EXPECT_STREQ(g_settings.TWSPassword, "s3cret~!");
  EXPECT_EQ(g_settings.placement.left, 10);
  EXPECT_EQ(g_settings.placement.right, 400);
  EXPECT_EQ(g_settings.placement.bottom, 300);
  EXPECT_EQ(g_settings.placement.show, 3);
  EXPECT_EQ(g_settings.StatusBar, 0);
  EXPECT_EQ(g_settings.ToolBar, 1);
  EXPECT_STREQ(g_settings.DefaultFavorite, "FAVORITE/my.fav");
  EXPECT_EQ(memcmp(g_settings.PrefDrawDef, saved.PrefDrawDef, DRAW_DEFAULTS_SIZE), 0);
  EXPECT_EQ(memcmp(g_settings.AutoRun, saved.AutoRun, AUTORUN_SIZE), 0);
  EXPECT_EQ(memcmp(g_settings.PlaybackData, saved.PlaybackData, PLAYBACK_DATA_SIZE), 0);
}

TEST_F(SettingsTest, StoredValuesAsRead) {
  kv_profile *p = profile();
  kv_profile_write_string(p, "Settings1", "Position", "10 20 300 400");
  kv_profile_write_int(p, "Settings1", "Flags", 0xFFFF);
  kv_profile_write_int(p, "Settings1", "CustomCandle", 0);
  kv_profile_write_int(p, "Settings1", "MktDays", 0x13E);
  for (const char *name : {"ExpFileExt", "ExpFileHdr", "SLFTitle", "QRHostname", "AliasTitle"})
    kv_profile_write_string(p, "Settings1", name, "");
  kv_profile_write_string(p, "Settings1", "ToolBar", "y");
  kv_profile_write_string(p, "Settings1", "DrawBar", "yes");
  kv_profile_write_string(p, "Settings1", "StatusBar", "");
  kv_profile_write_string(p, "Settings1", "TWSUsername", "");
  kv_profile_write_string(p, "Settings1", "ExpFileHdr", std::string(300, 'h').c_str());
  kv_profile_write_binary(p, "Settings1", "AutoRun", "short", 5);
  kv_profile_close(p);

  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  EXPECT_EQ(g_window_placement.left, 10);
  EXPECT_EQ(g_window_placement.top, 20);
  EXPECT_EQ(g_window_placement.bottom, 300);
  EXPECT_EQ(g_window_placement.right, 400);
  EXPECT_EQ(g_pref_flags, 0xFFFFu & ~0xFE0u);
  EXPECT_EQ(g_custom_candle, 0x04304107u);
  EXPECT_EQ(g_market_days, 0x3E);
  EXPECT_STREQ(g_settings.ExpFileExt, ".csv");
  EXPECT_STREQ(g_qr_hostname, "127.0.0.1");
  EXPECT_EQ(g_settings.ToolBar, 1);
  EXPECT_EQ(g_settings.DrawBar, 0);
  EXPECT_EQ(g_settings.StatusBar, 1);
  EXPECT_STREQ(g_settings.TWSUsername, "");
  EXPECT_EQ(strlen(g_settings.ExpFileHdr), sizeof g_settings.ExpFileHdr - 1);
  // A binary value of the wrong size is not taken.
  for (uint8_t b : g_settings.AutoRun) EXPECT_EQ(b, 0);
}

TEST_F(SettingsTest, MakeDirectoryJudgesPermissionBits) {
  std::string dir = root_.file("made");
  EXPECT_EQ(MakeDirectory(dir.c_str()), 1);
  EXPECT_TRUE(kv_dir_exists(dir.c_str()));
  EXPECT_EQ(MakeDirectory(dir.c_str()), 1);
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  EXPECT_EQ(MakeDirectory(dir.c_str()), 0);
  chmod(dir.c_str(), 0755);
  root_.write("plain.txt", "x");
  EXPECT_EQ(MakeDirectory(root_.file("plain.txt").c_str()), 0);
  EXPECT_EQ(MakeDirectory(root_.file("no/such/parent").c_str()), 0);
}

TEST_F(SettingsTest, StartRefusedOnReadOnlyFolderAndNothingSaved) {
  std::string root = root_.file("ro");
  setenv("KORVANE_INSTALLDIR", root.c_str(), 1);
  ASSERT_TRUE(kv_make_dirs((root + "/DATA").c_str(), nullptr));
  ASSERT_EQ(chmod((root + "/DATA").c_str(), 0555), 0);
  EXPECT_EQ(LoadStartupSettings(0, 1), 0);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text, "Unable to create DATA subdirectory");
  chmod((root + "/DATA").c_str(), 0755);

  // The failed start loaded nothing: the settings are not written back.
  EXPECT_EQ(SaveSettings(), 0);
  EXPECT_FALSE(kv_file_exists(kv_profile_path(settings_profile_key()).c_str()));

  ASSERT_TRUE(kv_make_dirs((root + "/ACCOUNTS").c_str(), nullptr));
  ASSERT_EQ(chmod((root + "/ACCOUNTS").c_str(), 0555), 0);
  EXPECT_EQ(LoadStartupSettings(0, 1), 0);
  ASSERT_EQ(services_.boxes.size(), 2u);
  EXPECT_EQ(services_.boxes[1].text, "Unable to create .\\Accounts Directory");
  chmod((root + "/ACCOUNTS").c_str(), 0755);

  // A data root that cannot be made (its parent is a file).
  root_.write("plain", "x");
  setenv("KORVANE_INSTALLDIR", root_.file("plain/root").c_str(), 1);
  EXPECT_EQ(LoadStartupSettings(0, 1), 0);
  ASSERT_EQ(services_.boxes.size(), 3u);
  EXPECT_EQ(services_.boxes[2].text, "Unable to make install directory current directory");
  EXPECT_EQ(SaveSettings(), 0);
}

TEST_F(SettingsTest, ExistingFolderInOtherCaseIsTheFolder) {
  std::string root = root_.file("mixed");
  setenv("KORVANE_INSTALLDIR", root.c_str(), 1);
  ASSERT_TRUE(kv_make_dirs((root + "/Accounts").c_str(), nullptr));
  root_.write("mixed/config/SrcData.CFG", "x");
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  EXPECT_EQ(std::string(g_accounts_dir), root + "/Accounts");
  EXPECT_FALSE(kv_dir_exists((root + "/ACCOUNTS").c_str()));
  EXPECT_FALSE(kv_dir_exists((root + "/CONFIG").c_str()));
  char path[512];
  ASSERT_NE(data_folder_path(path, sizeof path, KV_DIR_CONFIG, "srcdata.cfg"), nullptr);
  EXPECT_EQ(std::string(path), root + "/config/SrcData.CFG");
  ASSERT_NE(data_folder_path(path, sizeof path, KV_DIR_DATA, "NEW.dyd"), nullptr);
  EXPECT_EQ(std::string(path), root + "/DATA/NEW.dyd");
}

TEST_F(SettingsTest, InstanceLetterNamesItsOwnProfile) {
  EXPECT_STREQ(settings_profile_key(), "Software\\Ostrelan\\Korvane");
  g_instance_letter = 'B';
  EXPECT_STREQ(settings_profile_key(), "Software\\OstrelanB\\Korvane");
  set_profile_company("OstrelanC");
  EXPECT_STREQ(settings_profile_key(), "Software\\OstrelanC\\Korvane");
  set_profile_company("");
}

class MigrateTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    old_ = root_.file("old");
    kv_profile *p = profile();
    kv_profile_write_string(p, "Install", "Directory", old_.c_str());
    kv_profile_write_string(p, "Recent File List", "File1", (old_ + "/DATA/IBM.dyd").c_str());
    kv_profile_write_string(p, "Settings1", "Pages", (old_ + "/CONFIG/mine.kvc").c_str());
    kv_profile_write_string(p, "Settings1", "Import", "Import.imp");
    kv_profile_write_string(p, "Settings1", "DefaultFavorite",
                            (old_ + "/FAVORITE/best.fav").c_str());
    kv_profile_close(p);
    moves_.clear();
    g_move_data_directories = [](const char *from, const char *to) {
      moves_.push_back(std::string(from) + ">" + to);
      return 3;
    };
  }
  std::string old_;
  static std::vector<std::string> moves_;
};
std::vector<std::string> MigrateTest::moves_;

TEST_F(MigrateTest, KeepingTheOldDataMovesItAndRebasesPaths) {
  services_.box_answers.push_back(IDYES);
  EXPECT_EQ(MigratePreviousVersion(), 0);
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text,
            "A previous version of Korvane has been detected,do you want keep data and settings "
            "from that version?");
  ASSERT_EQ(moves_.size(), 1u);
  EXPECT_EQ(moves_[0], old_ + ">" + xdg_root());
  EXPECT_STREQ(g_qr_hostname, "TESTHOST");

  kv_profile *p = profile();
  EXPECT_EQ(kv_profile_get_string(p, "Install", "Directory", ""), xdg_root());
  EXPECT_EQ(kv_profile_value_type(p, "Recent File List", "File1"), KV_PROFILE_NONE);
  kv_profile_close(p);

  ASSERT_EQ(LoadStartupSettings(1, 0), 1);
  EXPECT_EQ(std::string(g_data_root), xdg_root());
  EXPECT_STREQ(g_qr_hostname, "TESTHOST");  // no stored host
  EXPECT_STREQ(g_settings.Pages, "CONFIG/mine.kvc");
  EXPECT_STREQ(g_settings.Import, "Import.imp");
  EXPECT_STREQ(g_settings.DefaultFavorite, "FAVORITE/best.fav");
  p = profile();
  EXPECT_EQ(kv_profile_get_string(p, "Settings1", "Pages", ""), "CONFIG/mine.kvc");
  kv_profile_close(p);
}

TEST_F(MigrateTest, DecliningClearsTheOldPaths) {
  services_.box_answers.push_back(IDNO);
  EXPECT_EQ(MigratePreviousVersion(), 0);
  EXPECT_TRUE(moves_.empty());
  ASSERT_EQ(LoadStartupSettings(1, 0), 1);
  EXPECT_STREQ(g_settings.Pages, "CONFIG/Pages.kvc");
  EXPECT_STREQ(g_settings.Import, "CONFIG/Import.imp");
  EXPECT_STREQ(g_settings.DefaultFavorite, "");
}

TEST_F(MigrateTest, NothingToTakeOverWhenSameOrNoPreviousRoot) {
  for (const std::string &stored : {std::string(), xdg_root()}) {
    kv_profile *p = profile();
    kv_profile_write_string(p, "Install", "Directory", stored.c_str());
    kv_profile_close(p);
    EXPECT_EQ(MigratePreviousVersion(), 1);
  }
  EXPECT_TRUE(services_.boxes.empty());
  EXPECT_TRUE(moves_.empty());
  kv_profile *p = profile();
  EXPECT_EQ(kv_profile_value_type(p, "Recent File List", "File1"), KV_PROFILE_STRING);
  kv_profile_close(p);
}

}  // namespace

namespace {

class PaperOrderCounter : public TempRootTest {};

TEST_F(PaperOrderCounter, IdsContinueFromTheProfileAndBackTestsSaveNone) {
  set_profile_company("");
  kv_profile *p = kv_profile_open(settings_profile_key());
  ASSERT_NE(p, nullptr);
  kv_profile_write_int(p, SETTINGS_SECTION, "SimOrderId", 41);
  kv_profile_close(p);
  EXPECT_EQ(next_paper_order_id(1), 42);
  EXPECT_EQ(next_paper_order_id(0), 43);  // a back-test id: not kept
  EXPECT_EQ(next_paper_order_id(1), 43);
  p = kv_profile_open(settings_profile_key());
  EXPECT_EQ(kv_profile_get_int(p, SETTINGS_SECTION, "SimOrderId", 0), 43);
  kv_profile_close(p);
}

}  // namespace
