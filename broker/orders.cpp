// Order bookkeeping: creating and freeing orders, status changes and their
// window messages, placing and cancelling, the paper-trading engine with
// its fill rules, trailing stops, OCA groups and group letters.
#include "broker/orders.h"

#include <ctype.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include <algorithm>
#include <cmath>

#include "broker/executions.h"
#include "broker/orderq.h"
#include "broker/positions.h"
#include "broker/twserrors.h"
#include "data/chart.h"
#include "data/debugtrace.h"
#include "data/mainwnd.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/messages.h"
#include "quotes/mqt.h"
#include "quotes/mqt_flags.h"
#include "quotes/mqt_hooks.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"
#include "settings/settings.h"
#include "studies/study.h"

order_hooks g_order_hooks;

enum : uint32_t {
  PREF1_KEEP_DEPTH = 0x20,  // g_pref_flags1: market depth for working orders
};
enum { SOUND_FILL = 3, SOUND_CANCEL = 4, SOUND_TRAIL = 7, STALE_AFTER = 3, FINISHED_AFTER = 15 };

static uint32_t s_next_serial;
static int32_t s_paper_id;       // last paper order id of this run (no settings)
static unsigned s_exec_counter;  // running part of paper execution ids

// ---------------------------------------------------------------------------
// Helpers.

static int is_sell(const order_rec* o) {
  return order_action(o) == ORDER_SELL || order_action(o) == ORDER_SSHORT;
}

// Types whose aux price is the one that triggers or follows.
static int aux_priced(int type) {
  return type == ORDER_STP || type == ORDER_STPLMT || type == ORDER_TRAIL || type == ORDER_MIT ||
         type == ORDER_LIT;
}

static int same_oca(const order_rec* a, const order_rec* b) {
  return a->relay.oca[0] && strncmp(a->relay.oca, b->relay.oca, ORDER_TEXT_OCA) == 0;
}

static void sound(const order_rec* o, int n) {
  if (!(o->flags & ORDER_F_SILENT) && g_mqt_hooks.queue_sound) g_mqt_hooks.queue_sound(n);
}

// A text cut to a field of size bytes (terminator included).
static void copy_text(char* dst, size_t size, const char* src) {
  size_t n = strnlen(src, size - 1);
  memcpy(dst, src, n);
  dst[n] = 0;
}

static int spread_record(const mqt* r) {
  return (r->flags & MQT_SPREAD) != 0;
}

void set_order_type(order_rec* o, int type) {
  o->relay.type =
      (o->relay.type & ~ORDER_TYPE_MASK) | ((uint32_t)type << ORDER_TYPE_SHIFT & ORDER_TYPE_MASK);
}

// The next paper order id.  Back-test records take one without saving it,
// so that a test run moves no real counter.
static int32_t next_paper_id(const mqt* r) {
  if (g_order_hooks.next_paper_order_id)
    return g_order_hooks.next_paper_order_id(!(r->flags & MQT_PLAYBACK));
  if (s_paper_id == INT32_MAX) s_paper_id = 0;
  return ++s_paper_id;
}

// ---------------------------------------------------------------------------
// Creating, finding, freeing.

order_rec* create_order(mqt* record) {
  if (!record) return nullptr;
  order_rec* o = (order_rec*)calloc(1, sizeof *o);
  if (!o) {
    statmsg(__FILE__, __LINE__, "can't allocate memory", nullptr, STATMSG_ERROR);
    return nullptr;
  }
  kv_lock guard(g_chart_lock);
  o->record = record;
  record->users++;
  snprintf(o->symbol, sizeof o->symbol, "%s", record->symbol);
  o->letter = ' ';
  o->expiry_time = ORDER_NEVER;
  o->serial = ++s_next_serial;
  order_rec** link = &record->orders;
  while (*link) link = &(*link)->next;
  *link = o;
  return o;
}

static void unlink_and_free(order_rec* o) {
  mqt* r = o->record;
  for (order_rec** link = &r->orders; *link; link = &(*link)->next)
    if (*link == o) {
      *link = o->next;
      break;
    }
  free(o);
}

int delete_order(order_rec* o) {
  if (!o || !o->record) return -1;
  kv_lock guard(g_chart_lock);
  mqt* r = o->record;
  unlink_and_free(o);
  if (r->users > 0) r->users--;
  return 0;
}

void delete_orders(mqt* record) {
  kv_lock guard(g_chart_lock);
  while (order_rec* o = record->orders) {
    record->orders = o->next;
    free(o);
  }
}

order_rec* get_mqt_orders(mqt* record) {
  kv_lock guard(g_chart_lock);
  for (order_rec* o = record->orders; o;) {
    order_rec* next = o->next;
    if ((o->flags & (ORDER_F_FINISHED | ORDER_F_STALE)) == (ORDER_F_FINISHED | ORDER_F_STALE))
      delete_order(o);
    o = next;
  }
  return record->orders;
}

order_rec* find_order_by_id(int id) {
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r; r = r->next)
    for (order_rec* o = r->orders; o; o = o->next)
      if (o->relay.order_id == id) return o;
  return nullptr;
}

order_rec* find_order_by_serial(uint32_t serial) {
  kv_lock guard(g_chart_lock);
  for (mqt* r = g_mqt_list; r; r = r->next)
    for (order_rec* o = r->orders; o; o = o->next)
      if (o->serial == serial) return o;
  return nullptr;
}

void set_status_by_id(int id, int status) {
  kv_lock guard(g_chart_lock);
  order_rec* o = find_order_by_id(id);
  if (!o) {
    char text[64];
    snprintf(text, sizeof text, "Can't find order id %d", id);
    statmsg(__FILE__, __LINE__, text, nullptr, STATMSG_ERROR);
    return;
  }
  set_order_status(o, (uint32_t)status);
}

// ---------------------------------------------------------------------------
// Status and window messages.

static void post_status(order_rec* o) {
  if (o->window) kv_post_message(o->window, WM_ORDER_STATUS, 0, (kv_lparam)o->serial);
  post_to_mqt_charts(o->record, WM_ORDER_STATUS, 0, (intptr_t)o->serial);
}

void set_order_status(order_rec* o, uint32_t status) {
  kv_lock guard(g_chart_lock);
  o->status = status;
  if (status == ORDER_SUBMITTED && order_type(o) == ORDER_LMT) set_order_queue_depth(o);
  o->flags |= ORDER_F_CHANGED;
  if (status == ORDER_CANCELLED || status == ORDER_FILLED)
    o->expiry_time = o->record->quote_epoch + STALE_AFTER;
  post_status(o);
}

// ---------------------------------------------------------------------------
// Queue depth.

void set_order_queue_depth(order_rec* o) {
  if (o->queue_depth != 0 || order_type(o) != ORDER_LMT) return;
  mqt* r = o->record;
  int sell = is_sell(o);
  const mqt_depth_row* rows = sell ? r->depth_asks : r->depth_bids;
  double limit = o->relay.limit;
  int64_t sum = 0;
  int64_t depth = -1;
  for (int i = 0; i < MQT_DEPTH_ROWS; i++) {
    const mqt_depth_row& row = rows[i];
    if ((float)row.price == (float)limit) {
      depth = row.size;
      break;
    }
    // A row on the far side of the limit: nothing of that side waits
    // ahead of the order.  The same rule holds for both sides.
    if (row.price > 0 && (sell ? row.price > limit : row.price < limit)) {
      depth = 0;
      break;
    }
    sum += row.size;
  }
  if (depth < 0) depth = sum / MQT_DEPTH_ROWS;
  o->queue_depth = (int32_t)std::min<int64_t>(depth, INT32_MAX);
  debug_trace("%s %c %d @ %f order depth = %d\n", o->symbol, sell ? 'S' : 'B', o->relay.quantity,
              limit, o->queue_depth);
}

void order_depth_update(mqt* r, int sell, double price, int size) {
  kv_lock guard(g_chart_lock);
  for (order_rec* o = r->orders; o; o = o->next)
    if ((o->relay.type & ORDER_SIMULATED) && order_type(o) == ORDER_LMT &&
        o->status == ORDER_SUBMITTED && is_sell(o) == sell &&
        (float)o->relay.limit == (float)price && o->queue_depth > size) {
      o->queue_depth = size;
      debug_trace("%s %c %d @ %f new order depth = %d\n", o->symbol, sell ? 'S' : 'B', size, price,
                  size);
    }
}

// ---------------------------------------------------------------------------
// Group letters, OCA texts, advisor fields, trace.

int next_order_letter(mqt* r) {
  kv_lock guard(g_chart_lock);
  int32_t now = (int32_t)kv_now_utc_seconds();
  if (now - r->order_letters_time > KV_SECONDS_PER_DAY || r->order_letters > 0x3FFFFFE)
    r->order_letters = 0;
  uint32_t used = r->order_letters;
  for (order_rec* o = r->orders; o; o = o->next) used |= (uint32_t)o->letter_bit;
  for (int i = 0; i < 26; i++)
    if (!(used & 1u << i)) return 'A' + i;
  return 0;
}

void set_order_letter(order_rec* o, int letter) {
  kv_lock guard(g_chart_lock);
  o->letter = (char)letter;
  int up = toupper(letter);
  o->letter_bit = up >= 'A' && up <= 'Z' ? 1 << (up - 'A') : 0;
  o->record->order_letters |= (uint32_t)o->letter_bit;
  o->record->order_letters_time = (int32_t)kv_now_utc_seconds();
}

void order_oca_group(order_rec* o, char* out) {
  kv_lock guard(g_chart_lock);
  for (order_rec* p = o->record->orders; p; p = p->next)
    if (p != o && o->letter != ' ' && o->letter && p->letter == o->letter && p->relay.oca[0]) {
      snprintf(out, ORDER_TEXT_OCA + 1, "%.*s", (int)ORDER_TEXT_OCA, p->relay.oca);
      o->oca_number = p->oca_number;
      if (!o->relay.parent_id) o->relay.parent_id = p->relay.parent_id;
      return;
    }
  snprintf(out, ORDER_TEXT_OCA + 1, "%c_%.*s", o->letter ? o->letter : ' ', (int)ORDER_TEXT_OCA - 2,
           o->record->symbol);
}

void assign_order_letter(order_rec* o) {
  kv_lock guard(g_chart_lock);
  mqt* r = o->record;
  if (o->relay.parent_id) {
    for (order_rec* p = r->orders; p; p = p->next)
      if (p != o && p->relay.order_id == o->relay.parent_id && p->letter != ' ' && p->letter) {
        set_order_letter(o, toupper(p->letter));
        return;
      }
    for (order_rec* p = r->orders; p; p = p->next)
      if (p != o && o->oca_number && p->oca_number == o->oca_number && p->letter != ' ' &&
          p->letter) {
        set_order_letter(o, p->letter);
        return;
      }
  }
  int letter = 0;
  for (order_rec* c = r->orders; c; c = c->next)
    if (c != o && c->relay.parent_id && c->relay.parent_id == o->relay.order_id) {
      if (!letter) {
        letter = next_order_letter(r);
        if (!letter) return;
        set_order_letter(o, tolower(letter));
      }
      set_order_letter(c, tolower(letter));
      c->flags |= ORDER_F_WAITING;
    }
  if (!letter) {
    letter = next_order_letter(r);
    if (letter) set_order_letter(o, tolower(letter));
  }
}

int copy_advisor_fields(order_rec* dst, const order_rec* src) {
  if (!dst || !src) {
    statmsg(__FILE__, __LINE__, "NULL order pointer", nullptr, STATMSG_ERROR);
    return 0;
  }
  dst->advisor_mode = src->advisor_mode;
  memcpy(dst->advisor_string, src->advisor_string, sizeof dst->advisor_string);
  memcpy(dst->advisor_method, src->advisor_method, sizeof dst->advisor_method);
  memcpy(dst->advisor_account, src->advisor_account, sizeof dst->advisor_account);
  return 1;
}

void dump_order(const order_rec* o) {
  static const char* const actions[] = {"???", "BUY", "SELL", "SSHORT"};
  static const char* const tifs[] = {"???", "DAY", "GTC", "IOC", "DTC"};
  static const char* const types[] = {"???",    "MKT",  "LMT",   "STP",    "STPLMT",
                                      "REL",    "VWAP", "TRAIL", "MKTCLS", "LMTCLS",
                                      "PEGMKT", "MIT",  "LIT"};
  int a = order_action(o), t = order_tif(o), y = order_type(o);
  debug_trace("dump_order[id=%d:pid=%d]:%s %s %4s %d %7.2f %7.2f %s\n", o->relay.order_id,
              o->relay.parent_id, o->symbol, a <= 3 ? actions[a] : "???", t <= 4 ? tifs[t] : "???",
              o->relay.quantity, o->relay.limit, o->relay.aux, y <= 12 ? types[y] : "???");
  debug_trace("  Letter[%c] permid=%d OCA[%s] advacct[%s] advstr[%s]\n",
              o->letter ? o->letter : ' ', o->perm_id, o->relay.oca, o->advisor_account,
              o->advisor_string);
}

// ---------------------------------------------------------------------------
// Placing and cancelling.

// The group of a placed order; with the transmit bit the whole group may go
// out and its waiting children become PreSubmitted.
static void finish_group(order_rec* o) {
  o->group_id = o->relay.parent_id ? o->relay.parent_id : o->relay.order_id;
  if (!(o->relay.type & ORDER_TRANSMIT) || !o->group_id) return;
  for (order_rec* p = o->record->orders; p; p = p->next)
    if (p->group_id == o->group_id) {
      p->relay.type |= ORDER_TRANSMIT;
      if (p->flags & ORDER_F_WAITING) set_order_status(p, ORDER_PRE_SUBMITTED);
    }
}

static void check_fill(order_rec* o);

void place_simulated_order(order_rec* o) {
  kv_lock guard(g_chart_lock);
  mqt* r = o->record;
  o->flags |= ORDER_F_ACCEPTED;
  if (o->relay.quantity <= 0) {
    set_order_status(o, ORDER_CANCELLED);
    return;
  }
  o->remaining = o->relay.quantity;
  if (!o->perm_id) o->perm_id = next_paper_id(r);
  if (!o->relay.order_id) o->relay.order_id = o->perm_id;
  set_order_status(o, aux_priced(order_type(o)) ? ORDER_PRE_SUBMITTED : ORDER_SUBMITTED);
  if ((g_pref_flags1 & PREF1_KEEP_DEPTH) && g_order_hooks.ensure_mkt_depth)
    g_order_hooks.ensure_mkt_depth(r);
}

int place_order(order_rec* o) {
  kv_lock guard(g_chart_lock);
  mqt* r = o->record;
  o->relay.code = QR_PLACE_ORDER;
  o->relay.error = 0;
  o->relay.symbol_number = (int16_t)r->symbol_slot;
  o->queue_depth = 0;
  if (o->relay.parent_id && !(o->flags & ORDER_F_ACCEPTED)) o->flags |= ORDER_F_WAITING;
  if (order_type(o) == ORDER_TRAIL) {
    // Without a starting price the stop starts at the first trade:
    // "0 + aux" would be a BUY stop every price is above.
    if (o->relay.limit > 0)
      o->trail_stop = is_sell(o) ? o->relay.limit - o->relay.aux : o->relay.limit + o->relay.aux;
    else if (o->relay.limit == 0 && !(o->flags & ORDER_F_ACCEPTED))
      o->trail_stop = 0;
    o->relay.limit = 0;
  }
  set_order_status(o, ORDER_PENDING_SUBMIT);
  o->placed_time = (uint32_t)r->quote_epoch;

  if ((o->relay.type & ORDER_SIMULATED) || spread_record(r)) {
    place_simulated_order(o);
    finish_group(o);
    // A child waits for its parent's fill, as on every later quote.
    if ((o->status == ORDER_PRE_SUBMITTED || o->status == ORDER_SUBMITTED) &&
        !(o->flags & ORDER_F_WAITING)) {
      int quoted = r->bid > 0 && r->ask > 0 && r->last > 0 && r->bid_size > 0 && r->ask_size > 0;
      if ((quoted || (o->flags & ORDER_F_SILENT)) && !spread_record(r)) check_fill(o);
    }
    return 1;
  }
  if (!r->symbol_slot) return 0;
  return order_sender_post_place(o);
}

// Cancels one paper order unless it is already done.
static void cancel_one(order_rec* o) {
  if (o->status == ORDER_FILLED || o->status == ORDER_CANCELLED) return;
  o->relay.quantity = 0;
  o->remaining = 0;
  set_order_status(o, ORDER_CANCELLED);
  sound(o, SOUND_CANCEL);
}

void cancel_simulated_order(order_rec* o) {
  kv_lock guard(g_chart_lock);
  cancel_one(o);
  // The rest of its OCA group over every record, else the rest of its
  // group on this record; each once.
  if (o->relay.oca[0]) {
    for (mqt* r = g_mqt_list; r; r = r->next)
      for (order_rec* p = r->orders; p; p = p->next)
        if (p != o && same_oca(o, p)) cancel_one(p);
  } else if (o->group_id) {
    for (order_rec* p = o->record->orders; p; p = p->next)
      if (p != o && p->group_id == o->group_id) cancel_one(p);
  }
}

int cancel_order(order_rec* o) {
  kv_lock guard(g_chart_lock);
  mqt* r = o->record;
  r->order_letters &= ~(uint32_t)o->letter_bit;
  if ((o->relay.type & ORDER_SIMULATED) || spread_record(r)) {
    cancel_simulated_order(o);
    return 1;
  }
  set_order_status(o, o->status == ORDER_PENDING_SUBMIT ? ORDER_CANCELLED : ORDER_PENDING_CANCEL);
  if (!qr_relay_connected()) return 0;
  return order_sender_post_cancel(o);
}

void order_placed(uint32_t serial, int32_t relay_id) {
  kv_lock guard(g_chart_lock);
  order_rec* o = find_order_by_serial(serial);
  if (!o) return;
  o->relay.order_id = relay_id;
  o->flags |= ORDER_F_ACCEPTED;
  debug_trace("Order id = %d\n", relay_id);
  finish_group(o);
  post_status(o);
}

// ---------------------------------------------------------------------------
// Paper fills.

// Moves the record's paper position by a fill: a reducing fill books
// its profit; the average of what is left is recomputed.
static void move_paper_position(mqt* r, int signed_n, double p) {
  double q = r->paper_quantity;
  double mult = r->multiplier ? r->multiplier : 1;
  double nq = q + signed_n;
  if (q == 0 || (q > 0) == (signed_n > 0)) {
    r->paper_avg_price = nq != 0 ? (q * r->paper_avg_price + signed_n * p) / nq : 0;
  } else {
    double closed = std::min(fabs(q), fabs((double)signed_n));
    r->paper_profit += (q > 0 ? p - r->paper_avg_price : r->paper_avg_price - p) * closed * mult;
    if (nq != 0 && (nq > 0) != (q > 0))
      r->paper_avg_price = p;  // crossed through flat: the rest is a new position
  }
  r->paper_quantity = nq;
  if (nq == 0) r->paper_avg_price = 0;
}

static void exec_id_now(char* out, size_t size) {
  time_t t = (time_t)kv_now_local_seconds();
  struct tm tm;
  gmtime_r(&t, &tm);
  snprintf(out, size, "%04d%02d%02d%02d%02d%02d.%05x", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
           tm.tm_hour, tm.tm_min, tm.tm_sec, ++s_exec_counter & 0xFFFFF);
}

static void fill_order(order_rec* o, int n, double p) {
  mqt* r = o->record;
  int sell = is_sell(o);
  double old = o->filled;
  o->filled += n;
  o->remaining -= n;
  o->relay.quantity -= n;
  o->avg_fill_price = (old * o->avg_fill_price + p * n) / o->filled;
  o->last_fill_price = p;
  move_paper_position(r, sell ? -n : n, p);
  sound(o, SOUND_FILL);
  if (o->remaining > 0) {
    o->flags |= ORDER_F_PARTLY_FILLED;
    set_order_status(o, ORDER_SUBMITTED);
  } else {
    o->fill_time = (uint32_t)r->quote_epoch;
    set_order_status(o, ORDER_FILLED);
    for (order_rec* c = r->orders; c; c = c->next)
      if (c != o && c->relay.parent_id == o->relay.order_id && c->status != ORDER_CANCELLED) {
        c->flags &= ~ORDER_F_WAITING;
        int t = order_type(c);
        set_order_status(c, t == ORDER_STP || t == ORDER_STPLMT || t == ORDER_TRAIL
                                ? ORDER_PRE_SUBMITTED
                                : ORDER_SUBMITTED);
      }
  }
  // The rest of the OCA group gives up what was filled.
  if (o->relay.oca[0])
    for (mqt* q = g_mqt_list; q; q = q->next)
      for (order_rec* p2 = q->orders; p2; p2 = p2->next)
        if (p2 != o && p2->status != ORDER_CANCELLED && p2->status != ORDER_FILLED &&
            same_oca(o, p2)) {
          p2->remaining = std::max(0, p2->remaining - n);
          p2->relay.quantity = std::max(0, p2->relay.quantity - n);
          if (p2->remaining == 0)
            set_order_status(p2, ORDER_CANCELLED);
          else
            post_status(p2);
        }

  execution_rec e;
  memset(&e, 0, sizeof e);
  e.code = QR_EXECUTION;
  e.symbol_number = (int16_t)r->symbol_slot;
  e.f.price = p;
  e.f.perm_id = o->perm_id;
  e.f.quantity = sell ? -n : n;
  e.f.quote_time = r->quote_time;
  e.f.exec_time = r->quote_epoch;
  e.f.expiry = r->expiry_number;
  e.f.multiplier = r->multiplier;
  e.f.strike = (float)r->strike;
  copy_text(e.f.side, sizeof e.f.side, sell ? "SLD" : "BOT");
  copy_text(e.f.account, sizeof e.f.account, o->relay.account);
  copy_text(e.f.currency, sizeof e.f.currency, r->currency);
  copy_text(e.f.exchange, sizeof e.f.exchange, r->exchange);
  copy_text(e.f.symbol, sizeof e.f.symbol, r->symbol);
  copy_text(e.f.local_symbol, sizeof e.f.local_symbol, r->local_symbol);
  copy_text(e.f.sec_type, sizeof e.f.sec_type, r->sec_type);
  copy_text(e.f.right, sizeof e.f.right, r->right);
  exec_id_now(e.f.exec_id, sizeof e.f.exec_id);
  e.f.flags = EXEC_LOCAL | ((o->flags & ORDER_F_SILENT) ? EXEC_SILENT : 0);
  book_execution(&e, r);
}

// A fill of up to n at p; nothing when fewer than one is to be had.
static int try_fill(order_rec* o, int64_t n, double p) {
  n = std::min<int64_t>(n, o->relay.quantity);
  if (n < 1) return 0;
  fill_order(o, (int)n, p);
  return 1;
}

// The fill check of a working paper order; 1 when it filled.
static int check_side(order_rec* o) {
  mqt* r = o->record;
  int sell = is_sell(o);
  // Quotes are kept in single precision: prices are compared in it, so
  // that a limit typed as 10.05 meets a trade stored as 10.05.
  float last = r->last, bid = r->bid, ask = r->ask;
  // The side the order takes from, and its size.
  float take = sell ? bid : ask;
  int take_size = sell ? r->bid_size : r->ask_size;
  if (take <= 0 || last <= 0) return 0;
  float limit = (float)o->relay.limit, aux = (float)o->relay.aux;
  int type = order_type(o);
  switch (type) {
    case ORDER_STP:
    case ORDER_STPLMT:
      if (sell ? last <= aux : last >= aux) {
        set_order_type(o, type == ORDER_STP ? ORDER_MKT : ORDER_LMT);
        set_order_status(o, ORDER_SUBMITTED);
        return check_side(o);
      }
      return 0;
    case ORDER_MIT:
    case ORDER_LIT:
      if (sell ? last >= aux : last <= aux) {
        set_order_type(o, type == ORDER_MIT ? ORDER_MKT : ORDER_LMT);
        set_order_status(o, ORDER_SUBMITTED);
        return check_side(o);
      }
      return 0;
    case ORDER_TRAIL: {
      double level = sell ? (double)last - aux : (double)last + aux;
      if (o->trail_stop <= 0 || (sell ? level > o->trail_stop : level < o->trail_stop)) {
        o->trail_stop = level;
        sound(o, SOUND_TRAIL);
        post_status(o);
      }
      if (sell ? last <= o->trail_stop : last >= o->trail_stop) return try_fill(o, take_size, take);
      return 0;
    }
    case ORDER_MKT:
      return try_fill(o, take_size, take);
    case ORDER_LMT: {
      if (sell ? take >= limit : take <= limit) return try_fill(o, take_size, take);
      int inside = last >= bid && last <= ask;
      if (!inside) return 0;
      if (last == limit) {
        int64_t depth = (int64_t)o->queue_depth - r->last_size;
        o->queue_depth = (int32_t)std::max<int64_t>(depth, INT32_MIN);
        if (o->queue_depth < 0) return try_fill(o, -(int64_t)o->queue_depth, o->relay.limit);
        debug_trace("%s %c %d @ %f new order depth = %d\n", o->symbol, sell ? 'S' : 'B',
                    r->last_size, last, o->queue_depth);
        return 0;
      }
      if (sell ? last > limit : last < limit) return try_fill(o, o->relay.quantity, o->relay.limit);
      return 0;
    }
    default:
      set_order_status(o, ORDER_CANCELLED);
      return 0;
  }
}

static void check_fill(order_rec* o) {
  int a = order_action(o);
  if (a != ORDER_BUY && a != ORDER_SELL && a != ORDER_SSHORT) {
    cancel_one(o);
    return;
  }
  int filled = check_side(o);
  if (!filled && order_tif(o) == ORDER_IOC && o->status != ORDER_CANCELLED &&
      o->status != ORDER_FILLED)
    set_order_status(o, ORDER_CANCELLED);
}

// ---------------------------------------------------------------------------
// Spread orders: a triggered order on a spread record becomes market orders
// on its two legs (and a hedge), and the spread order itself is Cancelled.

int hedge_quantity(double value_difference, double hedge_last) {
  if (!(hedge_last > 0) || !isfinite(hedge_last) || !isfinite(value_difference)) return 0;
  double n = std::round(fabs(value_difference) / hedge_last);
  return n < INT32_MAX ? (int)n : INT32_MAX;
}

// A transmitted GTC market order on a leg, from the spread order o.
static order_rec* leg_order(const order_rec* o, mqt* leg, int action, int qty) {
  order_rec* p = create_order(leg);
  if (!p) return nullptr;
  p->relay.type = order_type_word(action, ORDER_GTC, ORDER_MKT) | ORDER_TRANSMIT |
                  (o->relay.type & ORDER_SIMULATED);
  p->relay.quantity = qty;
  memcpy(p->relay.account, o->relay.account, sizeof p->relay.account);
  p->flags |= o->flags & ORDER_F_SILENT;
  return p;
}

static int symbol_is(const mqt* r, const char* symbol) {
  return strcasecmp(r->symbol, symbol) == 0;
}

static void trigger_spread_order(order_rec* o, mqt* s, mqt* a, mqt* b) {
  int sell = is_sell(o);
  int buy_side = sell ? ORDER_SELL : ORDER_BUY, sell_side = sell ? ORDER_BUY : ORDER_SELL;
  int q = o->relay.quantity;
  double r1 = s->leg_ratio[0], r2 = s->leg_ratio[1];
  int q2 = (b->flags & MQT_GRAIN) ? (int)std::min(std::round(fabs(r2) * q), (double)INT32_MAX) : q;
  order_rec* legs[3] = {leg_order(o, a, buy_side, q), leg_order(o, b, sell_side, q2), nullptr};

  mqt* hedge = nullptr;
  if (symbol_is(a, "YM") || symbol_is(b, "YM"))
    hedge = find_mqt("DIA");
  else if (symbol_is(a, "ES") || symbol_is(b, "ES"))
    hedge = find_mqt("SPY");
  double m1 = a->multiplier ? a->multiplier : 1, m2 = b->multiplier ? b->multiplier : 1;
  int hedge_action = 0, n = 0;
  if (hedge && r1 / m1 > 1) {
    hedge_action = buy_side;
    n = hedge_quantity(m2 * b->last - m1 * a->last, hedge->last);
    if (a->flags & MQT_GRAIN) n = (int)std::min((double)n * q, (double)INT32_MAX);
  } else if (hedge && fabs(r2 / m2) > 1) {
    hedge_action = sell_side;
    n = hedge_quantity(m1 * a->last - m2 * b->last, hedge->last);
  }
  if (n > 0) {
    double held = fabs(hedge->paper_quantity);
    if (fabs(n - held) < 10) n = (int)held;
    if (n > 0) legs[2] = leg_order(o, hedge, hedge_action, n);
  }
  for (order_rec* p : legs)
    if (p) place_order(p);
  for (order_rec* c = s->orders; c; c = c->next)
    if (c != o && c->relay.parent_id == o->relay.order_id && c->status != ORDER_CANCELLED) {
      c->flags &= ~ORDER_F_WAITING;
      int t = order_type(c);
      set_order_status(c, t == ORDER_LMT || t == ORDER_MKT ? ORDER_SUBMITTED : ORDER_PRE_SUBMITTED);
    }
  set_order_status(o, ORDER_CANCELLED);
}

static void update_spread_orders(mqt* s) {
  if (s->bid == -1 && s->ask == -1) return;  // no quote yet
  mqt *a = s->leg1, *b = s->leg2;
  if (a && b) {
    s->paper_quantity = a->paper_quantity;
    s->paper_avg_price =
        s->leg_ratio[1] * b->paper_avg_price + s->leg_ratio[0] * a->paper_avg_price;
  }
  float last = s->last;
  for (order_rec* o = s->orders; o; o = o->next) {
    if (o->relay.quantity <= 0 || !(o->flags & ORDER_F_ACCEPTED) ||
        !(o->relay.type & ORDER_TRANSMIT) ||
        (o->status != ORDER_PRE_SUBMITTED && o->status != ORDER_SUBMITTED) ||
        (o->flags & ORDER_F_WAITING))
      continue;
    int action = order_action(o), type = order_type(o);
    float aux = (float)o->relay.aux;
    int triggered;
    if (action == ORDER_BUY && type == ORDER_STP)
      triggered = last >= aux;
    else if (action == ORDER_BUY && type == ORDER_MIT)
      triggered = last <= aux;
    else if ((action == ORDER_SELL || action == ORDER_SSHORT) && type == ORDER_STP)
      triggered = last <= aux;
    else if ((action == ORDER_SELL || action == ORDER_SSHORT) && type == ORDER_MIT)
      triggered = last >= aux;
    else {
      cancel_one(o);
      continue;
    }
    if (!triggered) continue;
    if (!a || !b) {
      statmsg(__FILE__, __LINE__, "No mqt for spread component", s->symbol, STATMSG_ERROR);
      continue;
    }
    trigger_spread_order(o, s, a, b);
  }
}

static void post_removed(order_rec* o, int to_charts) {
  if (o->window) kv_post_message(o->window, WM_ORDER_REMOVED, 0, (kv_lparam)o->serial);
  if (to_charts) post_to_mqt_charts(o->record, WM_ORDER_REMOVED, 0, (intptr_t)o->serial);
}

void update_orders_on_quote(mqt* r) {
  if (g_program_exiting.load()) return;
  kv_lock guard(g_chart_lock);
  for (order_rec* o = r->orders; o; o = o->next) {
    // Aging: stale a few seconds after it is done, finished later.
    if (r->quote_epoch >= o->expiry_time) {
      if (!(o->flags & ORDER_F_STALE)) {
        o->flags |= ORDER_F_STALE;
        o->expiry_time = o->expiry_time > (int)ORDER_NEVER - (int)FINISHED_AFTER
                             ? ORDER_NEVER
                             : o->expiry_time + FINISHED_AFTER;
        post_removed(o, 1);
      } else {
        o->expiry_time = ORDER_NEVER;
        o->flags |= ORDER_F_FINISHED;
        post_removed(o, 0);
      }
    }
    if (spread_record(r)) continue;  // below, by the spread's own rules
    int working = (o->status == ORDER_PRE_SUBMITTED || o->status == ORDER_SUBMITTED) &&
                  o->relay.quantity > 0 && !(o->flags & ORDER_F_WAITING);
    if (!working) continue;
    if (o->relay.type & ORDER_SIMULATED) {
      if ((o->flags & ORDER_F_ACCEPTED) && (o->relay.type & ORDER_TRANSMIT)) check_fill(o);
    } else if (order_type(o) == ORDER_TRAIL && o->status == ORDER_PRE_SUBMITTED && r->last > 0) {
      // A real trailing order is trailed here.
      int sell = is_sell(o);
      double level = sell ? r->last - o->relay.aux : r->last + o->relay.aux;
      if (o->trail_stop <= 0 || (sell ? level > o->trail_stop : level < o->trail_stop)) {
        o->trail_stop = level;
        sound(o, SOUND_TRAIL);
        post_status(o);
      }
    }
  }
  if (spread_record(r)) update_spread_orders(r);
}

// ---------------------------------------------------------------------------
// Moving orders.

void shift_order_prices(order_rec* o, double amount) {
  kv_lock guard(g_chart_lock);
  if (o->relay.limit > 0) o->relay.limit += amount;
  if (o->relay.aux > 0) o->relay.aux += amount;
  o->relay.type |= ORDER_TRANSMIT;
  place_order(o);
  sound(o, SOUND_TRAIL);
}

int reprice_study_order(order_rec* o, double line_value, double tick, int multiple,
                        int offset_ticks, int round_down) {
  if (!o || !(tick > 0) || !isfinite(tick) || !isfinite(line_value)) return 0;
  kv_lock guard(g_chart_lock);
  if (o->status != ORDER_PRE_SUBMITTED && o->status != ORDER_SUBMITTED) return 0;
  double step = (multiple > 0 ? multiple : 1) * tick;
  double target = line_value + offset_ticks * tick;
  // A small allowance so that a price already on the grid stays there.
  double k = target / step;
  target = (round_down ? floor(k + 1e-9) : ceil(k - 1e-9)) * step;
  double now = aux_priced(order_type(o)) ? o->relay.aux : o->relay.limit;
  double diff = target - now;
  if (fabs(diff) < tick * 1e-6) return 1;
  int group = o->group_id;
  int has_parent = o->relay.parent_id != 0;
  mqt* r = o->record;
  shift_order_prices(o, diff);
  if (!has_parent && group)
    for (order_rec* p = r->orders; p; p = p->next)
      if (p != o && p->group_id == group) shift_order_prices(p, diff);
  return 1;
}

// ---------------------------------------------------------------------------
// Seams.

static int position_trades(const char* account, void (*fn)(const position_trade*, void*),
                           void* ctx) {
  return for_each_account_trade(account, fn, ctx);
}

int reprice_attached_order(chart_rec* chart, StudyDef* study) {
  if (!chart || !study || !study->attached_order || !study->outputs) return 0;
  kv_lock guard(g_chart_lock);
  int last = chart->header.bar_count - 1;
  if (last < 0 || last >= study->output_len) return 0;
  order_rec* o = find_order_by_id(study->attached_order);
  if (!o) return 0;
  uint32_t w = study->attach_word;
  double tick = chart->mqt && chart->mqt->tick_size > 0 ? chart->mqt->tick_size : 1.0;
  return reprice_study_order(o, study->outputs[last], tick, (int)((w >> 1) & 0x7F),
                             (int)(int8_t)((w >> 8) & 0xFF), (int)(w & 1));
}

void install_order_hooks() {
  g_reprice_study_order = reprice_attached_order;
  g_mqt_hooks.update_orders_on_quote = update_orders_on_quote;
  g_mqt_hooks.delete_orders = delete_orders;
  g_tws_error_hooks.set_status_by_id = set_status_by_id;
  g_position_hooks.for_each_account_trade = position_trades;
}
