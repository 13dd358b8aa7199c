// Alert sounds: numbered sound events, the sound file of each (sounds.cfg
// in the CONFIG folder, guarded by g_sounds_lock), quiet hours, and a queue
// that sound_thread plays one sound after another through the platform's
// sound player.
#pragma once

#include <cstddef>

enum {
  SOUND_HIGH_ALERT = 1,
  SOUND_LOW_ALERT = 2,
  SOUND_ORDER_FILLED = 3,
  SOUND_ORDER_CANCELLED = 4,
  SOUND_MARKET_OPENING = 14,
  SOUND_MARKET_CLOSING = 15,
  SOUND_SERVER_RECONNECTED = 16,
  SOUND_SERVER_LOST = 17,
  SOUND_NO_HEARTBEAT = 18,
  SOUND_EVENT_COUNT = 18,  // ids 1..18, the order of the lines of sounds.cfg
  SOUND_QUEUE_SIZE = 100,
  PREF1_SOUNDS_QUIET_HOURS = 0x2,  // g_pref_flags1
  PREF2_ALERT_SOUNDS = 0x2,        // g_pref_flags2
};

// Reads sounds.cfg into the sound table once (until it is saved again) and
// rebuilds the quiet-minute map.
void load_sounds_cfg();
// The sound table (entry n-1 the file of event n) and the event names; the
// number of entries (at most SOUND_EVENT_COUNT). Both stay owned here and
// the table is valid until the next save_sounds_cfg.
int get_sound_names(char*** names, const char* const** events);
// Writes sounds.cfg with one file name per event (count names, the events
// after them get no sound) and drops the loaded table. 1 written, 0 failed
// (the old file is kept).
int save_sounds_cfg(const char* const* names, int count);
// Drops the loaded table: the next use reads sounds.cfg again.
void free_sounds_cfg();
// The sound file name of an event into buf; 0 and an empty name when alert
// sounds are off, the id is beyond the table or the entry says none.
int sound_file_for(int id, char* buf, size_t size);
// 1 when the minute of the day (0..1439) is in the quiet hours.
int sound_minute_quiet(int minute);

// Queues a sound event for sound_thread (started on first use); a full
// queue drops it. Any thread may call it.
void queue_sound(int id);
// 1 when nothing is queued and sound_thread is not playing a batch.
int sound_queue_idle();
