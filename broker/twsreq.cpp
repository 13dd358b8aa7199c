// The requests sent to TWS.
#include "broker/twsreq.h"

#include <stdio.h>
#include <string.h>

#include "broker/orderq.h"
#include "broker/orders.h"
#include "broker/twsacct.h"
#include "broker/twsconn.h"
#include "broker/twserrors.h"
#include "broker/twslists.h"
#include "broker/twsticker.h"
#include "broker/twswire.h"
#include "data/debugtrace.h"
#include "data/exchclock.h"
#include "data/statmsg.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "settings/settings.h"

enum {
  PREF_STATUS_DETAILS = 0x2000,
  PREF_REPORT_PROBLEMS = 0x4000,
  PREF1_NO_OPTIONS = 0x80,  // options and future options suppressed
  PREF1_NO_ONE = 0x100,     // futures of "ONE" suppressed
  PREF1_NO_BAGS = 0x200,    // combinations suppressed
  PREF1_NO_CASH = 0x400,    // currencies suppressed
  PREF1_ADVISOR = 0x800,
  MQT_DEPTH_SUBSCRIBED = 0x200,
  SEC_OPT = 0x4,
  SEC_FOP = 0x8,
  SEC_CASH = 0x20,
  SEC_BAG = 0x40,
  SEC_ONE = 0x100,
};

std::atomic<int32_t> g_tws_next_order_id{0};

int tws_request_begin(int ticker_id) {
  if (g_tws_connected.load()) {
    g_tws_socket_lock.lock();
    if (g_tws_connected.load()) return 1;
    g_tws_socket_lock.unlock();
  }
  tws_error(0, TWS_ERR_NOT_CONNECTED, "504 Not connected", ticker_id);
  return 0;
}

void tws_request_end() {
  // A request cut short by a failed send leaves the stream torn.
  if (tws_take_send_failure()) tws_close_bad_stream("send failed");
  g_tws_socket_lock.unlock();
}

// A request of id and version followed by one integer (or none).
static void send_short(int msg_id, int version, int has_value, int value) {
  if (!tws_request_begin(0)) return;
  tws_send_int(msg_id);
  tws_send_int(version);
  if (has_value) tws_send_int(value);
  tws_request_end();
}

static void details_notice(const char* text) {
  if (g_pref_flags & PREF_REPORT_PROBLEMS) statmsg(nullptr, 0, text, nullptr, STATMSG_NOTICE);
}

void ReqIds(int count) {
  send_short(8, 1, 1, count);
}

void ReqAutoOpenOrders(int flag) {
  send_short(15, 1, 1, flag);
}

void ReqManagedAccts() {
  send_short(17, 1, 0, 0);
}

void RequestFA(int data_type) {
  send_short(18, 1, 1, data_type);
}

void ReqCurrentTime() {
  if (g_tws_connected.load() && g_tws_server_version.load() <= 32) {
    details_notice("Server version does not support current time requests");
    return;
  }
  send_short(49, 1, 0, 0);
}

void ReqExecutions() {
  send_short(7, 1, 0, 0);
}

void ReqAllOpenOrders() {
  send_short(16, 1, 0, 0);
}

void CancelHistoricalData(int ticker_id) {
  if (g_tws_connected.load() && g_tws_server_version.load() <= 23) {
    details_notice("Server version does not support historical data query cancel");
    return;
  }
  send_short(25, 1, 1, ticker_id);
}

// ---------------------------------------------------------------------------
// Market data.

// The contract of a record as the requests send it (copied under
// g_chart_lock, so that no request reads the record while it sends).
struct record_contract {
  char symbol[MQT_SYMBOL_SIZE];
  char root[32];
  char sec_type[8];
  char expiry[12];
  double strike;
  char right[8];
  int multiplier;
  char exchange[12];
  char currency[8];
  char local_symbol[32];
  uint32_t sec_code;
  uint32_t flags;
  int ticker;
};

static void copy_contract(mqt* r, record_contract* c) {
  kv_lock guard(g_chart_lock);
  memset(c, 0, sizeof *c);
  snprintf(c->symbol, sizeof c->symbol, "%s", r->symbol);
  snprintf(c->root, sizeof c->root, "%s", r->contract_root[0] ? r->contract_root : r->symbol);
  snprintf(c->sec_type, sizeof c->sec_type, "%s", r->sec_type);
  snprintf(c->expiry, sizeof c->expiry, "%s", r->expiry);
  c->strike = r->strike;
  snprintf(c->right, sizeof c->right, "%s", r->right);
  c->multiplier = r->multiplier;
  snprintf(c->exchange, sizeof c->exchange, "%s", r->exchange);
  snprintf(c->currency, sizeof c->currency, "%s", r->currency);
  snprintf(c->local_symbol, sizeof c->local_symbol, "%s", r->broker_local_symbol);
  c->sec_code = r->sec_code;
  c->flags = r->flags;
  c->ticker = r->symbol_slot;
}

// symbol; type; expiry; strike; right; ""; exchange; ""; currency; ""
static void send_market_contract(const record_contract* c) {
  tws_send_text(c->root);
  tws_send_text(c->sec_type);
  tws_send_text(c->expiry);
  tws_send_double(c->strike);
  tws_send_text(c->right);
  tws_send_text("");
  tws_send_text(c->exchange);
  tws_send_text("");
  tws_send_text(c->currency);
  tws_send_text("");
}

static int suppressed_by_prefs(const record_contract* c) {
  uint32_t f1 = g_pref_flags1;
  if ((f1 & PREF1_NO_OPTIONS) && (c->sec_code & (SEC_OPT | SEC_FOP))) return 1;
  if ((f1 & PREF1_NO_ONE) && (c->sec_code & SEC_ONE)) return 1;
  if ((f1 & PREF1_NO_BAGS) && (c->sec_code & SEC_BAG)) return 1;
  if ((f1 & PREF1_NO_CASH) && (c->sec_code & SEC_CASH)) return 1;
  if (c->sec_type[0] == 'V' && !(c->flags & MQT_MIDPOINT)) return 1;
  return 0;
}

int ReqMktData(mqt* record) {
  if (!record) return 0;
  // The chart lock before the socket lock, as in every request that
  // touches records: the reverse order would deadlock with IBPlaceOrder.
  kv_lock chart(g_chart_lock);
  int id = assign_ticker(record->symbol);
  if (!id) return 0;
  int modified = apply_symbol_mods(record);
  record_contract c;
  copy_contract(record, &c);
  int suppressed = 0;
  if (!tws_request_begin(id)) return id;
  suppressed = suppressed_by_prefs(&c) && !symbol_allowed(record);
  if (!suppressed) suppressed = symbol_inhibited(record);
  if (suppressed) {
    kv_lock guard(g_chart_lock);
    record->flags |= MQT_NOT_STREAMABLE;
  } else {
    {
      kv_lock guard(g_chart_lock);
      g_ticker_table[id].time_offset = exchange_local_seconds(record->market, kv_now_utc_seconds());
    }
    tws_send_int(1);
    tws_send_int(6);
    tws_send_int(id);
    send_market_contract(&c);
    if (g_tws_server_version.load() >= 31) tws_send_text("100,101,104,106");
  }
  tws_request_end();
  if (!suppressed) ReqContractDetails(record);
  if (g_pref_flags & PREF_STATUS_DETAILS) {
    char line[160];
    snprintf(line, sizeof line, "ReqMktData[%2d] %s %s %s %s", id, c.symbol,
             modified ? c.currency : "", modified ? c.exchange : "",
             suppressed ? "suppressed" : "");
    statmsg(nullptr, 0, line, nullptr, STATMSG_NOTICE);
  }
  return id;
}

static void trace_ticker(const char* what, int ticker_id) {
  char sym[MQT_SYMBOL_SIZE] = "";
  {
    kv_lock guard(g_chart_lock);
    int t = tws_fold_id(ticker_id);
    if (t) snprintf(sym, sizeof sym, "%s", g_ticker_table[t].symbol);
  }
  char line[96];
  snprintf(line, sizeof line, "%s[%2d] %s", what, ticker_id, sym);
  debug_trace("%s\n", line);
  if (g_pref_flags & PREF_STATUS_DETAILS) statmsg(nullptr, 0, line, nullptr, STATMSG_NOTICE);
}

void CancelMktData(int ticker_id) {
  trace_ticker("CancelMktData", ticker_id);
  send_short(2, 2, 1, ticker_id);
  int depth = 0;
  {
    kv_lock guard(g_chart_lock);
    mqt* r = tws_id_record(ticker_id);
    depth = r && (r->flags & MQT_DEPTH_SUBSCRIBED);
  }
  if (depth) CancelMktDepth(ticker_id);
}

int ReqMktDepth(mqt* record) {
  if (!record) return 0;
  record_contract c;
  copy_contract(record, &c);
  int id = c.ticker ? c.ticker : assign_ticker(c.symbol);
  if (!id) return 0;
  trace_ticker("ReqMktDepth", id);
  if (!tws_request_begin(id)) return 0;
  tws_send_int(10);
  tws_send_int(1);
  tws_send_int(id);
  send_market_contract(&c);
  tws_request_end();
  kv_lock guard(g_chart_lock);
  record->flags |= MQT_DEPTH_SUBSCRIBED;
  return id;
}

void CancelMktDepth(int ticker_id) {
  trace_ticker("CancelMktDepth", ticker_id);
  send_short(11, 1, 1, ticker_id);
  kv_lock guard(g_chart_lock);
  if (mqt* r = tws_id_record(ticker_id)) r->flags &= ~MQT_DEPTH_SUBSCRIBED;
}

void ReqContractDetails(mqt* record) {
  record_contract c;
  copy_contract(record, &c);
  if (!tws_request_begin(c.ticker)) return;
  tws_send_int(9);
  tws_send_int(1);
  tws_send_text(c.root);
  tws_send_text(c.sec_type);
  tws_send_text(c.expiry);
  tws_send_double(c.strike);
  tws_send_text(c.right);
  tws_send_text(c.exchange);
  tws_send_text(c.currency);
  tws_send_text(c.local_symbol);
  tws_request_end();
}

// ---------------------------------------------------------------------------
// Orders.

static const char* name_of(const char* const* names, int n, int code) {
  return code >= 0 && code < n ? names[code] : "?";
}

static const char* const k_actions[] = {"?", "BUY", "SELL", "SSHORT"};
static const char* const k_tifs[] = {"?", "DAY", "GTC", "IOC", "DTC"};
static const char* const order_type_names[] = {"?",      "MKT",  "LMT",   "STP",    "STP LMT",
                                               "REL",    "VWAP", "TRAIL", "MKTCLS", "LMTCLS",
                                               "PEGMKT", "MIT",  "LIT"};

static int bit(uint32_t word, int n) {
  return (int)((word >> n) & 1);
}

// "PctChange": the number in the group text from its first digit on,
// negative when the character before the digits is "m" or "M".
static int pct_change(const char* text) {
  const char* d = text;
  while (*d && (*d < '0' || *d > '9')) d++;
  if (!*d) return 0;
  int v = 0;
  for (const char* p = d; *p >= '0' && *p <= '9' && v < 100000; p++) v = v * 10 + (*p - '0');
  if (d > text && (d[-1] == 'm' || d[-1] == 'M')) v = -v;
  return v;
}

int IBPlaceOrder(const order_rec* copy) {
  // The chart lock comes first, as everywhere: the order is written back
  // before any answer of TWS can look for it by its id.
  kv_lock chart(g_chart_lock);
  order_rec o = *copy;
  int first = o.relay.order_id == 0;
  if (!tws_request_begin(0)) return 0;
  if (first) {
    o.relay.order_id = g_tws_next_order_id.fetch_add(1);
    snprintf(o.relay.account, sizeof o.relay.account, "%.16s", g_advisor_account);
    o.remaining = o.relay.quantity;
    if (order_rec* real = find_order_by_serial(o.serial)) {
      real->relay.order_id = o.relay.order_id;
      snprintf(real->relay.account, sizeof real->relay.account, "%s", o.relay.account);
      real->remaining = o.remaining;
    }
  }
  uint32_t type = o.relay.type;
  int pct = 0;
  if (o.advisor_mode == ADVISOR_GROUP && strcmp(o.advisor_method, "PctChange") == 0) {
    pct = pct_change(o.advisor_string);
    if (pct == 0) type &= ~ORDER_TRANSMIT;  // held in TWS
  }
  mqt* r = o.record;
  record_contract c;
  copy_contract(r, &c);
  int server = g_tws_server_version.load();
  tws_send_int(3);
  tws_send_int(25);
  tws_send_int(o.relay.order_id);
  tws_send_text(c.root);
  tws_send_text(c.sec_type);
  tws_send_text(c.expiry);
  tws_send_double(c.strike);
  tws_send_text(c.right);
  tws_send_int(c.multiplier);
  tws_send_text(c.exchange);
  tws_send_text("");
  tws_send_text(c.currency);
  tws_send_text("");
  tws_send_text(name_of(k_actions, 4, order_action(&o)));
  tws_send_int(o.relay.quantity);
  tws_send_text(name_of(order_type_names, 13, order_type(&o)));
  tws_send_double(o.relay.limit);
  tws_send_double(o.relay.aux);
  tws_send_text(name_of(k_tifs, 5, order_tif(&o)));
  tws_send_text(o.relay.oca);
  tws_send_text(o.relay.account);
  tws_send_text("");
  tws_send_int(bit(type, 22));  // origin
  tws_send_text(o.relay.order_ref);
  tws_send_int(bit(type, 21));  // transmit
  tws_send_int(o.relay.parent_id);
  tws_send_int(bit(type, 25));  // block
  tws_send_int(bit(type, 24));  // sweep to fill
  tws_send_int(o.relay.display_size);
  tws_send_int((int)((type >> 8) & 0xF));  // trigger method
  tws_send_int(bit(type, 23));             // outside regular hours
  tws_send_int(bit(type, 26));             // hidden
  for (int i = 0; i < 4; i++) tws_send_text("");
  int group = o.advisor_mode == ADVISOR_GROUP;
  tws_send_text(group ? o.advisor_string : "");
  tws_send_text(group ? o.advisor_method : "");
  if (pct)
    tws_send_int(pct);
  else
    tws_send_text("");
  tws_send_text(o.advisor_mode == ADVISOR_PROFILE ? o.advisor_string : "");
  tws_send_text("");
  tws_send_text("");
  tws_send_text("2");
  if (server < 38) tws_send_text("0");
  tws_send_text("I");
  tws_send_text("");
  tws_send_text("0");
  tws_send_text("");
  tws_send_text("");
  tws_send_text("0");
  tws_send_text("1");
  for (int i = 0; i < 7; i++) tws_send_text("");
  tws_send_text("0");
  for (int i = 0; i < 7; i++) tws_send_text("");
  if (server > 34)
    for (int i = 0; i < 3; i++) tws_send_text("");
  if (server > 38)
    for (int i = 0; i < 2; i++) tws_send_text("");
  if (server > 35) tws_send_text("0");
  tws_request_end();
  if (first) order_placed(o.serial, o.relay.order_id);
  ReqIds(1);
  debug_trace("IBPlaceOrder %d %s pid=%d %s %d %s %f %f %s\n", o.relay.order_id, c.symbol,
              o.relay.parent_id, name_of(k_actions, 4, order_action(&o)), o.relay.quantity,
              name_of(order_type_names, 13, order_type(&o)), o.relay.limit, o.relay.aux,
              name_of(k_tifs, 5, order_tif(&o)));
  return 1;
}

int IBCancelOrder(int order_id) {
  if (!tws_request_begin(0)) return 0;
  tws_send_int(4);
  tws_send_int(1);
  tws_send_int(order_id);
  tws_request_end();
  return 1;
}

// ---------------------------------------------------------------------------
// Accounts.

static int s_last_account_index = -1;
extern int g_account_index;  // broker/twsacct.cpp: the account cycle

static void send_account_updates(int version, const char* account) {
  if (!tws_request_begin(0)) return;
  tws_send_int(6);
  tws_send_int(version);
  tws_send_int(1);
  if (version >= 2) tws_send_text(account);
  tws_request_end();
}

void ReqAccountUpdates() {
  if (!(g_pref_flags1 & PREF1_ADVISOR)) {
    send_account_updates(1, nullptr);
    return;
  }
  g_account_index = 0;
  s_last_account_index = 0;
  RequestFA(3);
  RequestFA(2);
  RequestFA(1);
  if (tws_account_count() > 0) send_account_updates(2, tws_account_name(0));
}

void ReqAccountUpdatesNext() {
  if (!(g_pref_flags1 & PREF1_ADVISOR) || tws_account_count() < 1) return;
  int i = g_account_index;
  if (i == s_last_account_index) return;
  const char* name = tws_account_name(i);
  if (!name) return;
  send_account_updates(2, name);
  s_last_account_index = i;
}
