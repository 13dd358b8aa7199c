// Relay replies on arbitrary contents, received over a real socket from a
// stand-in relay: a stream request's one-record reply, or a multi-block
// reply walked record by record (stopping early at an error record, or
// where the caller stops it). Whatever the reply, the next request's reply
// must be its own: nothing of an earlier reply may be taken for it.
//
// Input: byte 0 the mode (bit 0: a stream request, else a multi-block
// walk; bit 1: the walk stops itself after two records), then blocks, each
// a little-endian u16 length and that many bytes. The relay sends the
// blocks up to the one a correct reader ends on.
#include <errno.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/quotecfg.h"
#include "data/srcdata.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/tests/fake_relay.h"
#include "settings/settings.h"

static const char kRelay[] = "KvRelayF";
static std::string g_root;
static FakeRelay* g_relay;
static std::vector<std::vector<uint8_t>> g_packets;  // under g_relay->mu
static uint8_t g_sink;

static void cleanup() {
  delete g_relay;
  g_relay = nullptr;
  {
    kv_lock guard(g_router_lock);
    qr_close();
  }
  kv_remove_tree(g_root.c_str());
}

static void setup() {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/kv_fuzz_relay_XXXXXX";
  if (!mkdtemp(&tmpl[0])) abort();
  g_root = tmpl;
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", g_root.c_str());
  setenv("XDG_RUNTIME_DIR", (g_root + "/run").c_str(), 1);
  kv_make_dirs((g_root + "/run").c_str(), nullptr);
  kv_make_dirs((g_root + "/CONFIG").c_str(), nullptr);
  std::string srcdata = "MULTIQUOTE 1\n  relay relay.cfg\n";
  std::string relay = std::string("router_capabilities 0x17\nrouter_name ") + kRelay +
                      "\nexchange_times 9:30 16:00\n";
  kv_write_file_atomic((g_root + "/CONFIG/srcdata.cfg").c_str(), srcdata.data(), srcdata.size(),
                       nullptr);
  kv_write_file_atomic((g_root + "/CONFIG/relay.cfg").c_str(), relay.data(), relay.size(), nullptr);
  free_srcdata_cfg();
  free_quote_source_cfgs();
  g_settings.MultiQuoteSource = 0;
  g_qr_hostname[0] = 0;
  // Waits for a silent relay end in milliseconds.
  kv_set_time_scale(0.0002);
  g_relay = new FakeRelay(kRelay);
  g_relay->respond = [](const std::vector<uint8_t>&) {
    FakeRelay::answer a;
    a.packets = g_packets;
    return a;
  };
  if (!g_relay->start()) abort();
  atexit(cleanup);
}

static void answer_with(std::vector<std::vector<uint8_t>> packets) {
  std::lock_guard<std::mutex> g(g_relay->mu);
  g_packets = std::move(packets);
}

struct walk {
  int seen;
  int stop_after;
};

static int take_record(const uint8_t* rec, void* ctx) {
  walk* w = (walk*)ctx;
  if (qr_record_error(rec)) abort();  // error records end the walk, they are never handed on
  uint8_t sum = 0;
  for (int i = 0; i < QR_RECORD_SIZE; i++)
    sum = (uint8_t)(sum ^ rec[i]);  // every byte handed on lies inside the reply
  g_sink = (uint8_t)(g_sink + sum);
  w->seen++;
  return !(w->stop_after && w->seen >= w->stop_after);
}

// 1 when a reader walking records ends on this block.
static int ends_reply(const std::vector<uint8_t>& b) {
  if (b.empty() || b.size() > QR_REPLY_SIZE || b.size() % QR_RECORD_SIZE) return 1;
  for (size_t off = 0; off < b.size(); off += QR_RECORD_SIZE)
    if (qr_record_is_last(&b[off])) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!g_relay) setup();
  if (size < 1) return 0;
  int mode = data[0];
  std::vector<std::vector<uint8_t>> packets;
  size_t pos = 1;
  while (pos + 2 <= size && packets.size() < 64) {
    size_t len = (size_t)(data[pos] | data[pos + 1] << 8) % 1200;
    pos += 2;
    if (len > size - pos) len = size - pos;
    packets.emplace_back(data + pos, data + pos + len);
    pos += len;
    if ((mode & 1) || ends_reply(packets.back())) break;
  }
  if (packets.empty()) return 0;
  answer_with(packets);

  kv_lock guard(g_router_lock);
  if (mode & 1) {
    kvqr_stream_request("IBM", nullptr, 0x1000011);
  } else if (kvqr_connect()) {
    qr_request req;
    qr_build_code_only(&req, QR_REQ_INTRADAY, QR_REQUEST_SIZE);
    if (qr_transact(req.bytes, req.size)) {
      walk w{0, (mode & 2) ? 2 : 0};
      int n = qr_read_records(take_record, &w, "FZ");
      if (n > w.seen || w.seen > 64 * QR_REPLY_SIZE / QR_RECORD_SIZE) abort();
    }
  }

  // The next request gets its own reply (or, on a machine too slow for
  // the shortened waits, none).
  answer_with({FakeRelay::stream_reply(7)});
  if (!kvqr_connect()) return 0;
  qr_request req;
  qr_build_stream(&req, "IBM", 0, 0x1000011);
  if (!qr_transact(req.bytes, req.size)) {
    if (g_qr_last_error != ECANCELED) abort();
    return 0;
  }
  if (g_qr_reply.length != QR_RECORD_SIZE || qr_record_code(g_qr_reply.bytes) != QR_STREAM ||
      !qr_record_is_last(g_qr_reply.bytes) || qr_record_symbol(g_qr_reply.bytes) != 7)
    abort();
  return 0;
}
