// The connection against a fake TWS: handshake, start-up requests, reading
// fields, the reader thread, closing, and input that ends the stream.
#include "broker/tests/tws_fixture.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <cfloat>

#include "data/chartload.h"

#include "broker/twshooks.h"
#include "platform/locks.h"
#include "platform/testing/wait.h"
#include "broker/twsreq.h"
#include "quotes/qrclient.h"

namespace {

// What the handler of message 9 read: a text, an integer and a double.
struct read_values {
  std::string text;
  int number = -1;
  double value = -1;
  std::atomic<int> count{0};
};
read_values g_read;

void read_three(int) {
  g_read.text = tws_read_text();
  g_read.number = tws_read_int();
  g_read.value = tws_read_double();
  g_read.count++;
}

std::atomic<int> g_nine_sum{0};
void sum_nine(int) {
  tws_read_int();
  g_nine_sum += tws_read_int();
}

class TwsConnTest : public TwsTest {
 protected:
  void SetUp() override {
    TwsTest::SetUp();
    g_read.text.clear();
    g_read.number = -1;
    g_read.value = -1;
    g_read.count = 0;
    g_nine_sum = 0;
  }
  // Reads messages on this thread until one was handled.
  int process_one() {
    return kv_wait_until([] { return tws_process_message() != 0; }) ? 1 : 0;
  }
};

TEST_F(TwsConnTest, HandshakeSendsVersionsAndStartupRequests) {
  struct {
    int server_version, client_id;
    std::vector<std::string> handshake, requests;
  } cases[] = {
      // A client id of 0 also binds TWS's own orders; server 37 and up.
      {38, 7, {"37", "7"}, {"8", "1", "1", "49", "1"}},
      {37, 0, {"37", "0"}, {"8", "1", "1", "15", "1", "1", "49", "1"}},
  };
  for (auto &c : cases) {
    SCOPED_TRACE(c.server_version);
    fake_tws_peer peer;
    std::vector<std::string> got;
    ASSERT_EQ(1, connect_peer(peer, c.server_version, c.client_id, &got));
    EXPECT_EQ(c.handshake, got);
    EXPECT_EQ(c.requests, peer.read_fields((int)c.requests.size()));
    EXPECT_EQ(1, g_tws_connected.load());
    EXPECT_EQ(c.server_version, g_tws_server_version.load());
    EXPECT_STREQ("20261210 14:00:00 EST", g_tws_connect_time);
    EXPECT_TRUE(has_status("IB connection established:"));

    // A second connect reports 501 and leaves the connection alone.
    int fd = g_tws_socket.load();
    EXPECT_EQ(1, tws_connect("127.0.0.1", peer.port, c.client_id, wnd_));
    EXPECT_TRUE(has_status("501 Already connected to TWS"));
    EXPECT_EQ(fd, g_tws_socket.load());

    EXPECT_EQ(1, tws_request_close(wnd_));
    ASSERT_TRUE(pump_until([] { return !g_tws_connected.load(); }));
    EXPECT_TRUE(peer.sees_end());
    EXPECT_EQ(-1, g_tws_socket.load());
    statuses_.clear();
  }
}

TEST_F(TwsConnTest, OldServerIsRefusedAndItsSocketClosed) {
  fake_tws_peer peer;
  std::vector<std::string> got;
  EXPECT_EQ(0, connect_peer(peer, 36, 7, &got));
  EXPECT_EQ(std::vector<std::string>{"37"}, got);  // no client id
  EXPECT_TRUE(has_status("503 TWS is out of date and must be upgraded"));
  EXPECT_EQ(0, g_tws_connected.load());
  EXPECT_EQ(-1, g_tws_socket.load());
  EXPECT_TRUE(peer.sees_end());
}

TEST_F(TwsConnTest, NoPeerListeningFailsWithRefusal) {
  int port;
  {
    fake_tws_peer gone;
    port = gone.port;
  }
  EXPECT_EQ(0, tws_connect("127.0.0.1", port, 1, wnd_));
  EXPECT_TRUE(has_status("IB TWS refused connection (TWS may not be running)"));
  EXPECT_EQ(-1, g_tws_socket.load());
}

TEST_F(TwsConnTest, FieldsAreReadWholeAcrossSegmentsAndEmptyFieldsAreZero) {
  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  g_tws_msg_handlers[9] = read_three;

  // One message in pieces, with gaps inside fields.
  std::string msg = field_bytes({"9", "AB CD", "-12", "2.5"});
  std::thread t([&] {
    for (size_t i = 0; i < msg.size(); i += 3) {
      peer.send_raw(msg.substr(i, 3));
      kv_sleep_ms(30);
    }
  });
  ASSERT_EQ(1, process_one());
  t.join();
  EXPECT_EQ("AB CD", g_read.text);
  EXPECT_EQ(-12, g_read.number);
  EXPECT_EQ(2.5, g_read.value);

  // Empty text, integer and double fields.
  peer.send_fields({"9", "", "", ""});
  ASSERT_EQ(1, process_one());
  EXPECT_EQ("", g_read.text);
  EXPECT_EQ(0, g_read.number);
  EXPECT_EQ(0.0, g_read.value);

  // Doubles that are no finite number read as 0; the largest double stays.
  const struct {
    const char *text;
    double value;
  } doubles[] = {{"nan", 0}, {"-inf", 0}, {"1e999", 0}, {"1.7976931348623157E308", DBL_MAX}};
  for (const auto &d : doubles) {
    SCOPED_TRACE(d.text);
    peer.send_fields({"9", "", "", d.text});
    ASSERT_EQ(1, process_one());
    EXPECT_EQ(d.value, g_read.value);
  }

  // An empty message id is reported, and nothing is handled.
  peer.send_raw(std::string(1, '\0'));
  ASSERT_TRUE(kv_wait_until([&] {
    EXPECT_EQ(0, tws_process_message());
    return has_status("507 Null string read when expecting integer");
  }));
  EXPECT_EQ(1, g_tws_connected.load());

  // An error message goes to the error handling.
  peer.send_fields({"4", "2", "-1", "2104", "Market data farm connection is OK:usfarm"});
  ASSERT_EQ(1, process_one());
  EXPECT_TRUE(has_status("Market data farm connection is OK"));
  EXPECT_EQ(std::vector<int>{TWS_SOUND_CONNECTED}, sounds());
}

TEST_F(TwsConnTest, ReaderThreadDispatchesUntilThePeerCloses) {
  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  g_tws_msg_handlers[9] = sum_nine;
  ASSERT_EQ(1, start_socket_input_thread());
  peer.send_fields({"9", "1", "40", "9", "1", "2"});
  peer.send_fields({"4", "2", "3", "2103", "Market data farm connection is broken:usfarm"});
  ASSERT_TRUE(pump_until([] { return g_nine_sum.load() == 42; }));
  ASSERT_TRUE(pump_until([this] { return has_status("Market data farm is disconnected"); }));

  peer.close_client();
  ASSERT_TRUE(pump_until([] { return !g_tws_connected.load(); }));
  EXPECT_TRUE(has_status("IB connection closed"));
  EXPECT_EQ(0, g_tws_closed.load());
  EXPECT_EQ(std::vector<int>{TWS_FD_CLOSE}, closes_);
  EXPECT_EQ(-1, g_tws_socket.load());
}

TEST_F(TwsConnTest, ResetByPeerClearsRecordTickers) {
  mqt *rec = create_multiquote_struct("IBM");
  ASSERT_NE(nullptr, rec);
  rec->symbol_slot = 5;
  rec->streams_held = 0x11;
  std::vector<mqt *> cleared;
  static std::vector<mqt *> *s_cleared;
  s_cleared = &cleared;
  g_mqt_hooks.clear_symbol_slot = [](mqt *r) { s_cleared->push_back(r); };

  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  ASSERT_EQ(1, start_socket_input_thread());
  peer.reset_client();
  ASSERT_TRUE(pump_until([] { return !g_tws_connected.load(); }));
  EXPECT_TRUE(has_status("TWS reset connection"));
  EXPECT_EQ(1, g_tws_closed.load());
  EXPECT_EQ(std::vector<int>{TWS_SOUND_DISCONNECTED}, sounds());
  EXPECT_EQ(0, rec->symbol_slot);
  EXPECT_EQ(0u, rec->streams_held);
  EXPECT_EQ(std::vector<mqt *>{rec}, cleared);
  EXPECT_EQ(-1, g_tws_socket.load());
  free_all_mqts();
}

TEST_F(TwsConnTest, BadInputClosesTheConnectionCleanly) {
  struct {
    const char *what;
    std::string bytes;
    const char *report;
  } cases[] = {
      {"field too long", "9" + std::string(1, '\0') + std::string(TWS_FIELD_MAX + 10, 'x'),
       "field too long"},
      {"message id too long", std::string(TWS_MSG_ID_MAX + 5, '7'), "message id too long"},
  };
  g_tws_msg_handlers[9] = read_three;
  for (auto &c : cases) {
    SCOPED_TRACE(c.what);
    statuses_.clear();
    closes_.clear();
    fake_tws_peer peer;
    ASSERT_EQ(1, connect_peer(peer, 38, 7));
    peer.read_fields(5);
    ASSERT_EQ(1, start_socket_input_thread());
    peer.send_raw(c.bytes);
    ASSERT_TRUE(pump_until([] { return !g_tws_connected.load(); }));
    EXPECT_TRUE(has_status(c.report));
    EXPECT_TRUE(has_status("Closing the connection to TWS:"));
    EXPECT_TRUE(has_status("IB connection closed"));
    EXPECT_TRUE(peer.sees_end());
  }
}

TEST_F(TwsConnTest, ConnectSequenceRepliesAndUnknownIdsLeaveTheSessionConnected) {
  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  g_tws_msg_handlers[9] = sum_nine;  // the marker: every other id has no handler
  ASSERT_EQ(1, start_socket_input_thread());
  // Replies to the connect sequence and the data that follows, none of
  // them with a handler yet: each is read to its end.
  std::vector<std::string> open_order = {"5",     "3",   "12",  "IBM", "STK", "",    "0",    "",
                                         "SMART", "USD", "IBM", "BUY", "100", "LMT", "99.5", "0",
                                         "DAY",   "",    "DU1", "O",   "0",   "ref", "7"};
  std::vector<std::vector<std::string>> replies = {
      {"9", "1", "1"},
      {"49", "1", "1765375200"},
      {"15", "1", "DU1,DU2"},
      open_order,
      {"3", "6", "12", "Submitted", "0", "100", "0", "55", "0", "0", "7", ""},
      {"6", "2", "NetLiquidation", "1000", "USD", "DU1"},
      {"1", "6", "5", "4", "101.5", "300", "1"},
      {"2", "6", "5", "5", "300"},
      {"17", "3",   "305", "20261210", "20261211", "2",     "1765375200", "1",
       "2",  "0.5", "1.5", "10",       "1.2",      "false", "3",          "1765375260",
       "1",  "2",   "0.5", "1.5",      "10",       "1.2",   "true",       "3"},
      {"21", "6", "5", "13", "0.1", "0.2", "0.3", "0.4", "0.05", "0.1", "-0.02", "101"},
      {"53", "1"},
      {"77"},  // not a message TWS sends: reported, the stream goes on
  };
  for (const auto &r : replies) peer.send_fields(r);
  peer.send_fields({"9", "1", "41"});
  ASSERT_TRUE(pump_until([] { return g_nine_sum.load() == 42; }));
  EXPECT_TRUE(has_status("IB Error(77): 505 Fatal Error: Unknown message id"));
  EXPECT_FALSE(has_status("Closing the connection to TWS"));
  EXPECT_EQ(1, g_tws_connected.load());
  EXPECT_TRUE(closes_.empty());
  // The link still works both ways.
  ReqIds(1);
  EXPECT_EQ((std::vector<std::string>{"8", "1", "1"}), peer.read_fields(3));
}

TEST_F(TwsConnTest, SilentPeerMidFieldLeavesRequestsAndCloseFree) {
  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  g_tws_msg_handlers[9] = read_three;
  ASSERT_EQ(1, start_socket_input_thread());
  // The reader is left waiting inside a field; it holds no lock.
  peer.send_raw("9" + std::string(1, '\0') + "AB");
  ASSERT_TRUE(kv_wait_until([] {
    int unread = -1;
    return ioctl(g_tws_socket.load(), FIONREAD, &unread) == 0 && unread == 0;
  }));
  ReqIds(1);
  EXPECT_EQ((std::vector<std::string>{"8", "1", "1"}), peer.read_fields(3));
  EXPECT_EQ(1, tws_request_close(wnd_));
  ASSERT_TRUE(pump_until([] { return !g_tws_connected.load(); }));
  EXPECT_EQ(-1, g_tws_socket.load());
}

TEST_F(TwsConnTest, CloseAndReaderStartDoNotWaitForAConnectInProgress) {
  // A connect holds the socket lock through resolve, connect and handshake.
  std::atomic<bool> released{false}, held{false};
  kv_event done(KV_MANUAL_RESET);
  std::thread connecting([&] {
    g_tws_socket_lock.lock();
    held = true;
    done.wait(10000);
    released = true;
    g_tws_socket_lock.unlock();
  });
  ASSERT_TRUE(kv_wait_until([&] { return held.load(); }));
  EXPECT_EQ(0, tws_request_close(wnd_));
  EXPECT_EQ(0, start_socket_input_thread());
  EXPECT_FALSE(released.load());
  done.set();
  connecting.join();
}

TEST_F(TwsConnTest, SendToAResetPeerEndsTheStream) {
  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  peer.reset_client();
  // the reset has arrived once the socket reads as ready
  ASSERT_TRUE(kv_wait_until([] {
    pollfd p{g_tws_socket.load(), POLLIN, 0};
    return poll(&p, 1, 0) == 1;
  }));
  ReqIds(1);
  ReqIds(1);
  EXPECT_TRUE(has_status("Closing the connection to TWS: send failed"));
  EXPECT_EQ(TWS_ECONNRESET, g_tws_peer_error.load());
  EXPECT_EQ(1, tws_disconnect());
  EXPECT_TRUE(has_status("TWS reset connection"));
}

TEST_F(TwsConnTest, TenthSocketErrorEndsTheConnection) {
  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  for (int i = 0; i < 9; i++) tws_error(1, TWS_ERR_SOCKET, "Error reading msg type", 104);
  EXPECT_TRUE(has_status("Socket error 104"));
  EXPECT_EQ(-1, g_tws_peer_error.load());
  tws_error(1, TWS_ERR_SOCKET, "Error reading msg type", 104);
  EXPECT_TRUE(has_status("Closing the connection to TWS: too many socket errors"));
  EXPECT_NE(-1, g_tws_peer_error.load());
  EXPECT_TRUE(peer.sees_end());
}

TEST_F(TwsConnTest, UnknownMessageDumpsTheLastTwoMessages) {
  fake_tws_peer peer;
  ASSERT_EQ(1, connect_peer(peer, 38, 7));
  peer.read_fields(5);
  peer.send_fields({"4", "2", "-1", "2104", "farm OK"});
  ASSERT_EQ(1, process_one());
  peer.send_fields({"77", "1"});
  ASSERT_EQ(1, process_one());
  EXPECT_TRUE(has_status("IB Error(77): 505 Fatal Error: Unknown message id"));
  char dump[2 * TWS_TRACE_RING_SIZE + 8];
  tws_format_trace(dump, sizeof dump);
  EXPECT_STREQ("[4]2;-1;2104;farm OK;\r\n[77]", dump);
}

TEST_F(TwsConnTest, RequestsWhileDisconnectedReport504) {
  ReqIds(1);
  EXPECT_TRUE(has_status("IB Error(504): 504 Not connected"));
  EXPECT_EQ(STATMSG_NOTICE, status_level("504 Not connected"));
}

// ---------------------------------------------------------------------------
// Finding and launching TWS through a window backend.

struct fake_backend {
  int running = 0, launch_ok = 0, login_after = 0, logins = 0;
};
fake_backend g_fb;

class TwsLaunchTest : public TwsTest {
 protected:
  void SetUp() override {
    TwsTest::SetUp();
    g_fb = fake_backend();
    g_tws_window_backend.is_running = [] { return g_fb.running; };
    g_tws_window_backend.launch = [] { return g_fb.launch_ok; };
    g_tws_window_backend.login = [](const char *, const char *) {
      return ++g_fb.logins >= g_fb.login_after ? 1 : 0;
    };
  }
};

TEST_F(TwsLaunchTest, NotRunningOnThisMachineFailsAndStopsCollection) {
  EXPECT_EQ(0, tws_connect("127.0.0.1", 1, 1, wnd_));
  EXPECT_TRUE(has_status("TWS does not appear to be running!"));
  EXPECT_EQ(0, g_cont_update);
  EXPECT_EQ(std::vector<int>{TWS_SOUND_DISCONNECTED}, sounds());
  EXPECT_EQ(TWS_LAUNCH_IDLE, g_tws_launch_state.load());
}

TEST_F(TwsLaunchTest, LaunchThatCannotStartIsRemembered) {
  g_settings.Flags1 |= 0x4;
  EXPECT_EQ(0, tws_connect("127.0.0.1", 1, 1, wnd_));
  EXPECT_TRUE(has_status("Attempting to auto start TWS"));
  EXPECT_TRUE(has_status("Unable to auto start TWS"));
  EXPECT_EQ(TWS_LAUNCH_FAILED, g_tws_launch_state.load());
  EXPECT_EQ(0, g_cont_update);
}

TEST_F(TwsLaunchTest, LaunchedTwsIsLoggedIntoAndConnected) {
  g_settings.Flags1 |= 0x4;
  g_fb.launch_ok = 1;
  g_fb.login_after = 3;
  fake_tws_peer peer;
  EXPECT_EQ(1, connect_peer(peer, 38, 7));
  EXPECT_EQ(3, g_fb.logins);
  EXPECT_EQ(TWS_LAUNCH_IDLE, g_tws_launch_state.load());
}

TEST_F(TwsLaunchTest, OtherMachineIsConnectedWithoutLaunching) {
  snprintf(g_settings.QRHostname, sizeof g_settings.QRHostname, "localhost");
  g_settings.Flags1 &= ~0x4u;
  fake_tws_peer peer;
  std::thread t([&] {
    if (!peer.accept_client()) return;
    std::string f;
    peer.read_field(&f);
    peer.send_fields({"40", "20261210 14:00:00 EST"});
  });
  EXPECT_EQ(1, tws_connect("localhost", peer.port, 7, wnd_));
  t.join();
  EXPECT_EQ(0, g_fb.logins);
}

TEST_F(TwsLaunchTest, ConfirmThreadRunsUntilConnectedOrFailed) {
  static std::atomic<int> confirms;
  confirms = 0;
  g_fb.running = 1;
  g_tws_window_backend.confirm_dialogs = [] { confirms++; };

  // TWS answers the handshake late: the dialogs are confirmed meanwhile,
  // and no more once connected.
  fake_tws_peer peer;
  std::thread t([&] {
    if (!peer.accept_client()) return;
    std::string f;
    peer.read_field(&f);
    kv_wait_until([] { return confirms.load() >= 1; });
    peer.send_fields({"38", "20261210 14:00:00 EST"});
    peer.read_field(&f);
  });
  EXPECT_EQ(1, tws_connect("127.0.0.1", peer.port, 7, wnd_));
  t.join();
  int at_connect = confirms.load();
  EXPECT_GE(at_connect, 1);

  // A connect that fails stops the thread as well.
  tws_disconnect();
  int port;
  {
    fake_tws_peer gone;
    port = gone.port;
  }
  EXPECT_EQ(0, tws_connect("127.0.0.1", port, 7, wnd_));
  int at_failure = confirms.load();
  kv_sleep_ms(600);
  EXPECT_EQ(at_failure, confirms.load());
  EXPECT_LE(at_connect, at_failure);
}

TEST_F(TwsConnTest, RelayReachesTheLinkThroughItsHooks) {
  qr_hooks saved = g_qr_hooks;
  install_tws_hooks();
  fake_tws_peer peer;
  std::thread t([&] {
    if (!peer.accept_client()) return;
    std::string f;
    peer.read_field(&f);
    peer.send_fields({"38", "20261210 14:00:00 EST"});
  });
  EXPECT_EQ(1, g_qr_hooks.tws_connect("127.0.0.1", peer.port, 7));
  t.join();
  EXPECT_EQ(1, g_qr_hooks.tws_connected());
  EXPECT_EQ(1, g_qr_hooks.start_socket_input());
  g_qr_hooks.tws_request_close();
  ASSERT_TRUE(pump_until([] { return !g_tws_connected.load(); }));
  EXPECT_EQ(0, g_qr_hooks.tws_connected());
  g_qr_hooks = saved;
  g_chart_load_hooks.broker_connected = nullptr;
  g_chart_load_hooks.hist_data_error = nullptr;
}

}  // namespace

namespace {

// Without a window backend, TWS counts as running only while something
// accepts connections on the configured port, so auto-start can happen.
TEST_F(TwsLaunchTest, WithoutWindowsTwsRunsOnlyWhileItsPortAnswers) {
  g_tws_window_backend = g_tws_null_window_backend;
  {
    fake_tws_peer listening;
    g_qr_port_num = listening.port;
    EXPECT_EQ(1, tws_is_running());
  }
  EXPECT_EQ(0, tws_is_running());
  g_pref_flags1 |= 0x4;  // start TWS when it is not running
  EXPECT_EQ(0, tws_connect("127.0.0.1", g_qr_port_num, 1, wnd_));
  EXPECT_TRUE(has_status("Attempting to auto start TWS"));
  EXPECT_TRUE(has_status("Unable to auto start TWS"));
  EXPECT_EQ(TWS_LAUNCH_FAILED, g_tws_launch_state.load());
}

}  // namespace
