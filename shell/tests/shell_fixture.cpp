#include "shell/tests/shell_fixture.h"

#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "data/chart.h"
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
#include "res/resource.h"
#include "shell/app.h"
#include "shell/app_hooks.h"
#include "settings/settings.h"
#include "shell/core/pagefile.h"
#include "shell/core/settingsio.h"
#include "shell/windowdoc.h"
#include "shell/mainfrm.h"

std::vector<std::string> ShellTest::steps;

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool window_through_page(CKvWindowDoc* doc, page_list* back) {
  page_list l{};
  WindowDescriptor* d = new_descriptor();
  doc->FillWindowDescriptor(d);
  page_list_append(&l, d);
  std::string image;
  build_pages_file(&l, &image);
  page_list_free(&l);  // before the window goes: the descriptor lends its studies
  *back = page_list{};
  return parse_pages_file((const uint8_t*)image.data(), image.size(), back) == PAGE_READ_OK &&
         back->head;
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
  // As the program's start: the icon theme and the resource images, so
  // that windows show the icons a user sees.
  kv_res_install();
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

namespace {

void put16(std::string& s, size_t at, uint16_t v) {
  s[at] = char(v & 0xFF), s[at + 1] = char(v >> 8);
}
void put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) s[at + i] = char((v >> (8 * i)) & 0xFF);
}
void putf(std::string& s, size_t at, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  put32(s, at, v);
}
uint32_t get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; i++) v |= uint32_t((unsigned char)s[at + i]) << (8 * i);
  return v;
}

// Days since 1970-01-01 of a civil date.
int64_t days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
int ymd_of_day(int64_t z) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400, doy = doe - (365 * yoe + yoe / 4 - yoe / 100),
          mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1, m = mp + (mp < 10 ? 3 : -9);
  return int((y + (m <= 2)) * 10000 + m * 100 + d);
}

}  // namespace

std::vector<fixture_bar> wave_bars(int n, float base) {
  std::vector<fixture_bar> out;
  for (int i = 0; i < n; i++) {
    float mid = base + 4.0f * std::sin(i * 0.12f) + i * 0.03f;
    bool up = (i % 2) == 0;
    float open = up ? mid - 0.4f : mid + 0.4f, close = up ? mid + 0.4f : mid - 0.4f;
    out.push_back({open, mid + 0.7f, mid - 0.7f, close, 1000 + (i * 37) % 4000});
  }
  return out;
}

void ShellTest::write_price_file(const char* symbol, int unit, const std::vector<fixture_bar>& bars,
                                 const char* description) {
  std::string image(256 + 32 * bars.size(), '\0');
  put16(image, 0, 0);
  put16(image, 2, 7);
  put32(image, 4, 0x9AE5E1A5u);
  strncpy(&image[8], symbol, 31);
  strncpy(&image[40], description, 59);
  put32(image, 100, (uint32_t)unit);
  put32(image, 104, (uint32_t)bars.size());
  int64_t day = days_from_civil(2026, 1, 5);
  std::vector<int64_t> times;
  for (size_t i = 0; i < bars.size(); i++) {
    if (unit >= TU_DAILY) {
      while ((day + 4) % 7 == 6 || (day + 4) % 7 == 0) day++;  // weekends
      times.push_back(day * 86400);
      day++;
    } else {
      times.push_back(days_from_civil(2026, 1, 5) * 86400 + 34200 + 60 * (int64_t)i * unit);
    }
  }
  put32(image, 108, (uint32_t)ymd_of_day(times.front() / 86400));
  put32(image, 112, (uint32_t)ymd_of_day(times.back() / 86400));
  uint32_t sum = 0x9AE5E1A5u;
  for (size_t off = 0; off <= 248; off += 4) sum += get32(image, off);
  put32(image, 252, sum);
  for (size_t i = 0; i < bars.size(); i++) {
    size_t p = 256 + 32 * i;
    putf(image, p + 0, bars[i].open);
    putf(image, p + 4, bars[i].high);
    putf(image, p + 8, bars[i].low);
    putf(image, p + 12, bars[i].close);
    put32(image, p + 16, (uint32_t)bars[i].volume);
    put32(image, p + 24, BAR_VOLUME_VALID);
    put32(image, p + 28, (uint32_t)times[i]);
  }
  const char* ext = unit == TU_DAILY     ? "dyd"
                    : unit == TU_WEEKLY  ? "wyd"
                    : unit == TU_MONTHLY ? "myd"
                                         : "1min";
  write_data((std::string("DATA/") + symbol + "." + ext).c_str(), image);
}
