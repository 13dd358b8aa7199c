// The relay's input thread and the quote ring of broker-socket mode.
#include "quotes/spigot.h"

#include <errno.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/debugtrace.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"

enum {
  OVERFLOW_REPORT_SECONDS = 300,
  SOUND_OVERFLOW = 16,
  HEARTBEAT_KIND = QR_STATUS_TICK,
};

static uint8_t* s_slots;  // QUOTE_RING_SLOTS x 36 bytes
static quote_ring_state s_ring = {0, 0, 0, QUOTE_RING_WRAP, 0};
static int64_t s_last_overflow_report = INT64_MIN / 2;
static kv_event s_ring_event(KV_AUTO_RESET);

static kv_thread* s_thread;
static std::atomic<int> s_stop{0};
static std::atomic<int> s_ring_mode{0};

void alloc_quote_ring() {
  kv_lock guard(g_chart_lock);
  if (s_slots) return;
  s_slots = (uint8_t*)calloc(QUOTE_RING_SLOTS, QUOTE_RING_SLOT);
  s_ring = {0, 0, 0, QUOTE_RING_WRAP, 0};
}

void free_quote_ring() {
  kv_lock guard(g_chart_lock);
  free(s_slots);
  s_slots = nullptr;
  s_ring = {0, 0, 0, QUOTE_RING_WRAP, 0};
  s_last_overflow_report = INT64_MIN / 2;
}

quote_ring_state quote_ring_snapshot() {
  kv_lock guard(g_chart_lock);
  return s_ring;
}

int ticker_put_record(int length, const uint8_t* record) {
  int n = (length + QUOTE_RING_SLOT - 1) / QUOTE_RING_SLOT;
  if (length <= 0 || n > QUOTE_RING_SLOTS - QUOTE_RING_WRAP + 1) return 0;
  int lost = 0, put = 0;
  {
    kv_lock guard(g_chart_lock);
    if (!s_slots) return 0;
    if (s_ring.unread > QUOTE_RING_DROP_UNREAD) {
      s_ring.lost++;
      int64_t now = kv_now_utc_seconds();
      if (now - s_last_overflow_report >= OVERFLOW_REPORT_SECONDS) {
        s_last_overflow_report = now;
        statmsg(__FILE__, __LINE__, "Data Input Overflow", nullptr, STATMSG_ERROR);
        if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(SOUND_OVERFLOW);
      }
    } else {
      memcpy(s_slots + (size_t)s_ring.put * QUOTE_RING_SLOT, record, (size_t)length);
      s_ring.put += n;
      if (s_ring.put > QUOTE_RING_WRAP - 1) {
        s_ring.wrap_mark = s_ring.put;
        s_ring.put = 0;
      }
      s_ring.unread += n;
      lost = s_ring.lost;
      s_ring.lost = 0;
      put = 1;
    }
  }
  if (lost) {
    char text[64];
    int64_t t = kv_now_local_seconds();
    kv_datetime d;
    kv_split_seconds(t, &d);
    snprintf(text, sizeof text, "%6d messages from TWS lost at %02d:%02d:%02d", lost, d.hour,
             d.minute, d.second);
    statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
  }
  s_ring_event.set();
  return put;
}

void queue_heartbeat_record() {
  uint8_t r[QR_RECORD_SIZE] = {};
  r[QR_OFF_CODE] = QR_RELAY_STATUS;
  put_le16(r + QR_OFF_SYMBOL, HEARTBEAT_KIND);
  {
    kv_lock guard(g_chart_lock);
    if (!s_slots) return;
  }
  ticker_put_record(QR_RECORD_SIZE, r);
}

int quote_ring_take(uint8_t* out) {
  kv_lock guard(g_chart_lock);
  if (!s_slots || s_ring.unread == 0) return 0;
  int read = s_ring.read, end = s_ring.put < read ? s_ring.wrap_mark : s_ring.put;
  int n = end - read;
  memcpy(out, s_slots + (size_t)read * QUOTE_RING_SLOT, (size_t)n * QUOTE_RING_SLOT);
  s_ring.unread -= n;
  s_ring.read = end;
  if (end == s_ring.wrap_mark && s_ring.put < read) {
    s_ring.read = 0;
    s_ring.wrap_mark = QUOTE_RING_WRAP;
  }
  return n * QUOTE_RING_SLOT;
}

// ---------------------------------------------------------------------------
// The input thread.

// The relay went away: its symbol numbers and streams mean nothing now.
static void forget_relay_streams() {
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r; r = r->next) {
    r->streams_held = 0;
    if (qr_symbol_valid(r->symbol_slot) && g_symbol_slots[r->symbol_slot - 1] == r)
      g_symbol_slots[r->symbol_slot - 1] = nullptr;
    r->symbol_slot = 0;
  }
  memset(g_symbol_slots, 0, sizeof g_symbol_slots);
}

static int ring_input(void*) {
  uint8_t* batch = (uint8_t*)malloc((size_t)QUOTE_RING_SLOTS * QUOTE_RING_SLOT);
  if (!batch) return 1;
  while (!s_stop.load()) {
    s_ring_event.wait(-1);
    if (s_stop.load()) break;
    // Taken out under the lock, dispatched from the copy: the broker input
    // thread may refill the slots meanwhile.
    for (int n; (n = quote_ring_take(batch)) > 0 && !s_stop.load();)
      kvqr_dispatch_records(batch, n);
  }
  free(batch);
  return 0;
}

static int pipe_input(void*) {
  uint8_t buf[SPIGOT_READ_SIZE];
  while (!s_stop.load()) {
    int fd = qr_data_socket();
    if (fd < 0) {
      if (!qr_is_connected()) break;
      kv_sleep_ms(10);
      continue;
    }
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      kvqr_dispatch_records(buf, (int)n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (!s_stop.load()) {
      debug_trace("spigot_input_thread ReadFile error %d\n", n < 0 ? errno : 0);
      debug_trace("Closing connection to router\n");
      qr_close();
    }
    break;
  }
  forget_relay_streams();
  return 0;
}

int spigot_input_running() {
  return s_thread && kv_thread_running(s_thread);
}

int start_spigot_input_thread() {
  if (spigot_input_running()) return 1;
  if (s_thread) {
    kv_thread_join(s_thread, -1, nullptr);
    kv_thread_free(s_thread);
    s_thread = nullptr;
  }
  s_stop = 0;
  s_ring_mode = has_router_capability(QR_CAP_BROKER_SOCKET) ? 1 : 0;
  s_thread = kv_thread_start("spigot_input", s_ring_mode ? ring_input : pipe_input, nullptr);
  return s_thread != nullptr;
}

void stop_spigot_input_thread() {
  if (!s_thread) return;
  s_stop = 1;
  if (s_ring_mode) {
    s_ring_event.set();
  } else {
    int fd = qr_data_socket();
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
  }
  kv_thread_join(s_thread, -1, nullptr);
  kv_thread_free(s_thread);
  s_thread = nullptr;
}

static int hook_start_spigot() {
  return start_spigot_input_thread();
}

void install_spigot_hooks() {
  g_qr_hooks.start_spigot = hook_start_spigot;
  g_qr_hooks.alloc_quote_ring = alloc_quote_ring;
}
