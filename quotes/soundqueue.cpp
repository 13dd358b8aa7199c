// The sound queue and sound_thread. Any thread queues a sound event; the
// thread wakes on sound_event, takes every queued id at once (an id queued
// several times plays once), plays them in ascending order one after
// another and skips a file just played, unless the minute is quiet.
#include <atomic>
#include <cstring>
#include <mutex>
#include <strings.h>

#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "quotes/sounds.h"
#include "settings/datadirs.h"

// Several threads queue: the ring is guarded by its own mutex (never held
// while a sound plays).
static std::mutex queue_mutex;
static int ring[SOUND_QUEUE_SIZE];
static int read_index, write_index, queued_count;
static int batch_running;
// Made on first use and kept for the run (the thread waits on it until the
// process ends).
static kv_event* sound_event;
static kv_thread* sound_thread_handle;
static std::once_flag start_once;

static int sound_thread(void*);

static void start_sound_thread() {
  sound_event = new kv_event(KV_AUTO_RESET);
  sound_thread_handle = kv_thread_start("sound_thread", sound_thread, nullptr);
}

void queue_sound(int id) {
  std::call_once(start_once, start_sound_thread);
  {
    std::lock_guard<std::mutex> guard(queue_mutex);
    if (queued_count >= SOUND_QUEUE_SIZE) return;
    ring[write_index] = id;
    write_index = (write_index + 1) % SOUND_QUEUE_SIZE;
    queued_count++;
  }
  sound_event->set();
}

int sound_queue_idle() {
  std::lock_guard<std::mutex> guard(queue_mutex);
  return queued_count == 0 && !batch_running;
}

// Takes every queued id into the set; 0 when the queue was empty, which
// also ends the batch.
static int drain_queue(bool* wanted) {
  std::lock_guard<std::mutex> guard(queue_mutex);
  if (queued_count == 0) {
    batch_running = 0;
    return 0;
  }
  batch_running = 1;
  while (queued_count > 0) {
    int id = ring[read_index];
    read_index = (read_index + 1) % SOUND_QUEUE_SIZE;
    queued_count--;
    if (id >= 1 && id <= SOUND_EVENT_COUNT) wanted[id] = true;
  }
  return 1;
}

// A name with a folder part is a path; any other is a file of the sounds
// folder.
static int sound_path(const char* name, char* path, size_t size) {
  if (strpbrk(name, "\\:/")) {
    snprintf(path, size, "%s", name);
    kv_path_normalize(path);
    return 1;
  }
  return data_folder_path(path, size, KV_DIR_SOUNDS, name) != nullptr;
}

static int minute_now() {
  return kv_time_of_day(kv_now_local_seconds()) / 60;
}

static int sound_thread(void*) {
  for (;;) {
    if (!sound_event->wait(-1)) {
      statmsg(__FILE__, __LINE__, "wait for sound_event failed", nullptr, 10);
      continue;
    }
    char previous[KV_MAX_PATH] = "";
    for (;;) {
      // The queue is taken and the names looked up under the sound
      // table's lock; the sounds play without it.
      bool wanted[SOUND_EVENT_COUNT + 1] = {};
      char names[SOUND_EVENT_COUNT + 1][KV_MAX_PATH];
      {
        kv_lock guard(g_sounds_lock);
        if (!drain_queue(wanted)) break;
        for (int id = 1; id <= SOUND_EVENT_COUNT; id++)
          if (!wanted[id] || !sound_file_for(id, names[id], sizeof names[id])) wanted[id] = false;
      }
      for (int id = 1; id <= SOUND_EVENT_COUNT; id++) {
        char path[KV_MAX_PATH];
        if (!wanted[id] || strcasecmp(names[id], previous) == 0) continue;
        if (!sound_minute_quiet(minute_now()) && sound_path(names[id], path, sizeof path))
          kv_play_sound(path);
        snprintf(previous, sizeof previous, "%s", names[id]);
      }
    }
  }
  return 0;
}
