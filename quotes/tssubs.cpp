// Time-and-sales entries and the window slots of the live-quote records.
#include "quotes/tssubs.h"

#include <cstring>

#include "data/chartheader.h"
#include "platform/locks.h"
#include "quotes/mqt.h"

void ts_entry_from_record(const uint8_t* rec, ts_entry* e) {
  e->zero = 0;
  e->trade_flags = 0;  // the record's error byte: 0 on every record handed on
  e->symbol = (uint16_t)(rec[2] | rec[3] << 8);
  e->byte4 = rec[4];
  e->size_unit = rec[5];
  e->operation = rec[6];
  e->kind = rec[7];
  e->time = (int32_t)get_le32(rec + 8);
  e->key = (int32_t)get_le32(rec + 12);
  e->price = get_lef(rec + 16);
  e->size = (int32_t)get_le32(rec + 20);    // the ask's bits for a bid/ask entry
  e->volume = (int32_t)get_le32(rec + 24);  // the two sizes for a bid/ask entry
  e->condition = (char)rec[28];
  e->size_multiplier = rec[29];
  e->tail[0] = rec[30];
  e->tail[1] = rec[31];
}

static int wanted(const ts_entry& e, uint8_t kinds) {
  if (e.kind == TS_KIND_TRADE) return (kinds & TS_WANT_TRADES) != 0;
  if (e.kind == TS_KIND_BID_ASK) return (kinds & TS_WANT_BID_ASK) != 0;
  return 0;  // day summaries go to no window
}

// The ring's entries newest first: down from the next index and, once the
// ring has wrapped, on from its end down to the next index.
static int copy_ring(const mqt* r, uint8_t kinds, ts_entry* out, int max) {
  int n = 0;
  int next = r->ts_next;
  if (next < 0 || next > MQT_TS_ENTRIES) return 0;
  for (int i = next - 1; i >= 0 && n < max; i--)
    if (wanted(r->ts_ring[i], kinds)) out[n++] = r->ts_ring[i];
  if (r->ts_wrapped)
    for (int i = MQT_TS_ENTRIES - 1; i >= next && n < max; i--)
      if (wanted(r->ts_ring[i], kinds)) out[n++] = r->ts_ring[i];
  return n;
}

// The last token given, under g_chart_lock.
static uint32_t g_ts_last_token;

uint32_t time_sales_token(const mqt* r, kv_hwnd window) {
  if (!r || !window) return 0;
  kv_lock guard(g_chart_lock);
  for (int i = 0; i < MQT_TS_SLOTS; i++)
    if (r->ts_windows[i] == window) return r->ts_tokens[i];
  return 0;
}

mqt* subscribe_time_sales(const char* symbol, kv_hwnd window, uint8_t kinds, ts_entry* buffer,
                          int max, int* count) {
  if (count) *count = 0;
  if (!window || !symbol || !symbol[0]) return nullptr;
  kv_lock guard(g_chart_lock);
  mqt* r = get_multiquote(symbol);
  if (!r) return nullptr;
  for (int i = 0; i < MQT_TS_SLOTS; i++) {
    if (r->ts_windows[i]) continue;
    r->ts_windows[i] = window;
    r->ts_kinds[i] = kinds;
    if (++g_ts_last_token == 0) g_ts_last_token = 1;
    r->ts_tokens[i] = g_ts_last_token;
    r->ts_subscribers++;
    int n = buffer && max > 0 ? copy_ring(r, kinds, buffer, max) : 0;
    if (count) *count = n;
    return r;
  }
  delete_multiquote(r);
  return nullptr;
}

int unsubscribe_time_sales(mqt* r, kv_hwnd window) {
  if (!r || !window) return 0;
  kv_lock guard(g_chart_lock);
  for (int i = 0; i < MQT_TS_SLOTS; i++) {
    if (r->ts_windows[i] != window) continue;
    r->ts_windows[i] = 0;
    r->ts_kinds[i] = 0;
    r->ts_tokens[i] = 0;
    r->ts_subscribers--;
    delete_multiquote(r);
    return 1;
  }
  return 0;
}
