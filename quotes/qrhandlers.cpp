// The handlers of the relay's record stream: each record code updates the
// symbol's live-quote record, its time-and-sales ring, its book windows or,
// through g_spigot_hooks, the order bookkeeping.
#include <sys/socket.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "data/chart.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/exchclock.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/assert.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/window.h"
#include "quotes/booksubs.h"
#include "quotes/mqtthread.h"
#include "quotes/livechart.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "quotes/relayhist.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "quotes/tssubs.h"
#include "settings/settings.h"

spigot_hooks g_spigot_hooks;
std::atomic<int64_t> g_status_posts_quiet_until{0};
uint8_t g_qr_info_block[QR_INFO_BLOCK_DATA];
int g_no_data_seconds;
int g_no_data_threshold = 5;

enum {
  SOUND_CANCEL = 4,
  SOUND_CONNECTED = 16,
  SOUND_DISCONNECTED = 17,
  SOUND_NO_DATA = 18,
  BOOK_FROM_QUOTE = 8,  // participant index of an entry inserted from the quote
  BIDASK_POSTS = 2,     // unacknowledged bid/ask posts a chart may have
  QUOTE_SIZE_UNIT = 80,
  DETAILS_SYMBOL = 12,
  DETAILS_SYMBOL_SIZE = 24,    // 12..35: the rest of the record
  BAR_MORE_IN_BLOCK = 0x1000,  // a minute bar that is not the last of its block
};

// Fields of the code-5 quote record (stock and future form).
enum {
  QF_KIND = 5,
  QF_SCALE = 9,
  QF_HOUR = 10,
  QF_MINUTE = 11,
  QF_LAST = 12,
  QF_PREV_CLOSE = 16,
  QF_VOLUME = 20,
  QF_BID = 24,
  QF_ASK = 28,
  QF_BID_SIZE = 32,
  QF_ASK_SIZE = 36,
  QF_HIGH = 40,
  QF_LOW = 44,
  QF_OPEN = 48,
  QF_LAST_SIZE = 52,
  QF_PRICE2 = 56,
  QF_PRICE3 = 60,
  QF_BYTE1 = 67,
  QF_BYTE2 = 68,
  QF_MONTH = 69,
  QF_DAY = 70,
  QF_YEAR = 71,
  QF_THOUSANDTHS1 = 72,
  QF_THOUSANDTHS2 = 76,
  QF_UNIT = 80,
  QF_WORD = 100,
  QF_TRADE_PRICE = 104,
  QF_TRADE_HOUR = 108,
  QF_TRADE_MINUTE = 109,
  // Option form.
  QO_HIGH = 32,
  QO_LOW = 36,
  QO_PRICE = 48,
  QO_SHORT = 52,
  QO_BYTE = 56,
  QO_OPEN = 68,
  QO_WORD = 72,
};
static_assert(QF_UNIT + 2 <= 144 && QF_TRADE_MINUTE < 144, "quote fields lie in the record");

static int32_t saturate(int64_t v) {
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v;
}

static float get_f32(const uint8_t* p) {
  uint32_t u = get_le32(p);
  float f;
  memcpy(&f, &u, 4);
  return f;
}

// The record of a symbol number, or null (reported unless quiet).
static mqt* record_of(const uint8_t* rec, const char* handler, int quiet) {
  int n = qr_record_symbol(rec);
  if (!qr_symbol_valid(n)) {
    if (!quiet) debug_trace("Symbol number %d out of range %s:%d\n", n, __FILE__, __LINE__);
    return nullptr;
  }
  mqt* r = g_symbol_slots[n - 1];
  if (!r) {
    if (!quiet) debug_trace("%s: Unknown symbol number %d\n", handler, n);
    return nullptr;
  }
  return (r->flags & MQT_PLAYBACK) ? nullptr : r;
}

static void post_trade_entry(mqt* r, const ts_entry& e, uint8_t want) {
  for (int i = 0; i < MQT_TS_SLOTS; i++) {
    if (!r->ts_windows[i] || !(r->ts_kinds[i] & want)) continue;
    ts_entry* copy = (ts_entry*)malloc(sizeof(ts_entry));
    if (!copy) return;
    *copy = e;
    if (!kv_post_message(r->ts_windows[i], WM_TRADE_UPDATE, (kv_wparam)r->ts_tokens[i],
                         (kv_lparam)copy, kv_release_free_lparam))
      free(copy);
  }
}

// ---------------------------------------------------------------------------
// Code 5: the quote snapshot.

static double quote_scale(int scale) {
  return scale >= 10 ? std::ldexp(1.0, scale - 10) : std::pow(10.0, scale);
}

static void handle_quote(const uint8_t* rec) {
  mqt* r = record_of(rec, "kvqr_handle_quote", 0);
  if (!r) return;
  double div = quote_scale(rec[QF_SCALE]);
  auto price = [&](int off) { return (float)((int32_t)get_le32(rec + off) / div); };
  int kind = rec[QF_KIND];
  uint32_t flags = FEED_LAST | FEED_PREV_CLOSE | FEED_BID | FEED_ASK | FEED_TIME;
  r->last = price(QF_LAST);
  r->prev_close = price(QF_PREV_CLOSE);
  r->bid = price(QF_BID);
  r->ask = price(QF_ASK);
  int hi = QF_HIGH, lo = QF_LOW, op = QF_OPEN;
  if (kind == 2) {
    if (!strchr(r->symbol, '~')) debug_trace("recType = option for quote on %s\n", r->symbol);
    r->volume = (int32_t)get_le32(rec + QF_VOLUME);
    r->open_interest = (int32_t)get_le32(rec + 40);
    hi = QO_HIGH, lo = QO_LOW, op = QO_OPEN;
    flags |= FEED_VOLUME;
    r->relay_price[0] = price(QO_PRICE);
    r->relay_short = (int16_t)get_le16(rec + QO_SHORT);
    r->relay_byte[0] = rec[QO_BYTE];
    r->relay_word = get_le32(rec + QO_WORD);
  } else {
    int64_t unit = (int16_t)get_le16(rec + QF_UNIT);
    if (kind != 1) {
      r->volume = saturate((int32_t)get_le32(rec + QF_VOLUME) * unit);
      flags |= FEED_VOLUME;
    }
    r->bid_size = saturate((int32_t)get_le32(rec + QF_BID_SIZE) * unit);
    r->ask_size = saturate((int32_t)get_le32(rec + QF_ASK_SIZE) * unit);
    r->last_size = saturate((int32_t)get_le32(rec + QF_LAST_SIZE) * unit);
    flags |= FEED_BID_SIZE | FEED_ASK_SIZE | FEED_LAST_SIZE;
    r->relay_price[0] = price(QF_PRICE2);
    r->relay_price[1] = price(QF_PRICE3);
    r->relay_byte[0] = rec[QF_BYTE1];
    r->relay_byte[1] = rec[QF_BYTE2];
    r->relay_thousandths[0] = (float)((int32_t)get_le32(rec + QF_THOUSANDTHS1) / 1000.0);
    r->relay_thousandths[1] = (float)((int32_t)get_le32(rec + QF_THOUSANDTHS2) / 1000.0);
    r->relay_word = get_le32(rec + QF_WORD);
    int month = rec[QF_MONTH], day = rec[QF_DAY], year = rec[QF_YEAR];
    if (month && day) {
      r->quote_date = (2000 + year) * 10000 + month * 100 + day;
      flags |= FEED_DATE;
    }
    if (get_le32(rec + QF_TRADE_PRICE)) {
      r->trade_time = rec[QF_TRADE_HOUR] * 3600 + rec[QF_TRADE_MINUTE] * 60;
      flags |= FEED_TRADE_TIME;
    }
  }
  struct {
    int off;
    float* field;
    uint32_t flag;
  } optional[] = {{hi, &r->high, FEED_HIGH}, {lo, &r->low, FEED_LOW}, {op, &r->open, FEED_OPEN}};
  for (auto& o : optional) {
    if (get_le32(rec + o.off)) {
      *o.field = price(o.off);
      flags |= o.flag;
    }
  }
  r->quote_time = rec[QF_HOUR] * 3600 + rec[QF_MINUTE] * 60;
  r->feed_flags = (r->feed_flags & FEED_KIND_MASK) | flags;
  save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
}

// ---------------------------------------------------------------------------
// Code 4: trades, bids and asks.

void merge_quote_into_book(mqt* r, uint8_t* book, int32_t quote_time) {
  uint32_t tag = ((uint32_t)quote_time & 0xFFFFFF) | 0x8000000u;
  auto merge_side = [&](int base, double price, int size, int better_sign) {
    uint8_t* e = book + base;
    // An entry inserted earlier from the quote goes first.
    if ((get_le32(e + BOOK_OFF_WORD) >> 24) == BOOK_FROM_QUOTE) {
      memmove(e, e + BOOK_ENTRY, (BOOK_ENTRIES - 1) * BOOK_ENTRY);
      memset(e + (BOOK_ENTRIES - 1) * BOOK_ENTRY, 0, BOOK_ENTRY);
    }
    if (!(price > 0) || size <= 0) return;
    double best = get_f32(e + BOOK_OFF_PRICE);
    int insert_size = 0;
    if (best <= 0 || (price - best) * better_sign > 0) {
      insert_size = size;
    } else if (price == best) {
      int at_price = 0;
      for (int i = 0; i < BOOK_ENTRIES && get_f32(e + i * BOOK_ENTRY + BOOK_OFF_PRICE) == best; i++)
        at_price += (int32_t)get_le32(e + i * BOOK_ENTRY + BOOK_OFF_SIZE);
      if (size > at_price) insert_size = size - (int32_t)get_le32(e + BOOK_OFF_SIZE);
    }
    if (insert_size <= 0) return;
    memmove(e + BOOK_ENTRY, e, (BOOK_ENTRIES - 1) * BOOK_ENTRY);
    float f = (float)price;
    uint32_t u;
    memcpy(&u, &f, 4);
    put_le32(e + BOOK_OFF_WORD, tag | (uint32_t)BOOK_FROM_QUOTE << 24);
    put_le32(e + BOOK_OFF_SIZE, (uint32_t)insert_size);
    put_le32(e + BOOK_OFF_PRICE, u);
  };
  merge_side(BOOK_BIDS, r->bid, r->bid_size, 1);
  merge_side(BOOK_ASKS, r->ask, r->ask_size, -1);
}

// Book windows that merge the quote: the merge runs in the first one's
// buffer and is copied to the others.
static void merge_into_option_books(mqt* r) {
  mqt_book_slots* s = find_book_slots(r);
  if (!s) return;
  uint8_t* first = nullptr;
  for (book_slot& b : s->orderbook) {
    if (!b.window || !b.buffer || !(b.option & BOOK_OPTION_INSIDE_MARKET)) continue;
    if (!first) {
      first = b.buffer;
      merge_quote_into_book(r, first, r->quote_time);
    } else {
      memcpy(b.buffer, first, BOOK_BUFFER_SIZE);
    }
    kv_post_message(b.window, WM_ORDERBOOK_UPDATE, (kv_wparam)r, 0);
  }
}

static int32_t trade_time(mqt* r, int32_t t) {
  if (t == -1) {
    chart_rec* c = r->intraday_charts;
    if (c && c->header.bar_count > 0) return kv_time_of_day(c->bars[c->header.bar_count - 1].time);
    return exchange_time_of_day(r);
  }
  if (t == -2) {
    r->quote_date = exchange_date(r);
    return exchange_time_of_day(r);
  }
  return t;
}

static void apply_trade(mqt* r, ts_entry& e) {
  r->last = e.price;
  r->trade_time = e.time;
  r->quote_time = e.time;
  uint32_t flags = FEED_LAST | FEED_TIME | FEED_TRADE_TIME;
  if (!(r->flags & MQT_INDEX_OR_ACCOUNT) || e.size_unit != TS_SIZE_INDEX) {
    int sign = (e.trade_flags & (TS_ABOVE_ASK | TS_AT_ASK))   ? 1
               : (e.trade_flags & (TS_AT_BID | TS_BELOW_BID)) ? -1
                                                              : 0;
    if (e.size_unit != TS_SIZE_INDEX) {
      r->last_size = sign * (e.size > 0 ? e.size : 0);
      flags |= FEED_LAST_SIZE;
    }
  }
  if (e.volume) {
    r->volume = e.volume;
    flags |= FEED_VOLUME;
  }
  if ((g_pref_flags1 & 0x20) && g_spigot_hooks.trade_depth)
    g_spigot_hooks.trade_depth(r, e.price, e.size);
  r->feed_flags = (r->feed_flags & FEED_KIND_MASK) | flags;
  save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
}

static void band(const mqt* r, double* lo, double* hi) {
  double bid = r->bid > 0 ? r->bid : r->ts_smoothed;
  double ask = r->ask > 0 ? r->ask : r->ts_smoothed;
  double width = ask - bid > 0.001 ? ask - bid : 0.001 * r->ts_smoothed;
  width *= (g_pref_flags >> 20) & 0xF;
  *lo = bid - width;
  *hi = ask + width;
}

static void handle_trade_kind(mqt* r, ts_entry& e, int slot) {
  double price = e.price;
  if (r->ts_smoothed <= 0) r->ts_smoothed = (float)price;
  r->ts_smoothed = (float)(0.8 * price + 0.2 * r->ts_smoothed);
  uint8_t cls;
  if (r->flags & MQT_INDEX_OR_ACCOUNT)
    cls = price > r->last ? TS_AT_ASK : price == r->last ? TS_BETWEEN : TS_AT_BID;
  else if (r->ask > 0 && price == r->ask)
    cls = TS_AT_ASK;
  else if (r->bid > 0 && price == r->bid)
    cls = TS_AT_BID;
  else if (r->ask > 0 && price > r->ask)
    cls = TS_ABOVE_ASK;
  else if (r->bid > 0 && price < r->bid)
    cls = TS_BELOW_BID;
  else
    cls = TS_BETWEEN;
  e.trade_flags |= cls;
  if ((g_pref_flags & PREF_TRADE_BAND) && (r->bid > 0 || r->ask > 0)) {
    double lo, hi;
    band(r, &lo, &hi);
    int checked = (int)((g_pref_flags >> 24) & 7);
    if (checked < 1 || checked > 3) checked = 4;
    // Held trades that the band reached again are applied first.
    for (int i = 0; i < checked; i++) {
      int h = r->ts_held[i] - 1;
      if (h < 0) continue;
      ts_entry& held = r->ts_ring[h];
      if (held.price >= lo && held.price <= hi) {
        held.trade_flags = (uint8_t)((held.trade_flags & ~TS_HELD_BACK) | TS_CORRECTED);
        r->ts_held[i] = 0;
        apply_trade(r, held);
      }
    }
    if (price < lo || price > hi) {
      e.trade_flags |= TS_HELD_BACK;
      memmove(r->ts_held + 1, r->ts_held, 3 * sizeof r->ts_held[0]);
      r->ts_held[0] = (int16_t)(slot + 1);
      return;
    }
  }
  apply_trade(r, e);
}

static void handle_bid_ask(mqt* r, const ts_entry& e) {
  int mult = e.size_multiplier ? e.size_multiplier : 1;
  float bid = e.price, ask = e.ask;
  r->bid_change = bid - r->bid;
  r->ask_change = ask - r->ask;
  r->prev_bid = r->bid;
  r->prev_ask = r->ask;
  r->bid = bid;
  r->ask = ask;
  r->bid_size = e.bid_ask_size[0] * mult;
  r->ask_size = e.bid_ask_size[1] * mult;
  if (g_spigot_hooks.quote_depth) g_spigot_hooks.quote_depth(r, bid, r->bid_size, ask, r->ask_size);
  if (g_mqt_hooks.update_orders_on_quote) g_mqt_hooks.update_orders_on_quote(r);
  merge_into_option_books(r);
  if (r->flags & (MQT_MIDPOINT | MQT_MARKET_INDICATOR)) {
    r->feed_flags =
        (r->feed_flags & FEED_KIND_MASK) | FEED_BID | FEED_ASK | FEED_BID_SIZE | FEED_ASK_SIZE;
    save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
    return;
  }
  for (chart_rec* c = r->intraday_charts; c; c = c->sibling) {
    if (!c->owner_window || !kv_window_exists((kv_hwnd)c->owner_window)) continue;
    if (c->bidask_post_count % 20 >= BIDASK_POSTS) continue;
    c->bidask_post_count++;
    kv_post_message((kv_hwnd)c->owner_window, WM_BID_ASK_UPDATE, (kv_wparam)c, (kv_lparam)r);
  }
}

static void handle_trade(const uint8_t* rec) {
  mqt* r = record_of(rec, "kvqr_handle_trade", 0);
  if (!r) return;
  ts_entry e;
  ts_entry_from_record(rec, &e);
  e.zero = 0;
  e.trade_flags = 0;
  e.time = trade_time(r, e.time);
  // A time that is not a time of the day is no trade of today.  A day
  // summary has no time: its high lies where the time would be.
  if (e.operation != TS_OP_CANCEL && e.kind != TS_KIND_SUMMARY && (e.time < 0 || e.time >= 86400)) {
    debug_trace("kvqr_handle_trade: bad time %d\n", e.time);
    return;
  }
  if (e.operation == TS_OP_CANCEL || e.operation == TS_OP_CORRECT) {
    for (int i = 0; i < MQT_TS_ENTRIES; i++) {
      ts_entry& t = r->ts_ring[i];
      if (t.key != e.key || (t.time == 0 && t.price == 0)) continue;
      if (e.operation == TS_OP_CANCEL) {
        t.trade_flags |= TS_CANCELLED;
      } else {
        memcpy(&t.time, &e.time, 24);
        t.trade_flags |= TS_CORRECTED;
      }
      // The ring keeps the entry as a trade; the windows are told what
      // happened to it, or they would list it again as a new trade.
      ts_entry changed = t;
      changed.operation = e.operation;
      post_trade_entry(r, changed, TS_WANT_TRADES);
      return;
    }
    return;
  }
  if (e.size_unit == TS_SIZE_HUNDREDS && e.kind == TS_KIND_TRADE) e.size /= 100;
  if (e.kind == TS_KIND_TRADE && e.size < 0) e.size = 0;  // no such trade size
  int slot = r->ts_next;
  if (e.kind == TS_KIND_BID_ASK) {
    r->ts_ring[slot] = e;
    handle_bid_ask(r, e);
    post_trade_entry(r, e, TS_WANT_BID_ASK);
    return;
  }
  if (e.kind == TS_KIND_SUMMARY) {
    float high = get_f32(rec + 8), low = get_f32(rec + 12), prev = get_f32(rec + 16);
    int32_t volume = (int32_t)get_le32(rec + 20);
    uint32_t flags = 0;
    if (high > 0) r->high = high, flags |= FEED_HIGH;
    if (low > 0) r->low = low, flags |= FEED_LOW;
    if (prev > 0) r->prev_close = prev, flags |= FEED_PREV_CLOSE;
    if (volume) r->volume = volume, flags |= FEED_VOLUME;
    r->feed_flags = (r->feed_flags & FEED_KIND_MASK) | flags;
    if (flags) save_mqt_data(r, SAVE_MQT_CHARTS | SAVE_MQT_FULL);
    return;
  }
  handle_trade_kind(r, e, slot);
  r->ts_ring[slot] = e;
  if (++r->ts_next >= MQT_TS_ENTRIES) {
    r->ts_next = 0;
    r->ts_wrapped = 1;
  }
  // A held trade whose slot is now overwritten is gone.
  for (int i = 0; i < 4; i++)
    if (r->ts_held[i] == r->ts_next + 1) r->ts_held[i] = 0;
  post_trade_entry(r, e, TS_WANT_TRADES);
}

// ---------------------------------------------------------------------------
// Codes 6 and 7: books.

static void handle_book(const uint8_t* rec, int level2) {
  mqt* r = record_of(rec, "", 1);
  if (!r) return;
  mqt_book_slots* s = find_book_slots(r);
  if (!s) return;
  book_slot* slots = level2 ? s->level2 : s->orderbook;
  int merged = 0;
  for (int i = 0; i < BOOK_WINDOW_SLOTS; i++) {
    book_slot& b = slots[i];
    if (!b.window || !b.buffer) continue;
    if (!level2 && (b.option & BOOK_OPTION_INSIDE_MARKET)) {
      merged = 1;
      continue;
    }
    memcpy(b.buffer, rec, BOOK_BUFFER_SIZE);
    kv_post_message(b.window, level2 ? WM_LEVEL2_UPDATE : WM_ORDERBOOK_UPDATE, (kv_wparam)r, 0);
  }
  if (!merged) return;
  for (book_slot& b : s->orderbook)
    if (b.window && b.buffer && (b.option & BOOK_OPTION_INSIDE_MARKET))
      memcpy(b.buffer, rec, BOOK_BUFFER_SIZE);
  merge_into_option_books(r);
}

// ---------------------------------------------------------------------------
// Codes 3, 17 and 63.

static void handle_bar(const uint8_t* rec) {
  mqt* r = record_of(rec, "kvqr_handle_bar", 0);
  if (!r) return;
  int32_t t = (int32_t)get_le32(rec + QR_OFF_TIME);
  int tod = kv_time_of_day(t);
  int32_t minute_time = t - tod % 60;
  int bar_date = seconds_to_date(t);
  if (bar_date >= r->ring_date) {
    // The minutes since the ring's newest (at the earliest the minute
    // before the session) get flat bars, the bar's own minute among them.
    int from = bar_date == r->ring_date ? r->ring_time : 0;
    if (from < r->session_start - 60) from = r->session_start - 60;
    if (tod > from) mqt_backfill(r, from, tod);
    // The pace: today's volume against the usual volume by this minute.
    int minute = (tod - r->session_start) / 60;
    if (minute >= 1 && minute < MQT_SESSION_MINUTES && r->session_volume[minute] > 0)
      r->relative_volume = saturate((int64_t)r->volume * 100 / r->session_volume[minute]);
  }
  for (int i = r->recent_count - 1; i >= 0; i--) {
    chart_bar& b = r->recent_bars[i];
    if (b.time != minute_time) continue;
    b.open = get_f32(rec + 8);
    b.high = get_f32(rec + 12);
    b.low = get_f32(rec + 16);
    b.close = get_f32(rec + 20);
    b.volume = rec[28] == 1 ? 0 : (int32_t)get_le32(rec + 24);
    b.flags = relay_bar_flags() | (qr_record_is_last(rec) ? 0 : BAR_MORE_IN_BLOCK);
    r->flags |= MQT_1MIN_CHANGED;
    break;
  }
  if (qr_record_is_last(rec) && g_mqt_hooks.rebuild_minute_charts)
    g_mqt_hooks.rebuild_minute_charts(r);
}

static void handle_details(const uint8_t* rec) {
  mqt* r = record_of(rec, "kvqr_handle_details", 0);
  if (!r) return;
  r->tick_size = std::floor(get_f32(rec + 8) * 10000000.0 + 0.1) / 10000000.0;
  int32_t m = (int32_t)get_le32(rec + 4);
  r->multiplier = m < 1 ? 1 : m;
  static_assert(DETAILS_SYMBOL + DETAILS_SYMBOL_SIZE == QR_RECORD_SIZE, "details symbol");
  static_assert(DETAILS_SYMBOL_SIZE < sizeof r->broker_local_symbol, "local symbol fits");
  memcpy(r->broker_local_symbol, rec + DETAILS_SYMBOL, DETAILS_SYMBOL_SIZE);
  r->broker_local_symbol[DETAILS_SYMBOL_SIZE] = 0;
  r->flags |= MQT_DETAILS_RECEIVED;
  if (g_spigot_hooks.details_received) g_spigot_hooks.details_received(r);
}

static void sound(int n) {
  if (g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(n);
}

static void watchdog_tick() {
  if (g_no_data_seconds == 0) {
    int t = g_exchange_time;
    if (t >= 9 * 3600 && t < 16 * 3600) {
      g_no_data_threshold = 5;
      g_no_data_seconds = 5;
      return;
    }
    g_no_data_threshold = (t < 7 * 3600 || t > 21 * 3600) ? 300 : 60;
  } else if (g_no_data_seconds >= g_no_data_threshold) {
    char text[64];
    if (g_no_data_seconds % 60)
      snprintf(text, sizeof text, "No data received for %d seconds", g_no_data_seconds);
    else
      snprintf(text, sizeof text, "No data received for %d minutes", g_no_data_seconds / 60);
    statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_MISSING);
    if (cont_update()) sound(SOUND_NO_DATA);
    int th = g_no_data_threshold;
    g_no_data_threshold += th < 15 ? 5 : th < 60 ? 15 : th < 300 ? 60 : 300;
  }
  g_no_data_seconds += 5;
}

static void handle_router_status(const uint8_t* rec) {
  int kind = qr_record_symbol(rec);
  char text[QR_RECORD_SIZE - 4 + 1];
  memcpy(text, rec + 4, sizeof text - 1);
  text[sizeof text - 1] = 0;
  switch (kind) {
    case QR_STATUS_DISCONNECTED:
      sound(SOUND_DISCONNECTED);
      statmsg(__FILE__, __LINE__, "DISCONNECTED from data server", nullptr, STATMSG_NOTICE);
      break;
    case QR_STATUS_CONNECTED:
    case QR_STATUS_CONNECTED2:
      statmsg(__FILE__, __LINE__, "CONNECTION ESTABLISHED to", text, STATMSG_NOTICE);
      if (kind == QR_STATUS_CONNECTED2) sound(SOUND_CONNECTED);
      break;
    case QR_STATUS_NO_HEARTBEAT:
      statmsg(__FILE__, __LINE__, "No HeartBeat from server", nullptr, STATMSG_NOTICE);
      sound(SOUND_NO_DATA);
      break;
    case QR_STATUS_BROKER_DOWN:
      sound(SOUND_DISCONNECTED);
      statmsg(__FILE__, __LINE__, "DISCONNECTED from data server", nullptr, STATMSG_NOTICE);
      statmsg(__FILE__, __LINE__, "TWS shutdown, router terminated", nullptr, STATMSG_ERROR);
      set_cont_update(0);
      if (kv_hwnd w = hmainwnd.load()) kv_post_message(w, WM_CONT_UPDATE_STATUS, 0, 0);
      // Only shut here: the input thread, this one, sees the end and closes.
      if (qr_data_socket() >= 0) shutdown(qr_data_socket(), SHUT_RDWR);
      break;
    case QR_STATUS_TICK:
      watchdog_tick();
      break;
    default:
      debug_trace("Router status msg %d\n", kind);
      break;
  }
}

// ---------------------------------------------------------------------------

void kvqr_dispatch_records(const uint8_t* block, int length) {
  kv_lock guard(g_chart_lock);
  int off = 0;
  while (off < length && !g_program_exiting.load()) {
    const uint8_t* rec = block + off;
    if (length - off < QR_RECORD_SIZE) {
      if (g_pref_flags & PREF_GARBLED_REPORT)
        statmsg(__FILE__, __LINE__, "Garbled communication with router", nullptr, STATMSG_NOTICE);
      return;
    }
    if (qr_record_error(rec)) {
      debug_trace("Error %d on response packet from KvQRouter\n", qr_record_error(rec));
      off += QR_RECORD_SIZE;
      continue;
    }
    int code = qr_record_code(rec), size = qr_record_size(code);
    if (size <= 0 || code == QR_INTRADAY_BARS || code == QR_HISTORY_BARS || code == QR_STREAM) {
      debug_trace("msg code %02X received by spigot_input_thread\n", code);
      return;
    }
    if (off + size > length) {
      if (g_pref_flags & PREF_GARBLED_REPORT)
        statmsg(__FILE__, __LINE__, "Garbled communication with router", nullptr, STATMSG_NOTICE);
      return;
    }
    switch (code) {
      case QR_MINUTE_BAR:
        handle_bar(rec);
        break;
      case QR_TICK:
        handle_trade(rec);
        break;
      case QR_QUOTE:
        handle_quote(rec);
        break;
      case QR_ORDER_BOOK:
        handle_book(rec, 0);
        break;
      case QR_LEVEL2:
        handle_book(rec, 1);
        break;
      case QR_INFO_BLOCK:
        memcpy(g_qr_info_block, rec + 4, QR_INFO_BLOCK_DATA);
        break;
      case QR_OPEN_ORDER:
        if (!(g_pref_flags1 & 0x8)) break;
        if (mqt* r = record_of(rec, "kvqr_handle_open_orders", 1)) {
          if (g_spigot_hooks.open_order) g_spigot_hooks.open_order(r, rec);
        } else {
          debug_trace("Open order rec for unregistered symbol received\n");
        }
        break;
      case QR_SYMBOL_DETAILS:
        handle_details(rec);
        break;
      case QR_EXECUTION:
        if (g_spigot_hooks.execution)
          g_spigot_hooks.execution(record_of(rec, "kvqr_handle_executions", 0), rec);
        break;
      case QR_ORDER_STATUS:
        if (g_spigot_hooks.order_status) g_spigot_hooks.order_status(rec);
        break;
      case QR_RELAY_STATUS:
        handle_router_status(rec);
        break;
      default:
        debug_trace("msg code %02X received by spigot_input_thread\n", code);
        return;
    }
    if (code == QR_MINUTE_BAR || code == QR_TICK || code == QR_QUOTE || code == QR_ORDER_BOOK ||
        code == QR_LEVEL2 || code == QR_INFO_BLOCK)
      g_no_data_seconds = 0;
    off += size;
  }
}
