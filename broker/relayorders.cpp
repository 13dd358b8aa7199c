// Order records from the relay's stream into the order bookkeeping.
#include "broker/relayorders.h"

#include <cstdio>
#include <cstring>

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/twsconn.h"
#include "data/chart.h"
#include "data/chart_flags.h"
#include "data/debugtrace.h"
#include "data/lefield.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/window.h"
#include "quotes/mqt.h"
#include "quotes/mqt_hooks.h"
#include "quotes/mqtthread.h"
#include "quotes/spigot.h"

enum {
  OS_LAST_FILL = 8,
  OS_AVG_FILL = 16,
  OS_ORDER_ID = 24,
  OS_FILLED = 28,
  OS_REMAINING = 32,
  OS_PERM_ID = 36,
  OS_PARENT_ID = 40,
  OS_STATUS = 44,
  OS_SIZE = 72,
  OO_ORDER_ID = 28,
  OO_TYPE = 36,
  OO_OCA = 40,
  EXPIRE_AFTER = 3,
  SOUND_CANCEL = 4,
};
static_assert(OS_STATUS + 4 <= OS_SIZE, "status record fields");
static_assert((int)OO_OCA + (int)ORDER_TEXT_OCA <= (int)ORDER_RELAY_SIZE, "open order text");

static void post_order(order_rec* o) {
  if (kv_monotonic_ms() < g_status_posts_quiet_until.load()) return;
  if (o->window) kv_post_message(o->window, WM_ORDER_STATUS, 0, (kv_lparam)o->serial);
  post_to_mqt_charts(o->record, WM_ORDER_STATUS, 0, (intptr_t)o->serial);
}

static void order_status(const uint8_t* rec) {
  int id = (int32_t)get_le32(rec + OS_ORDER_ID);
  order_rec* o = find_order_by_id(id);
  if (!o) {
    debug_trace("Status received for unknown orderid:%d\n", id);
    return;
  }
  o->flags &= ~ORDER_F_UNCONFIRMED;
  o->last_fill_price = get_led(rec + OS_LAST_FILL);
  o->avg_fill_price = get_led(rec + OS_AVG_FILL);
  o->reported_id = id;
  o->filled = (int32_t)get_le32(rec + OS_FILLED);
  o->remaining = (int32_t)get_le32(rec + OS_REMAINING);
  o->perm_id = (int32_t)get_le32(rec + OS_PERM_ID);
  o->reported_parent_id = (int32_t)get_le32(rec + OS_PARENT_ID);
  o->relay.parent_id = o->reported_parent_id;
  o->relay.quantity = o->remaining;
  uint32_t status = get_le32(rec + OS_STATUS);
  if (status == 0) status = ORDER_PENDING_SUBMIT;
  o->status = status;
  o->flags |= ORDER_F_CHANGED;
  mqt* r = o->record;
  if (status == ORDER_FILLED || (status == ORDER_SUBMITTED && o->filled)) {
    for (order_rec* c = r->orders; c; c = c->next) {
      if (c == o || !(c->flags & ORDER_F_WAITING) || c->relay.parent_id != o->relay.order_id)
        continue;
      c->flags &= ~ORDER_F_WAITING;
      c->status = ORDER_PRE_SUBMITTED;
      if (order_type(c) == ORDER_TRAIL) c->relay.limit = o->last_fill_price;
      post_order(c);
    }
  }
  if (status == ORDER_FILLED || status == ORDER_CANCELLED) {
    o->expiry_time = r->quote_epoch + EXPIRE_AFTER;
    if (o->flags & ORDER_F_STUDY) r->flags = (r->flags & ~MQT_RECALC_COUNT_MASK) | 0x4000000;
  }
  if (status == ORDER_SUBMITTED && order_type(o) == ORDER_LMT) set_order_queue_depth(o);
  if (status == ORDER_CANCELLED) {
    o->relay.quantity = 0;
    o->remaining = 0;
    if (!(o->relay.type & ORDER_SIMULATED) && g_mqt_hooks.queue_sound)
      g_mqt_hooks.queue_sound(SOUND_CANCEL);
  }
  post_order(o);
}

static void open_order(mqt* r, const uint8_t* rec) {
  int id = (int32_t)get_le32(rec + OO_ORDER_ID);
  uint32_t simulated = get_le32(rec + OO_TYPE) & ORDER_SIMULATED;
  order_rec* o = nullptr;
  for (order_rec* x = r->orders; x && !o; x = x->next)
    if (x->relay.order_id == id && (x->relay.type & ORDER_SIMULATED) == simulated) o = x;
  int fresh = !o;
  if (fresh && !(o = create_order(r))) return;
  int32_t parent = o->relay.parent_id;
  decode_relay_part(rec, &o->relay);
  if (!fresh) o->relay.parent_id = parent;
  snprintf(o->symbol, sizeof o->symbol, "%s", r->symbol);
  const char* oca = o->relay.oca;
  int number = 0;
  sscanf(oca, "%d", &number);
  o->oca_number = number;
  if (fresh && ((oca[0] >= 'A' && oca[0] <= 'Z') || (oca[0] >= 'a' && oca[0] <= 'z')))
    set_order_letter(o, oca[0]);
  else if (o->letter == ' ' || o->letter == 0 || (fresh && number > 0))
    assign_order_letter(o);
}

static void execution(mqt* r, const uint8_t* rec) {
  execution_rec e;
  decode_execution(rec, &e);
  book_execution(&e, r);
}

static void details_received(mqt* r) {
  for (order_rec* o = r->orders; o; o = o->next)
    if (o->flags & ORDER_F_UNCONFIRMED) o->flags |= ORDER_F_FINISHED | ORDER_F_STALE;
}

// Own resting orders at the new bid and ask: the sizes shown there are now
// the most that can wait ahead of them.
static void quote_depth(mqt* r, double bid, int bid_size, double ask, int ask_size) {
  if (bid > 0) order_depth_update(r, 0, bid, bid_size);
  if (ask > 0) order_depth_update(r, 1, ask, ask_size);
}

// A trade at a resting broker order's limit took that much from the queue
// ahead of it.  Paper orders count their queue when they are filled.
static void trade_depth(mqt* r, double price, int size) {
  if (size <= 0) return;
  for (order_rec* o = r->orders; o; o = o->next) {
    if ((o->relay.type & ORDER_SIMULATED) || order_type(o) != ORDER_LMT ||
        o->status != ORDER_SUBMITTED || (float)o->relay.limit != (float)price ||
        o->queue_depth <= 0)
      continue;
    o->queue_depth = o->queue_depth > size ? o->queue_depth - size : 0;
    debug_trace("%s %c %d @ %f new order depth = %d\n", o->symbol,
                order_action(o) == ORDER_BUY ? 'B' : 'S', size, price, o->queue_depth);
  }
}

// After an order refresh every record's orders are drawn again: its
// intraday charts that show trading, and one orders window.
static void orders_refreshed() {
  kv_lock guard(g_chart_lock);
  int window_told = 0;
  for (mqt* r = g_mqt_list; r; r = r->next) {
    order_rec* o = r->orders;
    if (!o || (r->flags & MQT_FREE)) continue;
    for (chart_rec* c = r->intraday_charts; c; c = c->sibling) {
      if ((c->header.flags & CHART_GRTRADE_SHOWN) && c->owner_window &&
          kv_window_exists((kv_hwnd)c->owner_window))
        kv_post_message((kv_hwnd)c->owner_window, WM_ORDER_STATUS, 0, (kv_lparam)o->serial);
      if (c->sibling == c) break;
    }
    if (!window_told && o->window) {
      kv_post_message(o->window, WM_ORDER_STATUS, 0, (kv_lparam)o->serial);
      window_told = 1;
    }
  }
}

void install_relay_order_hooks() {
  g_spigot_hooks.quote_depth = quote_depth;
  g_spigot_hooks.trade_depth = trade_depth;
  g_spigot_hooks.orders_refreshed = orders_refreshed;
  g_spigot_hooks.order_status = order_status;
  g_spigot_hooks.open_order = open_order;
  g_spigot_hooks.execution = execution;
  g_spigot_hooks.details_received = details_received;
  g_quote_thread_hooks.close_paper_accounts = [] { close_all_accounts(); };
  g_quote_thread_hooks.take_broker_closed = [] { return g_tws_closed.exchange(0); };
}
