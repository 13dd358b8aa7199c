// The "User Preferences" sheet driven by control id as a user drives it;
// every check looks at the global settings record.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>

#include "data/drawdefs.h"
#include "data/lefield.h"
#include "platform/qt/test_harness.h"
#include "platform/profile.h"
#include "platform/services.h"
#include "platform/testing/fixture.h"
#include "quotes/sounds.h"
#include "settings/settings.h"
#include "shell/core/settingsio.h"
#include "shell/userprefs.h"

namespace {

class UserPrefs : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    kv_test_app();
    load_known();
  }
  // A known settings record every case starts from.
  static void load_known() {
    reset_settings();
    g_settings.DateStyle = 0;
    g_settings.StartDateDaily = 20050103;
    g_settings.StartDateWeekly = 20000103;
    g_settings.StartDateMonthly = 19950102;
    g_settings.QuoteInterval = 2000;
    g_settings.InternetReceiveTimeout = 30000;
    g_settings.ShowGridlines = 1;
    // total 12, left 2, right 2, wick 2, offset 5
    g_settings.CustomCandle = 12 | 2 << 8 | 2 << 14 | 5 << 20 | 2u << 26;
    g_settings.Flags = (g_settings.Flags & ~PREF_CANDLE_SIZE_MASK) | 1u << PREF_CANDLE_SIZE_SHIFT;
    g_settings.TimeOffset = 3600;
    draw_defaults dd;
    draw_defaults_builtin(&dd);
    draw_defaults_encode(&dd, g_settings.PrefDrawDef);
    g_settings.MktDays = 0x3F;  // collect, Monday to Friday
    for (int day = 0; day < 7; day++) {
      put_le32(g_settings.AutoRun + day * 12, 9 * 3600 + 30 * 60);
      put_le32(g_settings.AutoRun + day * 12 + 4, 16 * 3600);
      put_le32(g_settings.AutoRun + day * 12 + 8, (uint32_t)-1);
    }
  }
  // Runs the sheet on a page; drive() acts while it is up; the result of
  // the run.
  int run(int page, const std::function<void(CPSUserPrefDlg&, QWidget*)>& drive) {
    CPSUserPrefDlg dlg(nullptr, page);
    kv_when_modal([&](QWidget*) { drive(dlg, dlg.GetActivePage()); });
    return dlg.DoModal();
  }
  std::string last_box() const {
    return services_.boxes.empty() ? std::string() : services_.boxes.back().text;
  }
};

const char kDatesMessage[] = "One or more of the start dates are invalid";

TEST_F(UserPrefs, DataPageChecksIntervalAndStartDatesBeforeStoringAny) {
  struct Case {
    const char *daily, *interval;
    int accepted;
    const char* message;
  } cases[] = {
      {"01/02/2006", "100", 1, ""},
      {"01/02/2006", "99", 0, "Quote Interval Timer must be greater than 100 milli seconds"},
      {"12/31/1899", "500", 0, kDatesMessage},
      {"02/30/2006", "500", 0, kDatesMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.daily + std::string(" ") + c.interval);
    load_known();
    AppSettings before = g_settings;
    services_.boxes.clear();
    int result = run(0, [&](CPSUserPrefDlg& d, QWidget* p) {
      kv_type(p, 1206, QString::fromLatin1(c.daily));
      kv_type(p, 1243, QString::fromLatin1(c.interval));
      kv_click(&d, IDOK);
      if (d.isVisible()) kv_click(&d, IDCANCEL);  // refused: the user gives up
    });
    if (c.accepted) {
      EXPECT_EQ(result, IDOK);
      EXPECT_EQ(g_settings.StartDateDaily, 20060102);
      EXPECT_EQ(g_settings.QuoteInterval, 100);
      EXPECT_TRUE(services_.boxes.empty());
    } else {
      EXPECT_EQ(result, IDCANCEL);
      EXPECT_EQ(last_box(), c.message);
      // Nothing of the refused edit was kept.
      EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);
    }
  }
}

TEST_F(UserPrefs, DataPageShowsOldSecondsIntervalAsMilliseconds) {
  g_settings.QuoteInterval = 5;
  run(0, [&](CPSUserPrefDlg& d, QWidget* p) {
    EXPECT_EQ(d.m_data.GetDlgItemText(1243), QStringLiteral("5000"));
    EXPECT_EQ(d.m_data.GetDlgItemText(1206), QStringLiteral("01/03/2005"));
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(g_settings.QuoteInterval, 5000);
}

TEST_F(UserPrefs, DisplayPageCandleExamples) {
  struct Case {
    const char *total, *left, *right, *wick;
    int accepted;
    uint32_t offset;
  } cases[] = {
      {"12", "2", "2", "2", 1, 5},    // body 8: 2 + 4 - 1
      {"6", "2", "2", "2", 1, 2},     // body equals the wick
      {"5", "2", "2", "2", 0, 0},     // body narrower than the wick
      {"4", "2", "2", "0", 0, 0},     // no body
      {"256", "2", "2", "2", 0, 0},   // beyond the 8-bit total
      {"200", "64", "2", "2", 0, 0},  // beyond the 6-bit margin
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.total) + "/" + c.left + "/" + c.right + "/" + c.wick);
    load_known();
    AppSettings before = g_settings;
    services_.boxes.clear();
    int result = run(1, [&](CPSUserPrefDlg& d, QWidget* p) {
      kv_set_check(p, 1227, false);  // Show Grid Lines, stored before the candle in older code
      kv_type(p, 1387, QString::fromLatin1(c.total));
      kv_type(p, 1386, QString::fromLatin1(c.left));
      kv_type(p, 1385, QString::fromLatin1(c.right));
      kv_type(p, 1388, QString::fromLatin1(c.wick));
      kv_click(&d, IDOK);
      if (d.isVisible()) kv_click(&d, IDCANCEL);
    });
    if (c.accepted) {
      EXPECT_EQ(result, IDOK);
      uint32_t cc = g_settings.CustomCandle;
      EXPECT_EQ(cc & 0xFF, (uint32_t)atoi(c.total));
      EXPECT_EQ((cc >> 8) & 0x3F, 2u);
      EXPECT_EQ((cc >> 14) & 0x3F, 2u);
      EXPECT_EQ((cc >> 20) & 0x3F, c.offset);
      EXPECT_EQ(cc >> 26, (uint32_t)atoi(c.wick));
      EXPECT_EQ(g_settings.ShowGridlines, 0);
    } else {
      EXPECT_EQ(result, IDCANCEL);
      EXPECT_EQ(last_box(), "Invalid candle definition");
      EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);
    }
  }
}

TEST_F(UserPrefs, CancelAfterShowGridLinesLeavesSettingsUntouched) {
  AppSettings before = g_settings;
  int result = run(1, [&](CPSUserPrefDlg& d, QWidget* p) {
    kv_set_check(p, 1227, false);
    kv_click(&d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);
}

// A refusal on one page keeps the other pages' edits unstored too: after
// Cancel the settings are as they were, whether OK or Apply Now was pressed.
TEST_F(UserPrefs, RefusalOnOnePageStoresNoOtherPage) {
  for (int button : {(int)IDOK, (int)ID_APPLY_NOW}) {
    SCOPED_TRACE(button);
    load_known();
    AppSettings before = g_settings;
    services_.boxes.clear();
    int result = run(0, [&](CPSUserPrefDlg& d, QWidget* p) {
      kv_type(p, 1243, QStringLiteral("500"));  // Data: a good interval
      ASSERT_TRUE(d.SetActivePage(2));
      kv_type(d.GetActivePage(), 1681, QStringLiteral("17:00"));  // Auto Run: a good time
      ASSERT_TRUE(d.SetActivePage(1));
      kv_type(d.GetActivePage(), 1387, QStringLiteral("5"));  // Display: a refused candle
      kv_click(&d, button);
      EXPECT_TRUE(d.isVisible());
      EXPECT_EQ(d.GetActiveIndex(), 1);
      kv_click(&d, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(last_box(), "Invalid candle definition");
    EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);
  }
}

TEST_F(UserPrefs, DisplayPageRefusesATimeOffsetPastTheDay) {
  AppSettings before = g_settings;
  int result = run(1, [&](CPSUserPrefDlg& d, QWidget* p) {
    kv_type(p, 1585, QStringLiteral("24:30"));
    kv_click(&d, IDOK);
    EXPECT_TRUE(d.isVisible());
    kv_click(&d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(last_box(), "Invalid Time Offset");
  EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);
}

// What the pages accept is what the profile gets at exit.
TEST_F(UserPrefs, AcceptedPagesReachTheWrittenProfile) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  unsetenv("KORVANE_INSTALLDIR");
  set_profile_company("");
  reset_settings();
  ASSERT_EQ(LoadStartupSettings(0, 1), 1);
  g_settings.StartDateDaily = g_settings.StartDateWeekly = g_settings.StartDateMonthly = 20050103;
  int result = run(0, [&](CPSUserPrefDlg& d, QWidget* p) {
    kv_type(p, 1243, QStringLiteral("100"));
    ASSERT_TRUE(d.SetActivePage(1));
    QWidget* display = d.GetActivePage();
    kv_set_check(display, 1227, false);
    for (auto [id, text] : {std::pair{1387, "12"}, {1386, "2"}, {1385, "2"}, {1388, "2"}})
      kv_type(display, id, QString::fromLatin1(text));
    ASSERT_TRUE(d.SetActivePage(2));
    kv_type(d.GetActivePage(), 1681, QString());  // Monday's stop: not set
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  ASSERT_EQ(SaveSettings(), 1);
  kv_profile* prof = kv_profile_open(settings_profile_key());
  ASSERT_NE(prof, nullptr);
  EXPECT_EQ(kv_profile_get_int(prof, "Settings1", "QuoteInterval", 0), 100);
  EXPECT_EQ(kv_profile_get_int(prof, "Settings1", "ShowGridlines", -1), 0);
  EXPECT_EQ((uint32_t)kv_profile_get_int(prof, "Settings1", "CustomCandle", 0),
            12u | 2u << 8 | 2u << 14 | 5u << 20 | 2u << 26);
  std::vector<uint8_t> autorun;
  ASSERT_EQ(kv_profile_get_binary(prof, "Settings1", "AutoRun", &autorun), 1);
  ASSERT_EQ(autorun.size(), (size_t)AUTORUN_SIZE);
  EXPECT_EQ((int32_t)get_le32(autorun.data() + 4 * 4), -1);
  kv_profile_close(prof);
  ASSERT_EQ(chdir(cwd), 0);
}

TEST_F(UserPrefs, DisplayPageStoresFlagsDateStyleAndTimeOffset) {
  run(1, [&](CPSUserPrefDlg& d, QWidget* p) {
    EXPECT_EQ(d.m_display.GetDlgItemText(1585), QStringLiteral("01:00:00"));
    kv_click(p, 1175);      // fractions
    kv_choose(p, 1179, 6);  // dd-mmm-yyyy
    kv_type(p, 1585, QStringLiteral("02:30"));
    kv_set_check(p, 1537, true);  // Hide Day Divider
    kv_set_check(p, 1245, true);  // Show Symbol & Date Header
    kv_set_check(p, 1586, true);  // Highlight Incomplete Candles
    kv_click(p, 1467);            // Custom
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(g_settings.DataFormat, 1);
  EXPECT_EQ(g_settings.DateStyle, 6);
  EXPECT_EQ(g_settings.TimeOffset, 2 * 3600 + 30 * 60);
  EXPECT_TRUE(g_settings.Flags & PREF_HIDE_DAY_DIVIDER);
  EXPECT_TRUE(g_settings.Flags & PREF_SYMBOL_DATE_HEADER);
  EXPECT_TRUE(g_settings.Flags2 & PREF2_HIGHLIGHT_INCOMPLETE);
  EXPECT_EQ((g_settings.Flags & PREF_CANDLE_SIZE_MASK) >> PREF_CANDLE_SIZE_SHIFT, 3u);
}

TEST_F(UserPrefs, AutoRunTimesAndRefusedDayKeepEarlierDaysUnstored) {
  // 24:00 on Tuesday is refused with Tuesday's message; Monday's edit is
  // not kept either.
  AppSettings before = g_settings;
  int result = run(2, [&](CPSUserPrefDlg& d, QWidget* p) {
    // Saturday is off: its start shows empty; Monday's is shown.
    EXPECT_EQ(d.m_autorun.GetDlgItemText(1695), QString());
    EXPECT_EQ(d.m_autorun.GetDlgItemText(1680), QStringLiteral("09:30:00"));
    EXPECT_EQ(d.m_autorun.GetDlgItemText(1682), QString());  // no restart: -1
    kv_type(p, 1681, QStringLiteral("17:00"));
    kv_type(p, 1684, QStringLiteral("24:00"));
    kv_click(&d, IDOK);
    EXPECT_TRUE(d.isVisible());
    kv_click(&d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(last_box(), "Invalid time for Tuesday");
  EXPECT_EQ(memcmp(&before, &g_settings, sizeof before), 0);

  result = run(2, [&](CPSUserPrefDlg& d, QWidget* p) {
    kv_type(p, 1681, QStringLiteral("17:00"));
    kv_type(p, 1682, QString());  // empty: -1
    kv_type(p, 1684, QStringLiteral("235959"));
    kv_set_check(p, 1241, true);  // Saturday
    kv_type(p, 1695, QStringLiteral("10:00:05"));
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ((int32_t)get_le32(g_settings.AutoRun + 4 * 4), 17 * 3600);
  EXPECT_EQ((int32_t)get_le32(g_settings.AutoRun + 5 * 4), -1);
  EXPECT_EQ((int32_t)get_le32(g_settings.AutoRun + 7 * 4), 86399);
  EXPECT_EQ((int32_t)get_le32(g_settings.AutoRun + 18 * 4), 10 * 3600 + 5);
  // Sunday's start was hidden (day off) and comes back empty: -1.
  EXPECT_EQ((int32_t)get_le32(g_settings.AutoRun), -1);
  EXPECT_EQ(g_settings.MktDays, 0x3F | 0x40);
}

TEST_F(UserPrefs, MiscPageFilterWidthRangeAndTradingWithoutRouterSupport) {
  g_settings.Flags = (g_settings.Flags & ~(0xFu << 20)) | 3u << 20;
  int result = run(5, [&](CPSUserPrefDlg& d, QWidget* p) {
    kv_type(p, 1481, QStringLiteral("16"));
    EXPECT_EQ(last_box(), "Value out of Range, Range is 0 to 15");
    EXPECT_EQ(d.m_misc.GetDlgItemText(1481), QStringLiteral("3"));
    kv_type(p, 1482, QStringLiteral("5"));
    EXPECT_EQ(last_box(), "Value out of Range, Range is 0 to 4");
    kv_type(p, 1481, QStringLiteral("15"));
    kv_set_check(p, 1480, true);
    // No quote relay is connected: it cannot trade.
    kv_click(p, 1598);
    EXPECT_EQ(last_box(), "Router does not support trading");
    EXPECT_FALSE(d.m_misc.Item<QCheckBox>(1598)->isChecked());
    kv_type(p, 1536, QStringLiteral("U123456"));
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ((g_settings.Flags >> 20) & 0xF, 15u);
  EXPECT_TRUE(g_settings.Flags & (1u << 18));
  EXPECT_FALSE(g_settings.Flags1 & 0x8);
  EXPECT_STREQ(g_settings.TWSAccountName, "U123456");
}

TEST_F(UserPrefs, DrawPageWideWidthChannelAndCustomLevelKeepOtherBytes) {
  draw_defaults d;
  draw_defaults_builtin(&d);
  memset(g_settings.PrefDrawDef, 0xA5, DRAW_DEFAULTS_SIZE);
  draw_defaults_encode(&d, g_settings.PrefDrawDef);
  uint8_t before[DRAW_DEFAULTS_SIZE];
  memcpy(before, g_settings.PrefDrawDef, sizeof before);

  // Cancel drops the page's edits.
  run(4, [&](CPSUserPrefDlg& dlg, QWidget* p) {
    kv_type(p, 1217, QStringLiteral("5"));
    kv_click(&dlg, IDCANCEL);
  });
  EXPECT_EQ(memcmp(before, g_settings.PrefDrawDef, sizeof before), 0);

  run(4, [&](CPSUserPrefDlg& dlg, QWidget* p) {
    EXPECT_EQ(dlg.m_draw.GetDlgItemText(1538), QStringLiteral("1.00"));
    kv_type(p, 1217, QStringLiteral("1"));  // stored as 2
    kv_type(p, 1538, QStringLiteral("2.5"));
    kv_set_check(p, 1655, true);
    kv_type(p, 1657, QStringLiteral("127.2%"));
    kv_set_check(p, 1703, true);  // snap to Close
    kv_choose(p, 1034, 3);        // 50% level style
    kv_click(&dlg, IDOK);
  });
  draw_defaults back;
  draw_defaults_decode(g_settings.PrefDrawDef, &back);
  EXPECT_EQ(back.wide_width, 2);
  EXPECT_FLOAT_EQ(back.channel_devs, 2.5f);
  EXPECT_EQ(back.levels[7].enabled, 1);
  EXPECT_FLOAT_EQ(back.levels[7].fraction, 1.272f);
  EXPECT_EQ(back.levels[2].style, 3);
  EXPECT_EQ(back.snap, 0x8u);
  EXPECT_EQ(memcmp(before + DD_END, g_settings.PrefDrawDef + DD_END, DRAW_DEFAULTS_SIZE - DD_END),
            0);

  // Use Defaults puts the built-in values back into the controls; OK keeps them.
  back.wide_width = 7;
  back.line_color = 0x00FF00;
  draw_defaults_encode(&back, g_settings.PrefDrawDef);
  run(4, [&](CPSUserPrefDlg& dlg, QWidget* p) {
    EXPECT_EQ(dlg.m_draw.GetDlgItemText(1217), QStringLiteral("7"));
    kv_click(p, 1666);
    EXPECT_EQ(dlg.m_draw.GetDlgItemText(1217), QStringLiteral("2"));
    EXPECT_EQ(dlg.m_draw.GetDlgItemText(1538), QStringLiteral("1.00"));
    kv_click(&dlg, IDOK);
  });
  draw_defaults_decode(g_settings.PrefDrawDef, &back);
  EXPECT_EQ(back.wide_width, 2);
  EXPECT_EQ(back.line_color, 0x0000FFu);
  EXPECT_EQ(back.snap, 0u);
}

TEST_F(UserPrefs, SoundsPageDeselectWritesNoneAndQuietHoursNeedBothTimes) {
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
  std::filesystem::create_directories(root_.path() + "/CONFIG");
  std::ofstream(root_.path() + "/CONFIG/sounds.cfg") << "high.wav\r\nlow.wav\r\nfilled.wav\r\n";
  free_sounds_cfg();
  g_settings.Flags2 |= PREF2_ALERT_SOUNDS;

  // Suppress Sounds with no stop time is refused; nothing is written.
  int result = run(3, [&](CPSUserPrefDlg& d, QWidget* p) {
    EXPECT_EQ(d.m_sounds.Item<QListWidget>(1563)->item(1)->text().endsWith(" [low.wav]"), true);
    kv_set_check(p, 1565, true);
    kv_type(p, 1509, QStringLiteral("22:00"));
    kv_click(&d, IDOK);
    EXPECT_TRUE(d.isVisible());
    kv_click(&d, IDCANCEL);
  });
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(last_box(), "Suppress Sounds requires start and stop time");
  EXPECT_FALSE(g_settings.Flags1 & PREF1_SOUNDS_QUIET_HOURS);

  result = run(3, [&](CPSUserPrefDlg& d, QWidget* p) {
    kv_choose(p, 1563, 1);
    EXPECT_TRUE(d.m_sounds.GetDlgItemText(1572).endsWith("/SOUNDS/low.wav"));
    kv_click(p, 1574);  // Deselect Sound
    EXPECT_EQ(d.m_sounds.GetDlgItemText(1572), QStringLiteral("---none---"));
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  const char* const* events = nullptr;
  get_sound_names(nullptr, &events);
  std::string expected;
  const char* names[SOUND_EVENT_COUNT] = {"high.wav", "---none---", "filled.wav"};
  for (int i = 0; i < SOUND_EVENT_COUNT; i++)
    expected += std::string(names[i] ? names[i] : "--none--") + " #" + events[i] + "\r\n";
  std::ifstream in(root_.path() + "/CONFIG/sounds.cfg", std::ios::binary);
  std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(written, expected);

  // A browsed file becomes the event's sound once Select Sound is pressed.
  const std::string chime = root_.path() + "/SOUNDS/chime.wav";
  services_.dialog_answers.push_back(chime);
  result = run(3, [&](CPSUserPrefDlg& d, QWidget* p) {
    kv_choose(p, 1563, 2);
    EXPECT_FALSE(d.m_sounds.GetDlgItem(1573)->isEnabled());
    kv_click(p, 1189);  // Browse...
    EXPECT_EQ(d.m_sounds.GetDlgItemText(1572), QString::fromStdString(chime));
    EXPECT_TRUE(d.m_sounds.GetDlgItem(1573)->isEnabled());
    kv_click(p, 1573);  // Select Sound
    EXPECT_TRUE(d.m_sounds.Item<QListWidget>(1563)->item(2)->text().endsWith(" [chime.wav]"));
    kv_click(&d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  std::ifstream again(root_.path() + "/CONFIG/sounds.cfg", std::ios::binary);
  std::string rewritten((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>());
  EXPECT_NE(rewritten.find("\r\n" + chime + " #"), std::string::npos) << rewritten;
  free_sounds_cfg();
}

TEST_F(UserPrefs, PicturesOfThePagesFromAKnownRecord) {
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", root_.path().c_str());
  std::filesystem::create_directories(root_.path() + "/CONFIG");
  std::ofstream(root_.path() + "/CONFIG/sounds.cfg") << "high.wav\r\nlow.wav\r\nfilled.wav\r\n";
  free_sounds_cfg();
  g_settings.Flags2 |= PREF2_ALERT_SOUNDS;
  g_settings.Flags1 |= PREF1_SOUNDS_QUIET_HOURS;
  g_settings.SoundsQuietStart = 22 * 3600;
  g_settings.SoundsQuietStop = 6 * 3600 + 30 * 60;
  for (int page = 0; page < 6; page++) {
    run(page, [&](CPSUserPrefDlg& d, QWidget*) {
      EXPECT_TRUE(
          kv_grab_png(&d, QStringLiteral(KV_BINARY_DIR "/user_prefs_page_%1.png").arg(page)));
      kv_click(&d, IDCANCEL);
    });
  }
  free_sounds_cfg();
}

}  // namespace
