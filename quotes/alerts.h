// Price alerts: a high and a low alert per symbol in one table, loaded from
// and saved to alerts<c>.dat in the CONFIG folder, tested on each stored
// quote. A fired alert records a hit in the live-quote record, queues a
// sound and notifies the main frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct mqt;

// One alert slot; an empty symbol marks a free slot. Written to the file
// field by field (encode_alert_rec), 144 bytes.
struct alert_rec {
  char symbol[32];   // at most 31 characters
  uint32_t flags;    // ALERT_IN_USE, ALERT_SWAP_SOUNDS
  uint32_t enabled;  // ALERT_HIGH, ALERT_LOW
  uint32_t armed;    // a fired alert is disarmed
  uint32_t fired;    // bits above 1 belong to the heat map
  float high_price;
  uint32_t high_word;  // kept as read
  float low_price;
  uint32_t low_word;   // kept as read
  uint32_t extra[20];  // words 16..35: kept as read; the alerts dialog and
                       //   the heat map use words 16..30
};

enum {
  ALERT_REC_SIZE = 144,
  ALERTS_HEADER_SIZE = 2044,
  ALERTS_SPARE_SLOTS = 200,
  ALERT_IN_USE = 0x1,       // only alerts in use are saved
  ALERT_SWAP_SOUNDS = 0x2,  // the high alert plays the low sound and back
  ALERT_HIGH = 0x1,
  ALERT_LOW = 0x2,
  ALERT_HITS_MAX = 16,
};

// File offsets of the fields.
enum {
  ALERT_OFF_SYMBOL = 0,
  ALERT_OFF_FLAGS = 32,
  ALERT_OFF_ENABLED = 36,
  ALERT_OFF_ARMED = 40,
  ALERT_OFF_FIRED = 44,
  ALERT_OFF_HIGH = 48,
  ALERT_OFF_HIGH_WORD = 52,
  ALERT_OFF_LOW = 56,
  ALERT_OFF_LOW_WORD = 60,
  ALERT_OFF_EXTRA = 64,
};
static_assert(ALERT_OFF_EXTRA + 20 * 4 == ALERT_REC_SIZE);

// Unsaved changes; set by whoever changes an alert, cleared by save_alerts.
extern std::atomic<int> g_alerts_changed;

void encode_alert_rec(const alert_rec* a, uint8_t* out);
// The symbol is cut inside its field; a price that is no number (or
// infinite) becomes 0 and its alert is disabled. 1 when nothing was cut.
int decode_alert_rec(const uint8_t* in, alert_rec* a);

// Loads the table (once) and sets the alert and sound hooks of the
// live-quote records. 1, or 0 when memory is short.
int load_alerts();
// The symbol's slot (case-insensitive), else a newly claimed one; null when
// the table is full or cannot be loaded.
alert_rec* find_or_add_alert(const char* symbol);
// Rewrites the alert file (atomically) with every slot in use; clears
// g_alerts_changed. 1 written, 0 failed or no table.
int save_alerts();
// Drops the table (after every live-quote record is gone).
void free_alerts();

// The high and low alert test of a stored quote at price (the caller holds
// g_chart_lock).
void test_alerts(mqt* record, double price);
// Records a fired alert: queues the sound, raises g_alerts_changed, keeps
// (trade epoch, text) as the record's next hit and posts WM_ALERT_TRIGGERED
// (wParam a copy of text, lParam the alert's id) to the main frame.
void fire_alert(mqt* record, int sound, const char* text);
// Slot id (1-based, 0 for none) of an alert, and back; ids stay valid for
// the run.
int alert_id(const alert_rec* a);
alert_rec* alert_from_id(int id);
