// The sound table: the sound file of each numbered event, read from
// sounds.cfg in the CONFIG folder, and the quiet-minute map rebuilt with it.
// g_sounds_lock guards the table and the file.
#include "quotes/sounds.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <sys/stat.h>

#include "data/statmsg.h"
#include "data/tokenfile.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "settings/datadirs.h"
#include "settings/settings.h"

static const char* const event_names[SOUND_EVENT_COUNT] = {
    "High quick alert",
    "Low quick alert",
    "Simulated order filled",
    "Simulated order cancelled",
    "Strategy opening position",
    "Strategy closing position",
    "Strategy moving trailing stop",
    "Strategy position lost",
    "Strategy position won",
    "Strategy position won > 5%",
    "Strategy position won > 10%",
    "Strategy position won > 25%",
    "Strategy target order placed",
    "Market opening time",
    "Market closing time",
    "Server connection re-established",
    "Server connection lost",
    "No heartbeat from server",
};

static const char k_sounds_file[] = "sounds.cfg";
static const char k_no_sound[] = "---none---";
// What save writes for the events after the table's last entry.
static const char k_filler[] = "--none--";

enum { MINUTES_PER_DAY = 1440 };

static char** sound_table;
static int sound_count;
static int sounds_loaded;
static unsigned char quiet_minutes[MINUTES_PER_DAY];

static int minute_of(int seconds) {
  int m = seconds / 60;
  return m < 0 ? 0 : m > MINUTES_PER_DAY ? MINUTES_PER_DAY : m;
}

static void build_quiet_map() {
  memset(quiet_minutes, 0, sizeof quiet_minutes);
  if (!(g_pref_flags1 & PREF1_SOUNDS_QUIET_HOURS)) return;
  // Settings may hold anything: minutes are kept within the day.
  int start = minute_of(g_settings.SoundsQuietStart);
  int stop = minute_of(g_settings.SoundsQuietStop);
  if (start < stop) {
    memset(quiet_minutes + start, 1, stop - start);
  } else if (stop < start) {
    memset(quiet_minutes + start, 1, MINUTES_PER_DAY - start);
    memset(quiet_minutes, 1, stop);
  }
}

static void sounds_path(char* buf, size_t size) {
  if (!data_folder_path(buf, size, KV_DIR_CONFIG, k_sounds_file)) buf[0] = 0;
}

void load_sounds_cfg() {
  kv_lock guard(g_sounds_lock);
  if (sounds_loaded) return;
  char path[KV_MAX_PATH];
  sounds_path(path, sizeof path);
  int count = 0;
  char** tokens = nullptr;
  // One token a line keeps every later event on its own line even when a
  // name holds a blank.
  if (path[0] && kv_file_exists(path) &&
      read_token_file(path, &count, &tokens, 1 | TOKEN_FILE_QUIET)) {
    sound_table = tokens;
    sound_count = count > SOUND_EVENT_COUNT ? SOUND_EVENT_COUNT : count;
  }
  sounds_loaded = 1;
  build_quiet_map();
}

int get_sound_names(char*** names, const char* const** events) {
  load_sounds_cfg();
  kv_lock guard(g_sounds_lock);
  if (names) *names = sound_table;
  if (events) *events = event_names;
  return sound_count;
}

// The line of one sound; a name with a blank is quoted so that it reads
// back as one token.
static void put_line(std::string& out, const char* name, const char* event) {
  if (strpbrk(name, " \t"))
    out += "\"" + std::string(name) + "\"";
  else
    out += name;
  out += " #";
  out += event;
  out += "\r\n";
}

int save_sounds_cfg(const char* const* names, int count) {
  kv_lock guard(g_sounds_lock);
  char path[KV_MAX_PATH];
  sounds_path(path, sizeof path);
  if (count < 0) count = 0;
  if (count > SOUND_EVENT_COUNT) count = SOUND_EVENT_COUNT;
  std::string text;
  for (int i = 0; i < SOUND_EVENT_COUNT; i++) {
    // A name that would read back as nothing (empty, a comment or a
    // quote) would shift every later event onto the wrong sound.
    const char* name = i < count && names && names[i] ? names[i] : k_filler;
    if (i < count && (!*name || strpbrk(name, "#\"\r\n"))) name = k_no_sound;
    put_line(text, name, event_names[i]);
  }
  // The new file takes the old one's permission bits: a read-only file
  // is made writable first.
  struct stat st;
  if (path[0] && stat(path, &st) == 0 && !(st.st_mode & S_IWUSR) &&
      chmod(path, (st.st_mode & 07777) | S_IWUSR) != 0) {
    statmsg(__FILE__, __LINE__, "Can't make writable:", path, 3);
    return 0;
  }
  if (!path[0] || !kv_write_file_atomic(path, text.data(), text.size(), nullptr)) {
    statmsg(__FILE__, __LINE__, "can't open file:", path, 3);
    return 0;
  }
  free_sounds_cfg();
  return 1;
}

void free_sounds_cfg() {
  kv_lock guard(g_sounds_lock);
  free_tokens(sound_table);
  sound_table = nullptr;
  sound_count = 0;
  sounds_loaded = 0;
}

static int is_no_sound(const char* name) {
  // The filler of unused lines names no file either.
  return !*name || strcmp(name, k_no_sound) == 0 || strcmp(name, k_filler) == 0;
}

int sound_file_for(int id, char* buf, size_t size) {
  if (size) buf[0] = 0;
  if (!(g_pref_flags2 & PREF2_ALERT_SOUNDS)) return 0;
  load_sounds_cfg();
  kv_lock guard(g_sounds_lock);
  if (id < 1 || id > sound_count || !sound_table || is_no_sound(sound_table[id - 1])) return 0;
  snprintf(buf, size, "%s", sound_table[id - 1]);
  return 1;
}

int sound_minute_quiet(int minute) {
  kv_lock guard(g_sounds_lock);
  return minute >= 0 && minute < MINUTES_PER_DAY && quiet_minutes[minute];
}
