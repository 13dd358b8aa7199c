// Events.txt: refreshed from calendar pages served on the loopback
// address, and read back into the events list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "data/dates.h"
#include "data/events.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "data/tests/http_test_server.h"
#include "data/tests/status_capture.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/testing/fixture.h"
#include "platform/testing/wait.h"
#include "platform/thread.h"
#include "settings/settings.h"

namespace {

// A calendar row: date, time, statistic, period and five cells not used.
std::string row(const char *date, const char *time, const char *stat, const char *period) {
  return std::string("<tr><td>") + date + "</td><td>" + time + "</td><td><a href=\"s.htm\">" +
         stat + "</a></td><td>" + period +
         "</td><td>1</td><td>2</td><td>3</td><td>4</td><td>5</td></tr>";
}

canned_reply calendar(const std::string &rows, int status = 200) {
  canned_reply r;
  r.status = status;
  r.body = "<html><body>\r\n<table><tr><th>Date</th><th>Time</th><th>Briefing Forecast</th></tr>" +
           rows + "</table>\r\n</body></html>\r\n";
  return r;
}

class EventsTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    snprintf(g_data_root, sizeof g_data_root, "%s", root_.path().c_str());
    kv_make_dirs(root_.file("DATA").c_str(), nullptr);
    snprintf(g_calendar_server, sizeof g_calendar_server, "%s", server_.url("").c_str());
    g_inet_session = inet_open_session();
    // 20 March 2007: the weeks of the year run up to week 13.
    kv_clock_set_local_offset(0);
    kv_clock_set_utc_ms(date_to_seconds(20070320, 12 * 3600) * 1000);
  }
  void TearDown() override {
    inet_close_session(g_inet_session);
    g_inet_session = nullptr;
    g_program_exiting = 0;
    kv_clock_reset();
    reset_settings();
    TempRootTest::TearDown();
  }
  std::string events() { return root_.read("DATA/Events.txt"); }
  // The calendar weeks asked for, in order.
  std::vector<std::string> weeks_asked() {
    std::vector<std::string> out;
    for (const std::string &r : server_.requests()) {
      size_t at = r.find("/c/ec/");
      if (at != std::string::npos) out.push_back(r.substr(at + 6, 6));
    }
    return out;
  }

  http_test_server server_;
};

const char kHeader[] = "# Format: Date,Time,Type,Symbol,Text\r\n";

TEST_F(EventsTest, MissingFileIsCreatedAndFilledSinceJanuary) {
  server_.on("/c/ec/200711.html", calendar(row("Mar 15", "8:30", "Retail Sales", "Feb") +
                                           row("Mar 15", "10:00", "Business Inventories", "Jan")));
  server_.on("/c/ec/200712.html", calendar(row("Mar 20", "8:30", "Housing Starts", "Feb")));
  EXPECT_EQ(write_events_file(), 1);
  EXPECT_EQ(events(), std::string(kHeader) +
                          "03/15/2007,08:30,,,Retail Sales Feb A-\r\n"
                          "03/15/2007,10:00,,,Business Inventories Jan C-\r\n"
                          "03/20/2007,08:30,,,Housing Starts Feb B-\r\n");
  std::vector<std::string> want;
  for (int w = 2; w <= 13; w++)
    want.push_back("2007" + std::string(w < 10 ? "0" : "") + std::to_string(w));
  EXPECT_EQ(weeks_asked(), want);
}

TEST_F(EventsTest, TheLastStoredWeekComesAgainWithoutRepeatingItsLines) {
  root_.write("DATA/Events.txt", std::string(kHeader) + "03/01/2007,08:30,,,PPI Jan B-\r\n" +
                                     "03/15/2007,08:30,,,Retail Sales Feb A-\r\n# a note\r\n");
  server_.on("/c/ec/200712.html", calendar(row("Mar 15", "8:30", "Retail Sales", "Feb") +
                                           row("Mar 16", "8:30", "CPI", "Feb")));
  EXPECT_EQ(write_events_file(), 1);
  EXPECT_EQ(weeks_asked(), (std::vector<std::string>{"200712", "200713"}));
  EXPECT_EQ(events(), std::string(kHeader) + "03/01/2007,08:30,,,PPI Jan B-\r\n" +
                          "03/15/2007,08:30,,,Retail Sales Feb A-\r\n# a note\r\n" +
                          "03/16/2007,08:30,,,CPI Feb B+\r\n");
  // Nothing new: the file stays as it is.
  std::string before = events();
  EXPECT_EQ(write_events_file(), 0);
  EXPECT_EQ(events(), before);
}

TEST_F(EventsTest, BadPagesNeverReachTheFile) {
  std::string stored = std::string(kHeader) + "03/19/2007,08:30,,,PPI Feb B-";  // no line end
  root_.write("DATA/Events.txt", stored);
  canned_reply cut =
      calendar(row("Mar 19", "8:30", "Retail Sales", "Feb") + row("Mar 20", "8:30", "CPI", "Feb"));
  cut.truncate = true;  // the body stops half-way
  server_.on("/c/ec/200712.html", cut);
  server_.on("/c/ec/200713.html",
             calendar(row("Mar 21", "8:30", "CPI", "Feb"), 500));  // an error page
  EXPECT_EQ(write_events_file(), 0);
  EXPECT_EQ(events(), stored);

  // A good page later: its lines start on a line of their own.
  server_.on("/c/ec/200713.html", calendar(row("Mar 21", "8:30", "CPI", "Feb")));
  EXPECT_EQ(write_events_file(), 1);
  EXPECT_EQ(events(), stored + "\r\n03/21/2007,08:30,,,CPI Feb B+\r\n");
}

TEST_F(EventsTest, AnEditWhileThePagesAreReadIsKept) {
  std::string stored = std::string(kHeader) + "03/19/2007,08:30,,,PPI Feb B-\r\n";
  root_.write("DATA/Events.txt", stored);
  canned_reply slow = calendar(row("Mar 21", "8:30", "CPI", "Feb"));
  slow.delay_ms = 1500;
  server_.on("/c/ec/200713.html", slow);
  // The user edits the file while the first page is on its way.
  std::string edited = stored + "03/30/2007,00:00,,ibm,Earnings\r\n";
  std::thread editor([&] {
    kv_wait_until([&] { return !server_.requests().empty(); }, 1000);
    root_.write("DATA/Events.txt", edited);
  });
  EXPECT_EQ(write_events_file(), 1);
  editor.join();
  EXPECT_EQ(events(), edited + "03/21/2007,08:30,,,CPI Feb B+\r\n");
}

TEST_F(EventsTest, NoFetchingOnceTheProgramExits) {
  g_program_exiting = 1;
  EXPECT_EQ(write_events_file(), 0);
  EXPECT_EQ(events(), kHeader);
  EXPECT_TRUE(server_.requests().empty());
}

TEST_F(EventsTest, AFileThatCannotBeReadIsReportedAndLeftAlone) {
  kv_make_dirs(root_.file("DATA/Events.txt").c_str(), nullptr);  // a folder in its place
  StatusCapture status;
  EXPECT_EQ(write_events_file(), 0);
  EXPECT_FALSE(status.saw("Can not create:"));
  g_pref_flags |= 0x4000;
  EXPECT_EQ(write_events_file(), 0);
  EXPECT_TRUE(status.saw("Can not create:"));
  EXPECT_TRUE(server_.requests().empty());
  EXPECT_TRUE(kv_dir_exists(root_.file("DATA/Events.txt").c_str()));
}

TEST_F(EventsTest, StopMaskOfThePageReader) {
  page_status ok = {0, 200}, failed = {12002, 0}, error_page = {0, 404};
  EXPECT_EQ(match_event_keywords("line", &ok), 0);
  EXPECT_EQ(match_event_keywords(nullptr, &ok), 32);
  EXPECT_EQ(match_event_keywords(nullptr, &failed), 32 | 0x10000);
  EXPECT_EQ(match_event_keywords("line", &error_page), 0x10000);
}

TEST_F(EventsTest, EventsListReadsTheFile) {
  std::string text = std::string(kHeader) +
                     "12/24/2009,9:30,,ibm,Earnings, after the close, with call\r\n"
                     "#12/25/2009,00:00,,,commented out\r\n"
                     "3/1/2010, 14 : 05 : 09 ,x,Es," +
                     std::string(120, 'd') +
                     "\r\n"
                     "03/02/2010,,,,whole day\n"
                     "13/01/2010,08:30,,,bad month\r\n"
                     "03/03/2010,25:00,,,bad hour\r\n"
                     "03/04/2010,08:30,,only four fields\r\n"
                     "\r\n"
                     "03/05/2010,08:30,," +
                     std::string(40, 's') + ",long symbol\r\n";
  root_.write("DATA/Events.txt", text);
  event_list list = {nullptr, 0};
  EXPECT_EQ(read_events_file(&list), 4);
  ASSERT_EQ(list.count, 4);
  event_rec *e = list.head;
  EXPECT_EQ(e->time, date_to_seconds(20091224, 9 * 3600 + 30 * 60));
  EXPECT_STREQ(e->label, "IBM");
  EXPECT_STREQ(e->text, "Earnings, after the close, with call");
  e = e->next;
  EXPECT_EQ(e->time, date_to_seconds(20100301, 14 * 3600 + 5 * 60 + 9));
  EXPECT_STREQ(e->label, "ES");
  EXPECT_EQ(std::string(e->text), std::string(99, 'd'));
  e = e->next;
  EXPECT_EQ(e->time, date_to_seconds(20100302, 0));
  EXPECT_STREQ(e->text, "whole day");
  e = e->next;
  EXPECT_EQ(std::string(e->label), std::string(31, 'S'));
  EXPECT_EQ(e->next, nullptr);
  free_events_list(&list);
  EXPECT_EQ(list.head, nullptr);

  kv_delete_file(root_.file("DATA/Events.txt").c_str(), nullptr);
  EXPECT_EQ(read_events_file(&list), 0);
  EXPECT_EQ(list.head, nullptr);
}

}  // namespace
