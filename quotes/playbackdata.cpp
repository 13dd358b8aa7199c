// The playback record (see playbackdata.h).
#include "quotes/playbackdata.h"

#include <cstring>

#include "data/lefield.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "quotes/playthread.h"

void playback_data_decode(const uint8_t in[PBD_SIZE], PlaybackData* d) {
  memset(d, 0, sizeof *d);
  memcpy(d->name, in + PBD_NAME, PBD_NAME_SIZE);
  d->name[PBD_NAME_SIZE - 1] = 0;
  d->flags = get_le32(in + PBD_FLAGS);
  d->start = get_le32(in + PBD_START);
  d->day_offset = (int32_t)get_le32(in + PBD_DAY_OFFSET);
  d->spare = (int32_t)get_le32(in + PBD_SPARE);
  d->rate = (int32_t)get_le32(in + PBD_RATE);
  for (int i = 0; i < PLAYBACK_SESSIONS; i++) {
    d->range_start[i] = (int32_t)get_le32(in + PBD_RANGE_STARTS + 4 * i);
    d->range_stop[i] = (int32_t)get_le32(in + PBD_RANGE_STOPS + 4 * i);
  }
}

void playback_data_encode(const PlaybackData* d, uint8_t out[PBD_SIZE]) {
  memset(out, 0, PBD_SIZE);
  size_t n = strnlen(d->name, PBD_NAME_SIZE - 1);
  memcpy(out + PBD_NAME, d->name, n);
  put_le32(out + PBD_FLAGS, d->flags);
  put_le32(out + PBD_START, d->start);
  put_le32(out + PBD_DAY_OFFSET, (uint32_t)d->day_offset);
  put_le32(out + PBD_SPARE, (uint32_t)d->spare);
  put_le32(out + PBD_RATE, (uint32_t)d->rate);
  for (int i = 0; i < PLAYBACK_SESSIONS; i++) {
    put_le32(out + PBD_RANGE_STARTS + 4 * i, (uint32_t)d->range_start[i]);
    put_le32(out + PBD_RANGE_STOPS + 4 * i, (uint32_t)d->range_stop[i]);
  }
}

void playback_settings_from_data(const PlaybackData* d, playback_settings* out) {
  memset(out->symbol, 0, sizeof out->symbol);
  static_assert(sizeof out->symbol >= PBD_NAME_SIZE);
  memcpy(out->symbol, d->name, strnlen(d->name, PBD_NAME_SIZE - 1));
  out->days_to_skip = d->day_offset;
  out->start_time = kv_time_of_day((int64_t)d->start);
  out->speed = d->rate;
  for (int i = 0; i < PLAYBACK_SESSIONS; i++) {
    out->sessions[i][0] = d->range_start[i];
    out->sessions[i][1] = d->range_stop[i];
  }
}

void playback_take_data(const PlaybackData* d, int take_rate) {
  playback_settings next;
  playback_settings_from_data(d, &next);
  kv_lock guard(g_chart_lock);
  // The speed commands change the speed while the thread runs: it is
  // written as they write it.
  memcpy(g_playback.symbol, next.symbol, sizeof g_playback.symbol);
  g_playback.days_to_skip = next.days_to_skip;
  g_playback.start_time = next.start_time;
  memcpy(g_playback.sessions, next.sessions, sizeof g_playback.sessions);
  if (take_rate) set_playback_speed(next.speed);
}
