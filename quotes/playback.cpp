// Tick-file playback: session minute map, pauses and the store of one
// decoded tick.
#include "quotes/playback.h"

#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "platform/clock.h"

void build_playback_minute_map(const int32_t sessions[PLAYBACK_SESSIONS][2], uint8_t map[1440]) {
  for (int m = 0; m < 1440; m++) map[m] = 0;
  for (int s = 0; s < PLAYBACK_SESSIONS; s++) {
    if (sessions[s][0] < 0 || sessions[s][1] < 0) continue;  // range not set
    int32_t start = sessions[s][0] / 60;
    int32_t end = sessions[s][1] / 60;
    if (start < 0) start = 0;
    if (end > 1440) end = 1440;
    for (int32_t m = start; m < end; m++) map[m] = 1;
  }
}

int playback_minute_open(const uint8_t map[1440], int32_t epoch) {
  int second = kv_time_of_day(epoch);
  return map[second / 60] != 0;
}

int playback_pause_ms(int32_t next_time, int32_t prev_time, int speed, int64_t spent_ms,
                      int after_skip, int fast, int32_t stored) {
  if (fast) return stored > 0 && stored % PLAYBACK_FAST_EVERY == 0 ? PLAYBACK_FAST_PAUSE_MS : 0;
  if (speed < 1) speed = 1;
  int64_t ms = ((int64_t)next_time - prev_time) * 1000 / speed - spent_ms;
  int least = after_skip ? PLAYBACK_SKIP_PAUSE_MS : PLAYBACK_MIN_PAUSE_MS;
  if (ms < least) ms = least;
  if (ms > PLAYBACK_MAX_PAUSE_MS) ms = PLAYBACK_MAX_PAUSE_MS;
  return (int)ms;
}

int store_playback_tick(mqt* r) {
  r->feed_flags = FEED_DATE | FEED_TRADE_TIME | FEED_BID | FEED_BID_SIZE | FEED_ASK |
                  FEED_ASK_SIZE | FEED_LAST | FEED_LAST_SIZE;
  return save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
}
