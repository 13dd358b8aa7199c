// The handlers of TWS's incoming messages.
#include "broker/twsin.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "broker/executions.h"
#include "broker/orders.h"
#include "broker/twsacct.h"
#include "broker/twsconn.h"
#include "broker/twsdispatch.h"
#include "broker/twserrors.h"
#include "broker/twsreq.h"
#include "broker/twsticker.h"
#include "broker/twswire.h"
#include "data/dates.h"
#include "data/debugtrace.h"
#include "data/lefield.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "platform/services.h"
#include "quotes/mqt.h"
#include "quotes/qrecord.h"
#include "quotes/router.h"
#include "quotes/spigot.h"
#include "settings/settings.h"

enum {
  PREF_STATUS_DETAILS = 0x2000,
  PREF_REPORT_PROBLEMS = 0x4000,
  PREF_NO_CLOCK_SYNC = 0x8000000,
  PREF1_TRADING = 0x8,
  TRACE_ACCOUNT_TIME = 0x100,
  TRACE_ORDER_STATUS = 0x800,
  TRACE_DETAILS = 0x1000,
  ORDER_STATUS_SIZE = 72,
  OPEN_ORDER_SIZE = 108,
  SEC_OPTION = 4,  // mqt sec_code bit
  CLOCK_AHEAD_S = 10,
  CLOCK_RESYNC_S = 600,
};

// Copies the field just read into a bounded buffer.
static void read_into(char* out, size_t size) {
  snprintf(out, size, "%s", tws_read_text());
}

// A right other than "P" or "C" is stored empty.
static void keep_put_call(char* right) {
  if (strcmp(right, "P") != 0 && strcmp(right, "C") != 0) right[0] = 0;
}

static void skip_fields(int n) {
  for (int i = 0; i < n; i++) tws_read_text();
}

// The contract fields symbol, type, expiry, strike, right, [exchange],
// currency, local symbol.  Newer message versions put further fields
// after the right (multiplier, primary exchange) and after the local
// symbol (trading class); they are read and dropped.
static void read_contract(tws_contract* c, int with_exchange, int after_right = 0,
                          int after_local = 0) {
  memset(c, 0, sizeof *c);
  read_into(c->symbol, sizeof c->symbol);
  read_into(c->sec_type, sizeof c->sec_type);
  read_into(c->expiry, sizeof c->expiry);
  c->strike = tws_read_double();
  read_into(c->right, sizeof c->right);
  skip_fields(after_right);
  if (with_exchange) read_into(c->exchange, sizeof c->exchange);
  read_into(c->currency, sizeof c->currency);
  read_into(c->local_symbol, sizeof c->local_symbol);
  skip_fields(after_local);
}

// ---------------------------------------------------------------------------
// Ticks.

static uint32_t record_lot(int t) {
  mqt* r = g_symbol_slots[t - 1];
  return r && r->lot_size > 0 ? (uint32_t)r->lot_size : 1;
}

void tws_tick_price(int id, int type, double price) {
  int t = tws_fold_id(id);
  if (!t) return;
  tws_ticker* e = &g_ticker_table[t];
  float p = (float)price;
  mqt* r;
  {
    kv_lock guard(g_chart_lock);
    r = g_symbol_slots[t - 1];
    if (r) r->flags |= MQT_QUOTE_STORED;
    if (r && type == 14) r->open = p;
    if (r && type == 19) r->week52_low = p;
    if (r && type == 20) r->week52_high = p;
  }
  switch (type) {
    case 1:
    case 2:
      (type == 1 ? e->bid : e->ask) = p;
      e->quote_pending |= TWS_QUOTE_PRICE;
      ticker_flush(t);
      break;
    case 4:
      ticker_flush(t);
      e->trade_pending = 1;
      e->last_price = p;
      // An index has no trade sizes: its price goes out at once.
      if (e->symbol[0] == 'I' && strchr(e->symbol, '_')) ticker_flush(t);
      break;
    case 6:
      e->high = p;
      break;
    case 7:
      e->low = p;
      break;
    case 9:
      e->prev_close = p;
      ticker_put_summary(t);
      break;
    default:
      break;
  }
}

// Types 27 to 30 of generic and size ticks.
static void option_volume(mqt* r, int type, int value) {
  switch (type) {
    case 27:
      r->call_open_interest = value;
      break;
    case 28:
      r->put_open_interest = value;
      break;
    case 29:
      r->call_volume = value;
      break;
    case 30:
      r->put_volume = value;
      break;
  }
}

static int32_t times(int32_t size, uint32_t mult) {
  int64_t v = (int64_t)size * mult;
  return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v;
}

void tws_tick_size(int id, int type, int size) {
  int t = tws_fold_id(id);
  if (!t) return;
  tws_ticker* e = &g_ticker_table[t];
  uint32_t mult;
  {
    kv_lock guard(g_chart_lock);
    mult = record_lot(t);
    mqt* r = g_symbol_slots[t - 1];
    if (r && type >= 27 && type <= 30) option_volume(r, type, size);
  }
  switch (type) {
    case 0:
    case 3:
      (type == 0 ? e->bid_size : e->ask_size) = size;
      e->size_multiplier = (uint8_t)(mult > 255 ? 255 : mult);
      e->quote_pending |= TWS_QUOTE_SIZE;
      ticker_flush(t);
      break;
    case 5:
      if (size == 0) break;
      e->last_size = times(size, mult);
      e->trade_pending = 1;
      ticker_flush(t);
      break;
    case 8: {
      int32_t v = times(size, mult);
      if (v < 0) v = 0;
      e->day_volume = v;
      e->volume = v;
      e->accum_volume = 0;
      if (v > 0) ticker_put_summary(t);
      break;
    }
    default:
      break;
  }
}

static void msg_tick_price(int) {
  int v = tws_read_int();
  int id = tws_read_int();
  int type = tws_read_int();
  double price = tws_read_double();
  if (v >= 2) tws_read_text();  // size
  if (v >= 3) tws_read_text();  // can auto-execute
  if (g_tws_read_failed) return;
  if (v >= 2 && g_tws_server_version.load() >= 11) tws_tick_price(id, type, price);
}

static void msg_tick_size(int) {
  tws_read_int();
  int id = tws_read_int();
  int type = tws_read_int();
  int size = tws_read_int();
  if (!g_tws_read_failed) tws_tick_size(id, type, size);
}

static void msg_tick_generic(int) {
  tws_read_int();
  int id = tws_read_int();
  int type = tws_read_int();
  double value = tws_read_double();
  if (g_tws_read_failed) return;
  kv_lock guard(g_chart_lock);
  mqt* r = tws_id_record(id);
  if (!r) {
    debug_trace("received generic tick for unknown tickerId[%d]\n  ", id);
    return;
  }
  switch (type) {
    case 22:
      r->open_interest = (int32_t)value;
      break;
    case 23:
      r->hist_volatility = value;
      break;
    case 24:
      r->implied_volatility = value;
      break;
    case 27:
    case 28:
    case 29:
    case 30:
      option_volume(r, type, (int32_t)value);
      break;
    case 31:
      r->index_future_premium = value;
      break;
    default:
      debug_trace("tickGeneric: id=%d  type=%d val=%f\n", id, type, value);
  }
}

static void msg_tick_string(int) {
  tws_read_int();
  int id = tws_read_int();
  int type = tws_read_int();
  char value[64];
  read_into(value, sizeof value);
  if (g_tws_read_failed) return;
  if (type == 45)
    tws_last_timestamp(id, atoll(value));
  else if (type != 32 && type != 33)
    debug_trace("tickString: id=%d  type=%d val=%s  time=%d\n", id, type, value,
                (int)kv_now_utc_seconds());
}

// ---------------------------------------------------------------------------
// Orders.

int tws_status_code(const char* text) {
  static const char* const names[] = {"PendingSubmit", "PendingCancel", "PreSubmitted", "Submitted",
                                      "Cancelled",     "Filled",        "Inactive"};
  for (int i = 0; i < 7; i++)
    if (strcmp(text, names[i]) == 0) return i + 1;
  return 0;
}

void tws_order_status(const tws_order_status_msg* m) {
  uint8_t rec[ORDER_STATUS_SIZE] = {};
  rec[QR_OFF_CODE] = QR_ORDER_STATUS;
  put_led(rec + 8, m->last_fill_price);
  put_led(rec + 16, m->avg_fill_price);
  put_le32(rec + 24, (uint32_t)m->order_id);
  put_le32(rec + 28, (uint32_t)m->filled);
  put_le32(rec + 32, (uint32_t)m->remaining);
  put_le32(rec + 36, (uint32_t)m->perm_id);
  put_le32(rec + 40, (uint32_t)m->parent_id);
  int code = tws_status_code(m->status);
  if (!code) debug_trace("Unhandled order pStatus reported:%s\n", m->status);
  put_le32(rec + 44, (uint32_t)code);
  ticker_put_record(ORDER_STATUS_SIZE, rec);
}

static void msg_order_status(int) {
  tws_order_status_msg m = {};
  int v = tws_read_int();
  m.order_id = tws_read_int();
  read_into(m.status, sizeof m.status);
  m.filled = tws_read_int();
  m.remaining = tws_read_int();
  m.avg_fill_price = tws_read_double();
  m.perm_id = tws_read_int();
  m.parent_id = tws_read_int();
  m.last_fill_price = tws_read_double();
  m.client_id = tws_read_int();
  if (v > 5) tws_read_text();  // why held
  if (g_tws_read_failed) return;
  if (g_trace_mask & TRACE_ORDER_STATUS)
    debug_trace(
        "ORDER_STATUS(%d): orderId=%d %s filled=%d remaining=%d, avgFillPrice=%10.6f,permId=%d, "
        "parentId=%d, lastFillPrice=%10.6f\n",
        m.client_id, m.order_id, m.status, m.filled, m.remaining, m.avg_fill_price, m.perm_id,
        m.parent_id, m.last_fill_price);
  if (m.client_id == g_settings.QRClientId && m.order_id != 0) tws_order_status(&m);
}

static int code_of(const char* text, const char* const* names, int n) {
  for (int i = 1; i < n; i++)
    if (strcmp(text, names[i]) == 0) return i;
  return 0;
}

static const char* const k_actions[] = {"?", "BUY", "SELL", "SSHORT"};
static const char* const k_tifs[] = {"?", "DAY", "GTC", "IOC", "DTC"};
static const char* const k_types[] = {"?",      "MKT",  "LMT",   "STP",    "STP LMT",
                                      "REL",    "VWAP", "TRAIL", "MKTCLS", "LMTCLS",
                                      "PEGMKT", "MIT",  "LIT"};

// The ticker of a contract; created with a record of its short name when
// it has none.  0 when that failed.
static int contract_ticker(const tws_contract* c, const char* what) {
  tws_contract_name n;
  {
    kv_lock guard(g_chart_lock);
    if (contract_symbol(c, &n)) return n.ticker;
  }
  kv_lock guard(g_chart_lock);
  mqt* r = get_multiquote(n.short_name);
  int id = r ? assign_ticker(n.short_name) : 0;
  if (!id) {
    statmsg(__FILE__, __LINE__, what, n.short_name, STATMSG_ERROR);
    return 0;
  }
  g_symbol_slots[id - 1] = r;
  r->symbol_slot = id;
  return id;
}

struct tws_open_order {
  int order_id;
  tws_contract c;
  char action[8], type[12], tif[8], oca[32], account[32];
  int quantity, client_id;
  double limit, aux;
};

static void open_order_record(const tws_open_order* o) {
  if (!(g_pref_flags1 & PREF1_TRADING)) return;
  int t = contract_ticker(&o->c, "Unable to add symbol for open order:");
  if (!t) return;
  int action = code_of(o->action, k_actions, 4);
  int tif = code_of(o->tif, k_tifs, 5);
  int type = code_of(o->type, k_types, 13);
  if (!action) debug_trace("Unhandled order action:[%s]\n", o->action);
  if (!type) debug_trace("Unhandled order type:[%s]\n", o->type);
  if (!tif) debug_trace("Unhandled order tif:[%s]\n", o->tif);
  order_relay_part p = {};
  p.code = QR_OPEN_ORDER;
  p.symbol_number = (int16_t)t;
  p.quantity = o->quantity;
  p.limit = o->limit;
  p.aux = o->aux;
  p.order_id = o->order_id;
  p.type = order_type_word(action, tif, type);
  snprintf(p.oca, sizeof p.oca, "%s", o->oca);
  snprintf(p.account, sizeof p.account, "%s", o->account);
  uint8_t rec[OPEN_ORDER_SIZE] = {};
  encode_relay_part(&p, rec);
  ticker_put_record(OPEN_ORDER_SIZE, rec);
}

static void msg_open_order(int) {
  tws_open_order o = {};
  int v = tws_read_int();
  o.order_id = tws_read_int();
  if (v > 16) tws_read_text();  // contract id
  read_contract(&o.c, 1);
  keep_put_call(o.c.right);
  read_into(o.action, sizeof o.action);
  o.quantity = tws_read_int();
  read_into(o.type, sizeof o.type);
  o.limit = tws_read_double();
  o.aux = tws_read_double();
  read_into(o.tif, sizeof o.tif);
  read_into(o.oca, sizeof o.oca);
  read_into(o.account, sizeof o.account);
  tws_read_text();  // open/close
  tws_read_text();  // origin
  tws_read_text();  // order reference
  o.client_id = v > 2 ? tws_read_int() : 0;
  if (v > 3)
    for (int i = 0; i < 4; i++) tws_read_text();  // perm id .. discretionary amount
  if (v > 4) tws_read_text();                     // good-after time
  if (v > 5) tws_read_text();                     // shares allocation
  if (v > 6)
    for (int i = 0; i < 4; i++) tws_read_text();  // advisor group, method, percentage, profile
  if (v > 7) tws_read_text();                     // good-till date
  tws_skip_open_order_tail(v);
  if (g_tws_read_failed) return;
  int32_t expected = o.order_id;
  g_tws_next_order_id.compare_exchange_strong(expected, o.order_id + 1);
  if (o.client_id == g_settings.QRClientId) open_order_record(&o);
}

static void msg_next_valid_id(int) {
  tws_read_int();
  int id = tws_read_int();
  if (g_tws_read_failed) return;
  // Ids already sent stay used: the next id only moves up.
  int32_t cur = g_tws_next_order_id.load();
  while (id > cur && !g_tws_next_order_id.compare_exchange_weak(cur, id)) {
  }
  debug_trace("NEXT_VALID_ORDER_ID(%d): id=%d\n", id, g_tws_next_order_id.load());
}

// ---------------------------------------------------------------------------
// Contract details and executions.

static void msg_contract_details(int) {
  int v = tws_read_int();
  if (v >= 3) tws_read_text();  // request id
  tws_contract c;
  read_contract(&c, 1);
  char market_name[16], trading_class[16];
  read_into(market_name, sizeof market_name);
  read_into(trading_class, sizeof trading_class);
  tws_read_text();  // contract id
  double min_tick = tws_read_double();
  int multiplier = tws_read_int();
  tws_read_text();             // order types
  tws_read_text();             // valid exchanges
  if (v > 1) tws_read_text();  // price magnifier
  tws_skip_contract_details_tail(v);
  if (g_tws_read_failed) return;
  kv_lock guard(g_chart_lock);
  tws_contract_name n;
  contract_symbol(&c, &n);
  mqt* r = n.ticker ? g_symbol_slots[n.ticker - 1] : nullptr;
  if (!r) {
    if (g_pref_flags & PREF_REPORT_PROBLEMS)
      statmsg(nullptr, 0, "contractDetails: no mqt-> for ", c.symbol, STATMSG_NOTICE);
    return;
  }
  // Texts are cut to the record's fields with their terminator.
  snprintf(r->currency, sizeof r->currency, "%s", c.currency);
  snprintf(r->market_name, sizeof r->market_name, "%s", market_name);
  r->expiry_number = atoi(c.expiry);
  if (min_tick > 0) r->tick_size = min_tick;
  if (multiplier > 0) r->multiplier = multiplier;
  snprintf(r->broker_local_symbol, sizeof r->broker_local_symbol, "%.24s", c.local_symbol);
  if (r->sec_code & SEC_OPTION)
    snprintf(r->local_symbol, sizeof r->local_symbol, "%s", c.local_symbol);
  if (g_trace_mask & TRACE_DETAILS)
    debug_trace("contractDetails %s %s %s %s tick=%f mult=%d\n", r->symbol, c.local_symbol,
                market_name, c.expiry, min_tick, multiplier);
}

// "yyyymmdd  hh:mm:ss": the date and the seconds of the day.
static void split_exec_time(const char* text, int32_t* date, int32_t* tod) {
  *date = atoi(text);
  *tod = 0;
  const char* sp = strchr(text, ' ');
  if (!sp) return;
  int h = 0, m = 0, s = 0;
  if (sscanf(sp, " %d:%d:%d", &h, &m, &s) >= 2) *tod = h * 3600 + m * 60 + s;
}

static void msg_execution(int) {
  int v = tws_read_int();
  if (v > 6) tws_read_text();   // request id
  tws_read_int();               // order id
  if (v >= 5) tws_read_text();  // contract id
  tws_contract c;
  read_contract(&c, 1, v >= 9, v >= 10);  // multiplier; trading class
  char exec_id[64], time[64], account[32], exchange[16], side[8];
  read_into(exec_id, sizeof exec_id);
  read_into(time, sizeof time);
  read_into(account, sizeof account);
  read_into(exchange, sizeof exchange);
  read_into(side, sizeof side);
  int shares = tws_read_int();
  double price = tws_read_double();
  int perm_id = tws_read_int();
  int client_id = tws_read_int();
  if (v > 3) tws_read_text();  // liquidation
  tws_skip_execution_tail(v);
  if (g_tws_read_failed || client_id != g_settings.QRClientId) return;

  execution_rec e = {};
  e.code = QR_EXECUTION | QR_LAST_RECORD;
  {
    kv_lock guard(g_chart_lock);
    tws_contract_name n;
    e.symbol_number = (int16_t)contract_symbol(&c, &n);
  }
  execution_fields& f = e.f;
  snprintf(f.symbol, sizeof f.symbol, "%.8s", c.symbol);
  snprintf(f.local_symbol, sizeof f.local_symbol, "%.8s", c.local_symbol);
  snprintf(f.right, sizeof f.right, "%.4s", c.right);
  snprintf(f.sec_type, sizeof f.sec_type, "%.4s", c.sec_type);
  snprintf(f.currency, sizeof f.currency, "%.4s", c.currency);
  snprintf(f.exchange, sizeof f.exchange, "%s", exchange);
  f.expiry = atoi(c.expiry);
  f.strike = (float)c.strike;
  snprintf(f.exec_id, sizeof f.exec_id, "%.28s", exec_id);
  snprintf(f.account, sizeof f.account, "%s", account);
  snprintf(f.side, sizeof f.side, "%s", side);
  f.quantity = shares;
  f.price = price;
  f.perm_id = perm_id;
  int32_t date, tod;
  split_exec_time(time, &date, &tod);
  f.quote_time = tod;
  f.exec_time = valid_date(date, 0) ? (int32_t)date_to_seconds(date, tod) : 0;
  uint8_t rec[EXECUTION_SIZE];
  encode_execution(&e, rec);
  ticker_put_record(EXECUTION_SIZE, rec);
}

// ---------------------------------------------------------------------------
// Market depth.

void updateMktDepth(int id, int position, int operation, int side, double price, int size) {
  kv_lock guard(g_chart_lock);
  mqt* r = tws_id_record(id);
  if (!r) {
    CancelMktDepth(id);
    return;
  }
  // Only the ten rows of the two sides exist.
  if (position < 0 || position >= MQT_DEPTH_ROWS || (side != 0 && side != 1)) {
    debug_trace("%s %s side market depth = %d\n", r->symbol, side == 1 ? "buy" : "sell", position);
    return;
  }
  mqt_depth_row* rows = side == 1 ? r->depth_bids : r->depth_asks;
  switch (operation) {
    case 0:
      memmove(rows + position + 1, rows + position,
              (MQT_DEPTH_ROWS - 1 - position) * sizeof rows[0]);
      rows[position] = {price, size};
      break;
    case 1:
      rows[position] = {price, size};
      break;
    case 2:
      rows[position] = {0, 0};
      break;
    default:
      debug_trace("updateMktDepth operation=%d\n", operation);
      return;
  }
  order_depth_update(r, side == 0, price, size);
}

static void msg_market_depth(int) {
  tws_read_int();
  int id = tws_read_int();
  int position = tws_read_int();
  int operation = tws_read_int();
  int side = tws_read_int();
  double price = tws_read_double();
  int size = tws_read_int();
  if (!g_tws_read_failed) updateMktDepth(id, position, operation, side, price, size);
}

// ---------------------------------------------------------------------------
// History.

static void msg_history(int) {
  int v = tws_read_int();
  int request_id = tws_read_int();
  char range[160] = "";
  if (v > 1) {
    char start[64], end[64];
    read_into(start, sizeof start);
    read_into(end, sizeof end);
    snprintf(range, sizeof range, "finished-%s-%s", start, end);
  }
  int count = tws_read_int();
  for (int i = 0; i < count && !g_tws_read_failed; i++) {
    char date[64];
    read_into(date, sizeof date);
    double open = tws_read_double();
    double high = tws_read_double();
    double low = tws_read_double();
    double close = tws_read_double();
    int volume = tws_read_int();
    double average = tws_read_double();
    int gaps = strcasecmp(tws_read_text(), "true") == 0;
    if (v > 2) tws_read_text();  // bar count
    if (!g_tws_read_failed)
      historicalData(request_id, date, open, high, low, close, volume, average, gaps);
  }
  if (g_tws_read_failed) return;
  debug_trace("historicalData %s\n", range);
  if (request_id == tws_hmds_request_id()) g_hmds_event.set();
}

// ---------------------------------------------------------------------------
// Accounts.

static void msg_account_value(int) {
  int v = tws_read_int();
  char key[64], value[64], currency[16], account[32] = "";
  read_into(key, sizeof key);
  read_into(value, sizeof value);
  read_into(currency, sizeof currency);
  if (v > 1) read_into(account, sizeof account);
  if (!g_tws_read_failed) updateAccountValue(key, value, currency, account);
}

static void msg_portfolio(int) {
  int v = tws_read_int();
  if (v >= 6) tws_read_text();  // contract id
  tws_contract c;
  read_contract(&c, 0, v >= 7 ? 2 : 0, v >= 8);  // multiplier, primary exchange; trading class
  keep_put_call(c.right);
  int position = tws_read_int();
  double market_price = tws_read_double();
  double market_value = tws_read_double();
  double average_cost = tws_read_double();
  double unrealized = tws_read_double();
  double realized = tws_read_double();
  char account[32] = "";
  if (v > 3) read_into(account, sizeof account);
  if (v == 6 && g_tws_server_version.load() == 39) tws_read_text();
  if (!g_tws_read_failed)
    updatePortfolio(&c, position, market_price, market_value, average_cost, unrealized, realized,
                    account);
}

static int s_account_time;

static void msg_account_time(int) {
  tws_read_int();
  char text[32];
  read_into(text, sizeof text);
  if (g_tws_read_failed) return;
  int t = parse_time_of_day(text);
  int prev = s_account_time;
  s_account_time = t;
  if (t > prev) {
    if (g_trace_mask & TRACE_ACCOUNT_TIME) {
      debug_trace("AccountTime=%s\n", text);
      debug_trace("Recalculating portfolio..\n");
    }
    recalc_portfolio_pl(g_pl_mode);
  }
}

static void msg_managed_accounts(int) {
  tws_read_int();
  char list[1024];
  read_into(list, sizeof list);
  if (g_tws_read_failed) return;
  debug_trace("Managed accounts:[%s]\n", list);
  if (tws_account_count() == 0) tws_managed_accounts(list);
}

static void msg_receive_fa(int) {
  tws_read_int();
  int type = tws_read_int();
  const char* xml = tws_read_text();
  if (!g_tws_read_failed) tws_receive_fa(type, xml);
}

// ---------------------------------------------------------------------------
// The clock.

static std::atomic<int64_t> s_clock_set_at{0};

void tws_set_clock(int64_t utc_seconds) {
  s_clock_set_at = utc_seconds;
  if (g_pref_flags & PREF_NO_CLOCK_SYNC) return;
  statmsg(nullptr, 0, "Syncing system time with IB server", nullptr, STATMSG_NOTICE);
  if (!kv_set_system_clock(utc_seconds))
    statmsg(nullptr, 0, "Setting local clock failed!", nullptr, STATMSG_NOTICE);
}

void tws_last_timestamp(int id, int64_t utc_seconds) {
  {
    kv_lock guard(g_chart_lock);
    if (!tws_id_record(id)) return;
  }
  if (kv_now_utc_seconds() > utc_seconds + CLOCK_AHEAD_S &&
      utc_seconds > s_clock_set_at.load() + CLOCK_RESYNC_S) {
    s_clock_set_at = utc_seconds;
    ReqCurrentTime();
  }
}

static void msg_current_time(int) {
  tws_read_int();
  int64_t t = atoll(tws_read_text());
  if (!g_tws_read_failed) tws_set_clock(t);
}

// ---------------------------------------------------------------------------

void install_tws_msg_handlers() {
  g_tws_msg_handlers[1] = msg_tick_price;
  g_tws_msg_handlers[2] = msg_tick_size;
  g_tws_msg_handlers[3] = msg_order_status;
  g_tws_msg_handlers[5] = msg_open_order;
  g_tws_msg_handlers[6] = msg_account_value;
  g_tws_msg_handlers[7] = msg_portfolio;
  g_tws_msg_handlers[8] = msg_account_time;
  g_tws_msg_handlers[9] = msg_next_valid_id;
  g_tws_msg_handlers[10] = msg_contract_details;
  g_tws_msg_handlers[11] = msg_execution;
  g_tws_msg_handlers[12] = msg_market_depth;
  g_tws_msg_handlers[15] = msg_managed_accounts;
  g_tws_msg_handlers[16] = msg_receive_fa;
  g_tws_msg_handlers[17] = msg_history;
  g_tws_msg_handlers[45] = msg_tick_generic;
  g_tws_msg_handlers[46] = msg_tick_string;
  g_tws_msg_handlers[49] = msg_current_time;
}
