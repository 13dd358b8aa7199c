// Web import by parse files against pages of a loopback HTTP server, import
// files, and the text export.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "data/dates.h"
#include "data/events.h"
#include "data/importfmt.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/symindex.h"
#include "data/tests/http_test_server.h"
#include "data/tests/status_capture.h"
#include "data/textexport.h"
#include "data/updatechk.h"
#include "data/webimport.h"
#include "platform/clock.h"
#include "platform/testing/wait.h"
#include "platform/testing/fixture.h"
#include "platform/thread.h"
#include "settings/settings.h"

namespace {

const char kSrcdata[] =
    "HISTORIC_DAILY 1\n"
    "  web daily.cfg\n"
    "HISTORIC_WEEKLY 1\n"
    "  web weekly.cfg\n";

const char kImportCfg[] =
    "DATEFORMAT yyyy-mm-dd\n"
    "Plain Date,Open,High,Low,Close,Volume\n"
    "Short date,close\n"
    "WithHeader header\n";

class WebImportTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    strcpy(g_data_root, root_.path().c_str());
    run_update_check_once();
    root_.write("CONFIG/srcdata.cfg", kSrcdata);
    root_.write("CONFIG/import.cfg", kImportCfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    free_import_cfg();
    free_symnames_six();
    g_inet_session = inet_open_session();
  }
  void TearDown() override {
    inet_close_session(g_inet_session);
    g_inet_session = nullptr;
    free_quote_source_cfgs();
    free_srcdata_cfg();
    free_import_cfg();
    free_symnames_six();
    reset_settings();
    TempRootTest::TearDown();
  }

  // The first web import of a process starts the update check.  It runs
  // here, before any import, with no quote source to check and the calendar
  // pages asked of the test server, and is waited for: no check runs behind
  // the imports.
  void run_update_check_once() {
    char calendar[sizeof g_calendar_server];
    memcpy(calendar, g_calendar_server, sizeof calendar);
    snprintf(g_calendar_server, sizeof g_calendar_server, "%s", server_.url("").c_str());
    start_updatechk_thread();
    kv_wait_until([] { return g_updatechk_done.load() != 0; }, 30000);
    memcpy(g_calendar_server, calendar, sizeof calendar);
    ASSERT_EQ(g_updatechk_done.load(), 1);
  }

  // Writes the daily parse file: header keys, then the body, where "PORT"
  // stands for the server's port.
  void parse_file(const std::string &body, const std::string &keys = "source_codes 7 1 0 0 0 0\n") {
    std::string text = body;
    for (size_t at; (at = text.find("PORT")) != std::string::npos;)
      text.replace(at, 4, std::to_string(server_.port()));
    root_.write("CONFIG/daily.cfg", keys + "[MAIN]\n" + text);
    free_quote_source_cfgs();
  }
  void page(const std::string &path, const std::string &body, int status = 200) {
    canned_reply r;
    r.status = status;
    r.body = body;
    server_.on(path, r);
  }
  chart_rec *import(int first = 20070312, int last = 20070316, uint32_t options = 0) {
    return parse_web_data(TU_DAILY, "ibm", first, last, options, nullptr, nullptr);
  }

  http_test_server server_;
  StatusCapture status_;
};

const char kCsvPage[] =
    "Date,Open,High,Low,Close,Volume,Adj Close\n"
    "2007-03-16,100.5,101,99.5,100,1200,100\n"
    "2007-03-15,99,100.25,98.5,99.5,\"1,100\",99\n"
    "2007-03-14,98,99,97,98.75,900,98.75\n";

TEST_F(WebImportTest, UrlTemplatesExpand) {
  struct Case {
    const char *tmpl;
    int number;
    const char *want;  // null: bad meta code
  } cases[] = {
      {"http://h/t?a=\\b2-m&b=\\b2d&c=\\b4y&s=\\s", 0, "http://h/t?a=02&b=15&c=2007&s=IBM"},
      {"x\\b2xy", 0, "xxy"},
      {"\\e4y\\e2m\\e1d|\\n2d\\n2m", 0, "2007041|1603"},
      {"u=\\i", 390, "u=390"},
      {"days=\\d", 0, "days=27"},
      {"\\q", 0, nullptr},
      {"end\\", 0, nullptr},
      {"\\b5d", 0, nullptr},
      {"\\s", 0, "IBM"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.tmpl);
    char out[256];
    int rc = expand_url_text(c.tmpl, 20070315, 20070421, "ibm", c.number, out, sizeof out);
    if (!c.want) {
      EXPECT_EQ(rc, 1);
    } else {
      EXPECT_EQ(rc, 0);
      EXPECT_STREQ(out, c.want);
    }
  }
  // A symbol cannot smuggle spaces or quotes into the address.
  char out[64];
  ASSERT_EQ(expand_url_text("s=\\s", 0, 0, "a b\"#", 0, out, sizeof out), 0);
  EXPECT_STREQ(out, "s=A%20B%22%23");
  // The expansion is bounded by its buffer.
  EXPECT_EQ(expand_url_text("\\b4y\\b4y\\b4y", 20070315, 0, "", 0, out, 10), 1);
}

TEST_F(WebImportTest, HeaderPageBecomesSortedBars) {
  page("/table.csv", kCsvPage);
  parse_file(
      "url http://127.0.0.1:PORT/table.csv?s=\\s&a=\\b2-m&b=\\b2d&c=\\b4y\n"
      "header\n");
  chart_rec *chart = import();
  ASSERT_NE(chart, nullptr) << (status_.take().empty() ? "" : status_.take().back());
  EXPECT_STREQ(chart->header.symbol, "IBM");
  EXPECT_EQ(chart->header.time_unit, TU_DAILY);
  ASSERT_EQ(chart->header.bar_count, 3);
  EXPECT_EQ(chart->header.first_date, 20070314);
  EXPECT_EQ(chart->header.last_date, 20070316);
  EXPECT_EQ(chart->header.history_date, today_date(1));
  const chart_bar *b = chart->bars;
  EXPECT_EQ(b[0].time, date_to_seconds(20070314, 0));
  EXPECT_EQ(b[2].time, date_to_seconds(20070316, 0));
  EXPECT_FLOAT_EQ(b[0].close, 98.75f);
  EXPECT_EQ(b[0].volume, 900);
  // 15 March: adjusted close 99 lies 0.5 below the close: all four prices
  // come down by it.
  EXPECT_FLOAT_EQ(b[1].open, 98.5f);
  EXPECT_FLOAT_EQ(b[1].high, 99.75f);
  EXPECT_FLOAT_EQ(b[1].low, 98.0f);
  EXPECT_FLOAT_EQ(b[1].close, 99.0f);
  EXPECT_EQ(b[1].volume, 1100);
  EXPECT_EQ(b[2].flags, 7u | 0x100 | PARSED_DATE | PARSED_OPEN | PARSED_HIGH | PARSED_LOW |
                            PARSED_CLOSE | PARSED_VOLUME);
  std::vector<std::string> req = server_.requests();
  ASSERT_EQ(req.size(), 1u);
  EXPECT_NE(req[0].find("GET /table.csv?s=IBM&a=02&b=12&c=2007 "), std::string::npos) << req[0];
  free_chart_data(chart);
}

const char kHtmlParse[] =
    "endmark </table>\n"
    "url http://127.0.0.1:PORT/hist?s=\\s\n"
    "find <table>\n"
    "loop\n"
    "find <tr><td> %dmm/dd/yyyy </td><td> %o </td><td> %h </td><td> %l </td><td> %c </td><td> %v "
    "</td>\n"
    "endloop\n";

std::string html_row(const char *date, const char *o, const char *h, const char *l, const char *c,
                     const char *v) {
  return std::string("<tr><td>") + date + "</td><td>" + o + "</td><td>" + h + "</td><td>" + l +
         "</td><td>" + c + "</td><td>" + v + "</td></tr>\n";
}

TEST_F(WebImportTest, HtmlTableUpToTheEndMark) {
  page("/hist", "<html><!-- a note -->\n<table>\n<tr><th>Date</th><th>Open</th></tr>\n" +
                    html_row("03/16/2007", "10", "11", "9", "10.5", "1,000") +
                    "<!-- <tr><td>01/01/2001</td> -->\n" +
                    html_row("03/15/2007", "9", "10", "8", "9.5", "2000") + "</table>\n" +
                    html_row("03/14/2007", "1", "1", "1", "1", "1") + "</html>\n");
  parse_file(kHtmlParse);
  chart_rec *chart = import();
  ASSERT_NE(chart, nullptr);
  ASSERT_EQ(chart->header.bar_count, 2);
  EXPECT_EQ(chart->bars[0].time, date_to_seconds(20070315, 0));
  EXPECT_FLOAT_EQ(chart->bars[0].close, 9.5f);
  EXPECT_FLOAT_EQ(chart->bars[1].high, 11.0f);
  EXPECT_EQ(chart->bars[1].volume, 1000);
  free_chart_data(chart);
}

TEST_F(WebImportTest, FailuresFreeTheChartAndSayWhy) {
  std::string rows = html_row("03/16/2007", "10", "11", "9", "10.5", "1000");
  struct Case {
    const char *name;
    std::string page;
    int status;
    std::string parse;
    const char *message;
  } cases[] = {
      {"page ends before the end mark", "<table>\n" + rows, 200, kHtmlParse,
       "Unexpected EOF hit in web page"},
      {"abort text", "<table>\n" + rows + "<p>Sorry, no data</p>\n", 200,
       "abort 0 \\No such page\\\nabort 1 \\Sorry\\\n" + std::string(kHtmlParse),
       "Page read abort"},
      {"error page", "<table>\n" + rows + "</table>\n", 404, kHtmlParse, "Page read abort"},
      {"bad date", "<table>\n" + html_row("13/45/2007", "1", "2", "1", "2", "5") + "</table>\n",
       200, kHtmlParse, "Bad data read, (possibly incorrect import format)"},
      {"date beyond 32-bit times",
       "<table>\n" + html_row("03/16/2045", "1", "2", "1", "2", "5") + "</table>\n", 200,
       kHtmlParse, "Bad data read, (possibly incorrect import format)"},
      {"date before 32-bit times",
       "<table>\n" + html_row("06/01/1901", "1", "2", "1", "2", "5") + "</table>\n", 200,
       kHtmlParse, "Bad data read, (possibly incorrect import format)"},
      {"price out of range",
       "<table>\n" + html_row("03/16/2007", "1", "1e60", "1", "2", "5") + "</table>\n", 200,
       kHtmlParse, "Bad data read, (possibly incorrect import format)"},
      {"adjusted close that shifts prices beyond floats",
       "Date,Open,High,Low,Close,Volume,Adj Close\n2007-03-16,1,2,1,2,5,-1e300\n", 200,
       "url http://127.0.0.1:PORT/hist\nheader\n",
       "Bad data read, (possibly incorrect import format)"},
      {"unknown directive", rows, 200, "url http://127.0.0.1:PORT/hist\nfrobnicate\n",
       "Parse file error: Unknown directive"},
      {"bad meta code", rows, 200, "url http://127.0.0.1:PORT/hist?\\z\n", "Control file error"},
      {"page not opened", rows, 200, "url ftp://127.0.0.1:PORT/hist\n",
       "Could not access data for: IBM"},
      {"unknown field", rows, 200, "url http://127.0.0.1:PORT/hist\n%q ,\n", "parse file error"},
      {"find without text", rows, 200, "url http://127.0.0.1:PORT/hist\nfind\n",
       "parse file error: no FIND argument"},
      {"abort without text", rows, 200, "abort 2\n", "parse file syntax error: missing ABORT arg"},
      {"header that is no header", "No data for ZZZZ\n", 200,
       "url http://127.0.0.1:PORT/hist\nheader\n", "Bad symbol?  No data for ZZZZ"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    page("/hist", c.page, c.status);
    parse_file(c.parse);
    status_.take();
    status_.lines.clear();
    EXPECT_EQ(import(), nullptr);
    EXPECT_TRUE(status_.saw(c.message)) << (status_.take().empty() ? "" : status_.take().back());
  }
}

TEST_F(WebImportTest, CutPageIsNotImported) {
  std::string body = "<table>\n";
  for (int d = 1; d <= 28; d++) {
    char date[16];
    snprintf(date, sizeof date, "02/%02d/2007", d);
    body += html_row(date, "1", "2", "1", "2", "5");
  }
  body += "</table>\n";
  canned_reply r;
  r.body = body;
  r.truncate = true;
  server_.on("/hist", r);
  // Without an end mark only the read error tells a cut page from a whole one.
  parse_file(
      "url http://127.0.0.1:PORT/hist\nfind <table>\nloop\n"
      "find <tr><td> %dmm/dd/yyyy </td><td> %o </td><td> %h </td><td> %l </td><td> %c </td>\n"
      "endloop\n");
  EXPECT_EQ(import(20070201, 20070228), nullptr);
  EXPECT_TRUE(status_.saw("Page read abort"));
}

TEST_F(WebImportTest, LoopHoldsAtMostSixteenLines) {
  page("/hist",
       "<table>\n" + html_row("03/16/2007", "10", "11", "9", "10.5", "1000") + "</table>\n");
  for (int filler : {14, 15}) {
    SCOPED_TRACE(filler);
    std::string parse =
        "endmark </table>\nurl http://127.0.0.1:PORT/hist\nloop\n"
        "find <tr><td> %dmm/dd/yyyy </td><td> %o </td><td> %h </td><td> %l </td><td> %c </td>\n";
    for (int i = 0; i < filler; i++) parse += "timeoffset 0 0 0 0\n";
    parse += "endloop\n";
    parse_file(parse);
    status_.take();
    status_.lines.clear();
    chart_rec *chart = import();
    if (filler == 14) {  // "endloop" is the 16th line
      ASSERT_NE(chart, nullptr);
      free_chart_data(chart);
    } else {
      EXPECT_EQ(chart, nullptr);
      EXPECT_TRUE(status_.saw("parse file loop too big"));
    }
  }
}

TEST_F(WebImportTest, RowsWithOnlyACloseTakeThePreviousClose) {
  page("/c", "2007-03-12 10\n2007-03-14 12\n2007-03-13 9\n");
  parse_file("url http://127.0.0.1:PORT/c\nloop\n%dyyyy-mm-dd \\ \\ %c\nendloop\n");
  chart_rec *chart = import();
  ASSERT_NE(chart, nullptr);
  ASSERT_EQ(chart->header.bar_count, 3);
  const chart_bar *b = chart->bars;
  // The first bar's previous close is its own close.
  EXPECT_FLOAT_EQ(b[0].open, 10);
  EXPECT_FLOAT_EQ(b[0].high, 10);
  EXPECT_FLOAT_EQ(b[0].low, 10);
  // 13th: open 10 (previous close), close 9.
  EXPECT_FLOAT_EQ(b[1].open, 10);
  EXPECT_FLOAT_EQ(b[1].high, 10);
  EXPECT_FLOAT_EQ(b[1].low, 9);
  EXPECT_FLOAT_EQ(b[1].close, 9);
  // 14th: open 9, close 12.
  EXPECT_FLOAT_EQ(b[2].open, 9);
  EXPECT_FLOAT_EQ(b[2].high, 12);
  EXPECT_FLOAT_EQ(b[2].low, 9);
  free_chart_data(chart);
}

TEST_F(WebImportTest, ConditionsFollowTheFetchOptions) {
  page("/a", "2007-03-12 1\n");
  page("/b", "2007-03-12 2\n");
  parse_file(
      "ifflags 0x2\nurl http://127.0.0.1:PORT/a\nelse\nurl http://127.0.0.1:PORT/b\nendif\n"
      "loop\n%dyyyy-mm-dd \\ \\ %c\nendloop\n");
  for (uint32_t options : {0u, 2u}) {
    chart_rec *chart = import(20070312, 20070316, options);
    ASSERT_NE(chart, nullptr);
    EXPECT_FLOAT_EQ(chart->bars[0].close, options ? 1.0f : 2.0f);
    free_chart_data(chart);
  }
}

TEST_F(WebImportTest, LoopsThatReadNothingEnd) {
  page("/a", "2007-03-12 1\n2007-03-13 2\n");
  // Every line of the loop skipped by its condition.
  parse_file("url http://127.0.0.1:PORT/a\nloop\nifflags 0x4\n%dyyyy-mm-dd \\ \\ %c\nendloop\n");
  EXPECT_EQ(import(), nullptr);
  // Lines not read automatically: each pass reads its row with "\".
  parse_file("url http://127.0.0.1:PORT/a\nreadflag 0\nloop\n\\ %dyyyy-mm-dd \\ \\ %c\nendloop\n");
  chart_rec *chart = import();
  ASSERT_NE(chart, nullptr);
  EXPECT_EQ(chart->header.bar_count, 2);
  free_chart_data(chart);
}

TEST_F(WebImportTest, TooManyRowsStopTheImport) {
  std::string body;
  for (int i = 0; i < 600; i++) body += "2007-03-12 1\n";
  page("/many", body);
  parse_file("url http://127.0.0.1:PORT/many\nloop\n%dyyyy-mm-dd \\ \\ %c\nendloop\n");
  EXPECT_EQ(import(20070312, 20070312), nullptr);  // room for 501 bars
  EXPECT_TRUE(status_.saw("Too many points returned"));
}

TEST_F(WebImportTest, DescriptionFromTheSymbolPage) {
  page("/hist", "2007-03-12 5\n");
  page("/name", "\"International Widgets Corp\",\"IBM\"\n");
  parse_file(
      "symurl http://127.0.0.1:PORT/name?s=\\s\nurl http://127.0.0.1:PORT/hist\n"
      "loop\n%dyyyy-mm-dd \\ \\ %c\nendloop\n");
  chart_rec *chart = import();
  ASSERT_NE(chart, nullptr);
  EXPECT_STREQ(chart->header.description, "International Widgets Corp");
  free_chart_data(chart);
}

TEST_F(WebImportTest, ImportFileWithFormat) {
  root_.write("IMPORT/ibm.txt",
              "exported by some program\n"
              "2007-03-15,1,2,0.5,1.5,100\n"
              "2007-03-14,1,2,0.5,1.25,200\n");
  std::string path = root_.file("IMPORT/ibm.txt");
  chart_rec *chart = parse_web_data(TU_DAILY, "ibm", 20070301, 20070331, 0, path.c_str(),
                                    "skipline,Date,Open,High,Low,Close,Volume");
  ASSERT_NE(chart, nullptr);
  ASSERT_EQ(chart->header.bar_count, 2);
  EXPECT_FLOAT_EQ(chart->bars[0].close, 1.25f);
  EXPECT_EQ(chart->bars[1].volume, 100);

  // A header line names the columns itself.
  root_.write("IMPORT/hdr.txt", "Close;Date\n7.5;2007-03-13\n");
  chart_rec *h = parse_web_data(TU_DAILY, "x", 20070301, 20070331, 0,
                                root_.file("IMPORT/hdr.txt").c_str(), "header");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->bars[0].time, date_to_seconds(20070313, 0));
  EXPECT_FLOAT_EQ(h->bars[0].close, 7.5f);
  free_chart_data(h);
  free_chart_data(chart);

  EXPECT_EQ(
      parse_web_data(TU_DAILY, "x", 0, 0, 0, root_.file("IMPORT/none.txt").c_str(), "date,close"),
      nullptr);
  EXPECT_TRUE(status_.saw("can't open file:"));
}

TEST_F(WebImportTest, MissingParseFileIsReported) {
  EXPECT_EQ(import(), nullptr);
  EXPECT_TRUE(status_.saw("could not open parse file:"));
}

// ---------------------------------------------------------------------------
// Text export.

TEST_F(WebImportTest, ExportWritesTheChosenFormat) {
  chart_rec *chart = new_chart("IBM", TU_DAILY);
  ASSERT_NE(chart, nullptr);
  chart_bar bars[2] = {};
  bars[0] = {10.5f, 11.25f, 10.125f, 11.0f, 1200, {0}, 0, (int32_t)date_to_seconds(20070314, 0)};
  bars[1] = {11.0f, 12.0f, 10.9877f, 11.5f, 800, {0}, 0, (int32_t)date_to_seconds(20070315, 0)};
  ASSERT_GE(chart->spare, 2);
  memcpy(chart->bars, bars, sizeof bars);
  chart->header.bar_count = 2;
  chart->spare -= 2;

  struct Case {
    uint32_t flags;
    const char *ext;
    int format;
    const char *file;
    const char *text;
  } cases[] = {
      {0, ".csv", 2, "EXPORT/IBM.csv",
       "03/14/2007,10.50,11.25,10.125,11.00,1200\r\n03/15/2007,11.00,12.00,10.9877,11.50,800\r\n"},
      {0x8 | 0x10, "txt", 4, "EXPORT/IBM-d.txt",
       "My header\r\n03/14/2007,11.00\r\n03/15/2007,11.50\r\n"},
  };
  strcpy(g_settings.ExpFileHdr, "My header");
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    g_pref_flags = c.flags;
    strcpy(g_settings.ExpFileExt, c.ext);
    g_settings.ExpDataFmt = c.format;
    status_.take();
    status_.lines.clear();
    EXPECT_EQ(export_chart_data(chart), 1);
    EXPECT_EQ(root_.read(c.file), c.text);
    EXPECT_TRUE(status_.saw("Exported data to: " + root_.file(c.file)));
  }
  // No such format: nothing is written.
  g_settings.ExpDataFmt = 40;
  EXPECT_EQ(export_chart_data(chart), 0);
  EXPECT_TRUE(status_.saw("Unable to create export file"));
  free_chart_data(chart);
}

}  // namespace
