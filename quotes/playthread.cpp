// The playback thread and its start, pause and close.
#include "quotes/playthread.h"

#include <cstdio>
#include <cstring>

#include "data/dates.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/sync.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "quotes/randomfeed.h"

playback_settings g_playback;
playback_hooks g_playback_hooks;
std::atomic<int> g_playback_running;
std::atomic<uint32_t> g_playback_state;
std::atomic<kv_thread_id> g_playback_thread_id;

static kv_event s_ready;
static kv_thread* s_thread;
static std::atomic<mqt*> s_record;  // one user held for the thread, given back as it ends
static tick_state s_ticks;          // owned by the thread once it runs
static std::atomic<int32_t> s_tick_count;

int32_t playback_tick_count() {
  return s_tick_count.load();
}

// Waits up to ms for a thread message; 1 when WM_PROGRAM_EXIT (or the
// queue's end) came.
int playback_speed() {
  int32_t speed = std::atomic_ref<int32_t>(g_playback.speed).load(std::memory_order_relaxed);
  return speed < 1 ? 1 : speed;
}

void set_playback_speed(int32_t speed) {
  std::atomic_ref<int32_t>(g_playback.speed).store(speed, std::memory_order_relaxed);
}

static int exit_requested(int ms) {
  kv_msg m;
  int got = ms > 0 ? kv_get_message_timeout(&m, 0, 0, ms) : kv_peek_message(&m, 0, 0, 1) ? 1 : -1;
  if (got == 0) return 1;
  return got == 1 && m.message == WM_PROGRAM_EXIT;
}

static void bid_ask_notice(mqt* r, float bid, float ask) {
  if (g_playback_hooks.bid_ask) g_playback_hooks.bid_ask(r, bid, ask);
}

static int decode(mqt* r) {
  kv_lock guard(g_chart_lock);
  int got = next_playback_tick(r, &s_ticks);
  s_tick_count = s_ticks.ticks;
  return got;
}

static void store(mqt* r) {
  kv_lock guard(g_chart_lock);
  store_playback_tick(r);
}

static int any_session(const uint8_t map[1440]) {
  for (int i = 0; i < 1440; i++)
    if (map[i]) return 1;
  return 0;
}

static int playback_thread(void*) {
  mqt* r = s_record;
  kv_peek_message(nullptr, 0, 0, 0);  // the queue exists before the start is told
  g_playback_thread_id = kv_current_thread_id();
  s_ready.set();
  kv_thread_yield();
  if (g_playback_hooks.charts_loading) g_playback_hooks.charts_loading(r, 1);

  int ended = 0;
  while (!g_playback_running)
    if (exit_requested(kv_scaled_ms(50))) {
      ended = 1;
      break;
    }

  int have = 0;
  if (!ended) {
    // Fast-forward: store ticks until the days to skip have passed and
    // the start time of the day is reached.
    int dates = 0, last_date = 0;
    while ((have = decode(r))) {
      if (r->quote_date != last_date) {
        dates++;
        last_date = r->quote_date;
      }
      if (dates > g_playback.days_to_skip && r->quote_time >= g_playback.start_time) break;
      store(r);
    }
    if (g_playback_hooks.charts_loading) g_playback_hooks.charts_loading(r, 0);
    post_to_mqt_charts(r, WM_UPDATE_FROM_THREAD, 0, 0);
  }

  uint8_t map[1440];
  build_playback_minute_map(g_playback.sessions, map);
  int limit_sessions = any_session(map);
  int32_t prev_time = r->trade_epoch;
  int64_t last_store = kv_monotonic_ms();
  int after_skip = 0;
  int32_t stored = 0;
  int speed = playback_speed();

  while (!ended) {
    if (!have) {
      if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(PLAYBACK_END_SOUND);
      statmsg(__FILE__, __LINE__, "End of playback data", nullptr, STATMSG_MISSING);
      // The playback is over: the thread ends by itself and gives
      // its record back, as a close would.
      g_playback_running = 0;
      break;
    }
    int skip = (g_playback_state.fetch_and(~(uint32_t)PLAYBACK_SKIP) & PLAYBACK_SKIP) != 0;
    if (skip || (limit_sessions && !playback_minute_open(map, r->trade_epoch))) {
      // Skipped ticks are stored without pause up to the next one
      // inside a session.
      if (g_playback_hooks.charts_loading) g_playback_hooks.charts_loading(r, 1);
      statmsg(__FILE__, __LINE__, "skipping playback", nullptr, STATMSG_NOTICE);
      // A skip request passes the rest of the session the tick is in,
      // then (below) the closed minutes up to the next session.
      int open = !skip;
      do {
        store(r);
        have = decode(r);
      } while (have && limit_sessions && playback_minute_open(map, r->trade_epoch) != open);
      statmsg(__FILE__, __LINE__, "end of skipped playback", nullptr, STATMSG_NOTICE);
      if (g_playback_hooks.charts_loading) g_playback_hooks.charts_loading(r, 0);
      after_skip = 1;
      continue;
    }
    // The speed commands change the speed while the playback runs.
    speed = playback_speed();
    int fast = (g_playback_state & PLAYBACK_FAST) != 0;
    int ms = 0;
    if (fast)
      ms = playback_pause_ms(0, 0, speed, 0, 0, 1, stored);
    else if (r->trade_epoch != prev_time || after_skip)
      ms = playback_pause_ms(r->trade_epoch, prev_time, speed, kv_monotonic_ms() - last_store,
                             after_skip, 0, stored);
    after_skip = 0;
    if (ms > 0 && exit_requested(kv_scaled_ms(ms))) break;
    while (!g_playback_running && !(ended = exit_requested(kv_scaled_ms(1000)))) {
    }
    if (ended) break;
    prev_time = r->trade_epoch;
    store(r);
    last_store = kv_monotonic_ms();
    if (++stored % speed == 0 && hmainwnd.load())
      kv_post_message(hmainwnd.load(), WM_CONT_UPDATE_STATUS, 0, 0);
    have = decode(r);
  }

  statmsg(__FILE__, __LINE__, "playback thread is exiting", nullptr, STATMSG_NOTICE);
  {
    kv_lock guard(g_chart_lock);
    free_tick_data(&s_ticks);
    r->flags &= ~(uint32_t)MQT_PLAYBACK;
    s_record = nullptr;
    delete_multiquote(r);
  }
  g_playback_state &= ~(uint32_t)(PLAYBACK_INITIALISED | PLAYBACK_SKIP);
  g_playback_thread_id = 0;
  return 0;
}

// The handle of a thread that ended by itself (at the end of its data).
// Its id is cleared as its last step, so it is at most returning.
static void reap_ended_thread() {
  if (s_thread && !g_playback_thread_id && kv_thread_join(s_thread, kv_scaled_ms(5000), nullptr)) {
    kv_thread_free(s_thread);
    s_thread = nullptr;
  }
}

int init_playback() {
  reap_ended_thread();
  if (s_thread) return 0;
  mqt* r;
  {
    kv_lock guard(g_chart_lock);
    if (!find_mqt(g_playback.symbol)) return 0;
    r = create_multiquote_struct(g_playback.symbol);  // a user for the thread
    if (!r) return 0;
    r->flags |= MQT_PLAYBACK;
    reset_quote_state(r, 0);
  }
  tick_state st{};
  if (!load_tick_file(g_playback.symbol, r->tick_size > 0 ? r->tick_size : 1.0, &st)) {
    kv_lock guard(g_chart_lock);
    r->flags &= ~(uint32_t)MQT_PLAYBACK;
    delete_multiquote(r);
    return 0;
  }
  st.notify = 1;
  st.bid_ask_hook = bid_ask_notice;
  s_ticks = st;
  s_tick_count = 0;
  s_record = r;
  g_playback_running = 0;
  s_ready.reset();
  s_thread = kv_thread_start("playback", playback_thread, nullptr);
  if (!s_thread) {
    statmsg(__FILE__, __LINE__, "Can't create playback thread", nullptr, STATMSG_ERROR);
    free_tick_data(&s_ticks);
    kv_lock guard(g_chart_lock);
    r->flags &= ~(uint32_t)MQT_PLAYBACK;
    delete_multiquote(r);
    s_record = nullptr;
    return 0;
  }
  statmsg(__FILE__, __LINE__, "started playback thread", nullptr, STATMSG_NOTICE);
  if (!s_ready.wait(kv_scaled_ms(5000))) {
    statmsg(__FILE__, __LINE__, "Timeout waiting for playback_thread to initialize", nullptr,
            STATMSG_ERROR);
    return 0;
  }
  g_playback_state |= PLAYBACK_INITIALISED;
  return 1;
}

int start_playback(mqt* r) {
  if (!s_thread || r != s_record) return 0;
  int32_t shown = g_playback_hooks.highest_shown_tick ? g_playback_hooks.highest_shown_tick(r) : 0;
  if (!g_playback_running && s_ticks.ticks < shown) {
    while (s_ticks.ticks < shown && decode(r)) {
    }
    char text[96], clock_text[32];
    snprintf(text, sizeof text, "Playback starting at tick #%d  %d %s", (int)s_ticks.ticks,
             (int)r->quote_date, format_time(r->quote_time, clock_text));
    statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_NOTICE);
  }
  g_playback_running = 1;
  return 1;
}

void stop_playback() {
  g_playback_running = 0;
}

void close_playback() {
  g_playback_running = 0;
  if (!s_thread) return;
  kv_thread_id id = g_playback_thread_id;
  if (id) kv_post_thread_message(id, WM_PROGRAM_EXIT, 0, 0);
  if (!kv_thread_join(s_thread, kv_scaled_ms(5000), nullptr)) {
    // Still storing: it keeps its record and data until a later close.
    statmsg(__FILE__, __LINE__, "playback thread did not end", nullptr, STATMSG_ERROR);
    return;
  }
  kv_thread_free(s_thread);
  s_thread = nullptr;  // the thread gave its record back as it ended
  g_playback_state &= ~(uint32_t)(PLAYBACK_INITIALISED | PLAYBACK_SKIP);
}
