#include "shell/tests/shell_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "data/cmdline.h"
#include "data/debugtrace.h"
#include "data/mainwnd.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/qt/test_harness.h"
#include "platform/messages.h"
#include "platform/qt/wnd.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "settings/settings.h"
#include "shell/core/settingsio.h"
#include "shell/mainfrm.h"

std::vector<std::string> ShellTest::steps;

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void ShellTest::SetUp() {
  TempRootTest::SetUp();
  kv_test_app();
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  cwd_ = cwd;
  unsetenv("KORVANE_INSTALLDIR");
  set_profile_company("");
  g_instance_letter = 0;
  g_option_flags = 0;
  reset_settings();
  g_shell_hooks = shell_hooks{};
  // The quote threads would poll and post status lines of their own into
  // the windows under test; tests that want them set their own hook.
  g_shell_hooks.start_quote_threads = [] {};
  steps.clear();
  g_program_exiting = 0;
  g_mqt_streams_uncharted = MQT_STREAMS_UNCHARTED;
  g_mqt_streams_charted = MQT_STREAMS_CHARTED;
  free_srcdata_cfg();
  free_quote_source_cfgs();
}

void ShellTest::TearDown() {
  for (auto& app : apps_) app->ExitInstance();
  apps_.clear();
  kv_flush_posted();
  g_shell_hooks = shell_hooks{};
  g_program_exiting = 0;
  g_mqt_streams_uncharted = MQT_STREAMS_UNCHARTED;
  g_mqt_streams_charted = MQT_STREAMS_CHARTED;
  free_srcdata_cfg();
  free_quote_source_cfgs();
  ASSERT_EQ(chdir(cwd_.c_str()), 0);
  TempRootTest::TearDown();
}

void ShellTest::write_data(const char* rel, const std::string& text) const {
  root_.write((std::string(".local/share/korvane/") + rel).c_str(), text);
}

void ShellTest::write_quote_config(uint32_t caps) {
  write_data("CONFIG/srcdata.cfg",
             "HISTORIC_DAILY 1\n  daily daily.cfg\n"
             "HISTORIC_WEEKLY 1\n  weekly weekly.cfg\n"
             "HISTORIC_MONTHLY 1\n  monthly monthly.cfg\n"
             "MULTIQUOTE 1\n  live live.cfg\n");
  for (const char* f : {"CONFIG/daily.cfg", "CONFIG/weekly.cfg", "CONFIG/monthly.cfg"})
    write_data(f, "# history source\nexchange_times 9:30 16:00\n");
  char live[128];
  snprintf(live, sizeof live, "router_capabilities 0x%x\nexchange_times 9:30 16:00\n", caps);
  write_data("CONFIG/live.cfg", live);
}

CKvChartApp* ShellTest::start(const char* command_line) {
  apps_.push_back(std::make_unique<CKvChartApp>());
  CKvChartApp* app = apps_.back().get();
  EXPECT_TRUE(app->InitInstance(command_line));
  // What the start posted (the page's "Open Page" line) arrives first.
  kv_flush_posted();
  return app;
}

void ShellTest::close_and_exit(CKvChartApp* app) {
  ASSERT_TRUE(app->MainFrame());
  kv_hwnd wnd = hmainwnd.load();
  app->MainFrame()->close();
  // A recording program_exit starts no exit thread: report its end here.
  if (g_shell_hooks.program_exit) kv_post_message(wnd, WM_THREAD_IS_DEAD, 0, 0, nullptr);
  ASSERT_TRUE(kv_wait_until([&] { return app->MainFrame()->closed(); }, 10000));
  app->ExitInstance();
}

void ShellTest::set_hooks() {
  shell_hooks& h = g_shell_hooks;
  h.start_quote_threads = [] { steps.push_back("start_quote_threads"); };
  h.program_exit = [] {
    steps.push_back(g_program_exiting ? "program_exit" : "program_exit before exiting was set");
  };
  h.write_open_orders = [] {
    steps.push_back(g_program_exiting ? "write_open_orders after exiting was set"
                                      : "write_open_orders");
  };
  h.load_chart_store = [] {
    steps.push_back("load_chart_store");
    return 1;
  };
  h.save_chart_store = [] { steps.push_back("save_chart_store"); };
  h.rebuild_favorites_menus = [] { steps.push_back("rebuild_favorites_menus"); };
  h.open_default_page = [] { steps.push_back("open_default_page"); };
  h.save_all_modified = [] { steps.push_back("save_all_modified"); };
  h.close_page = [] {
    steps.push_back(hmainwnd.load() ? "close_page with hmainwnd set" : "close_page");
  };
  h.write_pages_file = [] { steps.push_back("write_pages_file"); };
  h.load_events = [] { steps.push_back("load_events"); };
  h.free_events = [] { steps.push_back("free_events"); };
  h.select_symbol_list = [](const char*) { steps.push_back("select_symbol_list"); };
  h.free_study_libraries = [] { steps.push_back("free_study_libraries"); };
  h.free_miscellaneous_memory = [] { steps.push_back("free_miscellaneous_memory"); };
  h.close_help = [] { steps.push_back("close_help"); };
}
