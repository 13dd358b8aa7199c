// The broker socket's input on arbitrary bytes: the stream is received
// through a socket pair whose far end has sent it and finished, and read
// message by message through the dispatcher (field decoding, the skipping
// of messages without a handler, the error messages and their reactions)
// until the stream ends.  The first byte picks the server version.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "broker/twsacct.h"
#include "broker/twsconn.h"
#include "broker/twsdispatch.h"
#include "broker/twsin.h"
#include "broker/twsreq.h"
#include "broker/twsticker.h"
#include "broker/twswire.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "settings/settings.h"

static std::string g_root;

static void remove_root() {
  kv_remove_tree(g_root.c_str());
}

// A data root of its own below TMPDIR, removed at exit.
static void setup_root() {
  const char* tmp = getenv("TMPDIR");
  std::string tmpl = std::string(tmp && tmp[0] ? tmp : "/tmp") + "/kv_fuzz_tws_XXXXXX";
  if (!mkdtemp(&tmpl[0])) abort();
  g_root = tmpl;
  snprintf(g_settings.DataRoot, sizeof g_settings.DataRoot, "%s", g_root.c_str());
  atexit(remove_root);
  // Every handler of the broker link runs; what they put into the quote
  // ring goes through the relay's record handlers.
  install_tws_msg_handlers();
  alloc_quote_ring();
}

// Two records on tickers 1 and 301's fold, and nothing of the last run.
static void reset_state() {
  static uint8_t drain[QUOTE_RING_SLOTS * QUOTE_RING_SLOT];
  int n = quote_ring_take(drain);
  if (n > 0) kvqr_dispatch_records(drain, n);
  tws_clear_hmds_target();
  tws_accounts_reset();
  kv_lock guard(g_chart_lock);
  memset(g_symbol_slots, 0, sizeof g_symbol_slots);
  ticker_table_clear();
  free_all_mqts();
  for (int id : {1, 5}) {
    mqt* r = create_multiquote_struct(id == 1 ? "IBM" : "ES");
    if (!r) continue;
    ticker_entry_init(id, r->symbol);
    g_symbol_slots[id - 1] = r;
    r->symbol_slot = id;
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_root.empty()) setup_root();
  if (size < 1 || size > 65536) return 0;
  int fd[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd) != 0) abort();
  // Replies the reactions send must never block the reader.
  fcntl(fd[0], F_SETFL, fcntl(fd[0], F_GETFL) | O_NONBLOCK);
  size_t off = 1;
  while (off < size) {
    ssize_t n = send(fd[1], data + off, size - off, MSG_NOSIGNAL);
    if (n <= 0) abort();
    off += (size_t)n;
  }
  shutdown(fd[1], SHUT_WR);

  reset_state();
  g_tws_server_version = TWS_MIN_SERVER_VERSION + data[0] % 4;
  g_tws_socket = fd[0];
  g_tws_peer_error = -1;
  g_tws_socket_errors = 0;
  tws_wire_reset();
  g_tws_connected = 1;
  // Every message takes at least one byte, so the stream ends within
  // size reads; a loop beyond that is a fault.
  size_t reads = 0;
  while (g_tws_peer_error.load() == -1) {
    tws_process_message();
    if (++reads > size + 2) abort();
  }
  g_tws_connected = 0;
  g_tws_socket = -1;
  reset_state();
  close(fd[0]);
  close(fd[1]);
  return 0;
}
