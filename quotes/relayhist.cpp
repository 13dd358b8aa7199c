// History, text pages and the order refresh from the quote relay.
#include "quotes/relayhist.h"
#include "quotes/spigot.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "data/chart.h"
#include "data/chartload.h"
#include "data/quotecfg.h"
#include "data/dates.h"
#include "data/statmsg.h"
#include "data/webimport.h"
#include "platform/clock.h"
#include "platform/locks.h"
#include "quotes/mqt.h"
#include "quotes/qrclient.h"
#include "quotes/qrecord.h"

enum {
  REQ_OFF_SYMBOL = 2,
  REQ_SYMBOL_SIZE = 34,  // 2..35
  REQ_OFF_ARG1 = 36,
  REQ_OFF_ARG2 = 40,
  REQ_OFF_KIND = 44,
  REQ_OFF_ONE = 48,
  PAGE_OFF_TOTAL = 2,
  PAGE_OFF_TEXT = 4,
  BAR_OPEN = 8,
  BAR_HIGH = 12,
  BAR_LOW = 16,
  BAR_CLOSE = 20,
  BAR_VOLUME = 24,
  BAR_INDEX = 28,
  GROW_SLOTS = 256,
  DEFAULT_SESSION_START = 34200,
  DEFAULT_SESSION_END = 57600,
  FLAG_NO_VOLUME = 0x400000,
  STATUS_QUIET_MS = 1000,
  SOURCE_CODE_BITS = 0x1FFF,  // code byte and flags of the source
  RELAY_BAR_BASE = 0x5F8000,
};
static_assert(REQ_OFF_SYMBOL + REQ_SYMBOL_SIZE == REQ_OFF_ARG1, "symbol field");
static_assert((int)REQ_OFF_ONE < (int)QR_REQUEST_SIZE, "history request fits");

static float get_f32(const uint8_t* p) {
  uint32_t u = get_le32(p);
  float f;
  memcpy(&f, &u, 4);
  return f;
}

static void build_bar_request(qr_request* req, int code, const char* symbol, int32_t a1,
                              int32_t a2) {
  qr_build_code_only(req, code, QR_REQUEST_SIZE);
  size_t n = strnlen(symbol, REQ_SYMBOL_SIZE - 1);
  memcpy(req->bytes + REQ_OFF_SYMBOL, symbol, n);
  put_le32(req->bytes + REQ_OFF_ARG1, (uint32_t)a1);
  put_le32(req->bytes + REQ_OFF_ARG2, (uint32_t)a2);
}

uint32_t relay_bar_flags() {
  quote_source_cfg* cfg = read_quote_source_cfg(MULTIQUOTE_TIMEUNIT);
  return (cfg ? cfg->source_codes & SOURCE_CODE_BITS : 0) | RELAY_BAR_BASE;
}

static void report_failure(const char* argument) {
  char text[64];
  snprintf(text, sizeof text, "Error %d returned on router request", g_qr_last_error);
  statmsg(__FILE__, __LINE__, text, argument, STATMSG_ERROR);
}

// A free bar slot at the chart's end, growing the chart when none is left;
// null when no memory.
static chart_bar* next_slot(chart_rec* c) {
  if (c->spare <= 0 && !grow_chart_bars(c, GROW_SLOTS)) return nullptr;
  return c->bars + c->header.bar_count;
}

static int add_bar(chart_rec* c, const chart_bar& b) {
  kv_lock guard(g_chart_lock);
  chart_bar* slot = next_slot(c);
  if (!slot) return 0;
  *slot = b;
  c->header.bar_count++;
  c->spare--;
  return 1;
}

static void session_of(chart_rec* c, int* start, int* end) {
  *start = c->header.session_start;
  *end = c->header.session_end;
  if (c->mqt && c->mqt->session_end > 0) {
    *start = c->mqt->session_start;
    *end = c->mqt->session_end;
  }
  if (*end <= 0) {
    *start = DEFAULT_SESSION_START;
    *end = DEFAULT_SESSION_END;
  }
}

// ---------------------------------------------------------------------------
// One-minute bars.

namespace {
struct day_walk {
  chart_rec* chart;
  int running;  // next minute to fill, seconds of day
  int end;
  int64_t day_base;
  uint32_t flags;
  int made;
  float last_close;
  int full;
};
}  // namespace

static int flat_bars(day_walk* w, int upto, float price) {
  for (; w->running < upto && w->running < w->end; w->running += 60) {
    chart_bar b = {};
    b.open = b.high = b.low = b.close = price;
    b.flags = w->flags;
    b.time = (int32_t)(w->day_base + w->running);
    if (!add_bar(w->chart, b)) return w->full = 1, 0;
    w->made = 1;
  }
  return 1;
}

static int take_minute_record(const uint8_t* rec, void* ctx) {
  day_walk* w = (day_walk*)ctx;
  int32_t t = (int32_t)get_le32(rec + QR_OFF_TIME);
  int tod = kv_time_of_day(t);
  if (tod != 0) {
    w->day_base = t - tod;
    int minute = tod - tod % 60;
    if (!flat_bars(w, minute, w->made ? w->last_close : get_f32(rec + BAR_OPEN))) return 0;
    if (tod < w->end) {
      chart_bar b = {};
      b.open = get_f32(rec + BAR_OPEN);
      b.high = get_f32(rec + BAR_HIGH);
      b.low = get_f32(rec + BAR_LOW);
      b.close = get_f32(rec + BAR_CLOSE);
      b.volume = rec[BAR_INDEX] == 1 ? 0 : (int32_t)get_le32(rec + BAR_VOLUME);
      b.flags = w->flags;
      b.time = t;
      if (!add_bar(w->chart, b)) return w->full = 1, 0;
      w->made = 1;
      w->last_close = b.close;
      w->running = minute + 60;
    }
  }
  return 1;
}

int kvqr_day_bars(chart_rec* chart, int day_back, int start_second, int end_second,
                  uint32_t bar_flags) {
  int session_start, session_end;
  session_of(chart, &session_start, &session_end);
  qr_request req;
  build_bar_request(&req, QR_REQ_INTRADAY, chart->header.symbol, start_second, day_back);
  day_walk w = {};
  w.chart = chart;
  w.running = std::max(session_start, start_second);
  w.running -= w.running % 60;
  w.end = end_second;
  w.flags = bar_flags;
  if (!kvqr_connect()) return RELAY_NOT_CONNECTED;
  kv_lock guard(g_router_lock);
  if (!qr_transact(req.bytes, QR_REQUEST_SIZE)) {
    report_failure(chart->header.symbol);
    return g_qr_last_error ? g_qr_last_error : -1;
  }
  int n = qr_read_records(take_minute_record, &w, chart->header.symbol);
  if (n < 0) return g_qr_reply_error ? g_qr_reply_error : (g_qr_last_error ? g_qr_last_error : -1);
  if (w.made && !w.full) {
    // The reply ended early: the day goes on flat to its end.
    int upto = session_end < end_second ? session_end : end_second;
    if (day_back == 0 && chart->mqt) {
      int last = chart->mqt->quote_time - chart->mqt->quote_time % 60 + 60;
      if (chart->mqt->quote_time > 0 && last < upto) upto = last;
    }
    flat_bars(&w, upto, w.last_close);
  }
  return 0;
}

static int by_time(const chart_bar& a, const chart_bar& b) {
  return a.time < b.time;
}

int kvqr_intraday_data(chart_rec* chart, int days, int first_second, int flags) {
  if (!kvqr_connect()) return RELAY_NOT_CONNECTED;
  int session_start, session_end;
  session_of(chart, &session_start, &session_end);
  int limit = std::min(days, (int)RELAY_MAX_DAYS), failures = 0;
  for (int k = 0; k < limit; k++) {
    int start = session_start, end = session_end;
    if (flags & RELAY_ALL_DAY) start = 0, end = 86400;
    if (k == limit - 1)
      start = (flags & RELAY_ALL_DAY) ? first_second : std::max(first_second, session_start);
    int code = kvqr_day_bars(chart, k, start, end, (uint32_t)flags | RELAY_BAR_FLAGS);
    if (code == 0) continue;
    if (k > 0) {
      if (++failures >= 2) return RELAY_SECOND_DAY_FAILED;
      limit++;
    } else if (code == QR_ERR_NO_DATA) {
      limit++;
    }
  }
  kv_lock guard(g_chart_lock);
  int n = chart->header.bar_count;
  std::stable_sort(chart->bars, chart->bars + n, by_time);
  if (n > 0) {
    chart->header.first_date = seconds_to_date(chart->bars[0].time);
    chart->header.last_date = seconds_to_date(chart->bars[n - 1].time);
    chart->header.last_time = kv_time_of_day(chart->bars[n - 1].time);
  }
  chart->header.session_start = session_start;
  chart->header.session_end = session_end;
  return 0;
}

// ---------------------------------------------------------------------------
// Daily, weekly and monthly bars.

namespace {
struct block_walk {
  chart_rec* chart;
  uint32_t flags;
  int added;
};
}  // namespace

static int take_history_record(const uint8_t* rec, void* ctx) {
  block_walk* w = (block_walk*)ctx;
  chart_bar b = {};
  b.time = (int32_t)get_le32(rec + QR_OFF_TIME);
  b.open = get_f32(rec + BAR_OPEN);
  b.high = get_f32(rec + BAR_HIGH);
  b.low = get_f32(rec + BAR_LOW);
  b.close = get_f32(rec + BAR_CLOSE);
  b.flags = w->flags;
  if (rec[BAR_INDEX] == 1)
    b.flags &= ~(uint32_t)FLAG_NO_VOLUME;
  else
    b.volume = (int32_t)get_le32(rec + BAR_VOLUME);
  if (!add_bar(w->chart, b)) return 0;  // no memory: stop with what fits
  int date = seconds_to_date(b.time);
  chart_file_header& h = w->chart->header;
  if (!h.first_date || date < h.first_date) h.first_date = date;
  if (date > h.last_date) h.last_date = date;
  w->added++;
  return 1;
}

int kvqr_bar_block(chart_rec* chart, int count, int last_date, int kind, uint32_t bar_flags) {
  qr_request req;
  build_bar_request(&req, QR_REQ_HISTORY, chart->header.symbol, count, last_date);
  put_le32(req.bytes + REQ_OFF_KIND, (uint32_t)kind);
  req.bytes[REQ_OFF_ONE] = 1;
  block_walk w = {chart, bar_flags, 0};
  int before = chart->header.bar_count;
  if (!kvqr_connect()) return 0;
  kv_lock guard(g_router_lock);
  if (!qr_transact(req.bytes, QR_REQUEST_SIZE)) {
    report_failure(chart->header.symbol);
    return 0;
  }
  if (qr_read_records(take_history_record, &w, chart->header.symbol) < 0) {
    kv_lock chart_guard(g_chart_lock);
    int n = chart->header.bar_count;
    memset(chart->bars + before, 0, sizeof(chart_bar) * (size_t)(n - before));
    chart->spare += n - before;
    chart->header.bar_count = before;
    return 0;
  }
  return w.added;
}

int kvqr_hist_data(chart_rec* chart, int first_date, int last_date) {
  if (!kvqr_connect()) return 0;
  int unit = chart->header.time_unit, kind, wanted;
  int days = days_between(first_date, last_date);
  if (unit == TU_WEEKLY) {
    kind = 2;
    wanted = (days + 6) / 7;
  } else if (unit == TU_MONTHLY) {
    kind = 3;
    wanted = (days + 32) / 30;
  } else {
    kind = 1;
    wanted = trading_days_between(first_date, last_date);
  }
  statmsg(__FILE__, __LINE__, "kvqr_hist_data", chart->header.symbol, STATMSG_NOTICE);
  int end = last_date, earliest = 0;
  while (wanted > 0) {
    int ask = std::min(wanted, (int)RELAY_BLOCK_BARS);
    int got = kvqr_bar_block(chart, ask, end, kind, relay_bar_flags() | RELAY_BAR_FLAGS);
    if (got <= 0) break;
    wanted -= got;
    int first = chart->header.first_date;
    // A relay that does not go back, or went past the first date, is done.
    if ((earliest && first >= earliest) || first <= first_date || got < ask) break;
    earliest = first;
    end = add_days(first, -1);
  }
  kv_lock guard(g_chart_lock);
  std::stable_sort(chart->bars, chart->bars + chart->header.bar_count, by_time);
  return 1;
}

// ---------------------------------------------------------------------------
// Text pages and market statistics.

int kvqr_text_page(char* buffer, int size, int page, int sub_page) {
  if (size <= 0) return 0;
  buffer[0] = 0;
  qr_request req;
  qr_build_code_only(&req, QR_REQ_TEXT_PAGE, QR_REQUEST_SIZE);
  char text[32];
  if (sub_page)
    snprintf(text, sizeof text, "%d.%d", page, sub_page);
  else
    snprintf(text, sizeof text, "%d", page);
  memcpy(req.bytes + 2, text, strlen(text));
  if (!kvqr_connect()) return 0;
  kv_lock guard(g_router_lock);
  if (!qr_transact(req.bytes, QR_REQUEST_SIZE)) {
    report_failure(text);
    return 0;
  }
  if (g_qr_reply.length < PAGE_OFF_TEXT || qr_record_error(g_qr_reply.bytes)) {
    if (g_qr_reply.length >= 2) kvqr_error_text(qr_record_error(g_qr_reply.bytes), text);
    return 0;
  }
  int total = get_le16(g_qr_reply.bytes + PAGE_OFF_TOTAL), got = 0, kept = 0;
  const uint8_t* from = g_qr_reply.bytes + PAGE_OFF_TEXT;
  int len = g_qr_reply.length - PAGE_OFF_TEXT;
  for (;;) {
    int take = std::min(len, total - got);
    int keep = std::min(take, size - 1 - kept);
    if (keep > 0) {
      memcpy(buffer + kept, from, (size_t)keep);
      kept += keep;
    }
    got += take;
    if (got >= total) break;
    if (!qr_read_more()) {
      buffer[kept] = 0;
      report_failure(text);
      return 0;
    }
    from = g_qr_reply.bytes;
    len = g_qr_reply.length;
    if (len <= 0) break;
  }
  buffer[kept] = 0;
  return 1;
}

static market_stat s_stats[MARKET_STATS_MAX];

void parse_market_stats_page(char* page, int scan, int min_volume, double min_price,
                             market_stat* table, int* stored) {
  int first = MARKET_STATS_FIRST_LINE * MARKET_STATS_LINE;
  for (int i = first; i + 1 < MARKET_STATS_PAGE; i++)
    if (page[i] == '-' && page[i + 1] == '-') page[i] = page[i + 1] = '0';
  for (int l = 0; l < MARKET_STATS_LINES; l++) {
    char line[MARKET_STATS_LINE + 1];
    memcpy(line, page + first + l * MARKET_STATS_LINE, MARKET_STATS_LINE);
    line[MARKET_STATS_LINE] = 0;
    market_stat e = {};
    float third = 0;
    int hour = 0, minute = 0;
    sscanf(line, "%6s%6f%6f%6f %8d%8d %3f %6f %6f %6f%6f %d:%d", e.symbol, &e.last, &e.change,
           &third, &e.volume, &e.prev_volume, &e.pct_prev_volume, &e.high, &e.low, &e.year_high,
           &e.year_low, &hour, &minute);
    if (scan == 9 || scan == 10)
      e.gap = third;
    else
      e.pct_change = third;
    // A time the text cannot hold is no news time.
    e.news_time =
        (hour >= 0 && hour < 24 && minute >= 0 && minute < 60) ? hour * 3600 + minute * 60 : 0;
    if (e.volume % 100) e.volume = e.volume > INT32_MAX / 100 ? INT32_MAX : e.volume * 100;
    if (e.prev_volume % 100)
      e.prev_volume = e.prev_volume > INT32_MAX / 100 ? INT32_MAX : e.prev_volume * 100;
    if (e.pct_prev_volume == 999 && e.prev_volume > 0)
      e.pct_prev_volume = (float)((double)e.volume / e.prev_volume * 100 - 100);
    if (!e.symbol[0] || e.volume < min_volume || e.prev_volume < min_volume || e.last < min_price ||
        strncasecmp(e.symbol, "TEST", 4) == 0 || *stored >= MARKET_STATS_MAX)
      continue;
    int dup = 0;
    for (int k = 0; k < *stored && !dup; k++) dup = strcasecmp(table[k].symbol, e.symbol) == 0;
    if (!dup) table[(*stored)++] = e;
  }
}

market_stat* kvqr_market_stats(uint32_t market_mask, uint32_t scan_mask, int time_frame,
                               int min_volume, double min_price, int* count) {
  static const int bases[8] = {100, 200, 300, 6100, 1100, 1200, 1300, 2100};
  memset(s_stats, 0, sizeof s_stats);
  int stored = 0;
  for (int m = 0; m < 8; m++) {
    if (!(market_mask >> m & 1)) continue;
    for (int c = 0; c < 14; c++) {
      if (!(scan_mask >> c & 1)) continue;
      char page[MARKET_STATS_PAGE] = {};
      if (!kvqr_text_page(page, sizeof page, bases[m] + c + 1, time_frame)) continue;
      parse_market_stats_page(page, c, min_volume, min_price, s_stats, &stored);
    }
  }
  int n = 0;
  while (n < MARKET_STATS_MAX && s_stats[n].symbol[0]) n++;
  if (count) *count = n;
  return s_stats;
}

// ---------------------------------------------------------------------------

int kvqr_refresh_orders() {
  if (has_router_capability(QR_CAP_BROKER_SOCKET)) {
    // The statuses that answer say nothing new to the windows.
    g_status_posts_quiet_until = kv_monotonic_ms() + STATUS_QUIET_MS;
    if (g_qr_hooks.req_executions) g_qr_hooks.req_executions();
    if (g_qr_hooks.req_all_open_orders) g_qr_hooks.req_all_open_orders();
    if (g_spigot_hooks.orders_refreshed) g_spigot_hooks.orders_refreshed();
    return 1;
  }
  if (!kvqr_connect()) return 0;
  qr_request req;
  qr_build_code_only(&req, QR_REQ_ORDER_REFRESH, QR_REQUEST_SIZE);
  kv_lock guard(g_router_lock);
  // The reply is not examined: the orders come down the data socket.
  if (!qr_transact(req.bytes, QR_REQUEST_SIZE)) {
    report_failure(nullptr);
    return 0;
  }
  return 1;
}

static int load_hook(chart_rec* chart, int days, int first, int flags) {
  return kvqr_intraday_data(chart, days, first, flags);
}
static void error_hook(int code, const char* symbol) {
  kvqr_error_text(code, symbol);
}
static void refresh_hook() {
  kvqr_refresh_orders();
}

void install_relay_history_hooks() {
  g_chart_load_hooks.kvqr_intraday_data = load_hook;
  if (!g_chart_load_hooks.kvqr_error_text) g_chart_load_hooks.kvqr_error_text = error_hook;
  g_relay_history_hook = kvqr_hist_data;
  g_qr_hooks.refresh_orders = refresh_hook;
}
