// The relay's request thread: stream subscriptions of the live-quote
// records, to the relay or to the broker.
#include "quotes/router.h"
#include "quotes/mqtthread.h"

#include <errno.h>

#include <cstdio>
#include <cstring>

#include "data/debugtrace.h"
#include "data/exchclock.h"
#include "data/statmsg.h"
#include "platform/assert.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "quotes/qrclient.h"
#include "settings/settings.h"

mqt* g_symbol_slots[300];
std::atomic<kv_thread_id> g_router_thread_id{0};

static kv_thread* s_thread;
static kv_event s_ready(KV_MANUAL_RESET);

enum { START_WAIT_MS = 5000, EXIT_WAITS = 30, EXIT_WAIT_MS = 100 };

// The record is still a live member of the list.  Caller holds g_chart_lock.
static int record_listed(mqt* record) {
  KV_ASSERT_CHART_LOCK_HELD();
  int n = 0;
  for (mqt* r = g_mqt_list; r && n < 100000; r = r->next, n++)
    if (r == record) return !(r->flags & MQT_FREE);
  return 0;
}

// One request served for the record.  Requests posted without raising the
// count (releases, all-records passes) leave it at zero, never below, so a
// record is not skipped by the subscribe-missing pass for ever.
static void lower_pending(mqt* record) {
  int32_t v = __atomic_load_n(&record->pending_streams, __ATOMIC_SEQ_CST);
  while (v > 0 && !__atomic_compare_exchange_n(&record->pending_streams, &v, v - 1, false,
                                               __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) {
  }
}

// A WM_STREAM_REQUEST dropped undelivered: its request is served as far as
// the count goes.
static void release_stream_request(unsigned, kv_wparam, kv_lparam lparam) {
  if (!lparam) return;
  kv_lock guard(g_chart_lock);
  mqt* record = (mqt*)lparam;
  if (record_listed(record)) lower_pending(record);
}

int router_post_stream(uint32_t stream_code, mqt* record) {
  if (record) __atomic_add_fetch(&record->pending_streams, 1, __ATOMIC_SEQ_CST);
  if (g_router_thread_id &&
      kv_post_thread_message(g_router_thread_id, WM_STREAM_REQUEST, stream_code, (kv_lparam)record,
                             record ? release_stream_request : nullptr))
    return 1;
  if (record) __atomic_sub_fetch(&record->pending_streams, 1, __ATOMIC_SEQ_CST);
  return 0;
}

// Gives the record the relay's number n.  Caller holds g_chart_lock.
static void set_symbol_slot(mqt* record, int n) {
  KV_ASSERT_CHART_LOCK_HELD();
  if (qr_symbol_valid(record->symbol_slot) && g_symbol_slots[record->symbol_slot - 1] == record)
    g_symbol_slots[record->symbol_slot - 1] = nullptr;
  g_symbol_slots[n - 1] = record;
  record->symbol_slot = n;
}

int kvqr_stream_request(const char* symbol, mqt* record, uint32_t stream_code) {
  if (!symbol) symbol = "";
  int time_of_day;
  {
    kv_lock guard(g_chart_lock);
    if (record && !record_listed(record)) return 0;
    time_of_day = exchange_time_of_day(record) - 60;
  }
  qr_request req;
  qr_build_stream(&req, symbol, time_of_day, stream_code);
  char text[96];
  kv_lock guard(g_router_lock);
  if (!kvqr_connect()) return 0;
  if (!qr_transact(req.bytes, req.size)) {
    debug_trace("Err %d\n", g_qr_last_error);
    if (g_qr_last_error == ECANCELED) {
      statmsg(__FILE__, __LINE__, "Router communication timeout.", nullptr, STATMSG_ERROR);
    } else {
      snprintf(text, sizeof text, "Error %d returned in kvqr_stream_request", g_qr_last_error);
      statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
    }
    return 0;
  }
  const uint8_t* rec = g_qr_reply.bytes;
  if (g_qr_reply.length != QR_RECORD_SIZE || qr_record_error(rec) ||
      qr_record_code(rec) != QR_STREAM) {
    snprintf(text, sizeof text, "Response code %d, error_code %d, recsize %d",
             g_qr_reply.length > 0 ? qr_record_code(rec) : 0,
             g_qr_reply.length > 1 ? qr_record_error(rec) : 0, g_qr_reply.length);
    statmsg(__FILE__, __LINE__, text, symbol, STATMSG_ERROR);
    return 0;
  }
  if (symbol[0] && strcmp(symbol, "*") != 0) {
    int n = qr_record_symbol(rec);
    if (!qr_symbol_valid(n)) {
      debug_trace("Symbol #%d, out of range\n", n);
      return 0;
    }
    if (record) {
      kv_lock chart_guard(g_chart_lock);
      if (record_listed(record)) set_symbol_slot(record, n);
    }
  }
  return 1;
}

static int broker_mode() {
  return has_router_capability(QR_CAP_BROKER_SOCKET) != 0;
}

static int tws_connected() {
  return g_qr_hooks.tws_connected && g_qr_hooks.tws_connected();
}

// Broker-socket change of one record after a successful connect.  Caller
// holds g_chart_lock.
static void apply_broker_change(mqt* r, uint32_t code) {
  KV_ASSERT_CHART_LOCK_HELD();
  if (code & STREAM_BROKER_ADD) {
    if (!(r->flags & MQT_NOT_STREAMABLE) && cont_update() && g_qr_hooks.req_mkt_data) {
      int id = g_qr_hooks.req_mkt_data(r);
      if (qr_symbol_valid(id)) set_symbol_slot(r, id);
    }
    r->streams_held |= code & STREAM_KINDS;
    lower_pending(r);
  } else if (code & STREAM_BROKER_DROP) {
    lower_pending(r);
    if (r->symbol_slot) {
      if (g_qr_hooks.cancel_mkt_data) g_qr_hooks.cancel_mkt_data(r->symbol_slot);
      r->streams_held = 0;
      r->flags &= ~MQT_QUOTE_STORED;
      if (r->users <= 0 && __atomic_load_n(&r->pending_streams, __ATOMIC_SEQ_CST) == 0)
        mark_mqt_free(r);
    }
  } else {
    lower_pending(r);
  }
}

void router_stream_change(mqt* record, uint32_t stream_code) {
  if (!kvqr_connect()) return;
  kv_lock guard(g_chart_lock);
  if (record_listed(record)) apply_broker_change(record, stream_code);
}

// Applies an all-records code to every streamable record while the broker
// stays connected.
static void broker_change_all(uint32_t code, int only_streaming) {
  if (!kvqr_connect()) return;
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r && tws_connected(); r = r->next) {
    if (r->flags & (MQT_FREE | MQT_NOT_STREAMABLE)) continue;
    if (only_streaming && !r->streams_held) continue;
    apply_broker_change(r, code);
  }
}

static void serve_broker_stream(uint32_t code, mqt* record) {
  if (record) {
    router_stream_change(record, code);
  } else if (code & STREAM_ALL_RECORDS) {
    broker_change_all(code, 0);
  } else if (code == STREAM_ACCOUNT_INFO) {
    debug_trace("Requesting account and order info...\n");
    if (g_qr_hooks.req_all_open_orders) g_qr_hooks.req_all_open_orders();
    if (g_qr_hooks.req_account_updates) g_qr_hooks.req_account_updates();
  }
}

static void serve_pipe_stream(uint32_t code, mqt* record) {
  if (!record) {
    // Code 21 (account and order information) has no relay request.
    if (code & STREAM_ALL_RECORDS) kvqr_stream_request("*", nullptr, code);
    return;
  }
  char symbol[MQT_SYMBOL_SIZE];
  {
    kv_lock guard(g_chart_lock);
    if (!record_listed(record)) return;
    if (code & STREAM_ADD)
      record->streams_held |= code & STREAM_KINDS;
    else if (code & STREAM_DROP)
      record->streams_held &= ~(code & STREAM_KINDS);
    memcpy(symbol, record->symbol, sizeof symbol);
    symbol[sizeof symbol - 1] = 0;
  }
  int ok = kvqr_stream_request(symbol, record, code);
  {
    kv_lock guard(g_chart_lock);
    if (!record_listed(record)) return;
    lower_pending(record);
    // Let go only when no other request for it waits in the queue: the
    // queued message holds its address.
    if (ok && record->users <= 0 && !record->streams_held &&
        __atomic_load_n(&record->pending_streams, __ATOMIC_SEQ_CST) == 0)
      mark_mqt_free(record);
  }
  if (!ok) debug_trace("Error in router_request_thread %s %d\n", symbol, (int)code);
}

static void serve_refresh(kv_wparam all) {
  if (!broker_mode() || !all || !tws_connected()) return;
  broker_change_all(STREAM_MARKET_CLOSED, 1);
  {
    kv_lock guard(g_chart_lock);
    for (mqt* r = g_mqt_list; r; r = r->next) {
      if (r->flags & MQT_FREE) continue;
      if (g_qr_hooks.release_market_depth) g_qr_hooks.release_market_depth(r);
      r->streams_held = 0;
      __atomic_store_n(&r->pending_streams, 0, __ATOMIC_SEQ_CST);
    }
  }
  if (g_qr_hooks.tws_request_close) g_qr_hooks.tws_request_close();
}

static void serve_resubscribe() {
  if (!broker_mode() || !kvqr_connect()) return;
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r && tws_connected(); r = r->next) {
    if (r->flags & MQT_FREE) continue;
    if (qr_symbol_valid(r->symbol_slot) && g_symbol_slots[r->symbol_slot - 1] == r)
      g_symbol_slots[r->symbol_slot - 1] = nullptr;
    r->symbol_slot = 0;
    apply_broker_change(r, STREAM_BROKER_ADD);
  }
}

static int serve_exit() {
  if (qr_relay_connected()) {
    if (tws_connected()) {
      broker_change_all(STREAM_MARKET_CLOSED, 0);
      if (g_qr_hooks.tws_request_close) g_qr_hooks.tws_request_close();
    } else {
      kvqr_stream_request("*", nullptr, STREAM_EXIT);
    }
  }
  {
    kv_lock guard(g_chart_lock);
    for (mqt* r = g_mqt_list; r; r = r->next) r->streams_held = 0;
  }
  g_router_thread_id = 0;
  {
    kv_lock guard(g_router_lock);
    qr_close();
  }
  debug_trace("exiting router_request_thread\n");
  return 0;
}

int router_request_thread(void*) {
  kv_queue_create();
  s_ready.set();
  kv_thread_yield();
  kv_msg m;
  // Nothing is served before the first refresh; an exit still ends the
  // thread, so that the program can close before quotes were asked for.
  for (;;) {
    int r = kv_get_message(&m, WM_REQUEST_REFRESH, WM_PROGRAM_EXIT);
    if (r <= 0 || m.message == WM_PROGRAM_EXIT) return serve_exit();
    if (m.message == WM_REQUEST_REFRESH) break;
  }
  for (;;) {
    int r = kv_get_message(&m, KV_ROUTER_THREAD_MSG_FIRST, KV_ROUTER_THREAD_MSG_LAST);
    if (r <= 0) return serve_exit();
    switch (m.message) {
      case WM_REQUEST_REFRESH:
        serve_refresh(m.wparam);
        break;
      case WM_PROGRAM_EXIT:
        return serve_exit();
      case WM_STREAM_REQUEST:
        if (broker_mode())
          serve_broker_stream((uint32_t)m.wparam, (mqt*)m.lparam);
        else
          serve_pipe_stream((uint32_t)m.wparam, (mqt*)m.lparam);
        break;
      case WM_TWS_RESTORED:
        if (g_qr_hooks.refresh_orders) g_qr_hooks.refresh_orders();
        break;
      case WM_TWS_RESUBSCRIBE:
        serve_resubscribe();
        break;
      default:
        debug_trace("Unknown message  in router_request_thread\n");
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// The live-quote list's entries into the relay.

static int hook_relay_streaming(uint32_t capabilities) {
  return has_router_capability(capabilities) && qr_relay_connected() && cont_update();
}

// The poster raised pending_streams (or, for a release, holds the record
// in the list); a failed post is undone by the poster.
static int hook_post_stream_request(uint32_t stream_code, mqt* record) {
  return g_router_thread_id &&
         kv_post_thread_message(g_router_thread_id, WM_STREAM_REQUEST, stream_code,
                                (kv_lparam)record, record ? release_stream_request : nullptr);
}

static void hook_clear_symbol_slot(mqt* record) {
  kv_lock guard(g_chart_lock);
  if (qr_symbol_valid(record->symbol_slot) && g_symbol_slots[record->symbol_slot - 1] == record)
    g_symbol_slots[record->symbol_slot - 1] = nullptr;
}

int start_router_request_thread() {
  if (s_thread && kv_thread_running(s_thread)) return 1;
  if (s_thread) {
    kv_thread_free(s_thread);
    s_thread = nullptr;
  }
  s_ready.reset();
  s_thread = kv_thread_start("router_request", router_request_thread, nullptr);
  if (!s_thread) return 0;
  if (!s_ready.wait(kv_scaled_ms(START_WAIT_MS)))
    statmsg(__FILE__, __LINE__, "Timeout waiting for router_request_thread to initialize", nullptr,
            STATMSG_ERROR);
  g_router_thread_id = kv_thread_get_id(s_thread);
  g_mqt_hooks.relay_streaming = hook_relay_streaming;
  g_mqt_hooks.post_stream_request = hook_post_stream_request;
  g_mqt_hooks.clear_symbol_slot = hook_clear_symbol_slot;
  return 1;
}

int stop_router_request_thread() {
  if (!s_thread) return 1;
  if (g_router_thread_id) kv_post_thread_message(g_router_thread_id, WM_PROGRAM_EXIT, 0, 0);
  for (int i = 0; i < EXIT_WAITS && g_router_thread_id; i++)
    kv_sleep_ms(kv_scaled_ms(EXIT_WAIT_MS));
  int ended = kv_thread_join(s_thread, kv_scaled_ms(EXIT_WAIT_MS), nullptr);
  g_mqt_hooks.relay_streaming = nullptr;
  g_mqt_hooks.post_stream_request = nullptr;
  g_mqt_hooks.clear_symbol_slot = nullptr;
  g_router_thread_id = 0;
  if (ended) {
    kv_thread_free(s_thread);
    s_thread = nullptr;
  }
  return ended;
}
