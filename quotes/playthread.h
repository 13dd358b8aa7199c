// The playback thread: replays the playback symbol's tick file into its
// live-quote record at an adjustable speed. The user-interface thread only
// flips the running flag, asks for skips and posts WM_PROGRAM_EXIT. At the
// end of its data the thread ends by itself and gives its record back.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"
#include "quotes/playback.h"

struct mqt;

// The settings the playback setup dialog fills.
struct playback_settings {
  char symbol[32];
  int32_t days_to_skip;
  int32_t start_time;                      // seconds of day
  int32_t speed;                           // 1 real time
  int32_t sessions[PLAYBACK_SESSIONS][2];  // seconds of day; none set: every minute plays
};

enum {
  PLAYBACK_INITIALISED = 1,  // bits of g_playback_state
  PLAYBACK_SKIP = 16,        // skip to the next session (cleared by the thread)
  PLAYBACK_FAST = 32,
  PLAYBACK_CHART_SHOWN = 0x40,  // the active chart shows the playback symbol
  PLAYBACK_END_SOUND = 15,
};

// Calls into parts not built here (chart views and documents); null: none.
struct playback_hooks {
  void (*bid_ask)(mqt* record, float bid, float ask);  // WM_BID_ASK_UPDATE to chart views
  void (*charts_loading)(mqt* record, int loading);    // flag the record's charts
  int32_t (*highest_shown_tick)(mqt* record);          // highest tick number the charts show
};

extern playback_settings g_playback;
extern playback_hooks g_playback_hooks;
extern std::atomic<int> g_playback_running;
extern std::atomic<uint32_t> g_playback_state;
extern std::atomic<kv_thread_id> g_playback_thread_id;

// Starts the thread for g_playback.symbol's record. 1 started and ready.
int init_playback();
// Decodes up to the highest tick the record's charts show, then runs.
// 0 when the record is not the one played back.
int start_playback(mqt* record);
void stop_playback();
// Stops, tells the thread to end and waits for it (at most 5 s).
void close_playback();
// The playback speed (at least 1), read and set while the thread may run.
int playback_speed();
void set_playback_speed(int32_t speed);
// The tick count of the playback (0 when none).
int32_t playback_tick_count();
