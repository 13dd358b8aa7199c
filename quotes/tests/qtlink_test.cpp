// The QuoteTracker link against a fake quote program on loopback: whole
// entries of the portfolio list, the first symbol kept, and no request
// after three failed connections.
#include <cstring>
#include <string>

#include "data/inet.h"
#include "data/tests/http_test_server.h"
#include "quotes/qtlink.h"
#include "quotes/tests/quotes_fixture.h"

namespace {

canned_reply reply(const char *body) {
  canned_reply r;
  r.body = body;
  return r;
}

class QtLinkTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    session_ = inet_open_session();
    saved_session_ = g_inet_session;
    g_inet_session = session_;
    snprintf(g_qt_address, sizeof g_qt_address, "%s", qt.url("").c_str());
    g_qt_port_id[0] = g_qt_first_symbol[0] = 0;
    g_qt_errors = 0;
    qt.on("/req?EnumPorts", reply("OK\n1,Other\n7,korvane\n"));
    qt.on("/req?EnumPortSymbols(7)", reply("OK\nIBM,MSFT\n"));
    qt.on("/req?AddStocksToPort(7,MSF)", reply("OK\n"));
    qt.on("/req?RemoveStocksFromPort(7,MSFT)", reply("OK\n"));
  }
  void TearDown() override {
    g_inet_session = saved_session_;
    inet_close_session(session_);
    QuotesTest::TearDown();
  }
  int asked(const std::string &what) {
    int n = 0;
    for (const std::string &r : qt.requests()) n += r.find(what) != std::string::npos;
    return n;
  }
  http_test_server qt;
  CKvINet *session_ = nullptr;
  CKvINet *saved_session_ = nullptr;
};

TEST_F(QtLinkTest, WholeEntriesAndTheFirstSymbolKept) {
  mqt *msf = create_multiquote_struct("MSF");
  source_init(msf, 1);
  EXPECT_STREQ(g_qt_port_id, "7");
  EXPECT_TRUE(msf->flags & MQT_QT_PORTFOLIO);
  EXPECT_EQ(asked("AddStocksToPort(7,MSF)"), 1);  // "MSFT" does not hold it
  mqt *msft = create_multiquote_struct("MSFT");
  source_init(msft, 1);
  EXPECT_EQ(asked("AddStocksToPort(7,MSFT)"), 0);
  EXPECT_STREQ(g_qt_first_symbol, "IBM");
  mqt *ibm = create_multiquote_struct("IBM");
  source_init(ibm, 1);
  source_deinit(ibm, 1);
  EXPECT_EQ(asked("RemoveStocksFromPort"), 0);  // the first symbol stays
  source_deinit(msft, 1);
  EXPECT_EQ(asked("RemoveStocksFromPort(7,MSFT)"), 1);
  EXPECT_FALSE(msft->flags & MQT_QT_PORTFOLIO);
}

TEST_F(QtLinkTest, ThreeFailedConnectionsEndTheLink) {
  snprintf(g_qt_address, sizeof g_qt_address, "http://127.0.0.1:1");  // nothing listens
  mqt *r = create_multiquote_struct("IBM");
  for (int i = 0; i < 5; i++) source_init(r, 1);
  EXPECT_EQ(g_qt_errors, QT_MAX_ERRORS);
  EXPECT_EQ(r->quote_fail_count, 5);
  EXPECT_FALSE(r->flags & MQT_QT_PORTFOLIO);
  source_init(r, 0);
  EXPECT_TRUE(r->flags & MQT_QT_PORTFOLIO);
}

}  // namespace
