// The web-page quote source against a loopback HTTP server: request
// building for a batch, pages cut into quotes by the parse script, the
// spike filter and script errors.
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "data/inet.h"
#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/dates.h"
#include "data/markets.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/testing/wait.h"
#include "data/tests/http_test_server.h"
#include "data/tests/status_capture.h"
#include "quotes/webquotes.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

canned_reply page(const char *body) {
  canned_reply r;
  r.body = body;
  return r;
}

class WebQuotesTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    strcpy(g_data_root, root_.path().c_str());
    g_settings.MultiQuoteSource = 0;
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  web web.cfg\n");
    free_srcdata_cfg();
    free_quote_source_cfgs();
    session_ = inet_open_session();
    saved_session_ = g_inet_session;
    g_inet_session = session_;
  }
  void TearDown() override {
    g_inet_session = saved_session_;
    inet_close_session(session_);
    kv_clock_reset();
    free_quote_source_cfgs();
    free_srcdata_cfg();
    QuotesTest::TearDown();
  }
  void script(const std::string &text, int maxquotes = 10) {
    root_.write("CONFIG/web.cfg",
                "no_clock_sync\nmaxquotes " + std::to_string(maxquotes) + "\n[MAIN]\n" + text);
    free_quote_source_cfgs();
  }
  mqt *rec(const char *s) {
    mqt *r = create_multiquote_struct(s);
    r->flags |= MQT_QT_PORTFOLIO;
    return r;
  }
  http_test_server server;
  CKvINet *session_ = nullptr;
  CKvINet *saved_session_ = nullptr;
};

const char kLoop[] =
    "loop\n"
    "%s ,\n"
    "%el ,\n"
    "%c ,\n"
    "%d ,\n"
    "endloop\n";

TEST_F(WebQuotesTest, OneRequestForTheBatchAndEachQuoteStored) {
  rec("A");
  rec("B");
  rec("X_Y");  // never requested
  rec("C");
  script("url " + server.url("/q?s=\\r,\\s+,\\t") + "\n" + kLoop);
  server.on("/q?s=A+B+C",
            page("A,10.5,10.4,01/02/2024,\nB,20.25,20,01/02/2024,\nC,30,31,01/02/2024,\n"));
  ASSERT_NE(poll_web_quotes(), nullptr);
  EXPECT_EQ(std::string(web_quote_url()), server.url("/q?s=A+B+C"));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_FLOAT_EQ(find_mqt("A")->last, 10.5f);
  EXPECT_FLOAT_EQ(find_mqt("B")->last, 20.25f);
  EXPECT_FLOAT_EQ(find_mqt("C")->close, 31.0f);
  EXPECT_EQ(find_mqt("C")->quote_date, 20240102);
  EXPECT_EQ(find_mqt("X_Y")->last, 0.0f);
  // The batch's records were held only for the cycle.
  EXPECT_EQ(find_mqt("A")->users, 1);
}

TEST_F(WebQuotesTest, SpikesNeedTheClosingPriceToConfirmThem) {
  mqt *a = rec("A");
  script("url " + server.url("/q?s=\\r,\\s+,\\t") + "\n" + kLoop);
  server.on("/q?s=A", page("A,10,10,01/02/2024,\n"));
  poll_web_quotes();
  ASSERT_FLOAT_EQ(a->last, 10.0f);
  server.on("/q?s=A", page("A,14,10.2,01/02/2024,\n"));  // 40 percent up, close not with it
  poll_web_quotes();
  EXPECT_NE(a->last, 14.0f);
  server.on("/q?s=A", page("A,14,13.5,01/02/2024,\n"));  // within 10 percent of the close
  poll_web_quotes();
  EXPECT_FLOAT_EQ(a->last, 14.0f);
}

// A slow page leaves the chart lock free while it is read: windows go on
// drawing, and the quotes are stored when they come. A record let go
// meanwhile by its last window stays until the cycle has passed it.
TEST_F(WebQuotesTest, SlowPageIsReadWithoutTheChartLock) {
  mqt *a = rec("A");
  mqt *b = rec("B");
  script("url " + server.url("/q?s=\\r,\\s+,\\t") + "\n" + kLoop, 1);
  // Half the page, its first line, comes at once; the rest later.
  canned_reply slow = page("A,10.5,10.4,01/02/2024,\nA,10.5,10.4,01/02/2024,\n");
  slow.stall = true;
  slow.stall_after_ms = 4000;
  server.on("/q?s=A", slow);
  std::atomic<bool> done{false};
  std::thread poller([&] {
    poll_web_quotes();
    done = true;
  });
  ASSERT_TRUE(kv_wait_until([&] { return server.requests().size() == 1; }));
  bool taken = kv_wait_until(
      [&] {
        if (!g_chart_lock.try_lock()) return false;
        g_chart_lock.unlock();
        return true;
      },
      1500);
  EXPECT_TRUE(taken);
  EXPECT_FALSE(done.load());  // still reading the page
  EXPECT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return a->last == 10.5f;
  }));
  {
    kv_lock guard(g_chart_lock);
    delete_multiquote(b);
  }
  poller.join();
  EXPECT_FLOAT_EQ(a->last, 10.5f);
  EXPECT_EQ(a->users, 1);
  EXPECT_EQ(find_mqt("B"), nullptr);  // let go once the cycle was done with it
}

TEST_F(WebQuotesTest, YesterdaysQuoteSoonAfterTheOpenIsTodays) {
  // New York, winter: UTC-5.
  kv_clock_set_utc_ms(date_to_seconds(20240102, 14 * 3600 + 40 * 60) * 1000);
  root_.write("CONFIG/web.cfg",
              "no_clock_sync\nmaxquotes 10\nexchange_times 9:30 16:00\n"
              "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n"
              "market NYSE\nexchange_days 0x3E\n"
              "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\nmain_hours 9:30 16:00\n"
              "[MAIN]\nurl " +
                  server.url("/q?s=\\r,\\s+,\\t") +
                  "\nloop\n%s ,\n%el ,\n%c ,\n%d ,\n%t ,\nendloop\n");
  free_quote_source_cfgs();
  ASSERT_NE(read_quote_source_cfg(MULTIQUOTE_TIMEUNIT), nullptr);
  mqt *a = rec("A");
  a->market = find_market("NYSE");
  ASSERT_NE(a->market, nullptr);
  server.on("/q?s=A", page("A,10.5,10.4,01/01/2024,9:35,\n"));
  poll_web_quotes();
  EXPECT_EQ(a->quote_date, 20240102);
  EXPECT_FLOAT_EQ(a->prev_close, 10.4f);
  EXPECT_FLOAT_EQ(a->last, 10.5f);
  // An hour after the open the page's date stands.
  kv_clock_set_utc_ms(date_to_seconds(20240102, 15 * 3600 + 40 * 60) * 1000);
  poll_web_quotes();
  EXPECT_EQ(a->quote_date, 20240101);
}

TEST_F(WebQuotesTest, ScriptErrorsEndTheCycle) {
  rec("A");
  StatusCapture status;
  struct {
    std::string script;
    int maxquotes;
    const char *message;
  } cases[] = {
      {"url " + server.url("/q?s=\\r,\\s+,\\t") + "\nbogus\n", 10,
       "Mqt Parse file error: Unknown directive"},
      {"url " + server.url("/q?s=\\r,\\s+") + "\n", 10, "no ending repeat char in mqt parse file"},
      {"url " + server.url("/q?s=\\q") + "\n", 10, "mqt parse file error"},
      {"url " + server.url("/q?s=\\r,\\s,") + "\nabort 99 x\\\n", 10, "mqt parse file error"},
      {"url " + server.url("/q?s=\\r,\\s,") + "\nloop\n" + std::string(300, 'x') + "\nendloop\n",
       10, "mqt parse file loop too big"},
      {"url " + server.url("/q?s=\\r,\\s,") + "\n", 0, "Invalid maxquotes in parsefile"},
      {"url " + server.url("/" + std::string(3000, 'p')) + "\n", 10, "mqt parse file error"},
  };
  server.on("/q?s=A", page("A,1\n"));
  for (auto &c : cases) {
    script(c.script, c.maxquotes);
    EXPECT_EQ(poll_web_quotes(), nullptr) << c.message;
    bool seen = false;
    for (const std::string &l : status.take()) seen |= l.find(c.message) != std::string::npos;
    EXPECT_TRUE(seen) << c.message;
  }
}

}  // namespace
