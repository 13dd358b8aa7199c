// The chart-loading threads and their request rings.
//
// Each thread owns a ring of request slots.  The user-interface thread
// fills the slot at the ring's put position and posts the slot's index to
// the thread as WM_GET_CHART_REQUEST; the thread serves its messages in
// order and lowers the ring's pending count when a slot is done.  Slots are
// served first in first out, so while fewer than the ring's size are
// pending the slot at the put position is free.
#include "data/chartthreads.h"

#include <cstdio>
#include <cstring>

#include "data/chartload.h"
#include "data/debugtrace.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/thread.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_record.h"

std::atomic<int> g_update_pending;
std::atomic<int> g_refresh_pending;

enum { CHART_REQUEST_SYMBOL_SIZE = 128 };

// A request with its own copies of the texts it names: the requesting
// document may be gone by the time the thread reads them.
struct chart_ring_slot {
  chart_request request;
  char symbol[CHART_REQUEST_SYMBOL_SIZE];
  char source[CHART_PATH_SIZE];
  char parse_file[CHART_PATH_SIZE];
};

struct chart_ring {
  const char* name;
  int size;
  chart_ring_slot* slots;
  int put;  // user-interface thread only
  std::atomic<int>* pending;
  int clears_load_mark;  // the update thread clears MQT_CHART_LOAD_PENDING
  kv_thread* thread;
};

static chart_ring_slot s_update_slots[CHART_UPDATE_RING_SLOTS];
static chart_ring_slot s_refresh_slots[CHART_REFRESH_RING_SLOTS];
static chart_ring s_update_ring = {"chart_update_thread",
                                   CHART_UPDATE_RING_SLOTS,
                                   s_update_slots,
                                   0,
                                   &g_update_pending,
                                   1,
                                   nullptr};
static chart_ring s_refresh_ring = {"chart_refresh_thread",
                                    CHART_REFRESH_RING_SLOTS,
                                    s_refresh_slots,
                                    0,
                                    &g_refresh_pending,
                                    0,
                                    nullptr};

static void release_posted_chart(unsigned, kv_wparam wparam, kv_lparam) {
  free_chart_data((chart_rec*)wparam);
}

static void clear_load_mark(chart_rec* chart, const char* symbol) {
  kv_lock guard(g_chart_lock);
  mqt* record = chart ? chart->mqt : nullptr;
  if (!chart && g_chart_load_hooks.find_mqt) record = g_chart_load_hooks.find_mqt(symbol);
  if (record) record->flags &= ~MQT_CHART_LOAD_PENDING;
}

static void serve_request(chart_ring* ring, kv_wparam index) {
  if (index >= (kv_wparam)ring->size) return;
  const chart_request& r = ring->slots[index].request;
  debug_trace("%s: calling get_chart_data(%s,%d)\n", ring->name, r.symbol, r.time_unit);
  chart_rec* chart = get_chart_data(r.symbol, r.time_unit, r.first_date, r.last_date, r.flags,
                                    r.source, r.parse_file, r.density);
  if (ring->clears_load_mark) clear_load_mark(chart, r.symbol);
  // The posted chart's reference passes to the window; a window that is
  // gone, or closes before the message is delivered, never takes it.
  if (!r.window || !kv_post_message((kv_hwnd)r.window, WM_GET_CHART_COMPLETE, (kv_wparam)chart, 0,
                                    release_posted_chart))
    free_chart_data(chart);
  ring->pending->fetch_sub(1);
}

static int chart_thread_main(void* arg) {
  chart_ring* ring = (chart_ring*)arg;
  kv_peek_message(nullptr, KV_CHART_THREAD_MSG_FIRST, KV_CHART_THREAD_MSG_LAST, 0);
  kv_thread_yield();
  kv_msg msg;
  while (kv_get_message(&msg, KV_CHART_THREAD_MSG_FIRST, KV_CHART_THREAD_MSG_LAST) > 0) {
    if (msg.message == WM_GET_CHART_REQUEST) serve_request(ring, msg.wparam);
  }
  return 0;
}

// Posts until the thread takes the message: its queue may not exist yet.
// 0 when the thread has ended.
static int post_to_thread(chart_ring* ring, unsigned message, kv_wparam wparam) {
  kv_thread_id id = kv_thread_get_id(ring->thread);
  while (!kv_post_thread_message(id, message, wparam, 0)) {
    if (!kv_thread_running(ring->thread)) return 0;
    kv_sleep_ms(kv_scaled_ms(20));
  }
  return 1;
}

static int start_chart_thread(chart_ring* ring) {
  if (ring->thread && kv_thread_running(ring->thread)) return 1;
  if (ring->thread) {
    kv_thread_free(ring->thread);
    ring->thread = nullptr;
  }
  ring->thread = kv_thread_start(ring->name, chart_thread_main, ring);
  if (!ring->thread) {
    char text[64];
    snprintf(text, sizeof text, "Can't create %s", ring->name);
    statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
    return 0;
  }
  debug_trace("%s started\n", ring->name);
  return post_to_thread(ring, WM_CHART_THREAD_PING, 0);
}

static void fill_slot(chart_ring_slot* slot, kv_hwnd window, const char* symbol, int unit,
                      int first, int last, uint32_t flags, const char* source,
                      const char* parse_file, int density) {
  snprintf(slot->symbol, sizeof slot->symbol, "%s", symbol ? symbol : "");
  snprintf(slot->source, sizeof slot->source, "%s", source ? source : "");
  snprintf(slot->parse_file, sizeof slot->parse_file, "%s", parse_file ? parse_file : "");
  chart_request& r = slot->request;
  r.window = window;
  r.symbol = slot->symbol;
  r.time_unit = unit;
  r.first_date = first;
  r.last_date = last;
  r.flags = flags;
  r.source = source ? slot->source : nullptr;
  r.parse_file = parse_file ? slot->parse_file : nullptr;
  r.density = density;
}

// Fills the ring's next slot and hands it to its thread.  0 when the
// thread has gone meanwhile (the slot is given back).
static int put_request(chart_ring* ring, kv_hwnd window, const char* symbol, int unit, int first,
                       int last, uint32_t flags, const char* source, const char* parse_file,
                       int density) {
  int index = ring->put;
  fill_slot(&ring->slots[index], window, symbol, unit, first, last, flags, source, parse_file,
            density);
  ring->pending->fetch_add(1);
  if (!post_to_thread(ring, WM_GET_CHART_REQUEST, (kv_wparam)index)) {
    ring->pending->fetch_sub(1);
    return 0;
  }
  ring->put = (index + 1) % ring->size;
  return 1;
}

int queue_chart_request(kv_hwnd window, const char* symbol, int unit, int first, int last,
                        uint32_t flags, const char* source, const char* parse_file, int density) {
  if (!start_chart_thread(&s_update_ring) || !start_chart_thread(&s_refresh_ring)) return 0;
  // A refused request leaves nothing queued, so the update ring is
  // checked before the refresh ring is used.
  if (g_update_pending.load() >= CHART_UPDATE_RING_SLOTS) return 0;
  if (!(flags & CHART_REQ_BACKGROUND) && unit >= 1 && unit <= TU_MAX_MINUTES) {
    if (g_refresh_pending.load() >= CHART_REFRESH_RING_SLOTS) return 0;
    if (!put_request(&s_refresh_ring, window, symbol, unit, first, last, flags, source, parse_file,
                     density))
      return 0;
    flags |= CHART_REQ_BACKGROUND;
  }
  if (g_chart_load_hooks.find_mqt && symbol) {
    kv_lock guard(g_chart_lock);
    if (mqt* record = g_chart_load_hooks.find_mqt(symbol)) record->flags |= MQT_CHART_LOAD_PENDING;
  }
  return put_request(&s_update_ring, window, symbol, unit, first, last, flags, source, parse_file,
                     density);
}

static void stop_chart_thread(chart_ring* ring) {
  if (!ring->thread) return;
  kv_post_quit(kv_thread_get_id(ring->thread), 0);
  kv_thread_join(ring->thread, -1, nullptr);
  kv_thread_free(ring->thread);
  ring->thread = nullptr;
  ring->put = 0;
  ring->pending->store(0);
}

void stop_chart_threads(void) {
  stop_chart_thread(&s_refresh_ring);
  stop_chart_thread(&s_update_ring);
}
