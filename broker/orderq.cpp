// The order sender's queue and worker.
#include "broker/orderq.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "broker/orders.h"
#include "broker/twserrors.h"
#include "data/chartheader.h"
#include "data/debugtrace.h"
#include "data/lefield.h"
#include "data/statmsg.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "settings/settings.h"

namespace {

enum : uint32_t { PREF1_KEEP_DEPTH = 0x20 };

struct job {
  int cancel;  // 0 place, 1 cancel
  uint32_t serial;
  int16_t symbol_number;
  int32_t order_id;  // relay id when posted (cancel)
  uint8_t request[ORDER_RELAY_SIZE];
};

std::mutex s_mu;
std::condition_variable s_cv;
std::deque<job> s_jobs;
std::thread s_worker;
bool s_stop;

void report(const char* text) {
  statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
}

int broker_mode() {
  return has_router_capability(QR_CAP_BROKER_SOCKET) != 0;
}

// The order's current relay id and status, by serial; 0 when it is gone.
int order_state(uint32_t serial, int32_t* id, uint32_t* status, order_rec* copy) {
  kv_lock guard(g_chart_lock);
  order_rec* o = find_order_by_serial(serial);
  if (!o) return 0;
  *id = o->relay.order_id;
  *status = o->status;
  if (copy) *copy = *o;
  return 1;
}

void send_place(const job& j) {
  int32_t id;
  uint32_t status;
  order_rec copy;
  // An order cancelled before it went out is not sent.
  if (!order_state(j.serial, &id, &status, &copy) || status == ORDER_CANCELLED) return;
  if (broker_mode()) {
    if ((g_pref_flags1 & PREF1_KEEP_DEPTH) && g_order_hooks.ensure_mkt_depth) {
      kv_lock guard(g_chart_lock);
      if (order_rec* o = find_order_by_serial(j.serial)) g_order_hooks.ensure_mkt_depth(o->record);
    }
    if (!g_order_hooks.ib_place_order || !kvqr_connect() || !g_order_hooks.ib_place_order(&copy))
      tws_error(1, TWS_ERR_NOT_CONNECTED, "Not connected", id);
    return;
  }
  char text[96];
  if (!kvqr_connect()) {
    snprintf(text, sizeof text, "Error %d returned in place_order", g_qr_last_error);
    report(text);
    return;
  }
  int ok, length = 0, code = 0, error = 0;
  int32_t relay_id = 0;
  {
    kv_lock guard(g_router_lock);
    ok = qr_transact(j.request, ORDER_RELAY_SIZE);
    if (ok) {
      length = g_qr_reply.length;
      code = qr_record_code(g_qr_reply.bytes);
      error = qr_record_error(g_qr_reply.bytes);
      relay_id = (int32_t)get_le32(g_qr_reply.bytes + 4);
    }
  }
  if (!ok) {
    debug_trace("place order returns Err %d\n", g_qr_last_error);
    snprintf(text, sizeof text, "Error %d returned in place_order", g_qr_last_error);
    report(text);
    return;
  }
  if (length != QR_RECORD_SIZE || code != QR_PLACE_ORDER || error != 0) {
    snprintf(text, sizeof text, "Response code %d, error_code %d, recsize %d", code, error, length);
    report(text);
    return;
  }
  order_placed(j.serial, relay_id);
}

void send_cancel(const job& j) {
  int32_t id = j.order_id;
  uint32_t status;
  order_state(j.serial, &id, &status, nullptr);  // the id the relay gave meanwhile
  if (!id) return;                               // never went out
  if (broker_mode()) {
    if (!g_order_hooks.ib_cancel_order || !g_order_hooks.ib_cancel_order(id))
      tws_error(1, TWS_ERR_NOT_CONNECTED, "Not connected", id);
    return;
  }
  uint8_t req[ORDER_CANCEL_SIZE] = {QR_CANCEL_ORDER, 0};
  put_le16(req + 2, (uint16_t)j.symbol_number);
  put_le32(req + 4, (uint32_t)id);
  int ok, length = 0, code = 0, error = 0;
  {
    kv_lock guard(g_router_lock);
    ok = qr_transact(req, sizeof req);
    if (ok) {
      length = g_qr_reply.length;
      code = qr_record_code(g_qr_reply.bytes);
      error = qr_record_error(g_qr_reply.bytes);
    }
  }
  char text[96];
  if (!ok) {
    snprintf(text, sizeof text, "Error %d returned in cancel_order", g_qr_last_error);
    report(text);
  } else if (length != QR_CANCEL_REPLY_SIZE || code != QR_CANCEL_ORDER || error != 0) {
    snprintf(text, sizeof text, "Response code %d, error_code %d, recsize %d", code, error, length);
    report(text);
  }
}

void run() {
  std::unique_lock<std::mutex> lock(s_mu);
  for (;;) {
    s_cv.wait(lock, [] { return s_stop || !s_jobs.empty(); });
    if (s_stop) return;
    job j = s_jobs.front();
    s_jobs.pop_front();
    lock.unlock();
    if (j.cancel)
      send_cancel(j);
    else
      send_place(j);
    lock.lock();
  }
}

int post(const job& j) {
  std::lock_guard<std::mutex> g(s_mu);
  if (!s_worker.joinable()) {
    s_stop = false;
    try {
      s_worker = std::thread(run);
    } catch (...) {
      return 0;
    }
  }
  s_jobs.push_back(j);
  s_cv.notify_one();
  return 1;
}

}  // namespace

int order_sender_post_place(const order_rec* o) {
  job j = {};
  j.serial = o->serial;
  j.symbol_number = o->relay.symbol_number;
  j.order_id = o->relay.order_id;
  encode_relay_part(&o->relay, j.request);
  return post(j);
}

int order_sender_post_cancel(const order_rec* o) {
  job j = {};
  j.cancel = 1;
  j.serial = o->serial;
  j.symbol_number = o->relay.symbol_number;
  j.order_id = o->relay.order_id;
  return post(j);
}

void stop_order_sender() {
  std::thread t;
  {
    std::lock_guard<std::mutex> g(s_mu);
    s_stop = true;
    s_jobs.clear();
    t.swap(s_worker);
  }
  s_cv.notify_all();
  if (t.joinable()) t.join();
}
