// The live-quote dump file: a version word, then one record per kept
// live-quote record, written and read field by field by one walk over the
// fields (dump_fields) so that both directions share the layout.
#include "quotes/mqtdump.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/chartheader.h"
#include "data/cmdline.h"
#include "data/statmsg.h"
#include "platform/files.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "settings/datadirs.h"

// Offsets of the field groups in one dumped record.
enum {
  DUMP_OFF_SYMBOL = 0,
  DUMP_OFF_CONTRACT = 32,   // broker local symbol, market name, strike, tick, multiplier
  DUMP_OFF_STORED = 92,     // last stored date, time, epoch
  DUMP_OFF_SESSION = 104,   // open, high, low, close, previous close, change
  DUMP_OFF_QUOTE = 128,     // date, trade time and epoch, bid, ask, last and sizes
  DUMP_OFF_STATS = 164,     // VWAP, session values, day close, percentages, volume
  DUMP_OFF_KEPT = 224,      // price fields after the last stored quote
  DUMP_OFF_MINUTES = 260,   // session and minute volumes
  DUMP_OFF_CHANGES = 2456,  // previous last, bid, ask and their differences
  DUMP_OFF_TS = 2480,       // time-and-sales ring, next index, wrapped flag
  DUMP_OFF_HISTOGRAM = 6584,
  DUMP_OFF_PAPER = 7604,
  DUMP_OFF_ACCOUNTS = 7628,  // read only to decide whether to recreate a record
};
static_assert(DUMP_OFF_CONTRACT == DUMP_OFF_SYMBOL + (int)MQT_SYMBOL_SIZE);
static_assert(DUMP_OFF_STORED == DUMP_OFF_CONTRACT + 32 + 8 + 8 + 8 + 4);
static_assert(DUMP_OFF_SESSION == DUMP_OFF_STORED + 3 * 4);
static_assert(DUMP_OFF_QUOTE == DUMP_OFF_SESSION + 6 * 4);
static_assert(DUMP_OFF_STATS == DUMP_OFF_QUOTE + 9 * 4);
static_assert(DUMP_OFF_KEPT == DUMP_OFF_STATS + 2 * 8 + 10 * 4 + 4);
static_assert(DUMP_OFF_MINUTES == DUMP_OFF_KEPT + 9 * 4);
static_assert(DUMP_OFF_CHANGES ==
              DUMP_OFF_MINUTES + (MQT_SESSION_MINUTES + 2 * MQT_VOLUME_MINUTES + 1) * 4);
static_assert(DUMP_OFF_TS == DUMP_OFF_CHANGES + 6 * 4);
static_assert(DUMP_OFF_HISTOGRAM == DUMP_OFF_TS + MQT_TS_ENTRIES * 32 + 2 * 4);
static_assert(DUMP_OFF_PAPER == DUMP_OFF_HISTOGRAM + 2 * 8 + MQT_HISTOGRAM_CELLS * 4);
static_assert(DUMP_OFF_ACCOUNTS == DUMP_OFF_PAPER + 3 * 8);
static_assert(MQT_DUMP_RECORD_SIZE == DUMP_OFF_ACCOUNTS + MQT_ACCOUNT_SLOTS * 4 * 8);

enum { DUMP_VERSION_SIZE = 4 };

// One pass over a record's bytes, writing or reading.
struct dump_cursor {
  uint8_t* p;
  size_t pos;
  bool writing;
  bool numbers_ok;  // reading: every price was a finite number
};

static void group(dump_cursor& c, size_t offset) {
  if (c.pos != offset) abort();  // the walk and the offsets disagree: a programming error
}

static void i32(dump_cursor& c, int32_t& v) {
  if (c.writing)
    put_le32(c.p + c.pos, (uint32_t)v);
  else
    v = (int32_t)get_le32(c.p + c.pos);
  c.pos += 4;
}

static void u32(dump_cursor& c, uint32_t& v) {
  if (c.writing)
    put_le32(c.p + c.pos, v);
  else
    v = get_le32(c.p + c.pos);
  c.pos += 4;
}

static void u8(dump_cursor& c, uint8_t& v) {
  if (c.writing)
    c.p[c.pos] = v;
  else
    v = c.p[c.pos];
  c.pos += 1;
}

static void u16(dump_cursor& c, uint16_t& v) {
  if (c.writing)
    put_le16(c.p + c.pos, v);
  else
    v = get_le16(c.p + c.pos);
  c.pos += 2;
}

static void f32(dump_cursor& c, float& v) {
  if (c.writing) {
    put_lef(c.p + c.pos, v);
  } else {
    v = get_lef(c.p + c.pos);
    if (!std::isfinite(v)) c.numbers_ok = false;
  }
  c.pos += 4;
}

static void f64(dump_cursor& c, double& v) {
  uint64_t bits;
  if (c.writing) {
    memcpy(&bits, &v, 8);
    put_le32(c.p + c.pos, (uint32_t)bits);
    put_le32(c.p + c.pos + 4, (uint32_t)(bits >> 32));
  } else {
    bits = get_le32(c.p + c.pos) | (uint64_t)get_le32(c.p + c.pos + 4) << 32;
    memcpy(&v, &bits, 8);
    if (!std::isfinite(v)) c.numbers_ok = false;
  }
  c.pos += 8;
}

// A text field; read back, it ends inside its field.
static void text(dump_cursor& c, char* s, size_t n) {
  if (c.writing) {
    memcpy(c.p + c.pos, s, n);
  } else {
    memcpy(s, c.p + c.pos, n);
    s[n - 1] = 0;
  }
  c.pos += n;
}

// The fields of one dumped record. symbol and accounts stand for the
// record's own fields where the caller must not have them overwritten.
static void dump_fields(dump_cursor& c, mqt& m, char* symbol, mqt_position* accounts) {
  group(c, DUMP_OFF_SYMBOL);
  text(c, symbol, MQT_SYMBOL_SIZE);

  group(c, DUMP_OFF_CONTRACT);
  text(c, m.broker_local_symbol, sizeof m.broker_local_symbol);
  text(c, m.market_name, sizeof m.market_name);
  f64(c, m.strike);
  f64(c, m.tick_size);
  i32(c, m.multiplier);

  group(c, DUMP_OFF_STORED);
  i32(c, m.stored_date);
  i32(c, m.stored_time);
  i32(c, m.stored_epoch);

  group(c, DUMP_OFF_SESSION);
  f32(c, m.open);
  f32(c, m.high);
  f32(c, m.low);
  f32(c, m.close);
  f32(c, m.prev_close);
  f32(c, m.change);

  group(c, DUMP_OFF_QUOTE);
  i32(c, m.quote_date);
  i32(c, m.trade_time);
  i32(c, m.trade_epoch);
  f32(c, m.bid);
  f32(c, m.ask);
  f32(c, m.last);
  i32(c, m.bid_size);
  i32(c, m.ask_size);
  i32(c, m.last_size);

  group(c, DUMP_OFF_STATS);
  f64(c, m.vwap_sum);
  f64(c, m.vwap_volume);
  f32(c, m.vwap);
  f32(c, m.session_high);
  f32(c, m.session_low);
  f32(c, m.session_start_price);
  f32(c, m.day_close);
  f32(c, m.pct_open);
  f32(c, m.pct_high);
  f32(c, m.pct_low);
  f32(c, m.pct_day_close);
  f32(c, m.pct_last);
  i32(c, m.volume);

  group(c, DUMP_OFF_KEPT);
  f32(c, m.stored.last);
  f32(c, m.stored.bid);
  f32(c, m.stored.ask);
  f32(c, m.stored.open);
  f32(c, m.stored.high);
  f32(c, m.stored.low);
  f32(c, m.stored.close);
  f32(c, m.stored.prev_close);
  f32(c, m.stored.change);

  group(c, DUMP_OFF_MINUTES);
  for (int32_t& v : m.session_volume) i32(c, v);
  for (int32_t& v : m.minute_volume) i32(c, v);
  for (int32_t& v : m.minute_cum_volume) i32(c, v);
  i32(c, m.newest_minute);

  group(c, DUMP_OFF_CHANGES);
  f32(c, m.prev_last);
  f32(c, m.prev_bid);
  f32(c, m.prev_ask);
  f32(c, m.last_change);
  f32(c, m.bid_change);
  f32(c, m.ask_change);

  group(c, DUMP_OFF_TS);
  for (ts_entry& t : m.ts_ring) {
    u8(c, t.zero);
    u8(c, t.trade_flags);
    u16(c, t.symbol);
    u8(c, t.byte4);
    u8(c, t.size_unit);
    u8(c, t.operation);
    u8(c, t.kind);
    i32(c, t.time);
    i32(c, t.key);
    f32(c, t.price);
    i32(c, t.size);    // or the ask's bits
    i32(c, t.volume);  // or the bid and ask sizes
    u8(c, *(uint8_t*)&t.condition);
    u8(c, t.size_multiplier);
    u8(c, t.tail[0]);
    u8(c, t.tail[1]);
  }
  i32(c, m.ts_next);
  i32(c, m.ts_wrapped);

  group(c, DUMP_OFF_HISTOGRAM);
  f64(c, m.histogram_base);
  f64(c, m.histogram_step);
  for (int32_t& v : m.histogram) i32(c, v);

  group(c, DUMP_OFF_PAPER);
  f64(c, m.paper_quantity);
  f64(c, m.paper_avg_price);
  f64(c, m.paper_profit);

  group(c, DUMP_OFF_ACCOUNTS);
  for (int i = 0; i < MQT_ACCOUNT_SLOTS; i++) {
    f64(c, accounts[i].quantity);
    f64(c, accounts[i].avg_price);
    f64(c, accounts[i].last_price);
    f64(c, accounts[i].profit);
  }
  group(c, MQT_DUMP_RECORD_SIZE);
}

static void dump_path(char* buf, size_t size) {
  char name[32];
  if (g_instance_letter)
    snprintf(name, sizeof name, "mqtdata%c.dump", g_instance_letter);
  else
    snprintf(name, sizeof name, "mqtdata.dump");
  if (!data_folder_path(buf, size, KV_DIR_CONFIG, name)) buf[0] = 0;
}

static int dumped(const mqt* r) {
  if ((r->flags & MQT_FREE) || !r->symbol[0]) return 0;  // a free slot holds nothing to keep
  return !(r->flags & MQT_NOT_STREAMABLE) || (r->flags & MQT_KEEP_IN_DUMP) ||
         (r->symbol[0] == 'A' && r->symbol[1] == '~');
}

int write_mqt_dump() {
  std::string data(DUMP_VERSION_SIZE, '\0');
  put_le32((uint8_t*)&data[0], MQT_DUMP_VERSION);
  {
    kv_lock guard(g_chart_lock);
    for (mqt* r = g_mqt_list; r; r = r->next) {
      if (!dumped(r)) continue;
      size_t at = data.size();
      data.resize(at + MQT_DUMP_RECORD_SIZE);
      dump_cursor c = {(uint8_t*)&data[at], 0, true, true};
      dump_fields(c, *r, r->symbol, r->account_positions);
    }
  }
  char path[KV_MAX_PATH];
  dump_path(path, sizeof path);
  if (!path[0] || !kv_write_file_atomic(path, data.data(), data.size(), nullptr)) {
    statmsg(__FILE__, __LINE__, "Can't create dump file: ", path, 3);
    return 0;
  }
  return 1;
}

static int holds_position(const mqt_position* accounts) {
  for (int i = 0; i < MQT_ACCOUNT_SLOTS; i++)
    if (accounts[i].quantity != 0 || accounts[i].profit > 0) return 1;
  return 0;
}

// Restores one dumped record into the live record of its symbol; 0 when
// it is skipped.
static int restore_record(uint8_t* bytes, mqt* scratch) {
  char symbol[MQT_SYMBOL_SIZE];
  mqt_position accounts[MQT_ACCOUNT_SLOTS];
  memset(scratch, 0, sizeof *scratch);
  dump_cursor c = {bytes, 0, false, true};
  dump_fields(c, *scratch, symbol, accounts);
  // The ring index is used as an index and the newest minute in minute
  // arithmetic (a value far outside the day overflows it); a price that is
  // no number would spread into every value computed from it.
  if (!c.numbers_ok || !symbol[0] || scratch->ts_next < 0 || scratch->ts_next >= MQT_TS_ENTRIES ||
      scratch->newest_minute < 0 || scratch->newest_minute >= 24 * 60)
    return 0;
  kv_lock guard(g_chart_lock);
  mqt* r = find_mqt(symbol);
  if (!r && holds_position(accounts)) r = get_multiquote(symbol);
  if (!r) return 0;
  dump_cursor again = {bytes, 0, false, true};
  dump_fields(again, *r, symbol, accounts);
  return 1;
}

int read_mqt_dump() {
  char path[KV_MAX_PATH];
  dump_path(path, sizeof path);
  std::string data;
  if (!path[0] || !kv_file_exists(path) || !kv_read_file(path, &data, nullptr)) return 0;
  if (data.size() < DUMP_VERSION_SIZE) return 0;
  uint32_t version = get_le32((const uint8_t*)data.data());
  if (version < MQT_DUMP_VERSION || version > MQT_DUMP_VERSION_MAX) return 0;
  // A record cut short ends the reading; the whole ones before it stay.
  if ((data.size() - DUMP_VERSION_SIZE) % MQT_DUMP_RECORD_SIZE != 0)
    statmsg(__FILE__, __LINE__, "Dump file cut inside a record: ", path, 3);
  mqt* scratch = (mqt*)malloc(sizeof(mqt));
  if (!scratch) return 0;
  int restored = 0;
  for (size_t at = DUMP_VERSION_SIZE; data.size() - at >= MQT_DUMP_RECORD_SIZE;
       at += MQT_DUMP_RECORD_SIZE)
    restored += restore_record((uint8_t*)&data[at], scratch);
  free(scratch);
  return restored;
}
