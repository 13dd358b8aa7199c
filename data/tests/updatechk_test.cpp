// The update check: the clock from a daytime server, the version check
// against an update server, the events file, all served on the loopback
// address.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/dates.h"
#include "data/events.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/statmsg.h"
#include "data/tests/http_test_server.h"
#include "data/updatechk.h"
#include "data/version.h"
#include "data/webimport.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/thread.h"
#include "platform/testing/fixture.h"
#include "platform/testing/wait.h"
#include "settings/settings.h"

namespace {

// Stands in for the main frame: keeps the status lines and the update
// texts it is sent, and frees them as the frame does.
struct FrameCapture {
  std::vector<std::string> status;
  std::vector<int> levels;
  std::vector<std::string> updates;
  std::vector<kv_wparam> update_wparams;
  kv_hwnd wnd = 0, previous = 0;

  FrameCapture() {
    kv_dispatch_posted(-1);
    wnd = kv_window_create(&FrameCapture::handler, this);
    previous = hmainwnd.exchange(wnd);
  }
  ~FrameCapture() {
    hmainwnd.store(previous);
    kv_window_destroy(wnd);
  }
  void pump() { kv_dispatch_posted(-1); }
  // A status line holding part (and also when given) at the level (any
  // when -1).
  bool saw(const std::string &part, int level = -1, const std::string &also = "") {
    pump();
    for (size_t i = 0; i < status.size(); i++)
      if (status[i].find(part) != std::string::npos && status[i].find(also) != std::string::npos &&
          (level < 0 || levels[i] == level))
        return true;
    return false;
  }
  static kv_lresult handler(void *ctx, kv_hwnd, unsigned message, kv_wparam wparam,
                            kv_lparam lparam) {
    FrameCapture *self = static_cast<FrameCapture *>(ctx);
    if (message == WM_STATUS_MSG) {
      self->status.emplace_back((const char *)lparam);
      self->levels.push_back((int)wparam);
      statmsg_free_text((void *)lparam);
    } else if (message == WM_PROGRAM_UPDATES) {
      self->updates.emplace_back((const char *)lparam);
      self->update_wparams.push_back(wparam);
      free((void *)lparam);
    }
    return 0;
  }
};

// The answer's numbers written relative to this build: "B" stands for its
// build number, "B+1" for the next.
std::string relative_to_build(const char *text) {
  std::string out = text;
  std::string b = std::to_string(get_build_number()), next = std::to_string(get_build_number() + 1);
  for (size_t at; (at = out.find("B+1")) != std::string::npos;) out.replace(at, 3, next);
  for (size_t at; (at = out.find('B')) != std::string::npos;) out.replace(at, 1, b);
  return out;
}

class UpdateCheckTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    snprintf(g_data_root, sizeof g_data_root, "%s", root_.path().c_str());
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    canned_reply daytime;
    daytime.raw = true;
    daytime.body = "\n54173 07-01-05 13:45:10 00 0 0 718.2 UTC(NIST) * \n";
    daytime_.on_any(daytime);
    g_inet_daytime_port = daytime_.port();
    snprintf(g_calendar_server, sizeof g_calendar_server, "%s", web_.url("").c_str());
    g_inet_session = inet_open_session();
    // 5 January 2007: the events file takes one calendar week.
    kv_clock_set_local_offset(0);
    kv_clock_set_utc_ms(date_to_seconds(20070105, 12 * 3600) * 1000);
  }
  void TearDown() override {
    inet_close_session(g_inet_session);
    g_inet_session = nullptr;
    g_inet_daytime_port = INET_DAYTIME_PORT;
    free_srcdata_cfg();
    free_quote_source_cfgs();
    kv_clock_reset();
    reset_settings();
    TempRootTest::TearDown();
  }
  // srcdata.cfg naming the live-quote source, whose file holds the given
  // header keys, and the servers.
  void configure(const std::string &keys, const std::string &time_servers = "127.0.0.2;127.0.0.1",
                 const std::string &reg_server = "") {
    std::string src = "MULTIQUOTE 1\n  relay relay.cfg\nTIME_SERVER " + time_servers + "\n";
    src += "REG_SERVER " + (reg_server.empty() ? web_.url("/upd/") : reg_server) + "\n";
    src += "UPDATE_SERVER http://example.invalid/download\n";
    root_.write("CONFIG/srcdata.cfg", src);
    root_.write("CONFIG/relay.cfg", keys + "router_name QRelay\n[MAIN]\n");
  }
  void answer(const std::string &body, int status = 200) {
    canned_reply r;
    r.status = status;
    r.body = body;
    web_.on("/upd/vcheck.cgi", r);
  }
  std::vector<std::string> version_requests() {
    std::vector<std::string> out;
    for (const std::string &r : web_.requests())
      if (r.find("vcheck.cgi") != std::string::npos) out.push_back(r.substr(0, r.find(" HTTP/")));
    return out;
  }

  http_test_server web_, daytime_;
};

TEST(DaytimeLineTest, DateAndTimeOfTheLine) {
  struct Case {
    const char *line;
    int ok;
    int date, seconds;
  } cases[] = {
      {"54173 07-01-05 13:45:10 00 0 0 718.2 UTC(NIST) *", 1, 20070105, 13 * 3600 + 45 * 60 + 10},
      {"61000 26-12-10 23:59:59 UTC", 1, 20261210, 86399},
      {"x 08-02-29,1:2:3 UTC", 1, 20080229, 3723},             // a comma before the time
      {"x 09:03:01.\t07:08:09 UTC", 1, 20090301, 25689},       // colons and a dot in the date
      {"54173 07-01-05 13:45:10 00 0 0 718.2 NIST", 0, 0, 0},  // no "UTC"
      {"54173 07-13-05 13:45:10 UTC", 0, 0, 0},                // month 13
      {"54173 07-02-29 13:45:10 UTC", 0, 0, 0},                // 2007 has no 29 February
      {"54173 07-01-05 24:00:00 UTC", 0, 0, 0},
      {"54173 2007-01-05 13:45:10 UTC", 0, 0, 0},  // a four-digit year
      {"54173 07-01-05 13:45 UTC", 0, 0, 0},       // no seconds
      {"UTC", 0, 0, 0},
      {"", 0, 0, 0},
  };
  for (const Case &c : cases) {
    int64_t t = -1;
    EXPECT_EQ(parse_daytime_line(c.line, &t), c.ok) << c.line;
    if (c.ok) EXPECT_EQ(t, date_to_seconds(c.date, c.seconds)) << c.line;
  }
}

TEST_F(UpdateCheckTest, ClockIsSetFromTheFirstServerThatAnswers) {
  configure("no_update_chk\n");
  services_.allow_clock = 1;
  FrameCapture frame;
  updatechk_thread();
  EXPECT_EQ(g_updatechk_done.load(), 1);
  ASSERT_EQ(services_.clock_sets.size(), 1u);
  EXPECT_EQ(services_.clock_sets[0], date_to_seconds(20070105, 13 * 3600 + 45 * 60 + 10));
  EXPECT_TRUE(frame.saw("Contacting time server: ", 10, "127.0.0.2"));  // nothing listens there
  EXPECT_TRUE(frame.saw("Contacting time server: ", 10, "127.0.0.1"));
  EXPECT_TRUE(frame.saw("Syncing time with NIS atomic clock", 10));
  EXPECT_FALSE(frame.saw("Setting local clock failed!"));
  EXPECT_TRUE(version_requests().empty());
}

TEST_F(UpdateCheckTest, RefusedClockAndUnreachableServersAreReported) {
  configure("no_update_chk\n");
  FrameCapture frame;
  updatechk_thread();  // the clock service refuses by default
  EXPECT_TRUE(frame.saw("Setting local clock failed!", 10));

  free_srcdata_cfg();
  configure("no_update_chk\n", "127.0.0.2; 127.0.0.3");
  updatechk_thread();
  EXPECT_TRUE(frame.saw("Unable to contact Time Server", 10));

  free_srcdata_cfg();
  root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
  updatechk_thread();
  EXPECT_TRUE(frame.saw("TIME_SERVER url not in srcdata.cfg", 10));
}

TEST_F(UpdateCheckTest, ClockSyncSwitchedOffStillChecksTheVersion) {
  answer("4000 korvane.exe\n7 config.id\n");
  for (int by_pref : {0, 1}) {
    free_quote_source_cfgs();
    configure(by_pref ? "" : "no_clock_sync\n");
    g_pref_flags = by_pref ? 0x8000000 : 0;
    services_.allow_clock = 1;
    FrameCapture frame;
    updatechk_thread();
    EXPECT_FALSE(frame.saw("Contacting time server")) << by_pref;
    EXPECT_TRUE(services_.clock_sets.empty());
    EXPECT_TRUE(frame.saw("Program and configuration are current", 14)) << by_pref;
  }
  // The query carries this program's own build number.
  std::string query = "GET /upd/vcheck.cgi?b=" + std::to_string(get_build_number());
  EXPECT_GT(get_build_number(), 5813086);  // built after 14 November 2008
  EXPECT_EQ(version_requests(), (std::vector<std::string>{query, query}));
}

TEST_F(UpdateCheckTest, VersionAnswers) {
  const char program[] = "New program version is available at:\nhttp://example.invalid/download\n";
  const char config[] =
      "New program configuration update is available at:\nhttp://example.invalid/download\n";
  struct Case {
    const char *body;  // "B" is this build's number
    int status;
    const char *config_id;  // null: no file
    const char *update;     // text posted, or null
    const char *line;       // status line
  } cases[] = {
      {"B+1 korvane.exe\n9 config.id\n", 200, "3", program, "New program version available"},
      {"B korvane.exe\n9 config.id\n", 200, "3 2007-01-01\n", config,
       "New configuration update available"},
      {"4000 korvane.exe\n9 config.id\n", 200, "3", config, "New configuration update available"},
      {"B korvane.exe\n9 config.id\n", 200, "9", nullptr, "Program and configuration are current"},
      {"B korvane.exe\n9 config.id\n", 200, "0", nullptr, "Program and configuration are current"},
      {"B korvane.exe\n9 config.id\n", 200, nullptr, nullptr,
       "Program and configuration are current"},
      {"B+1 other.exe\n9 config.id\n", 200, "3", nullptr,
       "Unable to get update information from server"},
      {"B+1 korvane.exe\n", 200, "3", nullptr, "Unable to get update information from server"},
      {"korvane.exe B+1\n9 config.id\n", 200, "3", nullptr,
       "Unable to get update information from server"},
      {"99999999999 korvane.exe\n9 config.id\n", 200, "3", nullptr,
       "Unable to get update information from server"},
      {"B+1 korvane.exe\n9 config.id\n", 404, "3", nullptr,
       "Unable to get update information from server"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.body);
    free_srcdata_cfg();
    configure("no_clock_sync\n");
    answer(relative_to_build(c.body), c.status);
    kv_delete_file(root_.file("CONFIG/config.id").c_str(), nullptr);
    if (c.config_id) root_.write("CONFIG/config.id", c.config_id);
    FrameCapture frame;
    updatechk_thread();
    EXPECT_TRUE(frame.saw(c.line, c.update ? 10 : -1));
    if (c.update) {
      ASSERT_EQ(frame.updates.size(), 1u);
      EXPECT_EQ(frame.updates[0], c.update);
      EXPECT_EQ(frame.update_wparams[0], 1u);
    } else {
      EXPECT_TRUE(frame.updates.empty());
    }
  }
}

// The build number counts minutes from 27 October 1997 by the compiler's
// date and time texts.
TEST(BuildNumberTest, ComputedFromTheCompilerDateAndTime) {
  EXPECT_EQ(build_number_of("Nov 14 2008", "20:46:20"), 5813086);
  EXPECT_EQ(build_number_of("Oct 28 1997", "00:00:59"), 1440);
  EXPECT_EQ(build_number_of("Jan  1 2026", "00:01:00"),
            build_number_of("Dec 31 2025", "23:59:00") + 2);
  EXPECT_EQ(build_number_of("Foo 1 2026", "00:00:00"), 0);
  EXPECT_EQ(build_number_of("Nov 14 2008", "later"), 0);
  EXPECT_STREQ(get_version_text(), "Korvane Version 2.96");
}

TEST_F(UpdateCheckTest, UpdateServerDownAndNoMainWindow) {
  configure("no_clock_sync\n", "127.0.0.1",
            "http://127.0.0.2:" + std::to_string(web_.port()) + "/upd");
  {
    FrameCapture frame;
    updatechk_thread();
    EXPECT_TRUE(frame.saw("Unable to contact update server", 10));
  }
  // A new version found while no main window exists: the text is dropped
  // (the leak checker sees that it is freed).
  free_srcdata_cfg();
  configure("no_clock_sync\n");
  answer(relative_to_build("B+1 korvane.exe\n9 config.id\n"));
  updatechk_thread();
  EXPECT_EQ(version_requests().size(), 1u);
}

TEST_F(UpdateCheckTest, WithoutLiveQuoteConfigurationOnlyTheEventsFileIsRefreshed) {
  root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay missing.cfg\nTIME_SERVER 127.0.0.1\n");
  web_.on("/c/ec/200702.html", {200,
                                "<table><tr><td>Briefing Forecast</td></tr><tr><td>Jan "
                                "5</td><td>8:30</td><td>Nonfarm Payrolls</td>"
                                "<td>Dec</td></tr></table>\n"});
  g_pref_flags = 0x2000;
  services_.allow_clock = 1;
  FrameCapture frame;
  updatechk_thread();
  EXPECT_TRUE(services_.clock_sets.empty());
  EXPECT_TRUE(version_requests().empty());
  EXPECT_EQ(
      root_.read("DATA/Events.txt"),
      "# Format: Date,Time,Type,Symbol,Text\r\n01/05/2007,08:30,,,Nonfarm Payrolls Dec A\r\n");
  EXPECT_TRUE(frame.saw("Updated events file", 10));
}

// The thread runs once per process: this is the one test that starts it.
// The first web import starts it.
TEST_F(UpdateCheckTest, TheFirstWebImportStartsTheThreadOnlyOnce) {
  static bool started;  // a repeated run of the test finds the thread used up
  if (started) GTEST_SKIP() << "the update check already ran in this process";
  started = true;
  configure("no_clock_sync\n");
  answer(relative_to_build("B korvane.exe\n9 config.id\n"));
  FrameCapture frame;
  EXPECT_EQ(parse_web_data(390, "XYZ", 20070101, 20070105, 0, nullptr, nullptr), nullptr);
  start_updatechk_thread();
  kv_wait_until([] { return g_updatechk_done.load() != 0; }, 30000);
  ASSERT_EQ(g_updatechk_done.load(), 1);
  // A third start is refused at once: no second thread, the flag stays.
  start_updatechk_thread();
  EXPECT_EQ(g_updatechk_done.load(), 1);
  EXPECT_EQ(version_requests().size(), 1u);
  frame.pump();
}

}  // namespace
