// The two-staged close and the shut-down, and the messages the workers
// post to the main window.
#include <QCheckBox>
#include <QStatusBar>
#include <QToolBar>
#include <cstdlib>
#include <cstring>

#include "data/mainwnd.h"
#include "platform/messages.h"
#include "platform/qt/controls.h"
#include "platform/profile.h"
#include "platform/qt/test_harness.h"
#include "platform/qt/wnd.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "settings/settings.h"
#include "shell/core/settingsio.h"
#include "shell/mainfrm.h"
#include "shell/statusmsg.h"
#include "shell/tests/shell_fixture.h"

namespace {

using CloseTest = ShellTest;

void post_text(unsigned message, kv_wparam flags, const char* text) {
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), message, flags, kv_lparam(strdup(text)),
                              kv_release_free_lparam));
}

// Closing the main window: the first close while the workers stop, a
// second request that changes nothing, then the final close and the exit
// in their order.
TEST_F(CloseTest, CloseRunsFirstCloseThenFinalCloseAndExitInOrder) {
  write_quote_config(0);
  set_hooks();
  CKvChartApp* app = start();
  CKvMainFrame* f = app->MainFrame();
  int update_rounds = 0;
  app->MapCommand(ID_UPDATE_ALL_NOW, [&] { update_rounds++; });
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_MQT_DONE, 0, 0, nullptr));
  kv_flush_posted();
  EXPECT_EQ(update_rounds, 1);
  f->GetControlBar(ID_PLAYBACK_BAR)->hide();
  steps.clear();

  f->close();
  EXPECT_TRUE(f->isVisible());
  EXPECT_TRUE(f->exiting());
  EXPECT_EQ(g_program_exiting.load(), 1);
  f->close();  // a second request while the workers stop
  // The window still handles messages; a quote cycle that ends now starts
  // no update round.
  kv_hwnd wnd = hmainwnd.load();
  ASSERT_NE(wnd, kv_hwnd(0));
  post_text(WM_STATUS_MSG, 8, "still here");
  ASSERT_TRUE(kv_post_message(wnd, WM_MQT_DONE, 0, 0, nullptr));
  kv_flush_posted();
  EXPECT_EQ(f->GetPaneText(0).toStdString(), "still here");
  EXPECT_EQ(update_rounds, 1);
  EXPECT_EQ(steps, (std::vector<std::string>{"write_open_orders", "program_exit"}));

  // The exit thread reports twice (a second report must change nothing).
  ASSERT_TRUE(kv_post_message(wnd, WM_THREAD_IS_DEAD, 0, 0, nullptr));
  kv_post_message(wnd, WM_THREAD_IS_DEAD, 0, 0, nullptr);
  kv_flush_posted();
  EXPECT_TRUE(f->closed());
  EXPECT_FALSE(f->isVisible());
  EXPECT_EQ(hmainwnd.load(), kv_hwnd(0));
  {
    kv_profile* p = kv_profile_open(settings_profile_key());
    std::vector<uint8_t> state;
    EXPECT_TRUE(kv_profile_get_binary(p, "Toolbar", "BarState", &state));
    kv_profile_close(p);
  }
  EXPECT_EQ(g_settings.PlaybackBar, 0);
  EXPECT_EQ(g_settings.ToolBar, 1);
  EXPECT_EQ(g_settings.DrawBar, 1);
  EXPECT_EQ(g_settings.StatusBar, 1);
  EXPECT_EQ(steps, (std::vector<std::string>{"write_open_orders", "program_exit", "close_page",
                                             "save_all_modified"}));

  app->ExitInstance();
  EXPECT_EQ(steps, (std::vector<std::string>{"write_open_orders", "program_exit", "close_page",
                                             "save_all_modified", "write_pages_file",
                                             "save_chart_store", "free_miscellaneous_memory",
                                             "close_help", "free_study_libraries", "free_events"}));
  kv_profile* p = kv_profile_open(settings_profile_key());
  EXPECT_EQ(kv_profile_get_string(p, SETTINGS_SECTION, "PlaybackBar", ""), "N");
  EXPECT_EQ(kv_profile_get_string(p, SETTINGS_SECTION, "ToolBar", ""), "Y");
  kv_profile_close(p);
}

// Without the quote threads' exit, the first close ends the workers that
// exist itself and the final close follows.
TEST_F(CloseTest, WithoutQuoteThreadsTheCloseEndsTheWorkersItself) {
  write_quote_config(0);
  CKvChartApp* app = start();
  app->MainFrame()->close();
  ASSERT_TRUE(kv_wait_until([&] { return app->MainFrame()->closed(); }, 10000));
  EXPECT_EQ(hmainwnd.load(), kv_hwnd(0));
}

// The status flags of WM_STATUS_MSG: 8 pane 0, 4 show the status bar
// first, 2 add to the status messages, 1 also show their window.
TEST_F(CloseTest, StatusMessageFlagsReachPaneListAndWindow) {
  write_quote_config(0);
  CKvChartApp* app = start();
  CKvMainFrame* f = app->MainFrame();
  CStatusMsgDlg* dlg = app->StatusMsgDlg();
  ASSERT_TRUE(dlg);
  struct Case {
    kv_wparam flags;
    bool bar_shown, in_pane, in_list, window_shown;
  } cases[] = {
      {14, true, true, true, false},
      {2, false, false, true, false},
      {8, false, true, false, false},
      {3, false, false, true, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    f->statusBar()->hide();
    f->SetPaneText(0, QString());
    if (app->m_app_flags & APP_STATUS_VISIBLE) app->OnViewStatusMsg();
    int before = dlg->List()->GetCount();
    std::string text = "line " + std::to_string(++n);
    post_text(WM_STATUS_MSG, c.flags, text.c_str());
    kv_flush_posted();
    EXPECT_EQ(!f->statusBar()->isHidden(), c.bar_shown);
    EXPECT_EQ(f->GetPaneText(0).toStdString() == text, c.in_pane);
    EXPECT_EQ(dlg->List()->GetCount(), before + (c.in_list ? 1 : 0));
    if (c.in_list) {
      EXPECT_EQ(dlg->List()->GetText(dlg->List()->GetCount() - 1).toStdString(), text);
    }
    EXPECT_EQ(dlg->isVisible(), c.window_shown);
    EXPECT_EQ((app->m_app_flags & APP_STATUS_VISIBLE) != 0, c.window_shown);
  }
  // The window's Close button and View/Status Messages both toggle it.
  ASSERT_TRUE(dlg->isVisible());
  kv_click(dlg, IDC_STATUS_CLOSE);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_FALSE(app->m_app_flags & APP_STATUS_VISIBLE);
  EXPECT_TRUE(app->MainFrame()->RouteCommand(ID_VIEW_STATUS_MSG));
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_TRUE(app->m_app_flags & APP_STATUS_VISIBLE);
  kv_click(dlg, IDC_STATUS_CLEAR);
  EXPECT_EQ(dlg->List()->GetCount(), 0);
}

TEST_F(CloseTest, SixthStatusLineShowsLinesTwoToSixAndTheListHasNoLimit) {
  write_quote_config(0);
  CKvChartApp* app = start();
  CStatusMsgDlg* dlg = app->StatusMsgDlg();
  app->OnViewStatusMsg();
  CStatusMsgList* list = dlg->List();
  list->ResetContent();  // the start's "Open Page" line
  for (int i = 1; i <= 5; i++) AddAppStatusMsg(0, ("line " + std::to_string(i)).c_str());
  // A list five lines high.
  list->setFixedHeight(list->fontMetrics().height() * 5 + 12 + 2 * list->frameWidth());
  kv_pump_events(20);
  ASSERT_EQ(list->VisibleRows(), 5);
  EXPECT_EQ(list->GetTopIndex(), 0);
  AddAppStatusMsg(0, "line 6");
  EXPECT_EQ(list->GetTopIndex(), 1);  // lines 2 to 6
  EXPECT_EQ(list->GetText(1).toStdString(), "line 2");
  for (int i = 7; i <= 3000; i++) AddAppStatusMsg(0, ("line " + std::to_string(i)).c_str());
  EXPECT_EQ(list->GetCount(), 3000);
  EXPECT_EQ(list->GetTopIndex(), 2995);  // the newest in view
  // A taller window shows more lines, still ending with the newest.
  list->setFixedHeight(list->fontMetrics().height() * 10 + 22 + 2 * list->frameWidth());
  kv_pump_events(20);
  AddAppStatusMsg(0, "line 3001");
  EXPECT_EQ(list->GetTopIndex() + list->VisibleRows(), 3001);
}

TEST_F(CloseTest, ShowChecksFollowFlagsAndClearingInfoTakesEffectAtOnce) {
  write_quote_config(0);
  CKvChartApp* app = start();
  CStatusMsgDlg* dlg = app->StatusMsgDlg();
  g_pref_flags = 0x2000 | 0x4000 | 0x1;  // Info and Warnings on, and a bit of another meaning
  app->OnViewStatusMsg();
  ASSERT_TRUE(dlg->isVisible());
  EXPECT_TRUE(dlg->Item<QCheckBox>(IDC_SHOW_INFO)->isChecked());
  EXPECT_TRUE(dlg->Item<QCheckBox>(IDC_SHOW_WARNINGS)->isChecked());
  EXPECT_FALSE(dlg->Item<QCheckBox>(IDC_SHOW_ALERTS)->isChecked());
  // The window is open: the bit the senders read changes with the click.
  ASSERT_TRUE(kv_set_check(dlg, IDC_SHOW_INFO, false));
  EXPECT_EQ(g_pref_flags, 0x4000u | 0x1);
  ASSERT_TRUE(kv_set_check(dlg, IDC_SHOW_ALERTS, true));
  EXPECT_EQ(g_pref_flags, 0x4000u | 0x1000 | 0x1);
  // Shown again, the checks come from the flags.
  app->OnViewStatusMsg();
  g_pref_flags = 0x2000;
  app->OnViewStatusMsg();
  EXPECT_TRUE(dlg->Item<QCheckBox>(IDC_SHOW_INFO)->isChecked());
  EXPECT_FALSE(dlg->Item<QCheckBox>(IDC_SHOW_WARNINGS)->isChecked());
}

TEST_F(CloseTest, MissingReadMeGivesEmptyListAndOneStatusMessageNamingThePath) {
  write_quote_config(0);
  CKvChartApp* app = start();
  app->StatusMsgDlg()->List()->ResetContent();  // the start's "Open Page" line
  int rows = -1;
  kv_when_modal([&](QWidget* m) {
    if (auto* d = dynamic_cast<CReadMeDlg*>(m)) rows = d->List()->GetCount();
    static_cast<QDialog*>(m)->done(IDOK);
  });
  EXPECT_TRUE(app->MainFrame()->RouteCommand(ID_HELP_README));
  EXPECT_EQ(rows, 0);
  CStatusMsgList* list = app->StatusMsgDlg()->List();
  ASSERT_EQ(list->GetCount(), 1);
  EXPECT_EQ(list->GetText(0).toStdString(),
            "CFileException::fileNotFound(2) for " + data_file("HELP/ReadMe.txt"));
}

TEST_F(CloseTest, WorkerMessagesAfterTheCloseBeganAndBrokerClose) {
  write_quote_config(0);
  CKvChartApp* app = start();
  int collection_toggles = 0;
  app->MapCommand(32858, [&] { collection_toggles++; });
  // The broker connection closed while collecting: collection goes off.
  g_cont_update = 1;
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_TWS_SOCKET, 0, 32, nullptr));
  kv_flush_posted();
  EXPECT_EQ(collection_toggles, 1);
  g_cont_update = 0;
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_TWS_SOCKET, 0, 32, nullptr));
  kv_flush_posted();
  EXPECT_EQ(collection_toggles, 1);
  // Collection state in pane 1.
  g_cont_update = 1;
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_CONT_UPDATE_STATUS, 0, 0, nullptr));
  kv_flush_posted();
  EXPECT_EQ(app->MainFrame()->GetPaneText(1).left(19).toStdString(), "Data Collection On ");
  g_cont_update = 0;
  ASSERT_TRUE(kv_post_message(hmainwnd.load(), WM_CONT_UPDATE_STATUS, 0, 0, nullptr));
  kv_flush_posted();
  EXPECT_EQ(app->MainFrame()->GetPaneText(1).toStdString(), "Data Collection Off");
}

}  // namespace
