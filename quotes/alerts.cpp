// The alert table: alerts<c>.dat read into one block of slots with room for
// 200 more symbols, written back with the slots in use; the high and low
// alert test of each stored quote and the firing of an alert.
//
// Slots never move and are never freed during the run: live-quote records
// keep pointers to them. Claiming a slot takes g_chart_lock; the alert
// fields themselves are single-word writes of their users.
#include "quotes/alerts.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "data/chartheader.h"
#include "data/cmdline.h"
#include "data/inet.h"
#include "data/mainwnd.h"
#include "data/pricefmt.h"
#include "data/statmsg.h"
#include "platform/assert.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "quotes/sounds.h"
#include "settings/datadirs.h"

std::atomic<int> g_alerts_changed;

static uint8_t alerts_header[ALERTS_HEADER_SIZE];
static alert_rec* alert_slots;
static int alert_capacity;
static int alert_count;  // slots 0..count-1 have been used

void encode_alert_rec(const alert_rec* a, uint8_t* out) {
  memcpy(out + ALERT_OFF_SYMBOL, a->symbol, sizeof a->symbol);
  put_le32(out + ALERT_OFF_FLAGS, a->flags);
  put_le32(out + ALERT_OFF_ENABLED, a->enabled);
  put_le32(out + ALERT_OFF_ARMED, a->armed);
  put_le32(out + ALERT_OFF_FIRED, a->fired);
  put_lef(out + ALERT_OFF_HIGH, a->high_price);
  put_le32(out + ALERT_OFF_HIGH_WORD, a->high_word);
  put_lef(out + ALERT_OFF_LOW, a->low_price);
  put_le32(out + ALERT_OFF_LOW_WORD, a->low_word);
  for (int i = 0; i < 20; i++) put_le32(out + ALERT_OFF_EXTRA + 4 * i, a->extra[i]);
}

// A price that is no number would never fire (or fire on every quote): it
// is dropped with its alert.
static int take_price(float* price, uint32_t bit, alert_rec* a) {
  if (std::isfinite(*price)) return 1;
  *price = 0;
  a->enabled &= ~bit;
  a->armed &= ~bit;
  return 0;
}

int decode_alert_rec(const uint8_t* in, alert_rec* a) {
  int ok = 1;
  memcpy(a->symbol, in + ALERT_OFF_SYMBOL, sizeof a->symbol);
  if (!memchr(a->symbol, 0, sizeof a->symbol)) ok = 0;
  a->symbol[sizeof a->symbol - 1] = 0;
  a->flags = get_le32(in + ALERT_OFF_FLAGS);
  a->enabled = get_le32(in + ALERT_OFF_ENABLED);
  a->armed = get_le32(in + ALERT_OFF_ARMED);
  a->fired = get_le32(in + ALERT_OFF_FIRED);
  a->high_price = get_lef(in + ALERT_OFF_HIGH);
  a->high_word = get_le32(in + ALERT_OFF_HIGH_WORD);
  a->low_price = get_lef(in + ALERT_OFF_LOW);
  a->low_word = get_le32(in + ALERT_OFF_LOW_WORD);
  for (int i = 0; i < 20; i++) a->extra[i] = get_le32(in + ALERT_OFF_EXTRA + 4 * i);
  ok &= take_price(&a->high_price, ALERT_HIGH, a);
  ok &= take_price(&a->low_price, ALERT_LOW, a);
  return ok;
}

static void alerts_path(char* buf, size_t size) {
  char name[32];
  if (g_instance_letter)
    snprintf(name, sizeof name, "alerts%c.dat", g_instance_letter);
  else
    snprintf(name, sizeof name, "alerts.dat");
  if (!data_folder_path(buf, size, KV_DIR_CONFIG, name)) buf[0] = 0;
}

static void install_hooks() {
  g_mqt_hooks.find_alert = find_or_add_alert;
  g_mqt_hooks.test_alerts = test_alerts;
  g_mqt_hooks.queue_sound = queue_sound;
  g_inet_queue_sound = queue_sound;
}

// A file that could not be loaded whole is moved aside before the table
// saved at exit (or on the next change) replaces it, so what was lost can
// still be recovered from it.
static void keep_unused_file(const char* path) {
  std::string aside = std::string(path) + ".damaged";
  if (kv_move_file(path, aside.c_str(), 1, nullptr))
    statmsg(__FILE__, __LINE__, "Damaged alert file kept as:", aside.c_str(), 3);
}

int load_alerts() {
  kv_lock guard(g_chart_lock);
  install_hooks();
  if (alert_slots) return 1;
  char path[KV_MAX_PATH];
  alerts_path(path, sizeof path);
  std::string data;
  int records = 0;
  if (path[0] && kv_file_exists(path)) {
    int unused = 0;
    if (!kv_read_file(path, &data, nullptr)) {
      statmsg(__FILE__, __LINE__, "Incomplete file read", path, 3);
      data.clear();
      unused = 1;
    } else if (data.size() > ALERTS_HEADER_SIZE) {
      records = (int)((data.size() - ALERTS_HEADER_SIZE) / ALERT_REC_SIZE);
      if ((data.size() - ALERTS_HEADER_SIZE) % ALERT_REC_SIZE != 0) {
        // A file cut inside a record (a write that did not finish):
        // the whole records before the cut are the user's alerts and
        // are kept; only the cut one is lost. The file as found is
        // kept aside as well.
        statmsg(__FILE__, __LINE__,
                "Alert file ends inside a record, the cut record was dropped:", path, 3);
        unused = 1;
      }
    } else if (!data.empty() && data.size() < ALERTS_HEADER_SIZE) {
      unused = 1;
    }
    if (unused) keep_unused_file(path);
  }
  alert_rec* slots = (alert_rec*)calloc((size_t)records + ALERTS_SPARE_SLOTS, sizeof(alert_rec));
  if (!slots) {
    statmsg(__FILE__, __LINE__, "can't allocate memory", nullptr, 3);
    return 0;
  }
  memset(alerts_header, 0, sizeof alerts_header);
  if (data.size() >= ALERTS_HEADER_SIZE) memcpy(alerts_header, data.data(), ALERTS_HEADER_SIZE);
  int count = 0;
  for (int i = 0; i < records; i++) {
    alert_rec* a = &slots[count];
    decode_alert_rec((const uint8_t*)data.data() + ALERTS_HEADER_SIZE + (size_t)i * ALERT_REC_SIZE,
                     a);
    if (a->symbol[0])
      count++;
    else
      memset(a, 0, sizeof *a);  // a record without a symbol holds nothing
  }
  alert_slots = slots;
  alert_capacity = records + ALERTS_SPARE_SLOTS;
  alert_count = count;
  return 1;
}

alert_rec* find_or_add_alert(const char* symbol) {
  if (!symbol || !symbol[0]) return nullptr;
  kv_lock guard(g_chart_lock);
  if (!alert_slots && !load_alerts()) return nullptr;
  for (int i = 0; i < alert_count; i++)
    if (strncasecmp(alert_slots[i].symbol, symbol, sizeof alert_slots[i].symbol - 1) == 0)
      return &alert_slots[i];
  for (int i = 0; i < alert_capacity; i++) {
    alert_rec* a = &alert_slots[i];
    if (a->symbol[0]) continue;
    snprintf(a->symbol, sizeof a->symbol, "%s", symbol);
    if (i >= alert_count) alert_count = i + 1;
    return a;
  }
  return nullptr;
}

int save_alerts() {
  g_alerts_changed = 0;
  std::string data;
  {
    kv_lock guard(g_chart_lock);
    if (!alert_slots) return 0;  // never loaded: the file on disk is all there is
    data.assign((const char*)alerts_header, ALERTS_HEADER_SIZE);
    uint8_t rec[ALERT_REC_SIZE];
    for (int i = 0; i < alert_count; i++)
      if (alert_slots[i].flags & ALERT_IN_USE) {
        encode_alert_rec(&alert_slots[i], rec);
        data.append((const char*)rec, sizeof rec);
      }
  }
  char path[KV_MAX_PATH];
  alerts_path(path, sizeof path);
  if (!path[0] || !kv_write_file_atomic(path, data.data(), data.size(), nullptr)) {
    statmsg(__FILE__, __LINE__, "could not create alerts.dat file", path, 3);
    g_alerts_changed = 1;  // still unsaved: the next pass tries again
    return 0;
  }
  return 1;
}

void free_alerts() {
  kv_lock guard(g_chart_lock);
  free(alert_slots);
  alert_slots = nullptr;
  alert_capacity = alert_count = 0;
}

int alert_id(const alert_rec* a) {
  kv_lock guard(g_chart_lock);
  if (!a || !alert_slots || a < alert_slots || a >= alert_slots + alert_capacity) return 0;
  return (int)(a - alert_slots) + 1;
}

alert_rec* alert_from_id(int id) {
  kv_lock guard(g_chart_lock);
  if (!alert_slots || id < 1 || id > alert_capacity) return nullptr;
  return &alert_slots[id - 1];
}

void fire_alert(mqt* record, int sound, const char* text) {
  queue_sound(sound);
  g_alerts_changed = 1;
  if (record->alert_hit_count >= 0 && record->alert_hit_count < MQT_ALERT_HITS) {
    mqt_alert_hit* hit = &record->alert_hits[record->alert_hit_count++];
    hit->time = record->trade_epoch;
    snprintf(hit->text, sizeof hit->text, "%s", text);
  }
  kv_hwnd frame = hmainwnd.load();
  if (!frame) return;
  char* copy = strdup(text);
  if (copy && !kv_post_message(frame, WM_ALERT_TRIGGERED, (kv_wparam)copy,
                               (kv_lparam)alert_id(record->alert), kv_release_free_wparam))
    free(copy);
}

void test_alerts(mqt* record, double price) {
  KV_ASSERT_CHART_LOCK_HELD();
  alert_rec* a = record->alert;
  if (!a) return;
  int code = tick_decimals(record->tick_size);
  char text[MQT_SYMBOL_SIZE + 96], level[64];
  uint32_t live = a->enabled & a->armed;
  if ((live & ALERT_HIGH) && price >= a->high_price) {
    a->fired |= ALERT_HIGH;
    a->armed &= ~ALERT_HIGH;
    format_price(a->high_price, level, code, 0);
    snprintf(text, sizeof text, "%s Last >= %s", record->symbol, level);
    fire_alert(record, (a->flags & ALERT_SWAP_SOUNDS) ? SOUND_LOW_ALERT : SOUND_HIGH_ALERT, text);
  }
  if ((live & ALERT_LOW) && price <= a->low_price) {
    a->fired |= ALERT_LOW;
    a->armed &= ~ALERT_LOW;
    format_price(a->low_price, level, code, 0);
    snprintf(text, sizeof text, "%s Last <= %s", record->symbol, level);
    fire_alert(record, (a->flags & ALERT_SWAP_SOUNDS) ? SOUND_HIGH_ALERT : SOUND_LOW_ALERT, text);
  }
}
