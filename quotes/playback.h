// Tick-file playback: the pieces that decide what the playback thread
// stores and how long it waits between stores.
#pragma once

#include <cstdint>

#include "quotes/tickfile.h"

struct mqt;

enum {
  PLAYBACK_SESSIONS = 4,  // the visible time ranges of the playback record
  PLAYBACK_MAX_PAUSE_MS = 2000,
  PLAYBACK_MIN_PAUSE_MS = 10,
  PLAYBACK_SKIP_PAUSE_MS = 500,  // least pause after skipped ticks
  PLAYBACK_FAST_EVERY = 100,     // fast mode pauses after this many ticks
  PLAYBACK_FAST_PAUSE_MS = 20,
};

// One byte per minute of the day: 1 inside one of the session windows
// [start / 60, end / 60) (seconds of day), 0 elsewhere. Windows with
// start >= end are empty, and so are windows with a bound not set
// (negative); bounds are clipped to the day.
void build_playback_minute_map(const int32_t sessions[PLAYBACK_SESSIONS][2], uint8_t map[1440]);

// 1 when the minute of the epoch time lies inside the map's sessions.
int playback_minute_open(const uint8_t map[1440], int32_t epoch);

// Pause before storing the next tick, in ms of unscaled time. Normal mode:
// (next - prev) x 1000 / speed (speed below 1 counts as 1) less spent_ms,
// at least 10 (500 after a skip; negative results too) and at most 2,000.
// Fast mode: 20 after every 100th stored tick, else 0.
int playback_pause_ms(int32_t next_time, int32_t prev_time, int speed, int64_t spent_ms,
                      int after_skip, int fast, int32_t stored);

// Stores the quote the decoder left in the record: date, time, bid, ask,
// their sizes, last and its size (save_mqt_data mode 3). 1 stored.
int store_playback_tick(mqt* record);
