// The web page fetcher against a real HTTP server on the loopback address.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "data/inet.h"
#include "data/logfiles.h"
#include "data/tests/http_test_server.h"
#include "data/tests/status_capture.h"
#include "platform/testing/fixture.h"
#include "settings/settings.h"

namespace {

class InetTest : public TempRootTest {
 protected:
  void SetUp() override {
    TempRootTest::SetUp();
    reset_settings();
    g_settings.InternetReceiveTimeout = 5000;
    session_ = inet_open_session();
  }
  void TearDown() override {
    inet_close_session(session_);
    g_inet_daytime_port = INET_DAYTIME_PORT;
    TempRootTest::TearDown();
  }

  // Every line of a page until the read that ends it.
  std::vector<std::string> read_all(web_page *page, page_status *st) {
    std::vector<std::string> lines;
    while (char *line = inet_read_page(page, st)) lines.emplace_back(line);
    return lines;
  }

  CKvINet *session_ = nullptr;
  http_test_server server_;
};

TEST_F(InetTest, AddressesOtherThanHttpAreRefused) {
  StatusCapture status;
  for (const char *url : {"ftp://127.0.0.1/file", "www.example.com/page", "", "http://",
                          "https://127.0.0.1/page", "file:///etc/passwd"}) {
    SCOPED_TRACE(url);
    page_status st = {-7, -7};
    EXPECT_EQ(inet_open_page(session_, url, &st), nullptr);
    EXPECT_EQ(st.error, INET_ERR_NOT_HTTP);
    EXPECT_EQ(st.http_status, 0);
    EXPECT_STREQ(g_inet_error_text, "Error: can only use URLs beginning with http://");
  }
  EXPECT_TRUE(status.saw("Error: can only use URLs beginning with http://"));
  EXPECT_TRUE(status.saw("CKvINet_Exception(1)"));
  EXPECT_EQ(session_->page_count, 0);
}

TEST_F(InetTest, PageIsReadLineByLineWithTheProgramsRequestHeaders) {
  canned_reply r;
  r.body = "first line\r\nsecond\n\nlast without end";
  server_.on("/quotes?s=IBM", r);
  page_status st;
  web_page *page = inet_open_page(session_, server_.url("/quotes?s=IBM").c_str(), &st);
  ASSERT_NE(page, nullptr) << g_inet_error_text;
  EXPECT_EQ(st.error, 0);
  EXPECT_EQ(st.http_status, 200);
  EXPECT_EQ(session_->page_count, 1);
  std::vector<std::string> lines = read_all(page, &st);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"first line\n", "second\n", "\n", "last without end"}));
  EXPECT_EQ(st.error, 0);
  EXPECT_STREQ(g_inet_error_text, "");
  // A page that fails on another thread leaves this thread's text alone.
  std::thread([&] {
    EXPECT_EQ(inet_open_page(session_, "ftp://127.0.0.1/file", nullptr), nullptr);
  }).join();
  EXPECT_STREQ(g_inet_error_text, "");
  inet_close_page(page);
  EXPECT_EQ(session_->page_count, 0);

  std::vector<std::string> req = server_.requests();
  ASSERT_EQ(req.size(), 1u);
  EXPECT_EQ(req[0].rfind("GET /quotes?s=IBM HTTP/1.1\r\n", 0), 0u) << req[0];
  EXPECT_NE(req[0].find("User-Agent: Mozilla/4.51 [en] [WinNT; U]\r\n"), std::string::npos);
  EXPECT_NE(req[0].find("Accept: */*\r\n"), std::string::npos);
}

TEST_F(InetTest, ErrorPagesAreReturnedWithTheirStatus) {
  for (int code : {404, 500}) {
    canned_reply r;
    r.status = code;
    r.body = "<html>gone</html>\n";
    server_.on("/p", r);
    page_status st;
    web_page *page = inet_open_page(session_, server_.url("/p").c_str(), &st);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(st.error, 0);
    EXPECT_EQ(st.http_status, code);
    EXPECT_EQ(std::string(g_inet_error_text), "HTTP STATUS=" + std::to_string(code));
    EXPECT_EQ(read_all(page, &st), (std::vector<std::string>{"<html>gone</html>\n"}));
    inet_close_page(page);
  }
}

TEST_F(InetTest, OneRedirectIsFollowed) {
  canned_reply target;
  target.body = "moved here\n";
  server_.on("/new", target);
  struct Case {
    const char *name;
    std::string location_header;
    int error;  // 0: the target's page is read
    const char *text;
  } cases[] = {
      {"absolute", "Location: " + server_.url("/new") + "\r\n", 0, ""},
      {"relative", "Location: /new\r\n", 0, ""},
      {"lower case header", "location: " + server_.url("/new") + "\r\n", 0, ""},
      {"to another redirect", "Location: /again\r\n", 302, "Error: Got status code 302"},
      {"to a missing page", "Location: /nothing\r\n", 404, "Error: Got status code 404"},
      {"without location", "", INET_ERR_NO_LOCATION, "Error: Site redirects with no new location"},
      {"to ftp", "Location: ftp://127.0.0.1/new\r\n", INET_ERR_REDIRECT_NOT_HTTP,
       "Error: the redirected URL does not reference a HTTP resource."},
      {"unparsable", "Location: http://[bad\r\n", INET_ERR_BAD_REDIRECT,
       "Error: the redirected URL could not be parsed."},
  };
  canned_reply again;
  again.status = 302;
  again.headers = "Location: /new\r\n";
  server_.on("/again", again);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    canned_reply r;
    r.status = 302;
    r.headers = c.location_header;
    r.body = "redirect body\n";
    server_.on("/old", r);
    page_status st;
    web_page *page = inet_open_page(session_, server_.url("/old").c_str(), &st);
    if (c.error == 0) {
      ASSERT_NE(page, nullptr) << g_inet_error_text;
      EXPECT_EQ(st.http_status, 200);
      EXPECT_EQ(read_all(page, &st), (std::vector<std::string>{"moved here\n"}));
      inet_close_page(page);
    } else {
      EXPECT_EQ(page, nullptr);
      EXPECT_EQ(st.error, c.error);
      EXPECT_STREQ(g_inet_error_text, c.text);
    }
    EXPECT_EQ(session_->page_count, 0);
  }
}

TEST_F(InetTest, PasswordRequestIsRefused) {
  canned_reply r;
  r.status = 401;
  server_.on("/secret", r);
  StatusCapture status;
  page_status st;
  EXPECT_EQ(inet_open_page(session_, server_.url("/secret").c_str(), &st), nullptr);
  EXPECT_EQ(st.error, INET_ERR_ACCESS_DENIED);
  EXPECT_STREQ(g_inet_error_text, "Access denied: Invalid password");
  EXPECT_TRUE(status.saw("Access denied: Invalid password"));
}

TEST_F(InetTest, LongLinesComeInPiecesOfAtMost1023Characters) {
  canned_reply r;
  r.body = std::string(2500, 'x') + "\nend\n";
  server_.on("/long", r);
  page_status st;
  web_page *page = inet_open_page(session_, server_.url("/long").c_str(), &st);
  ASSERT_NE(page, nullptr);
  std::vector<std::string> lines = read_all(page, &st);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::string(1023, 'x'));
  EXPECT_EQ(lines[1], std::string(1023, 'x'));
  EXPECT_EQ(lines[2], std::string(454, 'x') + "\n");
  EXPECT_EQ(lines[3], "end\n");
  inet_close_page(page);
}

TEST_F(InetTest, PageIdsKeepRisingAcrossSessions) {
  canned_reply r;
  r.body = "x\n";
  server_.on("/a", r);
  page_status st;
  web_page *p1 = inet_open_page(session_, server_.url("/a").c_str(), &st);
  web_page *p2 = inet_open_page(session_, server_.url("/a").c_str(), &st);
  ASSERT_TRUE(p1 && p2);
  EXPECT_GE(p1->id, 1);
  EXPECT_EQ(p2->id, p1->id + 1);
  EXPECT_EQ(session_->pages, p1);
  EXPECT_EQ(p1->next, p2);
  int last_id = p2->id;
  inet_close_page(p1);
  inet_close_page(p2);
  CKvINet *other = inet_open_session();
  web_page *p3 = inet_open_page(other, server_.url("/a").c_str(), &st);
  ASSERT_NE(p3, nullptr);
  EXPECT_EQ(p3->id, last_id + 1);
  inet_close_page(p3);
  inet_close_session(other);
}

TEST_F(InetTest, TransportFailuresAreReportedNotThrown) {
  session_->SetInternetReceiveTimeout(300);
  page_status st;

  // Nothing answers in time: the page does not open.
  canned_reply slow;
  slow.delay_ms = 4000;
  slow.body = "late\n";
  server_.on("/slow", slow);
  StatusCapture status;
  EXPECT_EQ(inet_open_page(session_, server_.url("/slow").c_str(), &st), nullptr);
  EXPECT_EQ(st.error, ERROR_INTERNET_TIMEOUT);
  EXPECT_NE(std::string(g_inet_error_text).find("timed out"), std::string::npos);
  EXPECT_TRUE(status.saw("CInternetException(12002)"));

  // No server on the port.
  int closed_port;
  {
    http_test_server gone;
    closed_port = gone.port();
  }
  std::string url = "http://127.0.0.1:" + std::to_string(closed_port) + "/x";
  EXPECT_EQ(inet_open_page(session_, url.c_str(), &st), nullptr);
  EXPECT_EQ(st.error, ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(session_->page_count, 0);
}

TEST_F(InetTest, CutBodyEndsTheReadingWithAnError) {
  session_->SetInternetReceiveTimeout(300);
  std::string body;
  for (int i = 0; i < 40; i++) body += "row " + std::to_string(i) + "\n";
  struct Case {
    const char *name;
    canned_reply reply;
    int error;
  } cases[3];
  cases[0] = {"truncated", {}, ERROR_INTERNET_CONNECTION_ABORTED};
  cases[0].reply.truncate = true;
  cases[1] = {"stalled", {}, ERROR_INTERNET_TIMEOUT};
  cases[1].reply.stall = true;
  cases[1].reply.stall_after_ms = 4000;
  cases[2] = {"whole", {}, 0};
  for (Case &c : cases) {
    SCOPED_TRACE(c.name);
    c.reply.body = body;
    server_.on("/cut", c.reply);
    page_status st;
    web_page *page = inet_open_page(session_, server_.url("/cut").c_str(), &st);
    ASSERT_NE(page, nullptr) << g_inet_error_text;
    std::vector<std::string> lines = read_all(page, &st);
    EXPECT_EQ(st.error, c.error);
    if (c.error)
      EXPECT_LT(lines.size(), 40u);
    else
      EXPECT_EQ(lines.size(), 40u);
    inet_close_page(page);
  }
}

TEST_F(InetTest, DaytimePortIsReadAsRawText) {
  canned_reply r;
  r.raw = true;
  r.body = "\n61000 26-12-10 13:30:00 00 0 0 123.4 UTC(NIST) * \n";
  server_.on_any(r);
  g_inet_daytime_port = server_.port();
  page_status st;
  web_page *page = inet_open_page(session_, server_.url("").c_str(), &st);
  ASSERT_NE(page, nullptr) << g_inet_error_text;
  EXPECT_EQ(st.http_status, 200);
  std::vector<std::string> lines = read_all(page, &st);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find("UTC(NIST)"), std::string::npos);
  EXPECT_EQ(st.error, 0);
  inet_close_page(page);
}

TEST_F(InetTest, TraceFileGetsTheSessionsLines) {
  g_trace_file.on = 1;
  std::string path = root_.file("trace.txt");
  g_trace_file.name = strdup(path.c_str());
  canned_reply r;
  r.body = "one\n";
  server_.on("/t", r);
  page_status st;
  web_page *page = inet_open_page(session_, server_.url("/t").c_str(), &st);
  ASSERT_NE(page, nullptr);
  read_all(page, &st);
  inet_close_page(page);
  inet_close_session(session_);  // closes the trace file
  session_ = nullptr;
  EXPECT_EQ(g_trace_file.file, nullptr);
  std::string text = root_.read("trace.txt");
  EXPECT_NE(text.find("CKvINet::OpenWebPage("), std::string::npos) << text;
  EXPECT_NE(text.find("CKvINet::ReadWebPage() Buf=one\n"), std::string::npos);
  EXPECT_EQ(text.find("Buf=one\n\n"), std::string::npos);  // the line's own end only
  EXPECT_NE(text.find("CKvINet::ReadWebPage() Buf=NULL"), std::string::npos);
  EXPECT_NE(text.find("CKvINet::~CKvINet() Closing Internet Session"), std::string::npos);
  free(g_trace_file.name);
  g_trace_file.name = nullptr;
  g_trace_file.on = 0;
}

}  // namespace
