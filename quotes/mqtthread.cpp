// The quote cycle thread, market hours and the ordered shut-down.
#include "quotes/mqtthread.h"

#include <cstring>

#include "data/debugtrace.h"
#include "data/exchclock.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "data/updatechk.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/sync.h"
#include "quotes/alerts.h"
#include "quotes/livechart.h"
#include "quotes/mqt.h"
#include "quotes/playthread.h"
#include "quotes/qrclient.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "quotes/webquotes.h"
#include "settings/settings.h"

uint8_t g_market_hours_map[MARKET_HOURS_DAYS * MARKET_HOURS_MINUTES];
int g_last_hours_index;
std::atomic<int> g_manual_override{0};
quote_thread_hooks g_quote_thread_hooks;

static kv_event s_mqt_event(KV_AUTO_RESET);
static kv_thread* s_mqt_thread;
static std::atomic<kv_thread_id> s_mqt_thread_id{0};
static kv_thread* s_exit_thread;

enum {
  REFRESH_PERIOD_MS = 60000,
  EXIT_WAITS = 30,
  EXIT_WAIT_MS = 100,
  UPDATE_CHECK_WAITS = 90,
  CAP_ANY_STREAM = 0x1ff,
  CAP_POLL = 1 | QR_CAP_QUOTES,
};

kv_thread_id mqt_thread_id() {
  return s_mqt_thread_id.load();
}

int market_day_enabled(int day) {
  if (day < 0 || day > 6) return 0;
  int bit = day == 0 ? 7 : day;
  return (g_market_days >> bit) & 1;
}

void session_times(int day, int32_t out[3]) {
  for (int i = 0; i < 3; i++) out[i] = (int32_t)get_le32(g_settings.AutoRun + (day * 3 + i) * 4);
}
static_assert(AUTORUN_SIZE == MARKET_HOURS_DAYS * 3 * 4, "three session times a weekday");

void build_market_hours_map() {
  memset(g_market_hours_map, 0, sizeof g_market_hours_map);
  for (int d = 0; d < MARKET_HOURS_DAYS; d++) {
    if (!market_day_enabled(d)) continue;
    int32_t t[3];
    session_times(d, t);
    uint8_t* day = g_market_hours_map + d * MARKET_HOURS_MINUTES;
    int m1 = t[0] / 60, m2 = t[1] / 60, m3 = t[2] / 60;
    if (m1 < 0) m1 = 0;
    if (m2 > MARKET_HOURS_MINUTES) m2 = MARKET_HOURS_MINUTES;
    if (m1 < m2) memset(day + m1, 1, (size_t)(m2 - m1));
    if (m3 > 0 && m3 < MARKET_HOURS_MINUTES)
      memset(day + m3, 1, (size_t)(MARKET_HOURS_MINUTES - m3));
  }
}

static int list_empty() {
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r; r = r->next)
    if (!(r->flags & MQT_FREE)) return 0;
  return 1;
}

static void post_main(unsigned message) {
  if (kv_hwnd w = hmainwnd.load()) kv_post_message(w, message, 0, 0);
}

static void post_router(unsigned message, kv_wparam wparam) {
  if (kv_thread_id id = g_router_thread_id.load()) kv_post_thread_message(id, message, wparam, 0);
}

void market_hours_check() {
  int64_t now = kv_now_local_seconds();
  kv_datetime d;
  kv_split_seconds(now, &d);
  int i = d.weekday * MARKET_HOURS_MINUTES + kv_time_of_day(now) / 60;
  int c = g_market_hours_map[i];
  if (c != g_market_hours_map[g_last_hours_index]) g_manual_override = 0;
  g_last_hours_index = i;
  if (g_manual_override || !(g_market_days & MARKET_DAY_AUTO)) return;
  if (c && !cont_update()) {
    if (list_empty()) return;
    set_cont_update(1);
    post_main(WM_CONT_UPDATE_STATUS);
    post_router(WM_REQUEST_REFRESH, 0);
  } else if (!c && cont_update()) {
    set_cont_update(0);
    post_main(WM_CONT_UPDATE_STATUS);
    if (g_router_thread_id.load()) {
      router_post_stream(STREAM_MARKET_CLOSED, nullptr);
      post_router(WM_REQUEST_REFRESH, 1);
    }
  }
}

void stop_quote_collection() {
  set_cont_update(0);
  g_manual_override = 1;
  post_main(WM_CONT_UPDATE_STATUS);
}

void request_streams(int mode) {
  kv_lock guard(g_chart_lock);
  if (mode == 1) {
    if (!has_router_capability(QR_CAP_STREAMS)) return;
    for (mqt* r = g_mqt_list; r; r = r->next) {
      if (r->flags & MQT_FREE || r->streams_held & 0x2) continue;
      router_post_stream(g_mqt_streams_uncharted | STREAM_ADD, r);
    }
    router_post_stream(STREAM_END_REQUEST_ALL, nullptr);
    return;
  }
  if (!has_router_capability(CAP_POLL)) return;
  int n = 0, posted = 0;
  for (mqt* r = g_mqt_list; r; r = r->next) {
    if (++n > 999) {
      statmsg(__FILE__, __LINE__, "circular linked mqt list", nullptr, STATMSG_ERROR);
      break;
    }
    if (r->flags & (MQT_FREE | MQT_NOT_STREAMABLE) || r->pending_streams > 0) continue;
    uint32_t set = r->intraday_charts ? g_mqt_streams_charted : g_mqt_streams_uncharted;
    if ((r->streams_held & set) == set) continue;
    posted |= router_post_stream(set | STREAM_ADD, r);
  }
  if (posted) router_post_stream(STREAM_ACCOUNT_INFO, nullptr);
}

void rerequest_market_data() {
  if (!has_router_capability(QR_CAP_BROKER_SOCKET)) return;
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r; r = r->next) {
    if (r->flags & (MQT_FREE | MQT_NOT_STREAMABLE | MQT_DETAILS_RECEIVED | MQT_QUOTE_STORED))
      continue;
    int minute = exchange_time_of_day(r) / 60;
    if (!(mqt_minute_bits(r, minute) & 2) || !(r->last > 0)) continue;
    router_post_stream(STREAM_DROP, r);
    router_post_stream(g_mqt_streams_charted | STREAM_ADD, r);
    statmsg(__FILE__, __LINE__, "ReRequesting MktData for ", r->symbol, STATMSG_NOTICE);
  }
}

// ---------------------------------------------------------------------------

static void poll_step() {
  if (kvqr_connect())
    request_streams(0);
  else if (!has_router_capability(QR_CAP_QUOTES))
    poll_web_quotes();
  kv_hwnd w = hmainwnd.load();
  if (!w || !kv_post_message(w, WM_MQT_DONE, 0, 0))
    statmsg(__FILE__, __LINE__, "PostMessage error", nullptr, STATMSG_NOTICE);
}

static void advance_phase() {
  g_cycle_phase = (g_cycle_phase >= 128 || g_cycle_phase == 0) ? 1 : g_cycle_phase << 1;
}

int mqt_thread(void*) {
  build_market_hours_map();
  kv_peek_message(nullptr, KV_MQT_THREAD_MSG_FIRST, KV_MQT_THREAD_MSG_LAST, 0);
  s_mqt_event.set();
  kv_thread_yield();
  market_hours_check();
  int refresh_countdown = 2, refresh_steps = 0, heartbeat_ms = HEARTBEAT_MS, done_posts = 0;
  for (;;) {
    update_exchange_clock();
    int wait = g_quote_interval > 0 ? g_quote_interval : 5000;
    kv_msg m;
    int got = kv_get_message_timeout(&m, KV_MQT_THREAD_MSG_FIRST, KV_MQT_THREAD_MSG_LAST,
                                     kv_scaled_ms(wait));
    if (got == 0) break;  // WM_QUIT
    if (got < 0) {
      market_hours_check();
      if (g_alerts_changed.load()) save_alerts();
      if (!cont_update()) {
        if (done_posts > 0) {
          done_posts--;
          post_main(WM_MQT_DONE);
        }
        continue;
      }
      if (g_quote_thread_hooks.start_update_check) g_quote_thread_hooks.start_update_check();
      if (has_router_capability(QR_CAP_TRADING)) {
        heartbeat_ms -= wait;
        if (heartbeat_ms <= 0) {
          queue_heartbeat_record();
          heartbeat_ms = HEARTBEAT_MS;
        }
        if (--refresh_countdown <= 0) {
          if (g_quote_thread_hooks.refresh_orders) g_quote_thread_hooks.refresh_orders();
          refresh_countdown = REFRESH_PERIOD_MS / wait > 0 ? REFRESH_PERIOD_MS / wait : 1;
          if (refresh_steps++ > 0) rerequest_market_data();
        }
      }
      advance_phase();
      poll_step();
      continue;
    }
    if (m.message == WM_PROGRAM_EXIT) {
      debug_trace("exiting mqt_thread\n");
      break;
    }
    if (m.message != WM_REQUEST_REFRESH) continue;
    post_main(WM_CONT_UPDATE_STATUS);
    post_router(WM_REQUEST_REFRESH, 0);
    if (m.wparam == 1) {
      if (has_router_capability(QR_CAP_STREAMS)) {
        request_streams(1);
        done_posts = 6;
        continue;
      }
      poll_step();
      continue;
    }
    g_manual_override = 1;
    if (!cont_update()) {
      int closed =
          g_quote_thread_hooks.take_broker_closed && g_quote_thread_hooks.take_broker_closed();
      if (closed)
        g_manual_override = 0;
      else if (has_router_capability(CAP_ANY_STREAM))
        router_post_stream(STREAM_COLLECTION_OFF, nullptr);
      continue;
    }
    if (has_router_capability(CAP_ANY_STREAM)) router_post_stream(STREAM_COLLECTION_ON, nullptr);
    poll_step();
  }
  s_mqt_thread_id = 0;
  return 0;
}

void start_quote_threads() {
  if (s_mqt_thread && kv_thread_running(s_mqt_thread)) return;
  s_mqt_event.reset();
  if (!start_router_request_thread())
    statmsg(__FILE__, __LINE__, "Can't create router_request_thread", nullptr, STATMSG_ERROR);
  else
    debug_trace("Router request thread started\n");
  if (s_mqt_thread) {
    kv_thread_join(s_mqt_thread, -1, nullptr);
    kv_thread_free(s_mqt_thread);
  }
  s_mqt_thread = kv_thread_start("mqt_thread", mqt_thread, nullptr);
  if (!s_mqt_thread) {
    statmsg(__FILE__, __LINE__, "Can't create multiquote thread", nullptr, STATMSG_ERROR);
    return;
  }
  debug_trace("Multiquote thread started\n");
  if (!s_mqt_event.wait(kv_scaled_ms(QUOTE_START_WAIT_MS)))
    statmsg(__FILE__, __LINE__, "Timeout waiting for mqt_thread to initialize", nullptr,
            STATMSG_ERROR);
  s_mqt_thread_id = kv_thread_get_id(s_mqt_thread);
}

int program_exit_thread(void*) {
  debug_trace("program_exit_thread():terminating threads:\n");
  close_playback();
  if (kv_thread_id id = g_router_thread_id.load()) {
    statmsg(__FILE__, __LINE__, "Terminating router communication threads", nullptr,
            STATMSG_MISSING);
    kv_post_thread_message(id, WM_REQUEST_REFRESH, 0, 0);
    kv_post_thread_message(id, WM_PROGRAM_EXIT, 0, 0);
  } else {
    debug_trace("router request thread not running\n");
  }
  if (g_quote_thread_hooks.close_paper_accounts) g_quote_thread_hooks.close_paper_accounts();
  for (int i = 0; i < EXIT_WAITS && g_router_thread_id.load(); i++) {
    if (i == 0) debug_trace("waiting for router request thread to terminate");
    debug_trace(".");
    kv_sleep_ms(kv_scaled_ms(EXIT_WAIT_MS));
  }
  if (!g_router_thread_id.load()) stop_router_request_thread();
  if (s_mqt_thread) {
    kv_thread_join(s_mqt_thread, kv_scaled_ms(EXIT_WAITS * EXIT_WAIT_MS), nullptr);
  }
  if (spigot_input_running()) {
    debug_trace("killing spigot input thread\n");
    stop_spigot_input_thread();
  }
  if (g_quote_thread_hooks.update_check_running && g_quote_thread_hooks.update_check_running()) {
    statmsg(__FILE__, __LINE__, "Waiting for update check thread to finish", nullptr,
            STATMSG_MISSING);
    for (int i = 0; i < UPDATE_CHECK_WAITS && g_quote_thread_hooks.update_check_running(); i++)
      kv_sleep_ms(kv_scaled_ms(EXIT_WAIT_MS));
  }
  debug_trace("Posting WM_THREAD_IS_DEAD to hmainwnd\n");
  if (kv_hwnd w = hmainwnd.load())
    kv_post_message(w, WM_THREAD_IS_DEAD, 0, 0);
  else
    debug_trace("ERROR - hmainwnd == NULL\n");
  return 0;
}

void program_exit() {
  debug_trace("program_exit()\n");
  if (kv_thread_id id = s_mqt_thread_id.load()) {
    debug_trace("Posting WM_PROGRAM_EXIT to mqt_thread\n");
    kv_post_thread_message(id, WM_PROGRAM_EXIT, 0, 0);
  } else {
    debug_trace("mqt_thread not running\n");
  }
  if (s_exit_thread) wait_program_exit(-1);
  s_exit_thread = kv_thread_start("program_exit", program_exit_thread, nullptr);
  if (!s_exit_thread) program_exit_thread(nullptr);
}

int wait_program_exit(int timeout_ms) {
  if (!s_exit_thread) return 1;
  if (!kv_thread_join(s_exit_thread, timeout_ms, nullptr)) return 0;
  kv_thread_free(s_exit_thread);
  s_exit_thread = nullptr;
  if (s_mqt_thread && !kv_thread_running(s_mqt_thread)) {
    kv_thread_join(s_mqt_thread, -1, nullptr);
    kv_thread_free(s_mqt_thread);
    s_mqt_thread = nullptr;
  }
  return 1;
}

static void start_update_check() {
  start_updatechk_thread();
}
static int update_check_running() {
  return !g_updatechk_done.load();
}
static int hook_refresh_orders();

void install_quote_thread_hooks() {
  install_spigot_hooks();
  g_quote_thread_hooks.start_update_check = start_update_check;
  g_quote_thread_hooks.update_check_running = update_check_running;
  g_quote_thread_hooks.refresh_orders = hook_refresh_orders;
}

#include "quotes/relayhist.h"
static int hook_refresh_orders() {
  return kvqr_refresh_orders();
}
