// Start-up: the main window and its bars, the templates of the window
// kinds, one run per instance letter, the refusals, the ReadMe shown once.
#include <QMainWindow>
#include <QStatusBar>
#include <QToolBar>
#include <cstdlib>

#include "data/chartload.h"
#include "data/mainwnd.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/qt/controls.h"
#include "platform/qt/docview.h"
#include "platform/qt/test_harness.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "quotes/playbackdata.h"
#include "quotes/playthread.h"
#include "quotes/qrclient.h"
#include "res/resource.h"
#include "shell/app.h"
#include "shell/core/chartstore.h"
#include "settings/settings.h"
#include "shell/core/settingsio.h"
#include "shell/mainfrm.h"
#include "shell/statusmsg.h"
#include "shell/tests/shell_fixture.h"
#include "studies/pages/ppcommon.h"

namespace {

using StartupTest = ShellTest;

const int kAlwaysKinds[] = {KIND_CHART,        KIND_QUOTES,         KIND_SLFMAP,
                            KIND_HORSE_RACE,   KIND_PRICE_VOL_DIST, KIND_REAL_ORDERS,
                            KIND_PAPER_ORDERS, KIND_ACCOUNTS};

TEST_F(StartupTest, MainWindowHasItsBarsPanesTemplatesAndCursors) {
  write_quote_config(0x200);
  set_hooks();
  // The start wires the data side's hooks into the live-quote list, the
  // study engine and the broker link, not only the tests that call them.
  g_chart_load_hooks.find_mqt = nullptr;
  g_chart_load_hooks.recalc_studies = nullptr;
  g_qr_hooks.tws_connect = nullptr;
  g_chart_load_hooks.init_mqt_from_1min = nullptr;
  g_mqt_hooks.update_mqt_charts = nullptr;
  g_mqt_hooks.source_init = nullptr;
  g_default_study_color_fn = nullptr;
  CKvChartApp* app = start();
  EXPECT_EQ(g_chart_load_hooks.find_mqt, &find_mqt);
  EXPECT_TRUE(g_chart_load_hooks.init_mqt_from_1min);
  EXPECT_TRUE(g_mqt_hooks.update_mqt_charts);
  EXPECT_TRUE(g_mqt_hooks.source_init);
  EXPECT_TRUE(g_chart_load_hooks.recalc_studies);
  EXPECT_TRUE(g_qr_hooks.tws_connect);
  // New studies take the default chart template's study colour.
  ASSERT_TRUE(g_default_study_color_fn);
  EXPECT_EQ(default_study_color(), g_chart_store.DefaultStudyColor());
  CKvMainFrame* f = app->MainFrame();
  ASSERT_TRUE(f);
  EXPECT_TRUE(f->isVisible());
  EXPECT_EQ(hmainwnd.load(), f->GetSafeHwnd());
  EXPECT_TRUE(services_.boxes.empty());

  struct Bar {
    unsigned id;
    const char* title;
    bool top_bottom_only;
  } bars[] = {{0xE800, "Main", false},
              {135, "SLF", true},
              {136, "Playback", false},
              {186, "Advisor", true},
              {296, "DRAW", false}};
  for (const Bar& b : bars) {
    QToolBar* bar = f->GetControlBar(b.id);
    ASSERT_TRUE(bar) << b.id;
    EXPECT_EQ(bar->windowTitle().toStdString(), b.title);
    // the advisor-account bar shows only in advisor mode
    EXPECT_EQ(bar->isHidden(), b.id == 186) << b.title;
    EXPECT_EQ(bar->isAreaAllowed(Qt::LeftToolBarArea), !b.top_bottom_only) << b.title;
  }
  EXPECT_EQ(f->GetPaneText(1).toStdString(), "Data Collection Off");
  EXPECT_FALSE(f->statusBar()->isHidden());

  for (int kind : kAlwaysKinds) {
    ASSERT_TRUE(app->DocTemplate(kind)) << kind;
    EXPECT_EQ(app->DocTemplate(kind)->menu_id, unsigned(IDR_CHART)) << kind;
  }
  EXPECT_FALSE(app->DocTemplate(KIND_ORDER_BOOK));  // not enabled by the live source
  for (auto [kind, resource] : {std::pair{KIND_CHART, 129u},
                                {KIND_PRICE_VOL_DIST, 184u},
                                {KIND_PAPER_ORDERS, 101u},
                                {KIND_ACCOUNTS, 245u}})
    EXPECT_EQ(app->DocTemplate(kind)->GetResourceId(), resource) << kind;
  // A window of a kind opens as a plain window under the chart menu.
  KvDocument* doc = app->DocTemplate(KIND_QUOTES)->OpenDocumentFile(QString());
  ASSERT_TRUE(doc);
  EXPECT_EQ(f->children().size(), 1u);

  EXPECT_EQ(app->Cursor(2).shape(), Qt::ArrowCursor);
  EXPECT_EQ(app->Cursor(3).shape(), Qt::CrossCursor);
  EXPECT_EQ(app->Cursor(4).shape(), Qt::ArrowCursor);
  for (int i : {0, 1, 5, 6, 7}) EXPECT_EQ(app->Cursor(i).shape(), Qt::BitmapCursor) << i;
  EXPECT_EQ(app->Cursor(8).shape(), kv_res_cursor(IDC_HAND).shape());

  EXPECT_EQ(steps, (std::vector<std::string>{"load_chart_store", "start_quote_threads",
                                             "open_default_page", "rebuild_favorites_menus",
                                             "load_events", "select_symbol_list"}));
}

// The live source's capabilities decide the optional window kinds, the
// trading bit, and Flags 0x80000 the default stream sets.
TEST_F(StartupTest, LiveSourceCapabilitiesAndFlagsDecideOptionalKindsTradingAndStreams) {
  struct Case {
    uint32_t caps;
    uint32_t flags;
    bool t_and_s, order_book, level2, pulse, trading;
    uint32_t streams;
  } cases[] = {
      {0x000, 0x00000, false, false, false, false, false, 0x11},  // none enabled
      {0x232, 0x00000, true, true, true, false, true, 0x11},
      {0x040, 0x80000, false, false, false, true, false, 0x15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caps);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    write_quote_config(c.caps);
    {
      kv_profile* p = kv_profile_open(settings_profile_key());
      kv_profile_write_int(p, SETTINGS_SECTION, "Flags", int32_t(c.flags));
      kv_profile_write_int(p, SETTINGS_SECTION, "Flags1", 0x08);
      kv_profile_close(p);
    }
    CKvChartApp* app = start();
    EXPECT_EQ(app->DocTemplate(KIND_TIME_SALES) != nullptr, c.t_and_s);
    EXPECT_EQ(app->DocTemplate(KIND_ORDER_BOOK) != nullptr, c.order_book);
    EXPECT_EQ(app->DocTemplate(KIND_LEVEL2) != nullptr, c.level2);
    EXPECT_EQ(app->DocTemplate(KIND_MARKET_PULSE) != nullptr, c.pulse);
    EXPECT_EQ((g_pref_flags1 & 0x08) != 0, c.trading);
    EXPECT_EQ(g_mqt_streams_uncharted, c.streams);
    EXPECT_EQ(g_mqt_streams_charted, c.streams);
    close_and_exit(app);
    apps_.clear();
    g_mqt_streams_uncharted = MQT_STREAMS_UNCHARTED;
    g_mqt_streams_charted = MQT_STREAMS_CHARTED;
  }
  EXPECT_TRUE(services_.boxes.empty());
}

TEST_F(StartupTest, ConfigFolderWithoutTheQuoteSourceFilesStartsAfterOneMessage) {
  CKvChartApp* app = start();
  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(services_.boxes[0].text,
            "Files missing from Config directory\nCheck your installation");
  EXPECT_EQ(services_.boxes[0].style & MB_ICONMASK, unsigned(MB_ICONSTOP));
  EXPECT_TRUE(app->MainFrame()->isVisible());
  EXPECT_EQ(app->MainFrame()->GetPaneText(1).toStdString(), "Data Collection Off");
}

TEST_F(StartupTest, SecondStartWithoutLetterBringsTheFirstForwardAndEnds) {
  write_quote_config(0);
  CKvChartApp* first = start();
  first->MainFrame()->showMinimized();
  ASSERT_TRUE(kv_wait_until([&] { return first->MainFrame()->isMinimized(); }));
  std::string profile_before = read_all(kv_profile_path(settings_profile_key()));

  CKvChartApp second;
  EXPECT_FALSE(second.InitInstance(nullptr));
  EXPECT_TRUE(kv_wait_until([&] { return !first->MainFrame()->isMinimized(); }));
  EXPECT_EQ(second.ExitInstance(), 0);
  EXPECT_EQ(theApp, first);
  EXPECT_EQ(read_all(kv_profile_path(settings_profile_key())), profile_before);
  EXPECT_TRUE(services_.boxes.empty());
}

TEST_F(StartupTest, OneRunPerLetterAndEachLetterHasItsOwnProfile) {
  write_quote_config(0);
  CKvChartApp* b = start("-xB");
  b->MainFrame()->showMinimized();
  ASSERT_TRUE(kv_wait_until([&] { return b->MainFrame()->isMinimized(); }));

  // The same letter again ends silently and leaves the first alone.
  CKvChartApp again;
  EXPECT_FALSE(again.InitInstance("-xB"));
  kv_pump_events(50);
  EXPECT_TRUE(b->MainFrame()->isMinimized());
  EXPECT_TRUE(services_.boxes.empty());
  // Another letter may run beside it.
  {
    CKvChartApp other;
    EXPECT_TRUE(other.ActivatePreviousInstance(QStringLiteral("OstrelanC"), true));
  }

  g_pref_flags = 0x1000;
  close_and_exit(b);
  reset_settings();
  CKvChartApp* c = start("-xC");
  g_pref_flags = 0x2000;
  close_and_exit(c);

  kv_profile* pb = kv_profile_open("Software\\OstrelanB\\Korvane");
  kv_profile* pc = kv_profile_open("Software\\OstrelanC\\Korvane");
  ASSERT_TRUE(pb && pc);
  EXPECT_EQ(kv_profile_get_int(pb, SETTINGS_SECTION, "Flags", 0), 0x1000);
  EXPECT_EQ(kv_profile_get_int(pc, SETTINGS_SECTION, "Flags", 0), 0x2000);
  kv_profile_close(pb);
  kv_profile_close(pc);
  EXPECT_FALSE(kv_file_exists(kv_profile_path("Software\\Ostrelan\\Korvane").c_str()));
}

// An unusable data root refuses the start; nothing that was never loaded
// is written back, and what exists is still freed.
TEST_F(StartupTest, RefusedStartLeavesProfileAndPagesFileByteForByte) {
  write_quote_config(0);
  set_hooks();
  CKvChartApp* first = start();
  close_and_exit(first);
  apps_.clear();
  write_data("CONFIG/pages.kvc", std::string("PAGE\0\x01\x02layout", 13));
  const std::string profile_path = kv_profile_path(settings_profile_key());
  const std::string profile_before = read_all(profile_path);
  const std::string pages_before = read_all(data_file("CONFIG/pages.kvc"));
  ASSERT_FALSE(profile_before.empty());

  root_.write("not-a-folder", "x");
  setenv("KORVANE_INSTALLDIR", root_.file("not-a-folder/korvane").c_str(), 1);
  steps.clear();
  services_.boxes.clear();
  CKvChartApp refused;
  EXPECT_FALSE(refused.InitInstance(nullptr));
  refused.ExitInstance();
  unsetenv("KORVANE_INSTALLDIR");

  ASSERT_EQ(services_.boxes.size(), 1u);
  EXPECT_EQ(read_all(profile_path), profile_before);
  EXPECT_EQ(read_all(data_file("CONFIG/pages.kvc")), pages_before);
  EXPECT_EQ(steps, (std::vector<std::string>{"free_miscellaneous_memory", "close_help",
                                             "free_study_libraries", "free_events"}));
}

TEST_F(StartupTest, SavedRectangleOrDefaultSize) {
  write_quote_config(0);
  CKvChartApp* app = start();
  QRect r = app->MainFrame()->geometry();
  EXPECT_GE(r.width(), 800);  // no saved rectangle: a default size, not a sliver
  EXPECT_GE(r.height(), 560);
  close_and_exit(app);
  apps_.clear();

  kv_profile* p = kv_profile_open(settings_profile_key());
  kv_profile_write_string(p, SETTINGS_SECTION, "Position",
                          "10 20 500 650");  // left top bottom right
  kv_profile_close(p);
  reset_settings();
  app = start();
  EXPECT_EQ(app->MainFrame()->geometry(), QRect(10, 20, 640, 480));
}

// The playback record stored by Playback Setup sets the playback up at the
// start: the playback commands serve its symbol without the dialog. Its
// rate waits for the speed commands.
TEST_F(StartupTest, StoredPlaybackRecordIsThePlaybackOfTheRun) {
  write_quote_config(0);
  PlaybackData d{};
  snprintf(d.name, sizeof d.name, "ES");
  d.start = 86400u * 20000 + 9 * 3600 + 30 * 60;
  d.day_offset = 2;
  d.rate = 40;
  for (int i = 0; i < PLAYBACK_SESSIONS; i++) d.range_start[i] = d.range_stop[i] = -1;
  d.range_start[0] = 10 * 3600;
  d.range_stop[0] = 11 * 3600;
  uint8_t bytes[PBD_SIZE];
  playback_data_encode(&d, bytes);
  kv_profile* p = kv_profile_open(settings_profile_key());
  kv_profile_write_binary(p, SETTINGS_SECTION, "PlaybackData", bytes, sizeof bytes);
  kv_profile_close(p);
  g_playback = playback_settings{};
  set_playback_speed(3);

  start();
  EXPECT_STREQ(g_playback.symbol, "ES");
  EXPECT_EQ(g_playback.days_to_skip, 2);
  EXPECT_EQ(g_playback.start_time, 9 * 3600 + 30 * 60);
  EXPECT_EQ(g_playback.sessions[0][0], 10 * 3600);
  EXPECT_EQ(g_playback.sessions[0][1], 11 * 3600);
  EXPECT_EQ(g_playback.sessions[1][0], -1);
  EXPECT_EQ(playback_speed(), 3);
  g_playback = playback_settings{};
}

TEST_F(StartupTest, ReadMeFirstIsShownOnceThenBecomesTheHelpMenusReadMe) {
  write_quote_config(0);
  write_data("HELP/ReadMe.first", "Welcome to Korvane\r\nSecond line\r\n");
  int readme_shown = 0;
  std::vector<std::string> lines;
  int selected = 0;
  auto answer = [&](QWidget* m) {
    if (auto* d = dynamic_cast<CReadMeDlg*>(m)) {
      readme_shown++;
      for (int i = 0; i < d->List()->GetCount(); i++)
        lines.push_back(d->List()->GetText(i).toStdString());
      selected = d->List()->GetSelCount();
    }
    static_cast<QDialog*>(m)->done(IDOK);
  };
  kv_when_modal(answer);
  CKvChartApp* app = start();
  EXPECT_EQ(readme_shown, 1);
  EXPECT_EQ(lines, (std::vector<std::string>{"Welcome to Korvane", "Second line"}));
  EXPECT_EQ(selected, 2);
  EXPECT_FALSE(kv_file_exists(data_file("HELP/ReadMe.first").c_str()));
  EXPECT_EQ(read_all(data_file("HELP/ReadMe.txt")), "Welcome to Korvane\r\nSecond line\r\n");
  close_and_exit(app);
  apps_.clear();

  kv_when_modal(answer);
  reset_settings();
  start();
  EXPECT_EQ(readme_shown, 1);
  // Use up the waiting answer on a dialog of our own.
  QDialog sink;
  sink.exec();
  EXPECT_EQ(readme_shown, 1);
}

}  // namespace
