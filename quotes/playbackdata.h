// The playback record: the 84 bytes stored whole as the "PlaybackData"
// setting, which the Playback Setup dialog edits and the playback thread
// is set up from.
//
// Layout, little-endian:
//    0  32  tick file name, no folder or extension, zero-terminated
//   32   4  flags: PLAYBACK_PREPARED, PLAYBACK_NEW_RATE
//   36   4  start: local seconds since 1 January 1970 (unsigned)
//   40   4  day offset (signed)
//   44   4  kept as it is
//   48   4  playback rate, 0 to 100
//   52  16  start times of the four visible ranges (local seconds of day,
//           -1 not set)
//   68  16  stop times of the four ranges
#pragma once

#include <cstdint>

#include "quotes/playback.h"

struct playback_settings;

enum {
  PBD_NAME = 0,
  PBD_NAME_SIZE = 32,
  PBD_FLAGS = 32,
  PBD_START = 36,
  PBD_DAY_OFFSET = 40,
  PBD_SPARE = 44,
  PBD_RATE = 48,
  PBD_RANGE_STARTS = 52,
  PBD_RANGE_STOPS = 68,
  PBD_SIZE = 84,
  PBD_MAX_RATE = 100,
};
static_assert(PBD_FLAGS == PBD_NAME + PBD_NAME_SIZE);
static_assert(PBD_RANGE_STOPS == PBD_RANGE_STARTS + 4 * PLAYBACK_SESSIONS);
static_assert(PBD_SIZE == PBD_RANGE_STOPS + 4 * PLAYBACK_SESSIONS);

enum : uint32_t {
  PLAYBACK_NEW_RATE = 0x10,  // the dialog stored a changed rate
  PLAYBACK_PREPARED = 0x40,  // the named file is prepared for playback
};

struct PlaybackData {
  char name[PBD_NAME_SIZE];  // always zero-terminated
  uint32_t flags;
  uint32_t start;  // unsigned: dates up to 2050 lie past 2038
  int32_t day_offset;
  int32_t spare;
  int32_t rate;
  int32_t range_start[PLAYBACK_SESSIONS];
  int32_t range_stop[PLAYBACK_SESSIONS];
};

void playback_data_decode(const uint8_t in[PBD_SIZE], PlaybackData* d);
void playback_data_encode(const PlaybackData* d, uint8_t out[PBD_SIZE]);

// The one conversion from the record to what the playback thread runs on:
// file name, day offset, start time of day, rate and the four ranges.
void playback_settings_from_data(const PlaybackData* d, playback_settings* out);
// Sets the playback (g_playback) up from the record, under g_chart_lock as
// the thread reads it; the speed becomes the record's rate only with
// take_rate, else the current speed stays.
void playback_take_data(const PlaybackData* d, int take_rate);
