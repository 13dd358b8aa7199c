// The quote relay's records, its socket transport and the request thread,
// against a fake relay that speaks the real records over real sockets.
#include <errno.h>

#include <cstring>
#include <string>
#include <thread>

#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "data/tests/status_capture.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/thread.h"
#include "quotes/booksubs.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/tests/fake_relay.h"
#include "quotes/tests/quotes_fixture.h"
#include "platform/testing/wait.h"

namespace {

const char kRelayName[] = "KvRelayT";

std::string field_text(const std::vector<uint8_t>& b, size_t off, size_t n) {
  std::string s;
  for (size_t i = off; i < off + n && i < b.size() && b[i]; i++) s += (char)b[i];
  return s;
}

// A relay answering every stream request with symbol number 7.
FakeRelay::answer answer_stream(const std::vector<uint8_t>&) {
  return {{FakeRelay::stream_reply(7)}};
}

class RelayTest : public QuotesTest {
 protected:
  void SetUp() override {
    QuotesTest::SetUp();
    // A relay transaction waits in steps of 5 s and gives up after 30 s.
    // At the fixture's thousandth a loaded machine can miss a 5 ms step,
    // so these tests run their waits at a fiftieth (100 ms steps).
    kv_set_time_scale(0.02);
    configure(0x17);
    g_qr_hostname[0] = 0;
    g_pref_flags &= ~PREF_START_RELAY;
    g_qr_hooks = {};
  }
  void TearDown() override {
    stop_router();
    {
      kv_lock guard(g_router_lock);
      qr_close();
    }
    g_qr_hooks = {};
    g_pref_flags &= ~PREF_START_RELAY;
    free_quote_source_cfgs();
    free_srcdata_cfg();
    QuotesTest::TearDown();
  }
  // The request thread's start and end wait at full time: a loaded machine
  // may take longer than the scaled waits to run a new thread up to its
  // queue or an ending one to its end.  Both return as soon as it is done.
  static int start_router() {
    double scale = kv_time_scale();
    kv_set_time_scale(1);
    int started = start_router_request_thread();
    kv_set_time_scale(scale);
    return started;
  }
  static int stop_router() {
    double scale = kv_time_scale();
    kv_set_time_scale(1);
    int ended = stop_router_request_thread();
    kv_set_time_scale(scale);
    return ended;
  }
  void configure(uint32_t caps) {
    char cfg[256];
    snprintf(cfg, sizeof cfg,
             "router_capabilities 0x%x\nrouter_name %s\nexchange_times 9:30 16:00\n"
             "exchange_timezone 300 0/0/11/1 2:00 0 0/0/3/2 2:00 -60\n",
             caps, kRelayName);
    root_.write("CONFIG/srcdata.cfg", "MULTIQUOTE 1\n  relay relay.cfg\n");
    root_.write("CONFIG/relay.cfg", cfg);
    free_srcdata_cfg();
    free_quote_source_cfgs();
    g_settings.MultiQuoteSource = 0;
  }
};

// ---- records and requests -------------------------------------------------

TEST(QrRecord, StreamRequestIsLaidOutFieldByField) {
  struct {
    const char* symbol;
    const char* before;
    const char* after;
  } cases[] = {
      {"ES~FU", "ES", "FU"},
      {"IBM", "IBM", ""},
      {"*", "*", ""},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789~X", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "X"},
  };
  for (auto& c : cases) {
    qr_request req;
    qr_build_stream(&req, c.symbol, 34140, 0x1000011);
    std::vector<uint8_t> b(req.bytes, req.bytes + req.size);
    ASSERT_EQ(req.size, 64) << c.symbol;
    EXPECT_EQ(b[0], QR_REQ_STREAM);
    EXPECT_EQ(std::string((const char*)&b[2], strnlen((const char*)&b[2], 32)), c.before)
        << c.symbol;
    EXPECT_EQ(field_text(b, 34, 2), c.after) << c.symbol;
    EXPECT_EQ((int32_t)get_le32(&b[36]), 34140);
    EXPECT_EQ((int32_t)get_le32(&b[40]), 0);
    EXPECT_EQ(get_le32(&b[44]), 0x1000011u);
    for (int i = 48; i < 64; i++) EXPECT_EQ(b[i], 0) << i;
  }
  // Little-endian whatever the host.
  uint8_t w[4];
  put_le32(w, 0x01020304);
  EXPECT_EQ(w[0], 4);
  EXPECT_EQ(w[3], 1);
  EXPECT_EQ(get_le16(w), 0x0304);
}

TEST(QrRecord, SizesOfRecordCodes) {
  int table[][2] = {{2, 36},  {3, 36},   {4, 36},  {5, 144}, {6, 540},  {7, 540}, {8, 36},
                    {10, 36}, {12, 936}, {13, 36}, {14, 4},  {15, 108}, {17, 36}, {18, 144},
                    {22, 72}, {63, 36},  {0, 0},   {9, 0},   {11, 0},   {62, 0}};
  for (auto& t : table) EXPECT_EQ(qr_record_size(t[0]), t[1]) << t[0];
}

TEST_F(RelayTest, ErrorCodesAreReportedWithTheirTexts) {
  StatusCapture status;
  struct {
    int code;
    const char* text;
  } cases[] = {{5, "Invalid account or password"},
               {7, "Symbol not in database:  XYZ"},
               {10, "Too many requestes outstanding"},
               {11, "Database requested is temporarily unavailable:  XYZ"},
               {13, "Database error for request:  XYZ"},
               {14, "No Data Available:  XYZ"},
               {99, "KvQRouter reports error #99"}};
  for (auto& c : cases) {
    EXPECT_EQ(kvqr_error_text(c.code, "XYZ"), c.code);
    EXPECT_TRUE(status.saw(c.text)) << c.text;
  }
  size_t before = status.take().size();
  EXPECT_EQ(kvqr_error_text(0, "XYZ"), 0);
  EXPECT_EQ(status.take().size(), before);
}

// ---- connecting -----------------------------------------------------------

TEST_F(RelayTest, ConnectsThroughRequestAndDataSockets) {
  g_pref_flags |= PREF_START_RELAY;
  FakeRelay relay(kRelayName);
  ASSERT_TRUE(relay.start());
  EXPECT_EQ(kvqr_connect(), 1);
  EXPECT_TRUE(qr_is_connected());
  EXPECT_EQ(kvqr_connect(), 1);  // already connected: nothing more asked
  auto connects = relay.connects_taken();
  ASSERT_EQ(connects.size(), 1u);
  const std::vector<uint8_t>& c = connects[0];
  ASSERT_EQ(c.size(), 32u);
  EXPECT_EQ(c[0], QR_REQ_CONNECT);
  EXPECT_EQ(field_text(c, 1, 15), "TESTHOST");
  EXPECT_EQ(field_text(c, 16, 16), "Korvane");
  EXPECT_TRUE(kv_wait_until([&] { return relay.data_clients == 1; }));
  EXPECT_GE(qr_data_socket(), 0);
  EXPECT_TRUE(services_.launches.empty());  // running: not started again
}

TEST_F(RelayTest, RelayNotRunningIsStartedByNameOnlyWhenAsked) {
  StatusCapture status;
  g_cont_update = 1;
  EXPECT_EQ(kvqr_connect(), 0);
  EXPECT_TRUE(services_.launches.empty());
  EXPECT_TRUE(status.saw("Router is apparently not running"));
  EXPECT_TRUE(status.saw("Can not connect to quote router: KvRelayT"));
  EXPECT_EQ(g_cont_update, 0);

  g_pref_flags |= PREF_START_RELAY;
  EXPECT_EQ(kvqr_connect(), 0);  // started, but nothing listens here
  ASSERT_EQ(services_.launches.size(), 1u);
  const std::string& program = services_.launches[0].program;
  EXPECT_EQ(program.substr(program.rfind('/')), "/KvRelayT");
  EXPECT_TRUE(services_.launches[0].args.empty());
  // The lock is free for other threads after the failed connect.
  std::thread other([] { kv_lock guard(g_router_lock); });
  other.join();
}

TEST_F(RelayTest, RemoteHostIsReachedByItsFolderAndNeverStarted) {
  g_pref_flags |= PREF_START_RELAY;
  snprintf(g_qr_hostname, sizeof g_qr_hostname, "farhost");
  FakeRelay relay(kRelayName, "farhost");
  ASSERT_TRUE(relay.start());
  EXPECT_EQ(kvqr_connect(), 1);
  EXPECT_TRUE(services_.launches.empty());
  char path[256];
  ASSERT_NE(qr_socket_path(path, sizeof path, "farhost", "x"), nullptr);
  EXPECT_NE(std::string(path).find("/farhost/x"), std::string::npos);
  // The local names and hostile names.
  EXPECT_TRUE(qr_host_is_local("testhost"));
  EXPECT_TRUE(qr_host_is_local("127.0.0.1"));
  EXPECT_FALSE(qr_host_is_local("farhost"));
  EXPECT_EQ(qr_socket_path(path, sizeof path, nullptr, "../x"), nullptr);
  EXPECT_EQ(qr_socket_path(path, sizeof path, "a/b", "x"), nullptr);
}

TEST_F(RelayTest, DataSocketNameFromTheReplyMustStayInTheRunFolder) {
  FakeRelay relay(kRelayName);
  ASSERT_TRUE(relay.start());
  StatusCapture status;
  for (const char* name : {"..", "../spigot-1", "/spigot-1", "no-such-spigot"}) {
    {
      std::lock_guard<std::mutex> g(relay.mu);
      relay.spigot_reply = name;
    }
    EXPECT_EQ(kvqr_connect(), 0) << name;
    EXPECT_FALSE(qr_is_connected());
  }
  {
    std::lock_guard<std::mutex> g(relay.mu);
    relay.spigot_reply.clear();
  }
  EXPECT_EQ(kvqr_connect(), 1);
}

// ---- transactions ---------------------------------------------------------

TEST_F(RelayTest, SilentRelayTimesOutAndTheNextRequestConnectsAgain) {
  FakeRelay relay(kRelayName);
  bool silent = true;
  relay.respond = [&](const std::vector<uint8_t>& r) {
    return silent ? FakeRelay::answer{} : answer_stream(r);
  };
  ASSERT_TRUE(relay.start());
  StatusCapture status;
  EXPECT_EQ(kvqr_stream_request("IBM", nullptr, 0x1000011), 0);
  EXPECT_EQ(g_qr_last_error, ECANCELED);
  EXPECT_TRUE(status.saw("Router communication timeout."));
  EXPECT_FALSE(qr_is_connected());
  EXPECT_FALSE(g_router_lock.held_by_current_thread());
  std::thread other([] { kv_lock guard(g_router_lock); });
  other.join();

  {
    std::lock_guard<std::mutex> g(relay.mu);
    silent = false;
  }
  EXPECT_EQ(kvqr_stream_request("IBM", nullptr, 0x1000011), 1);
  EXPECT_EQ(relay.connects_taken().size(), 2u);
}

TEST_F(RelayTest, RelayThatHangsUpFailsAtOnce) {
  FakeRelay relay(kRelayName);
  relay.respond = [](const std::vector<uint8_t>&) {
    FakeRelay::answer a;
    a.close_after = true;
    return a;
  };
  ASSERT_TRUE(relay.start());
  StatusCapture status;
  EXPECT_EQ(kvqr_stream_request("IBM", nullptr, 0x1000011), 0);
  EXPECT_NE(g_qr_last_error, ECANCELED);
  EXPECT_TRUE(status.saw("returned in kvqr_stream_request"));
  EXPECT_FALSE(qr_is_connected());
}

TEST_F(RelayTest, StreamReplyIsCheckedBeforeTheNumberIsTaken) {
  struct {
    std::vector<uint8_t> reply;
    int ok;
    int slot;
  } cases[] = {
      {FakeRelay::stream_reply(7), 1, 7},
      {FakeRelay::stream_reply(300), 1, 300},
      {FakeRelay::stream_reply(0), 0, 0},
      {FakeRelay::stream_reply(301), 0, 0},
      {FakeRelay::stream_reply(7, QR_TEXT_PAGE), 0, 0},
      {FakeRelay::stream_reply(7, QR_STREAM, QR_ERR_NO_SYMBOL), 0, 0},
      {std::vector<uint8_t>(72, 0), 0, 0},
      {std::vector<uint8_t>(3, 0), 0, 0},
  };
  FakeRelay relay(kRelayName);
  std::vector<uint8_t> next;
  relay.respond = [&](const std::vector<uint8_t>&) { return FakeRelay::answer{{next}}; };
  ASSERT_TRUE(relay.start());
  StatusCapture status;
  for (auto& c : cases) {
    mqt* r = create_multiquote_struct("IBM");
    r->symbol_slot = 0;
    memset(g_symbol_slots, 0, sizeof g_symbol_slots);
    {
      std::lock_guard<std::mutex> g(relay.mu);
      next = c.reply;
      if (c.reply.size() == 72) next[0] = (uint8_t)(QR_STREAM | 0x80);
    }
    EXPECT_EQ(kvqr_stream_request("IBM", r, 0x1000011), c.ok) << c.slot;
    EXPECT_EQ(r->symbol_slot, c.slot);
    if (c.slot) {
      EXPECT_EQ(g_symbol_slots[c.slot - 1], r);
    }
    delete_multiquote(r);
  }
  EXPECT_TRUE(status.saw("Response code 11, error_code 0, recsize 36"));
  EXPECT_TRUE(status.saw("Response code 10, error_code 0, recsize 72"));
  // "*" takes no number.
  {
    std::lock_guard<std::mutex> g(relay.mu);
    next = FakeRelay::stream_reply(0);
  }
  EXPECT_EQ(kvqr_stream_request("*", nullptr, 0x4000000), 1);
}

// A reply of 61 records in blocks of 28, 28 and 5; the last has bit 7.
std::vector<std::vector<uint8_t>> history_blocks(int error_at = -1) {
  std::vector<std::vector<uint8_t>> blocks;
  for (int i = 0; i < 61; i++) {
    if (i % 28 == 0) blocks.emplace_back();
    std::vector<uint8_t> rec(QR_RECORD_SIZE, 0);
    rec[0] = QR_INTRADAY_BARS | (i == 60 ? QR_LAST_RECORD : 0);
    rec[1] = (uint8_t)(i == error_at ? QR_ERR_NO_DATA : 0);
    put_le32(&rec[4], (uint32_t)1000 + i);
    blocks.back().insert(blocks.back().end(), rec.begin(), rec.end());
  }
  return blocks;
}

int collect_time(const uint8_t* rec, void* ctx) {
  ((std::vector<int>*)ctx)->push_back((int32_t)get_le32(rec + QR_OFF_TIME));
  return 1;
}

TEST_F(RelayTest, LongReplyIsReadBlockByBlockToItsLastRecord) {
  FakeRelay relay(kRelayName);
  std::vector<std::vector<uint8_t>> blocks;
  int pause_ms = 0;
  relay.respond = [&](const std::vector<uint8_t>&) {
    FakeRelay::answer a{blocks};
    a.pause_ms = pause_ms;
    return a;
  };
  auto answer_with = [&](std::vector<std::vector<uint8_t>> b) {
    std::lock_guard<std::mutex> g(relay.mu);
    blocks = std::move(b);
  };
  ASSERT_TRUE(relay.start());
  StatusCapture status;
  qr_request req;
  qr_build_code_only(&req, QR_REQ_INTRADAY, QR_REQUEST_SIZE);
  kv_lock guard(g_router_lock);
  ASSERT_EQ(kvqr_connect(), 1);

  answer_with(history_blocks());
  std::vector<int> times;
  ASSERT_EQ(qr_transact(req.bytes, req.size), 1);
  EXPECT_EQ(g_qr_reply.length, 28 * 36);
  EXPECT_EQ(g_qr_reply.request_code, QR_REQ_INTRADAY);
  EXPECT_EQ(qr_read_records(collect_time, &times, "IBM"), 61);
  ASSERT_EQ(times.size(), 61u);
  EXPECT_EQ(times.front(), 1000);
  EXPECT_EQ(times.back(), 1060);

  // An error record in the second block ends the walk there.
  answer_with(history_blocks(30));
  times.clear();
  ASSERT_EQ(qr_transact(req.bytes, req.size), 1);
  EXPECT_EQ(qr_read_records(collect_time, &times, "IBM"), -1);
  EXPECT_EQ(times.size(), 30u);
  EXPECT_TRUE(status.saw("No Data Available:  IBM"));

  // The blocks left unread are not taken for the next reply.
  answer_with(history_blocks());
  times.clear();
  ASSERT_EQ(qr_transact(req.bytes, req.size), 1);
  EXPECT_EQ(qr_read_records(collect_time, &times, "IBM"), 61);
  EXPECT_EQ(times.front(), 1000);

  // The same when the relay sends its blocks as they become ready: the
  // rest of the reply is read out before the next request goes.
  {
    std::lock_guard<std::mutex> g(relay.mu);
    pause_ms = 20;
  }
  answer_with(history_blocks(30));
  times.clear();
  ASSERT_EQ(qr_transact(req.bytes, req.size), 1);
  EXPECT_EQ(qr_read_records(collect_time, &times, "IBM"), -1);
  answer_with(history_blocks());
  times.clear();
  ASSERT_EQ(qr_transact(req.bytes, req.size), 1);
  EXPECT_EQ(qr_read_records(collect_time, &times, "IBM"), 61);
  EXPECT_EQ(times.front(), 1000);
  EXPECT_TRUE(qr_is_connected());
  {
    std::lock_guard<std::mutex> g(relay.mu);
    pause_ms = 0;
  }

  // A block of partial records is never read past its end, and the
  // records after it would be out of step: the connection goes.
  answer_with({std::vector<uint8_t>(50, QR_INTRADAY_BARS)});
  ASSERT_EQ(qr_transact(req.bytes, req.size), 1);
  EXPECT_EQ(qr_read_records(collect_time, &times, "IBM"), -1);
  EXPECT_TRUE(status.saw("recsize 50"));
  EXPECT_FALSE(qr_is_connected());

  // A block longer than the reply buffer breaks the connection.
  ASSERT_EQ(kvqr_connect(), 1);
  answer_with({std::vector<uint8_t>(1100, QR_INTRADAY_BARS)});
  EXPECT_EQ(qr_transact(req.bytes, req.size), 0);
  EXPECT_FALSE(qr_is_connected());

  // A relay that stops in the middle of a reply: the wait for the next
  // block times out.
  ASSERT_EQ(kvqr_connect(), 1);
  answer_with({history_blocks()[0]});
  times.clear();
  ASSERT_EQ(qr_transact(req.bytes, req.size), 1);
  EXPECT_EQ(qr_read_records(collect_time, &times, "IBM"), -1);
  EXPECT_EQ(times.size(), 28u);
  EXPECT_TRUE(status.saw("returned on router request"));
}

TEST_F(RelayTest, CloseFromAnotherThreadDuringATransactionOnlyShutsTheSockets) {
  FakeRelay relay(kRelayName);
  relay.respond = answer_stream;
  ASSERT_TRUE(relay.start());
  kv_lock guard(g_router_lock);  // as a transaction in flight holds it
  ASSERT_EQ(kvqr_connect(), 1);
  int fd = qr_data_socket();
  std::thread input([] { qr_close(); });
  input.join();
  EXPECT_FALSE(qr_is_connected());
  EXPECT_EQ(qr_data_socket(), fd);  // still ours, shut, not yet closed
  qr_request req;
  qr_build_stream(&req, "IBM", 0, 0x1000011);
  EXPECT_EQ(qr_transact(req.bytes, req.size), 0);  // fails at once
  EXPECT_EQ(qr_data_socket(), -1);
  EXPECT_EQ(kvqr_stream_request("IBM", nullptr, 0x1000011), 1);  // connects again
}

// ---- the request thread ---------------------------------------------------

std::string request_symbol(const std::vector<uint8_t>& r) {
  return field_text(r, 2, 32);
}
uint32_t request_code(const std::vector<uint8_t>& r) {
  return get_le32(&r[44]);
}

TEST_F(RelayTest, RouterServesStreamsOnlyAfterTheFirstRefresh) {
  FakeRelay relay(kRelayName);
  relay.respond = answer_stream;
  ASSERT_TRUE(relay.start());
  ASSERT_EQ(start_router(), 1);
  mqt* a = create_multiquote_struct("IBM");
  ASSERT_EQ(router_post_stream(0x1000011, a), 1);
  ASSERT_EQ(router_post_stream(0x1000020, a), 1);
  EXPECT_EQ(a->pending_streams, 2);
  // The router takes a request out of its queue before it serves it:
  // both still queued and nothing at the relay shows none was served.
  EXPECT_EQ(kv_queue_length(g_router_thread_id), 2);
  EXPECT_TRUE(relay.taken().empty());

  ASSERT_TRUE(kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 1, 0));
  ASSERT_TRUE(relay.wait_requests(2));
  ASSERT_TRUE(
      kv_wait_until([&] { return __atomic_load_n(&a->pending_streams, __ATOMIC_SEQ_CST) == 0; }));
  auto reqs = relay.taken();
  EXPECT_EQ(request_symbol(reqs[0]), "IBM");
  EXPECT_EQ(request_code(reqs[0]), 0x1000011u);
  EXPECT_EQ(request_code(reqs[1]), 0x1000020u);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(a->streams_held, 0x31u);
    EXPECT_EQ(a->symbol_slot, 7);
    EXPECT_EQ(g_symbol_slots[6], a);
  }

  // All-records codes go out for "*"; code 21 has no relay request.
  router_post_stream(0x4000000, nullptr);
  router_post_stream(STREAM_ACCOUNT_INFO, nullptr);
  router_post_stream(0x10000000, nullptr);
  ASSERT_TRUE(relay.wait_requests(4));
  reqs = relay.taken();
  EXPECT_EQ(request_symbol(reqs[2]), "*");
  EXPECT_EQ(request_code(reqs[2]), 0x4000000u);
  EXPECT_EQ(request_code(reqs[3]), 0x10000000u);

  // A drop clears its kinds only.
  router_post_stream(0x2000020, a);
  ASSERT_TRUE(relay.wait_requests(5));
  ASSERT_TRUE(
      kv_wait_until([&] { return __atomic_load_n(&a->pending_streams, __ATOMIC_SEQ_CST) == 0; }));
  EXPECT_EQ(a->streams_held, 0x11u);

  // The last user goes while streams are held: the relay lets the record go.
  delete_multiquote(a);
  ASSERT_TRUE(relay.wait_requests(6));
  EXPECT_EQ(request_code(relay.taken()[5]), 0x20000FFu);
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return (a->flags & MQT_FREE) != 0;
  }));
  EXPECT_EQ(find_mqt("IBM"), nullptr);

  // Ending the thread drops everything at the relay.
  EXPECT_EQ(stop_router(), 1);
  EXPECT_EQ(g_router_thread_id.load(), 0u);
  reqs = relay.taken();
  ASSERT_EQ(reqs.size(), 7u);
  EXPECT_EQ(request_symbol(reqs[6]), "*");
  EXPECT_EQ(request_code(reqs[6]), 0x40000000u);
  EXPECT_FALSE(qr_is_connected());
}

TEST_F(RelayTest, RouterEndsBeforeAnyRefreshAndKeepsRecordsOfFailedRequests) {
  ASSERT_EQ(start_router(), 1);
  EXPECT_EQ(stop_router(), 1);

  // No relay: the request fails, the count is still lowered and the
  // record stays.
  StatusCapture status;
  ASSERT_EQ(start_router(), 1);
  ASSERT_TRUE(kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 1, 0));
  mqt* a = create_multiquote_struct("IBM");
  ASSERT_EQ(router_post_stream(0x1000011, a), 1);
  ASSERT_TRUE(
      kv_wait_until([&] { return __atomic_load_n(&a->pending_streams, __ATOMIC_SEQ_CST) == 0; }));
  EXPECT_EQ(find_mqt("IBM"), a);
  EXPECT_EQ(a->symbol_slot, 0);
  EXPECT_EQ(stop_router(), 1);
}

TEST_F(RelayTest, BookWindowsShareOneStreamAndAThirdIsRefused) {
  FakeRelay relay(kRelayName);
  relay.respond = answer_stream;
  ASSERT_TRUE(relay.start());
  ASSERT_EQ(start_router(), 1);
  ASSERT_TRUE(kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 1, 0));
  StatusCapture status;
  uint8_t buf[3][BOOK_BUFFER_SIZE];

  mqt* a = subscribe_orderbook("IBM", 11, buf[0], BOOK_OPTION_INSIDE_MARKET);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(subscribe_orderbook("IBM", 12, buf[1], 0), a);
  int users = a->users;
  EXPECT_EQ(subscribe_orderbook("IBM", 13, buf[2], 0), nullptr);
  EXPECT_EQ(a->users, users);
  {
    kv_lock guard(g_chart_lock);
    mqt_book_slots* slots = find_book_slots(a);
    ASSERT_NE(slots, nullptr);
    EXPECT_EQ(slots->orderbook_count, 2);
    EXPECT_EQ(slots->orderbook[0].buffer, buf[0]);
    EXPECT_EQ(slots->orderbook[0].option, BOOK_OPTION_INSIDE_MARKET);
  }
  set_orderbook_option(a, 12, 1);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(find_book_slots(a)->orderbook[1].option, 1);
  }

  // Level 2 is not offered by this relay.
  EXPECT_EQ(subscribe_level2("IBM", 14, buf[2], 0), nullptr);
  EXPECT_TRUE(status.saw("No level2 capability"));
  EXPECT_EQ(a->users, users);

  EXPECT_EQ(unsubscribe_orderbook(a, 13), 0);
  EXPECT_EQ(a->users, users);
  EXPECT_EQ(unsubscribe_orderbook(a, 11), 1);
  EXPECT_EQ(a->users, users - 1);  // the window's user given back
  EXPECT_EQ(unsubscribe_orderbook(a, 12), 1);
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(find_book_slots(a), nullptr);
  }
  // One add for the first window, one drop for the last, then the record's
  // release: the windows held its only users.
  ASSERT_TRUE(relay.wait_requests(3));
  auto reqs = relay.taken();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(request_code(reqs[0]), 0x1000020u);
  EXPECT_EQ(request_code(reqs[1]), 0x2000020u);
  // The request thread lets the record go under the chart lock: read it
  // under the lock too.
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return __atomic_load_n(&a->pending_streams, __ATOMIC_SEQ_CST) == 0;
  }));
  kv_lock guard(g_chart_lock);
  EXPECT_EQ(a->streams_held, 0u);
}

// The broker link as the request thread sees it. Its hooks run on the
// request thread while the test reads what they counted: counters are
// atomic, the cancelled ids are read under their lock.
struct FakeBroker {
  static std::atomic<int> connected, requests, orders, accounts, closes;
  static std::mutex mu;
  static std::vector<int> cancelled_ids;
  static int is_connected() { return connected; }
  static int connect(const char*, int, int) { return connected = 1; }
  static int req_mkt_data(mqt*) { return ++requests == 1 ? 42 : 43; }
  static void cancel(int id) {
    std::lock_guard<std::mutex> g(mu);
    cancelled_ids.push_back(id);
  }
  static std::vector<int> cancelled() {
    std::lock_guard<std::mutex> g(mu);
    return cancelled_ids;
  }
  static void open_orders() { orders++; }
  static void account_updates() { accounts++; }
  static void request_close() { closes++; }
  static void install() {
    connected = requests = orders = accounts = closes = 0;
    {
      std::lock_guard<std::mutex> g(mu);
      cancelled_ids.clear();
    }
    g_qr_hooks.tws_connected = is_connected;
    g_qr_hooks.tws_connect = connect;
    g_qr_hooks.req_mkt_data = req_mkt_data;
    g_qr_hooks.cancel_mkt_data = cancel;
    g_qr_hooks.req_all_open_orders = open_orders;
    g_qr_hooks.req_account_updates = account_updates;
    g_qr_hooks.tws_request_close = request_close;
  }
};
std::atomic<int> FakeBroker::connected, FakeBroker::requests, FakeBroker::orders,
    FakeBroker::accounts, FakeBroker::closes;
std::mutex FakeBroker::mu;
std::vector<int> FakeBroker::cancelled_ids;

TEST_F(RelayTest, BrokerModeSubscribesThroughTheBrokerLink) {
  configure(0x10017);
  FakeBroker::install();
  g_cont_update = 1;
  ASSERT_EQ(start_router(), 1);
  ASSERT_TRUE(kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 0, 0));
  mqt* a = create_multiquote_struct("IBM");  // not yet connected: no request of its own
  router_post_stream(0x1000011, a);
  ASSERT_TRUE(
      kv_wait_until([&] { return __atomic_load_n(&a->pending_streams, __ATOMIC_SEQ_CST) == 0; }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(FakeBroker::requests, 1);
    EXPECT_EQ(a->symbol_slot, 42);
    EXPECT_EQ(g_symbol_slots[41], a);
    EXPECT_EQ(a->streams_held, 0x11u);
  }
  router_post_stream(STREAM_ACCOUNT_INFO, nullptr);
  ASSERT_TRUE(kv_wait_until([] { return FakeBroker::accounts == 1; }));
  EXPECT_EQ(FakeBroker::orders, 1);

  // Lost market data: every record asked again under a new id.
  ASSERT_TRUE(kv_post_thread_message(g_router_thread_id, WM_TWS_RESUBSCRIBE, 0, 0));
  ASSERT_TRUE(kv_wait_until([] { return FakeBroker::requests == 2; }));
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return a->symbol_slot == 43;
  }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(g_symbol_slots[41], nullptr);
  }

  // Collection closed: market data cancelled, the record's streams cleared.
  router_post_stream(STREAM_MARKET_CLOSED, nullptr);
  ASSERT_TRUE(kv_wait_until([] { return FakeBroker::cancelled().size() == 1; }));
  EXPECT_EQ(FakeBroker::cancelled()[0], 43);
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return a->streams_held == 0;
  }));

  EXPECT_EQ(stop_router(), 1);
  EXPECT_EQ(FakeBroker::closes, 1);
}

TEST_F(RelayTest, BrokerModeReleaseCancelsTheMarketDataOfAFreedRecord) {
  configure(0x10017);
  FakeBroker::install();
  g_cont_update = 1;
  ASSERT_EQ(start_router(), 1);
  ASSERT_TRUE(kv_post_thread_message(g_router_thread_id, WM_REQUEST_REFRESH, 0, 0));
  mqt* a = create_multiquote_struct("IBM");
  router_post_stream(0x1000011, a);
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return a->symbol_slot == 42 && a->pending_streams == 0;
  }));
  delete_multiquote(a);  // the last user goes while market data flows
  ASSERT_TRUE(kv_wait_until([] { return FakeBroker::cancelled().size() == 1; }));
  EXPECT_EQ(FakeBroker::cancelled()[0], 42);
  ASSERT_TRUE(kv_wait_until([&] {
    kv_lock guard(g_chart_lock);
    return (a->flags & MQT_FREE) != 0;
  }));
  {
    kv_lock guard(g_chart_lock);
    EXPECT_EQ(g_symbol_slots[41], nullptr);
  }
  EXPECT_EQ(stop_router(), 1);
}

}  // namespace
